// stable.cpp — runs until the rate is stable: whether the measured runs' spread has reached
// --until-stable's target, and how the result and the stable line say it.
#include <cinttypes>
#include <cstdio>

#include "app/runner/runner.h"

namespace {

RateStats MeasuredStats(const RunnerResult& result, size_t& count) {
  std::vector<double> rates;
  for (const RunRecord* run : MeasuredRuns(result))
    rates.push_back(ExactRate(run->frames, run->elapsedMs));
  count = rates.size();
  return ComputeStats(rates);
}

// The target in percent, as short as it reads exactly ("3.5", "0.0001").
std::string Percent(double fraction) {
  char text[32];
  snprintf(text, sizeof text, "%.6g", fraction * 100.0);
  return text;
}

}  // namespace

bool StableEnough(const RunnerOptions& options, const RunnerResult& result) {
  if (options.untilStable < 0) return false;
  size_t count = 0;
  RateStats stats = MeasuredStats(result, count);
  // Only complete runs count: a stopped run ends the runs anyway.
  size_t complete = 0;
  for (const RunRecord& run : result.runs) complete += run.started != 0 && run.complete != 0;
  return complete >= static_cast<size_t>(UntilStableMinRuns) && count == complete &&
         stats.cv <= options.untilStable;
}

Json UntilStableJson(const RunnerOptions& options, const RunnerResult& result) {
  if (options.untilStable < 0) return nullptr;
  size_t count = 0;
  MeasuredStats(result, count);
  return {{"target_cv", options.untilStable},
          {"runs", count},
          {"met", StableEnough(options, result)}};
}

std::string HeadlineNotes(const RunnerOptions& options, const RunnerResult& result) {
  std::string notes;
  if (options.untilStable >= 0) {
    size_t count = 0;
    MeasuredStats(result, count);
    notes += ", cv target " + Percent(options.untilStable) + "% " +
             (StableEnough(options, result) ? "met" : "not met") + " after " +
             std::to_string(count) + " run" + (count == 1 ? "" : "s");
  }
  if (CappedByRefresh(result) == 1) {
    const RunRecord* first = MeasuredRuns(result).front();
    char text[96];
    snprintf(text, sizeof text, ", capped by the display's %.2f Hz refresh",
             first->backend.refreshMilliHz / 1000.0);
    notes += text;
  }
  return notes;
}
