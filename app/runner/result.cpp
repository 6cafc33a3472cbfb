// result.cpp — the runner's result: statistics over the runs' exact rates, the frame times of
// all measured runs together, the machine it ran on, as one stable line or as JSON (schema 1).
#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <memory>

#include "app/runner/runner.h"
#include "torvex_version.h"

#ifndef TORVEX_BUILD_TYPE
#define TORVEX_BUILD_TYPE "unknown"
#endif

namespace {

// A number with a fixed count of decimals as the result has always written it (a rate to a
// tenth, a share to four places); not finite is null: a figure that is not known.
Json Fixed(double value, int decimals) {
  if (!std::isfinite(value)) return nullptr;
  double scale = std::pow(10.0, decimals);
  double rounded = std::round(value * scale) / scale;
  if (decimals == 0) return static_cast<int64_t>(rounded);
  return rounded;
}

// The decimals written for each key of a fractional figure; every other number is whole.
int DecimalsOf(const std::string& key) {
  if (key == "cv" || key == "switches_per_frame") return 4;
  if (key == "refresh_hz") return 3;
  return 1;
}

}  // namespace

// The result's layout: one line per key at the top level, everything below it on that line,
// the library writing every string (escapes included) and whole number.
std::string JsonText(const Json& value, const std::string& key) {
  if (value.is_object()) {
    std::string out = "{";
    for (auto item = value.begin(); item != value.end(); ++item) {
      if (item != value.begin()) out += ", ";
      out += Json(item.key()).dump() + ": " + JsonText(item.value(), item.key());
    }
    return out + "}";
  }
  if (value.is_array()) {
    std::string out = "[";
    for (size_t i = 0; i < value.size(); ++i) out += (i > 0 ? ", " : "") + JsonText(value[i], key);
    return out + "]";
  }
  if (value.is_number_float()) {
    char text[64];
    if (key == "target_cv")  // a target as the user gave it, not rounded to a share's places
      snprintf(text, sizeof text, "%.6g", value.get<double>());
    else
      snprintf(text, sizeof text, "%.*f", DecimalsOf(key), value.get<double>());
    return text;
  }
  // Bytes that are not UTF-8 (a processor's name, a display server's) become U+FFFD.
  return value.dump(-1, ' ', false, Json::error_handler_t::replace);
}

namespace {

// The frame times of several runs as one set: their histograms added.
struct MergedTimes {
  TimeHistogram frame, viewport, sprites, present;
};

void Add(TimeHistogram& into, const TimeHistogram& from) {
  for (int32_t b = 0; b < TimeBucketCount; ++b) into.counts[b] += from.counts[b];
  into.total += from.total;
  into.max = std::max(into.max, from.max);
}

std::unique_ptr<MergedTimes> Merge(const std::vector<const RunRecord*>& runs) {
  auto merged = std::make_unique<MergedTimes>();
  for (const RunRecord* run : runs) {
    Add(merged->frame, run->times.frame);
    Add(merged->viewport, run->times.viewport);
    Add(merged->sprites, run->times.sprites);
    Add(merged->present, run->times.present);
  }
  return merged;
}

std::vector<double> Rates(const std::vector<const RunRecord*>& runs) {
  std::vector<double> rates;
  for (const RunRecord* run : runs) rates.push_back(ExactRate(run->frames, run->elapsedMs));
  return rates;
}

// Per frame over all the runs together, weighted by their frames.
double PerFrame(const std::vector<const RunRecord*>& runs, double RunRecord::*field) {
  double total = 0;
  int64_t frames = 0;
  for (const RunRecord* run : runs) {
    total += run->*field * static_cast<double>(run->frames);
    frames += run->frames;
  }
  return frames > 0 ? total / static_cast<double>(frames) : 0.0;
}

// A screen check as the result gives it: its outcome, with the count of differing pixels or the
// reason.
Json ScreenCheckJson(const ScreenCheck& check, bool off) {
  if (off) return {{"result", "off"}};
  if (check.result == ScreenMatch) return {{"result", "match"}, {"pixels", check.compared}};
  if (check.result == ScreenMismatch)
    return {{"result", "mismatch"},
            {"differing_pixels", check.differing},
            {"pixels", check.compared},
            {"first_difference", check.reason}};
  return {{"result", "not available"}, {"reason", check.reason}};
}

Json RunsJson(const RunnerOptions& options, const RunnerResult& result) {
  Json runs = Json::array();
  for (const RunRecord& r : result.runs) {
    runs.push_back({{"rate_per_10s", Fixed(ExactRate(r.frames, r.elapsedMs), 1)},
                    {"frames", r.frames},
                    {"elapsed_ms", r.elapsedMs},
                    {"complete", r.complete != 0},
                    {"in_stats", CountsInStats(r)},
                    {"cpu_ns_per_frame", Fixed(r.cpuNsPerFrame, 0)},
                    {"switches_per_frame", Fixed(r.switchesPerFrame, 4)},
                    {"frames_not_presented", r.framesNotShown},
                    {"screen_check", ScreenCheckJson(r.screen, options.noScreenCheck)}});
  }
  return runs;
}

Json EnvironmentJson(const RunEnvironment& e, const RunRecord* run) {
  BackendReport b{};
  if (run != nullptr) b = run->backend;
  char screen[64];
  snprintf(screen, sizeof screen, "%dx%dx%d", b.screenWidth, b.screenHeight, b.screenDepth);
  std::string present = run != nullptr ? run->presentPath : "none";
  Json environment{{"version", e.version},
                   {"commit", e.commit},
                   {"build_type", e.buildType},
                   {"compiler", e.compiler},
                   {"cpu_model", e.cpuModel},
                   {"cores", e.cores},
                   {"kernel", e.kernel},
                   {"sdl_version", b.libraryVersion},
                   {"video_driver", b.videoDriver},
                   {"audio_driver", b.audioDriver},
                   {"present_path", present},
                   {"display_server", b.displayServer[0] != 0 ? b.displayServer : "none"},
                   {"display_protocols", b.displayProtocols},
                   {"screen", screen},
                   {"music_opened", b.musicOpened != 0},
                   {"effect_opened", b.effectOpened != 0}};
  // The desktop and the machine (environment.cpp), then the date.
  AddDesktopJson(environment, e, run);
  environment["date"] = e.date;
  return environment;
}

// What a compositor that reports on frames said of them, over the measured runs: the frames
// handed to it, those it put on the screen (null where it does not say) and its refresh.
Json DisplayedJson(const std::vector<const RunRecord*>& runs) {
  int64_t committed = 0, displayed = 0, discarded = 0;
  bool known = !runs.empty();
  int32_t refresh = 0;
  for (const RunRecord* run : runs) {
    committed += run->backend.framesCommitted;
    displayed += run->backend.framesDisplayed;
    discarded += run->backend.framesDiscarded;
    known = known && run->backend.framesDisplayed >= 0;
    refresh = run->backend.refreshMilliHz != 0 ? run->backend.refreshMilliHz : refresh;
  }
  return {{"frames_committed", committed},
          {"frames_displayed", known ? Json(displayed) : Json(nullptr)},
          {"frames_discarded", known ? Json(discarded) : Json(nullptr)},
          {"refresh_hz", refresh != 0 ? Fixed(refresh / 1000.0, 3) : Json(nullptr)}};
}

}  // namespace

