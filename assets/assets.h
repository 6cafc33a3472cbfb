// assets.h — the asset files: the font file (16 by 16 glyphs) and the sprite file (sprite
// images), both read byte by byte into the application's AssetArena, plain or packed.
//
// The loaders write only between the caller's cursor and arenaEnd, and move the cursor only on
// success; every failure returns 0.
#pragma once

#include <cstdint>

constexpr int32_t AssetArenaSize = 100000;  // bytes in the application's arena
constexpr int32_t GlyphSide = 16;            // a glyph is 16 by 16 pixels, top row first
constexpr int32_t GlyphBytes = GlyphSide * GlyphSide;
constexpr int32_t ImageHeaderBytes = 12;     // width, height, hit left, right, top, bottom

// Reads "ZGL" files: returns the number of glyphs stored from cursor on, or 0.
int32_t LoadFontFile(const char* path, uint8_t*& cursor, const uint8_t* arenaStart,
                     const uint8_t* arenaEnd);
// Reads "ZOR" files: stores each image's address into imageTable (at most tableEntries) and
// returns the number of images, or 0.
int32_t LoadSpriteFile(const char* path, uint8_t*& cursor, uint8_t** imageTable,
                       int32_t tableEntries, const uint8_t* arenaStart, const uint8_t* arenaEnd);

// Which check refused the latest load, for the asset tool's diagnostics. Every call of a
// loader writes LastLoadFailure: check None on success, otherwise the first check that failed.
enum class LoadCheck : int32_t {
  None,             // the load succeeded
  CannotOpen,       // the file cannot be opened, or is not a regular file
  Magic,            // the magic is wrong, or the file ends within it
  Version,          // the version byte is neither 0x30 nor 0x31, or missing
  NoRecords,        // a valid header and no record after it
  EndsInRecord,     // the file ends inside a record (glyph, image header or pixels)
  EndsInCopy,       // the file ends between a copy code and its length byte
  CopyTooLong,      // a copy's length byte L with L + 1 above the bytes the record lacks
  CopyBeforeArena,  // a copy's distance reaches before the arena's first byte
  ArenaFull,        // the record would be stored at or beyond the arena's end
  TableFull,        // more images than the table has entries
  TooLarge,         // an image's width or height is above 32,767
  CursorOutside,    // the cursor does not lie between arenaStart and arenaEnd
};
struct LoadFailure {
  LoadCheck check;     // None after a successful load
  int32_t record;      // the glyph or image being read, counted from 0 (-1: before the records)
  int64_t fileOffset;  // the file offset of the byte that failed the check (the file's length
                       // when it ended too soon)
};
extern LoadFailure LastLoadFailure;  // written by every loader call; read by the asset tool
