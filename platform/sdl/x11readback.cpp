// x11readback.cpp — reading an X11 window back from its server as the screen shows it, on a
// connection of our own, for the check that the frames reached the screen.
//
// The image comes back in the window's own visual: TrueColor pixels of any depth are taken
// apart through the visual's masks; colormapped pixels are looked up in the colormap that the
// screen shows now (the window's own if it is installed, else the one that is), because on a
// palette display that, not the window's wish, decides the colours. A window with no backing
// store shows what covers it: that is what the user sees, so that is what is compared.
//
// The libraries are the ones SDL itself loads, looked up at run time.
#include <SDL_syswm.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <bit>
#include <cstdio>
#include <vector>

#include "platform/sdl/backend.h"

namespace {

struct XFunctions {
  decltype(&XOpenDisplay) openDisplay;
  decltype(&XCloseDisplay) closeDisplay;
  decltype(&XDisplayString) displayString;
  decltype(&XGetWindowAttributes) getWindowAttributes;
  decltype(&XGetImage) getImage;
  decltype(&XQueryColors) queryColors;
  decltype(&XListInstalledColormaps) listInstalledColormaps;
  decltype(&XFree) free;
  decltype(&XSync) sync;
  decltype(&XSetErrorHandler) setErrorHandler;
};
XFunctions x;

bool LoadFunctions() {
  static int loaded = 0;  // 1 found, -1 not
  if (loaded != 0) return loaded > 0;
  void* xlib = SDL_LoadObject("libX11.so.6");
  bool ok = FindLoaded(xlib, "XOpenDisplay", x.openDisplay) &&
            FindLoaded(xlib, "XCloseDisplay", x.closeDisplay) &&
            FindLoaded(xlib, "XDisplayString", x.displayString) &&
            FindLoaded(xlib, "XGetWindowAttributes", x.getWindowAttributes) &&
            FindLoaded(xlib, "XGetImage", x.getImage) &&
            FindLoaded(xlib, "XQueryColors", x.queryColors) &&
            FindLoaded(xlib, "XListInstalledColormaps", x.listInstalledColormaps) &&
            FindLoaded(xlib, "XFree", x.free) && FindLoaded(xlib, "XSync", x.sync) &&
            FindLoaded(xlib, "XSetErrorHandler", x.setErrorHandler);
  loaded = ok ? 1 : -1;
  return ok;
}

bool requestFailed = false;
int CatchError(Display*, XErrorEvent*) {
  requestFailed = true;
  return 0;
}

// One channel of a TrueColor pixel: where it lies and how many bits it has.
struct Channel {
  int32_t shift, bits;
};
Channel ChannelOf(unsigned long mask) {
  if (mask == 0) return {0, 0};
  return {std::countr_zero(mask), std::popcount(mask)};
}
// The channel as 8 bits: fewer bits are repeated downwards (so full scale stays full scale),
// more are cut to their top 8.
uint32_t Widen(unsigned long pixel, Channel c) {
  if (c.bits == 0) return 0;
  uint32_t value = static_cast<uint32_t>((pixel >> c.shift) & ((1ul << c.bits) - 1));
  if (c.bits >= 8) return value >> (c.bits - 8);
  uint32_t wide = 0;
  for (int32_t filled = 0; filled < 8; filled += c.bits)
    wide |= filled + c.bits <= 8 ? value << (8 - filled - c.bits) : value >> (filled + c.bits - 8);
  return wide & 0xFF;
}
// The bits of an 8-bit channel that a channel of this many bits keeps.
uint32_t Kept(int32_t bits) {
  if (bits >= 8) return 0xFF;
  return bits <= 0 ? 0 : (0xFFu << (8 - bits)) & 0xFF;
}

// The colormap the screen shows the window through.
Colormap ShownColormap(Display* display, Window window, const XWindowAttributes& attributes) {
  if (attributes.map_installed) return attributes.colormap;
  int count = 0;
  Colormap* installed = x.listInstalledColormaps(display, window, &count);
  Colormap shown = count > 0 ? installed[0] : attributes.colormap;
  if (installed != nullptr) x.free(installed);
  return shown;
}

// Each pixel value of a colormapped visual as 0x00RRGGBB; false if there are too many values.
bool ColormapColours(Display* display, Window window, const XWindowAttributes& attributes,
                     std::vector<uint32_t>& colours, char* why, size_t whySize) {
  int entries = attributes.visual->map_entries;
  if (attributes.depth > 12 || entries <= 0 || entries > 4096) {
    snprintf(why, whySize, "a colormapped visual of depth %d cannot be read back",
             attributes.depth);
    return false;
  }
  Colormap colormap = ShownColormap(display, window, attributes);
  std::vector<XColor> cells(static_cast<size_t>(entries));
  for (int i = 0; i < entries; ++i) cells[i].pixel = static_cast<unsigned long>(i);
  x.queryColors(display, colormap, cells.data(), entries);
  x.sync(display, False);
  if (requestFailed) {
    snprintf(why, whySize, "the X server would not give the colours of the window's colormap");
    return false;
  }
  // Pixel values beyond the colormap show nothing we could name: they never match.
  colours.assign(size_t{1} << attributes.depth, 0xFF000000u);
  for (int i = 0; i < entries; ++i)
    colours[i] = uint32_t(cells[i].red >> 8) << 16 | uint32_t(cells[i].green >> 8) << 8 |
                 uint32_t(cells[i].blue >> 8);
  return true;
}

// DirectColor (what SDL asks for where the server has it, for gamma ramps): each channel of a
// pixel indexes that channel's ramp in the colormap the screen shows.
bool ConvertDirectColor(Display* display, Window window, const XWindowAttributes& attributes,
                        XImage* image, uint32_t* pixels, int32_t width, int32_t height,
                        uint32_t* significant, char* why, size_t whySize) {
  const Visual* visual = attributes.visual;
  Channel r = ChannelOf(visual->red_mask), g = ChannelOf(visual->green_mask),
          b = ChannelOf(visual->blue_mask);
  int entries = visual->map_entries;
  if (entries <= 0 || entries > 4096 || r.bits > 12 || g.bits > 12 || b.bits > 12) {
    snprintf(why, whySize, "a DirectColor visual of depth %d cannot be read back",
             attributes.depth);
    return false;
  }
  // Cell i of every channel at once: the pixel whose three indices are all i, each held at its
  // channel's last cell (a 5-6-5 visual has 32 red cells and 64 green ones).
  std::vector<XColor> cells(static_cast<size_t>(entries));
  auto index = [](int i, Channel c) {
    return static_cast<unsigned long>(std::min(i, (1 << c.bits) - 1)) << c.shift;
  };
  for (int i = 0; i < entries; ++i) cells[i].pixel = index(i, r) | index(i, g) | index(i, b);
  x.queryColors(display, ShownColormap(display, window, attributes), cells.data(), entries);
  x.sync(display, False);
  if (requestFailed) {
    snprintf(why, whySize, "the X server would not give the colours of the window's colormap");
    return false;
  }
  auto ramp = [&](unsigned long pixel, Channel c, unsigned short XColor::*field) {
    size_t at = (pixel >> c.shift) & ((1ul << c.bits) - 1);
    return at < cells.size() ? uint32_t(cells[at].*field >> 8) : 0u;
  };
  int32_t precision = visual->bits_per_rgb;
  *significant = Kept(std::min(r.bits, precision)) << 16 |
                 Kept(std::min(g.bits, precision)) << 8 | Kept(std::min(b.bits, precision));
  for (int32_t row = 0; row < height; ++row)
    for (int32_t column = 0; column < width; ++column) {
      unsigned long p = XGetPixel(image, column, row);
      pixels[row * width + column] = ramp(p, r, &XColor::red) << 16 |
                                     ramp(p, g, &XColor::green) << 8 | ramp(p, b, &XColor::blue);
    }
  return true;
}

// Turns the image into 0x00RRGGBB pixels through the visual; false with why if it cannot.
bool ConvertImage(Display* display, Window window, const XWindowAttributes& attributes,
                  XImage* image, uint32_t* pixels, int32_t width, int32_t height,
                  uint32_t* significant, char* why, size_t whySize) {
  const Visual* visual = attributes.visual;
  if (visual->c_class == TrueColor) {
    Channel r = ChannelOf(visual->red_mask), g = ChannelOf(visual->green_mask),
            b = ChannelOf(visual->blue_mask);
    *significant = Kept(r.bits) << 16 | Kept(g.bits) << 8 | Kept(b.bits);
    for (int32_t row = 0; row < height; ++row)
      for (int32_t column = 0; column < width; ++column) {
        unsigned long p = XGetPixel(image, column, row);
        pixels[row * width + column] = Widen(p, r) << 16 | Widen(p, g) << 8 | Widen(p, b);
      }
    return true;
  }
  if (visual->c_class == DirectColor)
    return ConvertDirectColor(display, window, attributes, image, pixels, width, height,
                              significant, why, whySize);
  std::vector<uint32_t> colours;
  if (!ColormapColours(display, window, attributes, colours, why, whySize)) return false;
  uint32_t kept = Kept(visual->bits_per_rgb);
  *significant = kept << 16 | kept << 8 | kept;
  for (int32_t row = 0; row < height; ++row)
    for (int32_t column = 0; column < width; ++column) {
      unsigned long p = XGetPixel(image, column, row);
      pixels[row * width + column] = p < colours.size() ? colours[p] : 0xFF000000u;
    }
  return true;
}

const char* VisualName(int visualClass) {
  static const char* const names[] = {"StaticGray", "GrayScale", "StaticColor",
                                      "PseudoColor", "TrueColor", "DirectColor"};
  return visualClass >= 0 && visualClass < 6 ? names[visualClass] : "unknown";
}

// Reads the window on the connection; false with why if it cannot.
bool ReadWindow(Display* display, Window window, uint32_t* pixels, int32_t width,
                int32_t height, uint32_t* significant, char* why, size_t whySize) {
  XWindowAttributes attributes;
  if (!x.getWindowAttributes(display, window, &attributes)) {
    snprintf(why, whySize, "the X server does not know the window");
    return false;
  }
  if (attributes.map_state != IsViewable) {
    snprintf(why, whySize, "the window is not on the screen (minimised or hidden)");
    return false;
  }
  if (width > attributes.width || height > attributes.height) {
    snprintf(why, whySize, "the window is %dx%d, smaller than its client area %dx%d",
             attributes.width, attributes.height, static_cast<int>(width),
             static_cast<int>(height));
    return false;
  }
  // A window that lies partly off the screen cannot be read: the server refuses with an error,
  // caught (ReadBackX11) rather than ending the program.
  XImage* image = x.getImage(display, window, 0, 0, static_cast<unsigned>(width),
                             static_cast<unsigned>(height), AllPlanes, ZPixmap);
  x.sync(display, False);
  if (image == nullptr || requestFailed) {
    if (image != nullptr) XDestroyImage(image);
    snprintf(why, whySize,
             "the X server would not give the window's pixels (is part of it off the screen?)");
    return false;
  }
  bool converted = ConvertImage(display, window, attributes, image, pixels, width, height,
                                significant, why, whySize);
  if (!converted && why[0] == 0)
    snprintf(why, whySize, "a %s visual of depth %d cannot be read back",
             VisualName(attributes.visual->c_class), attributes.depth);
  XDestroyImage(image);
  return converted;
}

}  // namespace

