// playfield.cpp — the Playfield block (Playfield, SpriteTable, TileMap), the engine's scroll
// and text state, and the writers that put glyph tiles and text into the Playfield.
//
// The block is allocated once at start-up and freed at shut-down; nothing here allocates per
// frame. Tiles are opaque: a glyph's 0 pixels replace what was under them.
#include "graphics/graphics.h"

#include <cstring>

#include "assets/assets.h"

uint8_t* Playfield = nullptr;        // start of the block; null until AllocPlayfield
SpriteSlot* SpriteTable = nullptr;   // right after the Playfield
uint8_t* TileMap = nullptr;          // right after the SpriteTable
ScrollOriginRecord ScrollOrigin;     // assigned by the application every frame
TextCursorRecord TextCursor;         // assigned by the application before WriteText
uint8_t* FrameTopRow = nullptr;      // fixed by AllocPlayfield from the FrameBuffer
uint8_t* SpriteOrigin = nullptr;     // AllocPlayfield, CopyViewport; read by DrawSprites

namespace {

// Copies one glyph onto tile (column, row) and records its code in the TileMap. Both are
// taken modulo TilesPerSide, so a cursor set out of range still lands inside the Playfield.
void DrawTile(uint32_t column, uint32_t row, uint8_t mapCode, const uint8_t* glyph) {
  column &= TilesPerSide - 1;
  row &= TilesPerSide - 1;
  TileMap[row * TilesPerSide + column] = mapCode;
  uint8_t* destination = Playfield + (row * GlyphSide) * PlayfieldSize + column * GlyphSide;
  for (int32_t line = 0; line < GlyphSide; ++line) {
    memcpy(destination, glyph, GlyphSide);
    glyph += GlyphSide;
    destination += PlayfieldSize;
  }
}
}  // namespace

void AllocPlayfield() {
  uint8_t* block = static_cast<uint8_t*>(AllocZeroed(PlayfieldBlockBytes));
  Playfield = block;
  SpriteTable = block != nullptr ? reinterpret_cast<SpriteSlot*>(block + PlayfieldBytes) : nullptr;
  TileMap = block != nullptr ? block + PlayfieldBytes + SpriteTableBytes : nullptr;
  ScrollOrigin = {0, 0};
  TextCursor = {0, 0};
  // The FrameBuffer is stored bottom-up: the top screen row is its last row in memory.
  FrameTopRow = FrameBuffer != nullptr ? FrameBuffer + (FrameHeight - 1) * FrameWidth : nullptr;
  SpriteOrigin = FrameTopRow;
  ViewportShift = 0;
}

void FreePlayfield() {
  if (Playfield != nullptr) FreeBlock(Playfield);
  Playfield = nullptr;
  SpriteTable = nullptr;
  TileMap = nullptr;
}

void ClearPlayfield() {
  // One pass over the block clears the picture, frees every slot and empties the TileMap.
  if (Playfield != nullptr) memset(Playfield, 0, PlayfieldBlockBytes);
  ScrollOrigin = {0, 0};
  TextCursor = {0, 0};
}

void PutTile(uint32_t column, uint32_t row, int32_t code, const uint8_t* glyphs) {
  DrawTile(column, row, static_cast<uint8_t>(code),
           glyphs + static_cast<ptrdiff_t>(code) * GlyphBytes);
}

void WriteText(const char* text, const uint8_t* glyphs) {
  for (; *text != '\0'; ++text) {
    uint8_t code = static_cast<uint8_t>(*text);
    DrawTile(static_cast<uint32_t>(TextCursor.column), static_cast<uint32_t>(TextCursor.row),
             code, glyphs + code * GlyphBytes);
    TextCursor.column = (TextCursor.column + 1) % TilesPerSide;
  }
}
