// asset_tool.h — the asset tool torvex-assets as a library: loading font and sprite files
// through the program's own loaders, writing them plain or packed, PNG sheets for looking,
// and building the data files from the editable text sources in data/.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

#include "app/app.h"
#include "pngfile/pngfile.h"

enum class AssetKind { Font, Sprites };

// A font or sprite file as the loaders leave it in a fresh arena: the records back to back.
struct AssetData {
  AssetKind kind = AssetKind::Font;
  bool packed = false;          // the form of the file it came from
  std::vector<uint8_t> bytes;   // glyphs, or image records (12-byte header, then pixels)
  std::vector<size_t> records;  // offset of each record in bytes
};

// Loads a file through LoadFontFile or LoadSpriteFile (chosen by its magic) at the start of a
// fresh arena of AssetArenaSize bytes. On refusal returns false with the check that failed.
bool LoadAsset(const std::string& path, AssetData& asset, std::string& why);
// The loaders' LastLoadFailure in words, one line.
std::string DescribeLoadFailure(AssetKind kind);

// The file image in plain records.
std::vector<uint8_t> EncodePlain(const AssetData& asset);
// The file image in the shortest packed form, for loading at an arena's start (no copy reaches
// before the file's own data). Fails when a byte that no literal can store has no copy source.
bool EncodePacked(const AssetData& asset, std::vector<uint8_t>& file, std::string& why);

// Largest sheet RenderSheet draws, in pixels (one byte each): a sprite file's header fields
// can ask for sheets of gigabytes.
constexpr int64_t MaxSheetPixels = int64_t{64} << 20;
// Longest side of a sheet: the most that PNG readers (libpng among them) take by default.
constexpr int64_t MaxSheetSide = 1000000;
// A sheet of all glyphs (16 per row) or all images (side by side), magnified `scale` (1 to 16)
// times. Refuses, with the reason in why, records whose header does not match their bytes and
// sheets above MaxSheetPixels or with a side above MaxSheetSide.
bool RenderSheet(const AssetData& asset, int32_t scale, int32_t& width, int32_t& height,
                 std::vector<uint8_t>& pixels, std::string& why);

// The editable sources: text art with a legend (format at the top of asset_sources.cpp).
// Fail with the file and line in why.
bool ParseFontSource(const std::string& path, AssetData& font, std::string& why);
bool ParseSpriteSource(const std::string& path, AssetData& sprites, std::string& why);

// The whole tool: args are the command line without the program name. Returns the exit code.
int RunAssetTool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
