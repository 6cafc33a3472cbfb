// platform_test.cpp — the platform layer's own parts on the real implementation: profile
// files in a temporary folder, the configuration folder, the clocks, the program's path, the
// pixel conversion in every method this machine has, the compiled-in resources, measured runs
// in processes of their own and the machine's facts, and the SDL backend's windows, messages
// and block copy on SDL's dummy video driver.
#include <gtest/gtest.h>
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/sdl/backend.h"
#include "tests/profile_corpus.h"

// SDL's own allocations are no leaks of ours.
extern "C" const char* __asan_default_options() { return "detect_leaks=0"; }

namespace {

// The backend runs on SDL's headless drivers, whatever display there is.
const bool headless = [] {
  setenv("SDL_VIDEODRIVER", "dummy", 1);
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  return true;
}();

// ---------------------------------------------------------------------------------------
// Profile files.

class ProfileTest : public testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/torvex-profile-XXXXXX";
    folder = mkdtemp(pattern);
    path = folder + "/TEST.INI";
  }
  void TearDown() override { std::system(("rm -rf '" + folder + "'").c_str()); }

  void Put(const std::string& text) { std::ofstream(path, std::ios::binary) << text; }
  std::string Get() {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  int32_t Int(const char* section, const char* key, int32_t fallback = -99) {
    return GetProfileInt(section, key, fallback, path.c_str());
  }
  bool Write(const char* section, const char* key, const char* value) {
    return WriteProfileString(section, key, value, path.c_str());
  }
  std::vector<std::string> Files() {
    std::vector<std::string> names;
    DIR* dir = opendir(folder.c_str());
    while (dirent* entry = readdir(dir))
      if (entry->d_name[0] != '.') names.push_back(entry->d_name);
    closedir(dir);
    return names;
  }

  std::string folder, path;
};

TEST_F(ProfileTest, MissingFileSectionOrKeyReadsAsTheDefault) {
  EXPECT_EQ(Int("Setup", "Left"), -99);
  Put("[Other]\nLeft=5\n[Setup]\nTop=7\n");
  EXPECT_EQ(Int("Setup", "Left"), -99);
  EXPECT_EQ(Int("Nothing", "Top"), -99);
  EXPECT_EQ(Int("Setup", "Top"), 7);
}

TEST_F(ProfileTest, NamesCompareWithoutCaseAndNumbersReadAsThePlatformReadsThem) {
  Put("; a comment\n[SeTuP]\n  LEFT = -40  \nTop=20px\nEmpty=\nWord=abc\nQuoted=\"12\"\n"
      "Big=4294967295\n");
  EXPECT_EQ(Int("setup", "left"), -40);
  EXPECT_EQ(Int("SETUP", "top"), 20);
  EXPECT_EQ(Int("Setup", "Empty"), -99);
  EXPECT_EQ(Int("Setup", "Word"), 0);
  EXPECT_EQ(Int("Setup", "Quoted"), 12);
  EXPECT_EQ(Int("Setup", "Big"), -1);
}

TEST_F(ProfileTest, WritingCreatesTheFileWithItsSection) {
  ASSERT_TRUE(Write("Setup", "Left", "40"));
  ASSERT_TRUE(Write("Setup", "Top", "-20"));
  EXPECT_EQ(Get(), "[Setup]\nLeft=40\nTop=-20\n");
  EXPECT_EQ(Int("Setup", "Left"), 40);
  EXPECT_EQ(Int("Setup", "Top"), -20);
}

TEST_F(ProfileTest, WritingChangesOnlyItsOwnLineAndKeepsEverythingElse) {
  const std::string before =
      "; written by hand\n[Display]\nDepth=8\n\n[setup]\n  left = 1 ; old\nTop=2\n\n"
      "[Sound]\nVolume=9\n; the end\n";
  Put(before);
  ASSERT_TRUE(Write("Setup", "Left", "300"));
  ASSERT_TRUE(Write("Setup", "Width", "512"));  // a new key joins its section
  ASSERT_TRUE(Write("Extra", "Key", "v"));      // a new section goes at the end
  EXPECT_EQ(Get(),
            "; written by hand\n[Display]\nDepth=8\n\n[setup]\n  left =300\nTop=2\nWidth=512\n\n"
            "[Sound]\nVolume=9\n; the end\n[Extra]\nKey=v\n");
  EXPECT_EQ(Files(), std::vector<std::string>{"TEST.INI"});  // no temporary file remains
}

TEST_F(ProfileTest, LineEndingsAndAMissingFinalLineBreakAreKept) {
  Put("[Setup]\r\nLeft=1\r\nTop=2");
  ASSERT_TRUE(Write("Setup", "Top", "5"));
  ASSERT_TRUE(Write("Setup", "Right", "6"));
  EXPECT_EQ(Get(), "[Setup]\r\nLeft=1\r\nTop=5\r\nRight=6\r\n");
}

TEST_F(ProfileTest, TextThatWouldBreakTheFileIsRefusedAndAMissingFolderFails) {
  Put("[Setup]\nLeft=1\n");
  EXPECT_FALSE(Write("Setup", "Left", "1\n[Evil]\nx=1"));
  EXPECT_FALSE(Write("Set]up", "Left", "1"));
  EXPECT_FALSE(Write("Setup", "Le=ft", "1"));
  EXPECT_EQ(Get(), "[Setup]\nLeft=1\n");
  EXPECT_FALSE(WriteProfileString("Setup", "Left", "1", (folder + "/none/X.INI").c_str()));
}

