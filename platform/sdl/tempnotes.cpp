// tempnotes.cpp — the temporary files that exist now, noted by the file functions, so that a
// stop that cannot wait for the normal shut-down (signals.cpp) can still delete them.
#include <signal.h>
#include <unistd.h>

#include <cstring>

namespace {

// A slot's path is written before the slot is marked used, so a signal handler never reads
// half a path.
constexpr int TempSlots = 8;
char tempPaths[TempSlots][256];
volatile sig_atomic_t tempUsed[TempSlots];

}  // namespace

void NoteTempFile(const char* path, bool exists) {
  for (int i = 0; i < TempSlots; ++i) {
    if (exists && tempUsed[i] == 0) {
      strncpy(tempPaths[i], path, sizeof tempPaths[i] - 1);
      tempPaths[i][sizeof tempPaths[i] - 1] = 0;
      tempUsed[i] = 1;
      return;
    }
    if (!exists && tempUsed[i] != 0 && strcmp(tempPaths[i], path) == 0) {
      tempUsed[i] = 0;
      return;
    }
  }
}

void DeleteNotedTempFiles() {
  for (int i = 0; i < TempSlots; ++i)
    if (tempUsed[i] != 0) unlink(tempPaths[i]);
}
