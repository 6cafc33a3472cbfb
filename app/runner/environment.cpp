// environment.cpp — the desktop and the machine in the result's environment (session type,
// window manager or compositor, refresh rate, system release, memory, CPU governor, command
// line), and whether the rate was held to the display's refresh. The facts come from the
// platform layer; what it cannot tell is null here, never a guess.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <utility>

#include "app/runner/runner.h"

std::vector<std::string> RunnerCommandLine;

namespace {

// The length of the UTF-8 sequence at text[i], or 0 if none starts there.
size_t Utf8Length(const std::string& text, size_t i) {
  auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
  unsigned char lead = byte(i);
  size_t length = lead < 0x80 ? 1 : lead >= 0xC2 && lead <= 0xDF ? 2
                  : lead >= 0xE0 && lead <= 0xEF                ? 3
                  : lead >= 0xF0 && lead <= 0xF4                ? 4
                                                                : 0;
  if (length == 0 || i + length > text.size()) return 0;
  for (size_t k = 1; k < length; ++k)
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
  // Overlong forms, surrogates and code points above U+10FFFF are not UTF-8.
  unsigned char second = length > 1 ? byte(i + 1) : 0;
  if (length == 3 && ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second >= 0xA0)))
    return 0;
  if (length == 4 && ((lead == 0xF0 && second < 0x90) || (lead == 0xF4 && second >= 0x90)))
    return 0;
  return length;
}

// A text of a report, read no further than its array; null when not known.
template <size_t N>
Json TextOrNull(const char (&text)[N]) {
  std::string value(text, strnlen(text, N));
  return value.empty() ? Json(nullptr) : Json(ValidUtf8(value));
}

}  // namespace

std::string ValidUtf8(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size();) {
    size_t length = Utf8Length(text, i);
    if (length == 0) {
      out += "\xef\xbf\xbd";  // U+FFFD
      i += 1;
    } else {
      out.append(text, i, length);
      i += length;
    }
  }
  return out;
}

void CollectDesktop(RunEnvironment& e) {
  GetMachineReport(&e.machine);
  e.commandLine = RunnerCommandLine;
}

void AddDesktopJson(Json& into, const RunEnvironment& e, const RunRecord* run) {
  BackendReport b{};
  if (run != nullptr) b = run->backend;
  Json commandLine = Json::array();
  for (const std::string& argument : e.commandLine) commandLine.push_back(ValidUtf8(argument));
  into["session_type"] = TextOrNull(b.sessionType);
  into["compositor"] = TextOrNull(b.compositor);
  into["compositor_version"] = TextOrNull(b.compositorVersion);
  into["refresh_hz"] = b.refreshMilliHz > 0 ? Json(b.refreshMilliHz / 1000.0) : Json(nullptr);
  into["os_release"] = TextOrNull(e.machine.osRelease);
  into["memory_bytes"] = e.machine.memoryBytes > 0 ? Json(e.machine.memoryBytes) : Json(nullptr);
  into["cpu_governor"] = TextOrNull(e.machine.cpuGovernor);
  into["command_line"] = std::move(commandLine);
}

int32_t CappedByRefresh(const RunnerResult& result) {
  std::vector<const RunRecord*> runs = MeasuredRuns(result);
  if (runs.empty()) return -1;
  const RunRecord& first = *runs.front();
  // Without a window system the frames wait on no display.
  if (std::string(first.presentPath) == "headless" ||
      std::string(first.backend.sessionType) == "none")
    return 0;
  if (first.backend.refreshMilliHz <= 0) return -1;
  std::vector<double> rates;
  double cpuNs = 0;
  int64_t frames = 0;
  for (const RunRecord* run : runs) {
    rates.push_back(ExactRate(run->frames, run->elapsedMs));
    cpuNs += run->cpuNsPerFrame * static_cast<double>(run->frames);
    frames += run->frames;
  }
  double perSecond = ComputeStats(rates).median / 10.0;
  if (perSecond <= 0 || frames <= 0) return -1;
  // A frame shown every n refreshes: the rate is the refresh rate over n.
  double refresh = first.backend.refreshMilliHz / 1000.0;
  double n = std::round(refresh / perSecond);
  if (n < 1 || n > CappedMaxRefreshes) return 0;
  if (std::fabs(perSecond - refresh / n) > CappedTolerance * refresh / n) return 0;
  // The main loop never waits by itself: time off the processor is time waiting on the
  // display. Without the process's CPU time that cannot be told.
  double cpuPerFrame = cpuNs / static_cast<double>(frames);
  if (!std::isfinite(cpuPerFrame)) return -1;
  return cpuPerFrame < 0.9 * 1e9 / perSecond ? 1 : 0;
}

Json CappedByRefreshJson(const RunnerResult& result) {
  int32_t capped = CappedByRefresh(result);
  return capped < 0 ? Json(nullptr) : Json(capped == 1);
}
