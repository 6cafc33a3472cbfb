// assets_test.cpp — the font and sprite loaders on hand-built files, against the reference
// decoder, and the asset tool and our data files.
#include "assets/assets.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include "app/app.h"
#include "tests/fuzz/fuzz_harness.h"
#include "tools/asset_tool.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Files of this test process: ctest runs several processes of this test at once.
std::string TempName(const std::string& name) {
  return testing::TempDir() + "torvex_assets_" + std::to_string(getpid()) + "_" + name;
}

// Removes this process's files when the tests end.
class TempFiles : public testing::Environment {
 public:
  void TearDown() override {
    const std::string prefix = "torvex_assets_" + std::to_string(getpid()) + "_";
    for (const auto& entry : std::filesystem::directory_iterator(testing::TempDir())) {
      if (entry.path().filename().string().rfind(prefix, 0) == 0) {
        std::filesystem::remove_all(entry.path());
      }
    }
    std::remove(FuzzFilePath().c_str());
  }
};
testing::Environment* const TempFilesCleanup = testing::AddGlobalTestEnvironment(new TempFiles);

std::string WriteFile(const std::string& name, const Bytes& bytes) {
  const std::string path = TempName(name);
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
  return path;
}

Bytes ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

Bytes Join(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}
Bytes Font(char version, const Bytes& body) {
  return Join({{'Z', 'G', 'L', uint8_t(version)}, body});
}
Bytes Sprites(char version, const Bytes& body) {
  return Join({{'Z', 'O', 'R', uint8_t(version)}, body});
}
Bytes Repeat(uint8_t value, size_t n) { return Bytes(n, value); }
Bytes Header(int w, int h, int l = 0, int r = 0, int t = 0, int b = 0) {
  Bytes bytes;
  for (int v : {w, h, l, r, t, b})
    bytes.push_back(uint8_t(v & 0xFF)), bytes.push_back(uint8_t(v >> 8));
  return bytes;
}

// An arena of `size` bytes followed by guard bytes that a load must never touch.
struct TestArena {
  explicit TestArena(size_t size, size_t offset = 0) : bytes(size + 64, 0xEE), size(size) {
    cursor = bytes.data() + offset;
  }
  int32_t LoadFont(const Bytes& file) {
    return LoadFontFile(WriteFile("font", file).c_str(), cursor, bytes.data(), bytes.data() + size);
  }
  int32_t LoadSprites(const Bytes& file, uint8_t** table, int32_t entries) {
    return LoadSpriteFile(WriteFile("sprites", file).c_str(), cursor, table, entries, bytes.data(),
                          bytes.data() + size);
  }
  size_t Used() const { return static_cast<size_t>(cursor - bytes.data()); }
  uint8_t At(size_t i) const { return bytes[i]; }
  bool GuardsIntact() const {
    for (size_t i = size; i < bytes.size(); ++i)
      if (bytes[i] != 0xEE) return false;
    return true;
  }
  bool Untouched(size_t from) const {
    for (size_t i = from; i < size; ++i)
      if (bytes[i] != 0xEE) return false;
    return true;
  }
  Bytes bytes;
  size_t size;
  uint8_t* cursor;
};

// ---------------------------------------------------------------------------------------
// Font files.

TEST(FontFile, PlainBodiesMustBeWholeGlyphs) {
  for (size_t k = 1; k <= 3; ++k) {
    Bytes body(256 * k);
    for (size_t i = 0; i < body.size(); ++i) body[i] = uint8_t(i * 7 + k);
    TestArena arena(AssetArenaSize);
    EXPECT_EQ(arena.LoadFont(Font('0', body)), int32_t(k));
    EXPECT_EQ(arena.Used(), 256 * k);
    EXPECT_TRUE(std::equal(body.begin(), body.end(), arena.bytes.begin()));
    for (size_t extra : {size_t(1), size_t(255)}) {
      TestArena cut(AssetArenaSize);
      EXPECT_EQ(cut.LoadFont(Font('0', Join({body, Repeat(1, extra)}))), 0);
      EXPECT_EQ(cut.Used(), 0u);
      EXPECT_EQ(LastLoadFailure.check, LoadCheck::EndsInRecord);
      EXPECT_EQ(LastLoadFailure.record, int32_t(k));
    }
  }
}

TEST(FontFile, RefusesBadHeadersWithoutTouchingTheArena) {
  const std::pair<Bytes, LoadCheck> cases[] = {
      {{}, LoadCheck::Magic},
      {{'Z', 'G'}, LoadCheck::Magic},
      {Join({{'Z', 'G', 'X', '0'}, Repeat(0, 256)}), LoadCheck::Magic},
      {Join({{'Z', 'O', 'R', '0'}, Repeat(0, 256)}), LoadCheck::Magic},
      {{'Z', 'G', 'L'}, LoadCheck::Version},
      {Font('2', Repeat(0, 256)), LoadCheck::Version},
      {Font('0', {}), LoadCheck::NoRecords},
      {Font('1', {}), LoadCheck::NoRecords},
  };
  for (const auto& [file, check] : cases) {
    TestArena arena(1000, 10);
    EXPECT_EQ(arena.LoadFont(file), 0);
    EXPECT_EQ(LastLoadFailure.check, check);
    EXPECT_EQ(arena.Used(), 10u);
    EXPECT_TRUE(arena.Untouched(0));
  }
  TestArena arena(1000);
  // Missing; a pipe (whose open would wait for a writer); a folder; a device.
  const std::string pipe = TempName("pipe.zgl");
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  for (const std::string& path : {std::string("/nonexistent/TORVEX32.ZGL"), pipe,
                                  std::string("/tmp"), std::string("/dev/zero")}) {
    EXPECT_EQ(LoadFontFile(path.c_str(), arena.cursor, arena.bytes.data(),
                           arena.bytes.data() + arena.size),
              0) << path;
    EXPECT_EQ(LastLoadFailure.check, LoadCheck::CannotOpen) << path;
  }
  AssetData asset;
  std::string why;
  EXPECT_FALSE(LoadAsset(pipe, asset, why));  // the asset tool's own look at the header too
  EXPECT_NE(why.find("not a regular file"), std::string::npos) << why;
}

