// x11present.cpp — presenting straight into an X11 window through shared memory, with up to
// eight frames in flight, on a connection of our own to the window's X server; and the
// palettised X display: the window's own colormap, which holds the realised frame palette.
//
// SDL's window surface ends every update with a round trip to the server, which on a virtual
// machine costs more than the copy itself. Here a frame is converted into a shared image that
// the server has finished with, handed to the server with a request that reports its
// completion, and left to it: nothing waits for the server while it has a free image to give.
// The server copies a frame while the next ones are being composed.
//
// Why eight images: the server reports completions only when it runs out of requests, so
// when it is the slower side and every image is in its hands, the one it finishes first comes
// back together with all the others, and for the first frame after that the server has
// nothing to do. With n images that idle stretch comes once per n frames.
//
// Why the frame may be streamed into the image (StreamIndexedRows): the image's lines were
// last read by the server, on the other core; ordinary stores pull each line back before
// writing it. How much that costs depends on the processor: on some, ordinary stores into the
// image take three times as long as into private memory and streaming brings it back to
// little more; on others the two cost about the same and streaming only makes the server
// read the frame from memory instead of from a cache, which costs the server about as much time
// again per frame. So the first frames try both ways, in turn, and streaming is kept only where
// it takes less than half the time of ordinary stores: only there does our saving outweigh what
// it adds to the server's side, and a small lead measured on a busy machine is mostly noise.
//
// Depths. A 24- or 32-bit TrueColor window gets 0x00RRGGBB pixels through the 32-bit table; a
// 15- or 16-bit TrueColor window gets 16-bit pixels through a table made from the visual's
// masks; a PseudoColor window of depth 8 (the 256-colour display) gets the indices themselves,
// copied, not converted: the colours are in the window's colormap, where RealizePalette put
// them. There the server moves a quarter of the bytes of a 32-bit frame and converts nothing.
//
// The palettised display. A colormap is the X form of the system palette: the window gets one
// of its own, all 256 entries writable, whose static entries (the first and last ten) are the
// default colormap's, so that the rest of the desktop keeps those colours where it shares
// them, and whose other entries hold what was realised last. The window manager installs it
// while the window has the focus (the window's colormap attribute and WM_COLORMAP_WINDOWS say
// which); with no window manager the program installs it itself, as it realises.
//
// The libraries are the ones SDL itself loads. Anything this path cannot do (no X11, no shared
// memory, a server that cannot attach our memory, another pixel format) leaves presenting to
// SDL, as does TORVEX_PRESENT=sdl in the environment; TORVEX_PRESENT=x11-cached or x11-streamed
// keep this path with that way of writing the images (to compare them, in bench/).
#include <SDL_syswm.h>
#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/sdl/backend.h"

