// main.cpp — torvex32-bench: runs the benchmark --repeat times, each run in a child process of
// its own (a fresh program every time, as a user starts it), headless on SDL's dummy drivers
// or in a real window, and reports the exact rate with the spread of the runs.
//
// The runner keeps the user's profile file out of reach and writes none: the framework's
// configuration folder lies in a private temporary folder (in $TMPDIR) where no file can be
// made, removed at every end, a stop by signal included.
// A signal stops the run in progress through the program's normal shut-down and no further run
// starts; the result then says "complete": false and the runner exits with 128 + the signal.
//
// On Windows there is no fork: each run is the runner's own program started again, told by
// TORVEX32_BENCH_RUN which record file to write; the hidden window of the Win32 backend stands
// for the dummy video driver, and its Windows directory for the configuration folder.
#include <signal.h>
#ifdef _WIN32
#include <io.h>
#include <process.h>
#else
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

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

volatile sig_atomic_t runnerStop = 0;  // the signal that asked the runner to stop

#ifdef _WIN32
// Ctrl+C and Ctrl+Break reach every program of the console, the run included, which stops
// through its own shut-down.
void OnRunnerSignal(int signal) {
  if (runnerStop == 0) runnerStop = signal;
}

void CatchRunnerSignals() {
  for (int s : {SIGINT, SIGBREAK}) signal(s, OnRunnerSignal);
}

std::string MakePrivateFolder() {
  std::error_code error;
  std::filesystem::path temp = std::filesystem::temp_directory_path(error);
  if (error) return "";
  // A fresh name: a folder that exists already belongs to someone else.
  for (int64_t attempt = 0; attempt < 100; ++attempt) {
    std::filesystem::path folder =
        temp / ("torvex32-bench-" + std::to_string(GetPreciseTimeNs() % 1000000007 + attempt));
    if (std::filesystem::create_directory(folder, error)) return folder.string();
  }
  return "";
}

void SetDrivers(const RunnerOptions& options) {
  if (!options.window) _putenv("TORVEX32_HEADLESS=1");
}

// One argument as the C library of the started program splits its command line back.
std::string Quoted(const std::string& argument) {
  if (!argument.empty() && argument.find_first_of(" \t\"") == std::string::npos) return argument;
  std::string quoted = "\"";
  size_t backslashes = 0;
  for (char c : argument) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    quoted.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
    backslashes = 0;
    quoted += c;
  }
  quoted.append(backslashes * 2, '\\');
  return quoted + "\"";
}

std::vector<std::string> runnerArguments;  // the runner's own, passed on to every run

// Starts one run (this program again) and waits for it; false if it could not be started.
bool RunOnce(const RunnerOptions&, const std::string& file, bool last, int& status) {
  fflush(stdout);
  fflush(stderr);
  static char program[4096];
  if (GetProgramFilePath(program, sizeof program) == 0) {
    fprintf(stderr, "torvex32-bench: cannot find the program's own path\n");
    return false;
  }
  std::vector<std::string> quoted;
  quoted.push_back(Quoted(program));
  for (const std::string& argument : runnerArguments) quoted.push_back(Quoted(argument));
  std::vector<const char*> arguments;
  for (const std::string& argument : quoted) arguments.push_back(argument.c_str());
  arguments.push_back(nullptr);
  _putenv_s("TORVEX32_BENCH_RUN", file.c_str());
  _putenv_s("TORVEX32_BENCH_LAST", last ? "1" : "0");
  intptr_t code = _spawnv(_P_WAIT, program, arguments.data());
  _putenv_s("TORVEX32_BENCH_RUN", "");
  if (code < 0) {
    fprintf(stderr, "torvex32-bench: cannot start a run: %s\n", strerror(errno));
    return false;
  }
  status = static_cast<int>(code);
  return true;
}

// The exit status of a run as a number.
bool ExitedWithFailure(int status) { return status != 0; }

std::string DescribeStatus(int status) { return "exit status " + std::to_string(status); }

// The record the run wrote into its file; false if it wrote none or never started.
bool TakeRecord(const std::string& file, RunRecord& record) {
  memset(&record, 0, sizeof record);
  FILE* in = fopen(file.c_str(), "rb");
  if (in == nullptr) return false;
  bool ok = fread(&record, sizeof record, 1, in) == 1;
  fclose(in);
  if (!ok) memset(&record, 0, sizeof record);
  return ok && record.started != 0;
}
#else
volatile pid_t currentRun = 0;  // the child measuring now, which gets the signal too

