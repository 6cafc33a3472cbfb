// reference_loader.h — a second, deliberately plain decoder of font and sprite files, working
// on bytes in memory, that the fuzz targets and the unit tests hold the real loaders against:
// same count, same refusing check, same arena bytes, same table entries.
#pragma once

#include <cstdint>
#include <vector>

#include "assets/assets.h"

namespace Reference {

struct Result {
  int32_t count = 0;
  LoadCheck check = LoadCheck::None;
  size_t end = 0;              // arena offset one past the last stored byte, on success
  std::vector<size_t> images;  // arena offsets of the image records begun
};

inline Result Fail(Result r, LoadCheck check) {
  r.count = 0;
  r.check = check;
  return r;
}

// Decodes `file` into arena from offset `at` as a font (sprites false) or sprite file.
inline Result Load(const std::vector<uint8_t>& file, bool sprites, std::vector<uint8_t>& arena,
                   size_t at, int32_t tableEntries) {
  Result r;
  const char* magic = sprites ? "ZOR" : "ZGL";
  size_t p = 0;
  for (int i = 0; i < 3; ++i, ++p) {
    if (p >= file.size() || file[p] != static_cast<uint8_t>(magic[i]))
      return Fail(r, LoadCheck::Magic);
  }
  if (p >= file.size() || (file[p] != '0' && file[p] != '1')) return Fail(r, LoadCheck::Version);
  const bool packed = file[p++] == '1';
  if (p == file.size()) return Fail(r, LoadCheck::NoRecords);
  size_t out = at;
  while (p < file.size()) {
    size_t pixels = 256;
    if (sprites) {
      if (r.count >= tableEntries) return Fail(r, LoadCheck::TableFull);
      r.images.push_back(out);
      if (arena.size() - out < 12) return Fail(r, LoadCheck::ArenaFull);
      for (int i = 0; i < 12; ++i) {
        if (p >= file.size()) return Fail(r, LoadCheck::EndsInRecord);
        arena[out++] = file[p++];
      }
      const size_t width = arena[out - 12] + 256 * arena[out - 11];
      const size_t height = arena[out - 10] + 256 * arena[out - 9];
      if (width > 32767 || height > 32767) return Fail(r, LoadCheck::TooLarge);
      pixels = width * height;
    }
    if (arena.size() - out < pixels) return Fail(r, LoadCheck::ArenaFull);
    size_t lacking = pixels;
    while (lacking > 0) {
      if (p >= file.size()) return Fail(r, LoadCheck::EndsInRecord);
      const uint8_t code = file[p++];
      if (!packed || code == 0 || (code >= 20 && code <= 235)) {
        arena[out++] = code;
        --lacking;
        continue;
      }
      const size_t distance = code <= 19 ? code : code - 216;
      if (p >= file.size()) return Fail(r, LoadCheck::EndsInCopy);
      const size_t length = file[p++] + 1u;
      if (length > lacking) return Fail(r, LoadCheck::CopyTooLong);
      if (distance > out) return Fail(r, LoadCheck::CopyBeforeArena);
      for (size_t i = 0; i < length; ++i, ++out) arena[out] = arena[out - distance];
      lacking -= length;
    }
    ++r.count;
  }
  r.end = out;
  return r;
}

}  // namespace Reference
