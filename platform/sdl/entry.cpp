// entry.cpp — main() of applications on the framework: answers --version without opening a
// window and hands every other argument to the application's OnConfigure.
//
// The sound players are static objects: constructed before main and destroyed after it.
#include <cstring>

#include "platform/platform.h"
#include "torvex_version.h"

int main(int argc, char** argv) {
  const char* path = argc > 0 && argv[0] != nullptr ? argv[0] : "torvex32";
  const char* slash = strrchr(path, '/');
  if (AnswerVersion(argc, argv, slash != nullptr ? slash + 1 : path)) return 0;
  return StartProgram(argc, argv);
}
