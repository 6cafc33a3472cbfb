// media_double.cpp — the recording double of the media device and the file operations the
// effect player uses: every call is logged as one line; opens succeed with device ids 1, 2, ...
// unless MediaDouble::OpenResult says otherwise. No file is touched.
#include "tests/double/media_double.h"

#include <cstdio>
#include <cstring>

#include "tests/double/double.h"

namespace MediaDouble {

uint32_t OpenResult;
bool TempFileFails;
int TempFilesCreated;

namespace {
uint32_t nextDevice = 1;
}

void Reset() {
  OpenResult = 0;
  TempFileFails = false;
  TempFilesCreated = 0;
  nextDevice = 1;
}

}  // namespace MediaDouble

using namespace MediaDouble;

namespace {
const char* WindowName(WindowHandle window) {
  return window == nullptr ? "none" : window == Double::Window ? "main" : "other";
}
}  // namespace

uint32_t GetTempFolder(char* buffer, uint32_t size) {
  Double::Record("GetTempFolder");
  const char* folder = "/tmp/";
  if (strlen(folder) + 1 > size) return 0;
  strcpy(buffer, folder);
  return static_cast<uint32_t>(strlen(folder));
}

uint32_t CreateTempFile(const char* folder, const char* prefix, char* path) {
  Double::Record(std::string("CreateTempFile ") + folder + " " + prefix);
  if (TempFileFails) {
    path[0] = '\0';
    return 1;
  }
  snprintf(path, 256, "%s%s%d.tmp", folder, prefix, ++TempFilesCreated);
  return 0;
}

int64_t ExpandFile(const char* source, const char* destination) {
  Double::Record(std::string("ExpandFile ") + source + " " + destination);
  return 0;
}

bool DeleteFileAt(const char* path) {
  Double::Record(std::string("DeleteFileAt ") + path);
  return true;
}

uint32_t SendMediaCommand(uint32_t deviceId, uint32_t command, uint32_t flags, void* parms) {
  char line[512];
  uint32_t result = 0;
  if (command == MCI_OPEN) {
    auto* open = static_cast<MciOpenParms*>(parms);
    result = OpenResult;
    if (result == 0) open->deviceId = nextDevice++;
    snprintf(line, sizeof line, "SendMediaCommand %u 0x%X 0x%X %s %s %s -> %s%u", deviceId,
             command, flags, WindowName(open->callback), open->deviceType, open->elementName,
             result == 0 ? "" : "error ", result == 0 ? open->deviceId : result);
  } else if (command == MCI_PLAY) {
    auto* play = static_cast<MciPlayParms*>(parms);
    snprintf(line, sizeof line, "SendMediaCommand %u 0x%X 0x%X %s from %u", deviceId, command,
             flags, WindowName(play->callback), play->from);
  } else {
    snprintf(line, sizeof line, "SendMediaCommand %u 0x%X 0x%X%s", deviceId, command, flags,
             parms == nullptr ? "" : " parms");
  }
  Double::Record(line);
  return result;
}