double ExactRate(int64_t frames, int64_t elapsedMs) {
  return elapsedMs > 0 ? static_cast<double>(frames) * 10000.0 / static_cast<double>(elapsedMs)
                       : 0.0;
}

RateStats ComputeStats(std::vector<double> values) {
  RateStats s{0, 0, 0, 0};
  if (values.empty()) return s;
  size_t n = values.size();
  for (double v : values) s.mean += v;
  s.mean /= static_cast<double>(n);
  std::sort(values.begin(), values.end());
  s.median = n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
  if (n > 1) {
    double squares = 0;
    for (double v : values) squares += (v - s.mean) * (v - s.mean);
    s.stddev = std::sqrt(squares / static_cast<double>(n - 1));
  }
  s.cv = s.mean > 0 ? s.stddev / s.mean : 0.0;
  return s;
}

RunEnvironment CollectEnvironment() {
  RunEnvironment e;
  e.version = TORVEX_VERSION;
  e.commit = TORVEX_COMMIT;
  e.buildType = TORVEX_BUILD_TYPE;
#if defined(__clang__)
  e.compiler = std::string("clang ") + __clang_version__;
#elif defined(__GNUC__)
  e.compiler = std::string("gcc ") + __VERSION__;
#else
  e.compiler = "unknown";
#endif
  CollectDesktop(e);  // the machine's facts and the command line (environment.cpp)
  e.cpuModel = e.machine.cpuModel[0] != 0 ? e.machine.cpuModel : "unknown";
  e.kernel = e.machine.kernel[0] != 0 ? e.machine.kernel : "unknown";
  e.cores = e.machine.cores;
  time_t now = time(nullptr);
  tm utc = *gmtime(&now);  // the runner has one thread
  char date[32];
  strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%SZ", &utc);
  e.date = date;
  return e;
}

bool CountsInStats(const RunRecord& run) {
  // A run of 0 ms has no rate: it stays out of the statistics, and its "in_stats" says so.
  return run.started != 0 && run.elapsedMs > 0;
}

std::vector<const RunRecord*> MeasuredRuns(const RunnerResult& result) {
  std::vector<const RunRecord*> complete, all;
  for (const RunRecord& run : result.runs) {
    if (!CountsInStats(run)) continue;
    all.push_back(&run);
    if (run.complete != 0) complete.push_back(&run);
  }
  return complete.empty() ? all : complete;
}

