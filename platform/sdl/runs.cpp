// runs.cpp — measured runs in processes of their own: each run a fork of the runner, in a
// process group of its own, reporting through memory it shares with the runner; the runner's
// stop requests passed on to the run; the private folder, the runs' display, and the process's
// own figures the runner reads.
#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/sdl/backend.h"

namespace {

volatile sig_atomic_t runnerStop = 0;  // the signal that asked the runner to stop
volatile pid_t currentRun = 0;         // the run in progress, which gets the signal too

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

// Holds the stop signals back while a run is being started, so that one arriving then is
// neither lost nor taken by a child that has no handler yet.
void BlockStopSignals(bool block) {
  sigset_t set;
  sigemptyset(&set);
  for (int s : RunnerStopSignals) sigaddset(&set, s);
  sigprocmask(block ? SIG_BLOCK : SIG_UNBLOCK, &set, nullptr);
}

// The share as it lies in memory: whether the run's body returned, then from ShareOffset on
// the body's bytes.
constexpr size_t ShareOffset = 64;
char* share = nullptr;
size_t shareBytes = 0;
int32_t* Reported() { return reinterpret_cast<int32_t*>(share); }

[[noreturn]] void RunChild(RunBody body, bool last, pid_t runner) {
  setpgid(0, 0);
  int pending = runnerStop;  // came before the fork
  CatchStopSignals();
  // A runner that is killed outright cannot pass its stop on: the run then stops by itself.
  prctl(PR_SET_PDEATHSIG, SIGTERM);
  if (getppid() != runner && pending == 0) pending = SIGTERM;
  BlockStopSignals(false);  // what came while starting reaches the program's handlers now
  if (pending != 0) raise(pending);
  int32_t code = body(share + ShareOffset, last);
  __atomic_store_n(Reported(), 1, __ATOMIC_RELEASE);
  // The normal end of the process: the sound players' destructors close their devices and
  // delete their temporary files.
  exit(code);
}

}  // namespace

uint32_t MakePrivateFolder(char* buffer, uint32_t size) {
  const char* base = getenv("TMPDIR");
  std::string pattern = std::string(base != nullptr && base[0] != 0 ? base : "/tmp");
  if (pattern.back() != '/') pattern += '/';
  pattern += "torvex32-bench-XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back(0);
  if (mkdtemp(name.data()) == nullptr) return 0;
  if (name.size() > size) {
    rmdir(name.data());
    errno = ENAMETOOLONG;
    return 0;
  }
  memcpy(buffer, name.data(), name.size());
  return static_cast<uint32_t>(name.size() - 1);
}

void UsePrivateConfiguration(const char* folder) {
  // The program's configuration folder beneath a device, not a folder: the profile file can be
  // neither read nor written (not even by root). The path is short whatever $TMPDIR is, so the
  // program does not find it too long to remember positions in.
  setenv("XDG_CONFIG_HOME", "/dev/null", 1);
  // The runs' temporary files (the effect's copy) go into the private folder, which goes at
  // every end of the runner, whatever ended a run.
  setenv("TMPDIR", folder, 1);
}

void ChooseRunDisplay(bool headless, const char* videoDriver, const char* present) {
  if (videoDriver[0] != 0)
    setenv("SDL_VIDEODRIVER", videoDriver, 1);
  else if (headless)
    setenv("SDL_VIDEODRIVER", "dummy", 1);
  if (headless && videoDriver[0] == 0) setenv("SDL_AUDIODRIVER", "dummy", 0);
  if (present[0] != 0) setenv("TORVEX_PRESENT", present, 1);
}

void* PrepareRuns(int, char**, const char*, size_t bytes) {
  shareBytes = bytes;
  void* memory = mmap(nullptr, ShareOffset + bytes, PROT_READ | PROT_WRITE,
                      MAP_SHARED | MAP_ANONYMOUS, -1, 0);
  if (memory == MAP_FAILED) return nullptr;
  share = static_cast<char*>(memory);
  return share + ShareOffset;
}

// The fork itself is the run: no process of the program is ever started as one.
void ServeRun(RunBody, size_t) {}

bool StartRun(RunBody body, bool last, RunEnd* end) {
  memset(end, 0, sizeof *end);
  fflush(stdout);
  fflush(stderr);
  memset(share, 0, ShareOffset + shareBytes);
  pid_t runner = getpid();
  BlockStopSignals(true);
  pid_t child = fork();
  if (child < 0) {
    BlockStopSignals(false);
    fprintf(stderr, "torvex32-bench: cannot start a run: %s\n", strerror(errno));
    return false;
  }
  if (child == 0) RunChild(body, last, runner);
  currentRun = child;
  BlockStopSignals(false);  // a stop that came meanwhile is passed on now
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  currentRun = 0;
  end->reported = __atomic_load_n(Reported(), __ATOMIC_ACQUIRE) != 0;
  if (WIFSIGNALED(status)) {
    end->signal = WTERMSIG(status);
    snprintf(end->description, sizeof end->description, "killed by %s", strsignal(end->signal));
  } else {
    end->exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : status;
    snprintf(end->description, sizeof end->description, "exit status %d", end->exitCode);
  }
  return true;
}

void CatchRunnerStops() {
  // No SA_RESTART: a stop must break off whatever the runner waits for (an output that is a
  // pipe nobody reads, say); every wait looks at the stop when interrupted.
  CatchUnlessIgnored(RunnerStopSignals, sizeof RunnerStopSignals / sizeof *RunnerStopSignals,
                     OnRunnerSignal, 0);
  signal(SIGPIPE, SIG_IGN);
}

int32_t GetRunnerStopSignal() { return runnerStop; }

ProcessUsage GetProcessUsage() {
  rusage u;
  memset(&u, 0, sizeof u);
  getrusage(RUSAGE_SELF, &u);
  int64_t cpu = (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * int64_t{1000000000} +
                (u.ru_utime.tv_usec + u.ru_stime.tv_usec) * int64_t{1000};
  return {cpu, u.ru_nvcsw + u.ru_nivcsw};
}

WriteCheck CheckWritable(const char* path) {
  struct stat info {};
  if (stat(path, &info) == 0 && S_ISFIFO(info.st_mode)) {
    int fd = open(path, O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return WriteCheck::PipeWithoutReader;
    close(fd);
    return WriteCheck::Writable;
  }
  return access(path, W_OK) == 0 ? WriteCheck::Writable : WriteCheck::NotWritable;
}
