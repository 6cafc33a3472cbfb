// queue.cpp — the thread's message queue: a fixed ring of messages filled from SDL's events
// and from posted messages, the quit flag, and paint messages made when the queue is empty.
//
// Native events become the window procedure's messages here: focus, minimising and restoring
// only when they change what the procedure was told; typed characters from text input; mouse
// moves coalesced; double clicks for a class that asks for them. Messages posted from other
// threads travel as one registered SDL event each.
#include <atomic>
#include <cstring>

#include "platform/sdl/backend.h"

namespace {

constexpr int32_t RingSize = 512;
Message ring[RingSize];
int32_t ringHead = 0;   // oldest message
int32_t ringCount = 0;

bool quitPosted = false;
int32_t quitCode = 0;

SDL_threadID ownerThread = 0;
std::atomic<uint32_t> postedEventType{0};  // 0 until the queue is started
uint32_t buttonBits = 0;                   // MK_LBUTTON | MK_RBUTTON as last reported

// A posted message as it rides in an SDL event's bytes (SDL writes the time stamp).
struct PostedEvent {
  uint32_t type;
  uint32_t timestamp;
  uint32_t message;
  WindowHandle window;
  uintptr_t first;
  intptr_t second;
};
static_assert(sizeof(PostedEvent) <= sizeof(SDL_Event), "a posted message fits an event");

WindowHandle HandleOf(PlatformWindow* w) { return reinterpret_cast<WindowHandle>(w); }

intptr_t PackPoint(int32_t x, int32_t y) {
  return static_cast<intptr_t>((static_cast<uint32_t>(x) & 0xFFFF) |
                               ((static_cast<uint32_t>(y) & 0xFFFF) << 16));
}

uint32_t ButtonBits(uint32_t sdlState) {
  return ((sdlState & SDL_BUTTON_LMASK) != 0 ? MK_LBUTTON : 0) |
         ((sdlState & SDL_BUTTON_RMASK) != 0 ? MK_RBUTTON : 0);
}

// The code points of a UTF-8 text, one WM_CHAR each; malformed bytes are skipped.
void QueueCharacters(PlatformWindow* w, const char* text) {
  const auto* s = reinterpret_cast<const unsigned char*>(text);
  while (*s != 0) {
    uint32_t code = *s;
    int extra = code < 0x80 ? 0 : code >= 0xF0 ? 3 : code >= 0xE0 ? 2 : code >= 0xC0 ? 1 : -1;
    ++s;
    if (extra < 0) continue;
    if (extra > 0) code &= 0x3F >> extra;
    for (int i = 0; i < extra && (*s & 0xC0) == 0x80; ++i, ++s) code = (code << 6) | (*s & 0x3F);
    QueueMessage(HandleOf(w), WM_CHAR, code, 1);
  }
}

void TranslateButton(PlatformWindow* w, const SDL_MouseButtonEvent& e) {
  bool left = e.button == SDL_BUTTON_LEFT;
  if (!left && e.button != SDL_BUTTON_RIGHT) return;
  uint32_t bit = left ? MK_LBUTTON : MK_RBUTTON;
  uint32_t message;
  if (e.type == SDL_MOUSEBUTTONDOWN) {
    buttonBits |= bit;
    // Every second press of a quick series is a double click, as the platform counts them.
    bool doubleClick = (w->classStyle & CS_DBLCLKS) != 0 && e.clicks % 2 == 0;
    message = doubleClick ? (left ? WM_LBUTTONDBLCLK : WM_RBUTTONDBLCLK)
                          : (left ? WM_LBUTTONDOWN : WM_RBUTTONDOWN);
  } else {
    buttonBits &= ~bit;
    message = left ? WM_LBUTTONUP : WM_RBUTTONUP;
  }
  QueueMessage(HandleOf(w), message, buttonBits, PackPoint(e.x, e.y));
}

void TranslateWindowEvent(PlatformWindow* w, const SDL_WindowEvent& e) {
  switch (e.event) {
    case SDL_WINDOWEVENT_SHOWN:
    case SDL_WINDOWEVENT_EXPOSED: w->invalid = true; break;
    case SDL_WINDOWEVENT_MINIMIZED:
      if (!w->minimised) DeliverSize(w, true, true);
      break;
    case SDL_WINDOWEVENT_RESTORED:
    case SDL_WINDOWEVENT_MAXIMIZED:
      if (w->minimised) DeliverSize(w, false, true);
      w->invalid = true;
      break;
    case SDL_WINDOWEVENT_SIZE_CHANGED:
      if (!w->minimised && (e.data1 != w->notifiedWidth || e.data2 != w->notifiedHeight)) {
        ForgetWindowSurface(w);
        DeliverSize(w, false, true);
      }
      break;
    case SDL_WINDOWEVENT_ENTER:
      if (w->grabbed) ApplyGrab(w);
      break;
    case SDL_WINDOWEVENT_FOCUS_GAINED: NotifyFocus(w, true, true); break;
    case SDL_WINDOWEVENT_FOCUS_LOST: NotifyFocus(w, false, true); break;
    case SDL_WINDOWEVENT_CLOSE: QueueMessage(HandleOf(w), WM_CLOSE, 0, 0); break;
    default: break;
  }
}

void TranslatePosted(const SDL_Event& event) {
  PostedEvent posted;
  memcpy(&posted, &event, sizeof posted);
  if (posted.window == nullptr || LiveWindow(posted.window) != nullptr)
    QueueMessage(posted.window, posted.message, posted.first, posted.second);
}

void TranslateEvent(const SDL_Event& e) {
  switch (e.type) {
    case SDL_WINDOWEVENT:
      if (PlatformWindow* w = LiveWindowById(e.window.windowID)) TranslateWindowEvent(w, e.window);
      return;
    case SDL_TEXTINPUT:
      if (PlatformWindow* w = LiveWindowById(e.text.windowID)) QueueCharacters(w, e.text.text);
      return;
    case SDL_MOUSEMOTION:
      buttonBits = ButtonBits(e.motion.state);
      if (PlatformWindow* w = LiveWindowById(e.motion.windowID))
        QueueMessage(HandleOf(w), WM_MOUSEMOVE, buttonBits, PackPoint(e.motion.x, e.motion.y));
      return;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
      if (PlatformWindow* w = LiveWindowById(e.button.windowID)) TranslateButton(w, e.button);
      return;
    case SDL_QUIT:  // a signal to end: close the window as the user would
      if (PlatformWindow* w = CurrentWindow()) QueueMessage(HandleOf(w), WM_CLOSE, 0, 0);
      return;
    default:
      if (e.type == postedEventType.load()) TranslatePosted(e);
      return;
  }
}

void Deliver(PlatformWindow* w, bool queued, uint32_t message, uintptr_t first, intptr_t second) {
  if (queued)
    QueueMessage(HandleOf(w), message, first, second);
  else
    SendToWindow(w, message, first, second);
}

}  // namespace

