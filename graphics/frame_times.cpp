// frame_times.cpp — the fixed-size histograms in which measurement runs keep their frame times.
#include <bit>

#include "graphics/graphics.h"

int32_t TimeBucket(int64_t ns) {
  if (ns < TimeBucketsPerDoubling) return ns < 0 ? 0 : static_cast<int32_t>(ns);
  // 2^e <= ns < 2^(e+1), e >= 6: the six bits below the top one choose the bucket.
  int32_t e = 63 - std::countl_zero(static_cast<uint64_t>(ns));
  int32_t sub = static_cast<int32_t>((ns >> (e - 6)) & (TimeBucketsPerDoubling - 1));
  return (e - 5) * TimeBucketsPerDoubling + sub;
}

int64_t TimeBucketMiddle(int32_t bucket) {
  if (bucket < TimeBucketsPerDoubling) return bucket;
  int32_t e = bucket / TimeBucketsPerDoubling + 5;
  int64_t sub = bucket % TimeBucketsPerDoubling;
  int64_t low = (TimeBucketsPerDoubling + sub) << (e - 6);
  return low + ((int64_t{1} << (e - 6)) >> 1);
}

void RecordTime(TimeHistogram& histogram, int64_t ns) {
  if (ns < 0) ns = 0;
  histogram.counts[TimeBucket(ns)] += 1;
  histogram.total += 1;
  if (ns > histogram.max) histogram.max = ns;
}

int64_t TimePercentile(const TimeHistogram& histogram, double q) {
  if (histogram.total == 0) return 0;
  if (q < 0) q = 0;
  if (q > 1) q = 1;
  // Nearest rank: the smallest value with at least q of all values at or below it.
  int64_t rank = static_cast<int64_t>(q * static_cast<double>(histogram.total) + 0.999999999);
  if (rank < 1) rank = 1;
  int64_t seen = 0;
  for (int32_t b = 0; b < TimeBucketCount; ++b) {
    seen += histogram.counts[b];
    if (seen >= rank) {
      int64_t middle = TimeBucketMiddle(b);
      return middle < histogram.max ? middle : histogram.max;
    }
  }
  return histogram.max;
}
