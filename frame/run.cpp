// run.cpp — the framework's main routine: start-up in its fixed order, the main loop that
// never waits and drives the frame steps, and shut-down in its fixed order.
#include <cstdio>

#include "frame/frame.h"
#include "graphics/graphics.h"
#include "sound/sound.h"

// The framework's settings: defaults here, changed by the application's OnConfigure.
const char* AppName = "ZOR32";
const char* IconName = "AppIcon";
int32_t TickInterval = 100;
char IniPath[256] = "";

InstanceHandle AppInstance = nullptr;  // set first thing by RunApplication
WindowHandle MainWindow = nullptr;     // set when the window is created
WindowPosition WindowPos = {0, 0};     // read at start-up, saved by WM_DESTROY, written at end
uint32_t LastTickTime = 0;             // the main loop's last frame step (made or skipped)
int AppArgCount = 0;                   // set by the start-up code
char** AppArgVector = nullptr;

namespace {

constexpr uint32_t ClassStyle = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS | CS_BYTEALIGNCLIENT;
constexpr uint32_t WindowStyle = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
// The outer size the window is created with; the window procedure then makes the client area
// exactly WindowWidth by WindowHeight.
constexpr int32_t CreateWidth = WindowWidth + 2;
constexpr int32_t CreateHeight = WindowHeight + 2;

// A start-up code that built no argument vector still gives the program's path as element 0.
void EnsureArguments() {
  static char path[4096];
  static char* arguments[2] = {path, nullptr};
  if (AppArgVector != nullptr) return;
  GetProgramFilePath(path, sizeof path);
  AppArgCount = 1;
  AppArgVector = arguments;
}

bool RegisterFrameClass() {
  WindowClass windowClass{ClassStyle, FrameWndProc, AppInstance,
                          LoadProgramIcon(AppInstance, IconName), AppName};
  return RegisterWindowClass(windowClass);
}

// The window at (left, top) meets the screen at least partly.
bool Overlaps(const Rect& screen, int32_t left, int32_t top) {
  // In 64 bits: a remembered position may be anything a 32-bit number holds.
  return left < screen.right && int64_t{left} + CreateWidth > screen.left &&
         top < screen.bottom && int64_t{top} + CreateHeight > screen.top;
}

// A remembered position where the window would be on no screen (saved while minimised, or on
// a display that is gone) is replaced by the middle of the first screen; any position where
// some of the window shows is kept exactly.
void KeepWindowVisible() {
  Rect screens[16];
  int32_t count = GetScreenRects(screens, 16);
  // A remembered Left of -2147483648 is a place off every screen like any other: taken as the
  // platform's choice of position it would put the window where each system likes, a
  // different place on each.
  if (count <= 0) return;
  for (int32_t i = 0; i < count && i < 16; ++i)
    if (Overlaps(screens[i], WindowPos.left, WindowPos.top)) return;
  const Rect& first = screens[0];
  WindowPos.left = first.left + (first.right - first.left - CreateWidth) / 2;
  WindowPos.top = first.top + (first.bottom - first.top - CreateHeight) / 2;
  if (WindowPos.left < first.left) WindowPos.left = first.left;
  if (WindowPos.top < first.top) WindowPos.top = first.top;
}

void ReadWindowPos() {
  if (IniPath[0] == 0) {
    WindowPos = {CW_USEDEFAULT, CW_USEDEFAULT};
    return;
  }
  WindowPos.left = GetProfileInt("Setup", "Left", 0, IniPath);
  WindowPos.top = GetProfileInt("Setup", "Top", 0, IniPath);
  KeepWindowVisible();
}

void WriteWindowPos() {
  if (IniPath[0] == 0) return;
  char text[16];
  snprintf(text, sizeof text, "%i", static_cast<int>(WindowPos.left));
  WriteProfileString("Setup", "Left", text, IniPath);
  snprintf(text, sizeof text, "%i", static_cast<int>(WindowPos.top));
  WriteProfileString("Setup", "Top", text, IniPath);
}

// What the building phase could not get ends the program with one line saying so.
int32_t StartFailed(const char* what) {
  const char* reason = GetPlatformError();
  fprintf(stderr, "%s: cannot %s%s%s\n", AppName, what, reason[0] != 0 ? ": " : "", reason);
  return 1;
}

int32_t RunMainLoop() {
  LastTickTime = GetTickCount();
  Message message{};
  for (;;) {
    // Every pending message goes before any frame step.
    if (PeekWindowMessage(&message)) {
      if (message.message == WM_QUIT) return static_cast<int32_t>(message.first);
      TranslateWindowMessage(message);
      DispatchWindowMessage(message);
      continue;
    }
    uint32_t now = GetTickCount();
    // Modulo 2^32 and signed, so the step is on time across the wrap of the count.
    if (static_cast<int32_t>(now - LastTickTime) < TickInterval) continue;
    LastTickTime = now;
    if (RunFlags == 0) OnTick();
  }
}

// Builds the frame buffer and the Playfield block and creates and shows the window; a
// non-zero result is the exit code of a failure, after releasing what was built.
int32_t BuildWindow(int32_t showCommand) {
  if (FrameDC == nullptr) CreateFrameBuffer();
  if (FrameBuffer == nullptr) {
    DestroyFrameBuffer();
    return StartFailed("create the frame buffer");
  }
  AllocPlayfield();
  if (Playfield == nullptr) {
    FreePlayfield();
    DestroyFrameBuffer();
    return StartFailed("allocate the Playfield block");
  }
  ClearPlayfield();
  ReadWindowPos();
  MainWindow = CreateMainWindow(AppName, AppName, WindowStyle, WindowPos.left, WindowPos.top,
                                CreateWidth, CreateHeight, AppInstance);
  // The sound players post their notices to the window: hand it down to them.
  NoticeWindow = MainWindow;
  if (MainWindow == nullptr) {
    FreePlayfield();
    DestroyFrameBuffer();
    return StartFailed("create the window");
  }
  ShowMainWindow(MainWindow, showCommand == SW_SHOWMAXIMIZED ? SW_SHOWNORMAL : showCommand);
  UpdateMainWindow(MainWindow);
  return 0;
}

}  // namespace

int32_t RunApplication(InstanceHandle instance, InstanceHandle previousInstance, const char*,
                       int32_t showCommand) {
  AppInstance = instance;
  ResetSystemPalette();
  EnsureArguments();
  OnConfigure(AppArgCount, AppArgVector);
  if (previousInstance == nullptr && !RegisterFrameClass()) return 0;
  if (int32_t failure = BuildWindow(showCommand)) return failure;
  OnStart();
  int32_t exitCode = RunMainLoop();
  WriteWindowPos();
  OnEnd();
  DestroyFrameBuffer();
  FreePlayfield();
  return exitCode;
}
