// win32_platform_test.cpp — the Win32 backend's own parts that need no window, run under Wine:
// profile files in the Windows directory, temporary files, LZ expansion and the clocks.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "tests/profile_corpus.h"

namespace fs = std::filesystem;

namespace {

std::vector<char> ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<char>(std::istreambuf_iterator<char>(in), {});
}

void WriteAll(const std::string& path, const std::vector<char>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

class Win32PlatformTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder = fs::temp_directory_path() / ("torvex-win32-test-" + std::to_string(rand()));
    fs::create_directories(folder);
  }
  void TearDown() override { fs::remove_all(folder); }
  std::string Path(const char* name) { return (folder / name).string(); }
  fs::path folder;
};

TEST_F(Win32PlatformTest, ProfileValuesRoundTripWithoutCaseAndKeepOtherSections) {
  std::string ini = Path("TORVEX32.INI");
  WriteAll(ini, {'[', 'O', 't', 'h', 'e', 'r', ']', '\n', 'k', '=', '7', '\n'});
  EXPECT_EQ(GetProfileInt("Setup", "Left", 0, ini.c_str()), 0);  // missing: the default
  ASSERT_TRUE(WriteProfileString("Setup", "Left", "-32000", ini.c_str()));
  ASSERT_TRUE(WriteProfileString("Setup", "Top", "120", ini.c_str()));
  ASSERT_TRUE(WriteProfileString("SETUP", "top", "121", ini.c_str()));
  EXPECT_EQ(GetProfileInt("setup", "LEFT", 0, ini.c_str()), -32000);
  EXPECT_EQ(GetProfileInt("Setup", "Top", 0, ini.c_str()), 121);
  EXPECT_EQ(GetProfileInt("Other", "k", 0, ini.c_str()), 7);
}

// The system's own reader against the values the Linux reader is held to.
TEST(Win32Profile, EveryProfileOfTheCorpusReadsAsListed) {
  std::vector<ProfileCase> cases = ReadProfileCorpus(TORVEX_PROFILE_CORPUS);
  EXPECT_GE(cases.size(), 60u);
  for (const ProfileCase& c : cases) {
    std::string file = std::string(TORVEX_PROFILE_CORPUS) + "/" + c.file;
    EXPECT_EQ(GetProfileInt(c.section.c_str(), c.key.c_str(), c.fallback, file.c_str()), c.value)
        << c.file << " " << c.key;
  }
}

TEST_F(Win32PlatformTest, WindowsDirectoryIsTheSystemsOrTheOneAChosenForTheRun) {
  char buffer[260];
  _putenv("TORVEX32_WINDOWS_DIR=");
  uint32_t length = GetWindowsDirectory(buffer, sizeof buffer);
  ASSERT_GT(length, 0u);
  EXPECT_EQ(length, strlen(buffer));
  EXPECT_NE(buffer[length - 1], PathSeparator);
  std::string chosen = "TORVEX32_WINDOWS_DIR=" + folder.string();
  _putenv(chosen.c_str());
  EXPECT_EQ(GetWindowsDirectory(buffer, sizeof buffer), folder.string().size());
  EXPECT_EQ(std::string(buffer), folder.string());
  // Too small: the size needed, nothing usable written.
  EXPECT_EQ(GetWindowsDirectory(buffer, 4), folder.string().size() + 1);
  _putenv("TORVEX32_WINDOWS_DIR=");
}

TEST_F(Win32PlatformTest, TemporaryFilesAreNewEmptyAndDistinct) {
  char folderName[256];
  uint32_t length = GetTempFolder(folderName, sizeof folderName);
  ASSERT_GT(length, 0u);
  EXPECT_EQ(folderName[length - 1], PathSeparator);
  char first[256], second[256];
  std::string dir = folder.string() + PathSeparator;
  ASSERT_EQ(CreateTempFile(dir.c_str(), "QVW", first), 0u);
  ASSERT_EQ(CreateTempFile(dir.c_str(), "QVW", second), 0u);
  EXPECT_NE(std::string(first), std::string(second));
  EXPECT_EQ(fs::path(first).filename().string().substr(0, 3), "QVW");
  EXPECT_EQ(fs::file_size(first), 0u);
  EXPECT_TRUE(DeleteFileAt(first));
  EXPECT_FALSE(fs::exists(first));
  EXPECT_FALSE(DeleteFileAt(first));
  // A folder that is not there: an error, and no path.
  EXPECT_NE(CreateTempFile((dir + "missing\\").c_str(), "QVW", first), 0u);
  EXPECT_STREQ(first, "");
}

TEST_F(Win32PlatformTest, ExpandingGivesThePlainEffectAndRefusesCutShortData) {
  std::string compressed = TORVEX_DATA_DIR "/TORVEX.WAV";
  std::vector<char> plain = ReadAll(TORVEX_TEST_DIR "/TORVEX-plain.wav");
  ASSERT_FALSE(plain.empty());
  std::string out = Path("expanded.wav");
  EXPECT_EQ(ExpandFile(compressed.c_str(), out.c_str()), static_cast<int64_t>(plain.size()));
  EXPECT_EQ(ReadAll(out), plain);
  // A file that is not compressed is copied unchanged.
  std::string copy = Path("copy.wav");
  EXPECT_EQ(ExpandFile(out.c_str(), copy.c_str()), static_cast<int64_t>(plain.size()));
  EXPECT_EQ(ReadAll(copy), plain);
  // Cut short: an error, not a shorter effect reported as success.
  std::vector<char> data = ReadAll(compressed);
  data.resize(data.size() / 2);
  std::string cut = Path("cut.wa_");
  WriteAll(cut, data);
  EXPECT_LT(ExpandFile(cut.c_str(), Path("cut.wav").c_str()), 0);
  EXPECT_LT(ExpandFile(Path("missing.wav").c_str(), Path("none.wav").c_str()), 0);
}