// Glyph 0 of the packed tests: 256 literals, g0(j) at byte j.
uint8_t G0(size_t j) { return uint8_t(20 + (j * 7) % 216); }
Bytes LiteralGlyph() {
  Bytes codes;
  for (size_t j = 0; j < 256; ++j) codes.push_back(G0(j));
  return codes;
}

TEST(FontFile, PackedCodesOfAllFourRanges) {
  // 0 and 20..235 are literals; 1..19 copy from distance b; 236..255 from distance b - 216.
  const Bytes glyph1 = {0, 19, 0, 236, 0, 255, 0, 20, 235, 1, 249};
  TestArena arena(AssetArenaSize);
  ASSERT_EQ(arena.LoadFont(Font('1', Join({LiteralGlyph(), glyph1}))), 2);
  EXPECT_EQ(arena.At(256), 0);
  EXPECT_EQ(arena.At(257), G0(257 - 19));
  EXPECT_EQ(arena.At(258), G0(258 - 20));
  EXPECT_EQ(arena.At(259), G0(259 - 39));
  EXPECT_EQ(arena.At(260), 20);
  for (size_t i = 261; i < 512; ++i) ASSERT_EQ(arena.At(i), 235) << i;
  EXPECT_EQ(arena.Used(), 512u);
}

TEST(FontFile, CopiesRepeatAndReachIntoThePreviousGlyph) {
  // Distance 1 with L = 15 after a literal 0x40: seventeen bytes of 0x40.
  TestArena a(AssetArenaSize);
  ASSERT_EQ(a.LoadFont(Font('1', {0x40, 1, 15, 0, 1, 237})), 1);
  for (size_t i = 0; i < 17; ++i) EXPECT_EQ(a.At(i), 0x40);
  EXPECT_EQ(a.At(17), 0);
  // The second glyph's first copy, distance 16, takes the first glyph's last row.
  TestArena b(AssetArenaSize);
  ASSERT_EQ(b.LoadFont(Font('1', Join({LiteralGlyph(), {16, 15, 0, 1, 238}}))), 2);
  for (size_t i = 0; i < 16; ++i) EXPECT_EQ(b.At(256 + i), G0(240 + i));
  // L = 255 as the second glyph's first code fills it whole.
  TestArena c(AssetArenaSize);
  ASSERT_EQ(c.LoadFont(Font('1', Join({LiteralGlyph(), {255, 255}}))), 2);
  for (size_t i = 256; i < 512; ++i) ASSERT_EQ(c.At(i), c.At(i - 39));
}

TEST(FontFile, CopyMayEndTheRecordButNotRunPastIt) {
  const Bytes start = Repeat(30, 200);  // 56 bytes lacking after these
  TestArena exact(AssetArenaSize);
  EXPECT_EQ(exact.LoadFont(Font('1', Join({start, {1, 55}}))), 1);
  TestArena over(AssetArenaSize);
  EXPECT_EQ(over.LoadFont(Font('1', Join({start, {1, 56}}))), 0);
  EXPECT_EQ(LastLoadFailure.check, LoadCheck::CopyTooLong);
  EXPECT_EQ(over.Used(), 0u);
  TestArena cut(AssetArenaSize);
  EXPECT_EQ(cut.LoadFont(Font('1', Join({start, {1}}))), 0);
  EXPECT_EQ(LastLoadFailure.check, LoadCheck::EndsInCopy);
  TestArena shortGlyph(AssetArenaSize);
  EXPECT_EQ(shortGlyph.LoadFont(Font('1', start)), 0);
  EXPECT_EQ(LastLoadFailure.check, LoadCheck::EndsInRecord);
}

TEST(FontFile, CopyNeverReachesBeforeTheArena) {
  TestArena atStart(AssetArenaSize);
  EXPECT_EQ(atStart.LoadFont(Font('1', {1, 255})), 0);
  EXPECT_EQ(LastLoadFailure.check, LoadCheck::CopyBeforeArena);
  // Five bytes lie before the cursor: distance 5 reaches the arena's first byte, 6 one before.
  TestArena inside(AssetArenaSize, 5);
  inside.bytes[0] = 0x77;
  EXPECT_EQ(inside.LoadFont(Font('1', {5, 0, 1, 254})), 1);
  EXPECT_EQ(inside.At(5), 0x77);
  TestArena beyond(AssetArenaSize, 5);
  EXPECT_EQ(beyond.LoadFont(Font('1', {6, 0, 1, 254})), 0);
  EXPECT_EQ(LastLoadFailure.check, LoadCheck::CopyBeforeArena);
  EXPECT_EQ(beyond.Used(), 5u);
}

