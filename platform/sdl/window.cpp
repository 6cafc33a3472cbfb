// window.cpp — window classes and the one top-level window: creation, showing, painting,
// moving, destruction, default handling and the modal message box, each delivering the
// messages the window procedure expects synchronously, in the platform's order.
#include <cstdio>
#include <cstring>
#include <strings.h>

#include "platform/sdl/backend.h"

namespace {

struct ClassRecord {
  char name[64];
  uint32_t style;
  WindowProcedure procedure;
  IconHandle icon;
};
constexpr int32_t MaxClasses = 4;
ClassRecord classes[MaxClasses];
int32_t classCount = 0;

// The one window; live while `live` is set. Its address is the window handle.
PlatformWindow window;
bool live = false;
bool destroying = false;  // DestroyMainWindow is delivering its messages
// Where the window was asked to be: what it reports as its position where the window system
// tells none (Wayland), so that a remembered position is kept as it was.
Point createdAt{0, 0};

ClassRecord* FindClass(const char* name) {
  if (name == nullptr) return nullptr;
  for (int32_t i = 0; i < classCount; ++i)
    if (strcasecmp(classes[i].name, name) == 0) return &classes[i];
  return nullptr;
}

WindowHandle HandleOf(PlatformWindow* w) { return reinterpret_cast<WindowHandle>(w); }

// The frame's left, top, right and bottom widths; zeros until the window manager reports them.
Rect Borders(PlatformWindow* w) {
  int top = 0, left = 0, bottom = 0, right = 0;
  if (SDL_GetWindowBordersSize(w->sdl, &top, &left, &bottom, &right) != 0)
    top = left = bottom = right = 0;
  return {left, top, right, bottom};
}

// A window manager places and frames a window shortly after it is shown; until it has, SDL
// reports the requested position as the client's. Waiting for the frame (a few tens of
// milliseconds, at most a quarter of a second) makes the first ClientToScreen and
// GetOuterRect true. Native events meanwhile join the queue as usual.
void WaitForFrame(PlatformWindow* w) {
  if (DriverWithoutFocus() || DriverWithoutPositions()) return;
  for (uint32_t start = SDL_GetTicks(); SDL_GetTicks() - start < 250; SDL_Delay(1)) {
    PumpNativeEvents();
    Rect frame = Borders(w);
    if (frame.top > 0 || frame.left > 0) return;
  }
}

}  // namespace

PlatformWindow* LiveWindow(WindowHandle handle) {
  return live && handle == HandleOf(&window) ? &window : nullptr;
}

PlatformWindow* LiveWindowById(uint32_t sdlId) {
  return live && sdlId == window.sdlId ? &window : nullptr;
}

PlatformWindow* CurrentWindow() { return live ? &window : nullptr; }

int32_t SendToWindow(PlatformWindow* w, uint32_t message, uintptr_t first, intptr_t second) {
  return w->procedure(HandleOf(w), message, first, second);
}

// Registering a name again replaces the class, so that a process can run the framework more
// than once (tests do).
bool RegisterWindowClass(const WindowClass& windowClass) {
  if (windowClass.className == nullptr || windowClass.procedure == nullptr) return false;
  ClassRecord* record = FindClass(windowClass.className);
  if (record == nullptr) {
    if (classCount == MaxClasses || strlen(windowClass.className) >= sizeof record->name)
      return false;
    record = &classes[classCount++];
  }
  snprintf(record->name, sizeof record->name, "%s", windowClass.className);
  record->style = windowClass.style;
  record->procedure = windowClass.procedure;
  record->icon = windowClass.icon;
  return true;
}

