// start.cpp — the start-up of programs once their command line is answered: catches the
// system's requests to stop, builds the argument vector with the full path of the running
// program as element 0 and runs the framework. A run stopped by a signal exits with
// 128 + its number, as shells report it.
#include <vector>

#include "frame/frame.h"

int StartProgram(int argc, char** argv) {
  CatchStopSignals();
  static char programPath[4096];
  GetStartingProgramPath(argc > 0 ? argv[0] : nullptr, programPath, sizeof programPath);
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
