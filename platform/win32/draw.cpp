// draw.cpp — drawing contexts, logical palettes, the 8-bit DIB section the frame is composed
// in, and the block copy that puts it into the window with BitBlt.
//
// On a palette display the system palette and its realisation are the system's own. On a
// true-colour display (the usual case today) the system palette reports the 20 static colours
// of a 256-colour display, as the SDL backend does, so that the frame's colours are the same
// on every screen.
#include <cstdlib>
#include <cstring>

#include "platform/win32/win32.h"

namespace {

const char* presentPath = "none";  // set by every copy into a window, read by reports
HWND lastCopyWindow = nullptr;     // the window of the last copy into one, and the copy
CopiedBlock lastCopy{};

// TORVEX_PRESENT=setdibits copies with SetDIBitsToDevice from the section's memory instead
// of BitBlt from the memory context, for measuring one against the other. TORVEX32_PRESENT, the
// switch's earlier name, is read where TORVEX_PRESENT is not set.
bool UseSetDIBits() {
  static const bool chosen = [] {
    const char* value = getenv("TORVEX_PRESENT");
    if (value == nullptr || value[0] == 0) value = getenv("TORVEX32_PRESENT");
    return value != nullptr && strcmp(value, "setdibits") == 0;
  }();
  return chosen;
}

bool PaletteDisplay(HDC context) { return (GetDeviceCaps(context, RASTERCAPS) & RC_PALETTE) != 0; }

// The bitmap selected into a memory context, with its header and colour table, for
// SetDIBitsToDevice.
bool SelectedSection(HDC source, DIBSECTION& section, RGBQUAD colours[256]) {
  HGDIOBJ bitmap = GetCurrentObject(source, OBJ_BITMAP);
  if (bitmap == nullptr || GetObjectA(bitmap, sizeof section, &section) != sizeof section ||
      section.dsBm.bmBits == nullptr)
    return false;
  return GetDIBColorTable(source, 0, 256, colours) == 256;
}

bool CopyWithSetDIBits(HDC destination, int32_t x, int32_t y, int32_t width, int32_t height,
                       HDC source, int32_t sourceX, int32_t sourceY) {
  DIBSECTION section{};
  struct {
    BITMAPINFOHEADER header;
    RGBQUAD colours[256];
  } info{};
  if (!SelectedSection(source, section, info.colours)) return false;
  info.header = section.dsBmih;
  info.header.biClrUsed = 256;
  // The source rectangle counts rows from the bottom of a bottom-up bitmap.
  int32_t rows = info.header.biHeight > 0 ? info.header.biHeight : -info.header.biHeight;
  int32_t fromBottom = rows - sourceY - height;
  return SetDIBitsToDevice(destination, x, y, width, height, sourceX, fromBottom, 0, rows,
                           section.dsBm.bmBits, reinterpret_cast<BITMAPINFO*>(&info),
                           DIB_RGB_COLORS) != 0;
}

}  // namespace

const char* GetPresentPath() { return presentPath; }

bool GetLastCopiedBlock(HWND window, CopiedBlock* block) {
  if (window == nullptr || window != lastCopyWindow) return false;
  *block = lastCopy;
  return true;
}

ContextHandle GetScreenContext() { return HandleOf(GetDC(nullptr)); }

ContextHandle GetWindowContext(WindowHandle window) { return HandleOf(GetDC(Hwnd(window))); }

void ReleaseContext(WindowHandle window, ContextHandle context) {
  ReleaseDC(Hwnd(window), Hdc(context));
}

namespace {
PAINTSTRUCT paint{};  // the one window's paint in progress
}

ContextHandle BeginPaint(WindowHandle window) {
  return HandleOf(::BeginPaint(Hwnd(window), &paint));
}

void EndPaint(WindowHandle window, ContextHandle) { ::EndPaint(Hwnd(window), &paint); }

int32_t GetSystemPaletteEntries(ContextHandle context, int32_t first, int32_t count,
                                PaletteEntry* entries) {
  if (first < 0 || count < 0 || first > 256) return 0;
  HDC native = Hdc(context);
  if (native != nullptr && PaletteDisplay(native)) {
    static_assert(sizeof(PaletteEntry) == sizeof(PALETTEENTRY), "the same four bytes");
    return static_cast<int32_t>(::GetSystemPaletteEntries(
        native, first, count, reinterpret_cast<PALETTEENTRY*>(entries)));
  }
  return ResetSystemPaletteEntries(first, count, entries);
}

