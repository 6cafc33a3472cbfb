// assets.h — the asset files: the font file (16 by 16 glyphs) and the sprite file (sprite
// images), both read byte by byte into the application's AssetArena, plain or packed.
//
// The loaders write only between the caller's cursor and arenaEnd, and move the cursor only on
// success; every failure returns 0.
#pragma once

#include <cstdint>

constexpr int32_t AssetArenaSize = 100000;  // bytes in the application's arena
constexpr int32_t GlyphBytes = 256;          // one 16 by 16 glyph
constexpr int32_t ImageHeaderBytes = 12;     // width, height, hit left, right, top, bottom

// Reads "ZGL" files: returns the number of glyphs stored from cursor on, or 0.
int32_t LoadFontFile(const char* path, uint8_t*& cursor, const uint8_t* arenaStart,
                     const uint8_t* arenaEnd);
// Reads "ZOR" files: stores each image's address into imageTable (at most tableEntries) and
// returns the number of images, or 0.
int32_t LoadSpriteFile(const char* path, uint8_t*& cursor, uint8_t** imageTable,
                       int32_t tableEntries, const uint8_t* arenaStart, const uint8_t* arenaEnd);