// The signals that ask the runner to stop: the usual requests, and those whose default would
// end the runner on the spot and leave its private folder behind.
constexpr int RunnerStopSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM};

void OnRunnerSignal(int signal) {
  int saved = errno;
  if (runnerStop == 0) runnerStop = signal;
  // Runs are in a process group of their own: the signal reaches them through the runner
  // alone. A run stops on the requests the program knows; the others become a termination.
  bool known = signal == SIGINT || signal == SIGTERM || signal == SIGHUP || signal == SIGQUIT;
  if (currentRun > 0) kill(currentRun, known ? signal : SIGTERM);
  errno = saved;
}

void CatchRunnerSignals() {
  struct sigaction action;
  memset(&action, 0, sizeof action);
  action.sa_handler = OnRunnerSignal;
  sigemptyset(&action.sa_mask);
  // No SA_RESTART: a stop must break off whatever the runner waits for (an output that is a
  // pipe nobody reads, say); every wait below looks at runnerStop when interrupted.
  action.sa_flags = 0;
  for (int s : RunnerStopSignals) {
    // A signal ignored by whoever started us stays ignored (nohup, a shell's background job);
    // the runs inherit that.
    struct sigaction before;
    if (sigaction(s, nullptr, &before) == 0 && before.sa_handler == SIG_IGN) continue;
    sigaction(s, &action, nullptr);
  }
  signal(SIGPIPE, SIG_IGN);
}

// Holds the stop signals back while a run is being started, so that one arriving then is
// neither lost nor taken by a child that has no handler yet.
void BlockStopSignals(bool block) {
  sigset_t set;
  sigemptyset(&set);
  for (int s : RunnerStopSignals) sigaddset(&set, s);
  sigprocmask(block ? SIG_BLOCK : SIG_UNBLOCK, &set, nullptr);
}

// The private folder in $TMPDIR (or /tmp); "" if it cannot be made.
std::string MakePrivateFolder() {
  const char* base = getenv("TMPDIR");
  std::string pattern = std::string(base != nullptr && base[0] != 0 ? base : "/tmp");
  if (pattern.back() != '/') pattern += '/';
  pattern += "torvex32-bench-XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back(0);
  if (mkdtemp(name.data()) == nullptr) return "";
  return name.data();
}

// What a run shares with the runner: its record, written while it runs, and its last frame.
struct SharedRun {
  RunRecord record;
  int32_t written;  // 1 once the run has filled in its whole record
  uint8_t lastFrame[WindowWidth * WindowHeight];
};
SharedRun* shared = nullptr;

bool MapSharedRun() {
  void* memory = mmap(nullptr, sizeof(SharedRun), PROT_READ | PROT_WRITE,
                      MAP_SHARED | MAP_ANONYMOUS, -1, 0);
  if (memory == MAP_FAILED) {
    fprintf(stderr, "torvex32-bench: cannot share memory with the runs: %s\n", strerror(errno));
    return false;
  }
  shared = static_cast<SharedRun*>(memory);
  return true;
}

[[noreturn]] void RunChild(const RunnerOptions& options, bool last, pid_t runner) {
  setpgid(0, 0);
  int pending = runnerStop;  // came before the fork
  CatchStopSignals();
  // A runner that is killed outright cannot pass its stop on: the run then stops by itself.
  prctl(PR_SET_PDEATHSIG, SIGTERM);
  if (getppid() != runner && pending == 0) pending = SIGTERM;
  BlockStopSignals(false);  // what came while starting reaches the program's handlers now
  if (pending != 0) raise(pending);
  std::vector<uint8_t> lastFrame(WindowWidth * WindowHeight);
  // The frame log's buffer is the run's own memory: taken here, written out here.
  std::string why;
  if (!TakeFrameLog(options, last, shared->record.times, why)) {
    fprintf(stderr, "torvex32-bench: %s\n", why.c_str());
    exit(1);
  }
  int32_t code = MeasureOneRun(options, shared->record, lastFrame.data());
  if (!WriteFrameLog(options, shared->record.times, why)) {
    fprintf(stderr, "torvex32-bench: %s\n", why.c_str());
    code = 1;
  }
  memcpy(shared->lastFrame, lastFrame.data(), lastFrame.size());
  __atomic_store_n(&shared->written, 1, __ATOMIC_RELEASE);
  // The normal end of the process: the sound players' destructors close their devices and
  // delete their temporary files.
  exit(code);
}