TEST_F(ProfileTest, TheFileIsReplacedWholeSoAReaderSeesTheOldOrTheNewFile) {
  // A reader holding the old file keeps reading the old content: the new one is renamed in.
  Put("[Setup]\nLeft=1\n");
  std::ifstream old(path);
  ASSERT_TRUE(Write("Setup", "Left", "2"));
  std::stringstream seen;
  seen << old.rdbuf();
  EXPECT_EQ(seen.str(), "[Setup]\nLeft=1\n");
  EXPECT_EQ(Int("Setup", "Left"), 2);
}

TEST_F(ProfileTest, AReadOnlyFileIsLeftAloneAndTheWriteFails) {
  Put("[Setup]\nLeft=1\n");
  ASSERT_EQ(chmod(path.c_str(), 0444), 0);
  EXPECT_FALSE(Write("Setup", "Left", "2"));
  EXPECT_EQ(Get(), "[Setup]\nLeft=1\n");
  struct stat info {};
  ASSERT_EQ(stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0444u);
  EXPECT_EQ(Files(), std::vector<std::string>{"TEST.INI"});
  // Writable again, it is written and keeps its mode.
  ASSERT_EQ(chmod(path.c_str(), 0640), 0);
  EXPECT_TRUE(Write("Setup", "Left", "2"));
  ASSERT_EQ(stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0640u);
}

TEST_F(ProfileTest, AByteOrderMarkIsReadPastAndKept) {
  Put("\xEF\xBB\xBF[Setup]\r\nLeft=40\r\nTop=20\r\n");
  EXPECT_EQ(Int("Setup", "Left"), 40);
  EXPECT_EQ(Int("Setup", "Top"), 20);
  ASSERT_TRUE(Write("Setup", "Left", "41"));
  EXPECT_EQ(Get(), "\xEF\xBB\xBF[Setup]\r\nLeft=41\r\nTop=20\r\n");  // no second section
}

TEST_F(ProfileTest, EveryProfileOfTheCorpusReadsAsTheSystemReadsIt) {
  // Each line: file, section, key, default and the value the system's own reader gave.
  std::vector<ProfileCase> cases = ReadProfileCorpus(TORVEX_PROFILE_CORPUS);
  EXPECT_GE(cases.size(), 60u);
  for (const ProfileCase& c : cases) {
    std::string file = std::string(TORVEX_PROFILE_CORPUS) + "/" + c.file;
    EXPECT_EQ(GetProfileInt(c.section.c_str(), c.key.c_str(), c.fallback, file.c_str()), c.value)
        << c.file << " " << c.key;
  }
}

TEST_F(ProfileTest, WritingFindsTheKeyWhereReadingFindsIt) {
  // The first section of a name, a bare key line, a section name with blanks inside.
  Put("[ Setup ]\nLeft\nLeft=5\n[Setup]\nTop=1\n");
  ASSERT_TRUE(Write("Setup", "Left", "40"));
  ASSERT_TRUE(Write("Setup", "Top", "30"));
  EXPECT_EQ(Get(), "[ Setup ]\nLeft=40\nLeft=5\nTop=30\n[Setup]\nTop=1\n");
  EXPECT_EQ(Int("Setup", "Left"), 40);
  EXPECT_EQ(Int("Setup", "Top"), 30);
}

TEST_F(ProfileTest, AHugeFileIsNeitherReadNorRewritten) {
  Put("[Setup]\nLeft=40\n");
  ASSERT_EQ(truncate(path.c_str(), 100 << 20), 0);  // 100 MB, sparse
  EXPECT_EQ(Int("Setup", "Left"), -99);
  EXPECT_FALSE(Write("Setup", "Left", "1"));
  struct stat info {};
  ASSERT_EQ(stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_size, 100 << 20);
}

TEST_F(ProfileTest, ALinkToAMissingFileIsWrittenThroughAndStaysALink) {
  std::string target = folder + "/REAL.INI";
  ASSERT_EQ(symlink("REAL.INI", path.c_str()), 0);
  ASSERT_TRUE(Write("Setup", "Left", "7"));
  struct stat info {};
  ASSERT_EQ(lstat(path.c_str(), &info), 0);
  EXPECT_TRUE(S_ISLNK(info.st_mode));
  std::ifstream in(target);
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_EQ(text.str(), "[Setup]\nLeft=7\n");
  EXPECT_EQ(Int("Setup", "Left"), 7);
}

// A write killed before its rename leaves a temporary file; the next write removes it once it
// is old enough that no write can still be at work on it, and leaves other files alone.
TEST_F(ProfileTest, StaleTemporaryFilesOfEarlierWritesAreRemoved) {
  Put("[Setup]\nLeft=1\n");
  const std::string stale = path + ".a1B2c3", fresh = path + ".d4E5f6";
  const std::string others[] = {path + ".bak", path + ".a1B2c3d", path + ".backup",
                                folder + "/OTHER.INI.a1B2c3"};
  const timeval old[2] = {{time(nullptr) - 3600, 0}, {time(nullptr) - 3600, 0}};
  for (const std::string& name : {stale, fresh, others[0], others[1], others[2], others[3]}) {
    std::ofstream(name) << "x";
    if (name != fresh) utimes(name.c_str(), old);
  }
  ASSERT_TRUE(Write("Setup", "Left", "2"));
  EXPECT_FALSE(std::filesystem::exists(stale));
  EXPECT_TRUE(std::filesystem::exists(fresh));
  for (const std::string& name : others) EXPECT_TRUE(std::filesystem::exists(name)) << name;
}

