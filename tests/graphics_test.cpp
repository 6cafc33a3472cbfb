// graphics_test.cpp — the graphics engine against its definitions: tiles and text, the sprite
// table, text images, and whole composed frames compared pixel by pixel with a model of what
// the window must show.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "graphics/graphics.h"
#include "tests/double/double.h"

// The window handle belongs to the start-up code, which these tests do not link.
WindowHandle MainWindow = nullptr;

namespace {

// Glyph n, pixel (column c, row r): distinct per glyph and never 0 except in glyph 0.
uint8_t GlyphPixel(int n, int r, int c) { return n == 0 ? 0 : static_cast<uint8_t>(n + r * 16 + c) | 1; }

std::vector<uint8_t> MakeGlyphs() {
  std::vector<uint8_t> glyphs(256 * 256);
  for (int n = 0; n < 256; ++n)
    for (int i = 0; i < 256; ++i) glyphs[n * 256 + i] = GlyphPixel(n, i / 16, i % 16);
  return glyphs;
}

// A sprite image: 12-byte header and width*height pixels (when both are positive).
std::vector<uint8_t> MakeImage(int w, int h, int hl, int hr, int ht, int hb, uint8_t fill) {
  size_t count = w > 0 && h > 0 ? static_cast<size_t>(w) * h : 0;
  std::vector<uint8_t> image(12 + count, fill);
  int fields[6] = {w, h, hl, hr, ht, hb};
  for (int i = 0; i < 6; ++i) {
    image[2 * i] = static_cast<uint8_t>(fields[i]);
    image[2 * i + 1] = static_cast<uint8_t>(fields[i] >> 8);
  }
  return image;
}

uint8_t& FramePixel(int column, int row) { return FrameBuffer[(383 - row) * 516 + column]; }
uint8_t& FieldPixel(int x, int y) { return Playfield[y * 1024 + x]; }

class GraphicsTest : public testing::Test {
 protected:
  void SetUp() override {
    Double::Reset();
    CreateFrameBuffer();
    AllocPlayfield();
    ClearPlayfield();
  }
  void TearDown() override {
    FreePlayfield();
    DestroyFrameBuffer();
  }
  // Every Playfield pixel distinct enough to tell columns and rows apart.
  void FillPlayfield() {
    for (int y = 0; y < 1024; ++y)
      for (int x = 0; x < 1024; ++x) FieldPixel(x, y) = static_cast<uint8_t>(x * 7 + y * 13 + (x >> 8) * 3);
  }
  // The FrameBuffer as the definitions say it must be: all 516 columns from the Playfield at
  // the aligned-down origin, then the window pixels of every visible slot that are not 0.
  void ExpectFrameMatchesDefinition(const std::string& what) {
    int x = ScrollOrigin.x, y = ScrollOrigin.y, shift = x % 4;
    ASSERT_EQ(ViewportShift, shift) << what;
    ASSERT_EQ(SpriteOrigin, FrameTopRow + shift) << what;
    std::vector<uint8_t> expected(516 * 384);
    for (int r = 0; r < 384; ++r)
      for (int j = 0; j < 516; ++j) expected[r * 516 + j] = FieldPixel((x - shift + j) % 1024, (y + r) % 1024);
    for (int s = 0; s < 256; ++s) {
      const SpriteSlot& slot = SpriteTable[s];
      if ((slot.flags & SlotVisible) == 0) continue;
      for (int Y = 0; Y < 384; ++Y) {
        if (Y < slot.y || Y >= slot.y + slot.height) continue;
        for (int X = 0; X < 512; ++X) {
          if (X < slot.x || X >= slot.x + slot.width) continue;
          uint8_t p = slot.pixels[(Y - slot.y) * slot.width + (X - slot.x)];
          if (p != 0) expected[Y * 516 + shift + X] = p;
        }
      }
    }
    for (int r = 0; r < 384; ++r)
      for (int j = 0; j < 516; ++j)
        if (FramePixel(j, r) != expected[r * 516 + j])
          FAIL() << what << ": column " << j << " row " << r;
  }
  std::vector<uint8_t> glyphs = MakeGlyphs();
};

TEST_F(GraphicsTest, AllocatedBlockIsZeroAndFrameTopRowIsTheLastRowInMemory) {
  EXPECT_TRUE(Double::Called("AllocZeroed 1060864"));
  EXPECT_EQ(reinterpret_cast<uint8_t*>(SpriteTable), Playfield + 1048576);
  EXPECT_EQ(TileMap, Playfield + 1048576 + 8192);
  EXPECT_EQ(FrameTopRow, FrameBuffer + 197628);
  EXPECT_EQ(SpriteOrigin, FrameTopRow);
  EXPECT_EQ(ViewportShift, 0);
  std::vector<uint8_t> zero(PlayfieldBlockBytes, 0);
  EXPECT_EQ(memcmp(Playfield, zero.data(), zero.size()), 0);
}

TEST_F(GraphicsTest, FailedAllocationLeavesRegionsNullAndCompositionHarmless) {
  FreePlayfield();
  Double::AllocFails = true;
  AllocPlayfield();
  EXPECT_EQ(Playfield, nullptr);
  EXPECT_EQ(SpriteTable, nullptr);
  EXPECT_EQ(TileMap, nullptr);
  ClearPlayfield();
  CopyViewport();
  DrawSprites();
}

TEST_F(GraphicsTest, PutTileReducesTileAndKeepsCode) {
  PutTile(64, 65, 129, glyphs.data());
  EXPECT_EQ(TileMap[64], 129);
  for (int r = 0; r < 16; ++r)
    for (int c = 0; c < 16; ++c) ASSERT_EQ(FieldPixel(c, 16 + r), GlyphPixel(129, r, c));
  // Tiles are opaque: glyph 0's zero pixels replace what was there.
  PutTile(0, 1, 0, glyphs.data());
  EXPECT_EQ(FieldPixel(5, 20), 0);
  EXPECT_EQ(TileMap[64], 0);
}

TEST_F(GraphicsTest, WriteTextWrapsAtColumn64AndUsesTheGivenBase) {
  TextCursor = {62, 5};
  WriteText("ABCD", glyphs.data());
  EXPECT_EQ(TextCursor.column, 2);
  EXPECT_EQ(TextCursor.row, 5);
  const int columns[4] = {62, 63, 0, 1};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(TileMap[5 * 64 + columns[i]], 'A' + i);
    EXPECT_EQ(FieldPixel(columns[i] * 16 + 3, 80 + 2), GlyphPixel('A' + i, 2, 3));
  }
  WriteText("", glyphs.data());
  EXPECT_EQ(TextCursor.column, 2);
  TextCursor = {10, 0};
  WriteText("ab", glyphs.data() + 8192);
  EXPECT_EQ(TileMap[10], 97);
  EXPECT_EQ(FieldPixel(160, 0), GlyphPixel(129, 0, 0));
  EXPECT_EQ(FieldPixel(176 + 15, 15), GlyphPixel(130, 15, 15));
}