WindowHandle CreateMainWindow(const char* className, const char* title, uint32_t, int32_t x,
                              int32_t y, int32_t width, int32_t height, InstanceHandle) {
  const ClassRecord* windowClass = FindClass(className);
  if (windowClass == nullptr || live) {
    SetPlatformError(live ? "a window exists already" : "no such window class", "");
    return nullptr;
  }
  if (!StartVideo()) return nullptr;
  if (X11Refusal()[0] != 0) {
    SetPlatformError("no window for this screen", X11Refusal());
    return nullptr;
  }
  // The frame is unknown until the window is shown, so the client area starts at the outer
  // size; the first size notification lets the window procedure correct it.
  int sx = x == CW_USEDEFAULT ? SDL_WINDOWPOS_UNDEFINED : x;
  int sy = x == CW_USEDEFAULT ? SDL_WINDOWPOS_UNDEFINED : y;
  SDL_Window* sdl = SDL_CreateWindow(title, sx, sy, width, height, SDL_WINDOW_HIDDEN);
  if (sdl == nullptr) {
    SetPlatformError("SDL_CreateWindow");
    return nullptr;
  }
  createdAt = {x == CW_USEDEFAULT ? 0 : x, x == CW_USEDEFAULT ? 0 : y};
  window = PlatformWindow{};
  window.sdl = sdl;
  window.sdlId = SDL_GetWindowID(sdl);
  window.procedure = windowClass->procedure;
  window.classStyle = windowClass->style;
  window.minimised = true;  // not yet shown
  window.context = {ContextWindow, &window, nullptr, nullptr};
  SDL_GetWindowSize(sdl, &window.notifiedWidth, &window.notifiedHeight);
  if (SDL_Surface* icon = MakeIconSurface(windowClass->icon)) {
    SDL_SetWindowIcon(sdl, icon);
    SDL_FreeSurface(icon);
  }
  live = true;
  destroying = false;
  return HandleOf(&window);
}

void ShowMainWindow(WindowHandle handle, int32_t showCommand) {
  PlatformWindow* w = LiveWindow(handle);
  if (w == nullptr) return;
  if (showCommand == 0) {  // SW_HIDE
    SDL_HideWindow(w->sdl);
    return;
  }
  SDL_ShowWindow(w->sdl);
  // SW_SHOWMINIMIZED, SW_MINIMIZE, SW_SHOWMINNOACTIVE, SW_FORCEMINIMIZE
  if (showCommand == 2 || showCommand == 6 || showCommand == 7 || showCommand == 11) {
    SDL_MinimizeWindow(w->sdl);
    DeliverSize(w, true, false);
    return;
  }
  WaitForFrame(w);
  w->invalid = true;
  DeliverSize(w, false, false);
  // Where the window system reports focus, it arrives through the queue; where it never
  // does, showing gives it, as activation would.
  if (DriverWithoutFocus() && LiveWindow(handle) != nullptr) NotifyFocus(w, true, false);
}

void UpdateMainWindow(WindowHandle handle) {
  PlatformWindow* w = LiveWindow(handle);
  if (w != nullptr && w->invalid && !w->minimised) SendToWindow(w, WM_PAINT);
}

void DestroyMainWindow(WindowHandle handle) {
  PlatformWindow* w = LiveWindow(handle);
  if (w == nullptr || destroying) return;
  destroying = true;
  if (w->focused) NotifyFocus(w, false, false);
  SendToWindow(w, WM_DESTROY);
  if (w->grabbed) SDL_SetWindowGrab(w->sdl, SDL_FALSE);
  DropWindowMessages(handle);
  ForgetWindowSurface(w);
  ForgetX11(w);
  ForgetWayland(w);
  NoteWindowPlace(w->sdl);
  SDL_DestroyWindow(w->sdl);
  live = false;
  destroying = false;
  *w = PlatformWindow{};
}

Rect GetOuterRect(WindowHandle handle) {
  PlatformWindow* w = LiveWindow(handle);
  if (w == nullptr) return {0, 0, 0, 0};
  int x = 0, y = 0, width = 0, height = 0;
  SDL_GetWindowPosition(w->sdl, &x, &y);
  SDL_GetWindowSize(w->sdl, &width, &height);
  if (DriverWithoutPositions())
    return {createdAt.x, createdAt.y, createdAt.x + width, createdAt.y + height};
  Rect frame = Borders(w);
  return {x - frame.left, y - frame.top, x + width + frame.right, y + height + frame.bottom};
}