namespace {

// The Xlib and MIT-SHM functions, looked up in the libraries at run time.
struct XFunctions {
  decltype(&XOpenDisplay) openDisplay;
  decltype(&XCloseDisplay) closeDisplay;
  decltype(&XDisplayString) displayString;
  decltype(&XGetWindowAttributes) getWindowAttributes;
  decltype(&XGetVisualInfo) getVisualInfo;
  decltype(&XFree) free;
  decltype(&XCreateGC) createGC;
  decltype(&XFreeGC) freeGC;
  decltype(&XFlush) flush;
  decltype(&XSync) sync;
  decltype(&XEventsQueued) eventsQueued;
  decltype(&XNextEvent) nextEvent;
  decltype(&XSetErrorHandler) setErrorHandler;
  decltype(&XCreateColormap) createColormap;
  decltype(&XStoreColors) storeColors;
  decltype(&XQueryColors) queryColors;
  decltype(&XSetWindowColormap) setWindowColormap;
  decltype(&XSetWMColormapWindows) setWMColormapWindows;
  decltype(&XInstallColormap) installColormap;
  decltype(&XInternAtom) internAtom;
  decltype(&XGetSelectionOwner) getSelectionOwner;
  decltype(&XShmQueryExtension) shmQueryExtension;
  decltype(&XShmGetEventBase) shmGetEventBase;
  decltype(&XShmCreateImage) shmCreateImage;
  decltype(&XShmAttach) shmAttach;
  decltype(&XShmDetach) shmDetach;
  decltype(&XShmPutImage) shmPutImage;
};
XFunctions x;

bool LoadFunctions() {
  static int loaded = 0;  // 1 found, -1 not
  if (loaded != 0) return loaded > 0;
  void* xlib = SDL_LoadObject("libX11.so.6");
  void* xext = SDL_LoadObject("libXext.so.6");
  bool ok =
      FindLoaded(xlib, "XOpenDisplay", x.openDisplay) &&
      FindLoaded(xlib, "XCloseDisplay", x.closeDisplay) &&
      FindLoaded(xlib, "XDisplayString", x.displayString) &&
      FindLoaded(xlib, "XGetWindowAttributes", x.getWindowAttributes) &&
      FindLoaded(xlib, "XGetVisualInfo", x.getVisualInfo) && FindLoaded(xlib, "XFree", x.free) &&
      FindLoaded(xlib, "XCreateGC", x.createGC) && FindLoaded(xlib, "XFreeGC", x.freeGC) &&
      FindLoaded(xlib, "XFlush", x.flush) && FindLoaded(xlib, "XSync", x.sync) &&
      FindLoaded(xlib, "XEventsQueued", x.eventsQueued) &&
      FindLoaded(xlib, "XNextEvent", x.nextEvent) &&
      FindLoaded(xlib, "XSetErrorHandler", x.setErrorHandler) &&
      FindLoaded(xlib, "XCreateColormap", x.createColormap) &&
      FindLoaded(xlib, "XStoreColors", x.storeColors) &&
      FindLoaded(xlib, "XQueryColors", x.queryColors) &&
      FindLoaded(xlib, "XSetWindowColormap", x.setWindowColormap) &&
      FindLoaded(xlib, "XSetWMColormapWindows", x.setWMColormapWindows) &&
      FindLoaded(xlib, "XInstallColormap", x.installColormap) &&
      FindLoaded(xlib, "XInternAtom", x.internAtom) &&
      FindLoaded(xlib, "XGetSelectionOwner", x.getSelectionOwner) &&
      FindLoaded(xext, "XShmQueryExtension", x.shmQueryExtension) &&
      FindLoaded(xext, "XShmGetEventBase", x.shmGetEventBase) &&
      FindLoaded(xext, "XShmCreateImage", x.shmCreateImage) &&
      FindLoaded(xext, "XShmAttach", x.shmAttach) &&
      FindLoaded(xext, "XShmDetach", x.shmDetach) &&
      FindLoaded(xext, "XShmPutImage", x.shmPutImage);
  loaded = ok ? 1 : -1;
  return ok;
}

// ---------------------------------------------------------------------------------------
// The screen, as found when video starts; kept for the whole run.

constexpr int32_t StaticCount = 10;  // static entries at each end of the palette

struct ScreenFacts {
  bool palettised;        // windows go on a PseudoColor visual of depth 8, with our colormap
  char refusal[200];      // why no window of ours can show the frame's colours ("" if it can)
  // The system palette: the static entries as the default colormap holds them, the others as
  // realised last (black until then, as after a reset).
  PaletteEntry system[256];
};
ScreenFacts screen;

const char* ClassName(int visualClass) {
  static const char* const names[] = {"StaticGray", "GrayScale",  "StaticColor",
                                      "PseudoColor", "TrueColor", "DirectColor"};
  return visualClass >= 0 && visualClass <= 5 ? names[visualClass] : "unknown";
}

// Reads the default colormap's static entries into the system palette.
void ReadStaticColours(Display* display, int number) {
  XColor cells[2 * StaticCount];
  for (int i = 0; i < 2 * StaticCount; ++i)
    cells[i].pixel = static_cast<unsigned long>(i < StaticCount ? i : 236 + i);
  x.queryColors(display, DefaultColormap(display, number), cells, 2 * StaticCount);
  for (int i = 0; i < 2 * StaticCount; ++i)
    screen.system[cells[i].pixel] = {uint8_t(cells[i].red >> 8), uint8_t(cells[i].green >> 8),
                                     uint8_t(cells[i].blue >> 8), 0};
}

// What the default depth offers: SDL takes a TrueColor or DirectColor visual of that depth,
// whose colours are right from 15 bits on; at depth 8 only a PseudoColor visual shows the 256
// colours exactly, and SDL (which prefers the others) is told to put the window on it.
void ChooseVisual(Display* display) {
  int number = DefaultScreen(display);
  int depth = DefaultDepth(display, number);
  XVisualInfo wanted{};
  wanted.screen = number;
  wanted.depth = depth;
  int count = 0;
  XVisualInfo* visuals =
      x.getVisualInfo(display, VisualScreenMask | VisualDepthMask, &wanted, &count);
  const XVisualInfo* pseudo = nullptr;
  const XVisualInfo* trueColour = nullptr;
  bool directColour = false;
  for (int i = 0; i < count; ++i) {
    if (visuals[i].c_class == TrueColor && trueColour == nullptr) trueColour = &visuals[i];
    if (visuals[i].c_class == DirectColor) directColour = true;
    if (visuals[i].c_class == PseudoColor && visuals[i].colormap_size >= 256 && pseudo == nullptr)
      pseudo = &visuals[i];
  }
  char id[24];
  if (depth >= 15 && (trueColour != nullptr || directColour)) {
    // SDL's own choice shows every colour; 15 and 16 bits round each to the visual's steps.
    // There SDL would take a DirectColor visual, whose colours go through a ramp of its own:
    // on the TrueColor one the frame goes through shared memory, by the visual's masks.
    if ((depth == 15 || depth == 16) && trueColour != nullptr) {
      snprintf(id, sizeof id, "0x%lx", trueColour->visualid);
      SDL_SetHint(SDL_HINT_VIDEO_X11_WINDOW_VISUALID, id);
    }
  } else if (depth == 8 && pseudo != nullptr) {
    screen.palettised = true;
    snprintf(id, sizeof id, "0x%lx", pseudo->visualid);
    SDL_SetHint(SDL_HINT_VIDEO_X11_WINDOW_VISUALID, id);
    ReadStaticColours(display, number);
  } else {
    Visual* visual = DefaultVisual(display, number);
    snprintf(screen.refusal, sizeof screen.refusal,
             "the screen's default visual, %s of depth %d, cannot show the frame's 256 colours "
             "(a TrueColor visual of 15 bits or more, or PseudoColor of depth 8, can)",
             ClassName(visual->c_class), depth);
  }
  if (visuals != nullptr) x.free(visuals);
}

// ---------------------------------------------------------------------------------------
// Our connection to the window's X server, and the window's colormap.

struct Link {
  bool tried;  // connected (or found impossible) for the live window
  bool ok;
  Display* display;
  Window window;
  Visual* visual;
  int depth;
  Colormap colormap;  // ours, on a palettised display; gone with the connection
  bool managed;       // a window manager installs colormaps
  bool install;       // no window manager, and the colormap is to be installed at realising
};
Link link;

bool Connect(PlatformWindow* w) {
  if (link.tried) return link.ok;
  link.tried = true;
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (!SDL_GetWindowWMInfo(w->sdl, &info) || info.subsystem != SDL_SYSWM_X11 || !LoadFunctions())
    return false;
  link.display = x.openDisplay(x.displayString(info.info.x11.display));
  if (link.display == nullptr) return false;
  link.window = info.info.x11.window;
  XWindowAttributes attributes;
  if (!x.getWindowAttributes(link.display, link.window, &attributes)) return false;
  link.visual = attributes.visual;
  link.depth = attributes.depth;
  link.ok = true;
  return true;
}

bool OnPalettisedWindow() {
  return screen.palettised && link.ok && link.depth == 8 && link.visual->c_class == PseudoColor;
}

XColor Cell(int32_t index) {
  const PaletteEntry& e = screen.system[index];
  XColor cell{};
  cell.pixel = static_cast<unsigned long>(index);
  cell.red = static_cast<unsigned short>(e.red * 257);
  cell.green = static_cast<unsigned short>(e.green * 257);
  cell.blue = static_cast<unsigned short>(e.blue * 257);
  cell.flags = DoRed | DoGreen | DoBlue;
  return cell;
}

// Gives the window its colormap, filled with the system palette, once.
bool AttachColormap() {
  if (link.colormap != 0) return true;
  if (!OnPalettisedWindow()) return false;
  Display* d = link.display;
  XWindowAttributes attributes;
  if (!x.getWindowAttributes(d, link.window, &attributes)) return false;
  link.colormap = x.createColormap(d, attributes.root, link.visual, AllocAll);
  XColor cells[256];
  for (int32_t i = 0; i < 256; ++i) cells[i] = Cell(i);
  x.storeColors(d, link.colormap, cells, 256);
  x.setWindowColormap(d, link.window, link.colormap);
  Window windows[1] = {link.window};
  x.setWMColormapWindows(d, link.window, windows, 1);
  // A window manager that follows the conventions owns the selection WM_Sn of its screen.
  char name[16];
  snprintf(name, sizeof name, "WM_S%d", static_cast<int>(attributes.screen - ScreenOfDisplay(d, 0)));
  link.managed = x.getSelectionOwner(d, x.internAtom(d, name, False)) != None;
  link.install = !link.managed;
  x.flush(d);
  return true;
}

void Disconnect() {
  // The colormap goes with the connection that made it.
  if (link.display != nullptr) x.closeDisplay(link.display);
  link = Link{};
}

// ---------------------------------------------------------------------------------------
// Shared images.

constexpr int BufferCount = 8;
// Trial frames of each way of writing; before them, one round of the images is not timed.
// The median, not the best: on a busy machine streaming's best case is its rare one.
constexpr int TimedTrials = 24;

struct Buffer {
  XImage* image;
  XShmSegmentInfo segment;
  bool attached;  // the server has the segment
  bool inFlight;  // handed to the server, its completion not yet seen
};

// What a pixel of the window is: how a frame becomes the image.
enum class Pixels { Rgb32, Masked16, Indexed8 };

struct Presenter {
  bool tried;  // set up (or found impossible) for the live window
  bool usable;
  GC gc;
  int completionType;
  int width, height;  // of each buffer
  Pixels pixels;
  Buffer buffers[BufferCount];
  int next;  // the buffer the next frame goes into: the one handed over longest ago
  // How frames are written into the images: decided by the environment, or by the median time
  // of each way over the trial frames, written both ways in turn (times[streamed]).
  bool streamed;
  bool decided;
  int trials;
  int64_t times[2][TimedTrials];
  // Masked16: the colours the table was made from, and the table.
  uint32_t madeFrom[256];
  uint16_t table16[256];
  bool tableMade;
};
Presenter p;

bool attachFailed = false;
int CatchAttachError(Display*, XErrorEvent*) {
  attachFailed = true;
  return 0;
}

// Releases what a buffer holds, as far as it got.
void FreeBuffer(Buffer& b) {
  if (b.image == nullptr) return;
  if (b.attached) x.shmDetach(link.display, &b.segment);
  if (b.segment.shmaddr != nullptr && b.segment.shmaddr != reinterpret_cast<char*>(-1))
    shmdt(b.segment.shmaddr);
  b.image->data = nullptr;
  XDestroyImage(b.image);
  b = Buffer{};
}

void FreeBuffers() {
  if (link.display != nullptr) {
    // The server finishes every frame before an image may go.
    x.sync(link.display, False);
    for (Buffer& b : p.buffers) FreeBuffer(b);
    if (p.gc != nullptr) x.freeGC(link.display, p.gc);
  }
  p = Presenter{};
}

// A shared buffer the server has attached; the segment is marked for removal at once, so it
// goes with the process however that ends.
bool MakeBuffer(Buffer& b, int width, int height) {
  b = Buffer{};
  b.image = x.shmCreateImage(link.display, link.visual, link.depth, ZPixmap, nullptr, &b.segment,
                             width, height);
  if (b.image == nullptr) return false;
  size_t bytes = size_t(b.image->bytes_per_line) * height;
  b.segment.shmid = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
  if (b.segment.shmid < 0) return false;
  b.segment.shmaddr = static_cast<char*>(shmat(b.segment.shmid, nullptr, 0));
  b.image->data = b.segment.shmaddr;
  b.segment.readOnly = True;
  if (b.segment.shmaddr != reinterpret_cast<char*>(-1)) {
    // A server elsewhere cannot reach our memory: it says so with an error, caught here.
    attachFailed = false;
    auto previous = x.setErrorHandler(CatchAttachError);
    x.shmAttach(link.display, &b.segment);
    x.sync(link.display, False);
    x.setErrorHandler(previous);
    b.attached = !attachFailed;
  }
  shmctl(b.segment.shmid, IPC_RMID, nullptr);
  return b.attached;
}

// How the window's pixels are made, if this path can make them: 32-bit 0x00RRGGBB, 16-bit
// through the visual's masks (TrueColor only: a DirectColor visual's colours are in a
// colormap), or the indices themselves through the window's colormap.
bool PixelsOf(Pixels& pixels) {
  const Visual* v = link.visual;
  if ((link.depth == 24 || link.depth == 32) && v->red_mask == 0xFF0000 &&
      v->green_mask == 0xFF00 && v->blue_mask == 0xFF) {
    pixels = Pixels::Rgb32;
    return true;
  }
  if ((link.depth == 15 || link.depth == 16) && v->c_class == TrueColor) {
    pixels = Pixels::Masked16;
    return true;
  }
  if (OnPalettisedWindow() && AttachColormap()) {
    pixels = Pixels::Indexed8;
    return true;
  }
  return false;
}

int BitsPerPixel(Pixels pixels) {
  return pixels == Pixels::Rgb32 ? 32 : pixels == Pixels::Masked16 ? 16 : 8;
}

bool SetUp(PlatformWindow* w, int width, int height) {
  const char* choice = getenv("TORVEX_PRESENT");
  p.decided = choice != nullptr && (strcmp(choice, "x11-cached") == 0 ||
                                    strcmp(choice, "x11-streamed") == 0);
  p.streamed = p.decided && strcmp(choice, "x11-streamed") == 0;
  if ((choice != nullptr && strcmp(choice, "sdl") == 0) || !Connect(w) ||
      !x.shmQueryExtension(link.display) || !PixelsOf(p.pixels))
    return false;
  p.completionType = x.shmGetEventBase(link.display) + ShmCompletion;
  p.gc = x.createGC(link.display, link.window, 0, nullptr);
  p.width = width;
  p.height = height;
  // The images are written in this machine's byte order.
  const int order = SDL_BYTEORDER == SDL_LIL_ENDIAN ? LSBFirst : MSBFirst;
  for (Buffer& b : p.buffers)
    if (!MakeBuffer(b, width, height) || b.image->bits_per_pixel != BitsPerPixel(p.pixels) ||
        (p.pixels != Pixels::Indexed8 && b.image->byte_order != order))
      return false;
  return true;
}

// Marks the image of a completion event as free again; other events are of no interest here
// (this connection selects none; SDL's own connection gets the window's).
void Collect(const XEvent& event) {
  if (event.type != p.completionType) return;
  auto* done = reinterpret_cast<const XShmCompletionEvent*>(&event);
  for (Buffer& any : p.buffers)
    if (any.segment.shmseg == done->shmseg) any.inFlight = false;
}

// Makes the buffer free to write. First from what the server has sent already, read without
// waiting. Only when the server still holds every image, that is when it is the slower side,
// does presenting wait for it: the frames then go at the display server's pace.
void Reclaim(Buffer& b) {
  XEvent event;
  for (int n = x.eventsQueued(link.display, QueuedAfterReading); n > 0 && b.inFlight; --n) {
    x.nextEvent(link.display, &event);
    Collect(event);
  }
  while (b.inFlight) {
    x.nextEvent(link.display, &event);
    Collect(event);
  }
}

// One frame written the given way took time ns; after the trial frames the way to keep is decided.
void Try(bool streamed, int64_t time) {
  int timed = ++p.trials - BufferCount - 1;
  if (timed < 0) return;
  p.times[streamed][timed / 2] = time;
  if (timed + 1 < 2 * TimedTrials) return;
  for (int64_t* times : p.times)
    std::nth_element(times, times + TimedTrials / 2, times + TimedTrials);
  p.streamed = 2 * p.times[1][TimedTrials / 2] < p.times[0][TimedTrials / 2];
  p.decided = true;
}

// Writes the frame into a 32-bit image, the way tried or kept.
void Write32(Buffer& b, const uint8_t* source, ptrdiff_t sourceStride, int32_t width,
             int32_t height, const uint32_t* colours) {
  auto* pixels = reinterpret_cast<uint32_t*>(b.image->data);
  bool streamed = p.decided ? p.streamed : p.trials % 2 == 1;
  int64_t start = p.decided ? 0 : GetPreciseTimeNs();
  if (streamed)
    StreamIndexedRows(pixels, b.image->bytes_per_line, source, sourceStride, width, height,
                      colours);
  else
    ConvertIndexedRows(pixels, b.image->bytes_per_line, source, sourceStride, width, height,
                       colours);
  if (!p.decided) Try(streamed, GetPreciseTimeNs() - start);
}

void Write16(Buffer& b, const uint8_t* source, ptrdiff_t sourceStride, int32_t width,
             int32_t height, const uint32_t* colours) {
  // The table follows the bitmap's colours; made again only when they change.
  if (!p.tableMade || memcmp(p.madeFrom, colours, sizeof p.madeFrom) != 0) {
    const Visual* v = link.visual;
    MakeMaskedTable16(colours, static_cast<uint32_t>(v->red_mask),
                      static_cast<uint32_t>(v->green_mask), static_cast<uint32_t>(v->blue_mask),
                      p.table16);
    memcpy(p.madeFrom, colours, sizeof p.madeFrom);
    p.tableMade = true;
  }
  ConvertIndexedRows16(reinterpret_cast<uint16_t*>(b.image->data), b.image->bytes_per_line,
                       source, sourceStride, width, height, p.table16);
}

}  // namespace