Readback ReadBackX11(PlatformWindow* window, uint32_t* pixels, int32_t width, int32_t height,
                     uint32_t* significant, char* why, size_t whySize) {
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (!SDL_GetWindowWMInfo(window->sdl, &info) || info.subsystem != SDL_SYSWM_X11)
    return Readback::NotMine;
  if (!LoadFunctions()) {
    snprintf(why, whySize, "the X library's functions for reading a window could not be found");
    return Readback::NotAvailable;
  }
  // Every frame handed to the server, on either connection, is on the screen before reading.
  FinishX11();
  x.sync(info.info.x11.display, False);
  Display* display = x.openDisplay(x.displayString(info.info.x11.display));
  if (display == nullptr) {
    snprintf(why, whySize, "a second connection to the X server could not be opened");
    return Readback::NotAvailable;
  }
  why[0] = 0;
  // The server's errors on this connection (a window off the screen, a colormap that is gone)
  // make the window unreadable; they must not end the program as Xlib's own handler would.
  requestFailed = false;
  auto previous = x.setErrorHandler(CatchError);
  bool read = ReadWindow(display, info.info.x11.window, pixels, width, height, significant, why,
                         whySize);
  x.sync(display, False);
  x.setErrorHandler(previous);
  x.closeDisplay(display);
  return read ? Readback::Read : Readback::NotAvailable;
}
