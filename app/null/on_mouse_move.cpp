// on_mouse_move.cpp — the null application's OnMouseMove: nothing.
// One hook a file: the linker takes it only when the application itself leaves the hook undefined.
#include "frame/frame.h"

void OnMouseMove(int32_t, int32_t, int32_t, int32_t) {}
