// icon_png.cpp — torvex-icon-png: turns the program's icon source (data/AppIcon.art, 32 by 32
// in the 16 icon colours) into the PNGs that the desktop entry shows, at any size, so that
// every size of the desktop icon is drawn from the one picture the window uses.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "pngfile/pngfile.h"
#include "tools/art.h"
#include "torvex_version.h"

namespace {

// Reads the icon's rows as RGBA; false with a message on anything unexpected.
bool ReadIcon(const char* path, int& width, int& height, std::vector<uint8_t>& rgba) {
  Art art;
  std::string why;
  if (!ReadArt(path, art, why) || art.kind != "icon") {
    if (why.empty()) why = std::string(path) + ": a cursor, not an icon";
    fprintf(stderr, "torvex-icon-png: %s\n", why.c_str());
    return false;
  }
  width = art.width, height = art.height;
  for (int p : art.pixels) {
    uint32_t colour = p != ArtTransparent ? IconColours[p] : 0;
    rgba.push_back(colour >> 16 & 0xFF);
    rgba.push_back(colour >> 8 & 0xFF);
    rgba.push_back(colour & 0xFF);
    rgba.push_back(p != ArtTransparent ? 255 : 0);
  }
  return true;
}

// Resamples a square RGBA picture to size by size: each new pixel is the area-weighted mean of
// the source pixels it covers, colours weighted by their opacity. Whole multiples keep every
// source pixel a sharp square; other sizes blend only along the seams.
std::vector<uint8_t> Resample(const std::vector<uint8_t>& rgba, int from, int size) {
  std::vector<uint8_t> out;
  out.reserve(static_cast<size_t>(size) * size * 4);
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      double sum[4] = {0, 0, 0, 0};
      // The new pixel covers [x, x+1) * from / size of the source, likewise in y.
      double x0 = double(x) * from / size, x1 = double(x + 1) * from / size;
      double y0 = double(y) * from / size, y1 = double(y + 1) * from / size;
      for (int sy = int(y0); sy < from && sy < y1; ++sy) {
        double h = std::min<double>(sy + 1, y1) - std::max<double>(sy, y0);
        for (int sx = int(x0); sx < from && sx < x1; ++sx) {
          double w = (std::min<double>(sx + 1, x1) - std::max<double>(sx, x0)) * h;
          const uint8_t* p = &rgba[(static_cast<size_t>(sy) * from + sx) * 4];
          double a = w * p[3];
          for (int c = 0; c < 3; ++c) sum[c] += a * p[c];
          sum[3] += a;
        }
      }
      double area = double(from) * from / (double(size) * size);
      for (int c = 0; c < 3; ++c)
        out.push_back(sum[3] > 0 ? static_cast<uint8_t>(sum[c] / sum[3] + 0.5) : 0);
      out.push_back(static_cast<uint8_t>(std::min(255.0, sum[3] / area + 0.5)));
    }
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (AnswerVersion(argc, argv, "torvex-icon-png")) return 0;
  if (argc == 2 && strcmp(argv[1], "--help") == 0) {
    printf("usage: torvex-icon-png ICON.art OUT.png [SIZE]\n");
    return 0;
  }
  if (argc != 3 && argc != 4) {
    fprintf(stderr, "usage: torvex-icon-png ICON.art OUT.png [SIZE]\n");
    return 2;
  }
  int width = 0, height = 0;
  std::vector<uint8_t> rgba;
  if (!ReadIcon(argv[1], width, height, rgba)) return 1;
  if (argc == 4) {
    char* end = nullptr;
    long size = strtol(argv[3], &end, 10);
    if (end == argv[3] || *end != 0 || size < 1 || size > 1024 || width != height) {
      fprintf(stderr, "torvex-icon-png: the size must be 1 to 1024 and the icon square\n");
      return 2;
    }
    rgba = Resample(rgba, width, static_cast<int>(size));
    width = height = static_cast<int>(size);
  }
  std::string why;
  if (!WriteRgbaPng(argv[2], width, height, rgba, why)) {
    fprintf(stderr, "torvex-icon-png: %s\n", why.c_str());
    return 1;
  }
  return 0;
}
