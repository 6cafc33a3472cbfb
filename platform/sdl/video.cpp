// video.cpp — the start of SDL's video, the screens, and the reason of the last failure.
#include <cstdio>
#include <cstring>
#include <strings.h>

#include "platform/sdl/backend.h"

namespace {
char lastError[256];     // what GetPlatformError reports
bool videoStarted = false;
bool videoFailed = false;    // tried once: the reason stays in lastError
bool withoutFocus = false;  // the driver never reports focus
bool withoutPositions = false;  // the window system keeps window positions to itself
}  // namespace

void SetPlatformError(const char* what, const char* reason) {
  if (reason == nullptr) reason = SDL_GetError();
  snprintf(lastError, sizeof lastError, "%s%s%s", what, reason[0] != 0 ? ": " : "", reason);
}

const char* GetPlatformError() { return lastError; }

bool DriverWithoutFocus() { return withoutFocus; }

bool DriverWithoutPositions() { return withoutPositions; }

bool StartVideo() {
  if (videoStarted || videoFailed) return videoStarted;
  videoFailed = true;
  // Where frames go through SDL's window surface (no X11 shared memory), they go to the
  // screen without SDL's detour through an OpenGL texture, which costs 15 to 50 times as much
  // per frame on a display without a GPU (bench/present_xvfb.py). An
  // SDL_FRAMEBUFFER_ACCELERATION variable still overrides it.
  SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
  // Closing the window is the window procedure's business, not a quit event's.
  SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
  // Where a Wayland compositor runs, the window is its own client rather than one of its X
  // server's (SDL alone would take X11 first); SDL_VIDEODRIVER still decides when it is set.
  const char* waylandDisplay = SDL_getenv("WAYLAND_DISPLAY");
  if (SDL_getenv("SDL_VIDEODRIVER") == nullptr && waylandDisplay != nullptr &&
      waylandDisplay[0] != 0)
    SDL_SetHint(SDL_HINT_VIDEODRIVER, "wayland,x11");
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
    SetPlatformError("no display");
    return false;
  }
  const char* driver = SDL_GetCurrentVideoDriver();
  withoutFocus = driver != nullptr && (strcmp(driver, "dummy") == 0 ||
                                       strcmp(driver, "offscreen") == 0);
  withoutPositions = driver != nullptr && strcmp(driver, "wayland") == 0;
  // Without a window system SDL falls back to drawing off the screen, where the program would
  // run unseen: only a run that asks for that (SDL_VIDEODRIVER) gets it.
  const char* asked = SDL_getenv("SDL_VIDEODRIVER");
  if (withoutFocus && (asked == nullptr || strcasestr(asked, driver) == nullptr)) {
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    SetPlatformError("no display",
                     "no window system found (SDL_VIDEODRIVER=dummy runs without one)");
    return false;
  }
  videoStarted = true;
  videoFailed = false;
  // The screen's visual decides how the frame's colours reach it, before any window exists.
  if (driver != nullptr && strcmp(driver, "x11") == 0) ProbeX11Screen();
  // Typed characters come from text input, which alone tells p from P.
  SDL_StartTextInput();
  StartMessageQueue();
  return true;
}

int32_t GetScreenRects(Rect* rects, int32_t capacity) {
  if (!StartVideo()) return 0;
  // Screens have no place a window could be put on where windows cannot be placed: a
  // remembered position is then neither checked nor changed.
  if (withoutPositions) return 0;
  int32_t count = SDL_GetNumVideoDisplays();
  if (count < 0) return 0;
  for (int32_t i = 0; i < count && i < capacity; ++i) {
    SDL_Rect bounds{0, 0, 0, 0};
    SDL_GetDisplayBounds(i, &bounds);
    rects[i] = {bounds.x, bounds.y, bounds.x + bounds.w, bounds.y + bounds.h};
  }
  return count;
}
