// asset_tool_test.cpp — the asset tool (tools/): encoding, sheets, safe writes, building from
// the sources, and our data files as the benchmark uses them.
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
#include "tests/asset_files.h"
#include "tools/asset_tool.h"

namespace {

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

// The tool looks at a file's header before the loaders do: a pipe is refused there too.
TEST(AssetTool, LoadRefusesWhatIsNotARegularFile) {
  const std::string pipe = TempName("pipe.zgl");
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  AssetData asset;
  std::string why;
  EXPECT_FALSE(LoadAsset(pipe, asset, why));
  EXPECT_NE(why.find("not a regular file"), std::string::npos) << why;
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
