// staged_file.cpp — output files written whole or not at all: the new content goes to a file
// beside the target, reaches the disk, and only then replaces the target in one rename.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "pngfile/pngfile.h"

namespace {

std::string Reason(const std::string& path, const char* what) {
  return path + ": " + what + ": " + std::strerror(errno);
}

// The file a path names in the end: a symbolic link is replaced through, so the link stays.
std::string FinalTarget(const std::string& path) {
  char resolved[PATH_MAX];
  return realpath(path.c_str(), resolved) != nullptr ? std::string(resolved) : path;
}

// The mode the new file gets: the old file's, or what creating it afresh would give.
mode_t ModeFor(const std::string& target) {
  struct stat old {};
  if (stat(target.c_str(), &old) == 0) return old.st_mode & 07777;
  const mode_t mask = umask(0);
  umask(mask);
  return 0666 & ~mask;
}

// A path that names something other than a file that a new one could replace: a device
// (/dev/null, a terminal), a pipe, a socket or a folder.
bool IsSpecial(const std::string& target) {
  struct stat info {};
  return stat(target.c_str(), &info) == 0 && !S_ISREG(info.st_mode);
}

}  // namespace

bool StageFile(const std::string& path, const std::function<bool(std::FILE*)>& write,
               StagedFile& staged, std::string& why) {
  staged = {path, ""};
  const std::string target = FinalTarget(path);
  if (IsSpecial(target)) {
    why = path + ": is not a regular file and cannot be replaced";
    return false;
  }
  if (access(target.c_str(), F_OK) == 0 && access(target.c_str(), W_OK) != 0) {
    why = Reason(path, "cannot be replaced");
    return false;
  }
  std::string temporary = target + ".XXXXXX";
  const int descriptor = mkstemp(temporary.data());
  if (descriptor < 0) {
    why = Reason(path, "cannot be written");
    return false;
  }
  staged.temporary = temporary;
  std::FILE* file = fdopen(descriptor, "wb");
  if (file == nullptr) close(descriptor);
  // Every byte must have reached the disk before the rename may replace the old file.
  bool ok = file != nullptr && fchmod(descriptor, ModeFor(target)) == 0 && write(file) &&
            std::fflush(file) == 0 && std::ferror(file) == 0 && fsync(descriptor) == 0;
  const int writeError = errno;
  if (file != nullptr && std::fclose(file) != 0) ok = false;
  if (!ok) {
    errno = writeError;
    why = Reason(path, "cannot be written");
    DiscardFile(staged);
  }
  return ok;
}

bool CommitFile(StagedFile& staged, std::string& why) {
  if (std::rename(staged.temporary.c_str(), FinalTarget(staged.target).c_str()) != 0) {
    why = Reason(staged.target, "cannot be replaced");
    DiscardFile(staged);
    return false;
  }
  staged.temporary.clear();
  return true;
}

void DiscardFile(StagedFile& staged) {
  if (!staged.temporary.empty()) unlink(staged.temporary.c_str());
  staged.temporary.clear();
}

bool WriteFileSafely(const std::string& path, const std::function<bool(std::FILE*)>& write,
                     std::string& why) {
  if (!IsSpecial(FinalTarget(path))) {
    StagedFile staged;
    return StageFile(path, write, staged, why) && CommitFile(staged, why);
  }
  // A device or a pipe is written to as it is: a file renamed over it would take its place
  // (for root even over /dev/null), and there is nothing in it to keep. A folder fails here.
  return WriteFileInPlace(path, write, why);
}