void MoveMainWindow(WindowHandle handle, int32_t x, int32_t y, int32_t width, int32_t height,
                    bool repaint) {
  PlatformWindow* w = LiveWindow(handle);
  if (w == nullptr) return;
  Rect frame = Borders(w);
  int clientWidth = SDL_max(1, width - frame.left - frame.right);
  int clientHeight = SDL_max(1, height - frame.top - frame.bottom);
  int oldX = 0, oldY = 0, oldWidth = 0, oldHeight = 0;
  SDL_GetWindowPosition(w->sdl, &oldX, &oldY);
  SDL_GetWindowSize(w->sdl, &oldWidth, &oldHeight);
  // Only what changes is asked of the window manager: every request is a round trip to it.
  if (clientWidth != oldWidth || clientHeight != oldHeight) {
    SDL_SetWindowSize(w->sdl, clientWidth, clientHeight);
    ForgetWindowSurface(w);
  }
  if (!DriverWithoutPositions() && (x + frame.left != oldX || y + frame.top != oldY))
    SDL_SetWindowPosition(w->sdl, x + frame.left, y + frame.top);
  if (repaint) w->invalid = true;
  if (!w->minimised) DeliverSize(w, false, false);
}

Point ClientToScreen(WindowHandle handle, Point point) {
  PlatformWindow* w = LiveWindow(handle);
  if (w == nullptr) return point;
  int x = 0, y = 0;
  SDL_GetWindowPosition(w->sdl, &x, &y);
  return {point.x + x, point.y + y};
}

void InvalidateClient(WindowHandle handle, bool) {
  if (PlatformWindow* w = LiveWindow(handle)) w->invalid = true;
}

int32_t DefaultWindowProcedure(WindowHandle handle, uint32_t message, uintptr_t, intptr_t) {
  PlatformWindow* w = LiveWindow(handle);
  if (w == nullptr) return 0;
  if (message == WM_CLOSE) DestroyMainWindow(handle);
  if (message == WM_PAINT) w->invalid = false;  // painted as it is
  return 0;
}

int32_t ShowMessageBox(WindowHandle owner, const char* text, const char* caption,
                       uint32_t type) {
  PlatformWindow* w = LiveWindow(owner);
  uint32_t icon = type & 0xF0;
  uint32_t flags = icon == 0x10   ? SDL_MESSAGEBOX_ERROR
                   : icon == 0x30 ? SDL_MESSAGEBOX_WARNING
                                  : SDL_MESSAGEBOX_INFORMATION;
  // The text also goes to the standard error stream, so that it reaches the user (and any
  // log) even where no window system can show the box.
  fprintf(stderr, "%s: %s\n", caption, text);
  if (!StartVideo() || DriverWithoutFocus()) return 0;
  // The box takes the focus while it is open and gives it back, whether the window owns it or
  // not, as the platform's boxes do: the window pauses and frees the pointer, which can then
  // reach the box's button. A window holding the pointer is active even if the window
  // system's notice of its focus has not arrived yet.
  PlatformWindow* active = CurrentWindow();
  bool tookFocus = active != nullptr && (active->focused || active->grabbed);
  if (tookFocus) {
    active->focused = true;
    NotifyFocus(active, false, false);
  }
  w = LiveWindow(owner);
  NoteMessageBox(true);
  int result = SDL_ShowSimpleMessageBox(flags, caption, text, w != nullptr ? w->sdl : nullptr);
  NoteMessageBox(false);
  active = CurrentWindow();
  if (tookFocus && active != nullptr) NotifyFocus(active, true, false);
  return result == 0 ? 1 : 0;
}
