// runner.h — torvex32-bench, the measurement runner: its options, one measured run (in a child
// process of its own, so that every run starts from a fresh program), the statistics over the
// runs and the result, as one stable line or as JSON. Only the runner's files include this.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "app/app.h"
#include "graphics/graphics.h"
#include "platform/platform.h"

// The result's values as the JSON library holds them, keys in the order they were put in.
using Json = nlohmann::ordered_json;

// ---------------------------------------------------------------------------------------
// Options (options.cpp).

struct RunnerOptions {
  double seconds = 0;      // running time per run; 0 with frames given
  int64_t frames = 0;      // frames per run; 0 with seconds
  int32_t repeat = 3;      // measured runs
  bool seeded = false;     // seed given: the runs scroll alike
  uint32_t seed = 0;
  bool window = false;     // a real window instead of SDL's dummy video driver
  bool json = false;       // the result as JSON on the standard output
  std::string output;      // the JSON result also into this file
  std::string screenshot;  // the last frame of the last run as PNG
  std::string video;       // SDL's video driver (as SDL_VIDEODRIVER)
  std::string present;     // "shm" or "sdl" (as TORVEX_PRESENT)
  bool noScreenCheck = false;  // do not read the window back after each run
  bool help = false;
  bool version = false;
  // Results in the forms users share them (stable.cpp, formats.cpp, framelog.cpp):
  double untilStable = -1;  // --until-stable: the runs' cv to reach, a fraction; < 0: off
  bool repeatGiven = false; // --repeat was given (with --until-stable it is the maximum)
  std::string frameLog;     // --frame-log: the last run's frames as CSV into this file
  std::string format = "line";  // --format: "line", "x11perf" or "suite"
  bool installSuiteProfile = false;  // --install-suite-profile: copy the suite's profile
};
// The largest --frames: frames times 10,000 (the rate's numerator) must fit 64 bits.
constexpr int64_t MaxRunFrames = INT64_MAX / 10000;
// The largest --repeat.
constexpr int32_t MaxRepeat = 1000;
// The most runs --until-stable adds when --repeat does not say.
constexpr int32_t UntilStableDefaultRuns = 10;
// The fewest runs whose cv --until-stable trusts.
constexpr int32_t UntilStableMinRuns = 3;

// The running time of a run of seconds, in the whole milliseconds the clock counts.
int64_t RunningLimitMs(double seconds);

// Reads the arguments (after the program's name); false with the reason, which names the
// option, in why. Options take "--name value" or "--name=value".
bool ParseRunnerOptions(const std::vector<std::string>& args, RunnerOptions& options,
                        std::string& why);
void PrintRunnerUsage(FILE* out);

// ---------------------------------------------------------------------------------------
// One measured run (run.cpp).

// What one run hands to the runner: written by the child process into memory it shares with
// the runner (on Windows, into a file of the runner's private folder) and read back as it
// stands (the same program writes and reads it). The frame times and live progress are
// written there while the run goes, so a run that never gets to fill in the rest still counts.
struct RunRecord {
  int32_t started;      // 1 once the benchmark ran its first frame
  int32_t complete;     // 1 when the run reached its limit
  int32_t stopSignal;   // the signal that stopped it, or 0
  int64_t frames;       // frames shown: handed to the window system
  int64_t elapsedMs;    // running time of the run (the frames not shown included)
  int64_t framesNotShown;  // frames the window system did not take; not in frames
  int32_t presentFailed;   // 1: frames could not be shown at all; the run measured nothing
  char presentError[160];  // why the latest frame that was not shown was not
  ScreenCheck screen;      // the window read back after the last frame (not available when
                           // the run did not reach its end or the check was off)
  char shownText[17];   // what the window would show at the end
  char presentPath[32]; // GetPresentPath at the end
  double cpuNsPerFrame;     // the process's user + system time over the frames, per frame
  double switchesPerFrame;  // its voluntary + involuntary context switches, per frame
  BackendReport backend;
  FramePhaseTimes times;
  RunProgress live;   // kept up to date while the run goes, for a run that ends abruptly
};

// Runs the benchmark once in this process, as the options say, and fills record; lastFrame
// (512x384 palette indices) receives the last frame shown. Returns the program's exit code.
int32_t MeasureOneRun(const RunnerOptions& options, RunRecord& record, uint8_t* lastFrame);

// ---------------------------------------------------------------------------------------
// Statistics and the result (result.cpp).

// Frames times 10,000 over the running milliseconds; 0 without running time.
double ExactRate(int64_t frames, int64_t elapsedMs);

struct RateStats {
  double mean, median, stddev, cv;  // stddev: sample (n - 1); cv: stddev over mean
};
RateStats ComputeStats(std::vector<double> values);

// The machine and the program as the result records them.
struct RunEnvironment {
  std::string version, commit, buildType, compiler;
  std::string cpuModel, kernel;
  int32_t cores = 0;
  std::string date;  // UTC, ISO 8601
  MachineReport machine{};               // the system's release, memory, CPU governor
  std::vector<std::string> commandLine;  // the runner's, as it was started
};
RunEnvironment CollectEnvironment();

