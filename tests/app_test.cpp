// app_test.cpp — the benchmark's hooks on the recording double: scene set-up, scrolling and
// turns, the swing and its effect, the rate, pauses, the "EXIT" button and the failure boxes.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "app/app.h"
#include "assets/assets.h"
#include "graphics/graphics.h"
#include "sound/sound.h"
#include "tests/double/double.h"

namespace {

namespace fs = std::filesystem;

// A plain font of 256 glyphs: glyph g is filled with colour 20 + g % 216, except that its
// pixel (0, 0) is 235 (white) so that recolouring can be seen, and glyph 32 (space) is black.
std::vector<uint8_t> FontFile() {
  std::vector<uint8_t> file = {'Z', 'G', 'L', '0'};
  for (int g = 0; g < 256; ++g) {
    for (int i = 0; i < 256; ++i) {
      uint8_t value = static_cast<uint8_t>(20 + g % 216);
      if (g == 32) value = 0;
      if (i == 0 && g != 32) value = 235;
      file.push_back(value);
    }
  }
  return file;
}

// A plain sprite file with one 32 by 32 image of colour 100 with a transparent corner.
std::vector<uint8_t> SpriteFile() {
  std::vector<uint8_t> file = {'Z', 'O', 'R', '0', 32, 0, 32, 0, 0, 0, 32, 0, 0, 0, 32, 0};
  for (int i = 0; i < 32 * 32; ++i) file.push_back(i == 0 ? 0 : 100);
  return file;
}

void WriteFile(const fs::path& path, const std::vector<uint8_t>& bytes) {
  FILE* file = fopen(path.string().c_str(), "wb");
  ASSERT_NE(file, nullptr);
  fwrite(bytes.data(), 1, bytes.size(), file);
  fclose(file);
}

class AppTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Double::Reset();
    ResetApplicationState();
    dir = fs::temp_directory_path() / ("torvex-app-test-" + std::to_string(getpid()));
    fs::create_directories(dir);
    WriteFile(dir / "TORVEX32.ZGL", FontFile());
    WriteFile(dir / "TORVEX32.ZOR", SpriteFile());
    program = (dir / "torvex32").string();
    CreateFrameBuffer();
    AllocPlayfield();
  }

  void TearDown() override {
    Effect.Close();
    Music.Close();
    if (AssetArena != nullptr) OnEnd();
    FreePlayfield();
    DestroyFrameBuffer();
    fs::remove_all(dir);
  }

  static void ResetApplicationState() {
    memset(ProgramDir, 0, sizeof ProgramDir);
    memset(ImageTable, 0, sizeof ImageTable);
    AssetArena = nullptr;
    SceneReady = ExitHighlighted = 0;
    ScrollDirX = ScrollDirY = ScrollAccX = ScrollAccY = 0;
    VerticalSwing = HorizontalSwing = 0;
    FrameCount = StartTime = PauseStart = PausedTotal = 0;
    TimerValue = TimerReads = 0;
    TimerLastRead = 0;
    strcpy(ShownText, "Wait a Minute !!");
    RunLimit = {};
    SeedFixed = 1;
    SeedValue = 7;
    MusicNowPlaying = {};
    EffectNowPlaying = {};
  }

  // Configures and starts the benchmark as the framework does, at timer value `clock`.
  void Start(uint32_t clock = 1000) {
    Double::Clock = clock;
    char* argv[] = {program.data(), nullptr};
    OnConfigure(1, argv);
    OnResume();  // the first resume comes while the window is shown, before OnStart
    OnStart();
  }

  // The message sprite's pixel at (x, y).
  uint8_t MessagePixel(int x, int y) { return ImageTable[129][12 + y * 256 + x]; }

  fs::path dir;
  std::string program;
};

