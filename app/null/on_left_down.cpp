// on_left_down.cpp — the null application's OnLeftDown: nothing.
// One hook a file: the linker takes it only when the application itself leaves the hook undefined.
#include "frame/frame.h"

void OnLeftDown(int32_t, int32_t) {}