TEST_F(GraphicsTest, ClearPlayfieldFreesSlotsAndKeepsCompositionState) {
  auto image = MakeImage(8, 8, 0, 8, 0, 8, 1);
  AttachImage(4, image.data());
  ShowSprites(0, 255);
  ScrollOrigin = {6, 7};
  TextCursor = {3, 4};
  CopyViewport();
  ClearPlayfield();
  EXPECT_EQ(SpriteTable[4].flags, 0);
  EXPECT_EQ(ScrollOrigin.x + ScrollOrigin.y + TextCursor.column + TextCursor.row, 0);
  EXPECT_EQ(ViewportShift, 2);
  EXPECT_EQ(SpriteOrigin, FrameTopRow + 2);
}

TEST_F(GraphicsTest, SlotNumbersAreReducedAndOnlySlotsInUseChange) {
  auto image = MakeImage(32, 16, 1, 2, 3, 4, 9);
  AttachImage(300, image.data());
  EXPECT_EQ(SpriteTable[44].flags, SlotAttached);
  EXPECT_EQ(SpriteTable[44].pixels, image.data() + 12);
  EXPECT_EQ(SpriteTable[44].hitBottom, 4);
  PlaceSprite(7, 10, 10);  // free
  EXPECT_EQ(SpriteTable[7].x, 0);
  AttachImage(3, image.data());
  PlaceSprite(3, 32767, 5);
  MoveSprites(5, 3, 1, 1);
  EXPECT_EQ(SpriteTable[3].y, 5);
  MoveSprites(3, 3, 1, 1);
  EXPECT_EQ(SpriteTable[3].x, -32768);
  EXPECT_EQ(SpriteTable[3].y, 6);
  MoveSprites(0, 255, 2, 2);
  EXPECT_EQ(SpriteTable[4].x, 0);  // free slots keep position 0
  ShowSprites(0, 50);
  EXPECT_EQ(SpriteTable[3].flags, SlotAttached | SlotVisible);
  EXPECT_EQ(SpriteTable[4].flags, 0);
  AttachImage(3, image.data());  // attaching again keeps the slot visible
  EXPECT_EQ(SpriteTable[3].flags, SlotAttached | SlotVisible);
}

