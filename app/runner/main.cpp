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
#include <process.h>
#else
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "app/app.h"
#include "app/runner/runner.h"
#include "tools/asset_tool.h"
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
#else
volatile pid_t currentRun = 0;  // the child measuring now, which gets the signal too

void OnRunnerSignal(int signal) {
  if (runnerStop == 0) runnerStop = signal;
  // Runs are in a process group of their own: the signal reaches them through the runner
  // alone, once.
  if (currentRun > 0) kill(currentRun, signal);
}

void CatchRunnerSignals() {
  struct sigaction action;
  memset(&action, 0, sizeof action);
  action.sa_handler = OnRunnerSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int s : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
    // A signal ignored by whoever started us stays ignored (nohup, a shell's background job);
    // the runs inherit that.
    struct sigaction before;
    if (sigaction(s, nullptr, &before) == 0 && before.sa_handler == SIG_IGN) continue;
    sigaction(s, &action, nullptr);
  }
  signal(SIGPIPE, SIG_IGN);
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

void SetDrivers(const RunnerOptions& options) {
  if (!options.video.empty())
    setenv("SDL_VIDEODRIVER", options.video.c_str(), 1);
  else if (!options.window)
    setenv("SDL_VIDEODRIVER", "dummy", 1);
  if (!options.window && options.video.empty()) setenv("SDL_AUDIODRIVER", "dummy", 0);
  if (!options.present.empty()) setenv("TORVEX_PRESENT", options.present.c_str(), 1);
}

#endif

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

#ifndef _WIN32
[[noreturn]] void RunChild(const RunnerOptions& options, const std::string& file, bool last,
                           pid_t runner) {
  setpgid(0, 0);
  int pending = runnerStop;
  CatchStopSignals();
  // A runner that is killed outright cannot pass its stop on: the run then stops by itself.
  prctl(PR_SET_PDEATHSIG, SIGTERM);
  if (getppid() != runner && pending == 0) pending = SIGTERM;
  if (pending != 0) raise(pending);  // came before the program's own handlers
  MeasureAndExit(options, file, last);
}

// Starts one run and waits for it; false if it could not be started or failed.
bool RunOnce(const RunnerOptions& options, const std::string& file, bool last, int& status) {
  fflush(stdout);
  fflush(stderr);
  pid_t runner = getpid();
  pid_t child = fork();
  if (child < 0) {
    fprintf(stderr, "torvex32-bench: cannot start a run: %s\n", strerror(errno));
    return false;
  }
  if (child == 0) RunChild(options, file, last, runner);
  currentRun = child;
  if (runnerStop != 0) kill(child, runnerStop);  // came while the run was being started
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  currentRun = 0;
  return true;
}

bool ExitedWithFailure(int status) { return WIFEXITED(status) && WEXITSTATUS(status) != 0; }
#endif

bool ReadRecord(const std::string& file, RunRecord& record) {
  FILE* in = fopen(file.c_str(), "rb");
  if (in == nullptr) return false;
  bool ok = fread(&record, sizeof record, 1, in) == 1;
  fclose(in);
  return ok;
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

// Runs the measured runs into result; the exit code of the runner so far.
int RunAll(const RunnerOptions& options, const std::string& folder, RunnerResult& result) {
  for (int32_t i = 0; i < options.repeat && runnerStop == 0 && !StableEnough(options, result);
       ++i) {
    std::string file = folder + "/run-" + std::to_string(i) + ".bin";
    int status = 0;
    // Runs until stable may end at any run from the third on: each of those keeps its
    // screenshot and frame log, and the last one's stay.
    bool last =
        i + 1 == options.repeat || (options.untilStable >= 0 && i + 1 >= UntilStableMinRuns);
    if (!RunOnce(options, file, last, status)) return 1;
    result.runs.emplace_back();
    if (!ReadRecord(file, result.runs.back())) {
      result.runs.pop_back();
      fprintf(stderr, "torvex32-bench: run %d ended without a result (status %d)\n", i + 1,
              status);
      return runnerStop != 0 ? 128 + runnerStop : 1;
    }
    const RunRecord& run = result.runs.back();
    if (run.stopSignal != 0 && runnerStop == 0) runnerStop = run.stopSignal;
    if (run.started == 0) {
      if (runnerStop != 0) return 128 + runnerStop;  // stopped before its first frame
      fprintf(stderr, "torvex32-bench: the benchmark did not run (see the message above)\n");
      return 1;
    }
    if (ExitedWithFailure(status) && run.stopSignal == 0) return 1;
  }
  return runnerStop != 0 ? 128 + runnerStop : 0;
}

bool WriteOutput(const std::string& path, const std::string& json) {
  FILE* out = fopen(path.c_str(), "w");
  bool ok = out != nullptr && fwrite(json.data(), 1, json.size(), out) == json.size();
  if (out != nullptr && fclose(out) != 0) ok = false;
  if (!ok) fprintf(stderr, "torvex32-bench: --output: cannot write %s\n", path.c_str());
  return ok;
}

void WarnShortRuns(const RunnerResult& result) {
  for (const RunRecord& run : result.runs) {
    if (run.started == 0 || run.complete == 0 || run.elapsedMs > 3000) continue;
    fprintf(stderr,
            "torvex32-bench: a run of %.3f s is measured exactly, but the window would still "
            "say \"Wait a Minute !!\" (it shows the rate after 3 s)\n",
            run.elapsedMs / 1000.0);
    return;
  }
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
  CatchRunnerSignals();
  SetDrivers(options);
  std::string folder = MakePrivateFolder();
  if (folder.empty()) {
    fprintf(stderr, "torvex32-bench: cannot create a private folder in %s: %s\n",
            getenv("TMPDIR") != nullptr ? getenv("TMPDIR") : "/tmp", strerror(errno));
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
  setenv("XDG_CONFIG_HOME", folder.c_str(), 1);
  // A plain file where the program's configuration folder would be: the profile file can be
  // neither read nor written (not even by root), so every run opens the window at the same
  // default place and no profile file is ever written.
  FILE* blocker = fopen((folder + "/torvex32").c_str(), "w");
  if (blocker != nullptr) fclose(blocker);
#endif
  RunnerResult result;
  result.memcpyFrameNs = MeasureFrameCopy();
  int code = RunAll(options, folder, result);
  result.complete = runnerStop == 0 && code == 0;
  code = Report(options, result, code);
  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
  return code;
}
