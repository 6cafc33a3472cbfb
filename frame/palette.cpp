// palette.cpp — the fixed colour table, the two logical palettes and the 8-bit FrameBuffer in
// its memory context, and the one copy of the FrameBuffer into the window.
//
// FrameColours is filled once by CreateFrameBuffer and never changes afterwards; every colour
// effect of the system is done by writing other indices into pixels.
#include "frame/frame.h"

#include <cstring>

PaletteEntry FrameColours[256];       // written only by CreateFrameBuffer
uint8_t* FrameBuffer = nullptr;       // valid from CreateFrameBuffer to DestroyFrameBuffer
int32_t ViewportShift = 0;            // AllocPlayfield, CopyViewport; read by CopyToWindow
PaletteHandle WindowPalette = nullptr;
PaletteHandle BufferPalette = nullptr;
ContextHandle FrameDC = nullptr;

namespace {
BitmapHandle FrameBitmap = nullptr;   // the bitmap section whose pixels are FrameBuffer
BitmapHandle KeptBitmap = nullptr;    // what FrameDC held before the FrameBitmap
PaletteHandle KeptPalette = nullptr;  // what FrameDC held before the BufferPalette
bool BitmapSelected = false;          // FrameBitmap is selected into FrameDC

// Reads the display's static colours into both ends of FrameColours. A display without a
// palette of its own reports none: those entries then stay black.
void ReadStaticColours() {
  memset(FrameColours, 0, StaticColourCount * sizeof(PaletteEntry));
  memset(FrameColours + HighStaticFirst, 0, StaticColourCount * sizeof(PaletteEntry));
  ContextHandle screen = GetScreenContext();
  GetSystemPaletteEntries(screen, 0, StaticColourCount, FrameColours);
  GetSystemPaletteEntries(screen, HighStaticFirst, StaticColourCount,
                          FrameColours + HighStaticFirst);
  ReleaseContext(nullptr, screen);
}

// Completes FrameColours: static colours keep their colour but never the platform's flags;
// everything between them is reserved, so the realised palette keeps it to itself.
void CompleteFrameColours() {
  for (int32_t i = 0; i < 256; ++i) {
    PaletteEntry& entry = FrameColours[i];
    if (i < StaticColourCount || i >= HighStaticFirst) {
      entry.flags = 0;
    } else {
      entry = CubeColour(i);
      entry.flags = PC_RESERVED;
    }
  }
}

// Creates the bitmap section on FrameDC; FrameBuffer stays null if the platform has none.
void CreateFrameBitmap() {
  BitmapHeader header{FrameWidth, FrameHeight, 1, 8, 0};
  ColourQuad colourTable[256];
  for (int32_t i = 0; i < 256; ++i)
    colourTable[i] = {FrameColours[i].blue, FrameColours[i].green, FrameColours[i].red, 0};
  uint8_t* pixels = nullptr;
  FrameBitmap = CreateBitmapSection(FrameDC, header, colourTable, &pixels);
  FrameBuffer = FrameBitmap != nullptr ? pixels : nullptr;
}
}  // namespace

void ResetSystemPalette() {
  // 256 black entries that may not collapse onto existing colours: realising them clears
  // every changeable entry of the system palette before the frame palette is realised.
  PaletteEntry black[256];
  for (PaletteEntry& entry : black) entry = {0, 0, 0, PC_NOCOLLAPSE};
  ContextHandle screen = GetScreenContext();
  PaletteHandle palette = CreatePalette(black, 256);
  if (palette != nullptr) {
    PaletteHandle previous = SelectPalette(screen, palette);
    RealizePalette(screen);
    SelectPalette(screen, previous);
    DeletePalette(palette);
  }
  ReleaseContext(nullptr, screen);
}

void CreateFrameBuffer() {
  ReadStaticColours();
  CompleteFrameColours();
  // The two palettes hold the same 256 entries, flags included.
  WindowPalette = CreatePalette(FrameColours, 256);
  BufferPalette = CreatePalette(FrameColours, 256);
  FrameDC = CreateMemoryContext();
  CreateFrameBitmap();
  KeptPalette = SelectPalette(FrameDC, BufferPalette);
  RealizePalette(FrameDC);
  if (FrameBitmap != nullptr) {
    KeptBitmap = SelectBitmap(FrameDC, FrameBitmap);
    BitmapSelected = true;
  }
}

void DestroyFrameBuffer() {
  if (FrameDC != nullptr) {
    if (BitmapSelected) SelectBitmap(FrameDC, KeptBitmap);
    SelectPalette(FrameDC, KeptPalette);
    // The bitmap's pixel memory goes with it.
    if (FrameBitmap != nullptr) DeleteBitmap(FrameBitmap);
  }
  if (BufferPalette != nullptr) DeletePalette(BufferPalette);
  if (FrameDC != nullptr) DeleteMemoryContext(FrameDC);
  if (WindowPalette != nullptr) DeletePalette(WindowPalette);
  FrameBuffer = nullptr;
  FrameBitmap = KeptBitmap = nullptr;
  KeptPalette = BufferPalette = WindowPalette = nullptr;
  FrameDC = nullptr;
  BitmapSelected = false;
}

bool CopyToWindow(ContextHandle context) {
  // The palette stays selected: the caller releases or ends the context.
  SelectPalette(context, WindowPalette);
  RealizePalette(context);
  return BlockCopy(context, 0, 0, WindowWidth, WindowHeight, FrameDC, ViewportShift, 0);
}