// The whole result: complete is false when a signal stopped the runs.
struct RunnerResult {
  std::vector<RunRecord> runs;  // in order; a stopped run last
  bool complete = true;
  RunEnvironment environment;
  int64_t memcpyFrameNs = 0;  // one copy of the FrameBuffer, the memory's own speed
};
// The headline: "torvex32-bench: 83027 frames/10s (median of 3 runs, cv 2.1%)".
std::string HeadlineLine(const RunnerResult& result);
// The JSON object (schema 1), one line per key at the top level.
std::string ResultJson(const RunnerOptions& options, const RunnerResult& result);
// A value of the result as the result writes it below its top level, on one line: fractional
// figures with the decimals of their key (key: the value's own, or its container's).
std::string JsonText(const Json& value, const std::string& key = "");
// Whether a run enters the statistics: it started and ran for some time (a run of 0 ms has no
// rate). The JSON gives this per run as "in_stats".
bool CountsInStats(const RunRecord& run);
// The runs the statistics stand on: the complete ones, or all when none completed.
std::vector<const RunRecord*> MeasuredRuns(const RunnerResult& result);
// The screen checks of all runs that ran, as one: a mismatch if any run's window did not show
// its last frame (the largest), else a match if any run matched, else why none could be read.
ScreenCheck CombinedScreenCheck(const RunnerResult& result);

// ---------------------------------------------------------------------------------------
// Runs until stable (stable.cpp).

// Whether --until-stable's target is met: at least UntilStableMinRuns measured runs whose
// rates' cv is at most the target. False without --until-stable.
bool StableEnough(const RunnerOptions& options, const RunnerResult& result);
// The result's "until_stable" value: null without the option, else the target (a fraction,
// as "stats" gives the cv), the measured runs it took and whether the target was met.
Json UntilStableJson(const RunnerOptions& options, const RunnerResult& result);
// What the stable line adds after its parenthesis: the cv target met or not, and a rate
// capped by the display's refresh ("" when there is nothing to say).
std::string HeadlineNotes(const RunnerOptions& options, const RunnerResult& result);

// ---------------------------------------------------------------------------------------
// The desktop in the environment (environment.cpp).

// The runner's command line, set by main before anything runs.
extern std::vector<std::string> RunnerCommandLine;
// Fills the machine's facts and the command line into the environment.
void CollectDesktop(RunEnvironment& environment);
// Adds the environment's desktop and machine keys to it: unknown values are null.
void AddDesktopJson(Json& into, const RunEnvironment& environment, const RunRecord* run);
// Whether the runs' rate was held to the display's refresh: a frame every n refreshes (n from
// 1 to CappedMaxRefreshes) within CappedTolerance, while the process spent over a tenth of
// each frame off the processor, waiting on the display. 1 yes, 0 no, -1 unknown (the refresh
// rate or the CPU time is not known).
constexpr double CappedTolerance = 0.02;
constexpr int32_t CappedMaxRefreshes = 8;
int32_t CappedByRefresh(const RunnerResult& result);
// CappedByRefresh as JSON: true, false or null.
Json CappedByRefreshJson(const RunnerResult& result);
// Any bytes as UTF-8 text for the result: each byte that does not begin a whole UTF-8 sequence
// (truncated, overlong, a surrogate, beyond U+10FFFF) becomes U+FFFD, the rest is kept.
std::string ValidUtf8(const std::string& text);

// ---------------------------------------------------------------------------------------
// Per-frame log (framelog.cpp).

// The most frames --frame-log holds (40 bytes each, taken before the run; the pages are only
// touched as frames fill them). Frames beyond it are measured but not logged, and the runner
// says so.
constexpr int64_t FrameLogLimit = 1'000'000;
// Before a run that may be the last: takes the log's buffer into times when --frame-log is
// given; false with the reason if the memory cannot be had.
bool TakeFrameLog(const RunnerOptions& options, bool last, FramePhaseTimes& times,
                  std::string& why);
// After that run: writes the log as CSV (a header, then one line per logged frame: its start
// from the run's first frame, the time since the previous frame began, and the three stages,
// all in ns) and lets the buffer go; false with the reason if the file cannot be written.
bool WriteFrameLog(const RunnerOptions& options, FramePhaseTimes& times, std::string& why);
// The result's "frame_log" value: null without the option, else the file, the frames it
// holds, the timed frames of the last run and the limit.
Json FrameLogJson(const RunnerOptions& options, const RunnerResult& result);
// Says on the standard error stream when the last run had more timed frames than the log holds.
void WarnFrameLogFull(const RunnerOptions& options, const RunnerResult& result);

// ---------------------------------------------------------------------------------------
// Other forms of the result (formats.cpp).

// The label of our frame in x11perf lines: the same in every result, so that x11perfcomp
// puts results side by side.
constexpr const char* X11perfLabel = "torvex32 frame 512x384 (scroll, 14 sprites, present)";
// Each measured run as an x11perf line ("N reps @ X msec (R/sec): label"), after a header and
// before a blank line, then a "trep" line for all of them together, as x11perf ends a
// repeated test.
std::string X11perfText(const RunnerResult& result);
// The suite's secondary results, each on a line of its own after the stable line: the frame
// time's 99th percentile and the CPU time per frame, in microseconds with the JSON's ns exact.
std::string SuiteLines(const RunnerResult& result);

// ---------------------------------------------------------------------------------------
// The test suite's profile (suite.cpp).

// Copies the profile shipped with the program into the suite's folder of local profiles, as
// --install-suite-profile; the exit code.
int InstallSuiteProfile();