TEST(FontFile, FillsTheArenaToItsLastByteAndNoFurther) {
  const Bytes plain = Font('0', Repeat(50, 512));
  const Bytes packed = Font('1', {50, 1, 254, 50, 1, 254});
  for (const Bytes& file : {plain, packed}) {
    TestArena fits(100 + 512, 100);
    EXPECT_EQ(fits.LoadFont(file), 2);
    EXPECT_EQ(fits.Used(), fits.size);
    EXPECT_TRUE(fits.GuardsIntact());
    TestArena tight(100 + 511, 100);
    EXPECT_EQ(tight.LoadFont(file), 0);
    EXPECT_EQ(LastLoadFailure.check, LoadCheck::ArenaFull);
    EXPECT_EQ(LastLoadFailure.record, 1);
    EXPECT_EQ(tight.Used(), 100u);
    EXPECT_TRUE(tight.GuardsIntact());
  }
}

// ---------------------------------------------------------------------------------------
// Sprite files.

TEST(SpriteFile, RecordsLieBackToBack) {
  const Bytes image = Join({Header(2, 3, 0, 2, 0, 3), {20, 21, 22, 23, 24, 25}});
  uint8_t* table[4] = {};
  TestArena arena(AssetArenaSize);
  ASSERT_EQ(arena.LoadSprites(Sprites('0', Join({image, image})), table, 4), 2);
  EXPECT_EQ(table[0], arena.bytes.data());
  EXPECT_EQ(table[1] - table[0], 18);
  EXPECT_EQ(arena.Used(), 36u);
  // An image of width or height 0 is its 12 header bytes alone.
  TestArena empty(AssetArenaSize);
  ASSERT_EQ(empty.LoadSprites(Sprites('1', Join({Header(0, 9), Header(7, 0), image})), table, 4),
            3);
  EXPECT_EQ(table[1] - table[0], 12);
  EXPECT_EQ(table[2] - table[1], 12);
  EXPECT_EQ(empty.Used(), 42u);
  // Header values are stored as they are, least significant byte first: 0x10 0x01 is 272.
  TestArena wide(AssetArenaSize);
  const Bytes header = {0x10, 0x01, 1, 0, 5, 0, 0x80, 0xFF, 0, 0, 0, 0};
  ASSERT_EQ(wide.LoadSprites(Sprites('0', Join({header, Repeat(20, 272)})), table, 4), 1);
  EXPECT_EQ(wide.Used(), 12u + 272u);
  EXPECT_TRUE(std::equal(header.begin(), header.end(), wide.bytes.begin()));
}

TEST(SpriteFile, RefusesCutAndEmptyFiles) {
  const Bytes image = Join({Header(2, 3), Repeat(20, 6)});
  uint8_t* table[4] = {};
  TestArena lacking(AssetArenaSize);
  EXPECT_EQ(lacking.LoadSprites(Sprites('0', Join({image, Header(2, 3), Repeat(20, 5)})), table, 4),
            0);
  EXPECT_EQ(LastLoadFailure.check, LoadCheck::EndsInRecord);
  EXPECT_EQ(LastLoadFailure.record, 1);
  EXPECT_EQ(lacking.Used(), 0u);
  // A cut header: the entry of the record begun is written, the cursor stays.
  uint8_t* cutTable[4] = {};
  TestArena cut(AssetArenaSize, 3);
  EXPECT_EQ(cut.LoadSprites(Sprites('1', Join({image, {2, 0, 3}})), cutTable, 4), 0);
  EXPECT_EQ(cutTable[1], cut.bytes.data() + 3 + 18);
  EXPECT_EQ(cut.Used(), 3u);
  uint8_t* untouched[2] = {nullptr, nullptr};
  const std::pair<Bytes, LoadCheck> refused[] = {{Sprites('0', {}), LoadCheck::NoRecords},
                                                 {Font('0', image), LoadCheck::Magic},
                                                 {Sprites('2', image), LoadCheck::Version}};
  for (const auto& [file, check] : refused) {
    TestArena arena(AssetArenaSize);
    EXPECT_EQ(arena.LoadSprites(file, untouched, 2), 0);
    EXPECT_EQ(LastLoadFailure.check, check);
    EXPECT_EQ(untouched[0], nullptr);
    EXPECT_TRUE(arena.Untouched(0));
  }
}

TEST(SpriteFile, PackedPixelsCopyFromHeadersAndEarlierImages) {
  uint8_t* table[4] = {};
  // A 16 by 16 image that is all 0: a literal 0, then distance 1 with L = 254. Its header
  // byte 0x05 stays 0x05: header bytes are never decoded.
  TestArena zero(AssetArenaSize);
  ASSERT_EQ(zero.LoadSprites(Sprites('1', Join({Header(16, 16, 5), {0, 1, 254}})), table, 4), 1);
  EXPECT_EQ(zero.At(4), 0x05);
  EXPECT_EQ(zero.Used(), 12u + 256u);
  for (size_t i = 12; i < 268; ++i) ASSERT_EQ(zero.At(i), 0);
  // Distance 12 as an image's first code starts at its own width field; a later image copies
  // from the one before.
  TestArena header(AssetArenaSize);
  const Bytes file = Sprites('1', Join({Header(2, 2, 9), {12, 3}, Header(1, 3), {16, 2}}));
  ASSERT_EQ(header.LoadSprites(file, table, 4), 2);
  const Bytes expected = {2, 0, 2, 0, 9, 0, 0, 0, 0, 0, 0, 0, 2, 0, 2, 0,
                          1, 0, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 2};
  EXPECT_TRUE(std::equal(expected.begin(), expected.end(), header.bytes.begin()));
  EXPECT_EQ(header.Used(), expected.size());
}

