// waylandpresent.cpp — presenting straight into a Wayland window: a few wl_shm buffers of our
// own, attached to the surface SDL made for the window, with the compositor's word on what it
// did with each frame.
//
// A Wayland window is mapped by its first committed buffer, and SDL's window surface does not
// exist on Wayland without its OpenGL detour: here every frame is converted into a buffer the
// compositor has released, attached, damaged and committed. Nothing waits while a released
// buffer exists; only when the compositor holds all of them does presenting wait for one, so
// frames go at the compositor's pace. A frame is Shown only once it has been committed.
//
// Our objects live on an event queue of their own, so that SDL's dispatching never sees them
// and ours never runs SDL's handlers; SDL's reading of the socket fills both queues.
//
// What the compositor tells us, kept for reports: which process it is (the peer of the socket),
// the protocols and versions it offers, and, where it offers presentation-time, how many of the
// committed frames reached the screen and at what refresh. Frame callbacks that stop while we
// keep committing mean the window is not shown anywhere (another workspace, minimised): that
// is told to the window procedure as minimising, and the next callback as restoring.
//
// Frames are written into the buffers with ordinary stores. Streaming them past the cache
// (StreamIndexedRows) cost more in the whole system under sway with its software renderer: our
// side more and the compositor's less, but the sum above ordinary stores' (bench/README.md).
// TORVEX_PRESENT=wayland-streamed or wayland-cached choose, to compare them in bench/;
// TORVEX_PRESENT=sdl leaves presenting to SDL.
#include <SDL_syswm.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <unistd.h>
#include <wayland-client.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/sdl/backend.h"
#include "presentation-time-client-protocol.h"

