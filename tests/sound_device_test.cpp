// sound_device_test.cpp — the sound players on the real media device (SDL2_mixer with the
// disk audio driver, which records exactly what would be heard), the LZ expansion against
// Debian's independent mscompress tools, temporary files and the MIDI reader.
//
// The test stands in for the window: PostWindowMessage queues notices, and a small window
// procedure replays a looping tune on a successful notice as the frame's procedure does.
#include <SDL.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/platform.h"
#include "platform/sdl/media.h"
#include "sound/sound.h"
#include "tools/szdd_compress.h"

namespace fs = std::filesystem;

// --- the window's side ----------------------------------------------------------------------

static char windowObject;
WindowHandle MainWindow = reinterpret_cast<WindowHandle>(&windowObject);

namespace {
std::mutex queueLock;
std::deque<Message> queue;
}  // namespace

void PostWindowMessage(WindowHandle window, uint32_t message, uintptr_t first, intptr_t second) {
  std::lock_guard<std::mutex> guard(queueLock);
  queue.push_back({window, message, first, second});
}

namespace {

using Clock = std::chrono::steady_clock;

struct Notice {
  uintptr_t outcome;
  uint32_t deviceId;
  double atSeconds;  // since the test began
};

std::vector<Notice> notices;
Clock::time_point testStart;

// What the frame's window procedure does with a notice: replay the looping tune on success.
void HandleNotice(uintptr_t outcome, uint32_t deviceId) {
  double at = std::chrono::duration<double>(Clock::now() - testStart).count();
  notices.push_back({outcome, deviceId, at});
  if (outcome != MCI_NOTIFY_SUCCESSFUL || MusicNowPlaying.mode != 2) return;
  MciPlayParms parms{MainWindow, 0, 0};
  SendMediaCommand(MusicNowPlaying.deviceId, MCI_PLAY, MCI_FROM | MCI_NOTIFY, &parms);
}

// The main loop: takes every pending message, without waiting, until done() or the deadline.
bool PumpUntil(const std::function<bool()>& done, double seconds) {
  Clock::time_point deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                                  std::chrono::duration<double>(seconds));
  while (!done()) {
    if (Clock::now() > deadline) return false;
    for (;;) {
      Message message{};
      {
        std::lock_guard<std::mutex> guard(queueLock);
        if (queue.empty()) break;
        message = queue.front();
        queue.pop_front();
      }
      EXPECT_EQ(message.window, MainWindow);
      if (message.message == MM_MCINOTIFY)
        HandleNotice(message.first, static_cast<uint32_t>(message.second));
    }
    std::this_thread::sleep_for(std::chrono::microseconds(500));
  }
  return true;
}

void Pump(double seconds) {
  PumpUntil([] { return false; }, seconds);
}

int CountNotices(uintptr_t outcome) {
  return static_cast<int>(std::count_if(notices.begin(), notices.end(),
                                        [&](const Notice& n) { return n.outcome == outcome; }));
}

// --- files ----------------------------------------------------------------------------------

