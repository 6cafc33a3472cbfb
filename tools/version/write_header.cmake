# write_header.cmake — run by the build (cmake -P): writes OUTPUT with VERSION and the commit
# of the checkout at SOURCE_DIR ("unknown" outside a git checkout), only when it changed.
execute_process(COMMAND git -C ${SOURCE_DIR} rev-parse --show-toplevel --short=12 HEAD
                OUTPUT_VARIABLE lines OUTPUT_STRIP_TRAILING_WHITESPACE
                RESULT_VARIABLE failed ERROR_QUIET)
# Sources unpacked inside some other checkout are not that checkout's commit.
string(REPLACE "\n" ";" lines "${lines}")
list(LENGTH lines count)
set(commit "")
if(NOT failed AND count EQUAL 2)
  list(GET lines 0 top)
  list(GET lines 1 commit)
  file(REAL_PATH "${top}" top)
  file(REAL_PATH "${SOURCE_DIR}" source)
  if(NOT top STREQUAL source)
    set(commit "")
  endif()
endif()
if(commit STREQUAL "")
  set(commit "unknown")
else()
  execute_process(COMMAND git -C ${SOURCE_DIR} status --porcelain --untracked-files=no
                  OUTPUT_VARIABLE changes ERROR_QUIET)
  if(NOT changes STREQUAL "")
    string(APPEND commit "-modified")
  endif()
endif()
set(text "// torvex_version.h — written by the build: the project's version and commit.
#pragma once
#include <cstdio>
#include <cstring>
#define TORVEX_VERSION \"${VERSION}\"
#define TORVEX_COMMIT \"${commit}\"
// Prints \"PROGRAM VERSION (commit COMMIT)\" and returns true when the only argument asks for it.
inline bool AnswerVersion(int argc, char** argv, const char* program) {
  if (argc != 2 || std::strcmp(argv[1], \"--version\") != 0) return false;
  std::printf(\"%s %s (commit %s)\\n\", program, TORVEX_VERSION, TORVEX_COMMIT);
  return true;
}
")
if(EXISTS ${OUTPUT})
  file(READ ${OUTPUT} old)
  if(old STREQUAL text)
    return()
  endif()
endif()
file(WRITE ${OUTPUT} "${text}")