// Starts one run and waits for it; false if it could not be started.
bool RunOnce(const RunnerOptions& options, bool last, int& status) {
  fflush(stdout);
  fflush(stderr);
  memset(shared, 0, sizeof *shared);
  pid_t runner = getpid();
  BlockStopSignals(true);
  pid_t child = fork();
  if (child < 0) {
    BlockStopSignals(false);
    fprintf(stderr, "torvex32-bench: cannot start a run: %s\n", strerror(errno));
    return false;
  }
  if (child == 0) RunChild(options, last, runner);
  currentRun = child;
  BlockStopSignals(false);  // a stop that came meanwhile is passed on now
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  currentRun = 0;
  return true;
}

bool ExitedWithFailure(int status) { return WIFEXITED(status) && WEXITSTATUS(status) != 0; }

std::string DescribeStatus(int status) {
  if (WIFSIGNALED(status)) return std::string("killed by ") + strsignal(WTERMSIG(status));
  return "exit status " + std::to_string(WIFEXITED(status) ? WEXITSTATUS(status) : status);
}

// The run's record as the run left it. A run that ended before filling it in (killed, or ended
// at once by a second stop request) still has its live progress and frame times: those count
// as an incomplete run; its CPU figures are unknown.
bool TakeRecord(int status, RunRecord& record) {
  record = shared->record;
  if (__atomic_load_n(&shared->written, __ATOMIC_ACQUIRE) != 0) return record.started != 0;
  record.frames = record.live.frames;
  record.elapsedMs = record.live.runningMs;
  record.started = record.frames > 0 ? 1 : 0;
  record.complete = 0;
  if (record.stopSignal == 0 && runnerStop != 0) record.stopSignal = runnerStop;
  if (record.stopSignal == 0 && WIFSIGNALED(status)) record.stopSignal = WTERMSIG(status);
  // Ended at once by a stop of its own (128 + the signal), which the runner did not send.
  if (record.stopSignal == 0 && WIFEXITED(status) && WEXITSTATUS(status) > 128)
    record.stopSignal = WEXITSTATUS(status) - 128;
  record.cpuNsPerFrame = record.switchesPerFrame = std::nan("");
  snprintf(record.presentPath, sizeof record.presentPath, "unknown");
  return record.started != 0;
}

void SetDrivers(const RunnerOptions& options) {
  if (!options.video.empty())
    setenv("SDL_VIDEODRIVER", options.video.c_str(), 1);
  else if (!options.window)
    setenv("SDL_VIDEODRIVER", "dummy", 1);
  if (!options.window && options.video.empty()) setenv("SDL_AUDIODRIVER", "dummy", 0);
  if (!options.present.empty()) setenv("TORVEX_PRESENT", options.present.c_str(), 1);
}

#endif

#ifdef _WIN32
// The child: one run, its record into file, then the normal end of the process (the sound
// players' destructors close their devices and delete their temporary files).
[[noreturn]] void MeasureAndExit(const RunnerOptions& options, const std::string& file,
                                 bool last) {
  auto record = std::make_unique<RunRecord>();
  std::vector<uint8_t> lastFrame(WindowWidth * WindowHeight);
  std::string why;
  if (!TakeFrameLog(options, last, record->times, why)) {
    fprintf(stderr, "torvex32-bench: %s\n", why.c_str());
    exit(1);
  }
  int32_t code = MeasureOneRun(options, *record, lastFrame.data());
  if (!WriteFrameLog(options, record->times, why)) {
    fprintf(stderr, "torvex32-bench: %s\n", why.c_str());
    code = 1;
  }
  FILE* out = fopen(file.c_str(), "wb");
  if (out == nullptr || fwrite(record.get(), sizeof *record, 1, out) != 1) code = 1;
  if (out != nullptr && fclose(out) != 0) code = 1;
  if (last && record->started != 0 && !options.screenshot.empty() &&
      !WritePalettePng(options.screenshot, WindowWidth, WindowHeight, lastFrame, why)) {
    fprintf(stderr, "torvex32-bench: %s\n", why.c_str());
    code = 1;
  }
  exit(code);
}

