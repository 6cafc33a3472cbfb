// asset_sources.cpp — reads the editable sources of the data files: text art in which one
// character stands for one palette index, as declared by the file's own legend.
//
// Lines outside pictures:
//   # ...                      a comment (blank lines are skipped too)
//   colour C N                 the character C stands for palette index N from here on
//   shadow C                   small glyphs from here on cast a shadow of C's colour
//   glyph N                    16 rows of 16 characters follow: glyph code N as drawn
//   glyph N small              8 rows of 8 characters follow: glyph N at half size, doubled
//                              with its diagonals smoothed, then shadowed one pixel down-right
//   image N W H L R T B        H rows of W characters follow: image N (numbered from 0 in
//                              order), hit box left L, right R, top T, bottom B
// Picture rows are taken as they are, so they may begin with '#'. Glyph codes not given are
// blank up to the highest given.
#include <fstream>
#include <map>
#include <sstream>

#include "assets/assets.h"
#include "tools/asset_tool.h"

namespace {

struct SourceReader {
  std::ifstream in;
  std::string path;
  int line = 0;
  std::map<char, int> legend;
  int shadow = -1;  // palette index of small glyphs' shadow; -1 none
  std::string why;

  bool Fail(const std::string& message) {
    why = path + ":" + std::to_string(line) + ": " + message;
    return false;
  }
  bool NextLine(std::string& text) {
    if (!std::getline(in, text)) return false;
    ++line;
    if (!text.empty() && text.back() == '\r') text.pop_back();
    return true;
  }
};

// Reads `rows` rows of `columns` legend characters into pixels.
bool ReadPicture(SourceReader& src, int columns, int rows, std::vector<uint8_t>& pixels) {
  pixels.clear();
  std::string text;
  for (int y = 0; y < rows; ++y) {
    if (!src.NextLine(text))
      return src.Fail("the picture ends after " + std::to_string(y) + " rows");
    if (static_cast<int>(text.size()) != columns) {
      return src.Fail("the row has " + std::to_string(text.size()) + " characters, " +
                      std::to_string(columns) + " expected");
    }
    for (char c : text) {
      auto found = src.legend.find(c);
      if (found == src.legend.end())
        return src.Fail(std::string("'") + c + "' is not in the legend");
      pixels.push_back(static_cast<uint8_t>(found->second));
    }
  }
  return true;
}

// Doubles an 8 by 8 picture to 16 by 16, rounding diagonal steps: each pixel becomes four,
// and a quarter takes the colour of its two outer neighbours when they agree with each other
// and not with the other two (outside the picture a pixel's neighbour is itself).
std::vector<uint8_t> DoubleSmoothed(const std::vector<uint8_t>& small) {
  std::vector<uint8_t> big(GlyphBytes, 0);
  auto at = [&](int x, int y, int fx, int fy) {
    const int nx = (x + fx < 0 || x + fx > 7) ? x : x + fx;
    const int ny = (y + fy < 0 || y + fy > 7) ? y : y + fy;
    return small[ny * 8 + nx];
  };
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 8; ++x) {
      const uint8_t p = small[y * 8 + x];
      const uint8_t a = at(x, y, 0, -1), b = at(x, y, 1, 0), c = at(x, y, -1, 0),
                    d = at(x, y, 0, 1);
      big[(2 * y) * 16 + 2 * x] = (c == a && c != d && a != b) ? a : p;
      big[(2 * y) * 16 + 2 * x + 1] = (a == b && a != c && b != d) ? b : p;
      big[(2 * y + 1) * 16 + 2 * x] = (d == c && d != b && c != a) ? c : p;
      big[(2 * y + 1) * 16 + 2 * x + 1] = (b == d && b != a && d != c) ? d : p;
    }
  }
  return big;
}

// Background pixels just down-right of a drawn pixel take the shadow colour.
void CastShadow(std::vector<uint8_t>& glyph, uint8_t shadow) {
  for (int y = 15; y >= 1; --y) {
    for (int x = 15; x >= 1; --x) {
      const uint8_t above = glyph[(y - 1) * 16 + x - 1];
      if (glyph[y * 16 + x] == 0 && above != 0 && above != shadow) glyph[y * 16 + x] = shadow;
    }
  }
}

// Handles the legend lines; false with why set on a malformed one, true when handled or not one.
bool ReadLegendLine(SourceReader& src, std::istringstream& words, const std::string& word,
                    bool& handled) {
  handled = word == "colour" || word == "shadow";
  std::string symbol, extra;
  int index = -1;
  if (word == "colour") {
    if (!(words >> symbol >> index) || symbol.size() != 1 || index < 0 || index > 255 ||
        words >> extra) {
      return src.Fail("expected: colour C N, with one character C and N from 0 to 255");
    }
    src.legend[symbol[0]] = index;
  } else if (word == "shadow") {
    if (!(words >> symbol) || symbol.size() != 1 || !src.legend.count(symbol[0]) ||
        words >> extra) {
      return src.Fail("expected: shadow C, with C in the legend");
    }
    src.shadow = src.legend[symbol[0]];
  }
  return true;
}

