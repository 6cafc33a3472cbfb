// screen_compare.cpp — the comparison of a window read back from the window system with the
// block of palette indices last copied into it, shared by every backend's screen check.
#include <cstdarg>
#include <cstdio>
#include <initializer_list>

#include "platform/platform.h"

namespace {

// One colour channel (0 to 255) of what the screen shows against the colour asked for, where
// the display keeps the bits of keep. A display with fewer than 8 bits may cut the colour to
// its precision or round it to the nearest step: both are within one step.
bool ChannelShows(uint32_t shown, uint32_t wanted, uint32_t keep) {
  if (keep == 0xFF) return shown == wanted;
  int32_t dropped = 0;
  while (dropped < 8 && ((keep >> dropped) & 1) == 0) ++dropped;
  int32_t step = static_cast<int32_t>(shown >> dropped) - static_cast<int32_t>(wanted >> dropped);
  return step >= -1 && step <= 1;
}

bool PixelShows(uint32_t shown, uint32_t wanted, uint32_t significant) {
  if (significant == 0xFFFFFF) return ((shown ^ wanted) & 0xFFFFFF) == 0;
  for (int32_t shift : {16, 8, 0}) {
    if (!ChannelShows((shown >> shift) & 0xFF, (wanted >> shift) & 0xFF,
                      (significant >> shift) & 0xFF))
      return false;
  }
  return true;
}

}  // namespace

void ScreenNotReadable(ScreenCheck* check, const char* format, ...) {
  check->result = ScreenNotAvailable;
  check->compared = check->differing = 0;
  va_list arguments;
  va_start(arguments, format);
  vsnprintf(check->reason, sizeof check->reason, format, arguments);
  va_end(arguments);
}

void CompareReadBack(ScreenCheck* check, const uint32_t* screen, ptrdiff_t screenStride,
                     const uint8_t* indices, ptrdiff_t indexStride, int32_t width,
                     int32_t height, const uint32_t* colours, uint32_t significant,
                     int32_t originX, int32_t originY) {
  check->compared = check->differing = 0;
  check->reason[0] = 0;
  for (int32_t y = 0; y < height; ++y) {
    const auto* shownRow = reinterpret_cast<const uint32_t*>(
        reinterpret_cast<const uint8_t*>(screen) + y * screenStride);
    const uint8_t* indexRow = indices + y * indexStride;
    for (int32_t x = 0; x < width; ++x) {
      uint32_t wanted = colours[indexRow[x]] & 0xFFFFFF;
      uint32_t shown = shownRow[x] & 0xFFFFFF;
      if (PixelShows(shown, wanted, significant)) continue;
      if (check->differing++ == 0)
        snprintf(check->reason, sizeof check->reason,
                 "the first at (%d, %d) shows #%06X where the frame has #%06X (index %u)",
                 static_cast<int>(originX + x), static_cast<int>(originY + y),
                 static_cast<unsigned>(shown), static_cast<unsigned>(wanted),
                 static_cast<unsigned>(indexRow[x]));
    }
  }
  check->compared = static_cast<int64_t>(width > 0 ? width : 0) * (height > 0 ? height : 0);
  check->result = check->differing == 0 ? ScreenMatch : ScreenMismatch;
}