TEST(SpriteFile, RefusesMoreImagesThanTheTableHolds) {
  const Bytes image = Join({Header(1, 1), {20}});
  uint8_t* table[3] = {nullptr, nullptr, nullptr};
  TestArena two(AssetArenaSize);
  EXPECT_EQ(two.LoadSprites(Sprites('0', Join({image, image})), table, 2), 2);
  TestArena three(AssetArenaSize);
  uint8_t* guarded[3] = {nullptr, nullptr, nullptr};
  EXPECT_EQ(three.LoadSprites(Sprites('0', Join({image, image, image})), guarded, 2), 0);
  EXPECT_EQ(LastLoadFailure.check, LoadCheck::TableFull);
  EXPECT_EQ(LastLoadFailure.record, 2);
  EXPECT_EQ(guarded[2], nullptr);
  EXPECT_EQ(three.Used(), 0u);
}

TEST(SpriteFile, RefusesSidesAboveTheSignedRange) {
  uint8_t* table[2] = {};
  TestArena largest(AssetArenaSize);
  EXPECT_EQ(largest.LoadSprites(Sprites('0', Join({Header(32767, 0), Header(0, 32767)})), table, 2),
            2);
  for (const Bytes& header : {Header(32768, 0), Header(0, 32768), Header(65535, 1)}) {
    TestArena arena(AssetArenaSize);
    EXPECT_EQ(arena.LoadSprites(Sprites('0', header), table, 2), 0);
    EXPECT_EQ(LastLoadFailure.check, LoadCheck::TooLarge);
  }
}

TEST(SpriteFile, FillsTheArenaToItsLastByteAndNoFurther) {
  const Bytes plain =
      Sprites('0', Join({Header(2, 3), Repeat(20, 6), Header(3, 2), Repeat(21, 6)}));
  const Bytes packed = Sprites('1', Join({Header(2, 3), {20, 1, 4}, Header(3, 2), {21, 1, 4}}));
  uint8_t* table[2] = {};
  for (const Bytes& file : {plain, packed}) {
    TestArena fits(7 + 36, 7);
    EXPECT_EQ(fits.LoadSprites(file, table, 2), 2);
    EXPECT_EQ(fits.Used(), fits.size);
    for (size_t lessRoom : {1, 6, 7}) {  // inside the pixels, at and inside the second header
      TestArena tight(7 + 36 - lessRoom, 7);
      EXPECT_EQ(tight.LoadSprites(file, table, 2), 0);
      EXPECT_EQ(LastLoadFailure.check, LoadCheck::ArenaFull);
      EXPECT_EQ(tight.Used(), 7u);
      EXPECT_TRUE(tight.GuardsIntact());
    }
  }
  TestArena before(100);
  EXPECT_EQ(before.LoadSprites(Sprites('1', Join({Header(2, 2), {13, 3}})), table, 2), 0);
  EXPECT_EQ(LastLoadFailure.check, LoadCheck::CopyBeforeArena);
  TestArena after(100, 1);
  EXPECT_EQ(after.LoadSprites(Sprites('1', Join({Header(2, 2), {13, 3}})), table, 2), 1);
}

TEST(Loaders, RefuseACursorOutsideTheArena) {
  uint8_t arena[16] = {};
  uint8_t* cursor = arena + 8;
  EXPECT_EQ(LoadFontFile("unused", cursor, arena + 9, arena + 16), 0);
  EXPECT_EQ(LastLoadFailure.check, LoadCheck::CursorOutside);
  EXPECT_EQ(LoadSpriteFile("unused", cursor, nullptr, 0, arena, arena + 7), 0);
  EXPECT_EQ(LastLoadFailure.check, LoadCheck::CursorOutside);
}

// ---------------------------------------------------------------------------------------
// Against the reference decoder: random damage to small valid files, and every input the
// fuzzers once found failing (tests/fuzz/regressions, named font-* or sprites-*).

TEST(Loaders, AgreeWithTheReferenceOnDamagedFiles) {
  std::mt19937 random(7);
  const Bytes fontSeed = Join({{0x00, 0x04, 5}, Font('1', {0x40, 1, 15, 2, 237, 0, 0, 1, 254})});
  const Bytes spriteSeed =
      Join({{0x00, 0x02, 3, 4},
            Sprites('1', Join({Header(16, 16), {0, 1, 254}, Header(2, 2, 5), {12, 0, 20, 1, 1}}))});
  for (int round = 0; round < 3000; ++round) {
    Bytes input = round % 2 ? spriteSeed : fontSeed;
    for (int edits = 1 + random() % 4; edits > 0; --edits) {
      const size_t at = random() % input.size();
      switch (random() % 3) {
        case 0:
          input[at] = uint8_t(random());
          break;
        case 1:
          input.erase(input.begin() + at);
          break;
        default:
          input.insert(input.begin() + at, uint8_t(random()));
          break;
      }
      if (input.size() < 5) input.resize(5, 0);
    }
    FuzzLoader(input.data(), input.size(), round % 2 == 1);  // aborts on any difference
  }
}

