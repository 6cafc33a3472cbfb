// graphics.h — the graphics engine: the toroidal Playfield with its TileMap and text writer,
// the SpriteTable and sprite images, and the composition of a frame.
//
// The Playfield block (Playfield, SpriteTable, TileMap) is one zero-filled allocation owned by
// the framework. Callers assign ScrollOrigin, TextCursor and slot fields directly. Only the
// compositor writes the FrameBuffer's pixels; ViewportShift and SpriteOrigin are reset to the
// first column by AllocPlayfield and from then on written by CopyViewport alone.
#pragma once

#include <cstdint>

#include "assets/assets.h"
#include "frame/frame.h"

// ---------------------------------------------------------------------------------------
// Playfield, tile map and text writer.

constexpr int32_t PlayfieldSize = 1024;            // pixels per side; wraps at both edges
constexpr int32_t PlayfieldMask = PlayfieldSize - 1;  // a coordinate taken round the Playfield
constexpr int32_t TilesPerSide = PlayfieldSize / GlyphSide;  // 64 tiles of one glyph each
constexpr int32_t SpriteSlotCount = 256;
constexpr int32_t PlayfieldBytes = PlayfieldSize * PlayfieldSize;
constexpr int32_t SpriteTableBytes = SpriteSlotCount * 32;  // slots of 32 bytes
constexpr int32_t TileMapBytes = TilesPerSide * TilesPerSide;
constexpr int32_t PlayfieldBlockBytes = PlayfieldBytes + SpriteTableBytes + TileMapBytes;

struct SpriteSlot {
  uint16_t flags;   // bit 0 attached, bit 15 visible
  uint8_t* pixels;  // first pixel of the attached image (just after its 12-byte header)
  int16_t x, y;     // window position of the image's top-left pixel
  int16_t width, height;
  int16_t hitLeft, hitRight, hitTop, hitBottom;  // hit box relative to (x, y), half-open
};
static_assert(sizeof(SpriteSlot) == 32, "a sprite slot is 32 bytes");

constexpr uint16_t SlotAttached = 0x0001;
constexpr uint16_t SlotVisible = 0x8000;

struct ScrollOriginRecord {
  int32_t x, y;  // Playfield pixel shown at the window's top-left; each 0..1023
};
struct TextCursorRecord {
  int32_t column, row;  // tile of WriteText's next glyph; each 0..63
};

extern uint8_t* Playfield;         // 1024 rows of 1024 pixels, (x, y) at y*1024 + x
extern SpriteSlot* SpriteTable;    // 256 slots
extern uint8_t* TileMap;           // 64 rows of 64 glyph codes, (column, row) at row*64 + column
extern ScrollOriginRecord ScrollOrigin;
extern TextCursorRecord TextCursor;
extern uint8_t* FrameTopRow;       // the FrameBuffer's top screen row; fixed by AllocPlayfield
extern uint8_t* SpriteOrigin;      // FrameTopRow + ViewportShift; AllocPlayfield, CopyViewport

// Allocates the block (null regions if that fails), zeroes the engine state, fixes
// FrameTopRow from the FrameBuffer, which must exist, and resets ViewportShift to 0 and
// SpriteOrigin to FrameTopRow.
void AllocPlayfield();
void FreePlayfield();
// Zeroes the whole block (every slot free) and ScrollOrigin and TextCursor.
void ClearPlayfield();
// Copies glyph code (256 bytes at glyphs + 256*code) onto tile (column mod 64, row mod 64).
void PutTile(uint32_t column, uint32_t row, int32_t code, const uint8_t* glyphs);
// Puts one glyph per byte along TextCursor's row from its column, wrapping at column 64.
void WriteText(const char* text, const uint8_t* glyphs);

// ---------------------------------------------------------------------------------------
// Sprite table and sprite images. Slot numbers are reduced to their low 8 bits; ranges are
// inclusive and empty when first > last. Images: 12-byte header (width, height, hit left,
// right, top, bottom; 16-bit little-endian) followed by width*height pixel bytes.

