// sound_device_test.cpp — the sound players on the real media device (SDL2_mixer with the
// disk audio driver, which records exactly what would be heard), the LZ expansion against
// Debian's independent mscompress tools, temporary files and the MIDI reader.
//
// The test stands in for the window: PostWindowMessage queues the device's notices and the
// test's main loop takes them in order. (The loop through the frame's own window procedure is
// sound_loop_test.)
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
#include "tests/sound_recording.h"
#include "tools/szdd_compress.h"

namespace fs = std::filesystem;

// --- the window's side ----------------------------------------------------------------------

static char windowObject;
static const WindowHandle MainWindow = reinterpret_cast<WindowHandle>(&windowObject);
// The players name the window the frame would hand down; here, the stand-in's.
static const bool noticeWindowSet = (NoticeWindow = MainWindow) != nullptr;

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

void RecordNotice(uintptr_t outcome, uint32_t deviceId) {
  double at = std::chrono::duration<double>(Clock::now() - testStart).count();
  notices.push_back({outcome, deviceId, at});
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
        RecordNotice(message.first, static_cast<uint32_t>(message.second));
    }
    std::this_thread::sleep_for(std::chrono::microseconds(500));
  }
  return true;
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

using namespace SoundRecording;

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
  double start = RecordedSeconds(output);
  PumpUntil([&] { return RecordedSeconds(output) > start + 4.0; }, 30.0);
  music.Close();
  PumpUntil([] { return !notices.empty(); }, 1.0);
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

// --- notices ---------------------------------------------------------------------------------

TEST_F(SoundDevice, StoppedLoopReportsAbortedAndFallsSilentAtOnce) {
  fs::path tune = dir / "claves.mid";
  WriteBytes(tune, ClavesTune());
  ASSERT_EQ(music.Open(tune.c_str(), 0), 0u);
  music.Play(PlayLoop);
  double start = RecordedSeconds(output);
  // Stop between the second and the third stroke.
  PumpUntil([&] { return RecordedSeconds(output) > start + 0.375; }, 10.0);
  uint32_t device = music.deviceId;
  QVMIDI other;
  other.Play(PlayLoop);  // a closed player: it only stops the tune
  ASSERT_TRUE(PumpUntil([] { return !notices.empty(); }, 1.0));
  // Longer than the rest of the tune.
  PumpUntil([&] { return RecordedSeconds(output) > start + 1.6; }, 10.0);
  music.Close();
  ASSERT_EQ(notices.size(), 1u);
  EXPECT_EQ(notices[0].outcome, MCI_NOTIFY_ABORTED);
  EXPECT_EQ(notices[0].deviceId, device);
  std::vector<int> heard = Heard();
  std::vector<int> onsets = Strokes(heard);
  EXPECT_GE(onsets.size(), 2u);
  EXPECT_LE(onsets.size(), 3u);
  // Nothing sounds once the last stroke has died away.
  std::vector<int> after(heard.begin() + std::min<size_t>(heard.size(), onsets.back() + 150),
                         heard.end());
  EXPECT_GT(after.size(), 1000u);
  EXPECT_EQ(LoudMilliseconds(after, 200), 0);
}

TEST_F(SoundDevice, ANewPlaySupersedesTheOldOneAndAnEffectReportsItsEnd) {
  fs::path tune = dir / "claves.mid";
  WriteBytes(tune, ClavesTune());
  ASSERT_EQ(music.Open(tune.c_str(), 0), 0u);
  ASSERT_EQ(effect.Open(DataFile("TORVEX.WAV").c_str(), 0), 0u);
  MciPlayParms parms{MainWindow, 0, 0};
  EXPECT_EQ(SendMediaCommand(music.deviceId, MCI_PLAY, MCI_FROM | MCI_NOTIFY, &parms), 0u);
  EXPECT_EQ(SendMediaCommand(music.deviceId, MCI_PLAY, MCI_FROM | MCI_NOTIFY, &parms), 0u);
  EXPECT_EQ(SendMediaCommand(effect.deviceId, MCI_PLAY, MCI_FROM | MCI_NOTIFY, &parms), 0u);
  ASSERT_TRUE(PumpUntil([] { return notices.size() >= 3; }, 5.0));
  EXPECT_EQ(notices[0].outcome, MCI_NOTIFY_SUPERSEDED);
  EXPECT_EQ(notices[0].deviceId, music.deviceId);
  // The effect ends first (0.24 s), then the tune (1 s).
  EXPECT_EQ(notices[1].outcome, MCI_NOTIFY_SUCCESSFUL);
  EXPECT_EQ(notices[1].deviceId, effect.deviceId);
  double effectEnd = notices[1].atSeconds - notices[0].atSeconds;
  EXPECT_GT(effectEnd, 0.2);
  EXPECT_LT(effectEnd, 0.6);
  EXPECT_EQ(notices[2].outcome, MCI_NOTIFY_SUCCESSFUL);
  EXPECT_EQ(notices[2].deviceId, music.deviceId);
  double tuneEnd = notices[2].atSeconds - notices[0].atSeconds;
  EXPECT_GT(tuneEnd, 0.95);
  EXPECT_LT(tuneEnd, 1.6);
}