void StartMessageQueue() {
  ownerThread = SDL_ThreadID();
  uint32_t type = SDL_RegisterEvents(1);
  if (type != static_cast<uint32_t>(-1)) postedEventType.store(type);
}

void QueueMessage(WindowHandle window, uint32_t message, uintptr_t first, intptr_t second) {
  if (message == WM_MOUSEMOVE && ringCount > 0) {
    Message& last = ring[(ringHead + ringCount - 1) % RingSize];
    if (last.message == WM_MOUSEMOVE && last.window == window) {
      last.first = first;
      last.second = second;
      return;
    }
  }
  if (ringCount == RingSize) return;
  ring[(ringHead + ringCount) % RingSize] = {window, message, first, second};
  ++ringCount;
}

void DropWindowMessages(WindowHandle window) {
  int32_t kept = 0;
  for (int32_t i = 0; i < ringCount; ++i) {
    const Message& m = ring[(ringHead + i) % RingSize];
    if (m.window != window) ring[(ringHead + kept++) % RingSize] = m;
  }
  ringCount = kept;
}

void PumpNativeEvents() {
  if (postedEventType.load() == 0) return;  // no video yet: no window to deliver to
  SDL_PumpEvents();
  PumpWayland();
  SDL_Event events[32];
  for (;;) {
    int n = SDL_PeepEvents(events, 32, SDL_GETEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT);
    for (int i = 0; i < n; ++i) TranslateEvent(events[i]);
    if (n < 32) break;
  }
}

void NotifyFocus(PlatformWindow* w, bool focused, bool queued) {
  if (w->focused == focused) return;
  w->focused = focused;
  // On a palettised display a window about to get the focus realises its palette first.
  if (focused && X11Palettised()) {
    NoteX11Focus(w);
    Deliver(w, queued, WM_QUERYNEWPALETTE, 0, 0);
  }
  Deliver(w, queued, focused ? WM_SETFOCUS : WM_KILLFOCUS, 0, 0);
}

void DeliverSize(PlatformWindow* w, bool minimised, bool queued) {
  w->minimised = minimised;
  if (minimised) {
    Deliver(w, queued, WM_SIZE, SIZE_MINIMIZED, 0);
    return;
  }
  SDL_GetWindowSize(w->sdl, &w->notifiedWidth, &w->notifiedHeight);
  Deliver(w, queued, WM_SIZE, SIZE_RESTORED, PackPoint(w->notifiedWidth, w->notifiedHeight));
}

bool PeekWindowMessage(Message* message) {
  PassStopRequest();
  if (ringCount == 0) PumpNativeEvents();
  if (ringCount > 0) {
    *message = ring[ringHead];
    ringHead = (ringHead + 1) % RingSize;
    --ringCount;
    return true;
  }
  if (quitPosted) {
    quitPosted = false;
    *message = {nullptr, WM_QUIT, static_cast<uintptr_t>(quitCode), 0};
    return true;
  }
  // The platform asks for painting only when nothing else is waiting.
  PlatformWindow* w = CurrentWindow();
  if (w != nullptr && w->invalid && !w->minimised) {
    *message = {HandleOf(w), WM_PAINT, 0, 0};
    return true;
  }
  return false;
}

void TranslateWindowMessage(const Message&) {}  // characters come from text input already

int32_t DispatchWindowMessage(const Message& message) {
  PlatformWindow* w = LiveWindow(message.window);
  if (w == nullptr) return 0;
  return SendToWindow(w, message.message, message.first, message.second);
}

void PostQuit(int32_t exitCode) {
  quitPosted = true;
  quitCode = exitCode;
}

void PostWindowMessage(WindowHandle window, uint32_t message, uintptr_t first, intptr_t second) {
  uint32_t type = postedEventType.load();
  if (type == 0) return;  // no window can exist yet
  if (SDL_ThreadID() == ownerThread) {
    if (window == nullptr || LiveWindow(window) != nullptr)
      QueueMessage(window, message, first, second);
    return;
  }
  SDL_Event event;
  memset(&event, 0, sizeof event);
  PostedEvent posted{type, 0, message, window, first, second};
  memcpy(&event, &posted, sizeof posted);
  SDL_PushEvent(&event);
}
