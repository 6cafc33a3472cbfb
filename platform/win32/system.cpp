// system.cpp — the program's module, the millisecond clocks, zero-filled global memory, the
// Windows directory and its profile files, temporary files, LZ expansion, and the reason of the
// last failure.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/win32/win32.h"

namespace {

char lastError[256];
uint32_t tickOffset = 0;        // added to the system tick count; moved by SetClockBase
uint32_t multimediaOffset = 0;  // added to the multimedia timer; likewise

uint32_t SystemTicks() { return static_cast<uint32_t>(::GetTickCount64()); }

// The compressed format's header: the usual signature, the method, the last character of the
// name, then the expanded length (little-endian). The expansion library reports success for a
// file cut short, so the length written is compared with the length promised here.
bool CompressedLength(const char* path, int64_t& length) {
  static const unsigned char usual[8] = {'S', 'Z', 'D', 'D', 0x88, 0xF0, 0x27, 0x33};
  unsigned char head[14] = {};
  FILE* file = fopen(path, "rb");
  if (file == nullptr) return false;
  size_t got = fread(head, 1, sizeof head, file);
  fclose(file);
  if (got != sizeof head || memcmp(head, usual, 8) != 0) return false;
  length = static_cast<int64_t>(head[10] | head[11] << 8 | head[12] << 16 |
                                static_cast<uint32_t>(head[13]) << 24);
  return true;
}

int64_t FileLength(const char* path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path, GetFileExInfoStandard, &data)) return -1;
  return static_cast<int64_t>(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
}

}  // namespace

void SetPlatformError(const char* what, DWORD code) {
  char reason[200] = "";
  DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                nullptr, code, 0, reason, sizeof reason, nullptr);
  // The system's texts end in a line break.
  while (length > 0 && (reason[length - 1] == '\n' || reason[length - 1] == '\r' ||
                        reason[length - 1] == ' '))
    reason[--length] = 0;
  if (length == 0) snprintf(reason, sizeof reason, "error %lu", static_cast<unsigned long>(code));
  SetPlatformErrorText(what, reason);
}

void SetPlatformErrorText(const char* what, const char* reason) {
  snprintf(lastError, sizeof lastError, "%s%s%s", what, reason[0] != 0 ? ": " : "", reason);
}

const char* GetPlatformError() { return lastError; }

InstanceHandle GetProgramInstance() { return GetModuleHandleA(nullptr); }

uint32_t GetProgramFilePath(char* buffer, uint32_t size) {
  if (size < 2) return 0;
  DWORD length = GetModuleFileNameA(nullptr, buffer, size);
  // A result that fills the buffer was cut short.
  if (length == 0 || length >= size) return 0;
  return length;
}

uint32_t GetTickCount() { return SystemTicks() + tickOffset; }
uint32_t GetMultimediaTime() { return timeGetTime() + multimediaOffset; }
void SetClockBase(uint32_t value) {
  tickOffset = value - SystemTicks();
  multimediaOffset = value - timeGetTime();
}

void* AllocZeroed(size_t bytes) { return GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, bytes); }
void FreeBlock(void* block) {
  if (block != nullptr) GlobalFree(block);
}

// The runner points TORVEX32_WINDOWS_DIR at a private folder, so that its runs leave the
// user's profile alone.
uint32_t GetWindowsDirectory(char* buffer, uint32_t size) {
  const char* chosen = getenv("TORVEX32_WINDOWS_DIR");
  if (chosen != nullptr && chosen[0] != 0) {
    size_t length = strlen(chosen);
    if (length + 1 > size) return static_cast<uint32_t>(length + 1);
    memcpy(buffer, chosen, length + 1);
    return static_cast<uint32_t>(length);
  }
  UINT length = GetWindowsDirectoryA(buffer, size);
  if (length == 0) SetPlatformError("GetWindowsDirectoryA");
  return length;
}

