// runs.cpp — measured runs in processes of their own. Windows has no fork: each run is the
// runner's own program started again with the runner's command line, told by
// TORVEX32_BENCH_RUN which file of the private folder its share goes into, and the runner reads
// the file once the run has ended. The hidden window stands for the headless drivers, the
// private folder for the Windows directory.
#include <io.h>
#include <process.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "platform/win32/win32.h"

namespace {

volatile sig_atomic_t runnerStop = 0;  // the signal that asked the runner to stop

// Ctrl+C and Ctrl+Break reach every program of the console, the run included, which stops
// through its own shut-down.
void OnRunnerSignal(int signal) {
  if (runnerStop == 0) runnerStop = signal;
}

std::vector<std::string> runnerArguments;  // the runner's own, passed on to every run
std::string runFolder;                     // where the runs' files go
std::vector<unsigned char> share;          // the runner's view of a run's share
int32_t runCount = 0;

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

// The share a run wrote into file, whole; false (the share zeroed) if it wrote none.
bool ReadShare(const std::string& file) {
  std::fill(share.begin(), share.end(), 0);
  FILE* in = fopen(file.c_str(), "rb");
  if (in == nullptr) return false;
  bool ok = fread(share.data(), share.size(), 1, in) == 1;
  fclose(in);
  if (!ok) std::fill(share.begin(), share.end(), 0);
  return ok;
}

}  // namespace

uint32_t MakePrivateFolder(char* buffer, uint32_t size) {
  std::error_code error;
  std::filesystem::path temp = std::filesystem::temp_directory_path(error);
  if (error) return 0;
  // A fresh name: a folder that exists already belongs to someone else.
  for (int64_t attempt = 0; attempt < 100; ++attempt) {
    std::filesystem::path folder =
        temp / ("torvex32-bench-" + std::to_string(GetPreciseTimeNs() % 1000000007 + attempt));
    if (!std::filesystem::create_directory(folder, error)) continue;
    std::string name = folder.string();
    if (name.size() + 1 > size) {
      std::filesystem::remove(folder, error);
      errno = ENAMETOOLONG;
      return 0;
    }
    memcpy(buffer, name.c_str(), name.size() + 1);
    return static_cast<uint32_t>(name.size());
  }
  return 0;
}

void UsePrivateConfiguration(const char* folder) {
  // The runs' Windows directory, holding a folder where the profile file would be: it can be
  // neither read nor written.
  _putenv_s("TORVEX32_WINDOWS_DIR", folder);
  std::error_code made;
  std::filesystem::create_directory(std::string(folder) + "\\TORVEX32.INI", made);
}

// GDI is the one way to the screen, and the hidden window the one headless driver.
void ChooseRunDisplay(bool headless, const char*, const char*) {
  if (headless) _putenv("TORVEX32_HEADLESS=1");
}

void* PrepareRuns(int argc, char** argv, const char* folder, size_t bytes) {
  runnerArguments.assign(argv + 1, argv + argc);
  runFolder = folder;
  share.assign(bytes, 0);
  return share.data();
}

void ServeRun(RunBody body, size_t shareBytes) {
  const char* file = getenv("TORVEX32_BENCH_RUN");
  if (file == nullptr || file[0] == 0) return;
  // One run, started by StartRun below; its share goes into the file as the run ends, and the
  // normal end of the process then closes the sound players and deletes their files.
  CatchStopSignals();
  const char* last = getenv("TORVEX32_BENCH_LAST");
  share.assign(shareBytes, 0);
  int32_t code = body(share.data(), last != nullptr && strcmp(last, "1") == 0);
  FILE* out = fopen(file, "wb");
  if (out == nullptr || fwrite(share.data(), share.size(), 1, out) != 1) code = 1;
  if (out != nullptr && fclose(out) != 0) code = 1;
  exit(code);
}

bool StartRun(RunBody, bool last, RunEnd* end) {
  memset(end, 0, sizeof *end);
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
  std::string file = runFolder + "/run-" + std::to_string(runCount++) + ".bin";
  _putenv_s("TORVEX32_BENCH_RUN", file.c_str());
  _putenv_s("TORVEX32_BENCH_LAST", last ? "1" : "0");
  intptr_t code = _spawnv(_P_WAIT, program, arguments.data());
  _putenv_s("TORVEX32_BENCH_RUN", "");
  if (code < 0) {
    fprintf(stderr, "torvex32-bench: cannot start a run: %s\n", strerror(errno));
    return false;
  }
  end->exitCode = static_cast<int32_t>(code);
  end->reported = ReadShare(file);
  snprintf(end->description, sizeof end->description, "exit status %d", end->exitCode);
  return true;
}

void CatchRunnerStops() {
  for (int s : {SIGINT, SIGBREAK}) signal(s, OnRunnerSignal);
}

int32_t GetRunnerStopSignal() { return runnerStop; }

// The C library of Windows has no per-process usage: the figures are not known, and the result
// says so (null) rather than claiming frames that cost nothing.
ProcessUsage GetProcessUsage() { return {-1, -1}; }

WriteCheck CheckWritable(const char* path) {
  return _access(path, 2) == 0 ? WriteCheck::Writable : WriteCheck::NotWritable;
}
