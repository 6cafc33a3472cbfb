// asset_codec.cpp — the asset tool's file handling: loading through the program's loaders, and
// encoding font and sprite files plain or in the shortest packed form.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "assets/assets.h"
#include "tools/asset_tool.h"

namespace {

constexpr int MaxDistance = 39;  // copy codes reach 1 to 39 bytes back
constexpr size_t MaxCopy = 256;  // a length byte L copies L + 1 bytes
constexpr uint32_t Unreachable = UINT32_MAX;

bool IsLiteral(uint8_t value) { return value == 0 || (value >= 20 && value <= 235); }

// The copy code of a distance: 1 to 19 stand for themselves, 20 to 39 are 236 to 255.
uint8_t CopyCode(int distance) {
  return static_cast<uint8_t>(distance < 20 ? distance : distance + 216);
}

const char* Magic(AssetKind kind) { return kind == AssetKind::Font ? "ZGL" : "ZOR"; }

// Reads the first four bytes; false when the file cannot be read that far.
bool PeekHeader(const std::string& path, uint8_t header[4]) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) return false;  // a pipe would wait
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return false;
  const size_t got = std::fread(header, 1, 4, file);
  std::fclose(file);
  return got == 4;
}

// Where each record's data lies in the decoded bytes: whole glyphs, or image pixels.
void Sections(const AssetData& asset, std::vector<std::pair<size_t, size_t>>& sections) {
  sections.clear();
  for (size_t i = 0; i < asset.records.size(); ++i) {
    const size_t start = asset.records[i];
    const size_t end = i + 1 < asset.records.size() ? asset.records[i + 1] : asset.bytes.size();
    sections.emplace_back(asset.kind == AssetKind::Font ? start : start + ImageHeaderBytes, end);
  }
}

// A byte that no literal can store must equal one of the 39 bytes before it.
bool Producible(const std::vector<uint8_t>& bytes, size_t at) {
  if (IsLiteral(bytes[at])) return true;
  for (size_t d = 1; d <= MaxDistance && d <= at; ++d) {
    if (bytes[at - d] == bytes[at]) return true;
  }
  return false;
}

std::string PixelName(const AssetData& asset, size_t record, size_t offset) {
  char text[96];
  if (asset.kind == AssetKind::Font) {
    std::snprintf(text, sizeof text, "glyph %zu pixel (%zu, %zu)", record, offset % 16,
                  offset / 16);
  } else {
    const uint8_t* header = &asset.bytes[asset.records[record]];
    const size_t width = header[0] | header[1] << 8;
    std::snprintf(text, sizeof text, "image %zu pixel (%zu, %zu)", record, offset % width,
                  offset / width);
  }
  return text;
}

// The codes chosen for a section: at each position that starts a code, the copy length (0
// for a literal) and the copy's distance.
struct PackPlan {
  std::vector<uint16_t> length;
  std::vector<uint8_t> distance;
};

// Chooses the fewest code bytes for bytes [start, end) of the decoded stream. Working back from
// the end, cost[i] is the least code bytes that produce bytes i..end-1 of the section: a literal
// costs 1, a copy 2 whatever its length. run[d] is how many bytes from the current position on
// equal the bytes d before them, which is what a copy of distance d may produce there.
PackPlan PlanSection(const std::vector<uint8_t>& bytes, size_t start, size_t end) {
  const size_t n = end - start;
  PackPlan plan = {std::vector<uint16_t>(n, 0), std::vector<uint8_t>(n, 0)};
  std::vector<uint32_t> cost(n + 1, Unreachable);
  size_t run[MaxDistance + 1] = {};
  cost[n] = 0;
  for (size_t i = n; i-- > 0;) {
    const size_t p = start + i;
    size_t longest = 0;
    int longestDistance = 0;
    for (int d = 1; d <= MaxDistance; ++d) {
      run[d] = (static_cast<size_t>(d) <= p && bytes[p] == bytes[p - d]) ? run[d] + 1 : 0;
      if (run[d] > longest) longest = run[d], longestDistance = d;
    }
    if (IsLiteral(bytes[p]) && cost[i + 1] != Unreachable) cost[i] = cost[i + 1] + 1;
    // Every length up to the longest run is possible from the distance that has that run.
    for (size_t length = 1; length <= std::min(longest, MaxCopy); ++length) {
      if (cost[i + length] == Unreachable || cost[i + length] + 2 >= cost[i]) continue;
      cost[i] = cost[i + length] + 2;
      plan.length[i] = static_cast<uint16_t>(length);
      plan.distance[i] = static_cast<uint8_t>(longestDistance);
    }
  }
  return plan;
}

