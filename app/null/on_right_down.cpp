// on_right_down.cpp — the null application's OnRightDown: nothing.
// One hook a file: the linker takes it only when the application itself leaves the hook undefined.
#include "frame/frame.h"

void OnRightDown(int32_t, int32_t) {}