std::vector<uint8_t> ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void WriteBytes(const fs::path& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

fs::path DataFile(const char* name) { return fs::path(TORVEX_DATA_DIR) / name; }

// --- MIDI for tests -------------------------------------------------------------------------

void PutVarLen(std::vector<uint8_t>& out, uint32_t value) {
  std::vector<uint8_t> bytes;
  do {
    bytes.insert(bytes.begin(), static_cast<uint8_t>((value & 0x7F) | (bytes.empty() ? 0 : 0x80)));
    value >>= 7;
  } while (value != 0);
  out.insert(out.end(), bytes.begin(), bytes.end());
}

std::vector<uint8_t> Chunk(const char* type, const std::vector<uint8_t>& body) {
  std::vector<uint8_t> chunk(type, type + 4);
  uint32_t size = static_cast<uint32_t>(body.size());
  for (int shift = 24; shift >= 0; shift -= 8) chunk.push_back((size >> shift) & 0xFF);
  chunk.insert(chunk.end(), body.begin(), body.end());
  return chunk;
}

std::vector<uint8_t> MidiFile(uint16_t format, uint16_t division,
                              const std::vector<std::vector<uint8_t>>& tracks) {
  std::vector<uint8_t> file = Chunk("MThd", {0, uint8_t(format), 0, uint8_t(tracks.size()),
                                             uint8_t(division >> 8), uint8_t(division)});
  for (const auto& track : tracks) {
    std::vector<uint8_t> chunk = Chunk("MTrk", track);
    file.insert(file.end(), chunk.begin(), chunk.end());
  }
  return file;
}

// The loop test's tune: four claves strokes a quarter apart at 240 beats a minute, the end of
// the track a quarter after the last, so played in a loop the strokes come evenly forever.
constexpr double StrokeSeconds = 0.25;
std::vector<uint8_t> ClavesTune() {
  std::vector<uint8_t> track = {0x00, 0xFF, 0x51, 0x03, 0x03, 0xD0, 0x90};  // 250,000 µs
  for (int beat = 0; beat < 4; ++beat) {
    PutVarLen(track, beat > 0 ? 384 : 0);              // the rest of the beat
    track.insert(track.end(), {0x99, 75, 110});        // the stroke on the beat
    PutVarLen(track, 96);
    track.insert(track.end(), {0x89, 75, 0});          // released a 32nd later
  }
  PutVarLen(track, 384);
  track.insert(track.end(), {0xFF, 0x2F, 0x00});
  return MidiFile(0, 480, {track});
}

// --- recorded output ------------------------------------------------------------------------

constexpr int OutputRate = 44100;

// The largest sample magnitude of each millisecond of the recording (both channels).
std::vector<int> Envelope(const std::vector<uint8_t>& raw) {
  size_t frames = raw.size() / 4;
  std::vector<int> envelope(frames / 44 + 1, 0);
  for (size_t i = 0; i < frames * 2; ++i) {
    int16_t sample = static_cast<int16_t>(raw[2 * i] | raw[2 * i + 1] << 8);
    int& peak = envelope[i / 2 / 44];
    peak = std::max(peak, std::abs(static_cast<int>(sample)));
  }
  return envelope;
}

// Milliseconds at which a sound starts: the level rises over threshold after quietMs below it.
std::vector<int> Onsets(const std::vector<int>& envelope, int threshold, int quietMs) {
  std::vector<int> onsets;
  int quiet = quietMs;
  for (size_t ms = 0; ms < envelope.size(); ++ms) {
    if (envelope[ms] >= threshold && quiet >= quietMs) onsets.push_back(static_cast<int>(ms));
    quiet = envelope[ms] < threshold ? quiet + 1 : 0;
  }
  return onsets;
}

int LoudMilliseconds(const std::vector<int>& envelope, int threshold) {
  return static_cast<int>(std::count_if(envelope.begin(), envelope.end(),
                                        [&](int peak) { return peak >= threshold; }));
}

// --- the fixture ----------------------------------------------------------------------------

class SoundDevice : public ::testing::Test {
 protected:
  void SetUp() override {
    char name[] = "/tmp/torvex-sound-XXXXXX";
    ASSERT_NE(mkdtemp(name), nullptr);
    dir = name;
    temp = dir / "temp";
    fs::create_directory(temp);
    output = dir / "heard.raw";
    setenv("TMPDIR", temp.c_str(), 1);
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", output.c_str(), 1);
    MusicNowPlaying = {};
    EffectNowPlaying = {};
    notices.clear();
    queue.clear();
    testStart = Clock::now();
  }

  void TearDown() override {
    music.Close();
    effect.Close();
    EXPECT_EQ(SDL_WasInit(SDL_INIT_AUDIO), 0u) << "the audio device outlived the last player";
    fs::remove_all(dir);
  }

  // The "QVW" files left in the temporary folder.
  int TempFiles() {
    int count = 0;
    for (const auto& entry : fs::directory_iterator(temp))
      if (entry.path().filename().string().rfind("QVW", 0) == 0) ++count;
    return count;
  }

  std::vector<int> Heard() { return Envelope(ReadBytes(output)); }

  fs::path dir, temp, output;
  QVMIDI music;
  QVWAVE effect;
};

// --- the tune and the effect ----------------------------------------------------------------

TEST_F(SoundDevice, TuneLastsBetweenHalfAMinuteAndAMinuteAndAHalf) {
  std::vector<uint8_t> tune = ReadBytes(DataFile("TORVEX.MID"));
  double seconds = 0;
  ASSERT_TRUE(MeasureMidiSequence(tune.data(), tune.size(), &seconds));
  printf("TORVEX.MID lasts %.3f s\n", seconds);
  EXPECT_GE(seconds, 30.0);
  EXPECT_LE(seconds, 90.0);
}

TEST_F(SoundDevice, TuneIsHeard) {
  ASSERT_EQ(music.Open(DataFile("TORVEX.MID").c_str(), 0), 0u);
  EXPECT_EQ(music.opened, 1);
  EXPECT_NE(music.deviceId, 0u);
  music.Play(PlayLoop);
  Pump(4.0);
  music.Close();
  std::vector<int> heard = Heard();
  ASSERT_GT(heard.size(), 3500u);
  // Drums, bass and pad from the first bar: sound in most of the first four seconds.
  EXPECT_GT(LoudMilliseconds(heard, 1000), 3000);
  EXPECT_EQ(CountNotices(MCI_NOTIFY_SUCCESSFUL), 0);
  EXPECT_EQ(CountNotices(MCI_NOTIFY_ABORTED), 1);  // the close cut the loop short
}

TEST_F(SoundDevice, CompressedEffectIsHeardForItsLengthAndItsCopyDeletedOnClose) {
  ASSERT_EQ(effect.Open(DataFile("TORVEX.WAV").c_str(), 0), 0u);
  EXPECT_EQ(TempFiles(), 1);
  EXPECT_EQ(ReadBytes(effect.tempPath), ReadBytes(fs::path(TORVEX_TEST_DIR) / "TORVEX-plain.wav"));
  Clock::time_point before = Clock::now();
  effect.Play(PlayWait);
  double waited = std::chrono::duration<double>(Clock::now() - before).count();
  EXPECT_GE(waited, 0.2);  // the effect lasts 0.24 s
  EXPECT_LT(waited, 1.0);
  EXPECT_EQ(EffectNowPlaying.active, 1u);
  effect.Close();
  EXPECT_EQ(TempFiles(), 0);
  std::vector<int> heard = Heard();
  int loud = LoudMilliseconds(heard, 300);
  printf("the effect sounds for %d ms\n", loud);
  EXPECT_GT(loud, 100);
  EXPECT_LE(loud, 300);
}

// --- the loop -------------------------------------------------------------------------------

TEST_F(SoundDevice, NoticeLoopReplaysTheTuneWithoutAGap) {
  fs::path tune = dir / "claves.mid";
  WriteBytes(tune, ClavesTune());
  ASSERT_EQ(music.Open(tune.c_str(), 0), 0u);
  music.Play(PlayLoop);
  ASSERT_TRUE(PumpUntil([] { return CountNotices(MCI_NOTIFY_SUCCESSFUL) >= 3; }, 15.0));
  Pump(0.5);
  music.Close();
  std::vector<int> heard = Heard();
  int peak = *std::max_element(heard.begin(), heard.end());
  std::vector<int> onsets = Onsets(heard, peak / 4, 80);
  ASSERT_GE(onsets.size(), 13u) << "three passes of four strokes, and the fourth begun";
  // Within a pass the strokes come a quarter apart; across the replay the distance from the
  // last stroke to the next first one is a quarter plus the gap.
  double worstGap = -1;
  for (size_t i = 1; i < onsets.size(); ++i) {
    double apart = (onsets[i] - onsets[i - 1]) / 1000.0;
    if (i % 4 == 0) {
      double gap = apart - StrokeSeconds;
      printf("replay %zu: gap %.1f ms\n", i / 4, gap * 1000);
      worstGap = std::max(worstGap, gap);
      EXPECT_LT(gap, 0.100);
      EXPECT_GT(gap, -0.005);
    } else {
      EXPECT_NEAR(apart, StrokeSeconds, 0.006);
    }
  }
  printf("worst loop gap: %.1f ms\n", worstGap * 1000);
}

}  // namespace