void PackSection(const std::vector<uint8_t>& bytes, size_t start, size_t end,
                 std::vector<uint8_t>& file) {
  const PackPlan plan = PlanSection(bytes, start, end);
  for (size_t i = 0; i < end - start;) {
    if (plan.length[i] == 0) {
      file.push_back(bytes[start + i]);
      ++i;
    } else {
      file.push_back(CopyCode(plan.distance[i]));
      file.push_back(static_cast<uint8_t>(plan.length[i] - 1));
      i += plan.length[i];
    }
  }
}

}  // namespace

bool LoadAsset(const std::string& path, AssetData& asset, std::string& why) {
  uint8_t header[4] = {};
  const bool sprites =
      PeekHeader(path, header) && header[0] == 'Z' && header[1] == 'O' && header[2] == 'R';
  asset = AssetData();
  asset.kind = sprites ? AssetKind::Sprites : AssetKind::Font;
  asset.packed = header[3] == '1';
  std::vector<uint8_t> arena(AssetArenaSize, 0);
  uint8_t* cursor = arena.data();
  uint8_t* table[ImageTableFileEntries] = {};
  const uint8_t* end = arena.data() + arena.size();
  const int32_t count = sprites ? LoadSpriteFile(path.c_str(), cursor, table, ImageTableFileEntries,
                                                 arena.data(), end)
                                : LoadFontFile(path.c_str(), cursor, arena.data(), end);
  if (count == 0) {
    why = DescribeLoadFailure(asset.kind);
    return false;
  }
  asset.bytes.assign(arena.data(), cursor);
  for (int32_t i = 0; i < count; ++i) {
    asset.records.push_back(sprites ? static_cast<size_t>(table[i] - arena.data())
                                    : static_cast<size_t>(i) * GlyphBytes);
  }
  return true;
}

std::string DescribeLoadFailure(AssetKind kind) {
  const LoadFailure& f = LastLoadFailure;
  const std::string unit = kind == AssetKind::Font ? "glyph" : "image";
  const std::string at = std::to_string(f.fileOffset);
  const std::string copy = "the copy at file offset " + std::to_string(f.fileOffset - 1);
  const std::string in =
      "refused: " + (f.record >= 0 ? unit + " " + std::to_string(f.record) + ": " : "");
  switch (f.check) {
    case LoadCheck::None: return "loaded";
    case LoadCheck::CannotOpen: return in + "the file cannot be opened or is not a regular file";
    case LoadCheck::CursorOutside: return in + "the cursor lies outside the arena";
    case LoadCheck::Magic:
      return in + "the magic is neither \"ZGL\" nor \"ZOR\" (file offset " + at + ")";
    case LoadCheck::Version:
      return in + "the version byte is neither 0x30 (plain) nor 0x31 (packed), or missing";
    case LoadCheck::NoRecords: return in + "the file holds only its header, no " + unit;
    case LoadCheck::EndsInRecord: return in + "the file ends inside the record (" + at + " bytes)";
    case LoadCheck::EndsInCopy: return in + "the file ends between a copy code and its length byte";
    case LoadCheck::CopyTooLong: return in + copy + " is longer than the bytes the record lacks";
    case LoadCheck::CopyBeforeArena: return in + copy + " reaches before the arena's start";
    case LoadCheck::ArenaFull:
      return in + "the file does not fit in the " + std::to_string(AssetArenaSize) + "-byte arena";
    case LoadCheck::TableFull:
      return in + "more than " + std::to_string(ImageTableFileEntries) + " images";
    case LoadCheck::TooLarge: return in + "width or height above 32767";
  }
  return in + "unknown check";
}

std::vector<uint8_t> EncodePlain(const AssetData& asset) {
  std::vector<uint8_t> file(Magic(asset.kind), Magic(asset.kind) + 3);
  file.push_back('0');
  file.insert(file.end(), asset.bytes.begin(), asset.bytes.end());
  return file;
}

bool EncodePacked(const AssetData& asset, std::vector<uint8_t>& file, std::string& why) {
  std::vector<std::pair<size_t, size_t>> sections;
  Sections(asset, sections);
  for (size_t r = 0; r < sections.size(); ++r) {
    for (size_t p = sections[r].first; p < sections[r].second; ++p) {
      if (Producible(asset.bytes, p)) continue;
      why = PixelName(asset, r, p - sections[r].first) + ": colour " +
            std::to_string(asset.bytes[p]) +
            " has no literal code (only 0 and 20 to 235 have) and none of the 39 bytes before "
            "it is the same, so no copy can produce it";
      return false;
    }
  }
  file.assign(Magic(asset.kind), Magic(asset.kind) + 3);
  file.push_back('1');
  for (size_t r = 0; r < sections.size(); ++r) {
    file.insert(file.end(), asset.bytes.begin() + asset.records[r],
                asset.bytes.begin() + sections[r].first);
    PackSection(asset.bytes, sections[r].first, sections[r].second, file);
  }
  return true;
}