// --- broken files ---------------------------------------------------------------------------

struct BrokenFile {
  const char* name;
  std::function<std::vector<uint8_t>()> bytes;  // empty function: the file is missing
};

std::vector<uint8_t> Cut(std::vector<uint8_t> bytes, double part) {
  bytes.resize(static_cast<size_t>(bytes.size() * part));
  return bytes;
}

std::vector<uint8_t> Patched(std::vector<uint8_t> bytes, size_t at,
                             const std::vector<uint8_t>& with) {
  std::copy(with.begin(), with.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at));
  return bytes;
}

std::vector<uint8_t> Tune() { return ReadBytes(DataFile("TORVEX.MID")); }
std::vector<uint8_t> PlainEffect() {
  return ReadBytes(fs::path(TORVEX_TEST_DIR) / "TORVEX-plain.wav");
}
std::vector<uint8_t> PackedEffect() { return ReadBytes(DataFile("TORVEX.WAV")); }

// Every broken file gives an error code, leaves the player closed and silent, and leaves no
// temporary file behind.
TEST_F(SoundDevice, BrokenFilesGiveAnErrorAndSilenceAndLeaveNoTemporaryFile) {
  const BrokenFile tunes[] = {
      {"missing tune", nullptr},
      {"empty tune", [] { return std::vector<uint8_t>(); }},
      {"truncated tune", [] { return Cut(Tune(), 0.5); }},
      {"tune with a bad status byte", [] { return Patched(Tune(), 22, {0xF4, 0xF4, 0xF4}); }},
      {"tune with a track longer than the file",
       [] { return Patched(Tune(), 18, {0x7F, 0xFF, 0xFF, 0xFF}); }},
      {"effect given as a tune", PlainEffect}};
  const BrokenFile effects[] = {
      {"missing effect", nullptr},
      {"empty effect", [] { return std::vector<uint8_t>(); }},
      {"truncated effect", [] { return Cut(PlainEffect(), 0.6); }},
      {"effect in an unknown encoding", [] { return Patched(PlainEffect(), 20, {0x34, 0x12}); }},
      {"tune given as an effect", Tune},
      {"truncated compressed effect", [] { return Cut(PackedEffect(), 0.6); }},
      {"compressed header alone", [] { return Cut(PackedEffect(), 14.0 / 11000); }},
      {"compressed effect of noise", [] {
         std::vector<uint8_t> bytes = PackedEffect();
         for (size_t i = 14; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 7919 >> 3);
         return bytes;
       }}};
  auto prepare = [&](const BrokenFile& file) {
    fs::path path = dir / "broken";
    fs::remove(path);
    if (file.bytes) WriteBytes(path, file.bytes());
    return path;
  };
  for (const BrokenFile& file : tunes) {
    SCOPED_TRACE(file.name);
    uint32_t error = music.Open(prepare(file).c_str(), 1);
    EXPECT_EQ(error, file.bytes ? MCIERR_INVALID_FILE : MCIERR_FILE_NOT_FOUND);
    EXPECT_EQ(music.opened, 0);
    music.Play(PlayLoop);
    EXPECT_EQ(MusicNowPlaying.mode, 0u);
  }
  for (const BrokenFile& file : effects) {
    SCOPED_TRACE(file.name);
    EXPECT_EQ(effect.Open(prepare(file).c_str(), 1), MCIERR_INVALID_FILE);
    EXPECT_EQ(effect.opened, 0);
    EXPECT_EQ(TempFiles(), 0);
    effect.Play(PlayWait);
    EXPECT_EQ(EffectNowPlaying.active, 0u);
  }
  std::vector<int> heard = fs::exists(output) ? Heard() : std::vector<int>();
  EXPECT_EQ(LoudMilliseconds(heard, 1), 0);
  EXPECT_TRUE(notices.empty());
}

