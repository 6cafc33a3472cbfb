// system.cpp — the program's module, the millisecond clocks, zero-filled memory and the folder
// that stands for the platform's Windows directory.
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "platform/platform.h"

namespace {

char programInstance;   // its address is the instance handle
uint32_t clockOffset = 0;  // added to the monotonic milliseconds; moved by SetClockBase

uint32_t MonotonicMilliseconds() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<uint32_t>(static_cast<uint64_t>(now.tv_sec) * 1000u +
                               static_cast<uint64_t>(now.tv_nsec) / 1000000u);
}

// $XDG_CONFIG_HOME/torvex32, or ~/.config/torvex32 when that is unset or not absolute.
std::string ConfigFolder() {
  const char* config = getenv("XDG_CONFIG_HOME");
  if (config != nullptr && config[0] == '/') return std::string(config) + "/torvex32";
  const char* home = getenv("HOME");
  if (home == nullptr || home[0] == 0) {
    const passwd* user = getpwuid(getuid());
    home = user != nullptr ? user->pw_dir : "/tmp";
  }
  return std::string(home) + "/.config/torvex32";
}

// Creates the folder and any missing parents; an existing one is fine.
void MakeFolders(const std::string& path) {
  for (size_t slash = path.find('/', 1); ; slash = path.find('/', slash + 1)) {
    std::string part = path.substr(0, slash);
    if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return;
    if (slash == std::string::npos) return;
  }
}

}  // namespace

InstanceHandle GetProgramInstance() { return &programInstance; }

uint32_t GetProgramFilePath(char* buffer, uint32_t size) {
  if (size < 2) return 0;
  ssize_t length = readlink("/proc/self/exe", buffer, size - 1);
  // A result that fills the buffer may have been cut short.
  if (length <= 0 || static_cast<uint32_t>(length) >= size - 1) return 0;
  buffer[length] = 0;
  return static_cast<uint32_t>(length);
}

uint32_t GetTickCount() { return MonotonicMilliseconds() + clockOffset; }
uint32_t GetMultimediaTime() { return MonotonicMilliseconds() + clockOffset; }
void SetClockBase(uint32_t value) { clockOffset = value - MonotonicMilliseconds(); }

void* AllocZeroed(size_t bytes) { return calloc(1, bytes); }
void FreeBlock(void* block) { free(block); }

uint32_t GetWindowsDirectory(char* buffer, uint32_t size) {
  std::string folder = ConfigFolder();
  MakeFolders(folder);
  if (folder.size() + 1 > size) return static_cast<uint32_t>(folder.size() + 1);
  memcpy(buffer, folder.c_str(), folder.size() + 1);
  return static_cast<uint32_t>(folder.size());
}
