// draw.cpp — drawing contexts, palettes and 8-bit bitmap sections, and the block copy that
// puts a bitmap into the window in one upload.
//
// On a true-colour screen palettes are kept but change nothing that is shown, and the system
// palette reports the 20 static colours of a 256-colour display; a bitmap's indices become
// screen colours through its own colour table when it is copied into the window. On a
// palettised X display (x11present.cpp) the system palette is the window's colormap: its
// static colours are the display's, realising a palette stores its colours there, and the
// indices go to the screen as they are.
#include <cstdlib>
#include <cstring>

#include "platform/sdl/backend.h"

struct PlatformPalette {
  PaletteEntry entries[256];
  int32_t count;
};

struct PlatformBitmap {
  uint8_t* pixels;  // rows of `stride` bytes, the first row stored first
  int32_t width, height;
  int32_t stride;
  bool bottomUp;            // the first stored row is the bottom one
  uint32_t colours[256];    // the colour table as 0x00RRGGBB
};

namespace {

PlatformPalette defaultPalette{};  // what a context holds before any selection
PlatformBitmap defaultBitmap{};    // what a memory context holds before any selection
PlatformContext screenContext{ContextScreen, nullptr, nullptr, &defaultPalette};
const char* presentPath = "none";  // set by every copy into a window, read by reports


// The bitmap's colours in the window surface's pixel format, made again only when the
// bitmap or the format changes.
struct SurfaceTable {
  const PlatformBitmap* bitmap = nullptr;
  uint32_t format = 0;
  uint32_t colours[256];
};
SurfaceTable surfaceTable;

const uint32_t* ColoursFor(const PlatformBitmap* bitmap, const SDL_PixelFormat* format) {
  // The common case: the surface's own format is 0x00RRGGBB.
  if (format->Rmask == 0xFF0000 && format->Gmask == 0xFF00 && format->Bmask == 0xFF &&
      format->Amask == 0)
    return bitmap->colours;
  if (surfaceTable.bitmap != bitmap || surfaceTable.format != format->format) {
    for (int i = 0; i < 256; ++i) {
      uint32_t c = bitmap->colours[i];
      surfaceTable.colours[i] =
          SDL_MapRGB(format, uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c));
    }
    surfaceTable.bitmap = bitmap;
    surfaceTable.format = format->format;
  }
  return surfaceTable.colours;
}

// Where source row `row` (0 = top) begins.
const uint8_t* SourceRow(const PlatformBitmap* bitmap, int32_t row) {
  int32_t stored = bitmap->bottomUp ? bitmap->height - 1 - row : row;
  return bitmap->pixels + static_cast<ptrdiff_t>(stored) * bitmap->stride;
}

// Clips a block against both rectangles [0, limit); false if nothing is left.
bool ClipBlock(int32_t& x, int32_t& y, int32_t& width, int32_t& height, int32_t& sourceX,
               int32_t& sourceY, int32_t limitX, int32_t limitY, int32_t sourceLimitX,
               int32_t sourceLimitY) {
  int32_t skipX = SDL_max(SDL_max(0, -x), -sourceX);
  int32_t skipY = SDL_max(SDL_max(0, -y), -sourceY);
  x += skipX;
  sourceX += skipX;
  width -= skipX;
  y += skipY;
  sourceY += skipY;
  height -= skipY;
  width = SDL_min(width, SDL_min(limitX - x, sourceLimitX - sourceX));
  height = SDL_min(height, SDL_min(limitY - y, sourceLimitY - sourceY));
  return width > 0 && height > 0;
}

// The block last copied into a window, as clipped to it, for reading the window back.
struct LastCopy {
  PlatformWindow* window;  // null: nothing copied since the window or the bitmap changed
  int32_t x, y, width, height;
  const PlatformBitmap* bitmap;
  int32_t sourceX, sourceY;
};
LastCopy lastCopy{};

