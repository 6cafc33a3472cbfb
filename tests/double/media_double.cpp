// media_double.cpp — the recording double of the media device and the file operations the
// effect player uses: every command is logged; opens succeed with device ids 1, 2, ...
#include <cstdio>
#include <cstring>

#include "tests/double/double.h"

namespace {
uint32_t nextDevice = 1;
}

uint32_t GetTempFolder(char* buffer, uint32_t size) {
  Double::Record("GetTempFolder");
  const char* folder = "/tmp/";
  if (strlen(folder) + 1 > size) return 0;
  strcpy(buffer, folder);
  return static_cast<uint32_t>(strlen(folder));
}

uint32_t CreateTempFile(const char* folder, const char* prefix, char* path) {
  Double::Record(std::string("CreateTempFile ") + folder + " " + prefix);
  snprintf(path, 256, "%s%sdouble%u.tmp", folder, prefix, nextDevice);
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
  char line[256];
  if (command == MCI_OPEN) {
    auto* open = static_cast<MciOpenParms*>(parms);
    open->deviceId = nextDevice++;
    snprintf(line, sizeof line, "SendMediaCommand %u 0x%X 0x%X %s %s -> %u", deviceId, command,
             flags, open->deviceType, open->elementName, open->deviceId);
  } else if (command == MCI_PLAY) {
    auto* play = static_cast<MciPlayParms*>(parms);
    snprintf(line, sizeof line, "SendMediaCommand %u 0x%X 0x%X from %u", deviceId, command,
             flags, play->from);
  } else {
    snprintf(line, sizeof line, "SendMediaCommand %u 0x%X 0x%X", deviceId, command, flags);
  }
  Double::Record(line);
  return 0;
}
