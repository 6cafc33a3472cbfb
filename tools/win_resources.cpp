// win_resources.cpp — torvex-win-resources: turns the program's icon and cursor sources
// (data/*.art) into the icon (.ico) and cursor (.cur) files that the Windows build's resource
// script compiles into the program, or (--table) into the table of them that the SDL backend
// compiles in.
//
// The icon becomes one 32-bit image with an AND mask for its transparent pixels; the cursor a
// monochrome image whose XOR and AND masks give black, white, transparent and inverted pixels.
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "tools/art.h"
#include "torvex_version.h"

namespace {

void Put16(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(v & 0xFF);
  out.push_back(v >> 8 & 0xFF);
}
void Put32(std::vector<uint8_t>& out, uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

// The image's header: twice the height, for the two masks.
void PutInfoHeader(std::vector<uint8_t>& out, int width, int height, int bits, int colours,
                   uint32_t imageBytes) {
  Put32(out, 40);
  Put32(out, width);
  Put32(out, height * 2);
  Put16(out, 1);
  Put16(out, bits);
  Put32(out, 0);
  Put32(out, imageBytes);
  Put32(out, 0);
  Put32(out, 0);
  Put32(out, colours);
  Put32(out, 0);
}

// One row of a 1-bit mask, padded to 32 bits; bit set where `set` says.
template <typename F>
void PutMaskRow(std::vector<uint8_t>& out, int width, F set) {
  int rowBytes = (width + 31) / 32 * 4;
  std::vector<uint8_t> row(rowBytes, 0);
  for (int x = 0; x < width; ++x)
    if (set(x)) row[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
  out.insert(out.end(), row.begin(), row.end());
}

std::vector<uint8_t> IconImage(const Art& art) {
  std::vector<uint8_t> image;
  int maskBytes = (art.width + 31) / 32 * 4 * art.height;
  PutInfoHeader(image, art.width, art.height, 32, 0, art.width * art.height * 4 + maskBytes);
  for (int y = art.height - 1; y >= 0; --y) {  // rows bottom-up
    for (int x = 0; x < art.width; ++x) {
      int p = art.pixels[y * art.width + x];
      uint32_t colour = p != ArtTransparent ? IconColours[p] : 0;
      image.push_back(colour & 0xFF);
      image.push_back(colour >> 8 & 0xFF);
      image.push_back(colour >> 16 & 0xFF);
      image.push_back(p != ArtTransparent ? 0xFF : 0);
    }
  }
  for (int y = art.height - 1; y >= 0; --y)
    PutMaskRow(image, art.width,
               [&](int x) { return art.pixels[y * art.width + x] == ArtTransparent; });
  return image;
}

std::vector<uint8_t> CursorImage(const Art& art) {
  // XOR bit: white or inverted; AND bit: transparent or inverted.
  std::vector<uint8_t> image;
  int maskBytes = (art.width + 31) / 32 * 4 * art.height;
  PutInfoHeader(image, art.width, art.height, 1, 2, maskBytes * 2);
  Put32(image, 0x000000);  // colour 0: black
  Put32(image, 0xFFFFFF);  // colour 1: white
  for (int y = art.height - 1; y >= 0; --y)
    PutMaskRow(image, art.width, [&](int x) {
      int p = art.pixels[y * art.width + x];
      return p == 2 || p == 3;
    });
  for (int y = art.height - 1; y >= 0; --y)
    PutMaskRow(image, art.width, [&](int x) {
      int p = art.pixels[y * art.width + x];
      return p == 0 || p == 3;
    });
  return image;
}

// The icon or cursor file: a directory of one entry, then the image.
std::vector<uint8_t> ResourceFile(const Art& art) {
  bool icon = art.kind == "icon";
  std::vector<uint8_t> image = icon ? IconImage(art) : CursorImage(art);
  std::vector<uint8_t> file;
  Put16(file, 0);
  Put16(file, icon ? 1 : 2);
  Put16(file, 1);
  file.push_back(static_cast<uint8_t>(art.width & 0xFF));  // 256 is written as 0
  file.push_back(static_cast<uint8_t>(art.height & 0xFF));
  file.push_back(icon ? 0 : 2);  // colours in the table
  file.push_back(0);
  Put16(file, icon ? 1 : art.hotX);  // icons: planes; cursors: the hot spot
  Put16(file, icon ? 32 : art.hotY);  // icons: bits; cursors: the hot spot
  Put32(file, static_cast<uint32_t>(image.size()));
  Put32(file, 22);
  file.insert(file.end(), image.begin(), image.end());
  return file;
}

// The SDL backend's table of every picture: their pixels as bytes (icons: the colour, 255 for
// transparent; cursors: the character's place), named and sized.
std::string ResourceTable(const std::vector<Art>& arts) {
  std::ostringstream arrays, entries;
  for (const Art& art : arts) {
    arrays << "const uint8_t " << art.name << "Pixels[] = {\n";
    for (int y = 0; y < art.height; ++y) {
      for (int x = 0; x < art.width; ++x) {
        int p = art.pixels[y * art.width + x];
        arrays << (art.kind == "icon" && p == ArtTransparent ? 255 : p) << ',';
      }
      arrays << '\n';
    }
    arrays << "};\n";
    entries << "    {\"" << art.name << "\", "
            << (art.kind == "icon" ? "ResourceIcon" : "ResourceCursor") << ", " << art.width
            << ", " << art.height << ", " << art.hotX << ", " << art.hotY << ", " << art.name
            << "Pixels},\n";
  }
  return "// resources.cpp — the program's icons and cursors, written by torvex-win-resources\n"
         "// from data/*.art. Do not edit: edit the pictures.\n"
         "#include \"platform/sdl/backend.h\"\n\nnamespace {\n" +
         arrays.str() + "}  // namespace\n\nconst ProgramResource ProgramResources[] = {\n" +
         entries.str() + "    {nullptr, 0, 0, 0, 0, 0, nullptr}};\n" +
         "const int32_t ProgramResourceCount = " + std::to_string(arts.size()) + ";\n";
}

// Writes the file; one that already holds the text is left alone, so that nothing is compiled
// again for nothing.
bool WriteIfChanged(const char* path, const std::string& text) {
  std::ifstream old(path, std::ios::binary);
  std::ostringstream held;
  held << old.rdbuf();
  if (old && held.str() == text) return true;
  FILE* out = fopen(path, "wb");
  return out != nullptr && fwrite(text.data(), 1, text.size(), out) == text.size() &&
         fclose(out) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (AnswerVersion(argc, argv, "torvex-win-resources")) return 0;
  const char* usage =
      "usage: torvex-win-resources IN.art OUT.ico|OUT.cur\n"
      "       torvex-win-resources --table OUT.cpp IN.art...\n";
  if (argc == 2 && (std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h")) {
    fputs(usage, stdout);
    return 0;
  }
  if (argc >= 3 && std::string(argv[1]) == "--table") {
    std::vector<Art> arts(argc - 3);
    std::string why;
    for (int i = 3; i < argc; ++i) {
      if (!ReadArt(argv[i], arts[i - 3], why)) {
        fprintf(stderr, "torvex-win-resources: %s\n", why.c_str());
        return 1;
      }
    }
    if (!WriteIfChanged(argv[2], ResourceTable(arts))) {
      fprintf(stderr, "torvex-win-resources: %s: cannot be written\n", argv[2]);
      return 1;
    }
    return 0;
  }
  if (argc != 3 || std::string(argv[1]).rfind("--", 0) == 0 ||
      std::string(argv[2]).rfind("--", 0) == 0) {
    fputs(usage, stderr);
    return 2;
  }
  Art art;
  std::string why;
  if (!ReadArt(argv[1], art, why)) {
    fprintf(stderr, "torvex-win-resources: %s\n", why.c_str());
    return 1;
  }
  std::vector<uint8_t> file = ResourceFile(art);
  FILE* out = fopen(argv[2], "wb");
  if (out == nullptr || fwrite(file.data(), 1, file.size(), out) != file.size() ||
      fclose(out) != 0) {
    fprintf(stderr, "torvex-win-resources: %s: cannot be written\n", argv[2]);
    return 1;
  }
  return 0;
}
