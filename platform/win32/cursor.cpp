// cursor.cpp — the pointer's position and confinement, and the program's cursors and icons,
// loaded from its resources. A headless run keeps a pointer of its own and leaves the real one
// alone.
#include "platform/win32/win32.h"

namespace {
Point headlessCursor{0, 0};
}

Point GetCursorPosition() {
  if (Headless()) return headlessCursor;
  POINT position{};
  if (!GetCursorPos(&position)) return {0, 0};
  return {position.x, position.y};
}

void SetCursorPosition(int32_t x, int32_t y) {
  if (Headless())
    headlessCursor = {x, y};
  else
    SetCursorPos(x, y);
}

void ClipCursorTo(const Rect* rect) {
  if (Headless()) return;
  if (rect == nullptr) {
    ClipCursor(nullptr);
    return;
  }
  // The layer's right and bottom edges are places the cursor may be; ClipCursor's are the first
  // places it may not, one further.
  RECT area{rect->left, rect->top, rect->right + 1, rect->bottom + 1};
  ClipCursor(&area);
}

CursorHandle LoadProgramCursor(InstanceHandle instance, const char* name) {
  return reinterpret_cast<CursorHandle>(LoadCursorA(static_cast<HINSTANCE>(instance), name));
}

CursorHandle LoadArrowCursor() {
  return reinterpret_cast<CursorHandle>(LoadCursorA(nullptr, MAKEINTRESOURCEA(32512)));
}

CursorHandle SetCurrentCursor(CursorHandle cursor) {
  return reinterpret_cast<CursorHandle>(SetCursor(reinterpret_cast<HCURSOR>(cursor)));
}

IconHandle LoadProgramIcon(InstanceHandle instance, const char* name) {
  return reinterpret_cast<IconHandle>(LoadIconA(static_cast<HINSTANCE>(instance), name));
}