TEST(Loaders, ReplayFuzzerFindings) {
  const std::filesystem::path folder = TORVEX_FUZZ_REGRESSIONS;
  if (!std::filesystem::exists(folder)) GTEST_SKIP() << "no findings kept";
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    std::ifstream in(entry.path(), std::ios::binary);
    const Bytes input((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::string name = entry.path().filename().string();
    SCOPED_TRACE(name);
    FuzzLoader(input.data(), input.size(), name.rfind("sprites", 0) == 0);
  }
}

// ---------------------------------------------------------------------------------------
// The asset tool.

int Tool(std::vector<std::string> args, std::string* out = nullptr, std::string* err = nullptr) {
  std::ostringstream o, e;
  const int code = RunAssetTool(args, o, e);
  if (out != nullptr) *out = o.str();
  if (err != nullptr) *err = e.str();
  return code;
}

AssetData LoadBack(const Bytes& file, const std::string& name) {
  AssetData asset;
  std::string why;
  EXPECT_TRUE(LoadAsset(WriteFile(name, file), asset, why)) << why;
  return asset;
}

void ExpectPackedLoadsLikePlain(const AssetData& asset) {
  Bytes packed;
  std::string why;
  ASSERT_TRUE(EncodePacked(asset, packed, why)) << why;
  const AssetData fromPacked = LoadBack(packed, "packed");
  const AssetData fromPlain = LoadBack(EncodePlain(asset), "plain");
  EXPECT_EQ(fromPacked.bytes, fromPlain.bytes);
  EXPECT_EQ(fromPacked.records, fromPlain.records);
  EXPECT_EQ(fromPlain.bytes, asset.bytes);
  EXPECT_LE(packed.size(), EncodePlain(asset).size());
}

TEST(AssetTool, PackedAndPlainLoadTheSame) {
  for (const char* path : {TORVEX_FONT_FILE, TORVEX_SPRITE_FILE}) {
    AssetData asset;
    std::string why;
    ASSERT_TRUE(LoadAsset(path, asset, why)) << why;
    EXPECT_TRUE(asset.packed);
    ExpectPackedLoadsLikePlain(asset);
  }
  // Random pictures: literal colours in runs, and bytes that no literal can store wherever
  // one of the 39 bytes before them (headers included) holds the same value.
  std::mt19937 random(11);
  for (int round = 0; round < 40; ++round) {
    AssetData asset;
    asset.kind = round % 2 ? AssetKind::Sprites : AssetKind::Font;
    for (int r = 0, records = 1 + random() % 5; r < records; ++r) {
      asset.records.push_back(asset.bytes.size());
      size_t pixels = 256;
      if (asset.kind == AssetKind::Sprites) {
        const int w = random() % 40, h = random() % 30;
        const Bytes header = Header(w, h, int(random() % 300), 5, 17, 250);
        asset.bytes.insert(asset.bytes.end(), header.begin(), header.end());
        pixels = size_t(w) * h;
      }
      for (size_t i = 0; i < pixels; ++i) {
        const size_t n = asset.bytes.size();
        const int pick = random() % 8;
        if (pick == 0 && n > 0)
          asset.bytes.push_back(asset.bytes[n - 1 - random() % std::min<size_t>(n, 39)]);
        else if (pick < 4 && n > 0)
          asset.bytes.push_back(asset.bytes[n - 1]);
        else
          asset.bytes.push_back(pick == 4 ? 0 : uint8_t(20 + random() % 216));
      }
    }
    ExpectPackedLoadsLikePlain(asset);
  }
}

// The fewest code bytes for bytes[start, end), by trying every copy of every distance and
// length at every position: slow and plain, to hold the tool's packer against.
size_t ShortestPacking(const Bytes& bytes, size_t start, size_t end) {
  std::vector<size_t> best(end - start + 1, SIZE_MAX);
  best[end - start] = 0;
  for (size_t i = end - start; i-- > 0;) {
    const size_t p = start + i;
    if ((bytes[p] == 0 || (bytes[p] >= 20 && bytes[p] <= 235)) && best[i + 1] != SIZE_MAX)
      best[i] = best[i + 1] + 1;
    for (size_t d = 1; d <= 39 && d <= p; ++d) {
      for (size_t length = 1; length <= 256 && i + length <= end - start; ++length) {
        if (bytes[p + length - 1] != bytes[p + length - 1 - d]) break;
        if (best[i + length] != SIZE_MAX) best[i] = std::min(best[i], best[i + length] + 2);
      }
    }
  }
  return best[0];
}

TEST(AssetTool, PacksAsShortAsTheFormatAllows) {
  std::mt19937 random(5);
  const uint8_t colours[] = {0, 20, 21, 235};
  for (int round = 0; round < 30; ++round) {
    AssetData font;
    font.records = {0, 256};
    for (size_t i = 0; i < 512; ++i) {
      const int pick = random() % 4;
      if (pick == 0 && i > 0)
        font.bytes.push_back(font.bytes[i - 1]);
      else if (pick == 1 && i >= 16)
        font.bytes.push_back(font.bytes[i - 16]);
      else
        font.bytes.push_back(colours[random() % 4]);
    }
    Bytes packed;
    std::string why;
    ASSERT_TRUE(EncodePacked(font, packed, why)) << why;
    EXPECT_EQ(packed.size(),
              4 + ShortestPacking(font.bytes, 0, 256) + ShortestPacking(font.bytes, 256, 512));
  }
}

TEST(AssetTool, PackRefusesBytesThatNoCopyCanMake) {
  AssetData font;
  font.records = {0};
  font.bytes.assign(256, 20);
  font.bytes[16 + 3] = 240;
  Bytes packed;
  std::string why;
  EXPECT_FALSE(EncodePacked(font, packed, why));
  EXPECT_NE(why.find("glyph 0 pixel (3, 1): colour 240"), std::string::npos) << why;
  const std::string plain = WriteFile("unpackable.zgl", EncodePlain(font));
  std::string err;
  EXPECT_EQ(Tool({"pack", plain, plain + ".packed"}, nullptr, &err), 1);
  EXPECT_NE(err.find("cannot pack: glyph 0 pixel (3, 1)"), std::string::npos) << err;
}

TEST(AssetTool, InfoDescribesFilesAndNamesTheFailingCheck) {
  std::string out, err;
  ASSERT_EQ(Tool({"info", TORVEX_FONT_FILE}, &out), 0);
  EXPECT_NE(out.find("font, packed, 156 glyphs (39936 bytes in the arena"), std::string::npos)
      << out;
  ASSERT_EQ(Tool({"info", TORVEX_SPRITE_FILE}, &out), 0);
  EXPECT_NE(out.find("image 0: 32 x 32, hit box x 0 to 32, y 0 to 32"), std::string::npos) << out;
  const std::pair<Bytes, const char*> refused[] = {
      {Font('0', {}), "holds only its header, no glyph"},
      {Font('3', {}), "version byte"},
      {{'A', 'B', 'C', '0'}, "magic is neither"},
      {Font('1', Join({Repeat(30, 200), {1, 56}})),
       "glyph 0: the copy at file offset 204 is longer"},
      {Font('1', {1, 0}), "glyph 0: the copy at file offset 4 reaches before the arena's start"},
      {Font('0', Repeat(0, 391 * 256)),
       "glyph 390: the file does not fit in the 100000-byte arena"},
      {Sprites('0', Join({Header(1, 1), {20}, Header(2, 1)})), "image 1: the file ends inside"},
      {Sprites('1', Header(40000, 1)), "image 0: width or height above 32767"},
  };
  for (const auto& [file, expected] : refused) {
    EXPECT_EQ(Tool({"info", WriteFile("refused", file)}, nullptr, &err), 1);
    EXPECT_NE(err.find(expected), std::string::npos) << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
  }
  EXPECT_EQ(Tool({"info", "/nonexistent"}, nullptr, &err), 1);
  EXPECT_NE(err.find("cannot be opened"), std::string::npos);
  EXPECT_EQ(Tool({"unpack", "only-one"}, nullptr, &err), 2);
  EXPECT_NE(err.find("usage:"), std::string::npos);
}

TEST(AssetTool, ExportsSheetsInTheFramePalette) {
  const std::pair<int, std::array<int, 3>> colours[] = {
      {20, {0, 0, 0}},      {21, {0, 0, 51}},       {26, {0, 51, 0}}, {56, {51, 0, 0}},
      {230, {255, 255, 0}}, {235, {255, 255, 255}}, {10, {0, 0, 0}},  {245, {0, 0, 0}},
      {7, {192, 192, 192}}, {249, {255, 0, 0}}};
  for (const auto& [index, rgb] : colours) {
    uint8_t got[3] = {};
    FrameColour(index, got);
    EXPECT_EQ((std::array<int, 3>{got[0], got[1], got[2]}), rgb) << index;
  }
  const std::string png = TempName("font.png");
  ASSERT_EQ(Tool({"export", TORVEX_FONT_FILE, png, "2"}), 0);
  std::ifstream in(png, std::ios::binary);
  char head[24] = {};
  in.read(head, sizeof head);
  EXPECT_EQ(std::memcmp(head + 1, "PNG", 3), 0);
  const uint8_t* ihdr = reinterpret_cast<uint8_t*>(head) + 16;
  EXPECT_EQ(ihdr[2] << 8 | ihdr[3], 16 * 33 + 1);  // sixteen cells of 32 pixels and a line
}

// Sprite files whose headers ask for sheets of gigabytes: they load (each fits the arena), and
// export refuses them before drawing anything.
TEST(AssetTool, ExportRefusesSheetsTheHeaderFieldsMakeHuge) {
  const std::string two = WriteFile(
      "two.zor", Sprites('0', Join({Header(32767, 1), Repeat(20, 32767), Header(1, 32767),
                                    Repeat(20, 32767)})));
  Bytes empties;
  for (int i = 0; i < 127; ++i) empties = Join({empties, Header(0, 0)});
  const std::string tall =
      WriteFile("tall.zor", Sprites('0', Join({empties, Header(0, 32767)})));
  rusage before{};
  getrusage(RUSAGE_SELF, &before);
  for (const auto& [file, scale] : {std::pair{two, "1"}, {two, "2"}, {two, "4"}, {two, "16"},
                                    {tall, "16"}}) {
    const std::string png = TempName("huge.png");
    std::string err;
    EXPECT_EQ(Tool({"export", file, png, scale}, nullptr, &err), 1) << scale;
    EXPECT_NE(err.find("pixels is larger than 67108864 pixels"), std::string::npos) << err;
    EXPECT_FALSE(std::filesystem::exists(png));
  }
  rusage after{};
  getrusage(RUSAGE_SELF, &after);
  EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 64 * 1024) << "kilobytes";
  // At a scale that keeps the sheet small, the tall one exports.
  EXPECT_EQ(Tool({"export", tall, TempName("tall.png"), "1"}), 0);
  // Within the pixels but wider than PNG readers take: refused before libpng would refuse it.
  const std::string wide = WriteFile(
      "wide.zor", Sprites('0', Join({Header(32767, 1), Repeat(20, 32767), Header(32767, 1),
                                     Repeat(20, 32767)})));
  std::string err;
  EXPECT_EQ(Tool({"export", wide, TempName("wide.png"), "16"}, nullptr, &err), 1);
  EXPECT_EQ(err, wide + ": a sheet of 1048547 by 18 pixels has a side longer than 1000000 "
                        "pixels: choose a smaller scale\n");
  EXPECT_EQ(Tool({"export", wide, TempName("wide.png"), "15"}), 0);

  // A record whose header does not match its bytes is refused, not read past.
  AssetData bad;
  bad.kind = AssetKind::Sprites;
  bad.bytes = Join({Header(100, 100), Repeat(20, 16)});
  bad.records = {0};
  int32_t width = 0, height = 0;
  std::vector<uint8_t> pixels;
  std::string why;
  EXPECT_FALSE(RenderSheet(bad, 1, width, height, pixels, why));
  EXPECT_NE(why.find("does not match its 16 pixel bytes"), std::string::npos) << why;
}