// For tests: TORVEX_TEST_REFUSE_SURFACE=1 makes SDL's window surface unavailable, as on a
// display where SDL cannot make one, so that a real window shows what a run does when its
// frames cannot be presented.
bool SurfaceRefusedForTest() {
  static const bool refused = [] {
    const char* value = getenv("TORVEX_TEST_REFUSE_SURFACE");
    return value != nullptr && strcmp(value, "1") == 0;
  }();
  return refused;
}

// Screens that are not 32-bit get the converted block through SDL's blitter.
SDL_Surface* staging = nullptr;

bool ConvertThroughStaging(SDL_Surface* surface, int32_t x, int32_t y, int32_t width,
                           int32_t height, const uint8_t* source, ptrdiff_t stride,
                           const uint32_t* colours) {
  if (staging == nullptr || staging->w < width || staging->h < height) {
    SDL_FreeSurface(staging);
    staging = SDL_CreateRGBSurfaceWithFormat(0, width, height, 32, SDL_PIXELFORMAT_RGB888);
    if (staging == nullptr) return false;
  }
  ConvertIndexedRows(static_cast<uint32_t*>(staging->pixels), staging->pitch, source, stride,
                     width, height, colours);
  SDL_Rect from{0, 0, width, height}, to{x, y, width, height};
  return SDL_BlitSurface(staging, &from, surface, &to) == 0;
}

// Converts the block into SDL's window surface and has SDL put it on the screen.
Presented PresentThroughSurface(PlatformWindow* window, int32_t x, int32_t y, int32_t width,
                                int32_t height, const uint8_t* source, ptrdiff_t stride,
                                const PlatformBitmap* bitmap) {
  SDL_Surface* surface = nullptr;
  if (SurfaceRefusedForTest())
    SDL_SetError("refused for a test (TORVEX_TEST_REFUSE_SURFACE=1)");
  else
    surface = SDL_GetWindowSurface(window->sdl);
  if (surface == nullptr) {
    SetPlatformError("no window surface to present into");
    return Presented::Failed;
  }
  width = SDL_min(width, surface->w - x);
  height = SDL_min(height, surface->h - y);
  if (width <= 0 || height <= 0) return Presented::Shown;
  if (surface->format->BytesPerPixel == 1 && X11Palettised()) {
    // The window shows indices through the colormap the palette was realised into.
    if (SDL_MUSTLOCK(surface) && SDL_LockSurface(surface) != 0) {
      SetPlatformError("the window surface could not be locked");
      return Presented::Failed;
    }
    CopyIndexedRows(static_cast<uint8_t*>(surface->pixels) +
                        static_cast<ptrdiff_t>(y) * surface->pitch + x,
                    surface->pitch, source, stride, width, height);
    if (SDL_MUSTLOCK(surface)) SDL_UnlockSurface(surface);
  } else if (surface->format->BytesPerPixel != 4) {
    if (!ConvertThroughStaging(surface, x, y, width, height, source, stride, bitmap->colours)) {
      SetPlatformError("the frame could not be converted to the window's pixels");
      return Presented::Failed;
    }
  } else if (!SDL_MUSTLOCK(surface) || SDL_LockSurface(surface) == 0) {
    auto* out = reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(surface->pixels) +
                                            static_cast<ptrdiff_t>(y) * surface->pitch) + x;
    ConvertIndexedRows(out, surface->pitch, source, stride, width, height,
                       ColoursFor(bitmap, surface->format));
    if (SDL_MUSTLOCK(surface)) SDL_UnlockSurface(surface);
  } else {
    SetPlatformError("the window surface could not be locked");
    return Presented::Failed;
  }
  SDL_Rect area{x, y, width, height};
  if (SDL_UpdateWindowSurfaceRects(window->sdl, &area, 1) != 0) {
    SetPlatformError("the window surface could not be shown");
    return Presented::Failed;
  }
  return Presented::Shown;
}

