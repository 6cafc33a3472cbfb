// main.cpp — torvex32-bench: runs the benchmark --repeat times, each run in a process of its
// own (a fresh program every time, as a user starts it), headless or in a real window, and
// reports the exact rate with the spread of the runs.
//
// The runner keeps the user's profile file out of reach and writes none: the framework's
// configuration folder lies in a private temporary folder where no file can be made, removed
// at every end, a stop by signal included.
// A signal stops the run in progress through the program's normal shut-down and no further run
// starts; the result then says "complete": false and the runner exits with 128 + the signal.
// How a run is started, how it reports and how the signals reach it is the platform's
// (StartRun); what a run reports is this file's (SharedRun).
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <initializer_list>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/app.h"
#include "app/runner/runner.h"
#include "pngfile/pngfile.h"
#include "torvex_version.h"

namespace {

// The stop of a run that someone other than the runner stopped (the run killed, say): what ran
// counts, and no further run starts, as after the runner's own stop.
int32_t runStopped = 0;
int32_t Stopped() { return runStopped != 0 ? runStopped : GetRunnerStopSignal(); }

// What a run shares with the runner: its record, written while it runs, and its last frame.
struct SharedRun {
  RunRecord record;
  uint8_t lastFrame[WindowWidth * WindowHeight];
};
SharedRun* shared = nullptr;    // the runner's view
RunEnd lastEnd{};               // how the latest run ended
const RunnerOptions* runOptions = nullptr;

// A run's body, in its own process: the frame log's buffer is the run's own memory, taken and
// written out here.
int32_t MeasureInShare(void* share, bool last) {
  SharedRun& run = *static_cast<SharedRun*>(share);
  std::vector<uint8_t> lastFrame(WindowWidth * WindowHeight);
  std::string why;
  if (!TakeFrameLog(*runOptions, last, run.record.times, why)) {
    fprintf(stderr, "torvex32-bench: %s\n", why.c_str());
    return 1;
  }
  int32_t code = MeasureOneRun(*runOptions, run.record, lastFrame.data());
  if (!WriteFrameLog(*runOptions, run.record.times, why)) {
    fprintf(stderr, "torvex32-bench: %s\n", why.c_str());
    code = 1;
  }
  memcpy(run.lastFrame, lastFrame.data(), lastFrame.size());
  return code;
}

bool ExitedWithFailure(const RunEnd& end) { return end.signal == 0 && end.exitCode != 0; }

// The run's record as the run left it. A run that ended before filling it in (killed, or ended
// at once by a second stop request) still has its live progress and frame times: those count
// as an incomplete run; its CPU figures are unknown.
bool TakeRecord(const RunEnd& end, RunRecord& record) {
  record = shared->record;
  if (end.reported) return record.started != 0;
  record.frames = record.live.frames;
  record.elapsedMs = record.live.runningMs;
  record.started = record.frames > 0 ? 1 : 0;
  record.complete = 0;
  if (record.stopSignal == 0 && Stopped() != 0) record.stopSignal = Stopped();
  if (record.stopSignal == 0 && end.signal != 0) record.stopSignal = end.signal;
  // Ended at once by a stop of its own (128 + the signal), which the runner did not send.
  if (record.stopSignal == 0 && end.signal == 0 && end.exitCode > 128)
    record.stopSignal = end.exitCode - 128;
  record.cpuNsPerFrame = record.switchesPerFrame = std::nan("");
  snprintf(record.presentPath, sizeof record.presentPath, "unknown");
  return record.started != 0;
}

// Runs once; the record into record. False if the run could not be started at all.
bool RunAndTake(bool last, RunEnd& end, bool& taken, RunRecord& record) {
  if (!StartRun(MeasureInShare, last, &end)) return false;
  lastEnd = end;
  taken = TakeRecord(end, record);
  return true;
}

// The last frame of the last run, written by the runner once the run has ended: a stop can
// then break off the write, which a run's own shut-down could not.
bool WriteScreenshot(const RunnerOptions& options) {
  if (options.screenshot.empty() || !lastEnd.reported || shared->record.started == 0)
    return true;
  std::vector<uint8_t> frame(shared->lastFrame, shared->lastFrame + sizeof shared->lastFrame);
  std::string why;
  if (WritePalettePng(options.screenshot, WindowWidth, WindowHeight, frame, why)) return true;
  fprintf(stderr, "torvex32-bench: --screenshot: %s\n", why.c_str());
  return false;
}

// Nanoseconds of one copy of a whole FrameBuffer, the memory system's own speed, as a yardstick.
int64_t MeasureFrameCopy() {
  std::vector<uint8_t> from(FrameBytes, 7), to(FrameBytes);
  TimeHistogram times{};
  for (int i = 0; i < 400; ++i) {
    int64_t start = GetPreciseTimeNs();
    memcpy(to.data(), from.data(), from.size());
    asm volatile("" : : "r"(to.data()) : "memory");  // the copy is not optimised away
    RecordTime(times, GetPreciseTimeNs() - start);
  }
  return TimePercentile(times, 0.5);
}

// What did not reach the screen, said on the standard error as each run ends.
void SayHowItWasShown(const RunnerOptions& options, const RunRecord& run, int number) {
  if (run.framesNotShown > 0)
    fprintf(stderr,
            "torvex32-bench: run %d: %lld frames were not shown (%s) and are not counted\n",
            number, static_cast<long long>(run.framesNotShown), run.presentError);
  if (run.screen.result == ScreenMismatch)
    fprintf(stderr,
            "torvex32-bench: run %d: the window did not show the last frame: %lld of %lld "
            "pixels differ; %s\n",
            number, static_cast<long long>(run.screen.differing),
            static_cast<long long>(run.screen.compared), run.screen.reason);
  else if (run.screen.result == ScreenNotAvailable && options.window && !options.noScreenCheck &&
           run.complete != 0)
    fprintf(stderr, "torvex32-bench: run %d: the screen could not be checked: %s\n", number,
            run.screen.reason);
}

// Runs the measured runs into result; the exit code of the runner so far.
int RunAll(const RunnerOptions& options, RunnerResult& result) {
  for (int32_t i = 0; i < options.repeat && Stopped() == 0 && !StableEnough(options, result);
       ++i) {
    RunEnd status{};
    bool taken = false;
    // Runs until stable may end at any run from the third on: each of those keeps its
    // screenshot and frame log, and the last one's stay.
    bool last =
        i + 1 == options.repeat || (options.untilStable >= 0 && i + 1 >= UntilStableMinRuns);
    auto record = std::make_unique<RunRecord>();
    if (!RunAndTake(last, status, taken, *record)) return 1;
    if (!taken) {
      // Stopped before its first frame: nothing ran, nothing is lost.
      if (Stopped() != 0 || record->stopSignal != 0)
        return 128 + (Stopped() != 0 ? Stopped() : record->stopSignal);
      if (record->frames == 0 && ExitedWithFailure(status))
        fprintf(stderr, "torvex32-bench: the benchmark did not run (see the message above)\n");
      else
        fprintf(stderr, "torvex32-bench: run %d ended without a result (%s)\n", i + 1,
                status.description);
      return 1;
    }
    result.runs.push_back(*record);
    const RunRecord& run = result.runs.back();
    if (run.stopSignal != 0 && Stopped() == 0) {
      // Stopped by someone other than the runner (the run killed, say): what ran counts, and
      // no further run starts.
      fprintf(stderr, "torvex32-bench: run %d was stopped (%s)\n", i + 1, status.description);
      runStopped = run.stopSignal;
    }
    if (run.presentFailed != 0 && run.stopSignal == 0) {
      // A rate of frames that nobody saw would be invented: there is no result at all.
      fprintf(stderr, "torvex32-bench: run %d: its frames could not be shown: %s; no rate is "
              "reported\n", i + 1, run.presentError[0] != 0 ? run.presentError : "no reason given");
      result.runs.clear();
      return 1;
    }
    SayHowItWasShown(options, run, i + 1);
    if (ExitedWithFailure(status) && run.stopSignal == 0) return 1;
    if (last && !WriteScreenshot(options)) return 1;
  }
  return Stopped() != 0 ? 128 + Stopped() : 0;
}

// Replaced whole (a pipe or a device written as it is), so a stop halfway leaves the old file.
bool WriteOutput(const std::string& path, const std::string& json) {
  std::string why;
  if (WriteFileSafely(path, std::vector<uint8_t>(json.begin(), json.end()), why)) return true;
  fprintf(stderr, "torvex32-bench: --output: %s\n", why.c_str());
  return false;
}

void WarnShortRuns(const RunnerResult& result) {
  for (const RunRecord& run : result.runs) {
    if (run.started == 0 || run.complete == 0 || run.elapsedMs > RateShownAfterMs) continue;
    fprintf(stderr,
            "torvex32-bench: a run of %.3f s is measured exactly, but the window would still "
            "say \"%s\" (it shows the rate after %g s)\n",
            run.elapsedMs / 1000.0, WaitText, RateShownAfterMs / 1000.0);
    return;
  }
}

void RemoveFolder(const std::string& folder) {
  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
}

// A run needs a little room in the private folder (the effect's temporary copy): a full
// $TMPDIR is told by its cause now, not by a run that ends without a result.
bool CheckRoom(const std::string& folder, const std::string& tempName) {
  std::string probe = folder + "/room";
  FILE* file = fopen(probe.c_str(), "wb");
  std::vector<char> block(64 * 1024);
  bool ok = file != nullptr && fwrite(block.data(), 1, block.size(), file) == block.size() &&
            fflush(file) == 0;
  int error = errno;
  if (file != nullptr && fclose(file) != 0 && ok) ok = false, error = errno;
  remove(probe.c_str());
  if (!ok)
    fprintf(stderr, "torvex32-bench: no room for the runs' temporary files in %s: %s\n",
            tempName.c_str(), strerror(error));
  return ok;
}

// Every file the runner will write, checked before the first run: a bad path found after the
// runs would cost them, and an output that is the other output would lose one of them.
bool CheckOutputs(const RunnerOptions& options, std::string& why) {
  if (!options.output.empty() && !options.screenshot.empty() &&
      SameFile(options.output.c_str(), options.screenshot.c_str())) {
    why = "--output and --screenshot name the same file, " + options.output;
    return false;
  }
  for (const auto& [name, path] : {std::pair<std::string, std::string>{"--output", options.output},
                                   {"--screenshot", options.screenshot}}) {
    if (path.empty()) continue;
    std::error_code error;
    std::filesystem::path target(path);
    std::filesystem::file_status status = std::filesystem::status(target, error);
    if (std::filesystem::is_directory(status)) {
      why = name + ": " + path + " is a folder";
      return false;
    }
    if (std::filesystem::exists(status)) {
      WriteCheck check = CheckWritable(path.c_str());
      if (check == WriteCheck::PipeWithoutReader) {
        // A pipe nobody reads would hold the result back for ever.
        why = name + ": " + path + " is a pipe with no reader";
        return false;
      }
      if (check == WriteCheck::NotWritable) {
        why = name + ": " + path + " cannot be written: " + strerror(errno);
        return false;
      }
      continue;
    }
    std::filesystem::path parent = target.parent_path();
    if (parent.empty()) parent = ".";
    if (!std::filesystem::is_directory(parent, error)) {
      why = name + ": the folder " + parent.string() + " does not exist";
      return false;
    }
    if (CheckWritable(parent.string().c_str()) == WriteCheck::NotWritable) {
      why = name + ": the folder " + parent.string() + " cannot be written in: " + strerror(errno);
      return false;
    }
  }
  return true;
}

int Report(const RunnerOptions& options, RunnerResult& result, int code) {
  // A stopped runner reports even when nothing ran yet; a failed one has said why.
  if (MeasuredRuns(result).empty() && Stopped() == 0) return code;
  result.environment = CollectEnvironment();
  WarnShortRuns(result);
  WarnFrameLogFull(options, result);
  std::string json = ResultJson(options, result);
  if (options.json)
    fputs(json.c_str(), stdout);
  else if (options.format == "x11perf")
    fputs(X11perfText(result).c_str(), stdout);
  else
    printf("%s%s\n%s", HeadlineLine(result).c_str(), HeadlineNotes(options, result).c_str(),
           options.format == "suite" ? SuiteLines(result).c_str() : "");
  fflush(stdout);
  if (!options.output.empty() && !WriteOutput(options.output, json) && code == 0) code = 1;
  return code;
}

}  // namespace