TEST(AssetTool, ScaleAndWriteMessagesAreExact) {
  std::string err;
  EXPECT_EQ(Tool({"export", TORVEX_FONT_FILE, TempName("x.png"), "16abc"}, nullptr, &err), 1);
  EXPECT_EQ(err, "16abc: the scale must be 1 to 16\n");
  EXPECT_EQ(Tool({"export", TORVEX_FONT_FILE, TempName("x.png"), "0"}), 1);
  EXPECT_EQ(Tool({"export", TORVEX_FONT_FILE, TempName("x.png"), "16"}), 0);
  // The path is named once.
  EXPECT_EQ(Tool({"unpack", TORVEX_FONT_FILE, "/no such folder/x"}, nullptr, &err), 1);
  EXPECT_EQ(err, "/no such folder/x: cannot be written: No such file or directory\n");
  // What the PNG library refuses is said in its words, not as a stale system error.
  const std::string png = TempName("empty.png");
  std::string why;
  EXPECT_FALSE(WritePalettePng(png, 0, 1, {}, why));
  EXPECT_EQ(why, png + ": cannot be written: Invalid IHDR data");
  EXPECT_FALSE(std::filesystem::exists(png));
}

// A target that is a pipe or a device is written into, never replaced by a file of its own
// name (as root that would replace /dev/null); the staged writes of build refuse it.
TEST(AssetTool, PipesAndDevicesAsTargetsAreWrittenIntoAndStay) {
  const std::string pipe = TempName("out.pipe");
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  // The reading end is open already and the pipe's buffer holds the whole plain font, so the
  // tool neither waits for a reader nor for reads.
  const int reader = open(pipe.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  EXPECT_EQ(Tool({"unpack", TORVEX_FONT_FILE, pipe}), 0);
  Bytes received(65536);
  const ssize_t got = read(reader, received.data(), received.size());
  close(reader);
  received.resize(got > 0 ? static_cast<size_t>(got) : 0);
  const std::string plain = TempName("plain.zgl");
  ASSERT_EQ(Tool({"unpack", TORVEX_FONT_FILE, plain}), 0);
  EXPECT_EQ(received, ReadFile(plain));
  struct stat info {};
  ASSERT_EQ(lstat(pipe.c_str(), &info), 0);
  EXPECT_TRUE(S_ISFIFO(info.st_mode));
  // A null device of our own (making one needs root), not the system's.
  const std::string null = TempName("null");
  if (mknod(null.c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0) {
    EXPECT_EQ(Tool({"export", TORVEX_FONT_FILE, null}), 0);
    ASSERT_EQ(lstat(null.c_str(), &info), 0);
    EXPECT_TRUE(S_ISCHR(info.st_mode));
  }

  StagedFile staged;
  std::string why;
  EXPECT_FALSE(StageFile(pipe, [](std::FILE*) { return true; }, staged, why));
  EXPECT_EQ(why, pipe + ": is not a regular file and cannot be replaced");
  ASSERT_EQ(lstat(pipe.c_str(), &info), 0);
  EXPECT_TRUE(S_ISFIFO(info.st_mode));
}

// A disk that fills while a tool writes: the target keeps every byte, whether the output
// replaces the input itself or another file beside it, and no temporary file is left.
TEST(AssetTool, AFullDiskLeavesTheTargetsAsTheyWere) {
  if (geteuid() != 0) GTEST_SKIP() << "mounting a small disk needs root";
  const std::string disk = TempName("disk");
  std::filesystem::create_directories(disk);
  if (mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=256k") != 0)
    GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
  const std::string font = disk + "/TORVEX32.ZGL", other = disk + "/OTHER.ZGL";
  std::filesystem::copy_file(TORVEX_FONT_FILE, font);
  std::filesystem::copy_file(TORVEX_FONT_FILE, other);
  const Bytes original = ReadFile(font);
  // Fill the disk to its last byte.
  {
    std::ofstream filler(disk + "/filler", std::ios::binary);
    const std::vector<char> block(4096, 'x');
    while (filler.write(block.data(), block.size()) && filler.flush()) {}
  }
  for (const auto& args : std::vector<std::vector<std::string>>{
           {"unpack", font, font}, {"unpack", font, other}, {"pack", font, other},
           {"export", font, other, "4"}}) {
    std::string err;
    EXPECT_EQ(Tool(args, nullptr, &err), 1) << args[0];
    EXPECT_NE(err.find("No space left on device"), std::string::npos) << err;
    EXPECT_EQ(ReadFile(font), original) << args[0];
    EXPECT_EQ(ReadFile(other), original) << args[0];
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(disk), {}), 3) << args[0];
  }
  umount(disk.c_str());
}

std::string WriteSource(const std::string& name, const std::string& text) {
  return WriteFile(name, Bytes(text.begin(), text.end()));
}

TEST(AssetTool, BuildChecksTheArenaBudget) {
  std::string blank = "colour . 0\nglyph 155\n";
  for (int i = 0; i < 16; ++i) blank += std::string(16, '.') + "\n";
  const std::string font = WriteSource("font.txt", blank);
  auto sprites = [](int side) {
    std::string text =
        "colour x 20\nimage 0 " + std::to_string(side) + " " + std::to_string(side) + " 0 0 0 0\n";
    for (int y = 0; y < side; ++y) text += std::string(side, 'x') + "\n";
    return WriteSource("sprites.txt", text);
  };
  const std::string dir = TempName("build");
  std::filesystem::create_directories(dir);
  std::string out, err;
  // 39,936 + 40,012 + 5,144 bytes fit; 39,936 + 57,612 + 5,144 do not.
  EXPECT_EQ(Tool({"build", font, sprites(200), dir}, &out, &err), 0) << err;
  EXPECT_NE(out.find("= 85092 of 100000 bytes (14908 to spare)"), std::string::npos) << out;
  const Bytes goodFont = ReadFile(dir + "/TORVEX32.ZGL");
  const Bytes goodSprites = ReadFile(dir + "/TORVEX32.ZOR");
  EXPECT_EQ(Tool({"build", font, sprites(240), dir}, &out, &err), 1);
  EXPECT_NE(err.find("do not fit"), std::string::npos) << err;
  // The failed build keeps the files of the good one, and leaves nothing beside them.
  EXPECT_EQ(ReadFile(dir + "/TORVEX32.ZGL"), goodFont);
  EXPECT_EQ(ReadFile(dir + "/TORVEX32.ZOR"), goodSprites);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 2);
}