// Puts the block into the window: one upload, straight to an X server or a Wayland compositor
// where it can be done, else through SDL's window surface. True when it was handed over.
bool PresentBlock(PlatformWindow* window, int32_t x, int32_t y, int32_t width, int32_t height,
                  PlatformContext* source, int32_t sourceX, int32_t sourceY) {
  const PlatformBitmap* bitmap = source->bitmap;
  int windowWidth = 0, windowHeight = 0;
  SDL_GetWindowSize(window->sdl, &windowWidth, &windowHeight);
  if (!ClipBlock(x, y, width, height, sourceX, sourceY, windowWidth, windowHeight,
                 bitmap->width, bitmap->height))
    return true;  // nothing of it lies in the window: nothing to show
  lastCopy = {window, x, y, width, height, bitmap, sourceX, sourceY};
  const uint8_t* first = SourceRow(bitmap, sourceY) + sourceX;
  ptrdiff_t stride = bitmap->bottomUp ? -bitmap->stride : bitmap->stride;
  Presented done = PresentX11(window, x, y, width, height, first, stride, bitmap->colours);
  if (done != Presented::NotMine) {
    presentPath = X11PresentPath();
    return done == Presented::Shown;
  }
  done = PresentWayland(window, x, y, width, height, first, stride, bitmap->colours);
  if (done != Presented::NotMine) {
    presentPath = "wayland-shm";
    return done == Presented::Shown;
  }
  done = PresentThroughSurface(window, x, y, width, height, first, stride, bitmap);
  const char* driver = SDL_GetCurrentVideoDriver();
  bool screenless = driver != nullptr && (strcmp(driver, "dummy") == 0 ||
                                          strcmp(driver, "offscreen") == 0);
  presentPath = screenless ? "headless" : "sdl-surface";
  return done == Presented::Shown;
}

}  // namespace

const char* GetPresentPath() { return presentPath; }

bool GetLastCopiedBlock(PlatformWindow* window, CopiedBlock* block) {
  const PlatformBitmap* bitmap = lastCopy.bitmap;
  if (window == nullptr || lastCopy.window != window || bitmap == nullptr) return false;
  *block = {lastCopy.x, lastCopy.y, lastCopy.width, lastCopy.height,
            SourceRow(bitmap, lastCopy.sourceY) + lastCopy.sourceX,
            bitmap->bottomUp ? -bitmap->stride : bitmap->stride, bitmap->colours};
  return true;
}

ContextHandle GetScreenContext() { return &screenContext; }

ContextHandle GetWindowContext(WindowHandle handle) {
  PlatformWindow* w = LiveWindow(handle);
  return w != nullptr ? &w->context : nullptr;
}

void ReleaseContext(WindowHandle, ContextHandle) {}

ContextHandle BeginPaint(WindowHandle handle) {
  PlatformWindow* w = LiveWindow(handle);
  if (w == nullptr) return nullptr;
  w->invalid = false;
  return &w->context;
}

void EndPaint(WindowHandle, ContextHandle) {}

// Whether the screen has a palette of its own; asked before any window exists, so video
// starts here if nothing has started it yet.
static bool Palettised() { return StartVideo() && X11Palettised(); }

int32_t GetSystemPaletteEntries(ContextHandle, int32_t first, int32_t count,
                                PaletteEntry* entries) {
  if (Palettised()) return GetX11SystemPalette(first, count, entries);
  // No palette display here: the system palette is the reset one of a 256-colour display.
  return ResetSystemPaletteEntries(first, count, entries);
}

PaletteHandle CreatePalette(const PaletteEntry* entries, int32_t count) {
  if (count <= 0 || count > 256) return nullptr;
  auto* palette = new PlatformPalette{};
  memcpy(palette->entries, entries, sizeof(PaletteEntry) * count);
  palette->count = count;
  return palette;
}

PaletteHandle SelectPalette(ContextHandle context, PaletteHandle palette) {
  if (context == nullptr || palette == nullptr) return nullptr;
  PaletteHandle previous = context->palette;
  context->palette = palette;
  return previous;
}

