// entry.cpp — the start-up code of programs on the Win32 backend: WinMain builds the argument
// vector with the full path of the running program as element 0 and runs the framework.
//
// The sound players are static objects: constructed before WinMain and destroyed after it.
#include <cstdlib>
#include <vector>

#include "frame/frame.h"
#include "platform/win32/win32.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previousInstance, LPSTR commandLine,
                   int showCommand) {
  static char programPath[MAX_PATH * 4];
  if (GetProgramFilePath(programPath, sizeof programPath) == 0) programPath[0] = 0;
  static std::vector<char*> arguments;
  arguments.push_back(programPath);
  for (int i = 1; i < __argc; ++i) arguments.push_back(__argv[i]);
  arguments.push_back(nullptr);
  AppArgCount = static_cast<int>(arguments.size()) - 1;
  AppArgVector = arguments.data();
  return RunApplication(instance, previousInstance, commandLine, showCommand);
}
