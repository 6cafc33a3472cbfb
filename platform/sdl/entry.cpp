// entry.cpp — the start-up code of programs on the SDL backend: builds the argument vector
// with the full path of the running program as element 0 and runs the framework.
//
// The sound players are static objects: constructed before main and destroyed after it.
#include <climits>
#include <cstdlib>
#include <string>
#include <vector>

#include "frame/frame.h"

int main(int argc, char** argv) {
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
  // The command line as one text, as the platform hands it over (the framework ignores it).
  std::string commandLine;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) commandLine += ' ';
    commandLine += argv[i];
  }
  return RunApplication(GetProgramInstance(), nullptr, commandLine.c_str(), SW_SHOWDEFAULT);
}
