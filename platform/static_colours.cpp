// static_colours.cpp — the twenty static colours of a 256-colour display, which every
// platform backend reports as its system palette, and the sixteen colours of icons.
#include "platform/platform.h"

const PaletteEntry DisplayStaticColours[2 * StaticColourCount] = {
    {0, 0, 0, 0},       {128, 0, 0, 0},     {0, 128, 0, 0},     {128, 128, 0, 0},
    {0, 0, 128, 0},     {128, 0, 128, 0},   {0, 128, 128, 0},   {192, 192, 192, 0},
    {192, 220, 192, 0}, {166, 202, 240, 0}, {255, 251, 240, 0}, {160, 160, 164, 0},
    {128, 128, 128, 0}, {255, 0, 0, 0},     {0, 255, 0, 0},     {255, 255, 0, 0},
    {0, 0, 255, 0},     {255, 0, 255, 0},   {0, 255, 255, 0},   {255, 255, 255, 0}};

int32_t ResetSystemPaletteEntries(int32_t first, int32_t count, PaletteEntry* entries) {
  if (first < 0 || count < 0 || first > 256) return 0;
  if (count > 256 - first) count = 256 - first;
  for (int32_t i = 0; i < count; ++i) {
    int32_t index = first + i;
    entries[i] = index < StaticColourCount ? DisplayStaticColours[index]
                 : index >= HighStaticFirst
                     ? DisplayStaticColours[index - HighStaticFirst + StaticColourCount]
                     : PaletteEntry{0, 0, 0, 0};
  }
  return count;
}

const uint32_t IconColours[16] = {0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080,
                                  0x008080, 0xC0C0C0, 0x808080, 0xFF0000, 0x00FF00, 0xFFFF00,
                                  0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF};
