// compose.cpp — frame composition: the window's part of the toroidal Playfield is copied into
// the FrameBuffer, then the visible sprites are drawn over it. Only this file writes the
// FrameBuffer's pixels.
//
// This is the work of every frame: wrap-around is split into row pieces once per frame and
// sprites are clipped once per slot, so the pixel loops do no coordinate tests.
#include "graphics/graphics.h"

#include <algorithm>
#include <cstring>
#include <immintrin.h>

namespace {
constexpr int32_t SlotCount = 256;

// Whether the processor has 64-byte vectors with byte masks; checked once at start-up. Both
// pixel loops have a portable form for other processors (and for ComposePortable).
const bool HasWideVectors = [] {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw");
}();

// Copies n bytes (a multiple of 4). Fixed 64-byte pieces compile to plain vector moves; a
// library memcpy call per row measured much slower for rows this short.
inline void CopyBytes(uint8_t* destination, const uint8_t* source, int32_t n) {
  int32_t i = 0;
  for (; i + 64 <= n; i += 64) memcpy(destination + i, source + i, 64);
  for (; i + 16 <= n; i += 16) memcpy(destination + i, source + i, 16);
  for (; i < n; i += 4) memcpy(destination + i, source + i, 4);
}

// The same with 64-byte vectors: whole vectors, then one last vector that ends exactly at n
// and overlaps bytes already copied, so a row costs no more than ceil(n / 64) moves. Pieces
// under 64 bytes (only at a wrap) take a byte-masked move.
__attribute__((target("avx512f,avx512bw"))) inline void CopyBytesWide(
    uint8_t* destination, const uint8_t* source, int32_t n) {
  if (n < 64) {
    __mmask64 mask = (uint64_t{1} << n) - 1;
    _mm512_mask_storeu_epi8(destination, mask, _mm512_maskz_loadu_epi8(mask, source));
    return;
  }
  int32_t i = 0;
  for (; i + 64 <= n; i += 64) _mm512_storeu_si512(destination + i, _mm512_loadu_si512(source + i));
  if (i < n) _mm512_storeu_si512(destination + n - 64, _mm512_loadu_si512(source + n - 64));
}

using RowCopy = void (*)(uint8_t*, const uint8_t*, int32_t);

// Copies rows of the Playfield into consecutive screen rows of the FrameBuffer (each 516
// bytes lower in memory than the one above), from column xa on. When a row would cross the
// Playfield's right edge it is split once per frame into the part up to the edge and the
// rest from column 0.
template <RowCopy Copy, bool Wrap>
[[gnu::always_inline]] inline void CopyRows(uint8_t* destination, int32_t playfieldRow,
                                            int32_t rows, int32_t xa) {
  const int32_t firstPiece = Wrap ? PlayfieldSize - xa : FrameWidth;
  for (int32_t r = 0; r < rows; ++r, destination -= FrameWidth) {
    const uint8_t* source = Playfield + (playfieldRow + r) * PlayfieldSize;
    Copy(destination, source + xa, firstPiece);
    if (Wrap) Copy(destination + firstPiece, source, FrameWidth - firstPiece);
  }
}

// Screen rows from Playfield row y on, split where they pass row 1023.
template <RowCopy Copy, bool Wrap>
[[gnu::always_inline]] inline void CopyViewportRows(int32_t xa, int32_t y) {
  int32_t upperRows = std::min(FrameHeight, PlayfieldSize - y);
  CopyRows<Copy, Wrap>(FrameTopRow, y, upperRows, xa);
  if (upperRows < FrameHeight)
    CopyRows<Copy, Wrap>(FrameTopRow - upperRows * FrameWidth, 0, FrameHeight - upperRows, xa);
}

template <RowCopy Copy>
[[gnu::always_inline]] inline void CopyAllRows(int32_t xa, int32_t y) {
  if (xa + FrameWidth > PlayfieldSize)
    CopyViewportRows<Copy, true>(xa, y);
  else
    CopyViewportRows<Copy, false>(xa, y);
}

void CopyAllRowsPortable(int32_t xa, int32_t y) { CopyAllRows<CopyBytes>(xa, y); }
__attribute__((target("avx512f,avx512bw"))) void CopyAllRowsWide(int32_t xa, int32_t y) {
  CopyAllRows<CopyBytesWide>(xa, y);
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

// The same 64 pixels at a time: the non-zero bytes of the sprite become the store mask, so
// transparent pixels are never touched. The last piece of a row is cut by the width mask.
__attribute__((target("avx512f,avx512bw"))) void BlendRowsWide(
    uint8_t* destination, const uint8_t* source, int32_t width, int32_t rows,
    int32_t sourceStride) {
  const __mmask64 last = ~uint64_t{0} >> ((64 - width % 64) % 64);
  for (int32_t r = 0; r < rows; ++r) {
    for (int32_t i = 0; i < width; i += 64) {
      __mmask64 inside = i + 64 <= width ? ~uint64_t{0} : last;
      __m512i pixels = _mm512_maskz_loadu_epi8(inside, source + i);
      _mm512_mask_storeu_epi8(destination + i, _mm512_test_epi8_mask(pixels, pixels), pixels);
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
  if (HasWideVectors && !ComposePortable)
    BlendRowsWide(destination, source, right - left, bottom - top, width);
  else
    BlendRows(destination, source, right - left, bottom - top, width);
}
}  // namespace

bool ComposePortable = false;

void CopyViewport() {
  if (Playfield == nullptr || FrameTopRow == nullptr) return;
  // The origin is kept within the Playfield even if a caller let it run out of 0..1023.
  int32_t x = ScrollOrigin.x & (PlayfieldSize - 1);
  int32_t y = ScrollOrigin.y & (PlayfieldSize - 1);
  ViewportShift = x & 3;
  SpriteOrigin = FrameTopRow + ViewportShift;
  // Rows start at the column rounded down to a multiple of 4; the shift hides the rest.
  int32_t xa = x & ~3;
  if (HasWideVectors && !ComposePortable)
    CopyAllRowsWide(xa, y);
  else
    CopyAllRowsPortable(xa, y);
}

void DrawSprites() {
  if (SpriteTable == nullptr || SpriteOrigin == nullptr) return;
  // Slot order is drawing order: a higher slot covers a lower one.
  for (int32_t slot = 0; slot < SlotCount; ++slot)
    if ((SpriteTable[slot].flags & SlotVisible) != 0) DrawSlot(SpriteTable[slot]);
}