PaletteHandle CreatePalette(const PaletteEntry* entries, int32_t count) {
  if (count <= 0 || count > 256) return nullptr;
  struct {
    WORD version;
    WORD count;
    PALETTEENTRY entries[256];
  } logical{};
  logical.version = 0x300;
  logical.count = static_cast<WORD>(count);
  memcpy(logical.entries, entries, sizeof(PaletteEntry) * count);
  HPALETTE palette = ::CreatePalette(reinterpret_cast<LOGPALETTE*>(&logical));
  if (palette == nullptr) SetPlatformError("CreatePalette");
  return reinterpret_cast<PaletteHandle>(palette);
}

PaletteHandle SelectPalette(ContextHandle context, PaletteHandle palette) {
  return reinterpret_cast<PaletteHandle>(
      ::SelectPalette(Hdc(context), reinterpret_cast<HPALETTE>(palette), FALSE));
}

int32_t RealizePalette(ContextHandle context) {
  UINT changed = ::RealizePalette(Hdc(context));
  return changed == GDI_ERROR ? 0 : static_cast<int32_t>(changed);
}

void DeletePalette(PaletteHandle palette) { DeleteObject(reinterpret_cast<HPALETTE>(palette)); }

ContextHandle CreateMemoryContext() {
  HDC context = CreateCompatibleDC(nullptr);
  if (context == nullptr) SetPlatformError("CreateCompatibleDC");
  return HandleOf(context);
}

void DeleteMemoryContext(ContextHandle context) { DeleteDC(Hdc(context)); }

BitmapHandle CreateBitmapSection(ContextHandle context, const BitmapHeader& header,
                                 const ColourQuad* colourTable, uint8_t** pixels) {
  *pixels = nullptr;
  struct {
    BITMAPINFOHEADER header;
    RGBQUAD colours[256];
  } info{};
  info.header.biSize = sizeof info.header;
  info.header.biWidth = header.width;
  info.header.biHeight = header.height;
  info.header.biPlanes = header.planes;
  info.header.biBitCount = header.bitsPerPixel;
  info.header.biCompression = header.compression;
  info.header.biClrUsed = 256;
  static_assert(sizeof(ColourQuad) == sizeof(RGBQUAD), "the same four bytes");
  memcpy(info.colours, colourTable, sizeof info.colours);
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(Hdc(context), reinterpret_cast<BITMAPINFO*>(&info),
                                    DIB_RGB_COLORS, &bits, nullptr, 0);
  if (bitmap == nullptr) {
    SetPlatformError("CreateDIBSection");
    return nullptr;
  }
  *pixels = static_cast<uint8_t*>(bits);
  return reinterpret_cast<BitmapHandle>(bitmap);
}

BitmapHandle SelectBitmap(ContextHandle context, BitmapHandle bitmap) {
  return reinterpret_cast<BitmapHandle>(
      SelectObject(Hdc(context), reinterpret_cast<HBITMAP>(bitmap)));
}

void DeleteBitmap(BitmapHandle bitmap) { DeleteObject(reinterpret_cast<HBITMAP>(bitmap)); }

bool BlockCopy(ContextHandle destination, int32_t x, int32_t y, int32_t width, int32_t height,
               ContextHandle source, int32_t sourceX, int32_t sourceY) {
  HDC to = Hdc(destination);
  HDC from = Hdc(source);
  if (to == nullptr || from == nullptr) {
    SetPlatformErrorText("a block is copied only between two contexts", "no context");
    return false;
  }
  HWND window = WindowFromDC(to);
  if (window != nullptr && window == HeadlessWindow()) {
    presentPath = "headless";  // a hidden window shows nothing: there is nothing to copy
    return true;
  }
  bool copied = UseSetDIBits()
                    ? CopyWithSetDIBits(to, x, y, width, height, from, sourceX, sourceY)
                    : BitBlt(to, x, y, width, height, from, sourceX, sourceY, SRCCOPY) != 0;
  if (window != nullptr) {
    presentPath = "gdi";
    lastCopyWindow = window;
    lastCopy = {x, y, width, height, from, sourceX, sourceY};
  }
  if (!copied) SetPlatformError("the frame could not be copied into the window");
  return copied;
}