TEST_F(ProfileTest, APipeInPlaceOfTheFileIsNotWaitedFor) {
  ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
  EXPECT_EQ(Int("Setup", "Left"), -99);
  EXPECT_FALSE(Write("Setup", "Left", "1"));
}

TEST_F(ProfileTest, TheConfigurationFolderIsMadeWhenMissing) {
  std::string config = folder + "/config";
  setenv("XDG_CONFIG_HOME", config.c_str(), 1);
  char buffer[512];
  uint32_t length = GetWindowsDirectory(buffer, sizeof buffer);
  EXPECT_EQ(std::string(buffer), config + "/torvex32");
  EXPECT_EQ(length, config.size() + 9);
  EXPECT_EQ(access(buffer, W_OK), 0);
  EXPECT_EQ(GetWindowsDirectory(buffer, 4), length + 1);  // too small: the size needed
  // Without the variable: the home folder's .config.
  unsetenv("XDG_CONFIG_HOME");
  std::string home = getenv("HOME") != nullptr ? getenv("HOME") : "";
  setenv("HOME", folder.c_str(), 1);
  GetWindowsDirectory(buffer, sizeof buffer);
  EXPECT_EQ(std::string(buffer), folder + "/.config/torvex32");
  EXPECT_EQ(access(buffer, W_OK), 0);
  setenv("HOME", home.c_str(), 1);
}

// ---------------------------------------------------------------------------------------
// Clocks, the program's path.

TEST(ClockTest, BothClocksStartWhereToldAndWrapAt32Bits) {
  SetClockBase(0xFFFFFFF0u);
  uint32_t tick = GetTickCount(), media = GetMultimediaTime();
  EXPECT_LT(tick - 0xFFFFFFF0u, 5u);
  EXPECT_LT(media - tick, 5u);
  while (GetTickCount() >= 0xFFFFFFF0u) {
  }
  EXPECT_LT(GetTickCount(), 100u);  // wrapped to small values
  SetClockBase(1000);
}

TEST(ProgramTest, ThePathIsTheRunningProgramsFile) {
  char path[4096];
  uint32_t length = GetProgramFilePath(path, sizeof path);
  ASSERT_GT(length, 0u);
  EXPECT_EQ(path[0], '/');
  EXPECT_EQ(std::string(path).substr(length - 13), "platform_test");
  EXPECT_EQ(GetProgramFilePath(path, length), 0u);  // does not fit with its terminator
}

// Element 0 of the argument vector at start-up: the program's own file, whatever argv[0] says;
// where that does not fit, argv[0] made absolute, and nothing where neither fits.
TEST(ProgramTest, TheStartingPathIsTheProgramsFileOrElseItsAbsoluteArgument) {
  char own[4096], path[4096];
  const uint32_t length = GetProgramFilePath(own, sizeof own);
  ASSERT_GT(length, 0u);
  GetStartingProgramPath("elsewhere/torvex32", path, sizeof path);
  EXPECT_STREQ(path, own);
  char shorter[2];
  GetStartingProgramPath("/", shorter, sizeof shorter);  // the file does not fit; "/" does
  EXPECT_STREQ(shorter, "/");
  GetStartingProgramPath(nullptr, shorter, sizeof shorter);
  EXPECT_STREQ(shorter, "");
  GetStartingProgramPath(".", shorter, sizeof shorter);  // the folder's path does not fit
  EXPECT_STREQ(shorter, "");
}

// ---------------------------------------------------------------------------------------
// Pixel conversion.

TEST(ConvertTest, EveryMethodOfThisMachineMatchesTheTableExactly) {
  std::mt19937 random(3);
  uint32_t table[256];
  for (uint32_t& entry : table) entry = random();  // top bytes too
  std::vector<uint8_t> pixels(600 * 40);
  for (uint8_t& p : pixels) p = static_cast<uint8_t>(random());
  ConvertMethod chosen = CurrentConvertMethod();
  for (int m = ConvertPortable; m <= ConvertLastMethod; ++m) {
    auto method = static_cast<ConvertMethod>(m);
    if (!ChooseConvertMethod(method)) continue;
    for (int32_t width : {1, 15, 16, 17, 63, 64, 65, 127, 129, 512, 516}) {
      for (int32_t shift = 0; shift < 4; ++shift) {
        // Bottom-up rows of 600 bytes read from the last row backwards, into padded rows.
        std::vector<uint32_t> out(7 * 530, 0xDEADBEEF);
        const uint8_t* top = pixels.data() + 39 * 600 + shift;
        ConvertIndexedRows(out.data() + 1, 530 * 4, top, -600, width, 7, table);
        for (int32_t y = 0; y < 7; ++y)
          for (int32_t x = -1; x <= width; ++x) {
            uint32_t expect = x < 0 || x == width ? 0xDEADBEEF : table[top[-600 * y + x]];
            if (x == width && x >= 529) continue;
            ASSERT_EQ(out[y * 530 + 1 + x], expect)
                << ConvertMethodName(method) << " width " << width << " x " << x << " y " << y;
          }
      }
    }
  }
  ChooseConvertMethod(chosen);
  EXPECT_TRUE(ConvertMethodAvailable(ConvertPortable));
}