namespace {

// The protocol names a request after its object's type: the type needs its "struct" in C++.
using Feedback = struct wp_presentation_feedback;

// Eight buffers: the compositor gives buffers back in batches, when it gets round to our
// commits, not one per frame. With four, presenting waited for it about every other frame and
// the rate halved under sway; eight keep a released buffer at hand (bench/present_wayland.py).
constexpr int BufferCount = 8;
// How long presenting waits for the compositor to give a buffer back before it says so.
constexpr int ReleaseWaitMs = 2000;
// Frame callbacks silent this long while frames are committed: the window is not shown.
constexpr uint32_t HiddenAfterMs = 1000;
// How long the end waits for the compositor's word on the last frames.
constexpr int FeedbackWaitMs = 250;
// Frames whose fate the compositor has not told yet; a compositor that leaves more than this
// many unanswered gets no question for the next frames until it answers.
constexpr int MaxFeedback = 512;

struct Buffer {
  wl_buffer* buffer;
  uint32_t* pixels;
  bool busy;  // attached and not yet released by the compositor
};

struct Presenter {
  bool tried;    // set up (or found impossible) for the live window
  bool wayland;  // the window is on Wayland
  bool usable;
  wl_display* display;
  wl_surface* surface;         // SDL's; requests through the wrapper go on our queue
  wl_event_queue* queue;
  wl_display* displayWrapper;
  wl_surface* surfaceWrapper;
  wl_registry* registry;
  wl_shm* shm;
  wp_presentation* presentation;
  uint8_t* memory;  // all buffers, one mapping
  size_t bytes;
  int width, height, stride;
  Buffer buffers[BufferCount];
  Buffer* last;  // committed last
  bool streamed;
  wl_callback* frameCallback;  // requested with a commit, not yet done
  uint32_t callbackAsked;      // when it was asked for (ms)
  bool hidden;                 // told the procedure the window is hidden
  Feedback* feedback[MaxFeedback];  // asked and not yet answered
  int64_t feedbackPending;
};
Presenter p;

// What reports read; kept after the window is gone.
WaylandReport report;

void OnRelease(void* data, wl_buffer*) { static_cast<Buffer*>(data)->busy = false; }
const wl_buffer_listener releaseListener = {OnRelease};

void OnGlobal(void*, wl_registry* registry, uint32_t name, const char* interface,
              uint32_t version) {
  size_t used = strlen(report.protocols);
  snprintf(report.protocols + used, sizeof report.protocols - used, "%s%s %u",
           used > 0 ? ", " : "", interface, version);
  if (strcmp(interface, wl_shm_interface.name) == 0)
    p.shm = static_cast<wl_shm*>(wl_registry_bind(registry, name, &wl_shm_interface, 1));
  else if (strcmp(interface, wp_presentation_interface.name) == 0)
    p.presentation = static_cast<wp_presentation*>(
        wl_registry_bind(registry, name, &wp_presentation_interface, 1));
}
void OnGlobalRemove(void*, wl_registry*, uint32_t) {}
const wl_registry_listener registryListener = {OnGlobal, OnGlobalRemove};

// The answer for one frame: its slot is free again.
void Answered(void* slot, Feedback* feedback) {
  *static_cast<Feedback**>(slot) = nullptr;
  --p.feedbackPending;
  wp_presentation_feedback_destroy(feedback);
}
void OnSyncOutput(void*, Feedback*, wl_output*) {}
void OnPresented(void* slot, Feedback* feedback, uint32_t, uint32_t, uint32_t,
                 uint32_t refresh, uint32_t, uint32_t, uint32_t) {
  ++report.framesDisplayed;
  if (refresh != 0) report.refreshMilliHz = static_cast<int32_t>(1e12 / refresh);
  Answered(slot, feedback);
}
void OnDiscarded(void* slot, Feedback* feedback) {
  ++report.framesDiscarded;
  Answered(slot, feedback);
}

const wp_presentation_feedback_listener feedbackListener = {OnSyncOutput, OnPresented,
                                                            OnDiscarded};

// Asks the compositor what becomes of the frame about to be committed.
void AskFeedback() {
  if (p.presentation == nullptr) return;
  for (Feedback*& slot : p.feedback) {
    if (slot != nullptr) continue;
    slot = wp_presentation_feedback(p.presentation, p.surfaceWrapper);
    wp_presentation_feedback_add_listener(slot, &feedbackListener, &slot);
    ++p.feedbackPending;
    return;
  }
  ++report.framesUnasked;
}

void OnFrameDone(void*, wl_callback* callback, uint32_t) {
  wl_callback_destroy(callback);
  p.frameCallback = nullptr;
  ++report.frameCallbacks;
  if (p.hidden) {
    // Shown again: the procedure hears of it as restoring.
    p.hidden = false;
    if (PlatformWindow* w = CurrentWindow())
      if (w->minimised) DeliverSize(w, false, true);
  }
}
const wl_callback_listener frameListener = {OnFrameDone};

// The compositor's process: the peer of the socket, by its command name.
void NameCompositor(int fd) {
  ucred peer{};
  socklen_t size = sizeof peer;
  if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0 || peer.pid <= 0) return;
  char path[64], name[64] = "";
  snprintf(path, sizeof path, "/proc/%d/comm", static_cast<int>(peer.pid));
  if (FILE* in = fopen(path, "r")) {
    if (fgets(name, sizeof name, in) == nullptr) name[0] = 0;
    fclose(in);
  }
  name[strcspn(name, "\n")] = 0;
  snprintf(report.compositor, sizeof report.compositor, "%s", name[0] != 0 ? name : "unknown");
  report.compositorPid = static_cast<int32_t>(peer.pid);
}

// Reads what has arrived for our queue and runs its handlers, without waiting; with a timeout,
// waits up to that long for something to arrive first. False if the connection failed.
bool Dispatch(int timeoutMs) {
  if (wl_display_dispatch_queue_pending(p.display, p.queue) < 0) return false;
  while (wl_display_prepare_read_queue(p.display, p.queue) != 0)
    if (wl_display_dispatch_queue_pending(p.display, p.queue) < 0) return false;
  wl_display_flush(p.display);
  pollfd fd{wl_display_get_fd(p.display), POLLIN, 0};
  if (poll(&fd, 1, timeoutMs) > 0) {
    if (wl_display_read_events(p.display) < 0) return false;
  } else {
    wl_display_cancel_read(p.display);
  }
  return wl_display_dispatch_queue_pending(p.display, p.queue) >= 0;
}

