// x11present.cpp — presenting straight into an X11 window through shared memory, with up to
// eight frames in flight, on a connection of our own to the window's X server.
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
// The libraries are the ones SDL itself loads. Anything this path cannot do (no X11, no shared
// memory, a server that cannot attach our memory, another pixel format) leaves presenting to
// SDL, as does TORVEX_PRESENT=sdl in the environment; TORVEX_PRESENT=x11-cached or x11-streamed
// keep this path with that way of writing the images (to compare them, in bench/).
#include <SDL_syswm.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <algorithm>
#include <cstdint>
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
  decltype(&XCreateGC) createGC;
  decltype(&XFreeGC) freeGC;
  decltype(&XFlush) flush;
  decltype(&XSync) sync;
  decltype(&XEventsQueued) eventsQueued;
  decltype(&XNextEvent) nextEvent;
  decltype(&XSetErrorHandler) setErrorHandler;
  decltype(&XShmQueryExtension) shmQueryExtension;
  decltype(&XShmGetEventBase) shmGetEventBase;
  decltype(&XShmCreateImage) shmCreateImage;
  decltype(&XShmAttach) shmAttach;
  decltype(&XShmDetach) shmDetach;
  decltype(&XShmPutImage) shmPutImage;
};
XFunctions x;

template <typename F>
bool Find(void* library, const char* name, F& function) {
  function = reinterpret_cast<F>(library != nullptr ? SDL_LoadFunction(library, name) : nullptr);
  return function != nullptr;
}

bool LoadFunctions() {
  static int loaded = 0;  // 1 found, -1 not
  if (loaded != 0) return loaded > 0;
  void* xlib = SDL_LoadObject("libX11.so.6");
  void* xext = SDL_LoadObject("libXext.so.6");
  bool ok =
      Find(xlib, "XOpenDisplay", x.openDisplay) && Find(xlib, "XCloseDisplay", x.closeDisplay) &&
      Find(xlib, "XDisplayString", x.displayString) &&
      Find(xlib, "XGetWindowAttributes", x.getWindowAttributes) &&
      Find(xlib, "XCreateGC", x.createGC) && Find(xlib, "XFreeGC", x.freeGC) &&
      Find(xlib, "XFlush", x.flush) && Find(xlib, "XSync", x.sync) &&
      Find(xlib, "XEventsQueued", x.eventsQueued) && Find(xlib, "XNextEvent", x.nextEvent) &&
      Find(xlib, "XSetErrorHandler", x.setErrorHandler) &&
      Find(xext, "XShmQueryExtension", x.shmQueryExtension) &&
      Find(xext, "XShmGetEventBase", x.shmGetEventBase) &&
      Find(xext, "XShmCreateImage", x.shmCreateImage) && Find(xext, "XShmAttach", x.shmAttach) &&
      Find(xext, "XShmDetach", x.shmDetach) && Find(xext, "XShmPutImage", x.shmPutImage);
  loaded = ok ? 1 : -1;
  return ok;
}

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

struct Presenter {
  bool tried;  // set up (or found impossible) for the live window
  bool usable;
  Display* display;  // our own connection
  Window window;
  GC gc;
  int completionType;
  int width, height;  // of each buffer
  Buffer buffers[BufferCount];
  int next;  // the buffer the next frame goes into: the one handed over longest ago
  // How frames are written into the images: decided by the environment, or by the median time
  // of each way over the trial frames, written both ways in turn (times[streamed]).
  bool streamed;
  bool decided;
  int trials;
  int64_t times[2][TimedTrials];
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
  if (b.attached) x.shmDetach(p.display, &b.segment);
  if (b.segment.shmaddr != nullptr && b.segment.shmaddr != reinterpret_cast<char*>(-1))
    shmdt(b.segment.shmaddr);
  b.image->data = nullptr;
  XDestroyImage(b.image);
  b = Buffer{};
}

