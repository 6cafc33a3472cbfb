// runner.h — torvex32-bench, the measurement runner: its options, one measured run (in a child
// process of its own, so that every run starts from a fresh program), the statistics over the
// runs and the result, as one stable line or as JSON. Only the runner's files include this.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/app.h"
#include "graphics/graphics.h"
#include "platform/platform.h"

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
};
// The largest --frames: frames times 10,000 (the rate's numerator) must fit 64 bits.
constexpr int64_t MaxRunFrames = INT64_MAX / 10000;
// The largest --repeat.
constexpr int32_t MaxRepeat = 1000;

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
// Whether a run enters the statistics: it started and ran for some time (a run of 0 ms has no
// rate). The JSON gives this per run as "in_stats".
bool CountsInStats(const RunRecord& run);
// The runs the statistics stand on: the complete ones, or all when none completed.
std::vector<const RunRecord*> MeasuredRuns(const RunnerResult& result);
// The screen checks of all runs that ran, as one: a mismatch if any run's window did not show
// its last frame (the largest), else a match if any run matched, else why none could be read.
ScreenCheck CombinedScreenCheck(const RunnerResult& result);
