// start.cpp — the start-up of programs on the SDL backend, once their command line is answered:
// catches the system's requests to stop, builds the argument vector with the full path of the
// running program as element 0 and runs the framework. A run stopped by a signal exits with
// 128 + its number, as shells report it.
#include <climits>
#include <cstdlib>
#include <vector>

#include "frame/frame.h"

int StartProgram(int argc, char** argv) {
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
  // The command line as one text, as the platform hands it over: empty, the program's main
  // having answered what it takes itself.
  int32_t exitCode = RunApplication(GetProgramInstance(), nullptr, "", SW_SHOWDEFAULT);
  int32_t stopSignal = GetStopSignal();
  return stopSignal != 0 ? 128 + stopSignal : exitCode;
}
