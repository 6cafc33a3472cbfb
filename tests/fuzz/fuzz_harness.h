// fuzz_harness.h — the body of the loader fuzz targets: one input is the arena's geometry
// followed by a file; the file is loaded by the real loader into an arena of exactly that size
// and by the reference decoder, and any difference, or any store outside the arena or the
// table (AddressSanitizer), is a failure.
//
// Input: bytes 0 and 1, the arena size less one (little-endian); byte 2, the cursor's offset
// into the arena (mod 64, so copies reaching before the start are tried often); for sprite
// files byte 3, the table's entries (mod 9); then the file.
#pragma once

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "tests/fuzz/reference_loader.h"

inline const std::string& FuzzFilePath() {
  static const std::string path = "/dev/shm/torvex-fuzz-" + std::to_string(getpid()) + ".bin";
  return path;
}

inline void FuzzCheck(bool holds, const char* what) {
  if (holds) return;
  std::fprintf(stderr, "loader and reference differ: %s\n", what);
  std::abort();
}

inline int FuzzLoader(const uint8_t* data, size_t size, bool sprites) {
  const size_t prefix = sprites ? 4 : 3;
  if (size < prefix) return 0;
  const size_t arenaSize = 1 + (data[0] | data[1] << 8);
  const size_t offset = std::min<size_t>(data[2] % 64, arenaSize);
  const int32_t entries = sprites ? data[3] % 9 : 0;
  const std::vector<uint8_t> file(data + prefix, data + size);
  std::FILE* out = std::fopen(FuzzFilePath().c_str(), "wb");
  if (out == nullptr) std::abort();
  std::fwrite(file.data(), 1, file.size(), out);
  std::fclose(out);

  // Separate allocations of exactly the sizes the loader is told, so that any store past
  // them is caught.
  std::unique_ptr<uint8_t[]> arena(new uint8_t[arenaSize]);
  std::unique_ptr<uint8_t*[]> table(new uint8_t*[entries]);
  std::memset(arena.get(), 0xA5, arenaSize);
  std::vector<uint8_t> expected(arena.get(), arena.get() + arenaSize);
  uint8_t* cursor = arena.get() + offset;
  const int32_t count =
      sprites ? LoadSpriteFile(FuzzFilePath().c_str(), cursor, table.get(), entries, arena.get(),
                               arena.get() + arenaSize)
              : LoadFontFile(FuzzFilePath().c_str(), cursor, arena.get(), arena.get() + arenaSize);
  const Reference::Result r = Reference::Load(file, sprites, expected, offset, entries);

  FuzzCheck(count == r.count, "count");
  FuzzCheck(LastLoadFailure.check == r.check, "refusing check");
  if (count == 0) {
    FuzzCheck(cursor == arena.get() + offset, "cursor moved on failure");
    return 0;
  }
  FuzzCheck(cursor == arena.get() + r.end, "cursor");
  FuzzCheck(std::memcmp(arena.get(), expected.data(), arenaSize) == 0, "arena bytes");
  for (int32_t i = 0; sprites && i < count; ++i) {
    FuzzCheck(table[i] == arena.get() + r.images[i], "table entry");
  }
  return 0;
}
