// catch.cpp — "Catch", a small game on the torvex32 framework: a walled tile map, a red block
// that follows the mouse, four green gems drifting and bouncing off the walls, a score written
// in the framework's font, and the effect sounding on every catch. Everything goes through
// the public headers; the hooks it has no use for come from the null application.
//
// Options: --data DIR (where TORVEX32.ZGL and TORVEX.WAV are; default: the installed data
// directory), --ticks N (end after N frame steps and print the score). Until the mouse moves
// the block steers itself to the nearest gem, so that a headless run plays too.
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "assets/assets.h"
#include "frame/frame.h"
#include "graphics/graphics.h"
#include "sound/sound.h"

#ifndef CATCH_DATA_DIR
#define CATCH_DATA_DIR "."
#endif

namespace {

constexpr int32_t Tile = 16;
constexpr int32_t Columns = WindowWidth / Tile, Rows = WindowHeight / Tile;  // 32 by 24 shown
constexpr int32_t GemCount = 4;
constexpr uint32_t FirstGem = 0, LastGem = GemCount - 1;  // slots; drawn first, under the rest
constexpr uint32_t PlayerSlot = 8;
constexpr uint32_t ScoreSlot = 9;
constexpr int32_t PlayerSize = 20, GemSize = 12;
constexpr uint8_t Red = 20 + 36 * 5 + 6 * 1, Green = 20 + 36 * 1 + 6 * 5 + 2;  // colour cube

const char* dataDir = CATCH_DATA_DIR;
int64_t tickLimit = 0;  // 0: play until the window is closed
int64_t ticks = 0;
int32_t score = 0;
bool mouseSeen = false;
int32_t targetX = WindowWidth / 2, targetY = WindowHeight / 2;
int32_t gemDx[GemCount], gemDy[GemCount];
uint32_t randomState = 12345;  // fixed: every run plays the same game

uint8_t* arena = nullptr;  // the font, then the images
uint8_t* glyphs = nullptr;
uint8_t* scoreImage = nullptr;
bool ready = false;

uint32_t Random(uint32_t range) {
  randomState = randomState * 1103515245u + 12345u;
  return (randomState >> 16) % range;
}

// A size by size image of one colour with a hit box over all of it, at cursor.
uint8_t* MakeBlock(uint8_t*& cursor, int32_t size, uint8_t colour, bool rounded) {
  uint8_t* image = cursor;
  const int16_t header[6] = {int16_t(size), int16_t(size), 0, int16_t(size), 0, int16_t(size)};
  memcpy(image, header, sizeof header);  // the header is 16-bit little-endian, as here
  for (int32_t y = 0; y < size; ++y)
    for (int32_t x = 0; x < size; ++x) {
      // Gems are diamonds: pixels outside |dx| + |dy| <= size/2 stay transparent (0).
      int32_t d = abs(2 * x - size + 1) + abs(2 * y - size + 1);
      image[12 + y * size + x] = !rounded || d <= size ? colour : 0;
    }
  cursor += 12 + size * size;
  return image;
}

// The tile map: a wall of '#' round the shown area (open where the score is), a dotted
// floor, a few pillars.
void DrawMap() {
  for (int32_t row = 0; row < Rows; ++row)
    for (int32_t column = 0; column < Columns; ++column) {
      bool wall = row == 0 || row == Rows - 1 || column == 0 || column == Columns - 1;
      bool pillar = (column % 8 == 4) && (row % 6 == 3);
      int32_t code = wall || pillar ? '#' : ((column + row) % 4 == 0 ? '.' : ' ');
      if (row == 0 && column >= 2 && column < 12) code = ' ';  // the score's place
      PutTile(column, row, code, glyphs);
    }
}

void PlaceGem(uint32_t gem) {
  PlaceSprite(FirstGem + gem, Tile + int32_t(Random(WindowWidth - 2 * Tile - GemSize)),
              Tile + int32_t(Random(WindowHeight - 2 * Tile - GemSize)));
  do {
    gemDx[gem] = int32_t(Random(5)) - 2;
    gemDy[gem] = int32_t(Random(5)) - 2;
  } while (gemDx[gem] == 0 && gemDy[gem] == 0);
}

void ShowScore() {
  char text[16];
  snprintf(text, sizeof text, "SCORE %4d", score % 10000);
  DrawTextInImage(scoreImage, 0, 0, text, glyphs);
}

// Gems move and bounce off the wall tiles round the window.
void MoveGems() {
  for (uint32_t gem = 0; gem < GemCount; ++gem) {
    const SpriteSlot& slot = SpriteTable[FirstGem + gem];
    if (slot.x + gemDx[gem] < Tile || slot.x + gemDx[gem] > WindowWidth - Tile - GemSize)
      gemDx[gem] = -gemDx[gem];
    if (slot.y + gemDy[gem] < Tile || slot.y + gemDy[gem] > WindowHeight - Tile - GemSize)
      gemDy[gem] = -gemDy[gem];
    MoveSprites(FirstGem + gem, FirstGem + gem, gemDx[gem], gemDy[gem]);
  }
}

// Without the mouse the block heads for the nearest gem.
void ChooseTarget() {
  if (mouseSeen) return;
  const SpriteSlot& player = SpriteTable[PlayerSlot];
  int32_t best = -1;
  for (uint32_t gem = 0; gem < GemCount; ++gem) {
    const SpriteSlot& slot = SpriteTable[FirstGem + gem];
    int32_t distance = abs(slot.x - player.x) + abs(slot.y - player.y);
    if (best < 0 || distance < best) {
      best = distance;
      targetX = slot.x + GemSize / 2;
      targetY = slot.y + GemSize / 2;
    }
  }
}

// The block moves at most 4 pixels a step towards the target, inside the walls.
void MovePlayer() {
  const SpriteSlot& player = SpriteTable[PlayerSlot];
  int32_t toX = targetX - PlayerSize / 2 - player.x, toY = targetY - PlayerSize / 2 - player.y;
  int32_t dx = toX > 4 ? 4 : (toX < -4 ? -4 : toX), dy = toY > 4 ? 4 : (toY < -4 ? -4 : toY);
  constexpr int32_t right = WindowWidth - Tile - PlayerSize;
  constexpr int32_t bottom = WindowHeight - Tile - PlayerSize;
  int32_t x = player.x + dx, y = player.y + dy;
  PlaceSprite(PlayerSlot, x < Tile ? Tile : (x > right ? right : x),
              y < Tile ? Tile : (y > bottom ? bottom : y));
}

void CatchGems() {
  const SpriteSlot& player = SpriteTable[PlayerSlot];
  int32_t gem = HitTest(player.x, player.y, PlayerSize, PlayerSize, FirstGem, LastGem);
  if (gem < 0) return;
  score += 1;
  ShowScore();
  Effect.Play(PlayNoWait);
  PlaceGem(static_cast<uint32_t>(gem) - FirstGem);
}

void Fail(const char* text) {
  fprintf(stderr, "catch: %s\n", text);
  ShowMessageBox(nullptr, text, "Catch", MB_OK);
  DestroyMainWindow(MainWindow);
}

}  // namespace

