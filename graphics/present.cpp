// present.cpp — one whole frame: compose the FrameBuffer and show it in the main window.
//
// Kept apart from the compositor so that programs which only compose frames (benchmarks,
// tests) do not need the window.
#include "graphics/graphics.h"

FramePhaseTimes* FrameTimings;

namespace {

bool PresentToWindow() {
  ContextHandle context = GetWindowContext(MainWindow);
  bool shown = CopyToWindow(context);
  ReleaseContext(MainWindow, context);
  return shown;
}

// The same three steps, each timed, for measurement runs.
bool PresentTimed(FramePhaseTimes& times) {
  if (times.count == 0 && times.firstFrame != nullptr) times.firstFrame();
  int64_t start = GetPreciseTimeNs();
  CopyViewport();
  int64_t viewportDone = GetPreciseTimeNs();
  DrawSprites();
  int64_t spritesDone = GetPreciseTimeNs();
  bool shown = PresentToWindow();
  int64_t presented = GetPreciseTimeNs();
  if (times.count == 0) times.firstStart = start;
  bool warming = times.count < times.skipFrames || start - times.firstStart < times.skipNs;
  if (!warming) {
    // A frame lasts from its start to the next one's: the previous frame ends here. Only
    // frames that reached the window system are frames: one that did not leaves no time.
    if (times.count > 0 && times.lastShown) {
      RecordTime(times.frame, start - times.lastStart);
      if (times.logCount < times.logCapacity)
        times.log[times.logCount++] = {start, start - times.lastStart, viewportDone - start,
                                       spritesDone - viewportDone, presented - spritesDone};
    }
    if (shown) {
      RecordTime(times.viewport, viewportDone - start);
      RecordTime(times.sprites, spritesDone - viewportDone);
      RecordTime(times.present, presented - spritesDone);
    }
  }
  times.lastStart = start;
  times.lastShown = shown;
  times.count += 1;
  return shown;
}

}  // namespace

bool PresentFrame() {
  if (FrameTimings != nullptr) return PresentTimed(*FrameTimings);
  CopyViewport();
  DrawSprites();
  return PresentToWindow();
}
