// result.cpp — the runner's result: statistics over the runs' exact rates, the frame times of
// all measured runs together, the machine it ran on, as one stable line or as JSON (schema 1).
#ifndef _WIN32
#include <sys/utsname.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <memory>
#include <thread>

#include "app/runner/runner.h"
#include "torvex_version.h"

#ifndef TORVEX_BUILD_TYPE
#define TORVEX_BUILD_TYPE "unknown"
#endif

namespace {

std::string Quote(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      char escaped[8];
      snprintf(escaped, sizeof escaped, "\\u%04x", c);
      out += escaped;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

std::string Number(double value, int decimals) {
  if (!std::isfinite(value)) return "null";
  char text[64];
  snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

std::string Whole(int64_t value) { return std::to_string(value); }

std::string CpuModel() {
  std::ifstream in("/proc/cpuinfo");
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("model name", 0) != 0) continue;
    size_t colon = line.find(':');
    if (colon != std::string::npos) return line.substr(line.find_first_not_of(' ', colon + 1));
  }
  return "unknown";
}

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

std::string RunsJson(const RunnerResult& result) {
  std::string out = "[";
  for (size_t i = 0; i < result.runs.size(); ++i) {
    const RunRecord& r = result.runs[i];
    out += std::string(i > 0 ? ", " : "") + "{\"rate_per_10s\": " +
           Number(ExactRate(r.frames, r.elapsedMs), 1) + ", \"frames\": " + Whole(r.frames) +
           ", \"elapsed_ms\": " + Whole(r.elapsedMs) +
           ", \"complete\": " + (r.complete != 0 ? "true" : "false") +
           ", \"cpu_ns_per_frame\": " + Number(r.cpuNsPerFrame, 0) +
           ", \"switches_per_frame\": " + Number(r.switchesPerFrame, 4) + "}";
  }
  return out + "]";
}

std::string EnvironmentJson(const RunEnvironment& e, const RunRecord* run) {
  BackendReport b{};
  if (run != nullptr) b = run->backend;
  char screen[64];
  snprintf(screen, sizeof screen, "%dx%dx%d", b.screenWidth, b.screenHeight, b.screenDepth);
  std::string present = run != nullptr ? run->presentPath : "none";
  return "{\"version\": " + Quote(e.version) + ", \"commit\": " + Quote(e.commit) +
         ", \"build_type\": " + Quote(e.buildType) + ", \"compiler\": " + Quote(e.compiler) +
         ", \"cpu_model\": " + Quote(e.cpuModel) + ", \"cores\": " + Whole(e.cores) +
         ", \"kernel\": " + Quote(e.kernel) + ", \"sdl_version\": " + Quote(b.libraryVersion) +
         ", \"video_driver\": " + Quote(b.videoDriver) +
         ", \"audio_driver\": " + Quote(b.audioDriver) + ", \"present_path\": " + Quote(present) +
         ", \"display_server\": " + Quote(b.displayServer[0] != 0 ? b.displayServer : "none") +
         ", \"screen\": " + Quote(screen) +
         ", \"music_opened\": " + (b.musicOpened != 0 ? "true" : "false") +
         ", \"effect_opened\": " + (b.effectOpened != 0 ? "true" : "false") +
         DesktopJson(e, run) +  // the desktop and the machine (environment.cpp)
         ", \"date\": " + Quote(e.date) + "}";
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
  e.cpuModel = CpuModel();
  time_t now = time(nullptr);
  tm utc;
#ifdef _WIN32
  // The system's version is in each run's backend record.
  e.cores = static_cast<int32_t>(std::thread::hardware_concurrency());
  e.kernel = "Windows";
  gmtime_s(&utc, &now);
#else
  e.cores = static_cast<int32_t>(sysconf(_SC_NPROCESSORS_ONLN));
  utsname name;
  e.kernel = uname(&name) == 0 ? std::string(name.sysname) + " " + name.release : "unknown";
  gmtime_r(&now, &utc);
#endif
  char date[32];
  strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%SZ", &utc);
  e.date = date;
  CollectDesktop(e);  // environment.cpp
  return e;
}

std::vector<const RunRecord*> MeasuredRuns(const RunnerResult& result) {
  std::vector<const RunRecord*> complete, all;
  for (const RunRecord& run : result.runs) {
    if (run.started == 0) continue;
    all.push_back(&run);
    if (run.complete != 0) complete.push_back(&run);
  }
  return complete.empty() ? all : complete;
}

std::string HeadlineLine(const RunnerResult& result) {
  std::vector<const RunRecord*> runs = MeasuredRuns(result);
  RateStats stats = ComputeStats(Rates(runs));
  char line[160];
  snprintf(line, sizeof line, "torvex32-bench: %.0f frames/10s (median of %zu run%s, cv %.1f%%)%s",
           stats.median, runs.size(), runs.size() == 1 ? "" : "s", stats.cv * 100.0,
           result.complete ? "" : " interrupted");
  return line;
}

std::string ResultJson(const RunnerOptions& options, const RunnerResult& result) {
  std::vector<const RunRecord*> runs = MeasuredRuns(result);
  RateStats stats = ComputeStats(Rates(runs));
  std::unique_ptr<MergedTimes> t = Merge(runs);
  int64_t frames = 0, elapsed = 0;
  for (const RunRecord& run : result.runs) {
    frames += run.frames;
    elapsed += run.elapsedMs;
  }
  const RunRecord* last = result.runs.empty() ? nullptr : &result.runs.back();
  const RunRecord* first = runs.empty() ? last : runs.front();
  std::string j = "{\n";
  j += "  \"schema\": 1,\n";
  j += "  \"rate_per_10s\": " + Number(stats.median, 1) + ",\n";
  j += "  \"shown_text\": " + Quote(last != nullptr ? last->shownText : "") + ",\n";
  j += "  \"frames\": " + Whole(frames) + ",\n";
  j += "  \"elapsed_ms\": " + Whole(elapsed) + ",\n";
  j += std::string("  \"complete\": ") + (result.complete ? "true" : "false") + ",\n";
  j += "  \"runs\": " + RunsJson(result) + ",\n";
  j += "  \"stats\": {\"mean\": " + Number(stats.mean, 1) + ", \"median\": " +
       Number(stats.median, 1) + ", \"stddev\": " + Number(stats.stddev, 1) +
       ", \"cv\": " + Number(stats.cv, 4) + "},\n";
  j += "  \"frame_ns\": " + Whole(TimePercentile(t->frame, 0.5)) + ",\n";
  j += "  \"viewport_ns\": " + Whole(TimePercentile(t->viewport, 0.5)) + ",\n";
  j += "  \"sprites_ns\": " + Whole(TimePercentile(t->sprites, 0.5)) + ",\n";
  j += "  \"present_ns\": " + Whole(TimePercentile(t->present, 0.5)) + ",\n";
  j += "  \"frame_ns_p50\": " + Whole(TimePercentile(t->frame, 0.5)) + ",\n";
  j += "  \"frame_ns_p99\": " + Whole(TimePercentile(t->frame, 0.99)) + ",\n";
  j += "  \"frame_ns_max\": " + Whole(t->frame.max) + ",\n";
  j += "  \"frames_timed\": " + Whole(t->frame.total) + ",\n";
  j += "  \"cpu_ns_per_frame\": " + Number(PerFrame(runs, &RunRecord::cpuNsPerFrame), 0) + ",\n";
  j += "  \"switches_per_frame\": " + Number(PerFrame(runs, &RunRecord::switchesPerFrame), 4) +
       ",\n";
  j += "  \"present_path\": " + Quote(first != nullptr ? first->presentPath : "none") + ",\n";
  j += "  \"memcpy_frame_ns\": " + Whole(result.memcpyFrameNs) + ",\n";
  j += "  \"repeat\": " + Whole(options.repeat) + ",\n";
  j += "  \"seed\": " + (options.seeded ? Whole(options.seed) : std::string("null")) + ",\n";
  j += std::string("  \"window\": ") + (options.window ? "true" : "false") + ",\n";
  // Runs until stable, the display's refresh and the per-frame log (stable.cpp,
  // environment.cpp, framelog.cpp).
  j += "  \"until_stable\": " + UntilStableJson(options, result) + ",\n";
  j += "  \"capped_by_refresh\": " + CappedByRefreshJson(result) + ",\n";
  j += "  \"frame_log\": " + FrameLogJson(options, result) + ",\n";
  j += "  \"environment\": " + EnvironmentJson(result.environment, first) + "\n";
  return j + "}\n";
}
