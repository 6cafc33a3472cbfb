// pngfile.h — PNG pictures in the frame palette or in RGBA, for the runner's screenshots and
// the tools' sheets, charts and icons; and output files written whole or not at all, which
// the libpng writer goes through.
//
// Two writers stand behind this one interface, chosen by the build: libpng's (compressed,
// replacing the target in one rename) and, where libpng is not at hand (the Windows build),
// a writer of the same pictures in stored (uncompressed) deflate blocks.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

// The frame palette's colour of index i: red, green, blue.
void FrameColour(int index, uint8_t rgb[3]);
// Writes an 8-bit indexed PNG in the frame palette.
bool WritePalettePng(const std::string& path, int32_t width, int32_t height,
                     const std::vector<uint8_t>& pixels, std::string& why);
// Writes an RGBA PNG: width * height pixels of red, green, blue and alpha.
bool WriteRgbaPng(const std::string& path, int32_t width, int32_t height,
                  const std::vector<uint8_t>& rgba, std::string& why);
// What each writer implements and both of the above call: height rows of width pixels of
// `channels` bytes each (1: indices into the frame palette, 4: RGBA).
bool WritePngRows(const std::string& path, int32_t width, int32_t height, int channels,
                  const uint8_t* data, std::string& why);

// Output files are written so that the target is never left half-written: the data goes to a
// new file beside the target, is flushed to the disk, and only then replaces the target in one
// rename. On any failure the target keeps every byte and nothing is left beside it. (StageFile,
// CommitFile and DiscardFile in builds with libpng only; without it, the Windows build,
// WriteFileSafely writes the target in place.)
struct StagedFile {
  std::string target;     // the path as given (a symbolic link is replaced through)
  std::string temporary;  // the written data, waiting for CommitFile
};
// Writes the new content through `write` (false: it failed) into a temporary file beside path.
bool StageFile(const std::string& path, const std::function<bool(std::FILE*)>& write,
               StagedFile& staged, std::string& why);
bool CommitFile(StagedFile& staged, std::string& why);  // the rename; on failure discards
void DiscardFile(StagedFile& staged);                   // removes the temporary file
// StageFile and CommitFile in one.
bool WriteFileSafely(const std::string& path, const std::function<bool(std::FILE*)>& write,
                     std::string& why);
bool WriteFileSafely(const std::string& path, const std::vector<uint8_t>& bytes,
                     std::string& why);
// Writes the file as it is, in place (a device, a pipe; every output in builds without libpng).
bool WriteFileInPlace(const std::string& path, const std::function<bool(std::FILE*)>& write,
                      std::string& why);
