// on_left_up.cpp — the null application's OnLeftUp: nothing.
// One hook a file: the linker takes it only when the application itself leaves the hook undefined.
#include "frame/frame.h"

void OnLeftUp(int32_t, int32_t) {}
