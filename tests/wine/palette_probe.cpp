// palette_probe.cpp — what GDI reports and does with a 256-colour palette on the display it
// runs on, printed as "name value" lines: the facts the Win32 backend's palette branch stands
// on (tests/wine/test_wine_palette.py runs it under Wine on a palettised X server).
//
// It realises the frame's palette (the static colours at both ends, the 6 by 6 by 6 cube
// between them, reserved) in a window, then reads back what the system palette holds and what
// the window shows of palette-index pixels and of an 8-bit DIB drawn with the cube's colours.
#include <windows.h>

#include <cstdio>

namespace {

LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM first, LPARAM second) {
  return DefWindowProcA(window, message, first, second);
}

bool Same(COLORREF shown, const PALETTEENTRY& e) {
  return GetRValue(shown) == e.peRed && GetGValue(shown) == e.peGreen &&
         GetBValue(shown) == e.peBlue;
}

}  // namespace

int main() {
  HDC screen = GetDC(nullptr);
  printf("rc_palette %d\n", (GetDeviceCaps(screen, RASTERCAPS) & RC_PALETTE) != 0);
  printf("bits_per_pixel %d\n", GetDeviceCaps(screen, BITSPIXEL));
  PALETTEENTRY system[256] = {};
  printf("system_entries %u\n", GetSystemPaletteEntries(screen, 0, 256, system));
  ReleaseDC(nullptr, screen);

  struct {
    WORD version, count;
    PALETTEENTRY entries[256];
  } logical = {0x300, 256, {}};
  for (int i = 0; i < 256; ++i) {
    int k = i - 20;
    logical.entries[i] = i >= 20 && i <= 235
        ? PALETTEENTRY{BYTE(k / 36 * 51), BYTE(k / 6 % 6 * 51), BYTE(k % 6 * 51), PC_RESERVED}
        : i < 10 || i >= 246 ? PALETTEENTRY{system[i].peRed, system[i].peGreen, system[i].peBlue, 0}
                             : PALETTEENTRY{0, 0, 0, PC_RESERVED};
  }

  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = Procedure;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.lpszClassName = "PaletteProbe";
  RegisterClassA(&windowClass);
  HWND window = CreateWindowA("PaletteProbe", "palette probe", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                              10, 10, 300, 100, nullptr, nullptr, windowClass.hInstance, nullptr);
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);

  HPALETTE palette = CreatePalette(reinterpret_cast<LOGPALETTE*>(&logical));
  HDC dc = GetDC(window);
  HPALETTE previous = SelectPalette(dc, palette, FALSE);
  printf("select_returned_previous %d\n", previous != nullptr);
  printf("realize_changed %u\n", RealizePalette(dc));
  GetSystemPaletteEntries(dc, 0, 256, system);
  int held = 0;
  for (int i = 20; i <= 235; ++i) held += Same(RGB(system[i].peRed, system[i].peGreen,
                                                    system[i].peBlue), logical.entries[i]);
  printf("system_holds_cube %d\n", held);

  // Palette-index pixels, then an 8-bit DIB section with the cube as its colour table.
  int exact = 0;
  for (int i = 20; i <= 235; ++i) {
    SetPixel(dc, i, 5, PALETTEINDEX(i));
    exact += Same(GetPixel(dc, i, 5), logical.entries[i]);
  }
  printf("index_pixels_exact %d\n", exact);
  struct {
    BITMAPINFOHEADER header;
    RGBQUAD colours[256];
  } info = {};
  info.header = {sizeof(BITMAPINFOHEADER), 256, 1, 1, 8, BI_RGB, 0, 0, 0, 0, 0};
  for (int i = 0; i < 256; ++i)
    info.colours[i] = {logical.entries[i].peBlue, logical.entries[i].peGreen,
                       logical.entries[i].peRed, 0};
  HDC memory = CreateCompatibleDC(nullptr);
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(memory, reinterpret_cast<BITMAPINFO*>(&info),
                                    DIB_RGB_COLORS, &bits, nullptr, 0);
  for (int i = 0; i < 256; ++i) static_cast<BYTE*>(bits)[i] = BYTE(i);
  HGDIOBJ kept = SelectObject(memory, bitmap);
  BitBlt(dc, 0, 20, 256, 1, memory, 0, 0, SRCCOPY);
  exact = 0;
  for (int i = 20; i <= 235; ++i) exact += Same(GetPixel(dc, i, 20), logical.entries[i]);
  printf("dib_pixels_exact %d\n", exact);
  COLORREF shown = GetPixel(dc, 21, 20);
  printf("dib_21_shows %d,%d,%d\n", GetRValue(shown), GetGValue(shown), GetBValue(shown));

  SelectObject(memory, kept);
  DeleteObject(bitmap);
  DeleteDC(memory);
  SelectPalette(dc, previous, FALSE);
  ReleaseDC(window, dc);
  DeleteObject(palette);
  DestroyWindow(window);
  return 0;
}