// Streaming goes through a small buffer in pieces and starts its wide stores at the first
// 16-byte boundary: rows wider than the buffer, and every alignment of the output, come out
// exactly as the plain conversion, with nothing written beside them.
TEST(ConvertTest, StreamedRowsMatchTheTableAtEveryAlignmentAndWidth) {
  std::mt19937 random(4);
  uint32_t table[256];
  for (uint32_t& entry : table) entry = random();
  std::vector<uint8_t> pixels(2100 * 5);
  for (uint8_t& p : pixels) p = static_cast<uint8_t>(random());
  for (int32_t width : {1, 3, 4, 17, 516, 1024, 1025, 2100}) {
    for (int32_t skew = 0; skew < 4; ++skew) {
      std::vector<uint32_t> out(5 * 2110, 0xDEADBEEF);
      const uint8_t* top = pixels.data() + 4 * 2100;
      StreamIndexedRows(out.data() + skew + 1, 2110 * 4, top, -2100, width, 5, table);
      for (int32_t y = 0; y < 5; ++y)
        for (int32_t x = -1; x <= width; ++x) {
          uint32_t expect = x < 0 || x == width ? 0xDEADBEEF : table[top[-2100 * y + x]];
          ASSERT_EQ(out[y * 2110 + skew + 1 + x], expect)
              << "width " << width << " skew " << skew << " x " << x << " y " << y;
        }
    }
  }
}

// The 16-bit table cuts each component to its channel's width and puts it where the mask
// says: the usual 5-6-5 and 5-5-5 layouts, and one with blue on top.
TEST(ConvertTest, TheSixteenBitTableCutsEachColourToTheVisualsMasks) {
  uint32_t colours[256];
  for (int i = 0; i < 256; ++i) colours[i] = uint32_t(i) << 16 | uint32_t(255 - i) << 8 | (i * 7 & 255);
  colours[0] = 0x000000;
  colours[1] = 0xFFFFFF;
  colours[2] = 0x336699;  // 51, 102, 153
  uint16_t table[256];
  MakeMaskedTable16(colours, 0xF800, 0x07E0, 0x001F, table);
  EXPECT_EQ(table[0], 0x0000);
  EXPECT_EQ(table[1], 0xFFFF);
  EXPECT_EQ(table[2], (51 >> 3) << 11 | (102 >> 2) << 5 | 153 >> 3);
  for (int i = 0; i < 256; ++i) {
    uint32_t c = colours[i];
    ASSERT_EQ(table[i], ((c >> 19) & 31) << 11 | ((c >> 10) & 63) << 5 | ((c >> 3) & 31)) << i;
  }
  MakeMaskedTable16(colours, 0x7C00, 0x03E0, 0x001F, table);
  EXPECT_EQ(table[1], 0x7FFF);  // the top bit stays clear
  EXPECT_EQ(table[2], (51 >> 3) << 10 | (102 >> 3) << 5 | 153 >> 3);
  MakeMaskedTable16(colours, 0x001F, 0x07E0, 0xF800, table);
  EXPECT_EQ(table[2], (153 >> 3) << 11 | (102 >> 2) << 5 | 51 >> 3);
}

// Rows of every width from a bottom-up bitmap at every source alignment, into padded rows at
// every output alignment: each pixel is its index's table entry (16-bit) or the index itself
// (the copy for a palettised screen), and nothing beside the rows is written.
TEST(ConvertTest, SixteenBitRowsAndCopiedIndicesAreExactAtEveryAlignmentAndWidth) {
  std::mt19937 random(5);
  uint16_t table[256];
  for (uint16_t& entry : table) entry = static_cast<uint16_t>(random());
  std::vector<uint8_t> pixels(600 * 6);
  for (uint8_t& p : pixels) p = static_cast<uint8_t>(random());
  for (int32_t width = 1; width <= 520; width += width < 70 ? 1 : 37) {
    for (int32_t shift = 0; shift < 4; ++shift) {
      for (int32_t skew = 0; skew < 4; ++skew) {
        const uint8_t* top = pixels.data() + 5 * 600 + shift;
        std::vector<uint16_t> wide(6 * 530, 0xBEEF);
        ConvertIndexedRows16(wide.data() + 1 + skew, 530 * 2, top, -600, width, 6, table);
        std::vector<uint8_t> narrow(6 * 530, 0xEE);
        CopyIndexedRows(narrow.data() + 1 + skew, 530, top, -600, width, 6);
        for (int32_t y = 0; y < 6; ++y)
          for (int32_t x = -1 - skew; x < 529 - skew; ++x) {
            bool inside = x >= 0 && x < width;
            size_t at = size_t(y) * 530 + 1 + skew + x;
            ASSERT_EQ(wide[at], inside ? table[top[-600 * y + x]] : 0xBEEF)
                << "16-bit width " << width << " shift " << shift << " x " << x << " y " << y;
            ASSERT_EQ(narrow[at], inside ? top[-600 * y + x] : 0xEE)
                << "copy width " << width << " shift " << shift << " x " << x << " y " << y;
          }
      }
    }
  }
}

// ---------------------------------------------------------------------------------------
// The comparison of a window read back with the frame copied into it.