bool MakeBuffers(int width, int height) {
  p.width = width;
  p.height = height;
  p.stride = width * 4;
  size_t each = static_cast<size_t>(p.stride) * height;
  p.bytes = each * BufferCount;
  // The protocol sizes a pool in 32 bits.
  if (width <= 0 || height <= 0 || p.bytes > static_cast<size_t>(INT32_MAX)) {
    SetPlatformError("cannot present on Wayland", "the window's size is out of range");
    return false;
  }
  int fd = memfd_create("torvex32-frames", MFD_CLOEXEC);
  if (fd < 0 || ftruncate(fd, static_cast<off_t>(p.bytes)) != 0) {
    if (fd >= 0) close(fd);
    SetPlatformError("no shared memory for the window's buffers", strerror(errno));
    return false;
  }
  void* memory = mmap(nullptr, p.bytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (memory == MAP_FAILED) {
    close(fd);
    SetPlatformError("no shared memory for the window's buffers", strerror(errno));
    return false;
  }
  p.memory = static_cast<uint8_t*>(memory);
  wl_shm_pool* pool = wl_shm_create_pool(p.shm, fd, static_cast<int32_t>(p.bytes));
  for (int i = 0; i < BufferCount; ++i) {
    Buffer& b = p.buffers[i];
    b.pixels = reinterpret_cast<uint32_t*>(p.memory + each * i);
    // 0x00RRGGBB in memory order, as the conversion writes it.
    b.buffer = wl_shm_pool_create_buffer(pool, static_cast<int32_t>(each * i), width, height,
                                         p.stride, WL_SHM_FORMAT_XRGB8888);
    wl_buffer_add_listener(b.buffer, &releaseListener, &b);
    b.busy = false;
  }
  wl_shm_pool_destroy(pool);  // the buffers keep what they need of it
  close(fd);
  return true;
}

void FreeBuffers() {
  for (Buffer& b : p.buffers) {
    if (b.buffer != nullptr) wl_buffer_destroy(b.buffer);
    b = Buffer{};
  }
  if (p.memory != nullptr) munmap(p.memory, p.bytes);
  p.memory = nullptr;
  p.last = nullptr;
}

// The window's surface and display from SDL; false (not ours) when it is not on Wayland.
bool FindSurface(PlatformWindow* w) {
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (!SDL_GetWindowWMInfo(w->sdl, &info) || info.subsystem != SDL_SYSWM_WAYLAND) return false;
  p.display = info.info.wl.display;
  p.surface = info.info.wl.surface;
  return p.display != nullptr && p.surface != nullptr;
}

// Our queue, the globals we need on it, and the buffers; false with the reason kept.
bool SetUp(PlatformWindow* w) {
  const char* choice = getenv("TORVEX_PRESENT");
  p.streamed = choice != nullptr && strcmp(choice, "wayland-streamed") == 0;
  p.queue = wl_display_create_queue(p.display);
  p.displayWrapper = static_cast<wl_display*>(wl_proxy_create_wrapper(p.display));
  p.surfaceWrapper = static_cast<wl_surface*>(wl_proxy_create_wrapper(p.surface));
  if (p.queue == nullptr || p.displayWrapper == nullptr || p.surfaceWrapper == nullptr) {
    SetPlatformError("cannot present on Wayland", "out of memory");
    return false;
  }
  wl_proxy_set_queue(reinterpret_cast<wl_proxy*>(p.displayWrapper), p.queue);
  wl_proxy_set_queue(reinterpret_cast<wl_proxy*>(p.surfaceWrapper), p.queue);
  report = WaylandReport{};
  report.used = 1;
  NameCompositor(wl_display_get_fd(p.display));
  p.registry = wl_display_get_registry(p.displayWrapper);
  wl_registry_add_listener(p.registry, &registryListener, nullptr);
  if (wl_display_roundtrip_queue(p.display, p.queue) < 0) {
    SetPlatformError("cannot present on Wayland", "the connection to the compositor failed");
    return false;
  }
  report.presentationOffered = p.presentation != nullptr ? 1 : 0;
  if (p.shm == nullptr) {
    SetPlatformError("cannot present on Wayland", "the compositor offers no wl_shm");
    return false;
  }
  int width = 0, height = 0;
  SDL_GetWindowSize(w->sdl, &width, &height);
  return MakeBuffers(width, height);
}

// A buffer the compositor has released, waiting for one only when it holds them all; null
// (with the reason kept) when none comes back in time.
Buffer* FreeBuffer() {
  for (uint32_t start = SDL_GetTicks();;) {
    // The one written longest ago first: the compositor has most likely finished with it.
    for (int i = 1; i <= BufferCount; ++i) {
      int at = p.last == nullptr ? i - 1 : int(p.last - p.buffers + i) % BufferCount;
      if (!p.buffers[at].busy) return &p.buffers[at];
    }
    uint32_t waited = SDL_GetTicks() - start;
    if (waited >= static_cast<uint32_t>(ReleaseWaitMs)) {
      SetPlatformError("the frame was not shown",
                       "the compositor kept every buffer of the window for 2 s");
      return nullptr;
    }
    if (!Dispatch(ReleaseWaitMs - static_cast<int>(waited))) {
      SetPlatformError("the frame was not shown", "the connection to the compositor failed");
      return nullptr;
    }
  }
}

// Frame callbacks that stopped while frames are committed: the window is shown nowhere.
void NoteHiding(PlatformWindow* w) {
  if (p.frameCallback == nullptr || p.hidden) return;
  if (SDL_GetTicks() - p.callbackAsked < HiddenAfterMs) return;
  p.hidden = true;
  ++report.hiddenSpells;
  if (!w->minimised) DeliverSize(w, true, true);
}

void Write(Buffer& b, int32_t x, int32_t y, int32_t width, int32_t height,
           const uint8_t* source, ptrdiff_t stride, const uint32_t* colours) {
  // A block smaller than the window: the rest of the buffer shows what was shown before.
  if ((x != 0 || y != 0 || width != p.width || height != p.height) && p.last != nullptr &&
      p.last != &b)
    memcpy(b.pixels, p.last->pixels, static_cast<size_t>(p.stride) * p.height);
  uint32_t* out = b.pixels + static_cast<ptrdiff_t>(y) * p.width + x;
  if (p.streamed)
    StreamIndexedRows(out, p.stride, source, stride, width, height, colours);
  else
    ConvertIndexedRows(out, p.stride, source, stride, width, height, colours);
}

}  // namespace