TEST_F(AppTest, ConfigureSetsTheFrameworkAndTheProgramDirectory) {
  char* argv[] = {program.data(), nullptr};
  OnConfigure(1, argv);
  EXPECT_STREQ(AppName, "TORVEX32 version 3.0");
  EXPECT_STREQ(IconName, "AppIcon");
  EXPECT_EQ(TickInterval, 0);
  const std::string separator(1, PathSeparator);
  EXPECT_EQ(std::string(ProgramDir), dir.string() + separator);
  EXPECT_EQ(std::string(IniPath), "/config/torvex32" + separator + "TORVEX32.INI");

  // A bare program name leaves the directory empty; a directory ending in its separator
  // gets no second one.
  char bare[] = "torvex32";
  char* argv2[] = {bare, nullptr};
  Double::WindowsDirectory = separator;
  OnConfigure(1, argv2);
  EXPECT_STREQ(ProgramDir, "");
  EXPECT_EQ(std::string(IniPath), separator + "TORVEX32.INI");
  // A folder too long for the 128 characters asked for: no position is kept, and it is said.
  Double::WindowsDirectory = separator + std::string(127, 'c');
  testing::internal::CaptureStderr();
  OnConfigure(1, argv2);
  EXPECT_STREQ(IniPath, "");
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "TORVEX32 version 3.0: the configuration folder's path has 128 characters, more than "
            "127: the window's position is not remembered\n");
}

TEST_F(AppTest, StartBuildsTheSceneAndLoopsTheTune) {
  Start();
  ASSERT_EQ(SceneReady, 1);
  // Title blocks in all four quarters, over the stars: banner, title and prompt.
  for (int ox : {0, 32})
    for (int oy : {0, 32}) {
      for (int k = 1; k <= 7; ++k)
        for (int c = 0; c < 30; ++c)
          ASSERT_EQ(TileMap[(oy + 2 + k) * 64 + ox + 1 + c],
                    static_cast<uint8_t>(BannerRows[k - 1][c]));
      EXPECT_EQ(0, memcmp(&TileMap[(oy + 12) * 64 + ox + 5], "ZOR32 Performance Test", 22));
      EXPECT_EQ(0, memcmp(&TileMap[(oy + 17) * 64 + ox + 5], "Push [P] Key to Pause", 21));
    }
  // Banner code n shows glyph n + 32: its top-left pixel is white, the rest its fill colour.
  int code = static_cast<uint8_t>(BannerRows[0][0]);
  EXPECT_EQ(Playfield[(16 * 3) * 1024 + 16 * 1 + 1], 20 + (code + 32) % 216);

  // Sixteen visible slots where the layout puts them, slots 14..253 free.
  int xs[14] = {16, 144, 272, 400, 80, 208, 336, 464, 0, 0, 0, 480, 480, 480};
  int ys[14] = {0, 0, 0, 0, 352, 352, 352, 352, 16, 144, 272, 80, 208, 336};
  for (int s = 0; s < 14; ++s) {
    EXPECT_EQ(SpriteTable[s].flags, SlotVisible | SlotAttached);
    EXPECT_EQ(SpriteTable[s].x, xs[s]);
    EXPECT_EQ(SpriteTable[s].y, ys[s]);
    EXPECT_EQ(SpriteTable[s].pixels, ImageTable[0] + 12);
  }
  for (int s = 14; s < 254; ++s) EXPECT_EQ(SpriteTable[s].flags, 0);
  EXPECT_EQ(SpriteTable[254].x, 128);
  EXPECT_EQ(SpriteTable[254].width, 256);
  EXPECT_EQ(SpriteTable[255].x, 224);
  EXPECT_EQ(SpriteTable[255].y, 320);
  EXPECT_EQ(SpriteTable[255].width, 64);
  // The arena holds the font, the sprite and the two text sprites back to back.
  EXPECT_EQ(ImageTable[0], AssetArena + 256 * 256);
  EXPECT_EQ(ImageTable[128], ImageTable[0] + 12 + 32 * 32);
  EXPECT_EQ(ImageTable[129], ImageTable[128] + 12 + 64 * 16);
  EXPECT_TRUE(ScrollDirX != 0 || ScrollDirY != 0);
  EXPECT_EQ(MusicNowPlaying.mode, 2u);
  EXPECT_TRUE(Double::Called("SetCurrentCursor app"));
}

