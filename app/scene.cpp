// scene.cpp — the benchmark's set-up and tear-down: configuration, loading the font and the
// sprites into the arena, building the Playfield scene and the sprite layout, starting the tune.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <system_error>

#include "app/app.h"
#include "graphics/graphics.h"
#include "sound/sound.h"

namespace {

// Set when the program's own path did not fit ProgramDir: every data file name is then
// refused, so the program reports its font as unreadable instead of opening a wrong file.
bool programDirTooLong;

constexpr const char* TitleText = "ZOR32 Performance Test";

// The path of a data file into buffer, as FindDataFile finds it beside the program.
bool DataFilePath(char (&buffer)[256], const char* name) {
  return !programDirTooLong && FindDataFile(buffer, sizeof buffer, ProgramDir, name);
}

// The box names only the file; the standard error stream gets where it was looked for.
void SayWhichFile(const char* name, bool pathFits, const char* path) {
  if (!pathFits) {
    fprintf(stderr, "%s: %s: the program's folder is too long for the name\n", AppName, name);
    return;
  }
  std::error_code error;
  // string(), not c_str(): the native form of a path is wide on Windows.
  const std::string full = std::filesystem::absolute(path, error).string();
  fprintf(stderr, "%s: cannot load %s\n", AppName, error ? path : full.c_str());
}

// Shows the failure box and ends the program. The window's destruction posts the quit
// message with 0; posting it again with 1 makes the program's exit code say that it failed,
// while everything else happens as after any other end.
void ReportUnreadable(const char* text) {
  ShowMessageBox(nullptr, text, "ERROR", MB_OK);
  DestroyMainWindow(MainWindow);
  PostQuit(1);
}

// Loads the font, then the sprites, into the arena; false after the failure box was shown.
bool LoadAssets(uint8_t*& cursor) {
  const uint8_t* loadEnd = AssetArena + AssetArenaSize - TextSpriteBytes;
  char path[256];
  bool fits = DataFilePath(path, "TORVEX32.ZGL");
  if (!fits || LoadFontFile(path, cursor, AssetArena, loadEnd) == 0) {
    SayWhichFile("TORVEX32.ZGL", fits, path);
    ReportUnreadable("Couldn't Open 'TORVEX32.ZGL' !");
    return false;
  }
  fits = DataFilePath(path, "TORVEX32.ZOR");
  if (!fits ||
      LoadSpriteFile(path, cursor, ImageTable, ImageTableFileEntries, AssetArena, loadEnd) == 0) {
    SayWhichFile("TORVEX32.ZOR", fits, path);
    ReportUnreadable("Couldn't Open 'TORVEX32.ZOR' !");
    return false;
  }
  return true;
}

void OpenSounds() {
  char path[256];
  // A name that does not fit is treated like a missing file: that sound stays silent.
  if (DataFilePath(path, "TORVEX.MID")) Music.Open(path, 0);
  if (DataFilePath(path, "TORVEX.WAV")) Effect.Open(path, 0);
}

void DrawStars() {
  for (int i = 0; i < 256; ++i) {
    int r1 = rand();
    int r2 = rand();
    int r3 = rand();
    PutTile(static_cast<uint32_t>(r1 % TilesPerSide), static_cast<uint32_t>(r2 % TilesPerSide),
            129 + r3 % 5,
            AssetArena);
  }
}

void WriteAt(int32_t column, int32_t row, const char* text, const uint8_t* glyphs) {
  TextCursor.column = column % TilesPerSide;
  TextCursor.row = row % TilesPerSide;
  WriteText(text, glyphs);
}

void DrawTitleBlocks() {
  for (int32_t ox = 0; ox <= 32; ox += 32) {
    for (int32_t oy = 0; oy <= 32; oy += 32) {
      for (int32_t k = 1; k <= 7; ++k)
        WriteAt(ox + 1, oy + 2 + k, BannerRows[k - 1], AssetArena + 32 * 256);
      WriteAt(ox + 5, oy + 12, TitleText, AssetArena);
      WriteAt(ox + 5, oy + 17, PausePrompt, AssetArena);
    }
  }
}

void LayOutSprites() {
  AttachImage(ExitSlot, ImageTable[ExitImage]);
  PlaceSprite(ExitSlot, 224, 320);
  AttachImage(MessageSlot, ImageTable[MessageImage]);
  PlaceSprite(MessageSlot, 128, 128);
  ShowSprites(MessageSlot, ExitSlot);
  for (int32_t i = 0; i < 4; ++i) {
    AttachImage(i, ImageTable[0]);
    PlaceSprite(i, 16 + 128 * i, 0);
    AttachImage(4 + i, ImageTable[0]);
    PlaceSprite(4 + i, 80 + 128 * i, 352);
  }
  for (int32_t i = 0; i < 3; ++i) {
    AttachImage(8 + i, ImageTable[0]);
    PlaceSprite(8 + i, 0, 16 + 128 * i);
    AttachImage(11 + i, ImageTable[0]);
    PlaceSprite(11 + i, 480, 80 + 128 * i);
  }
  ShowSprites(0, 13);
}

}  // namespace

