// compose.cpp — frame composition: the window's part of the toroidal Playfield is copied into
// the FrameBuffer, then the visible sprites are drawn over it. Only this file writes the
// FrameBuffer's pixels.
//
// This is the work of every frame: wrap-around is split into row pieces once per frame and
// sprites are clipped once per slot, so the pixel loops do no coordinate tests.
#include "graphics/graphics.h"

#include <algorithm>
#include <cstring>

namespace {

// Copies n bytes (a multiple of 4). Fixed 64-byte pieces compile to plain vector moves; a
// library memcpy call per row measured much slower for rows this short.
inline void CopyBytes(uint8_t* destination, const uint8_t* source, int32_t n) {
  int32_t i = 0;
  for (; i + 64 <= n; i += 64) memcpy(destination + i, source + i, 64);
  for (; i + 16 <= n; i += 16) memcpy(destination + i, source + i, 16);
  for (; i < n; i += 4) memcpy(destination + i, source + i, 4);
}

// Copies rows of the Playfield into consecutive screen rows of the FrameBuffer (each 516
// bytes lower in memory than the one above), from column xa on. When a row would cross the
// Playfield's right edge it is split once per frame into the part up to the edge and the
// rest from column 0.
template <bool Wrap>
void CopyRows(uint8_t* destination, int32_t playfieldRow, int32_t rows, int32_t xa) {
  const int32_t firstPiece = Wrap ? PlayfieldSize - xa : FrameWidth;
  for (int32_t r = 0; r < rows; ++r, destination -= FrameWidth) {
    const uint8_t* source = Playfield + (playfieldRow + r) * PlayfieldSize;
    CopyBytes(destination, source + xa, firstPiece);
    if (Wrap) CopyBytes(destination + firstPiece, source, FrameWidth - firstPiece);
  }
}

// Screen rows from Playfield row y on, split where they pass row 1023.
template <bool Wrap>
void CopyViewportRows(int32_t xa, int32_t y) {
  int32_t upperRows = std::min(FrameHeight, PlayfieldSize - y);
  CopyRows<Wrap>(FrameTopRow, y, upperRows, xa);
  if (upperRows < FrameHeight)
    CopyRows<Wrap>(FrameTopRow - upperRows * FrameWidth, 0, FrameHeight - upperRows, xa);
}

// Stores every non-zero pixel of one clipped sprite; 0 is transparent. The store is
// unconditional (the old pixel is written back where the sprite is transparent) so that the
// compiler can turn the row loop into vector blends.
void BlendRows(uint8_t* destination, const uint8_t* source, int32_t width, int32_t rows,
               int32_t sourceStride) {
  for (int32_t r = 0; r < rows; ++r) {
    for (int32_t i = 0; i < width; ++i) {
      uint8_t pixel = source[i];
      destination[i] = pixel != 0 ? pixel : destination[i];
    }
    source += sourceStride;
    destination -= FrameWidth;
  }
}

// Clips one visible slot against all four window edges and draws what is left. Both edges
// of each axis are tested, so no position or size can reach outside the FrameBuffer.
void DrawSlot(const SpriteSlot& slot) {
  int32_t x = slot.x, y = slot.y, width = slot.width, height = slot.height;
  int32_t left = std::max(x, 0), right = std::min(x + width, WindowWidth);
  int32_t top = std::max(y, 0), bottom = std::min(y + height, WindowHeight);
  if (right <= left || bottom <= top || slot.pixels == nullptr) return;
  const uint8_t* source = slot.pixels + (top - y) * width + (left - x);
  uint8_t* destination = SpriteOrigin - top * FrameWidth + left;
  BlendRows(destination, source, right - left, bottom - top, width);
}
}  // namespace

void CopyViewport() {
  if (Playfield == nullptr || FrameTopRow == nullptr) return;
  // The origin is kept within the Playfield even if a caller let it run out of 0..1023.
  int32_t x = ScrollOrigin.x & PlayfieldMask;
  int32_t y = ScrollOrigin.y & PlayfieldMask;
  ViewportShift = x & 3;
  SpriteOrigin = FrameTopRow + ViewportShift;
  // Rows start at the column rounded down to a multiple of 4; the shift hides the rest.
  int32_t xa = x & ~3;
  if (xa + FrameWidth > PlayfieldSize)
    CopyViewportRows<true>(xa, y);
  else
    CopyViewportRows<false>(xa, y);
}

void DrawSprites() {
  if (SpriteTable == nullptr || SpriteOrigin == nullptr) return;
  // Slot order is drawing order: a higher slot covers a lower one.
  for (int32_t slot = 0; slot < SpriteSlotCount; ++slot)
    if ((SpriteTable[slot].flags & SlotVisible) != 0) DrawSlot(SpriteTable[slot]);
}
