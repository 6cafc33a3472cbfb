// readback.cpp — the screen check of the Win32 backend: the window's client area copied from
// its device context into a 32-bit DIB section with BitBlt, compared with the block last
// copied into the window, through the colour table of the section it came from.
#include <algorithm>

#include "platform/win32/win32.h"

namespace {

// The bits of each channel that the display keeps: a 15- or 16-bit display 5 (a 16-bit one 6
// of green, which a step of 5 bits also covers); palette and true-colour displays all 8.
uint32_t SignificantBits(HDC context) {
  int bits = GetDeviceCaps(context, BITSPIXEL) * GetDeviceCaps(context, PLANES);
  return bits == 15 || bits == 16 ? 0xF8F8F8 : 0xFFFFFF;
}

// Where the block's indices begin in the 8-bit section selected into its memory context, the
// step from one row to the next, and the section's colours; false if it is not there.
bool SourceOf(const CopiedBlock& block, int32_t width, int32_t height, const uint8_t** first,
              ptrdiff_t* stride, uint32_t colours[256]) {
  HGDIOBJ bitmap = GetCurrentObject(block.source, OBJ_BITMAP);
  DIBSECTION section{};
  if (bitmap == nullptr || GetObjectA(bitmap, sizeof section, &section) != sizeof section ||
      section.dsBm.bmBits == nullptr || section.dsBm.bmBitsPixel != 8)
    return false;
  int32_t rows = section.dsBm.bmHeight;
  if (block.sourceX < 0 || block.sourceY < 0 || block.sourceX + width > section.dsBm.bmWidth ||
      block.sourceY + height > rows)
    return false;
  RGBQUAD quads[256];
  UINT count = GetDIBColorTable(block.source, 0, 256, quads);
  if (count == 0) return false;
  for (UINT i = 0; i < 256; ++i)
    colours[i] = i < count ? uint32_t(quads[i].rgbRed) << 16 | uint32_t(quads[i].rgbGreen) << 8 |
                                 quads[i].rgbBlue
                           : 0;
  bool bottomUp = section.dsBmih.biHeight > 0;
  ptrdiff_t rowBytes = section.dsBm.bmWidthBytes;
  int32_t stored = bottomUp ? rows - 1 - block.sourceY : block.sourceY;
  *first = static_cast<const uint8_t*>(section.dsBm.bmBits) + stored * rowBytes + block.sourceX;
  *stride = bottomUp ? -rowBytes : rowBytes;
  return true;
}

// Copies the client area into a 32-bit top-down section and compares; false if GDI refused.
bool ReadAndCompare(HWND window, int32_t width, int32_t height, const CopiedBlock& block,
                    int32_t blockWidth, int32_t blockHeight, const uint8_t* first,
                    ptrdiff_t stride, const uint32_t* colours, ScreenCheck* check) {
  HDC windowContext = GetDC(window);
  HDC memory = windowContext != nullptr ? CreateCompatibleDC(windowContext) : nullptr;
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // rows from the top
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP section =
      memory != nullptr ? CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0)
                        : nullptr;
  bool copied = false;
  if (section != nullptr) {
    HGDIOBJ previous = SelectObject(memory, section);
    copied = BitBlt(memory, 0, 0, width, height, windowContext, 0, 0, SRCCOPY) != 0;
    GdiFlush();
    // A 32-bit section holds blue, green, red and a spare byte: 0x00RRGGBB read as one word.
    if (copied)
      CompareReadBack(check, static_cast<const uint32_t*>(bits) + block.y * width + block.x,
                      static_cast<ptrdiff_t>(width) * 4, first, stride, blockWidth, blockHeight,
                      colours, SignificantBits(windowContext), block.x, block.y);
    SelectObject(memory, previous);
    DeleteObject(section);
  }
  if (memory != nullptr) DeleteDC(memory);
  if (windowContext != nullptr) ReleaseDC(window, windowContext);
  return copied;
}

}  // namespace

ScreenCheck CheckWindowShowsBlock(WindowHandle handle) {
  ScreenCheck check{ScreenNotAvailable, 0, 0, ""};
  HWND window = Hwnd(handle);
  CopiedBlock block{};
  if (window == nullptr || !IsWindow(window)) {
    ScreenNotReadable(&check, "there is no window");
    return check;
  }
  if (window == HeadlessWindow()) {
    ScreenNotReadable(&check, "a headless run's window is never shown");
    return check;
  }
  if (IsIconic(window) || !IsWindowVisible(window)) {
    ScreenNotReadable(&check, "the window is not on the screen (minimised or hidden)");
    return check;
  }
  if (!GetLastCopiedBlock(window, &block)) {
    ScreenNotReadable(&check, "no frame was copied into the window");
    return check;
  }
  RECT client{};
  GetClientRect(window, &client);
  int32_t width = client.right - client.left, height = client.bottom - client.top;
  int32_t blockWidth = std::min(block.width, width - block.x);
  int32_t blockHeight = std::min(block.height, height - block.y);
  const uint8_t* first = nullptr;
  ptrdiff_t stride = 0;
  uint32_t colours[256];
  if (width <= 0 || height <= 0 || block.x < 0 || block.y < 0 || blockWidth <= 0 ||
      blockHeight <= 0) {
    ScreenNotReadable(&check, "the frame lies outside the client area");
    return check;
  }
  if (!SourceOf(block, blockWidth, blockHeight, &first, &stride, colours)) {
    ScreenNotReadable(&check, "the frame's bitmap is no longer selected where it was copied from");
    return check;
  }
  if (!ReadAndCompare(window, width, height, block, blockWidth, blockHeight, first, stride,
                      colours, &check))
    ScreenNotReadable(&check, "GDI could not copy the window's client area (error %lu)",
                      static_cast<unsigned long>(GetLastError()));
  return check;
}
