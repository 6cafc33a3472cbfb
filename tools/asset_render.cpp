// asset_render.cpp — pictures for looking at assets: PNG sheets of glyphs and images in the
// frame palette.
#include <algorithm>

#include "assets/assets.h"
#include "tools/asset_tool.h"

namespace {

constexpr uint8_t GridColour = 22;  // dark blue lines between the cells of a sheet

struct Canvas {
  int64_t width, height;
  std::vector<uint8_t>& pixels;
  // Copies a w by h picture to (x, y), magnified. Positions are 64-bit: a sheet may be wider
  // or taller than a 32-bit product of its sides allows.
  void Put(const uint8_t* picture, int64_t w, int64_t h, int64_t x, int64_t y, int64_t scale) {
    for (int64_t py = 0; py < h * scale; ++py) {
      if (y + py < 0 || y + py >= height) continue;
      uint8_t* row = &pixels[static_cast<size_t>((y + py) * width)];
      for (int64_t px = 0; px < w * scale; ++px) {
        if (x + px >= 0 && x + px < width) row[x + px] = picture[(py / scale) * w + px / scale];
      }
    }
  }
};

int32_t Field(const uint8_t* header, int index) {
  return static_cast<int16_t>(header[2 * index] | header[2 * index + 1] << 8);
}

// Checks each image's header against the bytes its record holds, and measures the sheet.
bool MeasureImages(const AssetData& asset, int64_t scale, int64_t& width, int64_t& height,
                   std::string& why) {
  width = 1, height = 0;
  for (size_t i = 0; i < asset.records.size(); ++i) {
    const size_t start = asset.records[i];
    const size_t end = i + 1 < asset.records.size() ? asset.records[i + 1] : asset.bytes.size();
    if (start > end || end - start < static_cast<size_t>(ImageHeaderBytes)) {
      why = "image " + std::to_string(i) + ": its record is shorter than a header";
      return false;
    }
    const int64_t w = Field(&asset.bytes[start], 0), h = Field(&asset.bytes[start], 1);
    if (w < 0 || h < 0 || static_cast<size_t>(w * h) != end - start - ImageHeaderBytes) {
      why = "image " + std::to_string(i) + ": a size of " + std::to_string(w) + " by " +
            std::to_string(h) + " does not match its " +
            std::to_string(end - start - ImageHeaderBytes) + " pixel bytes";
      return false;
    }
    width += w * scale + 1;
    height = std::max(height, h * scale);
  }
  height += 2;
  return true;
}

}  // namespace

bool RenderSheet(const AssetData& asset, int32_t scale, int32_t& width, int32_t& height,
                 std::vector<uint8_t>& pixels, std::string& why) {
  if (scale < 1 || scale > 16) {
    why = "the scale must be 1 to 16";
    return false;
  }
  const int64_t count = static_cast<int64_t>(asset.records.size());
  const int64_t cell = GlyphSide * scale + 1;
  int64_t sheetWidth = 16 * cell + 1, sheetHeight = (count + 15) / 16 * cell + 1;
  if (asset.kind == AssetKind::Sprites &&
      !MeasureImages(asset, scale, sheetWidth, sheetHeight, why))
    return false;
  for (int64_t g = 0; asset.kind == AssetKind::Font && g < count; ++g) {
    if (asset.records[g] + GlyphBytes > asset.bytes.size()) {
      why = "glyph " + std::to_string(g) + " is cut short";
      return false;
    }
  }
  // Each side is below 2^31 here (at most 128 images of 32,767 pixels times 16), so the product
  // is exact in 64 bits.
  const std::string size =
      "a sheet of " + std::to_string(sheetWidth) + " by " + std::to_string(sheetHeight) + " pixels";
  if (sheetWidth * sheetHeight > MaxSheetPixels) {
    why = size + " is larger than " + std::to_string(MaxSheetPixels) +
          " pixels: choose a smaller scale";
    return false;
  }
  if (std::max(sheetWidth, sheetHeight) > MaxSheetSide) {
    why = size + " has a side longer than " + std::to_string(MaxSheetSide) +
          " pixels: choose a smaller scale";
    return false;
  }
  width = static_cast<int32_t>(sheetWidth);
  height = static_cast<int32_t>(sheetHeight);
  pixels.assign(static_cast<size_t>(sheetWidth * sheetHeight), GridColour);
  Canvas canvas = {sheetWidth, sheetHeight, pixels};
  if (asset.kind == AssetKind::Font) {
    for (int64_t g = 0; g < count; ++g)
      canvas.Put(&asset.bytes[asset.records[g]], GlyphSide, GlyphSide, 1 + cell * (g % 16),
                 1 + cell * (g / 16), scale);
    return true;
  }
  int64_t x = 1;
  for (size_t offset : asset.records) {
    const uint8_t* header = &asset.bytes[offset];
    canvas.Put(header + ImageHeaderBytes, Field(header, 0), Field(header, 1), x, 1, scale);
    x += Field(header, 0) * static_cast<int64_t>(scale) + 1;
  }
  return true;
}
