// asset_tool.cpp — the commands of torvex-assets: info, unpack, pack, export, build.
#include "tools/asset_tool.h"

#include <cstdio>
#include <cstdlib>
#include <ostream>

#include "assets/assets.h"

namespace {

const char* const Usage =
    "usage: torvex-assets info FILE\n"
    "       torvex-assets unpack IN OUT          write the plain form\n"
    "       torvex-assets pack IN OUT            write the shortest packed form\n"
    "       torvex-assets export IN OUT.png [SCALE]\n"
    "       torvex-assets build FONT.txt SPRITES.txt OUTDIR\n";

size_t FileSize(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return 0;
  std::fseek(file, 0, SEEK_END);
  const long size = std::ftell(file);
  std::fclose(file);
  return size < 0 ? 0 : static_cast<size_t>(size);
}

int Fail(std::ostream& err, const std::string& path, const std::string& why) {
  err << path << ": " << why << "\n";
  return 1;
}

// For reasons that name their file already.
int Report(std::ostream& err, const std::string& why) {
  err << why << "\n";
  return 1;
}

void PrintImages(const AssetData& asset, std::ostream& out) {
  for (size_t i = 0; i < asset.records.size(); ++i) {
    const uint8_t* h = &asset.bytes[asset.records[i]];
    int field[6] = {};
    for (int f = 0; f < 6; ++f) field[f] = static_cast<int16_t>(h[2 * f] | h[2 * f + 1] << 8);
    out << "  image " << i << ": " << field[0] << " x " << field[1] << ", hit box x " << field[2]
        << " to " << field[3] << ", y " << field[4] << " to " << field[5] << "\n";
  }
}

int Info(const std::string& path, std::ostream& out, std::ostream& err) {
  AssetData asset;
  std::string why;
  if (!LoadAsset(path, asset, why)) return Fail(err, path, why);
  const bool font = asset.kind == AssetKind::Font;
  out << path << ": " << (font ? "font" : "sprites") << ", " << (asset.packed ? "packed" : "plain")
      << ", " << asset.records.size() << (font ? " glyph" : " image")
      << (asset.records.size() == 1 ? "" : "s") << " (" << asset.bytes.size()
      << " bytes in the arena, " << FileSize(path) << " in the file)\n";
  if (!font) PrintImages(asset, out);
  return 0;
}

int Convert(const std::string& in, const std::string& to, bool packed, std::ostream& err) {
  AssetData asset;
  std::vector<uint8_t> file;
  std::string why;
  if (!LoadAsset(in, asset, why)) return Fail(err, in, why);
  if (!packed) file = EncodePlain(asset);
  if (packed && !EncodePacked(asset, file, why)) return Fail(err, in, "cannot pack: " + why);
  if (!WriteFileSafely(to, file, why)) return Report(err, why);
  return 0;
}

// The scale: a whole number from 1 to 16 and nothing after it.
bool ParseScale(const std::string& text, int32_t& scale) {
  scale = 1;
  if (text.empty()) return true;
  if (text.size() > 2 || text.find_first_not_of("0123456789") != std::string::npos) return false;
  scale = std::stoi(text);
  return scale >= 1 && scale <= 16;
}

int Export(const std::string& in, const std::string& png, const std::string& scaleText,
           std::ostream& err) {
  int32_t scale = 0;
  if (!ParseScale(scaleText, scale)) return Fail(err, scaleText, "the scale must be 1 to 16");
  AssetData asset;
  std::string why;
  if (!LoadAsset(in, asset, why)) return Fail(err, in, why);
  int32_t width = 0, height = 0;
  std::vector<uint8_t> pixels;
  if (!RenderSheet(asset, scale, width, height, pixels, why)) return Fail(err, in, why);
  if (!WritePalettePng(png, width, height, pixels, why)) return Report(err, why);
  return 0;
}

// Loads both files as the benchmark does, font first at the arena's start and the sprites
// behind it, and checks that its two text sprites still fit after them. The files are read
// from where they were staged; messages name their targets.
bool CheckBudget(const StagedFile& fontFile, const StagedFile& spriteFile, std::ostream& out,
                 std::string& why) {
  std::vector<uint8_t> arena(AssetArenaSize, 0);
  uint8_t* cursor = arena.data();
  uint8_t* table[ImageTableFileEntries] = {};
  const uint8_t* end = arena.data() + arena.size();
  if (LoadFontFile(fontFile.temporary.c_str(), cursor, arena.data(), end) == 0) {
    why = fontFile.target + ": " + DescribeLoadFailure(AssetKind::Font);
    return false;
  }
  const long fontBytes = cursor - arena.data();
  if (LoadSpriteFile(spriteFile.temporary.c_str(), cursor, table, ImageTableFileEntries,
                     arena.data(), end) == 0) {
    why = spriteFile.target + ": " + DescribeLoadFailure(AssetKind::Sprites);
    return false;
  }
  const long spriteBytes = cursor - arena.data() - fontBytes;
  const long total = fontBytes + spriteBytes + TextSpriteBytes;
  out << "arena budget: font " << fontBytes << " + sprites " << spriteBytes << " + text sprites "
      << TextSpriteBytes << " = " << total << " of " << AssetArenaSize << " bytes ("
      << AssetArenaSize - total << " to spare)\n";
  if (total > AssetArenaSize) why = "the data files and text sprites do not fit in the arena";
  return total <= AssetArenaSize;
}

// The benchmark draws glyphs up to 155 (banner blocks) and shows image 0 on its borders.
bool CheckSceneNeeds(const AssetData& font, const AssetData& sprites, std::string& why) {
  if (font.records.size() < 156)
    why = "the font must hold glyphs 0 to 155 (banner blocks)";
  else if (sprites.records.size() > static_cast<size_t>(ImageTableFileEntries))
    why = "the sprite file may hold at most 128 images";
  return why.empty();
}

int Build(const std::string& fontSource, const std::string& spriteSource, const std::string& dir,
          std::ostream& out, std::ostream& err) {
  AssetData font, sprites;
  std::vector<uint8_t> fontFile, spriteFile;
  std::string why;
  if (!ParseFontSource(fontSource, font, why) || !ParseSpriteSource(spriteSource, sprites, why) ||
      !CheckSceneNeeds(font, sprites, why)) {
    err << why << "\n";
    return 1;
  }
  if (!EncodePacked(font, fontFile, why)) return Fail(err, fontSource, "cannot pack: " + why);
  if (!EncodePacked(sprites, spriteFile, why))
    return Fail(err, spriteSource, "cannot pack: " + why);
  // Both files are staged and checked before either replaces what the folder holds, so a
  // failed build leaves the data files of the last good one in place.
  auto bytes = [](const std::vector<uint8_t>& data) {
    return [&data](std::FILE* file) {
      return std::fwrite(data.data(), 1, data.size(), file) == data.size();
    };
  };
  StagedFile fontStaged, spriteStaged;
  bool ok = StageFile(dir + "/TORVEX32.ZGL", bytes(fontFile), fontStaged, why) &&
            StageFile(dir + "/TORVEX32.ZOR", bytes(spriteFile), spriteStaged, why) &&
            CheckBudget(fontStaged, spriteStaged, out, why) &&
            CommitFile(fontStaged, why) && CommitFile(spriteStaged, why);
  DiscardFile(fontStaged);
  DiscardFile(spriteStaged);
  if (!ok) err << why << "\n";
  return ok ? 0 : 1;
}

}  // namespace

int RunAssetTool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  const std::string command = args.empty() ? "" : args[0];
  const size_t n = args.size();
  if (command == "info" && n == 2) return Info(args[1], out, err);
  if (command == "unpack" && n == 3) return Convert(args[1], args[2], false, err);
  if (command == "pack" && n == 3) return Convert(args[1], args[2], true, err);
  if (command == "export" && (n == 3 || n == 4))
    return Export(args[1], args[2], n == 4 ? args[3] : "", err);
  if (command == "build" && n == 4) return Build(args[1], args[2], args[3], out, err);
  err << Usage;
  return 2;
}
