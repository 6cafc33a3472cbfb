// program.cpp — torvex32: the benchmark in its window. It takes no arguments: it answers
// --help and --version without opening a window and refuses anything else, then starts as
// every program on the framework does.
#include <cstdio>
#include <cstring>

#include "frame/frame.h"
#include "torvex_version.h"

namespace {

void Usage(FILE* out, const char* name) {
  fprintf(out,
          "usage: %s [--help | --version]\n"
          "Runs the benchmark in a window: it scrolls a picture, swings sprites, plays a tune\n"
          "and shows the frames it draws per ten seconds. P pauses and resumes; click EXIT to\n"
          "leave. When the window closes the last rate is printed. Headless, repeated and\n"
          "compared runs: torvex32-bench and torvex-compare.\n",
          name);
}

// -1 to run the program, or the exit code after answering the command line.
int AnswerCommandLine(int argc, char** argv) {
  const char* path = argc > 0 && argv[0] != nullptr ? argv[0] : "torvex32";
  const char* slash = strrchr(path, PathSeparator);
  const char* name = slash != nullptr ? slash + 1 : path;
  if (AnswerVersion(argc, argv, name)) return 0;
  if (argc == 2 && (strcmp(argv[1], "--help") == 0 || strcmp(argv[1], "-h") == 0)) {
    Usage(stdout, name);
    return 0;
  }
  if (argc <= 1) return -1;
  fprintf(stderr, "%s: unknown argument '%s'\n", name, argv[1]);
  Usage(stderr, name);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  int answered = AnswerCommandLine(argc, argv);
  return answered >= 0 ? answered : StartProgram(argc, argv);
}
