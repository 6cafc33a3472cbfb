// files.cpp — temporary files, LZ expansion and file removal for the sound players. Uses no
// SDL: only POSIX calls and libmspack's SZDD decompressor.
//
// Every copy stops at MaxMediaFileBytes while it is written: an endless source (a device, a
// pipe) or a compressed file that expands without end must not fill the temporary folder.
#include <fcntl.h>
#include <mspack.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/platform.h"
#include "platform/sdl/media.h"

// From tempnotes.cpp: the temporary files that exist, for a stop that cannot wait.
void NoteTempFile(const char* path, bool exists);

namespace {

// Longest folder the players' 256-byte paths can hold with a prefix and the unique part.
constexpr size_t MaxTempFolder = 200;

bool IsUsableFolder(const char* folder) {
  struct stat info;
  if (folder == nullptr || folder[0] != '/' || strlen(folder) > MaxTempFolder) return false;
  return stat(folder, &info) == 0 && S_ISDIR(info.st_mode);
}

// The compressed format's two signatures: the usual one and the one of the old BASIC's files.
bool HasCompressedSignature(const char* path) {
  static const unsigned char usual[8] = {'S', 'Z', 'D', 'D', 0x88, 0xF0, 0x27, 0x33};
  static const unsigned char basic[8] = {'S', 'Z', ' ', 0x88, 0xF0, 0x27, 0x33, 0xD1};
  unsigned char head[8] = {};
  FILE* file = OpenRegularFile(path);
  if (file == nullptr) return false;
  size_t got = fread(head, 1, sizeof head, file);
  fclose(file);
  return got == sizeof head && (memcmp(head, usual, 8) == 0 || memcmp(head, basic, 8) == 0);
}

int64_t FileLength(const char* path) {
  struct stat info;
  if (stat(path, &info) != 0) return -1;
  return static_cast<int64_t>(info.st_size);
}

// Copies a file that is not compressed byte for byte; the length copied, or -1.
int64_t CopyPlainFile(const char* source, const char* destination) {
  FILE* in = OpenRegularFile(source);
  if (in == nullptr) return -1;
  FILE* out = fopen(destination, "wb");
  if (out == nullptr) {
    fclose(in);
    return -1;
  }
  char block[8192];
  int64_t total = 0;
  size_t got = 0;
  bool failed = false;
  while (!failed && (got = fread(block, 1, sizeof block, in)) > 0) {
    total += static_cast<int64_t>(got);
    failed = total > MaxMediaFileBytes || fwrite(block, 1, got, out) != got;
  }
  failed = failed || ferror(in) != 0;
  fclose(in);
  if (fclose(out) != 0) failed = true;
  return failed ? -1 : total;
}

// The decompressor's file access: the source only if it is a regular file, the expanded data
// counted as it is written and refused beyond MaxMediaFileBytes.
struct CountedFile {
  FILE* file;
  int64_t written;
};

mspack_file* OpenCounted(mspack_system*, const char* path, int mode) {
  FILE* file = mode == MSPACK_SYS_OPEN_READ    ? OpenRegularFile(path)
               : mode == MSPACK_SYS_OPEN_WRITE ? fopen(path, "wb")
                                               : nullptr;
  if (file == nullptr) return nullptr;
  return reinterpret_cast<mspack_file*>(new CountedFile{file, 0});
}

void CloseCounted(mspack_file* handle) {
  CountedFile* counted = reinterpret_cast<CountedFile*>(handle);
  fclose(counted->file);
  delete counted;
}

int ReadCounted(mspack_file* handle, void* buffer, int bytes) {
  CountedFile* counted = reinterpret_cast<CountedFile*>(handle);
  size_t got = fread(buffer, 1, static_cast<size_t>(bytes), counted->file);
  return ferror(counted->file) != 0 ? -1 : static_cast<int>(got);
}

int WriteCounted(mspack_file* handle, void* buffer, int bytes) {
  CountedFile* counted = reinterpret_cast<CountedFile*>(handle);
  counted->written += bytes;
  if (counted->written > MaxMediaFileBytes) return -1;
  return static_cast<int>(fwrite(buffer, 1, static_cast<size_t>(bytes), counted->file));
}

int SeekCounted(mspack_file* handle, off_t offset, int mode) {
  int whence = mode == MSPACK_SYS_SEEK_START ? SEEK_SET
               : mode == MSPACK_SYS_SEEK_CUR ? SEEK_CUR
                                             : SEEK_END;
  return fseeko(reinterpret_cast<CountedFile*>(handle)->file, offset, whence) == 0 ? 0 : -1;
}

off_t TellCounted(mspack_file* handle) {
  return ftello(reinterpret_cast<CountedFile*>(handle)->file);
}

void Quiet(mspack_file*, const char*, ...) {}
void* Allocate(mspack_system*, size_t bytes) { return malloc(bytes); }
void Free(void* block) { free(block); }
void Copy(void* source, void* destination, size_t bytes) { memmove(destination, source, bytes); }

mspack_system CountedSystem = {OpenCounted, CloseCounted, ReadCounted, WriteCounted,
                               SeekCounted, TellCounted,  Quiet,       Allocate,
                               Free,        Copy,         nullptr};

// Expands a compressed file; the expanded length, or -1. The decompressor reports success for
// a file cut short, so the length written is compared with the length the header promises.
int64_t ExpandCompressedFile(const char* source, const char* destination) {
  msszdd_decompressor* expander = mspack_create_szdd_decompressor(&CountedSystem);
  if (expander == nullptr) return -1;
  int64_t result = -1;
  msszddd_header* header = expander->open(expander, source);
  if (header != nullptr) {
    int error = expander->extract(expander, header, destination);
    int64_t length = FileLength(destination);
    if (error == MSPACK_ERR_OK && length == static_cast<int64_t>(header->length)) result = length;
    expander->close(expander, header);
  }
  mspack_destroy_szdd_decompressor(expander);
  return result;
}

}  // namespace