// A compressed file that expands to just over the device's limit whatever its header says:
// every group of a flag byte and eight copies of 18 bytes gives 144 bytes of blanks.
std::vector<uint8_t> CompressedBomb(int64_t expanded) {
  std::vector<uint8_t> bytes = {'S', 'Z', 'D', 'D', 0x88, 0xF0, 0x27, 0x33, 'A', 'V'};
  for (int shift = 0; shift < 32; shift += 8)
    bytes.push_back(static_cast<uint8_t>(expanded >> shift));
  const uint8_t group[17] = {0x00, 0xF0, 0x0F, 0xF0, 0x0F, 0xF0, 0x0F, 0xF0, 0x0F,
                            0xF0, 0x0F, 0xF0, 0x0F, 0xF0, 0x0F, 0xF0, 0x0F};
  const size_t groups = static_cast<size_t>((expanded + 143) / 144);
  bytes.resize(bytes.size() + groups * sizeof group);
  for (size_t g = 0; g < groups; ++g) memcpy(&bytes[14 + g * sizeof group], group, sizeof group);
  return bytes;
}

// What cannot end, or ends beyond the limit, stops at the limit (or is refused before any
// byte is copied) and leaves neither a partial copy nor a temporary file.
TEST_F(SoundDevice, EndlessAndHugeEffectsStopAtTheLimitAndLeaveNothing) {
  // Hundreds of megabytes are written and read here: in memory where the machine has a
  // memory-backed folder, so that the test takes seconds, not tens of them.
  struct MemoryFolder {
    fs::path path;
    MemoryFolder() {
      char name[] = "/dev/shm/torvex-sound-XXXXXX";
      if (fs::is_directory("/dev/shm") && mkdtemp(name) != nullptr) path = name;
    }
    ~MemoryFolder() {
      if (!path.empty()) fs::remove_all(path);
    }
  } memory;
  const fs::path files = memory.path.empty() ? dir : memory.path;
  if (!memory.path.empty()) {
    temp = files / "temp";
    fs::create_directory(temp);
    setenv("TMPDIR", temp.c_str(), 1);
  }
  const fs::path zero = files / "zero.wav", pipe = files / "pipe.wav", huge = files / "huge.wav",
                 bomb = files / "bomb.wav", copy = files / "copy";
  fs::create_symlink("/dev/zero", zero);
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  { std::ofstream(huge, std::ios::binary).write("RIFF", 4); }
  fs::resize_file(huge, MaxMediaFileBytes + 1);  // sparse: reads as zeros
  WriteBytes(bomb, CompressedBomb(MaxMediaFileBytes + 1));
  for (const fs::path& source : {zero, pipe}) {
    EXPECT_LT(ExpandFile(source.c_str(), copy.c_str()), 0) << source;
    EXPECT_TRUE(!fs::exists(copy) || fs::file_size(copy) == 0) << source;
  }
  // Through the player (the huge file and the bomb write 64 MB before they stop), which must
  // leave nothing in the temporary folder.
  for (const fs::path& source : {zero, pipe, huge, bomb}) {
    EXPECT_EQ(effect.Open(source.c_str(), 0), MCIERR_INVALID_FILE) << source;
    EXPECT_EQ(TempFiles(), 0) << source;
  }
  // The same limit does not cut what lies exactly at it.
  WriteBytes(bomb, CompressedBomb(144 * 1000));
  EXPECT_EQ(ExpandFile(bomb.c_str(), copy.c_str()), 144 * 1000);
  // A pipe as the tune is refused at once too, instead of holding the open.
  EXPECT_EQ(music.Open(pipe.c_str(), 0), MCIERR_FILE_NOT_FOUND);
}

// --- the device's commands ------------------------------------------------------------------

