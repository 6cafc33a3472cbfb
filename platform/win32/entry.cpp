// entry.cpp — the start-up code of programs on the Win32 backend: WinMain answers --help and
// --version without opening a window, refuses any other argument, catches the system's
// requests to stop, builds the argument vector with the full path of the running program as
// element 0 and runs the framework. A run stopped by a request exits with 128 + its number, as
// the SDL backend's programs do.
//
// The sound players are static objects: constructed before WinMain and destroyed after it.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "frame/frame.h"
#include "platform/win32/win32.h"
#include "torvex_version.h"

namespace {

void Usage(FILE* out) {
  fprintf(out,
          "usage: torvex32 [--help | --version]\n"
          "Runs the benchmark in a window: it scrolls a picture, swings sprites, plays a tune\n"
          "and shows the frames it draws per ten seconds. P pauses and resumes; click EXIT to\n"
          "leave. When the window closes the last rate is printed. Headless, repeated and\n"
          "compared runs: torvex32-bench.\n");
}

// A windowed program has no console of its own: what it prints goes to the console it was
// started from, if any (a shell that redirects keeps its own streams).
void UseStartingConsole() {
  if (GetStdHandle(STD_OUTPUT_HANDLE) != nullptr || !AttachConsole(ATTACH_PARENT_PROCESS)) return;
  if (freopen("CONOUT$", "w", stdout) == nullptr) return;
  if (freopen("CONOUT$", "w", stderr) == nullptr) return;
}

// -1 to run the program, or the exit code after answering the command line.
int AnswerCommandLine(int argc, char** argv) {
  if (argc <= 1) return -1;
  UseStartingConsole();
  if (AnswerVersion(argc, argv, "torvex32")) return 0;
  if (argc == 2 && (strcmp(argv[1], "--help") == 0 || strcmp(argv[1], "-h") == 0)) {
    Usage(stdout);
    return 0;
  }
  fprintf(stderr, "torvex32: unknown argument '%s'\n", argv[1]);
  Usage(stderr);
  return 2;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previousInstance, LPSTR, int showCommand) {
  int answered = AnswerCommandLine(__argc, __argv);
  if (answered >= 0) return answered;
  CatchStopSignals();
  static char programPath[MAX_PATH * 4];
  if (GetProgramFilePath(programPath, sizeof programPath) == 0) programPath[0] = 0;
  static std::vector<char*> arguments;
  arguments.push_back(programPath);
  arguments.push_back(nullptr);
  AppArgCount = 1;
  AppArgVector = arguments.data();
  // The command line as one text, as the framework takes it: empty, arguments having been
  // answered or refused above.
  static char noArguments[] = "";
  int32_t exitCode = RunApplication(instance, previousInstance, noArguments, showCommand);
  int32_t stopSignal = GetStopSignal();
  return stopSignal != 0 ? 128 + stopSignal : exitCode;
}
