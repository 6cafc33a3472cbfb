// frame.h — the application frame: start-up, main loop and shut-down; the colour table, the
// palettes and the 8-bit FrameBuffer; the window procedure and the run state; and the hooks
// that the application supplies and the framework calls by name.
//
// Only the compositor (graphics/) writes the FrameBuffer's pixels; the window procedure and
// the presentation only read them.
#pragma once

#include <cstdint>

#include "platform/platform.h"

// ---------------------------------------------------------------------------------------
// Palette and frame buffer.

constexpr int32_t FrameWidth = 516;        // bytes per FrameBuffer row, 4 more than shown
constexpr int32_t FrameHeight = 384;
constexpr int32_t WindowWidth = 512;       // the client area, always exactly this size
constexpr int32_t WindowHeight = 384;
constexpr int32_t FrameBytes = FrameWidth * FrameHeight;  // 198,144

// The layout of FrameColours: the display's static colours at both ends (StaticColourCount
// and HighStaticFirst, platform.h), black beside them, and a 6 by 6 by 6 colour cube in the
// middle.
constexpr int32_t ColourCubeFirst = 20;
constexpr int32_t ColourCubeLast = 235;
// The colour FrameColours holds at an index between the static colours: for 20 + 36r + 6g + b
// of the cube, each level times 51; black elsewhere. Flags 0.
constexpr PaletteEntry CubeColour(int32_t index) {
  if (index < ColourCubeFirst || index > ColourCubeLast) return {0, 0, 0, 0};
  const int32_t k = index - ColourCubeFirst;
  return {static_cast<uint8_t>(k / 36 * 51), static_cast<uint8_t>(k / 6 % 6 * 51),
          static_cast<uint8_t>(k % 6 * 51), 0};
}

extern PaletteEntry FrameColours[256];  // the fixed colour table; filled by CreateFrameBuffer
extern uint8_t* FrameBuffer;            // pixel memory, rows bottom-up: (x, y) at (383-y)*516+x
// First shown FrameBuffer column (0..3): reset to 0 by AllocPlayfield, then set by CopyViewport
// on every frame; read by CopyToWindow.
extern int32_t ViewportShift;
extern PaletteHandle WindowPalette;     // selected into the window's contexts; null until created
extern PaletteHandle BufferPalette;     // selected into FrameDC
extern ContextHandle FrameDC;           // memory context holding the FrameBuffer; null until created

// Clears the display's palette to black once, before the frame palette is realised.
void ResetSystemPalette();
// Builds FrameColours, both palettes, FrameDC and the FrameBuffer. Works without a window.
void CreateFrameBuffer();
// Releases what CreateFrameBuffer made; skips what does not exist.
void DestroyFrameBuffer();
// Shows the 512 visible columns from ViewportShift in the window the context belongs to; false
// when the window system could not take them (GetPlatformError says why).
bool CopyToWindow(ContextHandle context);

// ---------------------------------------------------------------------------------------
// Start-up, main loop and shut-down.

struct WindowPosition {
  int32_t left, top;
};

extern const char* AppName;   // window class name and title; default "ZOR32"
extern const char* IconName;  // icon of the window class; default "AppIcon"
extern int32_t TickInterval;  // least milliseconds between two frame steps; default 100
extern char IniPath[256];     // initialisation file; empty: none is read or written
extern InstanceHandle AppInstance;  // set first thing by RunApplication
extern WindowHandle MainWindow;     // the one window; null until created
extern WindowPosition WindowPos;    // outer top-left corner: read at start, saved on destroy
extern uint32_t LastTickTime;       // tick count of the last frame step (or skipped step)

// The argument vector the start-up code built for OnConfigure: element 0 is the full path of
// the program's own file. Set by the start-up code before RunApplication.
extern int AppArgCount;
extern char** AppArgVector;

// The framework's main routine: returns the exit code (0 also when the class cannot be had).
int32_t RunApplication(InstanceHandle instance, InstanceHandle previousInstance,
                       const char* commandLine, int32_t showCommand);
// StartProgram (platform.h) builds them from main()'s arguments and calls RunApplication.

// ---------------------------------------------------------------------------------------
// Window messages and run state.

struct MouseStateRecord {
  int32_t x, y;         // client position of the last mouse move, each 0..65535
  int32_t left, right;  // 1 while the button is down
};

constexpr uint32_t RunPausedByUser = 1;
constexpr uint32_t RunFocusLost = 2;
constexpr uint32_t RunMinimised = 4;  // also: not yet shown

extern uint32_t RunFlags;          // 0 exactly while running; 4 at start
extern MouseStateRecord MouseState;
extern Rect ClientRect;            // the client area in screen coordinates, at EnterRunning

int32_t FrameWndProc(WindowHandle window, uint32_t message, uintptr_t first, intptr_t second);
void EnterRunning();  // right after RunFlags became 0: clamp, confine, OnResume
void LeaveRunning();  // while RunFlags is 0 and about to change: OnPause, free the cursor

// ---------------------------------------------------------------------------------------
// AppHooks: supplied by the application, called by the framework by name; results unused.
//
// An application on the framework defines every one of these functions, with exactly these
// signatures, as ordinary global functions; the framework calls them from RunApplication's
// thread only. Hooks an application has no use for can be left out when it links the null
// application (CMake: torvex32::null_app; pkg-config: torvex32-null-app), whose hooks do
// nothing: the linker takes a null hook only where the application defines none. So keep the
// hooks in the program's own sources or an object library; hooks in a static library listed
// before the framework would lose to the null ones. main() comes from the entry library
// (torvex32::entry), which answers --version and calls StartProgram. Until OnStart the
// window may not exist: create assets there, not before. Drawing happens in the hooks (usually
// OnTick, through graphics/graphics.h and PresentFrame); a hook that ends the program calls
// DestroyMainWindow(MainWindow), and OnEnd follows.

void OnConfigure(int argc, char** argv);  // before the window class; no window exists yet
void OnStart();    // after the window is created, shown and updated
void OnEnd();      // after the loop and the saved position; the window is gone
void OnPause();    // the run state leaves running
void OnResume();   // the run state becomes running (the first time before OnStart)
void OnTick();     // one frame step, while running
void OnMouseMove(int32_t x, int32_t y, int32_t left, int32_t right);
void OnLeftDown(int32_t x, int32_t y);
void OnLeftUp(int32_t x, int32_t y);
void OnRightDown(int32_t x, int32_t y);
void OnRightUp(int32_t x, int32_t y);