void AttachImage(uint32_t slot, const uint8_t* image);
void PlaceSprite(uint32_t slot, int32_t x, int32_t y);
void MoveSprites(uint32_t first, uint32_t last, int32_t dx, int32_t dy);
void ShowSprites(uint32_t first, uint32_t last);
// The lowest visible slot in first..last whose hit box meets the rectangle, or -1.
int32_t HitTest(int32_t x, int32_t y, int32_t width, int32_t height, uint32_t first,
                uint32_t last);
void MakeIdentityTable(uint8_t* table);
// Replaces every pixel p of the image by table[p].
void RecolourImage(uint8_t* image, const uint8_t* table);
// Appends a 16*n by 16 image of the text at cursor, stores its address in *image and advances
// cursor past it; hitBox non-zero gives a hit box over the whole image.
void MakeTextSprite(uint8_t** image, uint8_t*& cursor, const char* text, const uint8_t* glyphs,
                    int32_t hitBox);
// Draws the glyphs of text that fit whole into the image at (x, y).
void DrawTextInImage(uint8_t* image, int32_t x, int32_t y, const char* text,
                     const uint8_t* glyphs);

// ---------------------------------------------------------------------------------------
// Frame composition.

// Fills the FrameBuffer from the Playfield at ScrollOrigin; sets ViewportShift, SpriteOrigin.
void CopyViewport();
// Draws every visible slot over the FrameBuffer, slot 0 first, clipped to the window.
void DrawSprites();
// CopyViewport, DrawSprites, then the FrameBuffer into MainWindow; false when the window system
// could not take the frame (GetPlatformError says why): such a frame was not seen.
bool PresentFrame();

// A histogram of times in nanoseconds with a fixed number of buckets: exact below 64 ns, then
// 64 buckets per doubling (each about 1.6% wide) up to 2^63, so that the percentiles of any
// number of frames take this record and nothing more.
constexpr int32_t TimeBucketsPerDoubling = 64;
constexpr int32_t TimeBucketCount = TimeBucketsPerDoubling * 58;
struct TimeHistogram {
  int64_t counts[TimeBucketCount];
  int64_t total;  // values recorded
  int64_t max;    // the largest value recorded, exact
};
// Counts one time (negative times count as 0).
void RecordTime(TimeHistogram& histogram, int64_t ns);
// The nearest-rank percentile q (0 to 1) of the recorded times: the middle of the bucket that
// holds it, never above the largest time; 0 when nothing was recorded.
int64_t TimePercentile(const TimeHistogram& histogram, double q);
// The bucket of a time, and the middle of a bucket (exposed for tests and merging).
int32_t TimeBucket(int64_t ns);
int64_t TimeBucketMiddle(int32_t bucket);

// Phase times of the presented frames, for measurement runs: when FrameTimings is set,
// PresentFrame counts every frame and records the time from its start to the next frame's
// start and the nanoseconds spent in the viewport copy, the sprites and the copy to the window;
// a frame that the window system did not take is counted but its times are not recorded.
// The first frames, which warm caches and the sound device, are counted but not recorded:
// those before frame number skipFrames and those that begin within skipNs of the first.
// Null in the program, where it costs one test per frame.
// One recorded frame of a per-frame log: when it began (precise clock), the time since the
// previous frame began (what the frame histogram records), and its three stages; all in ns.
struct FrameLogEntry {
  int64_t start, frame, viewport, sprites, present;
};
struct FramePhaseTimes {
  TimeHistogram frame, viewport, sprites, present;
  // If log is set, every frame that records a frame time is also written there, as long as
  // logCount is below logCapacity: a buffer taken before the run, so nothing is allocated.
  FrameLogEntry* log;
  int64_t logCapacity;
  int64_t logCount;
  int64_t skipFrames;
  int64_t skipNs;
  int64_t firstStart;  // when the first frame began (precise clock)
  int64_t lastStart;   // when the latest frame began
  bool lastShown;      // the latest frame reached the window system
  int64_t count;       // frames presented
  void (*firstFrame)();  // if set, called as the first frame begins (a run starts its counters)
};
extern FramePhaseTimes* FrameTimings;