uint32_t GetTempFolder(char* buffer, uint32_t size) {
  const char* folder = getenv("TMPDIR");
  if (!IsUsableFolder(folder)) folder = "/tmp";
  size_t length = strlen(folder);
  bool separated = length > 0 && folder[length - 1] == PathSeparator;
  size_t needed = length + (separated ? 0 : 1);
  if (buffer == nullptr || needed + 1 > size) return 0;
  memcpy(buffer, folder, length);
  if (!separated) buffer[length] = PathSeparator;
  buffer[needed] = '\0';
  return static_cast<uint32_t>(needed);
}

uint32_t CreateTempFile(const char* folder, const char* prefix, char* path) {
  path[0] = '\0';
  // The unique part is chosen at random and the file created exclusively (mkstemp), so no
  // other process can predict the name or have a file ready under it.
  char name[256];
  int written = snprintf(name, sizeof name, "%s%sXXXXXX", folder, prefix);
  if (folder[0] == '\0' || written < 0 || static_cast<size_t>(written) >= sizeof name) return 1;
  int descriptor = mkstemp(name);
  if (descriptor < 0) return 1;
  close(descriptor);
  NoteTempFile(name, true);
  strcpy(path, name);
  return 0;
}

int64_t ExpandFile(const char* source, const char* destination) {
  int64_t result = HasCompressedSignature(source) ? ExpandCompressedFile(source, destination)
                                                  : CopyPlainFile(source, destination);
  // Leave nothing half-expanded that a device could mistake for the whole sound.
  if (result < 0) {
    int descriptor = open(destination, O_WRONLY | O_TRUNC);
    if (descriptor >= 0) close(descriptor);
  }
  return result;
}

bool DeleteFileAt(const char* path) {
  NoteTempFile(path, false);
  return unlink(path) == 0;
}

FILE* OpenRegularFile(const char* path) {
  // Opening without waiting: a pipe with no writer would otherwise hold the open forever.
  int descriptor = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (descriptor < 0) return nullptr;
  struct stat info;
  FILE* file = nullptr;
  if (fstat(descriptor, &info) == 0 && S_ISREG(info.st_mode) &&
      fcntl(descriptor, F_SETFL, fcntl(descriptor, F_GETFL) & ~O_NONBLOCK) == 0)
    file = fdopen(descriptor, "rb");
  if (file == nullptr) close(descriptor);
  return file;
}
