// frame_colour.cpp — the frame palette's colours as the tools write them into pictures: the
// display's static colours at both ends, the colour cube between them.
#include "frame/frame.h"
#include "platform/platform.h"
#include "pngfile/pngfile.h"

void FrameColour(int index, uint8_t rgb[3]) {
  // The static colours a 256-colour display reports at both ends; the colour table between.
  PaletteEntry colour = CubeColour(index);
  if (index < StaticColourCount || index >= HighStaticFirst)
    ResetSystemPaletteEntries(index, 1, &colour);
  rgb[0] = colour.red, rgb[1] = colour.green, rgb[2] = colour.blue;
}
