// start.cpp — the start-up of programs on the Win32 backend, once their command line is
// answered: catches the system's requests to stop, builds the argument vector with the full path
// of the running program as element 0 and runs the framework. A run stopped by a request exits
// with 128 + its number, as the SDL backend's programs do.
#include <cstdio>
#include <vector>

#include "frame/frame.h"
#include "platform/win32/win32.h"

namespace {

// A windowed program has no console of its own: what it prints (its answers to --help and
// --version, the rate at its end, why a file could not be loaded) goes to the console it was
// started from, if any. Streams that lead somewhere already (a redirection, or Wine's) stay.
struct StartingConsole {
  StartingConsole() {
    if (GetStdHandle(STD_OUTPUT_HANDLE) != nullptr || !AttachConsole(ATTACH_PARENT_PROCESS))
      return;
    if (freopen("CONOUT$", "w", stdout) == nullptr) return;
    if (freopen("CONOUT$", "w", stderr) == nullptr) return;
  }
};
StartingConsole startingConsole;

}  // namespace

int StartProgram(int argc, char** argv) {
  CatchStopSignals();
  static char programPath[MAX_PATH * 4];
  if (GetProgramFilePath(programPath, sizeof programPath) == 0) programPath[0] = 0;
  static std::vector<char*> arguments(argv, argv + argc);
  if (arguments.empty()) arguments.push_back(nullptr);
  arguments[0] = programPath;
  arguments.push_back(nullptr);
  AppArgCount = static_cast<int>(arguments.size()) - 1;
  AppArgVector = arguments.data();
  // The command line as one text, as the framework takes it: empty, the program's main having
  // answered what it takes itself.
  int32_t exitCode = RunApplication(GetProgramInstance(), nullptr, "", SW_SHOWDEFAULT);
  int32_t stopSignal = GetStopSignal();
  return stopSignal != 0 ? 128 + stopSignal : exitCode;
}
