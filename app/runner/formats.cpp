// formats.cpp — the result in the forms other tools read: x11perf's lines, which x11perfcomp
// puts side by side with x11perf's own results, and the lines a test suite's result parser
// picks the secondary results from.
#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "app/runner/runner.h"
#include "torvex_version.h"

namespace {

// One x11perf line: frames, milliseconds per frame, frames per second, and the label.
// Repetitions are "reps", their total "trep", as x11perf writes them.
std::string X11perfLine(int64_t frames, int64_t elapsedMs, bool total) {
  char line[256];
  const char* kind = total ? "trep" : "reps";
  if (frames <= 0 || elapsedMs <= 0) {
    snprintf(line, sizeof line, "%7" PRId64 " %s @ 0.0 msec (unmeasurably fast): %s\n", frames,
             kind, X11perfLabel);
  } else {
    double ms = static_cast<double>(elapsedMs) / static_cast<double>(frames);
    double perSecond = static_cast<double>(frames) * 1000.0 / static_cast<double>(elapsedMs);
    snprintf(line, sizeof line, "%7" PRId64 " %s @ %8.4f msec (%8.1f/sec): %s\n", frames, kind,
             ms, perSecond, X11perfLabel);
  }
  return line;
}

}  // namespace

std::string X11perfText(const RunnerResult& result) {
  std::vector<const RunRecord*> runs = MeasuredRuns(result);
  const RunRecord* first = runs.empty() ? nullptr : runs.front();
  // The header, as x11perf's: the program, the display, the date; x11perfcomp reads only the
  // lines of repetitions.
  std::string text = std::string("torvex32-bench ") + TORVEX_VERSION + " (commit " +
                     TORVEX_COMMIT + "), frames as x11perf repetitions\n";
  if (first != nullptr)
    text += std::string(first->backend.displayServer) + ", " + first->presentPath + "\n";
  text += result.environment.date + (result.complete ? "" : " (interrupted)") + "\n\n";
  int64_t frames = 0, elapsed = 0;
  for (const RunRecord* run : runs) {
    text += X11perfLine(run->frames, run->elapsedMs, false);
    frames += run->frames;
    elapsed += run->elapsedMs;
  }
  // Always the total, even after one run: x11perfcomp learns a file's labels from pairs of
  // consecutive lines, so a file with a single line would show no row at all.
  if (!runs.empty()) text += X11perfLine(frames, elapsed, true);
  return text + "\n";
}

std::string SuiteLines(const RunnerResult& result) {
  std::vector<const RunRecord*> runs = MeasuredRuns(result);
  auto frame = std::make_unique<TimeHistogram>();
  double cpu = 0;
  int64_t frames = 0;
  for (const RunRecord* run : runs) {
    for (int32_t b = 0; b < TimeBucketCount; ++b) frame->counts[b] += run->times.frame.counts[b];
    frame->total += run->times.frame.total;
    frame->max = std::max(frame->max, run->times.frame.max);
    cpu += run->cpuNsPerFrame * static_cast<double>(run->frames);
    frames += run->frames;
  }
  int64_t p99 = TimePercentile(*frame, 0.99);
  // The same nanoseconds as the JSON's, written as microseconds with every digit kept.
  char text[192];
  int length = snprintf(text, sizeof text,
                        "torvex32-bench: frame time p99 %" PRId64 ".%03" PRId64 " us\n",
                        p99 / 1000, p99 % 1000);
  double perFrame = frames > 0 ? cpu / static_cast<double>(frames) : 0.0;
  if (std::isfinite(perFrame)) {
    // Rounded to whole ns as the JSON rounds it.
    char whole[32];
    snprintf(whole, sizeof whole, "%.0f", perFrame);
    int64_t ns = strtoll(whole, nullptr, 10);
    snprintf(text + length, sizeof text - length,
             "torvex32-bench: cpu per frame %" PRId64 ".%03" PRId64 " us\n", ns / 1000, ns % 1000);
  } else {
    snprintf(text + length, sizeof text - length, "torvex32-bench: cpu per frame unknown\n");
  }
  return text;
}
