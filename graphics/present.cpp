// present.cpp — one whole frame: compose the FrameBuffer and show it in the main window.
//
// Kept apart from the compositor so that programs which only compose frames (benchmarks,
// tests) do not need the window.
#include "graphics/graphics.h"

FramePhaseTimes* FrameTimings;

namespace {

void PresentToWindow() {
  ContextHandle context = GetWindowContext(MainWindow);
  CopyToWindow(context);
  ReleaseContext(MainWindow, context);
}

// The same three steps, each timed, for measurement runs.
void PresentTimed(FramePhaseTimes& times) {
  int64_t start = GetPreciseTimeNs();
  CopyViewport();
  int64_t viewportDone = GetPreciseTimeNs();
  DrawSprites();
  int64_t spritesDone = GetPreciseTimeNs();
  PresentToWindow();
  int64_t presented = GetPreciseTimeNs();
  if (times.count < times.capacity) {
    times.start[times.count] = start;
    times.viewport[times.count] = viewportDone - start;
    times.sprites[times.count] = spritesDone - viewportDone;
    times.present[times.count] = presented - spritesDone;
  }
  times.count += 1;
}

}  // namespace

void PresentFrame() {
  if (FrameTimings != nullptr) {
    PresentTimed(*FrameTimings);
    return;
  }
  CopyViewport();
  DrawSprites();
  PresentToWindow();
}