// Runs once; the record into record. False if the run could not be started at all.
bool RunAndTake(const RunnerOptions& options, const std::string& folder, int32_t index,
                bool last, int& status, bool& taken, RunRecord& record) {
  std::string file = folder + "/run-" + std::to_string(index) + ".bin";
  if (!RunOnce(options, file, last, status)) return false;
  taken = TakeRecord(file, record);
  return true;
}

bool WriteScreenshot(const RunnerOptions&) { return true; }  // each run writes its own
#else
bool RunAndTake(const RunnerOptions& options, const std::string&, int32_t, bool last,
                int& status, bool& taken, RunRecord& record) {
  if (!RunOnce(options, last, status)) return false;
  taken = TakeRecord(status, record);
  return true;
}

// The last frame of the last run, written by the runner once the run has ended: a stop can
// then break off the write, which a run's own shut-down could not.
bool WriteScreenshot(const RunnerOptions& options) {
  if (options.screenshot.empty() || shared->written == 0 || shared->record.started == 0)
    return true;
  std::vector<uint8_t> frame(shared->lastFrame, shared->lastFrame + sizeof shared->lastFrame);
  std::string why;
  if (WritePalettePng(options.screenshot, WindowWidth, WindowHeight, frame, why)) return true;
  fprintf(stderr, "torvex32-bench: --screenshot: %s\n", why.c_str());
  return false;
}
#endif

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
int RunAll(const RunnerOptions& options, const std::string& folder, RunnerResult& result) {
  for (int32_t i = 0; i < options.repeat && runnerStop == 0 && !StableEnough(options, result);
       ++i) {
    int status = 0;
    bool taken = false;
    // Runs until stable may end at any run from the third on: each of those keeps its
    // screenshot and frame log, and the last one's stay.
    bool last =
        i + 1 == options.repeat || (options.untilStable >= 0 && i + 1 >= UntilStableMinRuns);
    auto record = std::make_unique<RunRecord>();
    if (!RunAndTake(options, folder, i, last, status, taken, *record)) return 1;
    if (!taken) {
      // Stopped before its first frame: nothing ran, nothing is lost.
      if (runnerStop != 0 || record->stopSignal != 0)
        return 128 + (runnerStop != 0 ? runnerStop : record->stopSignal);
      if (record->frames == 0 && ExitedWithFailure(status))
        fprintf(stderr, "torvex32-bench: the benchmark did not run (see the message above)\n");
      else
        fprintf(stderr, "torvex32-bench: run %d ended without a result (%s)\n", i + 1,
                DescribeStatus(status).c_str());
      return 1;
    }
    result.runs.push_back(*record);
    const RunRecord& run = result.runs.back();
    if (run.stopSignal != 0 && runnerStop == 0) {
      // Stopped by someone other than the runner (the run killed, say): what ran counts, and
      // no further run starts.
      fprintf(stderr, "torvex32-bench: run %d was stopped (%s)\n", i + 1,
              DescribeStatus(status).c_str());
      runnerStop = run.stopSignal;
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
  return runnerStop != 0 ? 128 + runnerStop : 0;
}

#ifdef _WIN32
bool WriteOutput(const std::string& path, const std::string& json) {
  FILE* out = fopen(path.c_str(), "w");
  bool ok = out != nullptr && fwrite(json.data(), 1, json.size(), out) == json.size();
  if (out != nullptr && fclose(out) != 0) ok = false;
  if (!ok) fprintf(stderr, "torvex32-bench: --output: cannot write %s\n", path.c_str());
  return ok;
}
#else
// Replaced whole (a pipe or a device written as it is), so a stop halfway leaves the old file.
bool WriteOutput(const std::string& path, const std::string& json) {
  std::string why;
  if (WriteFileSafely(path, std::vector<uint8_t>(json.begin(), json.end()), why)) return true;
  fprintf(stderr, "torvex32-bench: --output: %s\n", why.c_str());
  return false;
}
#endif

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

// The same file under two names, or a name and a file that does not exist yet but would be it.
bool SameFile(const std::string& a, const std::string& b) {
  std::error_code error;
  if (std::filesystem::equivalent(a, b, error)) return true;
  auto full = [](const std::string& path) {
    std::error_code e;
    std::filesystem::path absolute = std::filesystem::absolute(path, e);
    return std::filesystem::weakly_canonical(e ? std::filesystem::path(path) : absolute, e)
        .lexically_normal();
  };
  return full(a) == full(b);
}

// Every file the runner will write, checked before the first run: a bad path found after the
// runs would cost them, and an output that is the other output would lose one of them.
bool CheckOutputs(const RunnerOptions& options, std::string& why) {
  if (!options.output.empty() && !options.screenshot.empty() &&
      SameFile(options.output, options.screenshot)) {
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
#ifndef _WIN32
      if (std::filesystem::is_fifo(status)) {
        // A pipe nobody reads would hold the result back for ever.
        int fd = open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
          why = name + ": " + path + " is a pipe with no reader";
          return false;
        }
        close(fd);
        continue;
      }
#endif
      if (access(path.c_str(), W_OK) != 0) {
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
    if (access(parent.string().c_str(), W_OK) != 0) {
      why = name + ": the folder " + parent.string() + " cannot be written in: " + strerror(errno);
      return false;
    }
  }
  return true;
}

int Report(const RunnerOptions& options, RunnerResult& result, int code) {
  // A stopped runner reports even when nothing ran yet; a failed one has said why.
  if (MeasuredRuns(result).empty() && runnerStop == 0) return code;
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
#ifdef _WIN32
  const char* runFile = getenv("TORVEX32_BENCH_RUN");
  if (runFile != nullptr && runFile[0] != 0) {
    // One run, started by the runner below.
    CatchStopSignals();
    const char* last = getenv("TORVEX32_BENCH_LAST");
    MeasureAndExit(options, runFile, last != nullptr && strcmp(last, "1") == 0);
  }
  runnerArguments.assign(argv + 1, argv + argc);
#endif
  if (!CheckOutputs(options, why)) {
    fprintf(stderr, "torvex32-bench: %s\n", why.c_str());
    return 2;
  }
  CatchRunnerSignals();
  SetDrivers(options);
  const char* temp = getenv("TMPDIR");
  std::string tempName = temp != nullptr && temp[0] != 0 ? temp : "/tmp";
  std::string folder = MakePrivateFolder();
  if (folder.empty()) {
    fprintf(stderr, "torvex32-bench: cannot create a private folder in %s: %s\n",
            tempName.c_str(), strerror(errno));
    return 1;
  }
  if (!CheckRoom(folder, tempName)) {
    RemoveFolder(folder);
    return 1;
  }
#ifdef _WIN32
  // The runs' Windows directory, holding a folder where the profile file would be: it can be
  // neither read nor written, so every run opens the window at the same default place and no
  // profile file is ever written.
  _putenv_s("TORVEX32_WINDOWS_DIR", folder.c_str());
  std::error_code made;
  std::filesystem::create_directory(folder + "\\TORVEX32.INI", made);
#else
  // The program's configuration folder beneath a device, not a folder: the profile file can be
  // neither read nor written (not even by root), so every run opens the window at the same
  // default place and no profile file is ever written. The path is short whatever $TMPDIR is,
  // so the program does not find it too long to remember positions in.
  setenv("XDG_CONFIG_HOME", "/dev/null", 1);
  // The runs' temporary files (the effect's copy) go into the private folder, which goes at
  // every end of the runner, whatever ended a run.
  setenv("TMPDIR", folder.c_str(), 1);
  if (!MapSharedRun()) {
    RemoveFolder(folder);
    return 1;
  }
#endif
  RunnerResult result;
  result.memcpyFrameNs = MeasureFrameCopy();
  int code = RunAll(options, folder, result);
  result.complete = runnerStop == 0 && code == 0;
  // A window that did not show its frames makes the rate a figure of something else: the
  // result still carries it, marked, for finding out why.
  if (code == 0 && CombinedScreenCheck(result).result == ScreenMismatch) code = 1;
  code = Report(options, result, code);
  // A stop that came while the result was being written (to a pipe nobody reads, say) broke
  // the write off: the exit status says so.
  if (runnerStop != 0 && code < 128) code = 128 + runnerStop;
  RemoveFolder(folder);
  return code;
}
