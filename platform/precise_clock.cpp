// precise_clock.cpp — the monotonic nanosecond clock that measurement runs time frames with.
#include <chrono>

#include "platform/platform.h"

int64_t GetPreciseTimeNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}
