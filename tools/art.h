// art.h — the program's icon and cursor pictures, drawn as text in data/*.art: the one reader
// of the format, which the build (the SDL backend's resource table, the Windows build's icon
// and cursor files, both made by torvex-win-resources) and torvex-icon-png share.
//
// An .art file holds comment lines ("#") and empty lines, then one header line
// "icon NAME WIDTH HEIGHT" or "cursor NAME WIDTH HEIGHT HOTX HOTY" (sides 1 to 256), then one
// line of WIDTH characters per pixel row, top row first. Icon pixels are 0-9 and a-f (the
// sixteen IconColours) or '.' (transparent); cursor pixels are '#' black, 'o' white,
// '.' transparent and '~' inverted.
#pragma once

#include <string>
#include <vector>

struct Art {
  std::string kind, name;  // "icon" or "cursor"; the resource's name
  int width = 0, height = 0, hotX = 0, hotY = 0;
  // Row by row, top first. Icons: colour 0..15, ArtTransparent; cursors: the character's
  // place in ". # o ~" (0..3).
  std::vector<int> pixels;
};
constexpr int ArtTransparent = 16;

// Reads the picture; false with the file, line and reason in why.
bool ReadArt(const char* path, Art& art, std::string& why);
