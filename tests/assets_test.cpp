// assets_test.cpp — the font and sprite loaders on hand-built files and against the reference
// decoder.
#include "assets/assets.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>

#include <sys/stat.h>

#include "tests/asset_files.h"
#include "tests/fuzz/fuzz_harness.h"

namespace {

// The reference decoder's file, removed when the tests end.
class FuzzFile : public testing::Environment {
 public:
  void TearDown() override { std::remove(FuzzFilePath().c_str()); }
};
testing::Environment* const FuzzFileCleanup = testing::AddGlobalTestEnvironment(new FuzzFile);

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

}  // namespace
