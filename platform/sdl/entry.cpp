// entry.cpp — the start-up code of programs on the SDL backend: answers --help and --version
// without opening a window, refuses any other argument, catches the system's requests to stop,
// builds the argument vector with the full path of the running program as element 0 and runs
// the framework. A run stopped by a signal exits with 128 + its number, as shells report it.
//
// The sound players are static objects: constructed before main and destroyed after it.
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "frame/frame.h"
#include "torvex_version.h"

namespace {

const char* ProgramName(const char* path) {
  const char* slash = path != nullptr ? strrchr(path, '/') : nullptr;
  return slash != nullptr ? slash + 1 : path != nullptr ? path : "torvex32";
}

void Usage(FILE* out, const char* name) {
  fprintf(out,
          "usage: %s [--help | --version]\n"
          "Runs the benchmark in a window: it scrolls a picture, swings sprites, plays a tune\n"
          "and shows the frames it draws per ten seconds. P pauses and resumes; click EXIT to\n"
          "leave. When the window closes the last rate is printed. Headless, repeated and\n"
          "compared runs: torvex32-bench and torvex-compare.\n",
          name);
}

// -1 to run the program, or the exit code after answering the command line.
int AnswerCommandLine(int argc, char** argv) {
  const char* name = ProgramName(argc > 0 ? argv[0] : nullptr);
  if (AnswerVersion(argc, argv, name)) return 0;
  if (argc == 2 && (strcmp(argv[1], "--help") == 0 || strcmp(argv[1], "-h") == 0)) {
    Usage(stdout, name);
    return 0;
  }
  if (argc <= 1) return -1;
  fprintf(stderr, "%s: unknown argument '%s'\n", name, argv[1]);
  Usage(stderr, name);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  int answered = AnswerCommandLine(argc, argv);
  if (answered >= 0) return answered;
  CatchStopSignals();
  static char programPath[PATH_MAX];
  if (GetProgramFilePath(programPath, sizeof programPath) == 0 &&
      (argc < 1 || realpath(argv[0], programPath) == nullptr))
    programPath[0] = 0;
  static std::vector<char*> arguments(argv, argv + argc);
  if (arguments.empty()) arguments.push_back(nullptr);
  arguments[0] = programPath;
  arguments.push_back(nullptr);
  AppArgCount = static_cast<int>(arguments.size()) - 1;
  AppArgVector = arguments.data();
  // The command line as one text, as the platform hands it over: empty, arguments having been
  // answered or refused above.
  int32_t exitCode = RunApplication(GetProgramInstance(), nullptr, "", SW_SHOWDEFAULT);
  int32_t stopSignal = GetStopSignal();
  return stopSignal != 0 ? 128 + stopSignal : exitCode;
}
