// sprites.cpp — the SpriteTable operations (attach, place, move, show, hit-test) and the sprite
// images built or changed at run time: recolouring and text images made of glyphs.
//
// Slots point into the application's images and never copy pixels, so a change to an image
// shows in every slot that shows it. Nothing here allocates: text images are carved from the
// caller's arena by advancing its cursor.
#include "graphics/graphics.h"

#include <cstring>

#include "assets/assets.h"

namespace {
// Header field i of a sprite image (0 width, 1 height, 2..5 hit box), 16-bit little-endian.
int16_t HeaderField(const uint8_t* image, int32_t index) {
  return static_cast<int16_t>(image[2 * index] | image[2 * index + 1] << 8);
}

void PutHeaderField(uint8_t*& cursor, int32_t value) {
  *cursor++ = static_cast<uint8_t>(value);
  *cursor++ = static_cast<uint8_t>(value >> 8);
}

SpriteSlot& Slot(uint32_t slot) { return SpriteTable[slot & 0xFF]; }
}  // namespace

void AttachImage(uint32_t slot, const uint8_t* image) {
  SpriteSlot& s = Slot(slot);
  s.flags |= SlotAttached;
  // The engine only reads through this pointer; RecolourImage changes images, not slots.
  s.pixels = const_cast<uint8_t*>(image) + ImageHeaderBytes;
  s.width = HeaderField(image, 0);
  s.height = HeaderField(image, 1);
  s.hitLeft = HeaderField(image, 2);
  s.hitRight = HeaderField(image, 3);
  s.hitTop = HeaderField(image, 4);
  s.hitBottom = HeaderField(image, 5);
}

void PlaceSprite(uint32_t slot, int32_t x, int32_t y) {
  SpriteSlot& s = Slot(slot);
  if (s.flags == 0) return;
  s.x = static_cast<int16_t>(x);
  s.y = static_cast<int16_t>(y);
}

void MoveSprites(uint32_t first, uint32_t last, int32_t dx, int32_t dy) {
  first &= 0xFF;
  last &= 0xFF;
  for (uint32_t slot = first; slot <= last; ++slot) {
    SpriteSlot& s = SpriteTable[slot];
    if (s.flags == 0) continue;
    // Positions wrap around in 16 bits.
    s.x = static_cast<int16_t>(static_cast<uint16_t>(s.x) + static_cast<uint16_t>(dx));
    s.y = static_cast<int16_t>(static_cast<uint16_t>(s.y) + static_cast<uint16_t>(dy));
  }
}

void ShowSprites(uint32_t first, uint32_t last) {
  first &= 0xFF;
  last &= 0xFF;
  for (uint32_t slot = first; slot <= last; ++slot)
    if (SpriteTable[slot].flags != 0) SpriteTable[slot].flags |= SlotVisible;
}

int32_t HitTest(int32_t x, int32_t y, int32_t width, int32_t height, uint32_t first,
                uint32_t last) {
  // The query's edges are taken as signed 16-bit values; the slots' sums are not truncated.
  int32_t left = static_cast<int16_t>(x);
  int32_t top = static_cast<int16_t>(y);
  int32_t right = static_cast<int16_t>(static_cast<uint32_t>(x) + static_cast<uint32_t>(width));
  int32_t bottom =
      static_cast<int16_t>(static_cast<uint32_t>(y) + static_cast<uint32_t>(height));
  first &= 0xFF;
  last &= 0xFF;
  for (uint32_t slot = first; slot <= last; ++slot) {
    const SpriteSlot& s = SpriteTable[slot];
    if ((s.flags & SlotVisible) == 0) continue;
    // Strict comparisons: a box that only touches the query at an edge does not meet it.
    if (s.x + s.hitRight > left && s.x + s.hitLeft < right && s.y + s.hitBottom > top &&
        s.y + s.hitTop < bottom)
      return static_cast<int32_t>(slot);
  }
  return -1;
}

void MakeIdentityTable(uint8_t* table) {
  for (int32_t i = 0; i < 256; ++i) table[i] = static_cast<uint8_t>(i);
}

void RecolourImage(uint8_t* image, const uint8_t* table) {
  int32_t count = HeaderField(image, 0) * HeaderField(image, 1);
  uint8_t* pixels = image + ImageHeaderBytes;
  for (int32_t i = 0; i < count; ++i) pixels[i] = table[pixels[i]];
}

void MakeTextSprite(uint8_t** image, uint8_t*& cursor, const char* text, const uint8_t* glyphs,
                    int32_t hitBox) {
  int32_t length = static_cast<int32_t>(strlen(text));
  int32_t width = GlyphSide * length;
  *image = cursor;
  PutHeaderField(cursor, width);
  PutHeaderField(cursor, GlyphSide);
  PutHeaderField(cursor, 0);
  PutHeaderField(cursor, hitBox != 0 ? width : 0);
  PutHeaderField(cursor, 0);
  PutHeaderField(cursor, hitBox != 0 ? GlyphSide : 0);
  cursor += static_cast<ptrdiff_t>(GlyphBytes) * length;
  DrawTextInImage(*image, 0, 0, text, glyphs);
}

void DrawTextInImage(uint8_t* image, int32_t x, int32_t y, const char* text,
                     const uint8_t* glyphs) {
  int64_t width = HeaderField(image, 0);
  int64_t height = HeaderField(image, 1);
  // A line of text is drawn only where all 16 of its rows fit.
  if (y < 0 || height - y < GlyphSide) return;
  uint8_t* pixels = image + ImageHeaderBytes;
  int64_t glyphX = x;
  for (; *text != '\0'; ++text, glyphX += GlyphSide) {
    if (width - glyphX < GlyphSide) return;
    // A glyph cut by the left edge is left out whole.
    if (glyphX < 0) continue;
    const uint8_t* glyph = glyphs + static_cast<uint8_t>(*text) * GlyphBytes;
    uint8_t* destination = pixels + y * width + glyphX;
    for (int32_t line = 0; line < GlyphSide; ++line, destination += width)
      memcpy(destination, glyph + line * GlyphSide, GlyphSide);
  }
}