void ForgetWayland(PlatformWindow*) {
  if (p.usable) {
    // The compositor's word on the frames still out, before the surface goes.
    for (uint32_t start = SDL_GetTicks();
         p.feedbackPending > 0 && SDL_GetTicks() - start < uint32_t(FeedbackWaitMs);)
      if (!Dispatch(FeedbackWaitMs)) break;
  }
  if (p.frameCallback != nullptr) wl_callback_destroy(p.frameCallback);
  for (Feedback* feedback : p.feedback)
    if (feedback != nullptr) wp_presentation_feedback_destroy(feedback);
  FreeBuffers();
  if (p.shm != nullptr) wl_shm_destroy(p.shm);
  if (p.presentation != nullptr) wp_presentation_destroy(p.presentation);
  if (p.registry != nullptr) wl_registry_destroy(p.registry);
  if (p.surfaceWrapper != nullptr) wl_proxy_wrapper_destroy(p.surfaceWrapper);
  if (p.displayWrapper != nullptr) wl_proxy_wrapper_destroy(p.displayWrapper);
  if (p.queue != nullptr) wl_event_queue_destroy(p.queue);
  p = Presenter{};
}

void PumpWayland() {
  // SDL's pump has just read what the socket held, ours included: only our handlers are left.
  if (p.usable) wl_display_dispatch_queue_pending(p.display, p.queue);
}

