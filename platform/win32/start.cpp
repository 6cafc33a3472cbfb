// start.cpp — what a program on the Win32 backend brings to its start-up: the console it was
// started from, and its own path (the module's file; a program always knows it here).
#include <cstdio>

#include "platform/platform.h"
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

void GetStartingProgramPath(const char*, char* buffer, uint32_t size) {
  if (size != 0 && GetProgramFilePath(buffer, size) == 0) buffer[0] = 0;
}