// A shared buffer the server has attached; the segment is marked for removal at once, so it
// goes with the process however that ends.
bool MakeBuffer(Buffer& b, Visual* visual, int depth, int width, int height) {
  b = Buffer{};
  b.image = x.shmCreateImage(p.display, visual, depth, ZPixmap, nullptr, &b.segment, width, height);
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
    x.shmAttach(p.display, &b.segment);
    x.sync(p.display, False);
    x.setErrorHandler(previous);
    b.attached = !attachFailed;
  }
  shmctl(b.segment.shmid, IPC_RMID, nullptr);
  return b.attached;
}

// The window's pixels must be 32-bit 0x00RRGGBB, as the conversion writes them.
bool SuitableVisual(const XWindowAttributes& attributes) {
  const Visual* v = attributes.visual;
  return (attributes.depth == 24 || attributes.depth == 32) && v->red_mask == 0xFF0000 &&
         v->green_mask == 0xFF00 && v->blue_mask == 0xFF;
}

bool SetUp(PlatformWindow* w, int width, int height) {
  const char* choice = getenv("TORVEX_PRESENT");
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  p.decided = choice != nullptr && (strcmp(choice, "x11-cached") == 0 ||
                                    strcmp(choice, "x11-streamed") == 0);
  p.streamed = p.decided && strcmp(choice, "x11-streamed") == 0;
  if ((choice != nullptr && strcmp(choice, "sdl") == 0) || !SDL_GetWindowWMInfo(w->sdl, &info) ||
      info.subsystem != SDL_SYSWM_X11 || !LoadFunctions())
    return false;
  p.display = x.openDisplay(x.displayString(info.info.x11.display));
  if (p.display == nullptr) return false;
  p.window = info.info.x11.window;
  XWindowAttributes attributes;
  if (!x.shmQueryExtension(p.display) || !x.getWindowAttributes(p.display, p.window, &attributes) ||
      !SuitableVisual(attributes))
    return false;
  p.completionType = x.shmGetEventBase(p.display) + ShmCompletion;
  p.gc = x.createGC(p.display, p.window, 0, nullptr);
  p.width = width;
  p.height = height;
  for (Buffer& b : p.buffers)
    if (!MakeBuffer(b, attributes.visual, attributes.depth, width, height) ||
        b.image->bits_per_pixel != 32)
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
  for (int n = x.eventsQueued(p.display, QueuedAfterReading); n > 0 && b.inFlight; --n) {
    x.nextEvent(p.display, &event);
    Collect(event);
  }
  while (b.inFlight) {
    x.nextEvent(p.display, &event);
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

}  // namespace

void ForgetX11(PlatformWindow*) {
  if (p.display != nullptr) {
    // The server finishes every frame before the window may go.
    x.sync(p.display, False);
    for (Buffer& b : p.buffers) FreeBuffer(b);
    if (p.gc != nullptr) x.freeGC(p.display, p.gc);
    x.closeDisplay(p.display);
  }
  p = Presenter{};
}

void FinishX11() {
  if (p.display != nullptr) x.sync(p.display, False);
}

Presented PresentX11(PlatformWindow* w, int32_t left, int32_t top, int32_t width, int32_t height,
                const uint8_t* source, ptrdiff_t sourceStride, const uint32_t* colours) {
  if (!p.tried || (p.usable && (width > p.width || height > p.height))) {
    ForgetX11(w);
    p.usable = SetUp(w, SDL_max(width, 512), SDL_max(height, 384));
    if (!p.usable) ForgetX11(w);
    p.tried = true;
  }
  if (!p.usable) return Presented::NotMine;
  Buffer& b = p.buffers[p.next];
  p.next = (p.next + 1) % BufferCount;
  if (b.inFlight) Reclaim(b);
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
  x.shmPutImage(p.display, p.window, p.gc, b.image, 0, 0, left, top, width, height, True);
  b.inFlight = true;
  x.flush(p.display);
  return Presented::Shown;
}
