// wndproc.cpp — the window procedure: the run state (pause and resume by the P key, focus and
// minimising) with the cursor confined while running, the 512 by 384 client size, painting,
// the palette messages, mouse dispatch, the repeat of a looping tune and the saved position.
//
// The system runs exactly while RunFlags is 0. OnPause and OnResume are called on every change
// out of and into running, strictly alternately, OnResume first.
#include "frame/frame.h"
#include "sound/sound.h"

uint32_t RunFlags = RunMinimised;  // not yet shown
MouseStateRecord MouseState = {0, 0, 0, 0};
Rect ClientRect = {0, 0, 0, 0};    // computed afresh by every EnterRunning

void LeaveRunning() {
  OnPause();  // RunFlags is still 0 while it runs
  ClipCursorTo(nullptr);
}

void EnterRunning() {
  Point topLeft = ClientToScreen(MainWindow, {0, 0});
  Point bottomRight = ClientToScreen(MainWindow, {WindowWidth, WindowHeight});
  ClientRect = {topLeft.x, topLeft.y, bottomRight.x, bottomRight.y};
  // The bounds are inclusive: a cursor on the right or bottom edge stays where it is.
  Point cursor = GetCursorPosition();
  Point clamped = cursor;
  if (clamped.x < ClientRect.left) clamped.x = ClientRect.left;
  if (clamped.x > ClientRect.right) clamped.x = ClientRect.right;
  if (clamped.y < ClientRect.top) clamped.y = ClientRect.top;
  if (clamped.y > ClientRect.bottom) clamped.y = ClientRect.bottom;
  if (clamped.x != cursor.x || clamped.y != cursor.y) SetCursorPosition(clamped.x, clamped.y);
  ClipCursorTo(&ClientRect);
  OnResume();
}

namespace {

void OnFocusLost() {
  if (RunFlags == 0) LeaveRunning();
  RunFlags |= RunPausedByUser | RunFocusLost;
}

void OnFocusGained() {
  if (RunFlags == 0) return;
  RunFlags &= ~RunFocusLost;
  if (RunFlags == 0) EnterRunning();
}

// Keeps the client area at exactly WindowWidth by WindowHeight: the outer rectangle grows or
// shrinks by the difference, its top-left corner staying put. The move answers with another
// size notification, which then finds the right size.
void KeepClientSize(WindowHandle window, intptr_t size) {
  uint32_t width = static_cast<uint32_t>(size) & 0xFFFF;
  uint32_t height = (static_cast<uint32_t>(size) >> 16) & 0xFFFF;
  if (width == WindowWidth && height == WindowHeight) return;
  Rect outer = GetOuterRect(window);
  outer.right += WindowWidth - static_cast<int32_t>(width);
  outer.bottom += WindowHeight - static_cast<int32_t>(height);
  MoveMainWindow(window, outer.left, outer.top, outer.right - outer.left,
                 outer.bottom - outer.top, true);
}

void OnSize(WindowHandle window, uintptr_t type, intptr_t size) {
  if (type != SIZE_RESTORED) {
    if (RunFlags == 0) LeaveRunning();
    RunFlags |= RunPausedByUser | RunMinimised;
    return;
  }
  if (RunFlags != 0) {
    RunFlags &= ~RunMinimised;
    if (RunFlags == 0) EnterRunning();
  }
  KeepClientSize(window, size);
}

void OnPauseKey() {
  if (RunFlags == 0) LeaveRunning();
  if ((RunFlags & RunPausedByUser) == 0) {
    RunFlags |= RunPausedByUser;
  } else if (RunFlags == RunPausedByUser) {
    RunFlags = 0;
    EnterRunning();
  }
}

void OnMouse(uint32_t message, uintptr_t buttons, intptr_t position) {
  switch (message) {
    case WM_MOUSEMOVE:
      MouseState.x = static_cast<int32_t>(static_cast<uint32_t>(position) & 0xFFFF);
      MouseState.y = static_cast<int32_t>((static_cast<uint32_t>(position) >> 16) & 0xFFFF);
      MouseState.right = (buttons & MK_RBUTTON) != 0 ? 1 : 0;
      MouseState.left = (buttons & MK_LBUTTON) != 0 ? 1 : 0;
      if (RunFlags == 0) OnMouseMove(MouseState.x, MouseState.y, MouseState.left, MouseState.right);
      return;
    // The buttons report the position of the last move, not their own.
    case WM_LBUTTONDOWN:
      MouseState.left = 1;
      if (RunFlags == 0) OnLeftDown(MouseState.x, MouseState.y);
      return;
    case WM_LBUTTONUP:
      MouseState.left = 0;
      if (RunFlags == 0) OnLeftUp(MouseState.x, MouseState.y);
      return;
    case WM_RBUTTONDOWN:
      MouseState.right = 1;
      if (RunFlags == 0) OnRightDown(MouseState.x, MouseState.y);
      return;
    case WM_RBUTTONUP:
      MouseState.right = 0;
      if (RunFlags == 0) OnRightUp(MouseState.x, MouseState.y);
      return;
  }
}

void OnPaint(WindowHandle window) {
  ContextHandle context = BeginPaint(window);
  CopyToWindow(context);
  EndPaint(window, context);
}

// Realises the window palette; a changed system palette needs the client area redrawn.
int32_t RealizeWindowPalette(WindowHandle window) {
  ContextHandle context = GetWindowContext(window);
  if (WindowPalette != nullptr) SelectPalette(context, WindowPalette);
  int32_t changed = RealizePalette(context);
  ReleaseContext(window, context);
  if (changed != 0) InvalidateClient(window, true);
  return changed;
}

void OnDestroy(WindowHandle window) {
  Rect outer = GetOuterRect(window);
  WindowPos = {outer.left, outer.top};
  PostQuit(0);
}

}  // namespace

int32_t FrameWndProc(WindowHandle window, uint32_t message, uintptr_t first, intptr_t second) {
  switch (message) {
    case WM_DESTROY: OnDestroy(window); return 0;
    case WM_SIZE: OnSize(window, first, second); return 0;
    case WM_SETFOCUS: OnFocusGained(); return 0;
    case WM_KILLFOCUS: OnFocusLost(); return 0;
    case WM_PAINT: OnPaint(window); return 0;
    case WM_CHAR:
      if (first == 'P' || first == 'p') OnPauseKey();
      return 0;
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP: OnMouse(message, first, second); return 0;
    case WM_QUERYNEWPALETTE: return RealizeWindowPalette(window);
    case WM_PALETTECHANGED:
      if (reinterpret_cast<WindowHandle>(first) == window) return 0;
      return RealizeWindowPalette(window);
    // The sound players decide whether a notice repeats the looping tune.
    case MM_MCINOTIFY: RepeatLoopingTune(first); return 0;
    default: return DefaultWindowProcedure(window, message, first, second);
  }
}