// A true-colour screen shows every colour as it is: realising never changes a system entry.
// A palettised one takes the palette into its system palette, from the screen's context or a
// window's; a memory context's palette only describes its bitmap.
int32_t RealizePalette(ContextHandle context) {
  if (context == nullptr || context->palette == nullptr || context->kind == ContextMemory ||
      !Palettised())
    return 0;
  PlatformWindow* w = context->kind == ContextWindow ? context->window : nullptr;
  return RealizeX11Palette(w, context->palette->entries, context->palette->count);
}

void DeletePalette(PaletteHandle palette) {
  if (palette != &defaultPalette) delete palette;
}

ContextHandle CreateMemoryContext() {
  return new PlatformContext{ContextMemory, nullptr, &defaultBitmap, &defaultPalette};
}

void DeleteMemoryContext(ContextHandle context) {
  if (context != nullptr && context->kind == ContextMemory) delete context;
}

BitmapHandle CreateBitmapSection(ContextHandle, const BitmapHeader& header,
                                 const ColourQuad* colourTable, uint8_t** pixels) {
  *pixels = nullptr;
  if (header.bitsPerPixel != 8 || header.planes != 1 || header.compression != 0 ||
      header.width <= 0 || header.height == 0 || header.width > 32768 ||
      header.height > 32768 || header.height < -32768) {
    SetPlatformError("only 8-bit uncompressed bitmaps of at most 32768 by 32768 pixels", "");
    return nullptr;
  }
  auto* bitmap = new PlatformBitmap{};
  bitmap->width = header.width;
  bitmap->height = header.height > 0 ? header.height : -header.height;
  bitmap->bottomUp = header.height > 0;
  bitmap->stride = (header.width + 3) & ~3;  // rows end on a 4-byte boundary
  size_t bytes = static_cast<size_t>(bitmap->stride) * bitmap->height;
  // Aligned for the vector loops that read and write it; zeroed as the platform gives it.
  bitmap->pixels = static_cast<uint8_t*>(aligned_alloc(64, (bytes + 63) & ~size_t(63)));
  if (bitmap->pixels == nullptr) {
    delete bitmap;
    SetPlatformError("out of memory for the bitmap", "");
    return nullptr;
  }
  memset(bitmap->pixels, 0, bytes);
  for (int i = 0; i < 256; ++i)
    bitmap->colours[i] = uint32_t(colourTable[i].red) << 16 |
                         uint32_t(colourTable[i].green) << 8 | colourTable[i].blue;
  *pixels = bitmap->pixels;
  return bitmap;
}

BitmapHandle SelectBitmap(ContextHandle context, BitmapHandle bitmap) {
  if (context == nullptr || context->kind != ContextMemory || bitmap == nullptr) return nullptr;
  BitmapHandle previous = context->bitmap;
  context->bitmap = bitmap;
  return previous;
}

void DeleteBitmap(BitmapHandle bitmap) {
  if (bitmap == nullptr || bitmap == &defaultBitmap) return;
  if (surfaceTable.bitmap == bitmap) surfaceTable.bitmap = nullptr;
  if (lastCopy.bitmap == bitmap) lastCopy = LastCopy{};
  free(bitmap->pixels);
  delete bitmap;
}

bool BlockCopy(ContextHandle destination, int32_t x, int32_t y, int32_t width, int32_t height,
               ContextHandle source, int32_t sourceX, int32_t sourceY) {
  if (destination == nullptr || source == nullptr || destination->kind != ContextWindow ||
      source->kind != ContextMemory || source->bitmap == nullptr ||
      source->bitmap->pixels == nullptr) {
    SetPlatformError("a block is copied only from a bitmap into a window", "");
    return false;
  }
  if (LiveWindow(reinterpret_cast<WindowHandle>(destination->window)) == nullptr) {
    SetPlatformError("the window is gone", "");
    return false;
  }
  return PresentBlock(destination->window, x, y, width, height, source, sourceX, sourceY);
}

void ForgetWindowSurface(PlatformWindow* window) {
  // SDL makes the window surface again after a size change; only the staging copy is ours.
  SDL_FreeSurface(staging);
  staging = nullptr;
  // What the window showed before is no longer what it holds.
  if (lastCopy.window == window) lastCopy = LastCopy{};
}