TEST_F(AppTest, StarsAreTheGeneratorsDrawsAndTheDirectionFollows) {
  Start();
  // Replay the generator: 256 stars of three draws each, then the direction.
  srand(7);
  std::vector<int> star(64 * 64, -1);
  for (int i = 0; i < 256; ++i) {
    int r1 = rand(), r2 = rand(), r3 = rand();
    star[(r2 % 64) * 64 + r1 % 64] = 129 + r3 % 5;
  }
  int dx, dy;
  do {
    dx = rand() % 3 - 1;
    dy = rand() % 3 - 1;
  } while (dx == 0 && dy == 0);
  EXPECT_EQ(ScrollDirX, dx);
  EXPECT_EQ(ScrollDirY, dy);
  int checked = 0;
  for (int row = 0; row < 64; ++row)
    for (int column = 0; column < 64; ++column) {
      int r = row % 32;
      int c = column % 32;
      bool underText = (r >= 3 && r <= 9 && c >= 1 && c <= 30) ||
                       (r == 12 && c >= 5 && c <= 26) || (r == 17 && c >= 5 && c <= 25);
      if (star[row * 64 + column] < 0 || underText) continue;
      EXPECT_EQ(TileMap[row * 64 + column], star[row * 64 + column]);
      ++checked;
    }
  EXPECT_GT(checked, 150);
}

TEST_F(AppTest, ScrollOriginFollowsTheDirectionAndTurnsEvery512Ticks) {
  Start();
  ScrollDirX = 1;
  ScrollDirY = 0;
  for (int t = 1; t <= 511; ++t) {
    OnTick();
    ASSERT_EQ(ScrollOrigin.x, t);
    ASSERT_EQ(ScrollOrigin.y, 0);
    ASSERT_EQ(ScrollDirX, 1);
  }
  // Tick 512 draws a new direction from the generator.
  srand(99);
  int dx, dy;
  do {
    dx = rand() % 3 - 1;
    dy = rand() % 3 - 1;
  } while (dx == 0 && dy == 0);
  srand(99);
  OnTick();
  EXPECT_EQ(ScrollOrigin.x, 512);
  EXPECT_EQ(ScrollDirX, dx);
  EXPECT_EQ(ScrollDirY, dy);

  // (-1, -1): the first tick shows (1023, 1023); the turn comes when both reach -512.
  ScrollAccX = ScrollAccY = 0;
  ScrollDirX = ScrollDirY = -1;
  OnTick();
  EXPECT_EQ(ScrollOrigin.x, 1023);
  EXPECT_EQ(ScrollOrigin.y, 1023);
  for (int t = 2; t < 512; ++t) OnTick();
  EXPECT_EQ(ScrollDirX, -1);
  EXPECT_EQ(ScrollDirY, -1);
  srand(5);
  OnTick();
  EXPECT_EQ(ScrollAccX, -512);
  EXPECT_EQ(ScrollOrigin.x, 512);

  // Never (0, 0), whatever the generator gives.
  for (unsigned seed = 0; seed < 2000; ++seed) {
    srand(seed);
    ChooseScrollDirection();
    ASSERT_FALSE(ScrollDirX == 0 && ScrollDirY == 0);
    ASSERT_TRUE(ScrollDirX >= -1 && ScrollDirX <= 1 && ScrollDirY >= -1 && ScrollDirY <= 1);
  }
}

