// state.cpp — the benchmark's global state: zero at program start, used only by its hooks.
#include "app/app.h"

char ProgramDir[256];
uint8_t* AssetArena;
uint8_t* ImageTable[256];
CursorHandle AppCursorHandle;
CursorHandle ArrowCursorHandle;
int32_t SceneReady;
int32_t ExitHighlighted;
int32_t ScrollDirX, ScrollDirY;
int32_t ScrollAccX, ScrollAccY;
int32_t VerticalSwing;
int32_t HorizontalSwing;

int64_t FrameCount;
int64_t StartTime;
int64_t PauseStart;
int64_t PausedTotal;
int64_t TimerValue;
uint32_t TimerLastRead;
int64_t TimerReads;
char ShownText[256];

RunLimitRecord RunLimit;
int32_t SeedFixed;
uint32_t SeedValue;
