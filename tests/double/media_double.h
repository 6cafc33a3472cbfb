// media_double.h — knobs of the recording double's media device and file operations
// (media_double.cpp): what opens and temporary files report. MediaDouble::Reset() restores them.
#pragma once

#include <cstdint>

namespace MediaDouble {

extern uint32_t OpenResult;     // what MCI_OPEN returns (0: success, ids 1, 2, ... in order)
extern bool TempFileFails;      // CreateTempFile fails and leaves an empty path
extern int TempFilesCreated;    // how many CreateTempFile made; names QVW1.tmp, QVW2.tmp, ...

void Reset();

}  // namespace MediaDouble
