// palette_test.cpp — the colour table, the FrameBuffer's colour table and the order of the
// platform calls that create, present and release the FrameBuffer.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "frame/frame.h"
#include "tests/double/double.h"

namespace {

using Lines = std::vector<std::string>;

struct Rgb {
  int red, green, blue;
};
Rgb ColourOf(int i) { return {FrameColours[i].red, FrameColours[i].green, FrameColours[i].blue}; }
bool operator==(Rgb a, Rgb b) { return a.red == b.red && a.green == b.green && a.blue == b.blue; }

class PaletteTest : public testing::Test {
 protected:
  void SetUp() override { Double::Reset(); }
  void TearDown() override { DestroyFrameBuffer(); }
};

TEST_F(PaletteTest, ColourTableHoldsCubeBlackRangesStaticColoursAndFlags) {
  CreateFrameBuffer();
  EXPECT_TRUE((ColourOf(20) == Rgb{0, 0, 0}));
  EXPECT_TRUE((ColourOf(21) == Rgb{0, 0, 51}));
  EXPECT_TRUE((ColourOf(26) == Rgb{0, 51, 0}));
  EXPECT_TRUE((ColourOf(56) == Rgb{51, 0, 0}));
  EXPECT_TRUE((ColourOf(230) == Rgb{255, 255, 0}));
  EXPECT_TRUE((ColourOf(235) == Rgb{255, 255, 255}));
  // Static colours come from the display; its flags are never taken over.
  EXPECT_TRUE((ColourOf(1) == Rgb{128, 0, 0}));
  EXPECT_TRUE((ColourOf(9) == Rgb{166, 202, 240}));
  EXPECT_TRUE((ColourOf(246) == Rgb{255, 251, 240}));
  EXPECT_TRUE((ColourOf(255) == Rgb{255, 255, 255}));
  for (int i = 0; i < 256; ++i) {
    bool reserved = i >= 10 && i <= 245;
    EXPECT_EQ(FrameColours[i].flags, reserved ? PC_RESERVED : 0) << i;
    if ((i >= 10 && i <= 19) || (i >= 236 && i <= 245)) {
      EXPECT_TRUE((ColourOf(i) == Rgb{0, 0, 0})) << i;
    }
  }
}

TEST_F(PaletteTest, DisplayWithoutSystemPaletteLeavesStaticEntriesBlack) {
  CreateFrameBuffer();  // a run with static colours first: none of them may linger
  DestroyFrameBuffer();
  Double::SystemPaletteCount = 0;
  CreateFrameBuffer();
  for (int i : {0, 1, 7, 9, 246, 250, 255}) {
    EXPECT_TRUE((ColourOf(i) == Rgb{0, 0, 0})) << i;
    EXPECT_EQ(FrameColours[i].flags, 0) << i;
  }
  EXPECT_TRUE((ColourOf(56) == Rgb{51, 0, 0}));
}

TEST_F(PaletteTest, BitmapColourTableIsBlueGreenRedOfEveryEntry) {
  CreateFrameBuffer();
  ASSERT_EQ(Double::BitmapColours.size(), 256u);
  const ColourQuad& quad = Double::BitmapColours[56];
  EXPECT_EQ(quad.blue, 0);
  EXPECT_EQ(quad.green, 0);
  EXPECT_EQ(quad.red, 51);
  EXPECT_EQ(quad.reserved, 0);
  for (int i = 0; i < 256; ++i) {
    const ColourQuad& q = Double::BitmapColours[i];
    EXPECT_TRUE((Rgb{q.red, q.green, q.blue} == ColourOf(i)) && q.reserved == 0) << i;
  }
  EXPECT_EQ(FrameBuffer, Double::BitmapPixels);
}

TEST_F(PaletteTest, CreateAndDestroyCallThePlatformInOrder) {
  CreateFrameBuffer();
  EXPECT_EQ(Double::Calls,
            (Lines{"GetScreenContext", "GetSystemPaletteEntries 0 10",
                   "GetSystemPaletteEntries 246 10", "ReleaseContext screen",
                   "CreatePalette 256 0/0/0/0", "CreatePalette 256 0/0/0/0", "CreateMemoryContext",
                   "CreateBitmapSection 516 384 8", "SelectPalette", "RealizePalette",
                   "SelectBitmap frame"}));
  Double::Calls.clear();
  DestroyFrameBuffer();
  EXPECT_EQ(Double::Calls, (Lines{"SelectBitmap old", "SelectPalette", "DeleteBitmap",
                                  "DeletePalette", "DeleteMemoryContext", "DeletePalette"}));
  EXPECT_EQ(FrameBuffer, nullptr);
  EXPECT_EQ(FrameDC, nullptr);
  // A second release finds nothing left to release.
  Double::Calls.clear();
  DestroyFrameBuffer();
  EXPECT_TRUE(Double::Calls.empty());
}

TEST_F(PaletteTest, CopyToWindowRealisesThenCopiesFromTheShiftedColumn) {
  CreateFrameBuffer();
  Double::Calls.clear();
  ViewportShift = 3;
  CopyToWindow(GetWindowContext(nullptr));
  EXPECT_EQ(Double::Calls, (Lines{"GetWindowContext", "SelectPalette", "RealizePalette",
                                  "BlockCopy 0 0 512 384 from 3 0"}));
  ViewportShift = 0;
}

TEST_F(PaletteTest, ResetSystemPaletteRealisesBlackNoCollapseEntriesOnce) {
  ResetSystemPalette();
  EXPECT_EQ(Double::Calls,
            (Lines{"GetScreenContext", "CreatePalette 256 0/0/0/4", "SelectPalette",
                   "RealizePalette", "SelectPalette", "DeletePalette", "ReleaseContext screen"}));
}

}  // namespace
