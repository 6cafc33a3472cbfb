// on_end.cpp — the null application's OnEnd: nothing.
// One hook a file: the linker takes it only when the application itself leaves the hook undefined.
#include "frame/frame.h"

void OnEnd() {}