TEST_F(GraphicsTest, HitTestEdgesOrderAndVisibility) {
  auto box = MakeImage(64, 16, 0, 64, 0, 16, 1);
  auto none = MakeImage(8, 8, 0, 0, 0, 0, 1);
  AttachImage(3, box.data());
  PlaceSprite(3, 100, 50);
  AttachImage(7, box.data());
  PlaceSprite(7, 100, 50);
  AttachImage(9, none.data());
  PlaceSprite(9, 300, 300);
  AttachImage(10, box.data());  // attached, never shown
  PlaceSprite(10, 0, 0);
  ShowSprites(0, 9);
  EXPECT_EQ(HitTest(100, 50, 1, 1, 0, 255), 3);
  EXPECT_EQ(HitTest(163, 65, 1, 1, 0, 255), 3);
  EXPECT_EQ(HitTest(164, 50, 1, 1, 0, 255), -1);
  EXPECT_EQ(HitTest(99, 50, 1, 1, 0, 255), -1);
  EXPECT_EQ(HitTest(100, 66, 1, 1, 0, 255), -1);
  EXPECT_EQ(HitTest(100, 50, 1, 1, 4, 255), 7);
  EXPECT_EQ(HitTest(100, 50, 1, 1, 7, 3), -1);
  EXPECT_EQ(HitTest(100 + 65536, 50, 1, 1, 0, 255), 3);  // query edges are 16-bit
  EXPECT_EQ(HitTest(300, 300, 1, 1, 0, 255), -1);
  EXPECT_EQ(HitTest(299, 299, 3, 3, 0, 255), 9);
  EXPECT_EQ(HitTest(5, 5, 1, 1, 0, 255), -1);
}

TEST_F(GraphicsTest, TextSpriteLayoutAndArenaAdvance) {
  std::vector<uint8_t> arena(4096, 0xEE);
  uint8_t* cursor = arena.data();
  uint8_t* image = nullptr;
  MakeTextSprite(&image, cursor, "EXIT", glyphs.data(), 1);
  EXPECT_EQ(image, arena.data());
  EXPECT_EQ(cursor, arena.data() + 12 + 4 * 256);
  const uint8_t header[12] = {64, 0, 16, 0, 0, 0, 64, 0, 0, 0, 16, 0};
  EXPECT_EQ(memcmp(image, header, 12), 0);
  for (int i = 0; i < 4; ++i)
    EXPECT_EQ(image[12 + 15 * 64 + i * 16 + 15], GlyphPixel("EXIT"[i], 15, 15));
  MakeTextSprite(&image, cursor, "AB", glyphs.data(), 0);
  EXPECT_EQ(image, arena.data() + 1036);
  EXPECT_EQ(image[6] | image[10], 0);
  MakeTextSprite(&image, cursor, "", glyphs.data(), 1);
  EXPECT_EQ(cursor, image + 12);
  EXPECT_EQ(image[0] | image[1], 0);
  EXPECT_EQ(image[2], 16);
}

