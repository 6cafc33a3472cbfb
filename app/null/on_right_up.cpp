// on_right_up.cpp — the null application's OnRightUp: nothing.
// One hook a file: the linker takes it only when the application itself leaves the hook undefined.
#include "frame/frame.h"

void OnRightUp(int32_t, int32_t) {}
