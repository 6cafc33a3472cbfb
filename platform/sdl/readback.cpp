// readback.cpp — the screen check of the SDL backend: the window read back from its window
// system by the way that owns it, compared with the block last copied into it.
#include <cstring>
#include <vector>

#include "platform/sdl/backend.h"

namespace {

// A video driver that draws into memory only: there is no screen to read back.
bool Screenless(const char* driver) {
  return driver != nullptr && (strcmp(driver, "dummy") == 0 || strcmp(driver, "offscreen") == 0);
}

}  // namespace

ScreenCheck CheckWindowShowsBlock(WindowHandle handle) {
  ScreenCheck check{ScreenNotAvailable, 0, 0, ""};
  PlatformWindow* w = LiveWindow(handle);
  const char* driver = SDL_GetCurrentVideoDriver();
  CopiedBlock block{};
  if (w == nullptr) {
    ScreenNotReadable(&check, "there is no window");
    return check;
  }
  if (Screenless(driver)) {
    ScreenNotReadable(&check, "the %s video driver shows nothing on a screen", driver);
    return check;
  }
  if (!GetLastCopiedBlock(w, &block)) {
    ScreenNotReadable(&check, "no frame was copied into the window since it was made or resized");
    return check;
  }
  int width = 0, height = 0;
  SDL_GetWindowSize(w->sdl, &width, &height);
  if (width <= 0 || height <= 0 || block.x + block.width > width ||
      block.y + block.height > height) {
    ScreenNotReadable(&check, "the window is smaller than the frame copied into it");
    return check;
  }
  std::vector<uint32_t> screen(static_cast<size_t>(width) * static_cast<size_t>(height));
  uint32_t significant = 0xFFFFFF;
  char why[sizeof check.reason] = "";
  Readback read = ReadBackX11(w, screen.data(), width, height, &significant, why, sizeof why);
  if (read == Readback::NotMine)
    read = ReadBackWayland(w, screen.data(), width, height, &significant, why, sizeof why);
  if (read == Readback::NotMine) {
    ScreenNotReadable(&check, "the %s video driver offers no way to read a window back",
                      driver != nullptr ? driver : "current");
    return check;
  }
  if (read == Readback::NotAvailable) {
    ScreenNotReadable(&check, "%s", why);
    return check;
  }
  const uint32_t* shown = screen.data() + static_cast<size_t>(block.y) * width + block.x;
  CompareReadBack(&check, shown, static_cast<ptrdiff_t>(width) * 4, block.first, block.stride,
                  block.width, block.height, block.colours, significant, block.x, block.y);
  return check;
}
