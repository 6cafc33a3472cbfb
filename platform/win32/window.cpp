// window.cpp — window classes and the one top-level window, the thread's message queue, the
// screens and the modal message box: each a direct call of the system, which delivers the
// messages the window procedure expects in its own order. Headless runs keep the window
// hidden and deliver what showing and destroying a shown window would.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/win32/win32.h"

namespace {

struct ClassRecord {
  ATOM atom;
  WindowProcedure procedure;
};
constexpr int32_t MaxClasses = 4;
ClassRecord classes[MaxClasses];

HWND headlessWindow = nullptr;  // the live window of a headless run
bool headlessFocus = false;     // what its procedure was last told of the focus
MSG lastMessage{};              // the last message taken, as the system gave it

WindowProcedure ProcedureOf(HWND window) {
  auto atom = static_cast<ATOM>(GetClassWord(window, GCW_ATOM));
  for (const ClassRecord& record : classes)
    if (record.atom != 0 && record.atom == atom) return record.procedure;
  return nullptr;
}

// The messages the framework knows: those the platform layer names, and the application's own
// range. Everything else has the system's default handling at once, so that no result wider
// than the framework's 32 bits passes through it.
bool ForFramework(UINT message) {
  switch (message) {
    case WM_DESTROY: case WM_SIZE: case WM_SETFOCUS: case WM_KILLFOCUS: case WM_PAINT:
    case WM_CLOSE: case WM_KEYDOWN: case WM_CHAR: case WM_MOUSEMOVE: case WM_LBUTTONDOWN:
    case WM_LBUTTONUP: case WM_LBUTTONDBLCLK: case WM_RBUTTONDOWN: case WM_RBUTTONUP:
    case WM_RBUTTONDBLCLK: case WM_QUERYNEWPALETTE: case WM_PALETTECHANGED: case MM_MCINOTIFY:
      return true;
    default:
      return message >= WM_USER && message < 0xC000;
  }
}

LRESULT CALLBACK FrameworkTrampoline(HWND window, UINT message, WPARAM first, LPARAM second) {
  WindowProcedure procedure = ProcedureOf(window);
  if (procedure == nullptr || !ForFramework(message))
    return DefWindowProcA(window, message, first, second);
  return procedure(HandleOf(window), message, first, second);
}

struct ScreenList {
  Rect* rects;
  int32_t capacity;
  int32_t count;
};

BOOL CALLBACK CollectScreen(HMONITOR monitor, HDC, LPRECT, LPARAM data) {
  auto* list = reinterpret_cast<ScreenList*>(data);
  MONITORINFO info{};
  info.cbSize = sizeof info;
  if (GetMonitorInfoA(monitor, &info)) {
    if (list->count < list->capacity)
      list->rects[list->count] = {info.rcMonitor.left, info.rcMonitor.top, info.rcMonitor.right,
                                  info.rcMonitor.bottom};
    ++list->count;
  }
  return TRUE;
}

}  // namespace

bool Headless() {
  static const bool headless = [] {
    const char* value = getenv("TORVEX32_HEADLESS");
    return value != nullptr && strcmp(value, "1") == 0;
  }();
  return headless;
}

HWND HeadlessWindow() { return headlessWindow; }

// Registering a name again replaces the class, so that a process can run the framework more
// than once.
bool RegisterWindowClass(const WindowClass& windowClass) {
  if (windowClass.className == nullptr || windowClass.procedure == nullptr) return false;
  auto instance = static_cast<HINSTANCE>(windowClass.instance);
  WNDCLASSA native{};
  native.style = windowClass.style;
  native.lpfnWndProc = FrameworkTrampoline;
  native.hInstance = instance;
  native.hIcon = reinterpret_cast<HICON>(windowClass.icon);
  native.hCursor = nullptr;  // the framework sets the cursor itself
  native.hbrBackground = nullptr;  // the frame covers the whole client area
  native.lpszClassName = windowClass.className;
  WNDCLASSA existing{};
  if (GetClassInfoA(instance, windowClass.className, &existing))
    UnregisterClassA(windowClass.className, instance);
  ATOM atom = RegisterClassA(&native);
  if (atom == 0) {
    SetPlatformError("RegisterClassA");
    return false;
  }
  for (ClassRecord& record : classes) {
    if (record.atom == atom || record.atom == 0) {
      record = {atom, windowClass.procedure};
      return true;
    }
  }
  classes[MaxClasses - 1] = {atom, windowClass.procedure};
  return true;
}

WindowHandle CreateMainWindow(const char* className, const char* title, uint32_t style,
                              int32_t x, int32_t y, int32_t width, int32_t height,
                              InstanceHandle instance) {
  HWND window = CreateWindowExA(0, className, title, style, x, y, width, height, nullptr,
                                nullptr, static_cast<HINSTANCE>(instance), nullptr);
  if (window == nullptr) {
    SetPlatformError("CreateWindowExA");
    return nullptr;
  }
  if (Headless()) {
    headlessWindow = window;
    headlessFocus = false;
  }
  NoteLiveWindow(window);
  return HandleOf(window);
}

