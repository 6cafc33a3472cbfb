// cursor.cpp — the cursor: position, confinement to the window, the arrow and the program's
// own cursors and icons, made from the resources compiled into the program.
#include <SDL_syswm.h>
#include <strings.h>

#include "platform/sdl/backend.h"

struct PlatformCursor {
  SDL_Cursor* sdl;
  const ProgramResource* resource;  // null for the system's arrow
};

struct PlatformIcon {
  const ProgramResource* resource;
};

namespace {

// Loading the same resource again gives the same handle, as the platform shares them.
constexpr int32_t MaxLoaded = 16;
PlatformCursor arrow{nullptr, nullptr};
PlatformCursor cursors[MaxLoaded];
int32_t cursorCount = 0;
PlatformIcon icons[MaxLoaded];
int32_t iconCount = 0;
CursorHandle current = nullptr;

// SDL's monochrome cursor: data and mask bits, most significant bit first.
SDL_Cursor* MakeCursor(const ProgramResource* r) {
  int32_t rowBytes = (r->width + 7) / 8;
  uint8_t data[128 * 16] = {}, mask[128 * 16] = {};
  if (rowBytes * r->height > static_cast<int32_t>(sizeof data)) return nullptr;
  for (int32_t y = 0; y < r->height; ++y) {
    for (int32_t x = 0; x < r->width; ++x) {
      uint8_t pixel = r->pixels[y * r->width + x];
      uint8_t bit = static_cast<uint8_t>(0x80 >> (x % 8));
      // 1 black: data and mask; 2 white: mask only; 3 inverted: data only.
      if (pixel == 1 || pixel == 3) data[y * rowBytes + x / 8] |= bit;
      if (pixel == 1 || pixel == 2) mask[y * rowBytes + x / 8] |= bit;
    }
  }
  return SDL_CreateCursor(data, mask, r->width, r->height, r->hotX, r->hotY);
}

// SDL's own global cursor position is refreshed only by raw input events, which moves made
// by other programs (and the server's own warps) do not always produce; on X11 the server is
// asked directly, through the library SDL itself loaded.
bool QueryX11Pointer(Point& position) {
  using QueryPointer = int (*)(Display*, Window, Window*, Window*, int*, int*, int*, int*,
                               unsigned int*);
  static QueryPointer query = nullptr;
  static bool looked = false;
  PlatformWindow* w = CurrentWindow();
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (w == nullptr || !SDL_GetWindowWMInfo(w->sdl, &info) || info.subsystem != SDL_SYSWM_X11)
    return false;
  if (!looked) {
    looked = true;
    if (void* library = SDL_LoadObject("libX11.so.6"))
      query = reinterpret_cast<QueryPointer>(SDL_LoadFunction(library, "XQueryPointer"));
  }
  Window root = 0, child = 0;
  int x = 0, y = 0, windowX = 0, windowY = 0;
  unsigned int buttons = 0;
  if (query == nullptr || !query(info.info.x11.display, info.info.x11.window, &root, &child, &x,
                                 &y, &windowX, &windowY, &buttons))
    return false;
  position = {x, y};
  return true;
}

}  // namespace

const ProgramResource* FindProgramResource(const char* name, int32_t kind) {
  if (name == nullptr) return nullptr;
  for (int32_t i = 0; i < ProgramResourceCount; ++i)
    if (ProgramResources[i].kind == kind && strcasecmp(ProgramResources[i].name, name) == 0)
      return &ProgramResources[i];
  return nullptr;
}

Point GetCursorPosition() {
  if (!StartVideo()) return {0, 0};
  Point position{0, 0};
  if (QueryX11Pointer(position)) return position;
  SDL_GetGlobalMouseState(&position.x, &position.y);
  return position;
}

void SetCursorPosition(int32_t x, int32_t y) {
  if (StartVideo()) SDL_WarpMouseGlobal(x, y);
}

// A Wayland compositor confines a pointer only where it already is, and no client may move
// it: a confinement asked for while the pointer is outside the window holds it outside (sway
// does), where the framework would first have moved it in. There the window holds the pointer
// from the moment it comes in.
void ApplyGrab(PlatformWindow* w) {
  bool hold = w->grabbed && (!DriverWithoutPositions() || SDL_GetMouseFocus() == w->sdl);
  SDL_SetWindowGrab(w->sdl, hold ? SDL_TRUE : SDL_FALSE);
}

// The framework only ever confines the cursor to its window's client area, which is what
// SDL's window grab holds it to.
void ClipCursorTo(const Rect* rect) {
  PlatformWindow* w = CurrentWindow();
  if (w == nullptr) return;
  w->grabbed = rect != nullptr;
  ApplyGrab(w);
}

CursorHandle LoadProgramCursor(InstanceHandle, const char* name) {
  const ProgramResource* resource = FindProgramResource(name, ResourceCursor);
  if (resource == nullptr || !StartVideo()) return nullptr;
  for (int32_t i = 0; i < cursorCount; ++i)
    if (cursors[i].resource == resource) return &cursors[i];
  if (cursorCount == MaxLoaded) return nullptr;
  // A video driver without cursor images (dummy) still gives a handle: the cursor stays as
  // it is where it is set.
  cursors[cursorCount] = {MakeCursor(resource), resource};
  return &cursors[cursorCount++];
}

CursorHandle LoadArrowCursor() {
  if (arrow.sdl == nullptr && StartVideo())
    arrow.sdl = SDL_CreateSystemCursor(SDL_SYSTEM_CURSOR_ARROW);
  return &arrow;
}

CursorHandle SetCurrentCursor(CursorHandle cursor) {
  CursorHandle previous = current;
  current = cursor;
  if (!StartVideo()) return previous;
  if (cursor != nullptr && cursor->sdl != nullptr) SDL_SetCursor(cursor->sdl);
  SDL_ShowCursor(cursor != nullptr ? SDL_ENABLE : SDL_DISABLE);
  return previous;
}

IconHandle LoadProgramIcon(InstanceHandle, const char* name) {
  const ProgramResource* resource = FindProgramResource(name, ResourceIcon);
  if (resource == nullptr) return nullptr;
  for (int32_t i = 0; i < iconCount; ++i)
    if (icons[i].resource == resource) return &icons[i];
  if (iconCount == MaxLoaded) return nullptr;
  icons[iconCount] = {resource};
  return &icons[iconCount++];
}

SDL_Surface* MakeIconSurface(IconHandle icon) {
  if (icon == nullptr) return nullptr;
  const ProgramResource* r = icon->resource;
  SDL_Surface* surface =
      SDL_CreateRGBSurfaceWithFormat(0, r->width, r->height, 32, SDL_PIXELFORMAT_ARGB8888);
  if (surface == nullptr) return nullptr;
  for (int32_t y = 0; y < r->height; ++y) {
    auto* row = reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(surface->pixels) +
                                            y * surface->pitch);
    for (int32_t x = 0; x < r->width; ++x) {
      uint8_t pixel = r->pixels[y * r->width + x];
      row[x] = pixel < 16 ? 0xFF000000u | IconColours[pixel] : 0;  // 255: transparent
    }
  }
  return surface;
}