ScreenCheck CombinedScreenCheck(const RunnerResult& result) {
  const ScreenCheck* worst = nullptr;
  const ScreenCheck* matched = nullptr;
  const ScreenCheck* first = nullptr;
  for (const RunRecord& run : result.runs) {
    if (run.started == 0) continue;
    const ScreenCheck& check = run.screen;
    if (check.result == ScreenMismatch && (worst == nullptr || check.differing > worst->differing))
      worst = &check;
    if (check.result == ScreenMatch && matched == nullptr) matched = &check;
    if (first == nullptr) first = &check;
  }
  if (worst != nullptr) return *worst;
  if (matched != nullptr) return *matched;
  if (first != nullptr) return *first;
  ScreenCheck none{ScreenNotAvailable, 0, 0, "no run ran"};
  return none;
}

std::string HeadlineLine(const RunnerResult& result) {
  std::vector<const RunRecord*> runs = MeasuredRuns(result);
  RateStats stats = ComputeStats(Rates(runs));
  ScreenCheck screen = CombinedScreenCheck(result);
  char mismatch[96] = "";
  if (screen.result == ScreenMismatch)
    snprintf(mismatch, sizeof mismatch,
             "; FAILED: the screen did not show the frame (%lld of %lld pixels differ)",
             static_cast<long long>(screen.differing), static_cast<long long>(screen.compared));
  char line[256];
  snprintf(line, sizeof line,
           "torvex32-bench: %.0f frames/10s (median of %zu run%s, cv %.1f%%)%s%s", stats.median,
           runs.size(), runs.size() == 1 ? "" : "s", stats.cv * 100.0,
           result.complete ? "" : " interrupted", mismatch);
  return line;
}

std::string ResultJson(const RunnerOptions& options, const RunnerResult& result) {
  std::vector<const RunRecord*> runs = MeasuredRuns(result);
  RateStats stats = ComputeStats(Rates(runs));
  std::unique_ptr<MergedTimes> t = Merge(runs);
  int64_t frames = 0, elapsed = 0, notShown = 0;
  for (const RunRecord& run : result.runs) {
    frames += run.frames;
    elapsed += run.elapsedMs;
    notShown += run.framesNotShown;
  }
  ScreenCheck screen = CombinedScreenCheck(result);
  const RunRecord* last = result.runs.empty() ? nullptr : &result.runs.back();
  const RunRecord* first = runs.empty() ? last : runs.front();
  Json j = {
      {"schema", 1},
      {"rate_per_10s", Fixed(stats.median, 1)},
      // False when the window did not show the frames: the rate is then kept only for diagnosis.
      {"rate_valid", screen.result != ScreenMismatch},
      {"shown_text", last != nullptr ? last->shownText : ""},
      {"frames", frames},
      {"frames_not_presented", notShown},
      {"elapsed_ms", elapsed},
      {"complete", result.complete},
      {"screen_check", ScreenCheckJson(screen, options.noScreenCheck)},
      {"runs", RunsJson(options, result)},
      {"stats", {{"mean", Fixed(stats.mean, 1)}, {"median", Fixed(stats.median, 1)},
                 {"stddev", Fixed(stats.stddev, 1)}, {"cv", Fixed(stats.cv, 4)}}},
      {"frame_ns", TimePercentile(t->frame, 0.5)},
      {"viewport_ns", TimePercentile(t->viewport, 0.5)},
      {"sprites_ns", TimePercentile(t->sprites, 0.5)},
      {"present_ns", TimePercentile(t->present, 0.5)},
      {"frame_ns_p50", TimePercentile(t->frame, 0.5)},
      {"frame_ns_p99", TimePercentile(t->frame, 0.99)},
      {"frame_ns_max", t->frame.max},
      {"frames_timed", t->frame.total},
      {"cpu_ns_per_frame", Fixed(PerFrame(runs, &RunRecord::cpuNsPerFrame), 0)},
      {"switches_per_frame", Fixed(PerFrame(runs, &RunRecord::switchesPerFrame), 4)},
      {"present_path", first != nullptr ? first->presentPath : "none"}};
  Json displayed = DisplayedJson(runs);
  for (auto& item : displayed.items()) j[item.key()] = item.value();
  j["memcpy_frame_ns"] = result.memcpyFrameNs;
  j["repeat"] = options.repeat;
  j["seed"] = options.seeded ? Json(options.seed) : Json(nullptr);
  j["window"] = options.window;
  // Runs until stable, the display's refresh and the per-frame log (stable.cpp,
  // environment.cpp, framelog.cpp).
  j["until_stable"] = UntilStableJson(options, result);
  j["capped_by_refresh"] = CappedByRefreshJson(result);
  j["frame_log"] = FrameLogJson(options, result);
  j["environment"] = EnvironmentJson(result.environment, first);
  std::string out = "{\n";
  for (auto item = j.begin(); item != j.end(); ++item) {
    out += "  " + Json(item.key()).dump() + ": " + JsonText(item.value(), item.key());
    out += std::next(item) != j.end() ? ",\n" : "\n";
  }
  return out + "}\n";
}
