// icon_test.cpp — the desktop icons at every size come from the one icon source: whole
// multiples repeat each source pixel exactly, and other sizes change only the seams.
#include <gtest/gtest.h>
#include <png.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct Picture {
  int size = 0;
  std::vector<uint8_t> rgba;
  const uint8_t* At(int x, int y) const { return &rgba[(static_cast<size_t>(y) * size + x) * 4]; }
};

// Runs the icon tool on the program's icon source; the exit status.
int MakeIcon(const fs::path& out, const std::string& size) {
  std::string command = std::string(TORVEX_ICON_PNG) + " " + TORVEX_ICON_SOURCE + " " +
                        out.string() + " " + size + " 2>/dev/null";
  return WEXITSTATUS(std::system(command.c_str()));
}

Picture Read(const fs::path& path) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  Picture picture;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return picture;
  image.format = PNG_FORMAT_RGBA;
  picture.rgba.resize(PNG_IMAGE_SIZE(image));
  EXPECT_EQ(image.width, image.height);
  if (png_image_finish_read(&image, nullptr, picture.rgba.data(), 0, nullptr))
    picture.size = static_cast<int>(image.width);
  return picture;
}

class IconTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() / ("torvex-icon-test-" + std::to_string(getpid()));
    fs::create_directories(dir);
    ASSERT_EQ(MakeIcon(dir / "32.png", "32"), 0);
    source = Read(dir / "32.png");
    ASSERT_EQ(source.size, 32);
  }
  void TearDown() override { fs::remove_all(dir); }
  Picture Made(int size) {
    std::string name = std::to_string(size);
    EXPECT_EQ(MakeIcon(dir / (name + ".png"), name), 0);
    return Read(dir / (name + ".png"));
  }
  fs::path dir;
  Picture source;
};

TEST_F(IconTest, WholeMultiplesRepeatEverySourcePixel) {
  for (int size : {64, 128}) {
    Picture icon = Made(size);
    ASSERT_EQ(icon.size, size);
    int scale = size / 32;
    for (int y = 0; y < size; ++y)
      for (int x = 0; x < size; ++x)
        for (int c = 0; c < 4; ++c)
          ASSERT_EQ(icon.At(x, y)[c], source.At(x / scale, y / scale)[c]) << size << ": " << x;
  }
}

// At 48 px each new pixel covers parts of up to four source pixels: where they agree, it is
// exactly their colour; where all are transparent, it is transparent.
TEST_F(IconTest, OtherSizesKeepColoursWhereTheSourceAgrees) {
  Picture icon = Made(48);
  ASSERT_EQ(icon.size, 48);
  int agreeing = 0;
  for (int y = 0; y < 48; ++y)
    for (int x = 0; x < 48; ++x) {
      // Source pixels under [x, x+1) * 32 / 48.
      int x0 = x * 32 / 48, x1 = ((x + 1) * 32 - 1) / 48;
      int y0 = y * 32 / 48, y1 = ((y + 1) * 32 - 1) / 48;
      bool same = true;
      for (int sy = y0; sy <= y1; ++sy)
        for (int sx = x0; sx <= x1; ++sx)
          same = same && memcmp(source.At(sx, sy), source.At(x0, y0), 4) == 0;
      if (!same) continue;
      agreeing += 1;
      if (source.At(x0, y0)[3] == 0)
        ASSERT_EQ(icon.At(x, y)[3], 0) << x << "," << y;
      else
        ASSERT_EQ(memcmp(icon.At(x, y), source.At(x0, y0), 4), 0) << x << "," << y;
    }
  EXPECT_GT(agreeing, 48 * 48 / 2);
}

TEST_F(IconTest, ImpossibleSizesAreRefused) {
  EXPECT_EQ(MakeIcon(dir / "x.png", "0"), 2);
  EXPECT_EQ(MakeIcon(dir / "x.png", "12a"), 2);
  EXPECT_EQ(MakeIcon(dir / "x.png", "5000"), 2);
  EXPECT_FALSE(fs::exists(dir / "x.png"));
}

}  // namespace
