// sound_test.cpp — the music and effect players on the recording double: the device commands
// and flags each operation sends, in order, the records of what plays, the effect's temporary
// file, and the looping tune restarted by the frame's window procedure.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "frame/frame.h"
#include "sound/sound.h"
#include "tests/double/double.h"
#include "tests/double/media_double.h"

// The application's hooks, which the frame calls by name; these tests run no application.
void OnConfigure(int, char**) {}
void OnStart() {}
void OnEnd() {}
void OnPause() {}
void OnResume() {}
void OnTick() {}
void OnMouseMove(int32_t, int32_t, int32_t, int32_t) {}
void OnLeftDown(int32_t, int32_t) {}
void OnLeftUp(int32_t, int32_t) {}
void OnRightDown(int32_t, int32_t) {}
void OnRightUp(int32_t, int32_t) {}

namespace {

using Lines = std::vector<std::string>;

char windowObject;

const char* const MusicFile = "/opt/torvex32/TORVEX.MID";
const char* const EffectFile = "/opt/torvex32/TORVEX.WAV";

std::string Open(uint32_t id, const char* type, const std::string& file) {
  return "SendMediaCommand 0 0x803 0x2200 main " + std::string(type) + " " + file + " -> " +
         std::to_string(id);
}
std::string Play(uint32_t id, const char* flags) {
  return "SendMediaCommand " + std::to_string(id) + " 0x806 " + flags + " main from 0";
}
std::string Stop(uint32_t id) { return "SendMediaCommand " + std::to_string(id) + " 0x808 0x0"; }
std::string Close(uint32_t id) { return "SendMediaCommand " + std::to_string(id) + " 0x804 0x0"; }
std::string Cue(uint32_t id) { return "SendMediaCommand " + std::to_string(id) + " 0x830 0x0"; }
std::string Temp(int n) { return "/tmp/QVW" + std::to_string(n) + ".tmp"; }
// What opening the effect does before the device is opened on the n-th temporary file.
Lines Expand(int n) {
  return {"GetTempFolder", "CreateTempFile /tmp/ QVW",
          "ExpandFile " + std::string(EffectFile) + " " + Temp(n)};
}

Lines operator+(Lines a, const Lines& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

class SoundPlayers : public ::testing::Test {
 protected:
  void SetUp() override {
    Double::Reset();
    MediaDouble::Reset();
    MusicNowPlaying = {};
    EffectNowPlaying = {};
    MainWindow = reinterpret_cast<WindowHandle>(&windowObject);
    NoticeWindow = MainWindow;
    Double::Window = MainWindow;
  }
  void TearDown() override {
    // Close the players quietly, so their destructors find them closed.
    for (QVMIDI* m : {&musicA, &musicB}) m->Close();
    for (QVWAVE* e : {&effectA, &effectB}) e->Close();
    MainWindow = nullptr;
    NoticeWindow = nullptr;
  }

  QVMIDI musicA, musicB;
  QVWAVE effectA, effectB;
};

// --- opening --------------------------------------------------------------------------------

TEST_F(SoundPlayers, MusicOpensTheSequencerWithTheWindowAsCallbackAndCuesOnRequest) {
  EXPECT_EQ(musicA.opened, 0);
  EXPECT_EQ(musicA.Open(MusicFile, 0), 0u);
  EXPECT_EQ(musicB.Open(MusicFile, 1), 0u);
  EXPECT_EQ(Double::Calls, (Lines{Open(1, "sequencer", MusicFile),
                                  Open(2, "sequencer", MusicFile), Cue(2)}));
  EXPECT_EQ(musicA.opened, 1);
  EXPECT_EQ(musicA.deviceId, 1u);
  EXPECT_EQ(musicB.deviceId, 2u);
}

TEST_F(SoundPlayers, FailedOpenReturnsTheErrorAndLeavesThePlayerClosedAndSilent) {
  MediaDouble::OpenResult = MCIERR_FILE_NOT_FOUND;
  EXPECT_EQ(musicA.Open(MusicFile, 1), MCIERR_FILE_NOT_FOUND);
  // The cue still goes out, to device 0.
  EXPECT_EQ(Double::Calls,
            (Lines{"SendMediaCommand 0 0x803 0x2200 main sequencer " + std::string(MusicFile) +
                       " -> error 275",
                   Cue(0)}));
  EXPECT_EQ(musicA.opened, 0);
  EXPECT_EQ(musicA.deviceId, 0u);
  Double::Calls.clear();
  musicA.Play(PlayLoop);
  musicA.Close();
  EXPECT_TRUE(Double::Calls.empty());
  EXPECT_EQ(MusicNowPlaying.mode, 0u);
}

TEST_F(SoundPlayers, EffectIsExpandedIntoAFreshTemporaryFileAndOpenedFromThere) {
  EXPECT_EQ(effectA.Open(EffectFile, 0), 0u);
  EXPECT_EQ(Double::Calls, (Expand(1) + Lines{Open(1, "waveaudio", Temp(1))}));
  EXPECT_STREQ(effectA.tempPath, Temp(1).c_str());
  EXPECT_EQ(effectA.opened, 1);
}

// A failed open of the effect deletes the copy it made: it would never be closed.
TEST_F(SoundPlayers, FailedEffectOpenDeletesItsTemporaryFile) {
  MediaDouble::OpenResult = MCIERR_INVALID_FILE;
  EXPECT_EQ(effectA.Open(EffectFile, 0), MCIERR_INVALID_FILE);
  Lines expected = Expand(1) + Lines{"SendMediaCommand 0 0x803 0x2200 main waveaudio " +
                                         Temp(1) + " -> error 296",
                                     "DeleteFileAt " + Temp(1)};
  EXPECT_EQ(Double::Calls, expected);
  Double::Calls.clear();
  effectA.Close();
  EXPECT_TRUE(Double::Calls.empty());
}

TEST_F(SoundPlayers, EffectWithoutATemporaryFileStaysClosedAndExpandsNothing) {
  MediaDouble::TempFileFails = true;
  EXPECT_NE(effectA.Open(EffectFile, 0), 0u);
  EXPECT_EQ(Double::Calls, (Lines{"GetTempFolder", "CreateTempFile /tmp/ QVW"}));
  EXPECT_EQ(effectA.opened, 0);
  EXPECT_STREQ(effectA.tempPath, "");
}

TEST_F(SoundPlayers, ReopeningStopsClosesAndDeletesTheOldCopyFirst) {
  effectA.Open(EffectFile, 0);
  effectA.Play(PlayNoWait);
  musicA.Open(MusicFile, 0);
  musicA.Play(PlayLoop);
  Double::Calls.clear();
  effectA.Open(EffectFile, 0);
  musicA.Open(MusicFile, 0);
  Lines expected = Lines{Stop(1), Close(1), "DeleteFileAt " + Temp(1)} + Expand(2) +
                   Lines{Open(3, "waveaudio", Temp(2)), Stop(2), Close(2),
                         Open(4, "sequencer", MusicFile)};
  EXPECT_EQ(Double::Calls, expected);
  EXPECT_EQ(effectA.deviceId, 3u);
  EXPECT_EQ(EffectNowPlaying.active, 0u);
  EXPECT_EQ(MusicNowPlaying.mode, 0u);
}

// --- playing --------------------------------------------------------------------------------

struct ModeCase {
  PlayMode mode;
  const char* musicFlags;
  uint32_t recordedMode;
  const char* effectFlags;
};

TEST_F(SoundPlayers, EachModeSendsItsFlagsAndOtherValuesPlayOnceWithoutWaiting) {
  const ModeCase cases[] = {{PlayNoWait, "0x4", 1, "0x4"},
                            {PlayWait, "0x6", 1, "0x6"},
                            {PlayLoop, "0x5", 2, "0x4"},
                            {7, "0x4", 1, "0x4"},
                            {-1, "0x4", 1, "0x4"}};
  musicA.Open(MusicFile, 0);
  effectA.Open(EffectFile, 0);
  for (const ModeCase& c : cases) {
    SCOPED_TRACE(c.mode);
    MusicNowPlaying = {};
    EffectNowPlaying = {};
    Double::Calls.clear();
    musicA.Play(c.mode);
    effectA.Play(c.mode);
    EXPECT_EQ(Double::Calls, (Lines{Play(1, c.musicFlags), Play(2, c.effectFlags)}));
    EXPECT_EQ(MusicNowPlaying.deviceId, 1u);
    EXPECT_EQ(MusicNowPlaying.mode, c.recordedMode);
    EXPECT_EQ(EffectNowPlaying.deviceId, 2u);
    EXPECT_EQ(EffectNowPlaying.active, 1u);
  }
}

TEST_F(SoundPlayers, APlayFirstStopsWhatItsKindStartedLast) {
  effectA.Open(EffectFile, 0);
  musicA.Open(MusicFile, 0);
  musicB.Open(MusicFile, 0);
  Double::Calls.clear();
  effectA.Play(PlayNoWait);
  effectA.Play(PlayNoWait);
  musicA.Play(PlayLoop);
  musicB.Play(PlayNoWait);
  EXPECT_EQ(Double::Calls, (Lines{Play(1, "0x4"), Stop(1), Play(1, "0x4"), Play(2, "0x5"),
                                  Stop(2), Play(3, "0x4")}));
  EXPECT_EQ(MusicNowPlaying.deviceId, 3u);
  EXPECT_EQ(MusicNowPlaying.mode, 1u);
}

TEST_F(SoundPlayers, PlayOnAClosedPlayerOnlyStopsAndKeepsTheDeviceInTheRecord) {
  musicA.Open(MusicFile, 0);
  effectA.Open(EffectFile, 0);
  musicA.Play(PlayLoop);
  effectA.Play(PlayNoWait);
  Double::Calls.clear();
  musicB.Play(PlayLoop);
  effectB.Play(PlayNoWait);
  EXPECT_EQ(Double::Calls, (Lines{Stop(1), Stop(2)}));
  EXPECT_EQ(MusicNowPlaying.deviceId, 1u);
  EXPECT_EQ(MusicNowPlaying.mode, 0u);
  EXPECT_EQ(EffectNowPlaying.deviceId, 2u);
  EXPECT_EQ(EffectNowPlaying.active, 0u);
  // Nothing is recorded as playing any more: the next play on a closed player does nothing.
  Double::Calls.clear();
  musicB.Play(PlayLoop);
  effectB.Play(PlayNoWait);
  EXPECT_TRUE(Double::Calls.empty());
}

// --- closing --------------------------------------------------------------------------------

TEST_F(SoundPlayers, ClosingThePlayingPlayerStopsItAndClearsTheRecord) {
  musicA.Open(MusicFile, 0);
  effectA.Open(EffectFile, 0);
  musicA.Play(PlayLoop);
  effectA.Play(PlayNoWait);
  Double::Calls.clear();
  effectA.Close();
  musicA.Close();
  EXPECT_EQ(Double::Calls, (Lines{Stop(2), Close(2), "DeleteFileAt " + Temp(1), Stop(1), Close(1)}));
  EXPECT_EQ(MusicNowPlaying.deviceId, 0u);
  EXPECT_EQ(MusicNowPlaying.mode, 0u);
  EXPECT_EQ(EffectNowPlaying.deviceId, 0u);
  EXPECT_EQ(EffectNowPlaying.active, 0u);
  EXPECT_EQ(musicA.opened, 0);
  EXPECT_EQ(effectA.deviceId, 0u);
  EXPECT_STREQ(effectA.tempPath, Temp(1).c_str());  // kept after the close
  // A closed player deletes nothing and sends nothing.
  Double::Calls.clear();
  effectA.Close();
  musicA.Close();
  EXPECT_TRUE(Double::Calls.empty());
}

TEST_F(SoundPlayers, ClosingAnOpenPlayerThatIsNotRecordedOnlyClosesIt) {
  musicA.Open(MusicFile, 0);
  musicB.Open(MusicFile, 0);
  effectA.Open(EffectFile, 0);
  effectB.Open(EffectFile, 0);
  musicA.Play(PlayLoop);
  effectA.Play(PlayNoWait);
  Double::Calls.clear();
  musicB.Close();
  effectB.Close();
  EXPECT_EQ(Double::Calls, (Lines{Close(2), Close(4), "DeleteFileAt " + Temp(2)}));
  EXPECT_EQ(MusicNowPlaying.deviceId, 1u);
  EXPECT_EQ(MusicNowPlaying.mode, 2u);
  EXPECT_EQ(EffectNowPlaying.deviceId, 3u);
  EXPECT_EQ(EffectNowPlaying.active, 1u);
}

TEST_F(SoundPlayers, DestructionClosesThePlayerAndDeletesTheEffectsCopy) {
  {
    QVWAVE effect;
    effect.Open(EffectFile, 0);
    effect.Play(PlayNoWait);
    Double::Calls.clear();
  }
  EXPECT_EQ(Double::Calls, (Lines{Stop(1), Close(1), "DeleteFileAt " + Temp(1)}));
  // The program's own players start closed.
  EXPECT_EQ(Music.opened, 0);
  EXPECT_EQ(Effect.opened, 0);
}

// --- the loop -------------------------------------------------------------------------------

TEST_F(SoundPlayers, OnlyASuccessfulNoticeOfALoopingTuneRestartsIt) {
  musicA.Open(MusicFile, 0);
  musicA.Play(PlayLoop);
  Double::Calls.clear();
  for (uintptr_t outcome : {MCI_NOTIFY_SUPERSEDED, MCI_NOTIFY_ABORTED, MCI_NOTIFY_FAILURE})
    FrameWndProc(MainWindow, MM_MCINOTIFY, outcome, 1);
  EXPECT_TRUE(Double::Calls.empty());
  // Whichever device the notice names, the recorded tune starts again and asks for a notice.
  FrameWndProc(MainWindow, MM_MCINOTIFY, MCI_NOTIFY_SUCCESSFUL, 9);
  EXPECT_EQ(Double::Calls, (Lines{Play(1, "0x5")}));
  EXPECT_EQ(MusicNowPlaying.deviceId, 1u);
  EXPECT_EQ(MusicNowPlaying.mode, 2u);
  // Played once, it is not repeated.
  musicA.Play(PlayNoWait);
  Double::Calls.clear();
  FrameWndProc(MainWindow, MM_MCINOTIFY, MCI_NOTIFY_SUCCESSFUL, 1);
  EXPECT_TRUE(Double::Calls.empty());
}

}  // namespace