const WaylandReport* GetWaylandReport() { return report.used != 0 ? &report : nullptr; }

Presented PresentWayland(PlatformWindow* w, int32_t x, int32_t y, int32_t width, int32_t height,
                         const uint8_t* source, ptrdiff_t stride, const uint32_t* colours) {
  if (!p.tried) {
    const char* choice = getenv("TORVEX_PRESENT");
    p.tried = true;
    p.wayland = FindSurface(w);
    if (!p.wayland || (choice != nullptr && strcmp(choice, "sdl") == 0)) return Presented::NotMine;
    p.usable = SetUp(w);
  }
  if (!p.wayland) return Presented::NotMine;
  if (!p.usable) return Presented::Failed;
  int windowWidth = 0, windowHeight = 0;
  SDL_GetWindowSize(w->sdl, &windowWidth, &windowHeight);
  if (windowWidth != p.width || windowHeight != p.height) {
    // The window changed size: buffers of the new size (the compositor keeps its own copy
    // of what it shows).
    FreeBuffers();
    if (!(p.usable = MakeBuffers(windowWidth, windowHeight))) return Presented::Failed;
  }
  // The main loop has pumped the socket just before this frame: what it read for us is
  // handled here; the socket itself is read again only when every buffer is out.
  if (wl_display_dispatch_queue_pending(p.display, p.queue) < 0) {
    SetPlatformError("the frame was not shown", "the connection to the compositor failed");
    return Presented::Failed;
  }
  NoteHiding(w);
  Buffer* b = FreeBuffer();
  if (b == nullptr) return Presented::Failed;
  Write(*b, x, y, width, height, source, stride, colours);
  wl_surface_attach(p.surfaceWrapper, b->buffer, 0, 0);
  if (wl_proxy_get_version(reinterpret_cast<wl_proxy*>(p.surfaceWrapper)) >= 4)
    wl_surface_damage_buffer(p.surfaceWrapper, x, y, width, height);
  else
    wl_surface_damage(p.surfaceWrapper, x, y, width, height);
  if (p.frameCallback == nullptr) {
    p.frameCallback = wl_surface_frame(p.surfaceWrapper);
    wl_callback_add_listener(p.frameCallback, &frameListener, nullptr);
    p.callbackAsked = SDL_GetTicks();
  }
  AskFeedback();
  wl_surface_commit(p.surfaceWrapper);
  b->busy = true;
  p.last = b;
  ++report.framesCommitted;
  // Sent now where the socket takes it; what it cannot take yet goes with the next frame.
  if (wl_display_flush(p.display) < 0 && errno != EAGAIN) {
    SetPlatformError("the frame was not shown", "the connection to the compositor failed");
    return Presented::Failed;
  }
  return Presented::Shown;
}

Readback ReadBackWayland(PlatformWindow* w, uint32_t*, int32_t, int32_t, uint32_t*, char* why,
                         size_t whySize) {
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (w == nullptr || !SDL_GetWindowWMInfo(w->sdl, &info) || info.subsystem != SDL_SYSWM_WAYLAND)
    return Readback::NotMine;
  // A screen copy is of a whole output, and Wayland tells no client where its window lies on
  // one: the window's pixels cannot be picked out of it.
  snprintf(why, whySize, "a Wayland compositor does not tell a window where it is on the "
                         "screen, so its pixels cannot be read back");
  return Readback::NotAvailable;
}