TEST(AssetTool, SourceErrorsNameTheLine) {
  const std::pair<std::string, std::string> cases[] = {
      {"colour . 0\nglyph 65\n" + std::string(15, '.') + "\n",
       ":3: the row has 15 characters, 16 expected"},
      {"colour . 0\n\nglyph 65 small\n........\n.......x\n", ":5: 'x' is not in the legend"},
      {"colour . 300\n", ":1: expected: colour C N"},
      {"glyph 1 big\n", ":1: expected 'small' or nothing"},
      {"colour . 0\nglyph 2 small\n........\n", ":3: the picture ends after 1 rows"},
  };
  AssetData font;
  std::string why;
  for (const auto& [text, expected] : cases) {
    EXPECT_FALSE(ParseFontSource(WriteSource("bad.txt", text), font, why));
    EXPECT_NE(why.find(expected), std::string::npos) << why;
  }
}

// ---------------------------------------------------------------------------------------
// Our data files, as the benchmark uses them.

size_t Count(const uint8_t* glyph, size_t n, uint8_t value) {
  return size_t(std::count(glyph, glyph + n, value));
}

TEST(DataFiles, FontHoldsWhatTheSceneDraws) {
  AssetData font;
  std::string why;
  ASSERT_TRUE(LoadAsset(TORVEX_FONT_FILE, font, why)) << why;
  ASSERT_GE(font.records.size(), 156u);
  auto glyph = [&](int code) { return &font.bytes[size_t(code) * 256]; };
  EXPECT_EQ(Count(glyph(32), 256, 0), 256u);
  EXPECT_EQ(Count(glyph(128), 256, 0), 256u);
  for (int code = 33; code <= 126; ++code) {
    // White is the letters' main colour, so the highlighted "EXIT" turns them yellow.
    const uint8_t* g = glyph(code);
    EXPECT_GT(Count(g, 256, 235), 256 - Count(g, 256, 0) - Count(g, 256, 235)) << code;
  }
  for (int code = 129; code <= 133; ++code) {
    EXPECT_GT(Count(glyph(code), 256, 0), 200u) << "a small star on black: " << code;
    EXPECT_LT(Count(glyph(code), 256, 0), 256u) << code;
  }
  for (const char* row : BannerRows) {
    for (const char* c = row; *c != 0; ++c) {
      if (*c == 96) continue;  // the blank
      EXPECT_LT(Count(glyph(*c + 32), 256, 0), 256u) << "banner code " << int(*c);
    }
  }
}

