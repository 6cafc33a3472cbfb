// rate.cpp — the rate after the run: what the window showed last and the exact rate over the
// running time, printed when the program ends so that it is not lost with the window.
#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "app/app.h"

void GetShownText(char (&shown)[17]) {
  // The message sprite is sixteen glyphs wide: a longer text shows only its first sixteen.
  snprintf(shown, sizeof shown, "%.16s", ShownText[0] != 0 ? ShownText : WaitText);
}

int64_t RunningTimeMs() {
  if (TimerReads == 0) return 0;  // never resumed: nothing ran
  // Paused now: the running time stopped when the latest pause began.
  int64_t end = RunFlags != 0 && PauseStart != 0 ? PauseStart : ReadTimer();
  return end - StartTime - PausedTotal;
}

void PrintEndRate() {
  if (RunLimit.frames != 0 || RunLimit.runningMs != 0 || SceneReady == 0) return;
  char shown[17];
  GetShownText(shown);
  int64_t running = RunningTimeMs();
  double exact = running > 0 ? FrameCount * 10000.0 / static_cast<double>(running) : 0.0;
  printf("torvex32: the window showed \"%s\"; exact rate %.1f frames/10s (%" PRId64
         " frames in %.3f s of running time)\n",
         shown, exact, FrameCount, static_cast<double>(running) / 1000.0);
  fflush(stdout);
}