TEST_F(AppTest, BorderSpritesSwingAndTheEffectSoundsOncePerTurn) {
  Start();
  std::vector<int> turns;
  int stops = 0;
  const std::string effectDevice = "SendMediaCommand " + std::to_string(Effect.deviceId) + " ";
  for (int t = 1; t <= 2640; ++t) {
    Double::Calls.clear();
    OnTick();
    for (const std::string& line : Double::Calls) {
      if (line.rfind(effectDevice + "0x806 ", 0) == 0) turns.push_back(t);
      if (line.rfind(effectDevice + "0x808 ", 0) == 0) ++stops;
    }
    if (t == 176) {
      EXPECT_EQ(SpriteTable[0].y, 352);
      EXPECT_EQ(SpriteTable[4].y, 0);
    }
    if (t == 240) {
      EXPECT_EQ(SpriteTable[8].x, 480);
      EXPECT_EQ(SpriteTable[11].x, 0);
    }
    if (t == 352) {
      EXPECT_EQ(SpriteTable[0].y, 0);
      EXPECT_EQ(SpriteTable[7].y, 352);
    }
    if (t == 480) {
      EXPECT_EQ(SpriteTable[10].x, 0);
    }
  }
  // Rows turn every 176 ticks, columns every 240; on 2640 both turn and one effect plays.
  std::vector<int> expected;
  for (int t = 1; t <= 2640; ++t)
    if (t % 176 == 0 || t % 240 == 0) expected.push_back(t);
  EXPECT_EQ(turns, expected);
  EXPECT_EQ(turns.back(), 2640);
  // A still playing effect is stopped before it starts again.
  EXPECT_EQ(stops, static_cast<int>(expected.size()) - 1);
}

TEST_F(AppTest, RateAppearsAfterThreeSecondsOfRunningTime) {
  Start(1000);
  Double::Clock = 4000;  // exactly 3000 ms: still waiting
  OnTick();
  EXPECT_STREQ(ShownText, "Wait a Minute !!");
  Double::Clock = 4001;  // 50 frames at 3001 ms: 500 / 3
  FrameCount = 49;
  OnTick();
  EXPECT_STREQ(ShownText, " 166frames/10sec");
  // The message sprite shows the glyphs of the text: " " then "1".
  EXPECT_EQ(MessagePixel(1, 1), 0);
  EXPECT_EQ(MessagePixel(16 + 1, 1), 20 + '1' % 216);
  FrameCount = 999;
  Double::Clock = 5500;  // 1000 frames at 4500 ms: 10000 / 4
  OnTick();
  EXPECT_STREQ(ShownText, "2500frames/10sec");
}