void ShowMainWindow(WindowHandle handle, int32_t showCommand) {
  HWND window = Hwnd(handle);
  if (window == nullptr || !IsWindow(window)) return;
  if (window != headlessWindow) {
    ShowWindow(window, showCommand);
    return;
  }
  // Hidden: the size and focus that a shown, activated window gets.
  RECT client{};
  GetClientRect(window, &client);
  SendMessageA(window, WM_SIZE, SIZE_RESTORED,
               MAKELPARAM(client.right - client.left, client.bottom - client.top));
  if (!headlessFocus && IsWindow(window)) {
    headlessFocus = true;
    SendMessageA(window, WM_SETFOCUS, 0, 0);
  }
}

void UpdateMainWindow(WindowHandle window) { UpdateWindow(Hwnd(window)); }

void DestroyMainWindow(WindowHandle handle) {
  HWND window = Hwnd(handle);
  if (window == nullptr || !IsWindow(window)) return;
  // The window stays known as hidden until it is gone: the procedure may still draw into it
  // while it loses the focus and is destroyed.
  if (window == headlessWindow && headlessFocus) {
    headlessFocus = false;
    SendMessageA(window, WM_KILLFOCUS, 0, 0);
  }
  NoteLiveWindow(nullptr);
  NoteWindowMonitor(window);
  DestroyWindow(window);
  if (window == headlessWindow) headlessWindow = nullptr;
}

Rect GetOuterRect(WindowHandle window) {
  RECT outer{};
  if (!GetWindowRect(Hwnd(window), &outer)) return {0, 0, 0, 0};
  return {outer.left, outer.top, outer.right, outer.bottom};
}

void MoveMainWindow(WindowHandle window, int32_t x, int32_t y, int32_t width, int32_t height,
                    bool repaint) {
  MoveWindow(Hwnd(window), x, y, width, height, repaint ? TRUE : FALSE);
}

Point ClientToScreen(WindowHandle window, Point point) {
  POINT native{point.x, point.y};
  if (!::ClientToScreen(Hwnd(window), &native)) return point;
  return {native.x, native.y};
}

void InvalidateClient(WindowHandle window, bool erase) {
  InvalidateRect(Hwnd(window), nullptr, erase ? TRUE : FALSE);
}

int32_t DefaultWindowProcedure(WindowHandle window, uint32_t message, uintptr_t first,
                               intptr_t second) {
  return static_cast<int32_t>(DefWindowProcA(Hwnd(window), message, first, second));
}

bool PeekWindowMessage(Message* message) {
  if (!PeekMessageA(&lastMessage, nullptr, 0, 0, PM_REMOVE)) return false;
  *message = {HandleOf(lastMessage.hwnd), lastMessage.message, lastMessage.wParam,
              lastMessage.lParam};
  return true;
}

namespace {
// The message as the system gave it (time and pointer included) when it is the last one
// taken, else rebuilt from its four fields.
MSG NativeMessage(const Message& message) {
  if (Hwnd(message.window) == lastMessage.hwnd && message.message == lastMessage.message &&
      message.first == lastMessage.wParam && message.second == lastMessage.lParam)
    return lastMessage;
  MSG native{};
  native.hwnd = Hwnd(message.window);
  native.message = message.message;
  native.wParam = message.first;
  native.lParam = message.second;
  return native;
}
}  // namespace

void TranslateWindowMessage(const Message& message) {
  MSG native = NativeMessage(message);
  TranslateMessage(&native);
}

int32_t DispatchWindowMessage(const Message& message) {
  MSG native = NativeMessage(message);
  return static_cast<int32_t>(DispatchMessageA(&native));
}

void PostQuit(int32_t exitCode) { PostQuitMessage(exitCode); }

void PostWindowMessage(WindowHandle window, uint32_t message, uintptr_t first, intptr_t second) {
  PostMessageA(Hwnd(window), message, first, second);
}

int32_t GetScreenRects(Rect* rects, int32_t capacity) {
  ScreenList list{rects, capacity, 0};
  if (!EnumDisplayMonitors(nullptr, nullptr, CollectScreen, reinterpret_cast<LPARAM>(&list)))
    return 0;
  return list.count;
}

int32_t ShowMessageBox(WindowHandle owner, const char* text, const char* caption,
                       uint32_t type) {
  // The text also goes to the standard error stream, so that it reaches any log, and the
  // user of a headless run.
  fprintf(stderr, "%s: %s\n", caption, text);
  fflush(stderr);
  if (Headless()) return 0;
  NoteMessageBox(true);
  int shown = MessageBoxA(Hwnd(owner), text, caption, type);
  NoteMessageBox(false);
  return shown != 0 ? 1 : 0;
}