int main(int argc, char** argv) {
  if (AnswerVersion(argc, argv, "torvex32-bench")) return 0;
  RunnerOptions options;
  std::string why;
  if (!ParseRunnerOptions(std::vector<std::string>(argv + 1, argv + argc), options, why)) {
    fprintf(stderr, "torvex32-bench: %s\n", why.c_str());
    PrintRunnerUsage(stderr);
    return 2;
  }
  if (options.help) {
    PrintRunnerUsage(stdout);
    return 0;
  }
  if (options.version) {
    printf("torvex32-bench %s (commit %s)\n", TORVEX_VERSION, TORVEX_COMMIT);
    return 0;
  }
  if (options.installSuiteProfile) return InstallSuiteProfile();
  RunnerCommandLine.assign(argv, argv + argc);
  runOptions = &options;
  ServeRun(MeasureInShare, sizeof(SharedRun));  // where the system starts each run afresh
  if (!CheckOutputs(options, why)) {
    fprintf(stderr, "torvex32-bench: %s\n", why.c_str());
    return 2;
  }
  CatchRunnerStops();
  ChooseRunDisplay(!options.window, options.video.c_str(), options.present.c_str());
  const char* temp = getenv("TMPDIR");
  std::string tempName = temp != nullptr && temp[0] != 0 ? temp : "/tmp";
  static char folderName[4096];
  if (MakePrivateFolder(folderName, sizeof folderName) == 0) {
    fprintf(stderr, "torvex32-bench: cannot create a private folder in %s: %s\n",
            tempName.c_str(), strerror(errno));
    return 1;
  }
  std::string folder = folderName;
  if (!CheckRoom(folder, tempName)) {
    RemoveFolder(folder);
    return 1;
  }
  UsePrivateConfiguration(folder.c_str());
  shared = static_cast<SharedRun*>(PrepareRuns(argc, argv, folder.c_str(), sizeof(SharedRun)));
  if (shared == nullptr) {
    fprintf(stderr, "torvex32-bench: cannot share memory with the runs: %s\n", strerror(errno));
    RemoveFolder(folder);
    return 1;
  }
  RunnerResult result;
  result.memcpyFrameNs = MeasureFrameCopy();
  int code = RunAll(options, result);
  result.complete = Stopped() == 0 && code == 0;
  // A window that did not show its frames makes the rate a figure of something else: the
  // result still carries it, marked, for finding out why.
  if (code == 0 && CombinedScreenCheck(result).result == ScreenMismatch) code = 1;
  code = Report(options, result, code);
  // A stop that came while the result was being written (to a pipe nobody reads, say) broke
  // the write off: the exit status says so.
  if (Stopped() != 0 && code < 128) code = 128 + Stopped();
  RemoveFolder(folder);
  return code;
}