void ChooseScrollDirection() {
  do {
    ScrollDirX = rand() % 3 - 1;
    ScrollDirY = rand() % 3 - 1;
  } while (ScrollDirX == 0 && ScrollDirY == 0);
}

void OnConfigure(int, char** argv) {
  // The title is the benchmark's own, as users have always seen it: the program's version in
  // it is not the release number of this project (TORVEX_VERSION, --version), which counts
  // the releases of this implementation.
  AppName = "TORVEX32 version 3.0";
  IconName = "AppIcon";
  TickInterval = 0;

  // The directory part of the program's path, its last separator kept.
  const char* path = argv != nullptr && argv[0] != nullptr ? argv[0] : "";
  const char* separator = strrchr(path, PathSeparator);
  size_t length = separator == nullptr ? 0 : static_cast<size_t>(separator - path) + 1;
  programDirTooLong = length >= sizeof ProgramDir;
  if (!programDirTooLong) {
    memcpy(ProgramDir, path, length);
    ProgramDir[length] = 0;
  }

  // The initialisation file lives in the "Windows directory", asked for with 128 characters.
  // A directory that does not fit leaves IniPath empty: no position is read or written.
  char directory[128];
  uint32_t dirLength = GetWindowsDirectory(directory, sizeof directory);
  IniPath[0] = 0;
  if (dirLength > 0 && dirLength < sizeof directory) {
    const char tail[2] = {directory[dirLength - 1] == PathSeparator ? '\0' : PathSeparator, 0};
    snprintf(IniPath, sizeof IniPath, "%s%sTORVEX32.INI", directory, tail);
  } else if (dirLength >= sizeof directory) {
    fprintf(stderr, "%s: the configuration folder's path has %u characters, more than %zu: "
            "the window's position is not remembered\n",
            AppName, dirLength - 1, sizeof directory - 1);
  }

  srand(SeedFixed ? SeedValue : static_cast<unsigned>(time(nullptr)));
}

void OnStart() {
  AssetArena = static_cast<uint8_t*>(AllocZeroed(AssetArenaSize));
  if (AssetArena == nullptr) {
    // Without its arena the program cannot read its font: say so, as for an unreadable file.
    fprintf(stderr, "%s: cannot allocate the %d-byte asset arena\n", AppName, AssetArenaSize);
    ReportUnreadable("Couldn't Open 'TORVEX32.ZGL' !");
    return;
  }
  uint8_t* cursor = AssetArena;
  if (!LoadAssets(cursor)) return;
  MakeTextSprite(&ImageTable[ExitImage], cursor, ExitText, AssetArena, 1);
  MakeTextSprite(&ImageTable[MessageImage], cursor, WaitText, AssetArena, 1);
  OpenSounds();
  AppCursorHandle = LoadProgramCursor(AppInstance, "AppCursor");
  ArrowCursorHandle = LoadArrowCursor();
  SetCurrentCursor(AppCursorHandle);

  ClearPlayfield();
  DrawStars();
  DrawTitleBlocks();
  LayOutSprites();
  HorizontalSwing = VerticalSwing = 0;
  ScrollAccX = ScrollAccY = 0;
  ChooseScrollDirection();
  ExitHighlighted = 0;
  SceneReady = 1;
  Music.Play(PlayLoop);
}

void OnEnd() {
  PrintEndRate();
  // A measurement run keeps the last frame the window showed (after ending like a click on
  // "EXIT", that is the paused frame) while the FrameBuffer still exists.
  if (RunLimit.lastFrame != nullptr && FrameBuffer != nullptr) {
    for (int32_t y = 0; y < WindowHeight; ++y)
      memcpy(RunLimit.lastFrame + y * WindowWidth,
             FrameBuffer + (FrameHeight - 1 - y) * FrameWidth + ViewportShift, WindowWidth);
  }
  FreeBlock(AssetArena);
  AssetArena = nullptr;
  SetCurrentCursor(ArrowCursorHandle);
}