TEST_F(Win32PlatformTest, ExpandingStopsAtTheDeviceLimitAndRefusesWhatIsNoFile) {
  std::string out = Path("bounded.wav");
  // Something in the destination from before: after a refusal it must be empty, not stale.
  auto refusedAndEmpty = [&](const std::string& source) {
    WriteAll(out, std::vector<char>(100, 'x'));
    EXPECT_LT(ExpandFile(source.c_str(), out.c_str()), 0) << source;
    EXPECT_EQ(fs::file_size(out), 0u) << source;
  };
  // A plain file one byte over the limit (sparse where the file system allows).
  std::string huge = Path("huge.wav");
  {
    std::ofstream file(huge, std::ios::binary);
    file.seekp(MaxMediaFileBytes);
    file.put('x');
  }
  refusedAndEmpty(huge);
  // A compressed file whose header promises more than the limit.
  std::vector<char> data = ReadAll(TORVEX_DATA_DIR "/TORVEX.WAV");
  ASSERT_GT(data.size(), 14u);
  const uint32_t promise = static_cast<uint32_t>(MaxMediaFileBytes + 1);
  for (int i = 0; i < 4; ++i) data[10 + i] = static_cast<char>(promise >> (8 * i));
  std::string bomb = Path("bomb.wa_");
  WriteAll(bomb, data);
  refusedAndEmpty(bomb);
  // A device and a folder: nothing to expand, and nothing waited for.
  refusedAndEmpty("NUL");
  refusedAndEmpty(folder.string());
}

TEST_F(Win32PlatformTest, BothClocksStartFromTheBaseAndWrap) {
  SetClockBase(0xFFFFFF00u);
  uint32_t tick = GetTickCount();
  uint32_t media = GetMultimediaTime();
  EXPECT_LT(tick - 0xFFFFFF00u, 100u);
  EXPECT_LT(media - 0xFFFFFF00u, 100u);
  const uint32_t start = GetMultimediaTime();
  while (GetMultimediaTime() - start < 300) {}
  EXPECT_LT(GetTickCount(), 0x1000u);  // wrapped past 2^32
}

TEST(Win32Resources, TheIconAndTheCursorLoadFromTheProgramsResources) {
  InstanceHandle instance = GetProgramInstance();
  ASSERT_NE(instance, nullptr);
  EXPECT_NE(LoadProgramIcon(instance, "AppIcon"), nullptr);
  EXPECT_NE(LoadProgramIcon(instance, "appicon"), nullptr);  // names compare without case
  EXPECT_NE(LoadProgramCursor(instance, "AppCursor"), nullptr);
  EXPECT_EQ(LoadProgramCursor(instance, "NoSuchCursor"), nullptr);
  EXPECT_EQ(LoadProgramIcon(instance, "NoSuchIcon"), nullptr);
  EXPECT_NE(LoadArrowCursor(), nullptr);
}

}  // namespace

// Reports name the system and, under Wine, Wine itself; the media flags stay 0 until a device
// of that kind opens, and nothing of the report is left unterminated.
TEST(Win32Cursor, TheConfinementHoldsTheRightAndBottomEdgesThemselves) {
  if (getenv("TORVEX32_HEADLESS") != nullptr) GTEST_SKIP() << "no cursor when headless";
  Rect area{10, 20, 100, 200};
  ClipCursorTo(&area);
  SetCursorPosition(500, 500);
  Point held = GetCursorPosition();
  ClipCursorTo(nullptr);
  // Pushed against the corner, the cursor stands on the inclusive right and bottom edge.
  EXPECT_EQ(held.x, 100);
  EXPECT_EQ(held.y, 200);
}

TEST(Win32Report, NamesTheSystemAndNoDeviceBeforeOneOpens) {
  BackendReport report;
  memset(&report, 'x', sizeof report);
  GetBackendReport(&report);
  EXPECT_EQ(std::string(report.libraryVersion).rfind("Windows ", 0), 0u) << report.libraryVersion;
  EXPECT_STREQ(report.videoDriver, "gdi");
  EXPECT_STREQ(report.audioDriver, "");
  EXPECT_EQ(report.musicOpened, 0);
  EXPECT_EQ(report.effectOpened, 0);
  // This test runs under Wine; on Windows the display server is the system itself.
  EXPECT_TRUE(std::string(report.displayServer).rfind("Wine ", 0) == 0 ||
              std::string(report.displayServer).rfind("Windows ", 0) == 0)
      << report.displayServer;
  EXPECT_LT(strnlen(report.displayServer, sizeof report.displayServer),
            sizeof report.displayServer);
}
