// pictures.cpp — what both PNG writers share: the two kinds of picture, and the frame
// palette's colours as pictures hold them (the display's static colours at both ends, the
// colour cube between them).
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

bool WritePalettePng(const std::string& path, int32_t width, int32_t height,
                     const std::vector<uint8_t>& pixels, std::string& why) {
  return WritePngRows(path, width, height, 1, pixels.data(), why);
}

bool WriteRgbaPng(const std::string& path, int32_t width, int32_t height,
                  const std::vector<uint8_t>& rgba, std::string& why) {
  return WritePngRows(path, width, height, 4, rgba.data(), why);
}
