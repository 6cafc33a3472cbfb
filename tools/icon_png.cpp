// icon_png.cpp — torvex-icon-png: turns the program's icon source (data/AppIcon.art, 32 by 32
// in the 16 icon colours) into the PNG that the desktop entry shows.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "tools/asset_tool.h"
#include "torvex_version.h"

namespace {

// Reads the icon's rows as RGBA; false with a message on anything unexpected.
bool ReadIcon(const char* path, int& width, int& height, std::vector<uint8_t>& rgba) {
  std::ifstream in(path);
  std::string line, name;
  while (std::getline(in, line) && (line.empty() || line[0] == '#')) {}
  if (sscanf(line.c_str(), "icon %*s %d %d", &width, &height) != 2 || width <= 0 || height <= 0) {
    fprintf(stderr, "torvex-icon-png: %s: no \"icon NAME WIDTH HEIGHT\" line\n", path);
    return false;
  }
  for (int y = 0; y < height; ++y) {
    if (!std::getline(in, line) || static_cast<int>(line.size()) != width) {
      fprintf(stderr, "torvex-icon-png: %s: row %d is not %d pixels wide\n", path, y, width);
      return false;
    }
    for (char c : line) {
      std::string digits = "0123456789abcdef";
      size_t index = digits.find(c);
      uint32_t colour = index == std::string::npos ? 0 : IconColours[index];
      rgba.push_back(colour >> 16 & 0xFF);
      rgba.push_back(colour >> 8 & 0xFF);
      rgba.push_back(colour & 0xFF);
      rgba.push_back(index == std::string::npos ? 0 : 255);  // '.' is transparent
    }
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (AnswerVersion(argc, argv, "torvex-icon-png")) return 0;
  if (argc == 2 && strcmp(argv[1], "--help") == 0) {
    printf("usage: torvex-icon-png ICON.art OUT.png\n");
    return 0;
  }
  if (argc != 3) {
    fprintf(stderr, "usage: torvex-icon-png ICON.art OUT.png\n");
    return 2;
  }
  int width = 0, height = 0;
  std::vector<uint8_t> rgba;
  if (!ReadIcon(argv[1], width, height, rgba)) return 1;
  std::string why;
  if (!WriteRgbaPng(argv[2], width, height, rgba, why)) {
    fprintf(stderr, "torvex-icon-png: %s\n", why.c_str());
    return 1;
  }
  return 0;
}
