// app.h — the benchmark application: the hooks of the frame (declared in frame/frame.h) and
// the benchmark's state. Everything here is global, exists once, is zero at program start and
// is used only by the hooks and the operations they call.
#pragma once

#include <cstdint>

#include "frame/frame.h"

// ---------------------------------------------------------------------------------------
// Scene set-up.

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

// The title block's banner: seven rows of exactly 30 characters, codes 96 to 123, drawn with
// the glyph table base 32 glyphs on so that code n shows glyph n + 32.
extern const char* const BannerRows[7];

// Draws a new scroll direction from the generator (never (0, 0)).
void ChooseScrollDirection();

// ---------------------------------------------------------------------------------------
// Tick, timing and input.

extern int64_t FrameCount;    // ticks that did their work; 64 bits so a long run never wraps
extern uint32_t StartTime;    // timer at the first OnResume
extern uint32_t PauseStart;   // timer at the latest OnPause; 0 until the first
extern uint32_t PausedTotal;  // total of the completed pauses

// The text the message sprite shows: "Wait a Minute !!" until the rate replaces it.
extern char ShownText[256];
