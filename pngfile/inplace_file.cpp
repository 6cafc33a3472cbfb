// inplace_file.cpp — output files where the build has no staging writer (the Windows build):
// written in place, as the system's own tools write theirs.
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "pngfile/pngfile.h"

bool WriteFileSafely(const std::string& path, const std::function<bool(std::FILE*)>& write,
                     std::string& why) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  bool ok = file != nullptr && write(file) && std::fflush(file) == 0 && std::ferror(file) == 0;
  int error = errno;
  if (file != nullptr && std::fclose(file) != 0 && ok) ok = false, error = errno;
  if (!ok) why = path + ": cannot be written: " + std::strerror(error);
  return ok;
}

bool WriteFileSafely(const std::string& path, const std::vector<uint8_t>& bytes,
                     std::string& why) {
  return WriteFileSafely(
      path,
      [&bytes](std::FILE* file) {
        return std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
      },
      why);
}
