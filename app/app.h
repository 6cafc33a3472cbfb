// app.h — the benchmark application: the hooks of the frame (declared in frame/frame.h) and
// the benchmark's state. Everything here is global, exists once, is zero at program start and
// is used only by the hooks and the operations they call.
#pragma once

#include <cstdint>

#include "assets/assets.h"
#include "frame/frame.h"
#include "graphics/graphics.h"

// ---------------------------------------------------------------------------------------
// Scene set-up.

// The ImageTable's layout: the sprite file's images fill entries 0 to 127, the two text
// sprites follow. The scene shows them in the last two slots of the SpriteTable.
constexpr int32_t ImageTableFileEntries = 128;
constexpr int32_t ExitImage = 128;     // the "EXIT" text sprite
constexpr int32_t MessageImage = 129;  // "Wait a Minute !!", later the rate
constexpr uint32_t ExitSlot = SpriteSlotCount - 1;
constexpr uint32_t MessageSlot = SpriteSlotCount - 2;

constexpr char ExitText[] = "EXIT";
constexpr char WaitText[] = "Wait a Minute !!";
// The message sprite shows the rate instead once more than this much running time has passed.
constexpr int64_t RateShownAfterMs = 3000;
constexpr char PausePrompt[] = "Push [P] Key to Pause";  // on the picture while running
constexpr char StartPrompt[] = "Push [P] Key to Start";  // while paused

// Arena bytes of a text sprite: a header and a 16 by 16 glyph's pixels per character.
constexpr int32_t TextSpriteSize(int32_t characters) {
  return ImageHeaderBytes + characters * GlyphBytes;
}
// The two text sprites follow the loaded font and sprite files in the AssetArena: the loaders
// stop this far before its end, and the asset tool's build checks the data files against it.
constexpr int32_t TextSpriteBytes =
    TextSpriteSize(sizeof ExitText - 1) + TextSpriteSize(sizeof WaitText - 1);
static_assert(TextSpriteBytes == 1036 + 4108, "\"EXIT\" and the message sprite");

extern char ProgramDir[256];          // directory of the program's file, trailing separator kept
extern uint8_t* AssetArena;           // AssetArenaSize bytes; glyph table base of all text
extern uint8_t* ImageTable[256];      // 0..127 sprite file images; 128 "EXIT"; 129 the message
extern CursorHandle AppCursorHandle;  // "AppCursor"
extern CursorHandle ArrowCursorHandle;
extern int32_t SceneReady;            // 1 once OnStart has built the whole scene
extern int32_t ExitHighlighted;       // 1 while "EXIT" shows its highlight colour
extern int32_t ScrollDirX, ScrollDirY;  // step per tick, each -1, 0 or 1, never both 0
extern int32_t ScrollAccX, ScrollAccY;  // running sums of the steps
extern int32_t VerticalSwing;           // drives the top and bottom sprite rows
extern int32_t HorizontalSwing;         // drives the left and right sprite columns

// The path of a data file into buffer (size bytes): beside the program (programDir, its last
// separator kept), or else in the installed data directory when the file is there. False
// (nothing usable written) if it does not fit. The benchmark and the tools find their data
// files through it alike.
bool FindDataFile(char* buffer, size_t size, const char* programDir, const char* name);
// Whether two paths name the same file: one file under two names, or a name and a file that
// does not exist yet but would be it. The runner and torvex-compare refuse, through it, an
// output that is one of their inputs or their other output.
bool SameFile(const char* a, const char* b);

// The title block's banner: seven rows of exactly 30 characters, codes 96 to 123, drawn with
// the glyph table base 32 glyphs on so that code n shows glyph n + 32.
extern const char* const BannerRows[7];

// Draws a new scroll direction from the generator (never (0, 0)).
void ChooseScrollDirection();

// ---------------------------------------------------------------------------------------
// Tick, timing and input.

// Times are the multimedia timer's milliseconds, widened to 64 bits as they are read (the
// 32-bit timer wraps every 49.7 days), so that neither the frame count times ten nor the
// running time can overflow and a long run never shows a wrong or frozen rate.
extern int64_t FrameCount;    // ticks that did their work
extern int64_t StartTime;     // timer at the first OnResume
extern int64_t PauseStart;    // timer at the latest OnPause; 0 until the first
extern int64_t PausedTotal;   // total of the completed pauses
// The multimedia timer, widened to 64 bits: each read adds the 32-bit difference to the
// previous read, so wraps of the timer are carried on (reads are never 49 days apart).
int64_t ReadTimer();
extern int64_t TimerValue;      // the last value ReadTimer returned
extern uint32_t TimerLastRead;  // the timer's 32-bit reading behind it
extern int64_t TimerReads;      // reads so far; the first one starts TimerValue

// The rate the message sprite shows; empty while it still shows WaitText.
extern char ShownText[256];
// What the message sprite shows: the first sixteen characters of ShownText, or WaitText.
void GetShownText(char (&shown)[17]);
// Running time so far in milliseconds; while paused, up to the start of the pause.
int64_t RunningTimeMs();
// At the end of the program (not of a measurement run, which reports for itself): prints the
// text the window showed last and the exact rate, frames times 10,000 over the running time.
void PrintEndRate();

// ---------------------------------------------------------------------------------------
// Measurement runs. The headless runner sets these before RunApplication; the program leaves
// them zero, which means: seed from the calendar time, run until "EXIT" is clicked.

// What a run has shown so far, rewritten after every frame: a run that ends abruptly (killed,
// or ended at once by a second stop request) still leaves its frames and running time.
struct RunProgress {
  int64_t frames;     // frames shown
  int64_t runningMs;  // running time when the latest of them was shown
};

struct RunLimitRecord {
  int64_t frames;      // end after this many ticks (0: no limit)
  int64_t runningMs;   // end after this much running time (0: no limit)
  uint8_t* lastFrame;  // receives the last presented frame, 512x384 palette indices, top row
                       // first, when the benchmark ends (null: not kept)
  int64_t endedAtMs;   // out: running time when the limit was reached
  int32_t reached;     // out: 1 once the limit was reached (the window is being closed)
  // If set, called when the run pauses before its limit: a window that lost the focus or was
  // minimised waits for P, as the program does, and nobody may be watching it.
  void (*paused)();
  // If set, called once the run has ended, after its last frame and before the window closes
  // (the runner checks the screen there, outside every timed frame).
  void (*ending)();
  // The frames of the run, as the runner counts them: only a frame that reached the window
  // system is a frame. FrameCount, and the rate the window shows, count every tick.
  int64_t framesShown;     // out: ticks whose frame was handed to the window system
  int64_t framesNotShown;  // out: ticks whose frame the window system did not take
  int64_t failingFrames;   // out: frames not shown since the last one that was
  int64_t failingSinceMs;  // out: running time of the first of those
  int32_t presentFailed;   // out: 1 when frames could not be shown at all (the run ended there)
  char presentError[160];  // out: why the latest frame that was not shown was not
  RunProgress* progress;  // if set, kept up to date after every frame
};
extern RunLimitRecord RunLimit;
extern int32_t SeedFixed;  // 1: seed the generator with SeedValue, not the calendar time
extern uint32_t SeedValue;
