// data_file.cpp — where the programs find their data files: beside themselves, or else in the
// installed data directory.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "app/app.h"

namespace {

#ifndef TORVEX_DATA_FROM_PROGRAM
#define TORVEX_DATA_FROM_PROGRAM ""
#endif
// The installed data directory, as the build placed it: relative to the program's directory
// (so that a moved or staged tree keeps working), or absolute.
constexpr const char* InstalledDataDir = TORVEX_DATA_FROM_PROGRAM;

bool Readable(const char* path) {
  FILE* file = fopen(path, "rb");
  if (file == nullptr) return false;
  fclose(file);
  return true;
}

}  // namespace

bool FindDataFile(char* buffer, size_t size, const char* programDir, const char* name) {
  int length = snprintf(buffer, size, "%s%s", programDir, name);
  if (length < 0 || static_cast<size_t>(length) >= size) return false;
  if (Readable(buffer) || InstalledDataDir[0] == 0) return true;
  const char* base = InstalledDataDir[0] == PathSeparator ? "" : programDir;
  const std::string installed = std::string(base) + InstalledDataDir + name;
  if (installed.size() < size && Readable(installed.c_str()))
    memcpy(buffer, installed.c_str(), installed.size() + 1);
  return true;
}

bool SameFile(const char* a, const char* b) {
  std::error_code error;
  if (std::filesystem::equivalent(a, b, error)) return true;
  auto full = [](const char* path) {
    std::error_code e;
    std::filesystem::path absolute = std::filesystem::absolute(path, e);
    return std::filesystem::weakly_canonical(e ? std::filesystem::path(path) : absolute, e)
        .lexically_normal();
  };
  return full(a) == full(b);
}
