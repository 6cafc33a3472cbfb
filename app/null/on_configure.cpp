// on_configure.cpp — the null application's OnConfigure: nothing.
// One hook a file: the linker takes it only when the application itself leaves the hook undefined.
#include "frame/frame.h"

void OnConfigure(int, char**) {}