TEST_F(AppTest, PausedTimeIsLeftOut) {
  Start(1000);
  FrameCount = 99;
  Double::Clock = 5000;
  OnTick();  // 100 frames in 4 s: 250
  EXPECT_STREQ(ShownText, " 250frames/10sec");
  OnPause();
  EXPECT_TRUE(Double::Called("SetCurrentCursor arrow"));
  EXPECT_EQ(0, memcmp(&TileMap[49 * 64 + 37], "Push [P] Key to Start", 21));
  Double::Clock = 900000;
  OnResume();
  EXPECT_EQ(0, memcmp(&TileMap[17 * 64 + 5], "Push [P] Key to Pause", 21));
  FrameCount = 99;
  OnTick();
  EXPECT_STREQ(ShownText, " 250frames/10sec");

  // Across the timer's 2^32 wrap, and with more frames than 32 bits can count ten times.
  Double::Clock = 0xFFFFFF00u;
  OnPause();
  Double::Clock = 0x100;
  OnResume();
  FrameCount = 3'000'000'000LL - 1;
  OnTick();
  int64_t elapsed = 4000 + (0xFFFFFF00LL - 900000);
  EXPECT_EQ(std::string(ShownText),
            std::to_string(30'000'000'000LL / (elapsed / 1000)) + "frames/10sec");
}

TEST_F(AppTest, PromptSwapIsPresentedAtOnce) {
  Start();
  Double::Calls.clear();
  OnPause();
  EXPECT_EQ(Double::CallsStartingWith("BlockCopy").size(), 1u);
  Double::Calls.clear();
  OnResume();
  EXPECT_EQ(Double::CallsStartingWith("BlockCopy").size(), 1u);
}

TEST_F(AppTest, ExitHighlightsOnceEachWayAndAClickEnds) {
  Start();
  uint8_t* exitPixels = ImageTable[128] + 12;
  ASSERT_EQ(exitPixels[0], 235);  // the font's white corner of "E"
  OnMouseMove(10, 10, 0, 0);
  OnLeftDown(10, 10);
  EXPECT_FALSE(Double::Called("DestroyMainWindow"));
  OnMouseMove(224, 320, 0, 0);
  EXPECT_EQ(ExitHighlighted, 1);
  EXPECT_EQ(exitPixels[0], 230);
  // A second move inside recolours nothing: a 230 put back stays.
  exitPixels[0] = 235;
  OnMouseMove(287, 335, 0, 0);
  EXPECT_EQ(exitPixels[0], 235);
  exitPixels[0] = 230;
  OnMouseMove(288, 335, 0, 0);  // just outside the hit box
  EXPECT_EQ(ExitHighlighted, 0);
  EXPECT_EQ(exitPixels[0], 235);
  OnMouseMove(250, 330, 0, 0);
  // The highlight survives a pause: a click after resuming ends the program.
  OnPause();
  OnResume();
  OnLeftDown(0, 0);
  EXPECT_TRUE(Double::Called("DestroyMainWindow"));
}

// The box's text stays as it is; the standard error stream names the file in full, and the
// quit is posted again with 1 after the window's destruction so that the program fails.
void ExpectFailureEnd(const std::string& stderrText, const fs::path& file) {
  EXPECT_NE(stderrText.find("cannot load " + file.string() + "\n"), std::string::npos)
      << stderrText;
  std::vector<std::string> ends;
  for (const std::string& line : Double::Calls)
    if (line.rfind("ShowMessageBox", 0) == 0 || line == "DestroyMainWindow" ||
        line.rfind("PostQuit", 0) == 0)
      ends.push_back(line.substr(0, line.find(' ') == 14 ? 14 : std::string::npos));
  EXPECT_EQ(ends, (std::vector<std::string>{"ShowMessageBox", "DestroyMainWindow", "PostQuit 1"}));
}

TEST_F(AppTest, MissingFontShowsTheBoxAndEnds) {
  fs::remove(dir / "TORVEX32.ZGL");
  testing::internal::CaptureStderr();
  Start();
  ExpectFailureEnd(testing::internal::GetCapturedStderr(), dir / "TORVEX32.ZGL");
  EXPECT_EQ(SceneReady, 0);
  EXPECT_EQ(Double::CallsStartingWith("ShowMessageBox"),
            std::vector<std::string>{"ShowMessageBox none|ERROR|Couldn't Open 'TORVEX32.ZGL' !|0"});
  EXPECT_FALSE(Double::Called("SendMediaCommand"));
  // Ticks, pauses and resumes after the failure draw nothing.
  Double::Calls.clear();
  OnTick();
  OnPause();
  OnResume();
  EXPECT_FALSE(Double::Called("BlockCopy"));
}

TEST_F(AppTest, BadSpriteFileShowsItsBox) {
  WriteFile(dir / "TORVEX32.ZOR", {'Z', 'O', 'R', '0'});
  testing::internal::CaptureStderr();
  Start();
  ExpectFailureEnd(testing::internal::GetCapturedStderr(), dir / "TORVEX32.ZOR");
  EXPECT_EQ(SceneReady, 0);
  EXPECT_EQ(Double::CallsStartingWith("ShowMessageBox"),
            std::vector<std::string>{"ShowMessageBox none|ERROR|Couldn't Open 'TORVEX32.ZOR' !|0"});
}

TEST_F(AppTest, OverlongNamesAndAFailedArenaAreRefusedLikeUnreadableFiles) {
  // A program path that does not leave room for the data file names.
  std::string deep = "/" + std::string(250, 'd') + "/torvex32";
  char* argv[] = {deep.data(), nullptr};
  OnConfigure(1, argv);
  OnStart();
  EXPECT_EQ(Double::CallsStartingWith("ShowMessageBox").size(), 1u);
  EXPECT_NE(Double::CallsStartingWith("ShowMessageBox")[0].find("TORVEX32.ZGL"),
            std::string::npos);
  OnEnd();

  Double::Calls.clear();
  Double::AllocFails = true;
  Start();
  Double::AllocFails = false;
  EXPECT_EQ(SceneReady, 0);
  EXPECT_EQ(Double::CallsStartingWith("ShowMessageBox").size(), 1u);
}

TEST_F(AppTest, AFontTooLargeForTheArenaIsRefused) {
  // 390 glyphs fill the arena; with the sprite and the text sprites they cannot all fit.
  std::vector<uint8_t> font = {'Z', 'G', 'L', '0'};
  font.resize(4 + 380 * 256, 20);
  WriteFile(dir / "TORVEX32.ZGL", font);
  Start();
  EXPECT_EQ(SceneReady, 0);
  EXPECT_EQ(Double::CallsStartingWith("ShowMessageBox").size(), 1u);
}

TEST_F(AppTest, RunLimitEndsLikeAClickOnExitAndKeepsTheLastFrame) {
  std::vector<uint8_t> last(512 * 384, 0xEE);
  RunLimit.frames = 3;
  RunLimit.lastFrame = last.data();
  Start();
  OnTick();
  OnTick();
  EXPECT_FALSE(Double::Called("DestroyMainWindow"));
  OnTick();
  EXPECT_TRUE(Double::Called("DestroyMainWindow"));
  // The frame kept when the benchmark ends is the FrameBuffer's visible part, top row first.
  OnEnd();
  for (int y = 0; y < 384; y += 37)
    for (int x = 0; x < 512; x += 41)
      ASSERT_EQ(last[y * 512 + x], FrameBuffer[(383 - y) * 516 + ViewportShift + x]);
}

// An installed program has no data files beside it: it finds them in the installed data
// directory, placed relative to its own directory. Files beside the program still come first
// (the build tree and unpacked copies rely on that), and with neither the box names the file.
// Builds without an installed data directory (the Windows folder) look beside the program only.
#ifdef TORVEX_DATA_FROM_PROGRAM
TEST_F(AppTest, DataFilesComeFromBesideTheProgramOrElseTheInstalledDataDirectory) {
  fs::path bin = dir / "bin", data = bin / TORVEX_DATA_FROM_PROGRAM;
  fs::create_directories(bin);
  fs::create_directories(data);
  fs::rename(dir / "TORVEX32.ZGL", data / "TORVEX32.ZGL");
  fs::rename(dir / "TORVEX32.ZOR", data / "TORVEX32.ZOR");
  program = (bin / "torvex32").string();
  Start();
  EXPECT_EQ(SceneReady, 1);
  EXPECT_TRUE(Double::CallsStartingWith("ShowMessageBox").empty());
  OnEnd();

  // A broken sprite file in the data directory is not read when a good one is beside.
  ResetApplicationState();
  WriteFile(bin / "TORVEX32.ZOR", SpriteFile());
  WriteFile(data / "TORVEX32.ZOR", {'Z', 'O', 'R', '0'});
  Start();
  EXPECT_EQ(SceneReady, 1);
  OnEnd();

  ResetApplicationState();
  Double::Calls.clear();
  fs::remove(data / "TORVEX32.ZGL");
  Start();
  EXPECT_EQ(SceneReady, 0);
  EXPECT_EQ(Double::CallsStartingWith("ShowMessageBox"),
            std::vector<std::string>{"ShowMessageBox none|ERROR|Couldn't Open 'TORVEX32.ZGL' !|0"});
}
#endif

}  // namespace