TEST(DataFiles, BannerRowsAreThirtyBannerCodes) {
  for (const char* row : BannerRows) {
    EXPECT_EQ(std::strlen(row), 30u) << row;
    for (const char* c = row; *c != 0; ++c) EXPECT_TRUE(*c >= 96 && *c <= 123) << row;
  }
}

TEST(DataFiles, SpriteImageZeroIsABorderBallThatFitsTheArena) {
  AssetData sprites;
  std::string why;
  ASSERT_TRUE(LoadAsset(TORVEX_SPRITE_FILE, sprites, why)) << why;
  ASSERT_GE(sprites.records.size(), 1u);
  EXPECT_LE(sprites.records.size(), 128u);
  const uint8_t* image = &sprites.bytes[sprites.records[0]];
  EXPECT_EQ(Bytes(image, image + 12), Header(32, 32, 0, 32, 0, 32));
  const uint8_t* pixels = image + 12;
  EXPECT_EQ(pixels[0] | pixels[31] | pixels[31 * 32] | pixels[32 * 32 - 1], 0)
      << "corners transparent";
  EXPECT_NE(pixels[16 * 32 + 16], 0);
  std::string out;
  const std::string dir = TempName("data");
  std::filesystem::create_directories(dir);
  ASSERT_EQ(Tool({"build", TORVEX_DATA_DIR "/font.txt", TORVEX_DATA_DIR "/sprites.txt", dir}, &out),
            0);
  EXPECT_NE(out.find("arena budget"), std::string::npos);
}

}  // namespace
