// asset_render.cpp — pictures for looking at assets: PNG sheets of glyphs and images in the
// frame palette, and a preview of the benchmark's first window.
#include <png.h>

#include <algorithm>
#include <cstdio>

#include "app/app.h"
#include "assets/assets.h"
#include "tools/asset_tool.h"

namespace {


constexpr uint8_t GridColour = 22;  // dark blue lines between the cells of a sheet
constexpr int32_t PreviewWidth = 512;
constexpr int32_t PreviewHeight = 384;

struct Canvas {
  int32_t width, height;
  std::vector<uint8_t>& pixels;
  // Copies a width by height picture to (x, y), magnified; 0 pixels only when `opaque`.
  void Put(const uint8_t* picture, int32_t w, int32_t h, int32_t x, int32_t y, int32_t scale,
           bool opaque) {
    for (int32_t py = 0; py < h * scale; ++py) {
      for (int32_t px = 0; px < w * scale; ++px) {
        const uint8_t value = picture[(py / scale) * w + px / scale];
        if (x + px < 0 || x + px >= width || y + py < 0 || y + py >= height) continue;
        if (opaque || value != 0) pixels[(y + py) * width + x + px] = value;
      }
    }
  }
};

int32_t Field(const uint8_t* header, int index) {
  return static_cast<int16_t>(header[2 * index] | header[2 * index + 1] << 8);
}

// A glyph of the font, or a blank one where the font has none.
const uint8_t* GlyphOf(const AssetData& font, int code) {
  static const uint8_t blank[GlyphBytes] = {};
  const size_t at = static_cast<size_t>(code) * GlyphBytes;
  return code >= 0 && at + GlyphBytes <= font.bytes.size() ? &font.bytes[at] : blank;
}

void PutText(Canvas& canvas, const AssetData& font, const char* text, int codeShift, int32_t x,
             int32_t y, bool opaque) {
  for (int i = 0; text[i] != 0; ++i) {
    const int code = static_cast<uint8_t>(text[i]) + codeShift;
    canvas.Put(GlyphOf(font, code), 16, 16, x + 16 * i, y, 1, opaque);
  }
}

void RenderFontSheet(const AssetData& font, int32_t scale, Canvas& canvas) {
  const int32_t cell = 16 * scale + 1;
  for (size_t g = 0; g < font.records.size(); ++g) {
    canvas.Put(&font.bytes[font.records[g]], 16, 16, 1 + cell * static_cast<int32_t>(g % 16),
               1 + cell * static_cast<int32_t>(g / 16), scale, true);
  }
}

void FramePalette(png_color palette[256]) {
  for (int i = 0; i < 256; ++i) {
    uint8_t rgb[3] = {};
    FrameColour(i, rgb);
    palette[i] = {rgb[0], rgb[1], rgb[2]};
  }
}

// A fixed scatter of stars, about as dense as the scene's 256 in 64 by 64 tiles.
void PutStars(Canvas& canvas, const AssetData& font) {
  uint32_t seed = 12345;
  auto next = [&seed] { return (seed = seed * 1103515245u + 12345u) >> 16; };
  for (int i = 0; i < 48; ++i) {
    const int32_t column = next() % 32, row = next() % 24, code = 129 + next() % 5;
    canvas.Put(GlyphOf(font, code), 16, 16, 16 * column, 16 * row, 1, true);
  }
}

// Image 0 where the scene first places its fourteen border sprites.
void PutBorderSprites(Canvas& canvas, const AssetData& sprites) {
  if (sprites.records.empty()) return;
  const uint8_t* image = &sprites.bytes[sprites.records[0]];
  const uint8_t* pixels = image + ImageHeaderBytes;
  const int32_t w = Field(image, 0), h = Field(image, 1);
  for (int i = 0; i < 4; ++i) {
    canvas.Put(pixels, w, h, 16 + 128 * i, 0, 1, false);
    canvas.Put(pixels, w, h, 80 + 128 * i, 352, 1, false);
  }
  for (int i = 0; i < 3; ++i) {
    canvas.Put(pixels, w, h, 0, 16 + 128 * i, 1, false);
    canvas.Put(pixels, w, h, 480, 80 + 128 * i, 1, false);
  }
}

// Writes rows of `channels` bytes a pixel (1: indices into the frame palette, 4: RGBA).
bool WritePngRows(const std::string& path, int32_t width, int32_t height, int channels,
                  const uint8_t* data, std::string& why) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) {
    why = path + ": cannot be written";
    return false;
  }
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    std::fclose(file);
    why = path + ": the PNG could not be written";
    return false;
  }
  png_init_io(png, file);
  png_set_IHDR(png, info, width, height, 8,
               channels == 1 ? PNG_COLOR_TYPE_PALETTE : PNG_COLOR_TYPE_RGBA, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_color palette[256];
  if (channels == 1) {
    FramePalette(palette);
    png_set_PLTE(png, info, palette, 256);
  }
  png_write_info(png, info);
  for (int32_t y = 0; y < height; ++y) {
    png_write_row(png, const_cast<png_bytep>(data + static_cast<size_t>(y) * width * channels));
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return std::fclose(file) == 0;
}

}  // namespace