// A block of indices and the screen that shows it exactly, rows from the top.
struct ReadBackCase {
  uint32_t colours[256];
  std::vector<uint8_t> indices;  // stored bottom-up, as the frame buffer is
  std::vector<uint32_t> screen;
  int32_t width = 7, height = 5;
  ReadBackCase() {
    std::mt19937 random(5);
    for (uint32_t& c : colours) c = random() & 0xFFFFFF;
    indices.resize(width * height);
    for (uint8_t& i : indices) i = static_cast<uint8_t>(random());
    for (int32_t y = 0; y < height; ++y)
      for (int32_t x = 0; x < width; ++x) screen.push_back(colours[Index(x, y)] | 0xAB000000);
  }
  uint8_t Index(int32_t x, int32_t y) const { return indices[(height - 1 - y) * width + x]; }
  ScreenCheck Compare(uint32_t significant = 0xFFFFFF) const {
    ScreenCheck check{};
    CompareReadBack(&check, screen.data(), width * 4, indices.data() + (height - 1) * width,
                    -width, width, height, colours, significant, 100, 200);
    return check;
  }
};

TEST(ScreenCompareTest, EveryPixelThroughTheColoursMatchesAndEachOtherOneIsCountedAndNamed) {
  ReadBackCase c;
  ScreenCheck check = c.Compare();
  EXPECT_EQ(check.result, ScreenMatch);  // the byte above the colour is not compared
  EXPECT_EQ(check.compared, 35);
  EXPECT_EQ(check.differing, 0);
  c.screen[2 * 7 + 3] ^= 0x000001;  // (3, 2): the lowest bit of blue
  c.screen[4 * 7 + 6] = 0x123456;
  check = c.Compare();
  EXPECT_EQ(check.result, ScreenMismatch);
  EXPECT_EQ(check.differing, 2);
  char first[96];
  snprintf(first, sizeof first, "the first at (103, 202) shows #%06X where the frame has #%06X",
           static_cast<unsigned>(c.colours[c.Index(3, 2)] ^ 1),
           static_cast<unsigned>(c.colours[c.Index(3, 2)]));
  EXPECT_NE(std::string(check.reason).find(first), std::string::npos) << check.reason;
}

TEST(ScreenCompareTest, ADisplayOfFewerBitsMatchesWithinOneOfItsStepsCutOrRounded) {
  ReadBackCase c;
  // 5-6-5: each channel cut to its bits and widened again, as the X server hands it back.
  auto cut = [](uint32_t colour, int32_t r, int32_t g, int32_t b) {
    auto channel = [](uint32_t v, int32_t bits) {
      v >>= 8 - bits;
      return (v << (8 - bits) | v >> (2 * bits - 8)) & 0xFF;
    };
    return channel(colour >> 16 & 0xFF, r) << 16 | channel(colour >> 8 & 0xFF, g) << 8 |
           channel(colour & 0xFF, b);
  };
  for (uint32_t& p : c.screen) p = cut(p, 5, 6, 5);
  EXPECT_EQ(c.Compare(0xFFFFFF).result, ScreenMismatch);  // not on a display of 8 bits
  EXPECT_EQ(c.Compare(0xF8FCF8).result, ScreenMatch);
  // A display that rounds lands one step above where cutting would: still the colour.
  uint32_t& rounded = c.screen[0];
  uint32_t red = std::min<uint32_t>((rounded >> 16 & 0xF8) + 8, 0xF8);
  rounded = (rounded & 0x00FFFF) | red << 16;
  EXPECT_EQ(c.Compare(0xF8FCF8).result, ScreenMatch);
  // Two steps off is another colour.
  c.screen[1] ^= 0x000010;
  ScreenCheck check = c.Compare(0xF8FCF8);
  EXPECT_EQ(check.result, ScreenMismatch);
  EXPECT_EQ(check.differing, 1);
}

// ---------------------------------------------------------------------------------------
// Resources.

TEST(ResourceTest, TheIconAndTheCursorAreCompiledIn) {
  const ProgramResource* icon = FindProgramResource("appicon", ResourceIcon);
  ASSERT_NE(icon, nullptr);
  EXPECT_EQ(icon->width, 32);
  EXPECT_EQ(icon->height, 32);
  for (int i = 0; i < 32 * 32; ++i) EXPECT_TRUE(icon->pixels[i] < 16 || icon->pixels[i] == 255);
  const ProgramResource* cursor = FindProgramResource("AppCursor", ResourceCursor);
  ASSERT_NE(cursor, nullptr);
  EXPECT_EQ(cursor->hotX, 15);
  EXPECT_EQ(cursor->hotY, 15);
  EXPECT_EQ(FindProgramResource("AppCursor", ResourceIcon), nullptr);
  EXPECT_EQ(LoadProgramIcon(GetProgramInstance(), "NoSuchIcon"), nullptr);
  EXPECT_EQ(LoadProgramIcon(GetProgramInstance(), "AppIcon"),
            LoadProgramIcon(GetProgramInstance(), "APPICON"));
  EXPECT_NE(LoadProgramCursor(GetProgramInstance(), "AppCursor"), nullptr);
  EXPECT_NE(LoadArrowCursor(), nullptr);
}

// ---------------------------------------------------------------------------------------
// The SDL backend: windows and messages.

std::vector<std::string> received;  // the test window procedure's log

int32_t LoggingProcedure(WindowHandle window, uint32_t message, uintptr_t first, intptr_t second) {
  char line[96];
  snprintf(line, sizeof line, "0x%X %lu %ld", message, static_cast<unsigned long>(first),
           static_cast<long>(second));
  received.push_back(line);
  if (message == WM_PAINT) EndPaint(window, BeginPaint(window));
  if (message == WM_CLOSE) return DefaultWindowProcedure(window, message, first, second);
  return 0;
}