// ---------------------------------------------------------------------------------------

void ProbeX11Screen() {
  screen = ScreenFacts{};
  ResetSystemPaletteEntries(0, 256, screen.system);
  if (!LoadFunctions()) return;
  // SDL's driver opens the display that DISPLAY names, as this does.
  Display* display = x.openDisplay(nullptr);
  if (display == nullptr) return;
  ChooseVisual(display);
  x.closeDisplay(display);
}

bool X11Palettised() { return screen.palettised; }

const char* X11Refusal() { return screen.refusal; }

int32_t GetX11SystemPalette(int32_t first, int32_t count, PaletteEntry* entries) {
  if (first < 0 || count < 0 || first > 256) return 0;
  count = SDL_min(count, 256 - first);
  memcpy(entries, screen.system + first, sizeof(PaletteEntry) * count);
  return count;
}

int32_t RealizeX11Palette(PlatformWindow* w, const PaletteEntry* entries, int32_t count) {
  // The static entries stay the display's; the others take the palette's colours.
  XColor changed[256];
  int32_t n = 0;
  for (int32_t i = StaticCount; i < SDL_min(count, 256 - StaticCount); ++i) {
    PaletteEntry& e = screen.system[i];
    if (e.red == entries[i].red && e.green == entries[i].green && e.blue == entries[i].blue)
      continue;
    e = {entries[i].red, entries[i].green, entries[i].blue, 0};
    changed[n++] = Cell(i);
  }
  if (w == nullptr || !Connect(w)) return n;
  bool fresh = link.colormap == 0;
  if (!AttachColormap()) return n;
  if (n > 0 && !fresh) x.storeColors(link.display, link.colormap, changed, n);
  if (link.install) {
    x.installColormap(link.display, link.colormap);
    link.install = false;
  }
  if (n > 0 || fresh) x.flush(link.display);
  return n;
}