TEST_F(GraphicsTest, DrawTextInImageDrawsOnlyWholeGlyphs) {
  auto image = MakeImage(256, 16, 0, 0, 0, 0, 0xEE);
  uint8_t* pixels = image.data() + 12;
  DrawTextInImage(image.data(), 0, -1, "A", glyphs.data());
  DrawTextInImage(image.data(), 0, 1, "A", glyphs.data());
  EXPECT_EQ(std::count(pixels, pixels + 4096, 0xEE), 4096);
  DrawTextInImage(image.data(), 0, 0, "ABCDEFGHIJKLMNOPQ", glyphs.data());
  EXPECT_EQ(pixels[15 * 256 + 255], GlyphPixel('P', 15, 15));
  std::fill(pixels, pixels + 4096, 0xEE);
  DrawTextInImage(image.data(), -8, 0, "AB", glyphs.data());
  EXPECT_EQ(pixels[7], 0xEE);
  EXPECT_EQ(pixels[8], GlyphPixel('B', 0, 0));
  EXPECT_EQ(pixels[15 * 256 + 23], GlyphPixel('B', 15, 15));
  EXPECT_EQ(pixels[24], 0xEE);
}

TEST_F(GraphicsTest, RecolourImageChangesEveryPixelThroughTheTable) {
  auto image = MakeImage(4, 2, 0, 0, 0, 0, 230);
  image[12] = 7;
  uint8_t table[256];
  MakeIdentityTable(table);
  RecolourImage(image.data(), table);
  EXPECT_EQ(image[12], 7);
  table[230] = 235;
  RecolourImage(image.data(), table);
  EXPECT_EQ(image[12], 7);
  EXPECT_EQ(std::count(image.begin() + 13, image.end(), 235), 7);
}

TEST_F(GraphicsTest, CopyViewportMatchesTheDefinitionAtEveryWrapBoundary) {
  FillPlayfield();
  const int origins[][2] = {{0, 0},     {5, 0},    {508, 0},   {511, 0},   {512, 0},
                            {1023, 0},  {0, 640},  {0, 641},   {0, 1023},  {508, 640},
                            {512, 641}, {1020, 700}, {3, 383},  {1023, 1023}};
  for (auto& origin : origins) {
    ScrollOrigin = {origin[0], origin[1]};
    CopyViewport();
    ExpectFrameMatchesDefinition(std::to_string(origin[0]) + "," + std::to_string(origin[1]));
  }
  // (1023, 1023): screen row 0 is Playfield row 1023 from column 1020; row 1 is row 0.
  EXPECT_EQ(FramePixel(0, 0), FieldPixel(1020, 1023));
  EXPECT_EQ(FramePixel(4, 1), FieldPixel(0, 0));
}

