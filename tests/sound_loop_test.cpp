// sound_loop_test.cpp — the looping tune through the whole framework: the frame's window
// procedure replays it on the notices the media device posts from its audio thread through
// the platform's message queue (SDL's dummy video driver, the disk audio driver recording).
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "frame/frame.h"
#include "sound/sound.h"
#include "tests/sound_recording.h"

namespace fs = std::filesystem;
using namespace SoundRecording;

namespace {

QVMIDI tune;
fs::path tunePath, heard;
double recordedAtStart;
uint32_t startTime;

}  // namespace

// The application: starts the tune looping and ends the run after a few seconds.
void OnConfigure(int, char**) {
  AppName = "SOUNDLOOP";
  TickInterval = 5;
}
void OnStart() {
  tune.Open(tunePath.c_str(), 0);
  tune.Play(PlayLoop);
  recordedAtStart = RecordedSeconds(heard);
  startTime = GetTickCount();
}
// Three passes of the one-second tune have been heard and the fourth begun, or the time is up.
void OnTick() {
  if (RecordedSeconds(heard) - recordedAtStart > 3.6 || GetTickCount() - startTime > 30000)
    DestroyMainWindow(MainWindow);
}
void OnEnd() {}
void OnPause() {}
void OnResume() {}
void OnMouseMove(int32_t, int32_t, int32_t, int32_t) {}
void OnLeftDown(int32_t, int32_t) {}
void OnLeftUp(int32_t, int32_t) {}
void OnRightDown(int32_t, int32_t) {}
void OnRightUp(int32_t, int32_t) {}

TEST(SoundLoop, TheFrameReplaysTheLoopingTuneWithoutAGap) {
  char name[] = "/tmp/torvex-loop-XXXXXX";
  ASSERT_NE(mkdtemp(name), nullptr);
  fs::path dir = name;
  tunePath = dir / "claves.mid";
  std::vector<uint8_t> bytes = ClavesTune();
  std::ofstream(tunePath, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  heard = dir / "heard.raw";
  setenv("SDL_VIDEODRIVER", "dummy", 1);
  setenv("SDL_AUDIODRIVER", "disk", 1);
  setenv("SDL_DISKAUDIOFILE", heard.c_str(), 1);
  EXPECT_EQ(RunApplication(GetProgramInstance(), nullptr, "", SW_SHOWDEFAULT), 0);
  EXPECT_EQ(MusicNowPlaying.mode, 2u);
  tune.Close();
  std::vector<int> onsets = Strokes(RecordedEnvelope(heard));
  // At least two replays, each beginning less than 100 ms later than the next beat.
  ASSERT_GE(onsets.size(), 12u);
  for (size_t i = 4; i < onsets.size(); i += 4) {
    int gap = onsets[i] - onsets[i - 1] - StrokeMilliseconds;
    printf("replay %zu: %d ms late\n", i / 4, gap);
    EXPECT_LT(gap, 100);
    EXPECT_GT(gap, -5);
  }
  fs::remove_all(dir);
}
