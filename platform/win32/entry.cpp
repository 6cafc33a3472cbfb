// entry.cpp — WinMain of applications on the framework, the Windows counterpart of the entry
// library's main(): answers --version without opening a window and hands every other argument
// to the application's OnConfigure. (The benchmark answers its own command line in its own
// main(), which the C runtime's start-up calls in place of this.)
//
// The sound players are static objects: constructed before WinMain and destroyed after it.
#include <cstdlib>
#include <cstring>

#include "platform/platform.h"
#include "platform/win32/win32.h"
#include "torvex_version.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  const char* path = __argc > 0 && __argv[0] != nullptr ? __argv[0] : "torvex32";
  const char* slash = strrchr(path, '\\');
  if (AnswerVersion(__argc, __argv, slash != nullptr ? slash + 1 : path)) return 0;
  return StartProgram(__argc, __argv);
}