TEST_F(SoundDevice, WithoutAnAudioDeviceOpensFailAndNothingIsLeftBehind) {
  setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
  EXPECT_EQ(music.Open(DataFile("TORVEX.MID").c_str(), 0), MCIERR_HARDWARE);
  EXPECT_EQ(effect.Open(DataFile("TORVEX.WAV").c_str(), 0), MCIERR_HARDWARE);
  EXPECT_EQ(music.opened + effect.opened, 0);
  EXPECT_EQ(TempFiles(), 0);
  // A file that is missing says so, audio device or not.
  EXPECT_EQ(music.Open((dir / "none.mid").c_str(), 0), MCIERR_FILE_NOT_FOUND);
  music.Play(PlayLoop);
  effect.Play(PlayNoWait);
  EXPECT_FALSE(fs::exists(output));
}

TEST_F(SoundDevice, CommandsCheckTheirDeviceAndParameters) {
  MciOpenParms open{MainWindow, 0, "sequencer", nullptr};
  std::string tune = DataFile("TORVEX.MID").string();
  EXPECT_EQ(SendMediaCommand(0, MCI_OPEN, MCI_OPEN_TYPE | MCI_OPEN_ELEMENT, &open),
            MCIERR_MISSING_PARAMETER);
  open.elementName = tune.c_str();
  EXPECT_EQ(SendMediaCommand(0, MCI_OPEN, MCI_OPEN_TYPE, &open), MCIERR_MISSING_PARAMETER);
  open.deviceType = "cdaudio";
  EXPECT_EQ(SendMediaCommand(0, MCI_OPEN, MCI_OPEN_TYPE | MCI_OPEN_ELEMENT, &open),
            MCIERR_INVALID_DEVICE_NAME);
  open.deviceType = "sequencer";
  ASSERT_EQ(SendMediaCommand(0, MCI_OPEN, MCI_OPEN_TYPE | MCI_OPEN_ELEMENT, &open), 0u);
  uint32_t first = open.deviceId;
  ASSERT_EQ(SendMediaCommand(0, MCI_OPEN, MCI_OPEN_TYPE | MCI_OPEN_ELEMENT, &open), 0u);
  EXPECT_NE(first, 0u);
  EXPECT_NE(open.deviceId, 0u);
  EXPECT_NE(open.deviceId, first);
  MciPlayParms play{MainWindow, 500, 0};
  EXPECT_EQ(SendMediaCommand(first, MCI_PLAY, MCI_FROM, &play), MCIERR_OUTOFRANGE);
  EXPECT_EQ(SendMediaCommand(first, MCI_PLAY, MCI_NOTIFY, nullptr), MCIERR_MISSING_PARAMETER);
  EXPECT_EQ(SendMediaCommand(first, 0x0999, 0, nullptr), MCIERR_UNRECOGNIZED_COMMAND);
  EXPECT_EQ(SendMediaCommand(first, MCI_CUE, 0, nullptr), 0u);
  EXPECT_EQ(SendMediaCommand(first, MCI_CLOSE, 0, nullptr), 0u);
  EXPECT_EQ(SendMediaCommand(first, MCI_STOP, 0, nullptr), MCIERR_INVALID_DEVICE_ID);
  EXPECT_EQ(SendMediaCommand(0, MCI_PLAY, 0, nullptr), MCIERR_INVALID_DEVICE_ID);
  // The audio device stays open while one device is, and closes with the last.
  EXPECT_NE(SDL_WasInit(SDL_INIT_AUDIO), 0u);
  EXPECT_EQ(SendMediaCommand(open.deviceId, MCI_CLOSE, 0, nullptr), 0u);
  EXPECT_EQ(SDL_WasInit(SDL_INIT_AUDIO), 0u);
}

// --- LZ expansion and temporary files -------------------------------------------------------

bool HaveTool(const char* name) {
  return system((std::string("command -v ") + name + " >/dev/null 2>&1").c_str()) == 0;
}

TEST_F(SoundDevice, OurCompressedEffectExpandsExactlyWithDebiansExpander) {
  if (!HaveTool("msexpand")) GTEST_SKIP() << "msexpand (package mscompress) is not installed";
  fs::path expanded = dir / "expanded.wav";
  std::string command = "msexpand < '" + DataFile("TORVEX.WAV").string() + "' > '" +
                        expanded.string() + "' 2>/dev/null";
  ASSERT_EQ(system(command.c_str()), 0);
  EXPECT_EQ(ReadBytes(expanded), PlainEffect());
  EXPECT_NE(PackedEffect(), PlainEffect());
}