TEST_F(GraphicsTest, SpritesClipAtEveryEdge) {
  FillPlayfield();
  auto image = MakeImage(32, 16, 0, 0, 0, 0, 0);
  for (int i = 0; i < 512; ++i) image[12 + i] = static_cast<uint8_t>(i % 32 + 16 * (i / 32) + 1);
  AttachImage(1, image.data());
  ShowSprites(1, 1);
  const int places[][2] = {{-10, 0}, {500, 0}, {512, 0}, {-32, 0}, {0, 380}, {0, -15},
                           {-31, -15}, {511, 383}, {480, 368}, {-10, 380}};
  for (int shift : {0, 2, 3}) {
    for (auto& place : places) {
      ScrollOrigin = {shift + 100, 200};
      PlaceSprite(1, place[0], place[1]);
      CopyViewport();
      DrawSprites();
      ExpectFrameMatchesDefinition(std::to_string(place[0]) + "," + std::to_string(place[1]));
    }
  }
  ScrollOrigin = {2, 0};
  PlaceSprite(1, -10, 0);
  CopyViewport();
  DrawSprites();
  EXPECT_EQ(FramePixel(2, 0), image[12 + 10]);  // window column 0 shows image column 10
}

TEST_F(GraphicsTest, ZeroIsTransparentAndHigherSlotsCoverLowerOnes) {
  auto low = MakeImage(8, 8, 0, 0, 0, 0, 11);
  auto high = MakeImage(8, 8, 0, 0, 0, 0, 22);
  high[12] = 0;
  auto top = MakeImage(2, 1, 0, 0, 0, 0, 33);
  AttachImage(255, top.data());
  AttachImage(9, high.data());
  AttachImage(2, low.data());
  AttachImage(50, low.data());  // attached but not shown
  PlaceSprite(255, 7, 0);
  ShowSprites(0, 49);
  ShowSprites(255, 255);
  CopyViewport();
  DrawSprites();
  EXPECT_EQ(FramePixel(0, 0), 11);
  EXPECT_EQ(FramePixel(1, 0), 22);
  EXPECT_EQ(FramePixel(7, 0), 33);
  EXPECT_EQ(FramePixel(8, 0), 33);
  EXPECT_EQ(FramePixel(8, 1), 0);  // Playfield
}

// Random origins and sprite sets, oversized and negative sizes among them, against the
// definition of the window's picture; writes outside the FrameBuffer trip the sanitizer.
TEST_F(GraphicsTest, RandomFramesMatchTheDefinition) {
  FillPlayfield();
  std::mt19937 random(12345);
  auto pick = [&](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };
  std::vector<std::vector<uint8_t>> images;
  for (int i = 0; i < 12; ++i) {
    bool huge = i % 3 == 0;
    int w = huge ? pick(400, 1200) : pick(-4, 64), h = huge ? pick(300, 900) : pick(-4, 48);
    images.push_back(MakeImage(w, h, 0, 0, 0, 0, 0));
    for (size_t p = 12; p < images.back().size(); ++p)
      images.back()[p] = pick(0, 2) == 0 ? 0 : static_cast<uint8_t>(pick(1, 255));
  }
  for (int frame = 0; frame < 60; ++frame) {
    ClearPlayfield();
    FillPlayfield();
    for (int n = pick(0, 8); n > 0; --n) {
      int slot = pick(0, 255);
      AttachImage(slot, images[pick(0, 11)].data());
      PlaceSprite(slot, pick(-1300, 1300), pick(-1000, 1000));
      if (pick(0, 5) != 0) ShowSprites(slot, slot);
    }
    ScrollOrigin = {pick(0, 1023), pick(0, 1023)};
    CopyViewport();
    DrawSprites();
    ExpectFrameMatchesDefinition("frame " + std::to_string(frame));
  }
}

TEST_F(GraphicsTest, PresentFrameComposesThenCopiesThroughAWindowContext) {
  FillPlayfield();
  ScrollOrigin = {7, 9};
  char window = 0;
  MainWindow = reinterpret_cast<WindowHandle>(&window);
  Double::Calls.clear();
  PresentFrame();
  ExpectFrameMatchesDefinition("present");
  EXPECT_EQ(Double::Calls,
            (std::vector<std::string>{"GetWindowContext", "SelectPalette", "RealizePalette",
                                      "BlockCopy 0 0 512 384 from 3 0", "ReleaseContext window"}));
  MainWindow = nullptr;
}

}  // namespace
