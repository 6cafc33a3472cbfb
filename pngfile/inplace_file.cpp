// inplace_file.cpp — output files written in place: what a device or a pipe gets everywhere,
// and every output where the build has no staging writer (the Windows build); and the byte
// form of WriteFileSafely, which both kinds of build share.
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "pngfile/pngfile.h"

bool WriteFileInPlace(const std::string& path, const std::function<bool(std::FILE*)>& write,
                      std::string& why) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  bool ok = file != nullptr && write(file) && std::fflush(file) == 0 && std::ferror(file) == 0;
  int error = errno;
  if (file != nullptr && std::fclose(file) != 0 && ok) ok = false, error = errno;
  errno = error;
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
