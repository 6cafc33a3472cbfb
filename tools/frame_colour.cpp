// frame_colour.cpp — the frame palette's colours as the tools write them into pictures: the
// display's static colours at both ends, the colour cube between them.
#include "platform/platform.h"
#include "tools/asset_tool.h"

void FrameColour(int index, uint8_t rgb[3]) {
  // The static colours a 256-colour display reports at 0 to 9 and 246 to 255.
  const PaletteEntry* fixed = nullptr;
  if (index < 10) fixed = &DisplayStaticColours[index];
  if (index >= 246) fixed = &DisplayStaticColours[index - 236];
  if (fixed != nullptr) {
    rgb[0] = fixed->red, rgb[1] = fixed->green, rgb[2] = fixed->blue;
  } else if (index < 20 || index > 235) {
    rgb[0] = rgb[1] = rgb[2] = 0;
  } else {
    const int k = index - 20;
    rgb[0] = static_cast<uint8_t>(k / 36 * 51);
    rgb[1] = static_cast<uint8_t>(k / 6 % 6 * 51);
    rgb[2] = static_cast<uint8_t>(k % 6 * 51);
  }
}