TEST_F(SoundDevice, FilesCompressedByDebiansCompressorExpandExactly) {
  if (!HaveTool("mscompress")) GTEST_SKIP() << "mscompress is not installed";
  for (const char* name : {"effect.wav", "tune.mid"}) {
    SCOPED_TRACE(name);
    fs::path original = dir / name;
    WriteBytes(original, std::string(name) == "tune.mid" ? Tune() : PlainEffect());
    ASSERT_EQ(system(("mscompress '" + original.string() + "' 2>/dev/null").c_str()), 0);
    fs::path packed = original.string() + "_";  // mscompress writes NAME_
    ASSERT_TRUE(fs::exists(packed));
    fs::path expanded = dir / "expanded";
    EXPECT_EQ(ExpandFile(packed.c_str(), expanded.c_str()),
              static_cast<int64_t>(fs::file_size(original)));
    EXPECT_EQ(ReadBytes(expanded), ReadBytes(original));
  }
}

// Our compressor and the platform's expander agree on what the format's corners mean:
// references into the window's initial spaces, references overlapping what they produce,
// and runs longer than a reference.
TEST_F(SoundDevice, CompressedFilesRoundTripAndCutOnesFail) {
  std::vector<uint8_t> noise(5000);
  for (size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<uint8_t>((i * 2654435761u) >> 13);
  const std::vector<std::vector<uint8_t>> inputs = {
      {}, {'A'}, std::vector<uint8_t>(100, ' '), std::vector<uint8_t>(9000, 'z'), noise,
      PlainEffect(), Tune()};
  fs::path packed = dir / "packed", expanded = dir / "expanded";
  for (const std::vector<uint8_t>& input : inputs) {
    SCOPED_TRACE(input.size());
    std::vector<uint8_t> bytes = CompressSzdd(input, 'V');
    WriteBytes(packed, bytes);
    EXPECT_EQ(ExpandFile(packed.c_str(), expanded.c_str()), static_cast<int64_t>(input.size()));
    EXPECT_EQ(ReadBytes(expanded), input);
    if (input.size() < 100) continue;
    WriteBytes(packed, Cut(bytes, 0.9));
    EXPECT_LT(ExpandFile(packed.c_str(), expanded.c_str()), 0);
    EXPECT_EQ(fs::file_size(expanded), 0u) << "nothing half-expanded stays";
  }
  EXPECT_LT(CompressSzdd(std::vector<uint8_t>(9000, 'z'), 'V').size(), 1200u);
}

TEST_F(SoundDevice, PlainFilesAreCopiedUnchangedAndMissingOnesFail) {
  fs::path copy = dir / "copy";
  for (const std::vector<uint8_t>& input :
       {std::vector<uint8_t>{}, std::vector<uint8_t>{'S', 'Z'}, Tune(), PlainEffect()}) {
    WriteBytes(dir / "plain", input);
    EXPECT_EQ(ExpandFile((dir / "plain").c_str(), copy.c_str()),
              static_cast<int64_t>(input.size()));
    EXPECT_EQ(ReadBytes(copy), input);
  }
  EXPECT_LT(ExpandFile((dir / "missing").c_str(), copy.c_str()), 0);
  EXPECT_LT(ExpandFile(DataFile("TORVEX.MID").c_str(), (dir / "no" / "such").c_str()), 0);
}

TEST_F(SoundDevice, TemporaryFilesAreNewPrivateAndUnpredictable) {
  char folder[256];
  ASSERT_EQ(GetTempFolder(folder, sizeof folder), temp.string().size() + 1);
  EXPECT_EQ(std::string(folder), temp.string() + "/");
  char first[256], second[256];
  ASSERT_EQ(CreateTempFile(folder, "QVW", first), 0u);
  ASSERT_EQ(CreateTempFile(folder, "QVW", second), 0u);
  EXPECT_STRNE(first, second);
  EXPECT_EQ(fs::path(first).filename().string().rfind("QVW", 0), 0u);
  struct stat info;
  ASSERT_EQ(stat(first, &info), 0);
  EXPECT_EQ(info.st_size, 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  EXPECT_TRUE(DeleteFileAt(first));
  EXPECT_FALSE(DeleteFileAt(first));
  EXPECT_TRUE(DeleteFileAt(second));
  // A folder that cannot be written gives no file; a missing or relative TMPDIR means /tmp.
  EXPECT_NE(CreateTempFile((dir / "none/").c_str(), "QVW", first), 0u);
  EXPECT_STREQ(first, "");
  for (const char* bad : {"relative/dir", "/no/such/dir", ""}) {
    setenv("TMPDIR", bad, 1);
    EXPECT_EQ(GetTempFolder(folder, sizeof folder), 5u);
    EXPECT_STREQ(folder, "/tmp/");
  }
  EXPECT_EQ(GetTempFolder(folder, 3), 0u);
}

// --- the MIDI reader ------------------------------------------------------------------------

double Measure(const std::vector<uint8_t>& file) {
  double seconds = -1;
  return MeasureMidiSequence(file.data(), file.size(), &seconds) ? seconds : -1;
}

TEST_F(SoundDevice, MidiLengthFollowsTheTempoMapAndTheLongestTrack) {
  // 480 ticks at 120 a minute, then a tempo of 1 s a quarter for 960 ticks: 0.5 + 2 s.
  std::vector<uint8_t> conductor = {0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20,
                                    0x83, 0x60, 0xFF, 0x51, 0x03, 0x0F, 0x42, 0x40,
                                    0x87, 0x40, 0xFF, 0x2F, 0x00};
  // Running status, a system exclusive message, and an end 1200 ticks in.
  std::vector<uint8_t> notes = {0x00, 0x90, 60, 100, 0x30, 64, 100, 0x00, 0xF0, 0x02,
                                0x7E, 0xF7, 0x89, 0x00, 0x80, 60, 0, 0x00, 0xFF, 0x2F, 0x00};
  EXPECT_NEAR(Measure(MidiFile(1, 480, {conductor, notes})), 2.5, 1e-9);
  EXPECT_NEAR(Measure(MidiFile(1, 480, {notes})), 1200 / 480.0 * 0.5, 1e-9);
  // SMPTE time: 25 frames of 40 ticks a second.
  EXPECT_NEAR(Measure(MidiFile(0, 0xE728, {notes})), 1200 / 1000.0, 1e-9);
  // Events after the end of the track are not read.
  std::vector<uint8_t> trailing = notes;
  trailing.insert(trailing.end(), {0x50, 0x90});
  EXPECT_NEAR(Measure(MidiFile(0, 480, {trailing})), 1.25, 1e-9);
  EXPECT_NEAR(Measure(ClavesTune()), 1.0, 1e-9);
}

TEST_F(SoundDevice, MidiReaderRefusesWhatIsNotAWholeMidiFile) {
  std::vector<uint8_t> good = ClavesTune();
  ASSERT_GT(Measure(good), 0);
  for (size_t size = 0; size < good.size(); ++size)
    EXPECT_LT(Measure(Cut(good, static_cast<double>(size) / good.size())), 0) << size;
  const std::vector<uint8_t> notes = {0x00, 0x90, 60, 100, 0x60, 0x80, 60, 0};
  EXPECT_LT(Measure(MidiFile(0, 0, {notes})), 0);                             // no time division
  EXPECT_LT(Measure(MidiFile(3, 480, {notes})), 0);                           // no such format
  EXPECT_LT(Measure(MidiFile(0, 480, {{0x00, 60, 100}})), 0);                 // data, no status
  EXPECT_LT(Measure(MidiFile(0, 480, {{0x00, 0x90, 60, 200}})), 0);           // data above 127
  EXPECT_LT(Measure(MidiFile(0, 480, {{0x00, 0xF4}})), 0);                    // undefined status
  EXPECT_LT(Measure(MidiFile(0, 480, {{0xFF, 0xFF, 0xFF, 0xFF, 0x7F}})), 0);  // delta too long
  EXPECT_LT(Measure(MidiFile(0, 480, {{0x00, 0xFF, 0x51, 0x03, 0, 0, 0}})), 0);  // tempo 0
  std::vector<uint8_t> missingTrack = MidiFile(1, 480, {notes, notes});
  missingTrack.resize(missingTrack.size() - notes.size() - 8);
  EXPECT_LT(Measure(missingTrack), 0);
}
}  // namespace