std::string SizeLine(int32_t width, int32_t height) {
  return "0x5 0 " + std::to_string(width | height << 16);
}

class BackendTest : public testing::Test {
 protected:
  void SetUp() override {
    WindowClass windowClass{CS_DBLCLKS, LoggingProcedure, GetProgramInstance(),
                            LoadProgramIcon(GetProgramInstance(), "AppIcon"), "TEST"};
    ASSERT_TRUE(RegisterWindowClass(windowClass));
    window = CreateMainWindow("TEST", "Test", 0, 40, 50, 514, 386, GetProgramInstance());
    ASSERT_NE(window, nullptr) << GetPlatformError();
    Drain();
    received.clear();
  }
  void TearDown() override { DestroyMainWindow(window); }

  // Shows and paints the window and forgets what that delivered.
  void Shown() {
    ShowMainWindow(window, SW_SHOWDEFAULT);
    UpdateMainWindow(window);
    Drain();
    received.clear();
  }

  // Dispatches every queued message (paint messages included) until the queue is empty.
  void Drain() {
    Message m;
    for (int i = 0; i < 1000 && PeekWindowMessage(&m); ++i)
      if (m.message != WM_QUIT) DispatchWindowMessage(m);
  }
  void Push(SDL_Event e) { ASSERT_EQ(SDL_PushEvent(&e), 1) << SDL_GetError(); }
  SDL_Event WindowEvent(uint8_t kind, int32_t data1 = 0, int32_t data2 = 0) {
    SDL_Event e{};
    e.type = SDL_WINDOWEVENT;
    e.window.windowID = LiveWindow(window)->sdlId;
    e.window.event = kind;
    e.window.data1 = data1;
    e.window.data2 = data2;
    return e;
  }

  WindowHandle window = nullptr;
};

TEST_F(BackendTest, CreatingDeliversNothingShowingDeliversTheSizeAndTheFocusAtOnce) {
  EXPECT_TRUE(received.empty());
  ShowMainWindow(window, SW_SHOWDEFAULT);
  EXPECT_EQ(received, (std::vector<std::string>{SizeLine(514, 386), "0x7 0 0"}));
  received.clear();
  UpdateMainWindow(window);
  EXPECT_EQ(received, (std::vector<std::string>{"0xF 0 0"}));
  received.clear();
  UpdateMainWindow(window);  // painted already: nothing to do
  EXPECT_TRUE(received.empty());
}

TEST_F(BackendTest, MovingDeliversTheNewClientSizeAndTheOuterRectangleRoundTrips) {
  ShowMainWindow(window, SW_SHOWDEFAULT);
  received.clear();
  Rect outer = GetOuterRect(window);
  MoveMainWindow(window, outer.left, outer.top, 512, 384, true);
  EXPECT_EQ(received, (std::vector<std::string>{SizeLine(512, 384)}));
  Rect moved = GetOuterRect(window);
  EXPECT_EQ(moved.left, outer.left);
  EXPECT_EQ(moved.top, outer.top);
  Point corner = ClientToScreen(window, {512, 384});
  EXPECT_EQ(corner.x - ClientToScreen(window, {0, 0}).x, 512);
}

TEST_F(BackendTest, DestroyingDeliversTheFocusLossThenDestroyAndDropsQueuedMessages) {
  ShowMainWindow(window, SW_SHOWDEFAULT);
  PostWindowMessage(window, MM_MCINOTIFY, 1, 5);
  received.clear();
  DestroyMainWindow(window);
  EXPECT_EQ(received, (std::vector<std::string>{"0x8 0 0", "0x2 0 0"}));
  EXPECT_EQ(LiveWindow(window), nullptr);
  Message m;
  EXPECT_FALSE(PeekWindowMessage(&m));
  window = nullptr;
}

TEST_F(BackendTest, NativeEventsBecomeMessagesOnlyWhenTheyChangeSomething) {
  Shown();
  Push(WindowEvent(SDL_WINDOWEVENT_FOCUS_GAINED));  // has it already
  Push(WindowEvent(SDL_WINDOWEVENT_FOCUS_LOST));
  Push(WindowEvent(SDL_WINDOWEVENT_FOCUS_LOST));
  Push(WindowEvent(SDL_WINDOWEVENT_MINIMIZED));
  Push(WindowEvent(SDL_WINDOWEVENT_SIZE_CHANGED, 100, 100));  // while minimised
  Push(WindowEvent(SDL_WINDOWEVENT_MINIMIZED));
  Push(WindowEvent(SDL_WINDOWEVENT_RESTORED));
  Push(WindowEvent(SDL_WINDOWEVENT_RESTORED));
  Push(WindowEvent(SDL_WINDOWEVENT_FOCUS_GAINED));
  Push(WindowEvent(SDL_WINDOWEVENT_EXPOSED));
  Drain();
  EXPECT_EQ(received, (std::vector<std::string>{"0x8 0 0", "0x5 1 0", SizeLine(514, 386),
                                                "0x7 0 0", "0xF 0 0"}));
}

