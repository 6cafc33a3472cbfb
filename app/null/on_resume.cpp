// on_resume.cpp — the null application's OnResume: nothing.
// One hook a file: the linker takes it only when the application itself leaves the hook undefined.
#include "frame/frame.h"

void OnResume() {}
