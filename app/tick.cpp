// tick.cpp — the benchmark's running hooks: the frame step (scroll, swing, effect, rate,
// present), pause and resume with their prompts and paused time, and the "EXIT" button.
#include <cinttypes>
#include <cstdio>

#include "app/app.h"
#include "graphics/graphics.h"
#include "sound/sound.h"

namespace {

// Advances one counter of the sprite swing; true on a turn (its turn or its wrap value).
bool Swing(int32_t& counter, int32_t turn, uint32_t firstA, uint32_t lastA, uint32_t firstB,
           uint32_t lastB, bool vertical) {
  counter += 2;
  int32_t step = counter > turn ? -2 : 2;
  if (vertical) {
    MoveSprites(firstA, lastA, 0, step);
    MoveSprites(firstB, lastB, 0, -step);
  } else {
    MoveSprites(firstA, lastA, step, 0);
    MoveSprites(firstB, lastB, -step, 0);
  }
  if (counter == turn) return true;
  if (counter == 2 * turn) {
    counter = 0;
    return true;
  }
  return false;
}

// Writes the rate into the message sprite once more than RateShownAfterMs have run.
void ShowRate() {
  int64_t elapsed = ReadTimer() - StartTime - PausedTotal;
  if (elapsed <= RateShownAfterMs) return;
  int64_t rate = (FrameCount * 10) / (elapsed / 1000);
  snprintf(ShownText, sizeof ShownText, "%4" PRId64 "frames/10sec", rate);
  DrawTextInImage(ImageTable[MessageImage], 0, 0, ShownText, AssetArena);
}

void WritePrompts(const char* prompt) {
  static const int32_t positions[4][2] = {{5, 17}, {37, 17}, {5, 49}, {37, 49}};
  for (const auto& position : positions) {
    TextCursor.column = position[0];
    TextCursor.row = position[1];
    WriteText(prompt, AssetArena);
  }
}

// Presenting that has failed without a break for this much running time means that frames
// cannot be shown here (no window surface, no buffer, an image the server refuses): the run
// ends as failed rather than go on measuring frames nobody saw. A present that fails now and
// then (while the window is being resized, say) only goes uncounted.
constexpr int64_t PresentFailingMs = 1000;

// Counts the frame as shown or not, for the runner.
void CountFrame(bool shown, int64_t running) {
  if (shown) {
    RunLimit.framesShown += 1;
    RunLimit.failingFrames = 0;
    return;
  }
  RunLimit.framesNotShown += 1;
  if (RunLimit.failingFrames++ == 0) RunLimit.failingSinceMs = running;
  snprintf(RunLimit.presentError, sizeof RunLimit.presentError, "%s", GetPlatformError());
  if (running - RunLimit.failingSinceMs >= PresentFailingMs) RunLimit.presentFailed = 1;
}

// A measurement run counts its shown frames and ends like a click on "EXIT".
void CheckRunLimit(bool shown) {
  int64_t running = ReadTimer() - StartTime - PausedTotal;
  CountFrame(shown, running);
  bool framesDone = RunLimit.frames > 0 && RunLimit.framesShown >= RunLimit.frames;
  if (RunLimit.progress != nullptr) {
    RunLimit.progress->runningMs = running;
    RunLimit.progress->frames = RunLimit.framesShown;
  }
  bool timeDone = RunLimit.runningMs > 0 && running >= RunLimit.runningMs;
  if (!framesDone && !timeDone && RunLimit.presentFailed == 0) return;
  RunLimit.endedAtMs = running;
  RunLimit.reached = 1;
  if (RunLimit.ending != nullptr) RunLimit.ending();
  DestroyMainWindow(MainWindow);
}

}  // namespace

int64_t ReadTimer() {
  uint32_t now = GetMultimediaTime();
  if (TimerReads == 0)
    TimerValue = now;
  else
    TimerValue += static_cast<uint32_t>(now - TimerLastRead);  // forward, across the wrap
  TimerLastRead = now;
  TimerReads += 1;
  return TimerValue;
}

void OnTick() {
  if (SceneReady == 0) return;
  ScrollAccX += ScrollDirX;
  ScrollAccY += ScrollDirY;
  if ((ScrollAccX & 511) == 0 && (ScrollAccY & 511) == 0) ChooseScrollDirection();
  bool turned = Swing(VerticalSwing, 352, 0, 3, 4, 7, true);
  // Both counters advance on every tick, so both must run before the turn is judged.
  turned = Swing(HorizontalSwing, 480, 8, 10, 11, 13, false) || turned;
  if (turned) Effect.Play(PlayNoWait);
  FrameCount += 1;
  ShowRate();
  ScrollOrigin.x = ScrollAccX & PlayfieldMask;
  ScrollOrigin.y = ScrollAccY & PlayfieldMask;
  bool shown = PresentFrame();
  if (RunLimit.frames != 0 || RunLimit.runningMs != 0) CheckRunLimit(shown);
}

void OnPause() {
  PauseStart = ReadTimer();
  SetCurrentCursor(ArrowCursorHandle);
  if (SceneReady == 1) {
    WritePrompts(StartPrompt);
    // The paused picture is no frame of a measured run (FrameCount does not count it), so its
    // present stays out of the run's frame times.
    FramePhaseTimes* timings = FrameTimings;
    FrameTimings = nullptr;
    PresentFrame();
    FrameTimings = timings;
  }
  // Closing the window at the limit takes the focus away too: that is no pause to report; nor
  // is the close after a start that failed (a data file missing), which never ran.
  if (RunLimit.paused != nullptr && RunLimit.reached == 0 && SceneReady == 1) RunLimit.paused();
}

void OnResume() {
  SetCurrentCursor(AppCursorHandle);
  if (SceneReady == 1) {
    WritePrompts(PausePrompt);
    PresentFrame();
  }
  if (PauseStart != 0)
    PausedTotal += ReadTimer() - PauseStart;
  else
    StartTime = ReadTimer();
}

void OnMouseMove(int32_t x, int32_t y, int32_t, int32_t) {
  int32_t hit = HitTest(x, y, 1, 1, ExitSlot, ExitSlot);
  uint8_t table[256];
  if (hit != -1 && ExitHighlighted == 0) {
    MakeIdentityTable(table);
    table[235] = table[230] = 230;
    RecolourImage(ImageTable[ExitImage], table);
    ExitHighlighted = 1;
  } else if (hit == -1 && ExitHighlighted == 1) {
    MakeIdentityTable(table);
    table[235] = table[230] = 235;
    RecolourImage(ImageTable[ExitImage], table);
    ExitHighlighted = 0;
  }
}

void OnLeftDown(int32_t, int32_t) {
  if (ExitHighlighted == 1) DestroyMainWindow(MainWindow);
}

void OnLeftUp(int32_t, int32_t) {}
void OnRightDown(int32_t, int32_t) {}
void OnRightUp(int32_t, int32_t) {}