void NoteX11Focus(PlatformWindow*) {
  // Without a window manager, coming to the front installs our colours again.
  if (link.colormap != 0 && !link.managed) link.install = true;
}

void ForgetX11(PlatformWindow*) {
  FreeBuffers();
  Disconnect();
}

void FinishX11() {
  if (link.display != nullptr) x.sync(link.display, False);
}

const char* X11PresentPath() {
  return p.usable && p.pixels == Pixels::Indexed8 ? "x11-shm-indexed" : "x11-shm";
}

Presented PresentX11(PlatformWindow* w, int32_t left, int32_t top, int32_t width, int32_t height,
                     const uint8_t* source, ptrdiff_t sourceStride, const uint32_t* colours) {
  if (!p.tried || (p.usable && (width > p.width || height > p.height))) {
    FreeBuffers();
    p.usable = SetUp(w, SDL_max(width, 512), SDL_max(height, 384));
    if (!p.usable) FreeBuffers();
    p.tried = true;
  }
  if (!p.usable) return Presented::NotMine;
  Buffer& b = p.buffers[p.next];
  p.next = (p.next + 1) % BufferCount;
  if (b.inFlight) Reclaim(b);
  switch (p.pixels) {
    case Pixels::Rgb32: Write32(b, source, sourceStride, width, height, colours); break;
    case Pixels::Masked16: Write16(b, source, sourceStride, width, height, colours); break;
    case Pixels::Indexed8:
      CopyIndexedRows(reinterpret_cast<uint8_t*>(b.image->data), b.image->bytes_per_line, source,
                      sourceStride, width, height);
      break;
  }
  x.shmPutImage(link.display, link.window, p.gc, b.image, 0, 0, left, top, width, height, True);
  b.inFlight = true;
  x.flush(link.display);
  return Presented::Shown;
}
