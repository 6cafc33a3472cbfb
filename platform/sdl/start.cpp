// start.cpp — how a program on the SDL backend names itself at start-up: the file the system
// says it runs, or else its first argument made absolute.
#include <climits>
#include <cstdlib>
#include <cstring>

#include "platform/platform.h"

void GetStartingProgramPath(const char* argument0, char* buffer, uint32_t size) {
  if (size == 0 || GetProgramFilePath(buffer, size) != 0) return;
  buffer[0] = 0;
  char resolved[PATH_MAX];
  if (argument0 != nullptr && realpath(argument0, resolved) != nullptr &&
      strlen(resolved) < size)
    strcpy(buffer, resolved);
}
