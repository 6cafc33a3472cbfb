// art.cpp — the reader of the program's icon and cursor pictures (data/*.art).
#include <cstdio>
#include <fstream>

#include "tools/art.h"

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