bool WritePalettePng(const std::string& path, int32_t width, int32_t height,
                     const std::vector<uint8_t>& pixels, std::string& why) {
  return WritePngRows(path, width, height, 1, pixels.data(), why);
}

bool WriteRgbaPng(const std::string& path, int32_t width, int32_t height,
                  const std::vector<uint8_t>& rgba, std::string& why) {
  return WritePngRows(path, width, height, 4, rgba.data(), why);
}

void RenderSheet(const AssetData& asset, int32_t scale, int32_t& width, int32_t& height,
                 std::vector<uint8_t>& pixels) {
  const int32_t count = static_cast<int32_t>(asset.records.size());
  if (asset.kind == AssetKind::Font) {
    width = 16 * (16 * scale + 1) + 1;
    height = (count + 15) / 16 * (16 * scale + 1) + 1;
  } else {
    width = 1, height = 0;
    for (size_t offset : asset.records) {
      width += Field(&asset.bytes[offset], 0) * scale + 1;
      height = std::max(height, Field(&asset.bytes[offset], 1) * scale);
    }
    height += 2;
  }
  pixels.assign(static_cast<size_t>(width) * height, GridColour);
  Canvas canvas = {width, height, pixels};
  if (asset.kind == AssetKind::Font) return RenderFontSheet(asset, scale, canvas);
  int32_t x = 1;
  for (size_t offset : asset.records) {
    const uint8_t* header = &asset.bytes[offset];
    canvas.Put(header + ImageHeaderBytes, Field(header, 0), Field(header, 1), x, 1, scale, true);
    x += Field(header, 0) * scale + 1;
  }
}

void RenderScenePreview(const AssetData& font, const AssetData& sprites,
                        std::vector<uint8_t>& pixels) {
  pixels.assign(PreviewWidth * PreviewHeight, 0);
  Canvas canvas = {PreviewWidth, PreviewHeight, pixels};
  PutStars(canvas, font);
  // The title block of the first quarter; the banner's code n shows glyph n + 32.
  for (int k = 0; k < 7; ++k) PutText(canvas, font, BannerRows[k], 32, 16, 16 * (3 + k), true);
  PutText(canvas, font, "ZOR32 Performance Test", 0, 16 * 5, 16 * 12, true);
  PutText(canvas, font, "Push [P] Key to Pause", 0, 16 * 5, 16 * 17, true);
  PutBorderSprites(canvas, sprites);
  PutText(canvas, font, "Wait a Minute !!", 0, 128, 128, false);
  PutText(canvas, font, "EXIT", 0, 224, 320, false);
}