void OnConfigure(int argc, char** argv) {
  AppName = "Catch";
  IconName = "AppIcon";
  TickInterval = 20;  // 50 steps a second
  IniPath[0] = 0;     // no saved window position
  for (int i = 1; i + 1 < argc; i += 2) {
    if (strcmp(argv[i], "--data") == 0) dataDir = argv[i + 1];
    if (strcmp(argv[i], "--ticks") == 0) tickLimit = strtoll(argv[i + 1], nullptr, 10);
  }
}

void OnStart() {
  arena = static_cast<uint8_t*>(AllocZeroed(AssetArenaSize));
  if (arena == nullptr) return Fail("out of memory");
  uint8_t* cursor = arena;
  char path[512];
  snprintf(path, sizeof path, "%s/TORVEX32.ZGL", dataDir);
  if (LoadFontFile(path, cursor, arena, arena + AssetArenaSize - 4096) == 0)
    return Fail("cannot read the font TORVEX32.ZGL (give its folder with --data DIR)");
  glyphs = arena;
  snprintf(path, sizeof path, "%s/TORVEX.WAV", dataDir);
  Effect.Open(path, 0);  // without it the game is silent

  ClearPlayfield();
  DrawMap();
  for (uint32_t gem = 0; gem < GemCount; ++gem) {
    AttachImage(FirstGem + gem, MakeBlock(cursor, GemSize, Green, true));
    PlaceGem(gem);
  }
  AttachImage(PlayerSlot, MakeBlock(cursor, PlayerSize, Red, false));
  PlaceSprite(PlayerSlot, WindowWidth / 2, WindowHeight / 2);
  MakeTextSprite(&scoreImage, cursor, "SCORE    0", glyphs, 0);
  AttachImage(ScoreSlot, scoreImage);
  PlaceSprite(ScoreSlot, 2 * Tile, 0);
  ShowSprites(0, 255);
  ready = true;
}

void OnTick() {
  if (!ready) return;
  ChooseTarget();
  MovePlayer();
  MoveGems();
  CatchGems();
  PresentFrame();
  ticks += 1;
  if (tickLimit > 0 && ticks >= tickLimit) DestroyMainWindow(MainWindow);
}

void OnMouseMove(int32_t x, int32_t y, int32_t, int32_t) {
  mouseSeen = true;
  targetX = x;
  targetY = y;
}

void OnEnd() {
  if (ready) printf("catch: score %d after %" PRId64 " ticks\n", score, ticks);
  Effect.Close();
  FreeBlock(arena);
  arena = nullptr;
}