TEST_F(BackendTest, TypedCharactersMouseAndDoubleClicksArriveAsThePlatformsMessages) {
  Shown();
  uint32_t id = LiveWindow(window)->sdlId;
  SDL_Event text{};
  text.type = SDL_TEXTINPUT;
  text.text.windowID = id;
  strcpy(text.text.text, "pP\xC3\xA9");
  Push(text);
  for (int x : {5, 6, 7}) {  // moves in a row are coalesced into the last
    SDL_Event move{};
    move.type = SDL_MOUSEMOTION;
    move.motion.windowID = id;
    move.motion.x = x;
    move.motion.y = 300;
    move.motion.state = SDL_BUTTON_RMASK;
    Push(move);
  }
  for (uint8_t clicks : {1, 2}) {
    SDL_Event press{};
    press.type = SDL_MOUSEBUTTONDOWN;
    press.button = {SDL_MOUSEBUTTONDOWN, 0, id, 0, SDL_BUTTON_LEFT, SDL_PRESSED, clicks, 0, 7, 300};
    Push(press);
    press.type = press.button.type = SDL_MOUSEBUTTONUP;
    press.button.state = SDL_RELEASED;
    Push(press);
  }
  Drain();
  std::string at = " " + std::to_string(7 | 300 << 16);
  EXPECT_EQ(received, (std::vector<std::string>{"0x102 112 1", "0x102 80 1", "0x102 233 1",
                                                "0x200 2" + at, "0x201 3" + at, "0x202 2" + at,
                                                "0x203 3" + at, "0x202 2" + at}));
}

TEST_F(BackendTest, ClosingGoesThroughTheDefaultHandlingWhichDestroysTheWindow) {
  Shown();
  Push(WindowEvent(SDL_WINDOWEVENT_CLOSE));
  Drain();
  EXPECT_EQ(received, (std::vector<std::string>{"0x10 0 0", "0x8 0 0", "0x2 0 0"}));
  EXPECT_EQ(LiveWindow(window), nullptr);
  window = nullptr;
}

TEST_F(BackendTest, PostedMessagesFromAnyThreadAndQuitAfterThemThenPaint) {
  ShowMainWindow(window, SW_SHOWDEFAULT);
  received.clear();
  PostQuit(3);
  std::thread other([this] { PostWindowMessage(window, MM_MCINOTIFY, MCI_NOTIFY_SUCCESSFUL, 9); });
  other.join();
  PostWindowMessage(window, 0x400, 1, 2);
  Message m;
  std::vector<std::string> order;
  while (PeekWindowMessage(&m)) {
    order.push_back(std::to_string(m.message) + " " + std::to_string(m.first));
    if (m.message == WM_PAINT) break;
  }
  EXPECT_EQ(order, (std::vector<std::string>{"1024 1", "953 1", "18 3", "15 0"}));
}

TEST_F(BackendTest, AMessageBoxWithoutADisplayPrintsItsTextAndLeavesTheFocus) {
  ShowMainWindow(window, SW_SHOWDEFAULT);
  received.clear();
  testing::internal::CaptureStderr();
  EXPECT_EQ(ShowMessageBox(window, "Couldn't Open 'X' !", "ERROR", MB_OK), 0);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "ERROR: Couldn't Open 'X' !\n");
  EXPECT_TRUE(received.empty());
}

// Client pixel (x, y) shows the colour table's entry for bitmap pixel (shift + x, y).
TEST_F(BackendTest, ABlockCopyShowsEachPixelThroughTheBitmapsColourTableAtEveryShift) {
  ShowMainWindow(window, SW_SHOWDEFAULT);
  Rect outer = GetOuterRect(window);
  MoveMainWindow(window, outer.left, outer.top, 512, 384, false);
  ColourQuad colours[256];
  std::mt19937 random(11);
  for (ColourQuad& c : colours)
    c = {uint8_t(random()), uint8_t(random()), uint8_t(random()), 0};
  ContextHandle memory = CreateMemoryContext();
  uint8_t* pixels = nullptr;
  BitmapHandle bitmap =
      CreateBitmapSection(memory, BitmapHeader{516, 384, 1, 8, 0}, colours, &pixels);
  ASSERT_NE(bitmap, nullptr);
  BitmapHandle kept = SelectBitmap(memory, bitmap);
  for (int i = 0; i < 516 * 384; ++i) pixels[i] = static_cast<uint8_t>(random());
  SDL_Surface* surface = SDL_GetWindowSurface(LiveWindow(window)->sdl);
  ASSERT_EQ(surface->w, 512);
  for (int32_t shift = 0; shift < 4; ++shift) {
    ContextHandle context = GetWindowContext(window);
    BlockCopy(context, 0, 0, 512, 384, memory, shift, 0);
    ReleaseContext(window, context);
    for (int32_t y = 0; y < 384; ++y)
      for (int32_t x = 0; x < 512; ++x) {
        const ColourQuad& c = colours[pixels[(383 - y) * 516 + shift + x]];
        uint8_t r = 0, g = 0, b = 0;
        uint32_t shown = static_cast<uint32_t*>(surface->pixels)[y * surface->pitch / 4 + x];
        SDL_GetRGB(shown, surface->format, &r, &g, &b);
        ASSERT_TRUE(r == c.red && g == c.green && b == c.blue) << shift << " " << x << "," << y;
      }
  }
  SelectBitmap(memory, kept);
  DeleteBitmap(bitmap);
  DeleteMemoryContext(memory);
}