bool ReadGlyph(SourceReader& src, std::istringstream& words,
               std::map<int, std::vector<uint8_t>>& glyphs) {
  int code = -1;
  std::string size, extra;
  if (!(words >> code) || code < 0 || code > 255)
    return src.Fail("expected: glyph N, N from 0 to 255");
  words >> size;
  if (glyphs.count(code)) return src.Fail("glyph " + std::to_string(code) + " is given twice");
  const bool small = size == "small";
  if ((!small && !size.empty()) || words >> extra) {
    return src.Fail("expected 'small' or nothing after the glyph code");
  }
  std::vector<uint8_t> pixels;
  if (!ReadPicture(src, small ? 8 : 16, small ? 8 : 16, pixels)) return false;
  if (small) {
    pixels = DoubleSmoothed(pixels);
    if (src.shadow >= 0) CastShadow(pixels, static_cast<uint8_t>(src.shadow));
  }
  glyphs[code] = pixels;
  return true;
}

void PutField(std::vector<uint8_t>& bytes, int value) {
  bytes.push_back(static_cast<uint8_t>(value & 0xFF));
  bytes.push_back(static_cast<uint8_t>((value >> 8) & 0xFF));
}

bool ReadImage(SourceReader& src, std::istringstream& words, AssetData& sprites) {
  int number = -1, width = 0, height = 0, box[4] = {};
  std::string extra;
  if (!(words >> number >> width >> height >> box[0] >> box[1] >> box[2] >> box[3]) ||
      words >> extra) {
    return src.Fail("expected: image N WIDTH HEIGHT LEFT RIGHT TOP BOTTOM");
  }
  if (number != static_cast<int>(sprites.records.size())) {
    return src.Fail("image " + std::to_string(number) + " out of order: image " +
                    std::to_string(sprites.records.size()) + " comes next");
  }
  if (width < 0 || height < 0 || width > 32767 || height > 32767) {
    return src.Fail("width and height must lie between 0 and 32767");
  }
  std::vector<uint8_t> pixels;
  if (!ReadPicture(src, width, height, pixels)) return false;
  sprites.records.push_back(sprites.bytes.size());
  for (int value : {width, height, box[0], box[1], box[2], box[3]}) PutField(sprites.bytes, value);
  sprites.bytes.insert(sprites.bytes.end(), pixels.begin(), pixels.end());
  return true;
}

// Reads a whole source: glyphs into `glyphs` (a font) or images into `sprites`.
bool ReadSource(const std::string& path, bool font, std::map<int, std::vector<uint8_t>>& glyphs,
                AssetData& sprites, std::string& why) {
  SourceReader src;
  src.path = path;
  src.in.open(path);
  if (!src.in) {
    why = path + ": cannot be opened";
    return false;
  }
  std::string text;
  bool ok = true;
  while (ok && src.NextLine(text)) {
    std::istringstream words(text);
    std::string word;
    if (!(words >> word) || word[0] == '#') continue;
    bool handled = false;
    ok = ReadLegendLine(src, words, word, handled);
    if (!ok || handled) continue;
    if (font && word == "glyph")
      ok = ReadGlyph(src, words, glyphs);
    else if (!font && word == "image")
      ok = ReadImage(src, words, sprites);
    else
      ok = src.Fail("unknown line '" + word + "'");
  }
  why = src.why;
  return ok;
}

}  // namespace

bool ParseFontSource(const std::string& path, AssetData& font, std::string& why) {
  std::map<int, std::vector<uint8_t>> glyphs;
  AssetData unused;
  font = AssetData();
  font.kind = AssetKind::Font;
  if (!ReadSource(path, true, glyphs, unused, why)) return false;
  if (glyphs.empty()) {
    why = path + ": holds no glyph";
    return false;
  }
  const int count = glyphs.rbegin()->first + 1;
  font.bytes.assign(static_cast<size_t>(count) * GlyphBytes, 0);
  for (const auto& [code, pixels] : glyphs) {
    std::copy(pixels.begin(), pixels.end(), font.bytes.begin() + code * GlyphBytes);
  }
  for (int i = 0; i < count; ++i) font.records.push_back(static_cast<size_t>(i) * GlyphBytes);
  return true;
}

bool ParseSpriteSource(const std::string& path, AssetData& sprites, std::string& why) {
  std::map<int, std::vector<uint8_t>> unused;
  sprites = AssetData();
  sprites.kind = AssetKind::Sprites;
  if (!ReadSource(path, false, unused, sprites, why)) return false;
  if (sprites.records.empty()) {
    why = path + ": holds no image";
    return false;
  }
  return true;
}
