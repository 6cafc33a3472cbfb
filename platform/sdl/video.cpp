// video.cpp — the start of SDL's video, the screens, and the reason of the last failure.
#include <cstdio>
#include <cstring>

#include "platform/sdl/backend.h"

namespace {
char lastError[256];     // what GetPlatformError reports
bool videoStarted = false;
bool withoutFocus = false;  // the driver never reports focus
}  // namespace

void SetPlatformError(const char* what) {
  const char* reason = SDL_GetError();
  snprintf(lastError, sizeof lastError, "%s%s%s", what, reason[0] != 0 ? ": " : "", reason);
}

const char* GetPlatformError() { return lastError; }

bool DriverWithoutFocus() { return withoutFocus; }

bool StartVideo() {
  if (videoStarted) return true;
  // The window surface goes to the screen without SDL's detour through an OpenGL texture,
  // which costs about 20 times as much per frame on a display without a GPU (measured by
  // bench/present_bench). An SDL_FRAMEBUFFER_ACCELERATION variable still overrides it.
  SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
  // Closing the window is the window procedure's business, not a quit event's.
  SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
    SetPlatformError("no display");
    return false;
  }
  videoStarted = true;
  const char* driver = SDL_GetCurrentVideoDriver();
  withoutFocus = driver != nullptr && (strcmp(driver, "dummy") == 0 ||
                                       strcmp(driver, "offscreen") == 0);
  // Typed characters come from text input, which alone tells p from P.
  SDL_StartTextInput();
  StartMessageQueue();
  return true;
}

int32_t GetScreenRects(Rect* rects, int32_t capacity) {
  if (!StartVideo()) return 0;
  int32_t count = SDL_GetNumVideoDisplays();
  if (count < 0) return 0;
  for (int32_t i = 0; i < count && i < capacity; ++i) {
    SDL_Rect bounds{0, 0, 0, 0};
    SDL_GetDisplayBounds(i, &bounds);
    rects[i] = {bounds.x, bounds.y, bounds.x + bounds.w, bounds.y + bounds.h};
  }
  return count;
}
