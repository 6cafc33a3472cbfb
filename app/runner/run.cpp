// run.cpp — one measured run: the benchmark's own framework and hooks, ended after a number of
// frames or of milliseconds of running time as if "EXIT" were clicked (or, on a signal, closed
// as the window manager would close it), with the frame times in fixed-size histograms and the
// process's CPU time and context switches over the frames.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/app.h"
#include "app/runner/runner.h"

namespace {

using Usage = ProcessUsage;
Usage ReadUsage() { return GetProcessUsage(); }

// Taken as the first frame begins: start-up (files, sound devices, the window) stays out.
Usage usageAtFirstFrame;
void NoteFirstFrame() { usageAtFirstFrame = ReadUsage(); }

// A paused run waits for P with its running time standing still; without this it would look
// hung to whoever started it.
void SayPaused() {
  if (GetStopSignal() != 0) return;  // a stop closes the window, which loses the focus
  fprintf(stderr,
          "torvex32-bench: the run is paused (its window lost the focus or was minimised); "
          "its running time stands still until P is pressed in the window (Ctrl-C stops)\n");
}

// The run's own options, for its end; and what its end found.
const RunnerOptions* runOptions = nullptr;
ScreenCheck screenAtEnd;
Usage checkCost;  // what the check itself cost the process, kept out of the frames' figures

// For tests: TORVEX_TEST_HOLD_SCREEN_CHECK=1 holds the run after its last frame, just before
// the window is read back, until a line arrives on the standard input (it says so on the
// standard error first): a test can then change the window behind the program's back at a
// known moment.
void HoldForTest() {
  const char* hold = getenv("TORVEX_TEST_HOLD_SCREEN_CHECK");
  if (hold == nullptr || strcmp(hold, "1") != 0) return;
  fprintf(stderr, "torvex32-bench: holding before the screen check\n");
  fflush(stderr);
  char line[16];
  if (fgets(line, sizeof line, stdin) == nullptr) clearerr(stdin);
}

// After the run's last frame, before its window closes: nothing from here on is timed (the
// check, and the frame that closing presents), and the window is read back to see that it
// shows the last frame.
void EndRun() {
  FrameTimings = nullptr;
  if (runOptions->noScreenCheck) {
    ScreenNotReadable(&screenAtEnd, "the check is off (--no-screen-check)");
    return;
  }
  if (RunLimit.presentFailed != 0) {
    ScreenNotReadable(&screenAtEnd, "frames could not be shown");
    return;
  }
  Usage before = ReadUsage();
  HoldForTest();
  screenAtEnd = CheckWindowShowsBlock(MainWindow);
  Usage after = ReadUsage();
  checkCost = {after.cpuNs - before.cpuNs, after.switches - before.switches};
}

}  // namespace

int32_t MeasureOneRun(const RunnerOptions& options, RunRecord& record, uint8_t* lastFrame) {
  FramePhaseTimes& times = record.times;
  // The first tenth of a run warms caches and the sound device: its frames are not recorded.
  times.skipFrames = options.frames / 10;
  times.skipNs = static_cast<int64_t>(options.seconds * 1e8);
  times.firstFrame = NoteFirstFrame;
  FrameTimings = &times;
  RunLimit.frames = options.frames;
  RunLimit.runningMs = options.frames > 0 ? 0 : RunningLimitMs(options.seconds);
  RunLimit.lastFrame = lastFrame;
  RunLimit.paused = SayPaused;
  RunLimit.ending = EndRun;
  runOptions = &options;
  checkCost = {0, 0};
  ScreenNotReadable(&screenAtEnd, "the run did not reach its end");
  RunLimit.progress = &record.live;
  SeedFixed = options.seeded ? 1 : 0;
  SeedValue = options.seed;

  static char programPath[4096];
  if (GetProgramFilePath(programPath, sizeof programPath) == 0) {
    fprintf(stderr, "torvex32-bench: cannot find the program's own path\n");
    return 1;
  }
  char* arguments[] = {programPath, nullptr};
  AppArgCount = 1;
  AppArgVector = arguments;
  int32_t exitCode = RunApplication(GetProgramInstance(), nullptr, "", SW_SHOWDEFAULT);
  Usage end = ReadUsage();
  FrameTimings = nullptr;
  times.firstFrame = nullptr;
  RunLimit.ending = nullptr;
  RunLimit.progress = nullptr;

  record.stopSignal = GetStopSignal();
  record.started = FrameCount > 0 ? 1 : 0;
  // Only frames that reached the window system count; a run that showed none measured nothing.
  record.frames = RunLimit.framesShown;
  record.framesNotShown = RunLimit.framesNotShown;
  record.presentFailed =
      RunLimit.presentFailed != 0 || (record.frames == 0 && record.framesNotShown > 0) ? 1 : 0;
  snprintf(record.presentError, sizeof record.presentError, "%s", RunLimit.presentError);
  record.screen = screenAtEnd;
  // The limit was reached (a short run may take 0 ms), or the run was stopped before it.
  bool reached = options.frames > 0 ? record.frames >= options.frames
                                    : RunLimit.endedAtMs >= RunLimit.runningMs;
  reached = reached && record.presentFailed == 0;
  record.complete = record.stopSignal == 0 && reached ? 1 : 0;
  record.elapsedMs = reached ? RunLimit.endedAtMs : RunningTimeMs();
  GetShownText(record.shownText);
  snprintf(record.presentPath, sizeof record.presentPath, "%s", GetPresentPath());
  if (record.frames > 0 && end.cpuNs < 0) {
    record.cpuNsPerFrame = record.switchesPerFrame = std::nan("");
  } else if (record.frames > 0) {
    double frames = static_cast<double>(record.frames);
    record.cpuNsPerFrame =
        static_cast<double>(end.cpuNs - usageAtFirstFrame.cpuNs - checkCost.cpuNs) / frames;
    record.switchesPerFrame =
        static_cast<double>(end.switches - usageAtFirstFrame.switches - checkCost.switches) /
        frames;
  }
  GetBackendReport(&record.backend);
  return record.presentFailed != 0 && exitCode == 0 ? 1 : exitCode;
}