int32_t GetProfileInt(const char* section, const char* key, int32_t defaultValue,
                      const char* path) {
  return static_cast<int32_t>(GetPrivateProfileIntA(section, key, defaultValue, path));
}

bool WriteProfileString(const char* section, const char* key, const char* value,
                        const char* path) {
  if (WritePrivateProfileStringA(section, key, value, path)) return true;
  SetPlatformError("WritePrivateProfileStringA");
  return false;
}

uint32_t GetTempFolder(char* buffer, uint32_t size) {
  DWORD length = GetTempPathA(size, buffer);
  return length < size ? length : 0;  // too long: the size it would need
}

uint32_t CreateTempFile(const char* folder, const char* prefix, char* path) {
  path[0] = 0;
  // The system writes up to MAX_PATH characters; the caller's path holds 256.
  char name[MAX_PATH] = "";
  if (GetTempFileNameA(folder, prefix, 0, name) == 0) {
    DWORD code = GetLastError();
    SetPlatformError("GetTempFileNameA", code);
    return code != 0 ? code : 1;
  }
  if (strlen(name) >= 256) {
    DeleteFileA(name);
    SetPlatformErrorText("GetTempFileNameA", "the temporary file's path is too long");
    return ERROR_BUFFER_OVERFLOW;
  }
  memcpy(path, name, strlen(name) + 1);
  NoteTempFile(path, true);
  return 0;
}

namespace {

// True when path names a plain file on a disk: a device (NUL, CON, COM1) or a pipe has no end
// that LZCopy would reach, and a folder is no sound.
bool IsRegularFile(const char* path) {
  HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION info{};
  bool regular = GetFileType(file) == FILE_TYPE_DISK &&
                 GetFileInformationByHandle(file, &info) != 0 &&
                 (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
  CloseHandle(file);
  return regular;
}

// LZCopy checks no size: what it would write is bounded here before it starts (the header's
// promise, or the plain file's length) and checked again after it, since a crafted stream
// can expand past its promise (at most about nine times its own length).
int64_t ExpandWithinLimit(const char* source, const char* destination) {
  if (!IsRegularFile(source)) {
    SetPlatformErrorText(source, "is not a regular file");
    return -1;
  }
  int64_t promised = 0;
  bool compressed = CompressedLength(source, promised);
  int64_t sourceLength = FileLength(source);
  if ((compressed ? promised : sourceLength) > MaxMediaFileBytes) {
    SetPlatformErrorText(source, "is larger than the media device's 64 MB");
    return -1;
  }
  OFSTRUCT sourceInfo{}, destinationInfo{};
  INT in = LZOpenFileA(const_cast<char*>(source), &sourceInfo, OF_READ);
  if (in < 0) {
    SetPlatformErrorText(source, "cannot be read");
    return -1;
  }
  INT out = LZOpenFileA(const_cast<char*>(destination), &destinationInfo, OF_CREATE);
  if (out < 0) {
    LZClose(in);
    SetPlatformErrorText(destination, "cannot be written");
    return -1;
  }
  LONG copied = LZCopy(in, out);
  LZClose(in);
  LZClose(out);
  if (copied < 0) {
    SetPlatformErrorText(source, "corrupt compressed data");
    return -1;
  }
  int64_t written = FileLength(destination);
  if (written > MaxMediaFileBytes) {
    SetPlatformErrorText(source, "expands past the media device's 64 MB");
    return -1;
  }
  if (written < 0 || (compressed && written != promised)) {
    SetPlatformErrorText(source, "truncated compressed data");
    return -1;
  }
  return written;
}

}  // namespace

int64_t ExpandFile(const char* source, const char* destination) {
  int64_t result = ExpandWithinLimit(source, destination);
  // Leave nothing half-expanded that a device could mistake for the whole sound.
  if (result < 0) {
    HANDLE file = CreateFileA(destination, GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  }
  return result;
}

bool DeleteFileAt(const char* path) {
  if (DeleteFileA(path) == 0) return false;
  NoteTempFile(path, false);
  return true;
}
