// win_resources.cpp — torvex-win-resources: turns the program's icon and cursor sources
// (data/*.art) into the icon (.ico) and cursor (.cur) files that the Windows build's resource
// script compiles into the program.
//
// The icon becomes one 32-bit image with an AND mask for its transparent pixels; the cursor a
// monochrome image whose XOR and AND masks give black, white, transparent and inverted pixels.
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "torvex_version.h"

namespace {

// The 16 icon colours (0x00RRGGBB), as the SDL backend and the desktop icon draw them.
const uint32_t IconColours[16] = {0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080,
                                  0x008080, 0xC0C0C0, 0x808080, 0xFF0000, 0x00FF00, 0xFFFF00,
                                  0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF};

struct Art {
  std::string kind, name;
  int width = 0, height = 0, hotX = 0, hotY = 0;
  std::vector<int> pixels;  // icons: colour 0..15, 16 transparent; cursors: . # o ~ as 0..3
};

bool ReadArt(const char* path, Art& art, std::string& why) {
  std::ifstream in(path);
  if (!in) {
    why = std::string(path) + ": cannot be read";
    return false;
  }
  std::string line;
  int number = 0;
  while (std::getline(in, line) && (++number, line.empty() || line[0] == '#')) {}
  char kind[16] = "", name[64] = "";
  int fields = sscanf(line.c_str(), "%15s %63s %d %d %d %d", kind, name, &art.width,
                      &art.height, &art.hotX, &art.hotY);
  art.kind = kind;
  art.name = name;
  if (!((art.kind == "icon" && fields == 4) || (art.kind == "cursor" && fields == 6)) ||
      art.width <= 0 || art.height <= 0 || art.width > 256 || art.height > 256) {
    why = std::string(path) + ":" + std::to_string(number) +
          ": expected 'icon NAME W H' or 'cursor NAME W H HOTX HOTY'";
    return false;
  }
  const std::string chars = art.kind == "icon" ? "0123456789abcdef." : ".#o~";
  for (int y = 0; y < art.height; ++y) {
    ++number;
    if (!std::getline(in, line) || static_cast<int>(line.size()) != art.width) {
      why = std::string(path) + ":" + std::to_string(number) + ": a row of " +
            std::to_string(art.width) + " pixels expected";
      return false;
    }
    for (char c : line) {
      size_t value = chars.find(c);
      if (value == std::string::npos) {
        why = std::string(path) + ":" + std::to_string(number) + ": '" + c + "' is no pixel";
        return false;
      }
      art.pixels.push_back(static_cast<int>(value));
    }
  }
  return true;
}

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
      uint32_t colour = p < 16 ? IconColours[p] : 0;
      image.push_back(colour & 0xFF);
      image.push_back(colour >> 8 & 0xFF);
      image.push_back(colour >> 16 & 0xFF);
      image.push_back(p < 16 ? 0xFF : 0);
    }
  }
  for (int y = art.height - 1; y >= 0; --y)
    PutMaskRow(image, art.width, [&](int x) { return art.pixels[y * art.width + x] == 16; });
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

}  // namespace

int main(int argc, char** argv) {
  if (AnswerVersion(argc, argv, "torvex-win-resources")) return 0;
  const char* usage = "usage: torvex-win-resources IN.art OUT.ico|OUT.cur\n";
  if (argc == 2 && (std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h")) {
    fputs(usage, stdout);
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