TEST_F(BackendTest, TheLastBlockCopiedIsKeptForTheScreenCheckWhichADriverWithoutScreenRefuses) {
  ShowMainWindow(window, SW_SHOWDEFAULT);
  Rect outer = GetOuterRect(window);
  MoveMainWindow(window, outer.left, outer.top, 512, 384, false);
  ColourQuad colours[256] = {};
  ContextHandle memory = CreateMemoryContext();
  uint8_t* pixels = nullptr;
  BitmapHandle bitmap =
      CreateBitmapSection(memory, BitmapHeader{516, 384, 1, 8, 0}, colours, &pixels);
  ASSERT_NE(bitmap, nullptr);
  BitmapHandle kept = SelectBitmap(memory, bitmap);
  CopiedBlock block{};
  EXPECT_FALSE(GetLastCopiedBlock(LiveWindow(window), &block));
  ContextHandle context = GetWindowContext(window);
  EXPECT_TRUE(BlockCopy(context, 0, 0, 600, 384, memory, 3, 0));
  ReleaseContext(window, context);
  ASSERT_TRUE(GetLastCopiedBlock(LiveWindow(window), &block));
  // Clipped to the window and to the bitmap; its top row is the bitmap's last stored one.
  EXPECT_EQ(block.width, 512);
  EXPECT_EQ(block.height, 384);
  EXPECT_EQ(block.first, pixels + 383 * 516 + 3);
  EXPECT_EQ(block.stride, -516);
  ScreenCheck check = CheckWindowShowsBlock(window);
  EXPECT_EQ(check.result, ScreenNotAvailable);
  EXPECT_STREQ(check.reason, "the dummy video driver shows nothing on a screen");
  // The block goes with its bitmap.
  SelectBitmap(memory, kept);
  DeleteBitmap(bitmap);
  EXPECT_FALSE(GetLastCopiedBlock(LiveWindow(window), &block));
  DeleteMemoryContext(memory);
}

TEST_F(BackendTest, TheSystemPaletteReportsTheStaticColoursAndRealisingChangesNothing) {
  PaletteEntry entries[256];
  EXPECT_EQ(GetSystemPaletteEntries(GetScreenContext(), 0, 256, entries), 256);
  EXPECT_EQ(entries[9].red, 166);
  EXPECT_EQ(entries[9].blue, 240);
  EXPECT_EQ(entries[100].red + entries[100].green + entries[100].blue, 0);
  EXPECT_EQ(entries[246].green, 251);
  EXPECT_EQ(entries[255].red, 255);
  EXPECT_EQ(RealizePalette(GetScreenContext()), 0);
}

// A run's body that says what it was told and exits with 3.
int32_t WriteAndExit(void* share, bool last) {
  static_cast<int32_t*>(share)[0] = 1234;
  static_cast<int32_t*>(share)[1] = last ? 1 : 2;
  return 3;
}

// A run's body killed halfway: what it wrote before must reach the runner.
int32_t WriteAndDie(void* share, bool) {
  static_cast<int32_t*>(share)[0] = 5678;
  raise(SIGKILL);
  return 0;
}

TEST(RunTest, ARunReportsThroughItsShareAndItsEndHoweverItEnded) {
  auto* share = static_cast<int32_t*>(PrepareRuns(0, nullptr, "/tmp", 4096));
  ASSERT_NE(share, nullptr);
  share[0] = 99;
  RunEnd end;
  ASSERT_TRUE(StartRun(WriteAndExit, true, &end));
  EXPECT_EQ(end.exitCode, 3);
  EXPECT_EQ(end.signal, 0);
  EXPECT_TRUE(end.reported);
  EXPECT_STREQ(end.description, "exit status 3");
  EXPECT_EQ(share[0], 1234);
  EXPECT_EQ(share[1], 1);
  ASSERT_TRUE(StartRun(WriteAndDie, false, &end));
  EXPECT_EQ(end.signal, SIGKILL);
  EXPECT_EQ(end.exitCode, 0);
  EXPECT_FALSE(end.reported);
  EXPECT_EQ(share[0], 5678);
  EXPECT_EQ(share[1], 0);  // zeroed before the run
  EXPECT_EQ(std::string(end.description).rfind("killed by ", 0), 0u) << end.description;
}

TEST(RunTest, ThePrivateFolderIsNewAndAPipeIsWritableOnlyWhileRead) {
  char first[4096], second[4096];
  ASSERT_GT(MakePrivateFolder(first, sizeof first), 0u);
  ASSERT_GT(MakePrivateFolder(second, sizeof second), 0u);
  EXPECT_STRNE(first, second);
  EXPECT_TRUE(std::filesystem::is_directory(first));
  EXPECT_EQ(CheckWritable(first), WriteCheck::Writable);
  std::string pipe = std::string(first) + "/pipe";
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  EXPECT_EQ(CheckWritable(pipe.c_str()), WriteCheck::PipeWithoutReader);
  int reader = open(pipe.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  EXPECT_EQ(CheckWritable(pipe.c_str()), WriteCheck::Writable);
  close(reader);
  EXPECT_EQ(CheckWritable((std::string(first) + "/missing/file").c_str()),
            WriteCheck::NotWritable);
  std::filesystem::remove_all(first);
  std::filesystem::remove_all(second);
  char tiny[8];
  EXPECT_EQ(MakePrivateFolder(tiny, sizeof tiny), 0u);  // no room for the name: none is left
}

TEST(RunTest, TheProcessAndTheMachineAreTold) {
  ProcessUsage usage = GetProcessUsage();
  EXPECT_GE(usage.cpuNs, 0);
  EXPECT_GE(usage.switches, 0);
  MachineReport machine;
  GetMachineReport(&machine);
  EXPECT_EQ(std::string(machine.kernel).rfind("Linux ", 0), 0u) << machine.kernel;
  EXPECT_GE(machine.cores, 1);
}

}  // namespace
