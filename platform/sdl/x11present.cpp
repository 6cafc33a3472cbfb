// x11present.cpp — presenting straight into an X11 window through shared memory, with up to
// three frames in flight, on a connection of our own to the window's X server.
//
// SDL's window surface ends every update with a round trip to the server, which on a virtual
// machine costs more than the copy itself; here a frame is converted into a free shared
// buffer, handed to the server and left to it, and a buffer is waited for only when all three
// are still in the server's hands. The libraries are the ones SDL itself loads. Anything this
// path cannot do (no X11, no shared memory, another pixel format) leaves presenting to SDL, as
// does TORVEX_PRESENT=sdl in the environment (to compare the two).
#include <SDL_syswm.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <sys/ipc.h>
#include <sys/shm.h>

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
  decltype(&XIfEvent) ifEvent;
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
      Find(xlib, "XIfEvent", x.ifEvent) && Find(xlib, "XSetErrorHandler", x.setErrorHandler) &&
      Find(xext, "XShmQueryExtension", x.shmQueryExtension) &&
      Find(xext, "XShmGetEventBase", x.shmGetEventBase) &&
      Find(xext, "XShmCreateImage", x.shmCreateImage) && Find(xext, "XShmAttach", x.shmAttach) &&
      Find(xext, "XShmDetach", x.shmDetach) && Find(xext, "XShmPutImage", x.shmPutImage);
  loaded = ok ? 1 : -1;
  return ok;
}

constexpr int BufferCount = 3;

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
  int next;  // the buffer the next frame goes into
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

// Waits until the server is done with the buffer.
void WaitFor(Buffer& b) {
  while (b.inFlight) {
    XEvent event;
    x.ifEvent(
        p.display, &event,
        [](Display*, XEvent* e, XPointer type) {
          return e->type == *reinterpret_cast<int*>(type) ? True : False;
        },
        reinterpret_cast<XPointer>(&p.completionType));
    auto* done = reinterpret_cast<XShmCompletionEvent*>(&event);
    for (Buffer& any : p.buffers)
      if (any.segment.shmseg == done->shmseg) any.inFlight = false;
  }
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

bool PresentX11(PlatformWindow* w, int32_t left, int32_t top, int32_t width, int32_t height,
                const uint8_t* source, ptrdiff_t sourceStride, const uint32_t* colours) {
  if (!p.tried || (p.usable && (width > p.width || height > p.height))) {
    ForgetX11(w);
    p.usable = SetUp(w, SDL_max(width, 512), SDL_max(height, 384));
    if (!p.usable) ForgetX11(w);
    p.tried = true;
  }
  if (!p.usable) return false;
  Buffer& b = p.buffers[p.next];
  p.next = (p.next + 1) % BufferCount;
  WaitFor(b);
  ConvertIndexedRows(reinterpret_cast<uint32_t*>(b.image->data), b.image->bytes_per_line, source,
                     sourceStride, width, height, colours);
  x.shmPutImage(p.display, p.window, p.gc, b.image, 0, 0, left, top, width, height, True);
  b.inFlight = true;
  x.flush(p.display);
  return true;
}
