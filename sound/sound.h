// sound.h — the sound players: QVMIDI loops the tune on the "sequencer" device, QVWAVE plays
// the effect on the "waveaudio" device after expanding it into a temporary file.
//
// There is one static object of each (Music, then Effect), constructed before the framework
// runs and closed by its destructor after. The records say which device of each kind was
// started last; RepeatLoopingTune reads MusicNowPlaying to repeat a looping tune.
//
// Sound stands below the application frame: it knows the window only as the handle the frame
// hands down (NoticeWindow), and the frame passes the device's notices on to it.
#pragma once

#include <cstdint>

#include "platform/platform.h"

// The window every open and play names as its callback, so that completion notices arrive in
// its queue: the main window, handed down by the frame as soon as it is created; null before.
extern WindowHandle NoticeWindow;

// Passes on a device's completion notice (MM_MCINOTIFY's first parameter): when it reports a
// successful end and the tune started last is looping, the tune plays again from its start
// with a further notice requested; the record stays as it is. Other outcomes do nothing.
void RepeatLoopingTune(uintptr_t outcome);

using PlayMode = int32_t;
constexpr PlayMode PlayNoWait = 0;  // from the start, no notice, return at once
constexpr PlayMode PlayWait = 1;    // from the start, return when it has ended
constexpr PlayMode PlayLoop = 2;    // from the start with a notice; repeated on success

struct MusicRecord {
  uint32_t deviceId;  // device QVMIDI::Play started last
  uint32_t mode;      // 0 nothing (or stopped), 1 played once, 2 looping
};
struct EffectRecord {
  uint32_t deviceId;  // device QVWAVE::Play started last
  uint32_t active;    // 1 after a play started it, 0 after a stop
};

extern MusicRecord MusicNowPlaying;
extern EffectRecord EffectNowPlaying;

class QVMIDI {
 public:
  QVMIDI();
  ~QVMIDI();
  uint32_t Open(const char* path, int32_t cue);  // the device's error code, 0 on success
  void Play(PlayMode mode);
  void Close();

  int32_t opened;     // 1 after a successful Open
  uint32_t deviceId;  // the open device; 0 when closed
};

class QVWAVE {
 public:
  QVWAVE();
  ~QVWAVE();
  uint32_t Open(const char* path, int32_t cue);
  void Play(PlayMode mode);
  void Close();

  int32_t opened;
  uint32_t deviceId;
  char tempPath[256];  // the expanded effect; written by every Open, kept after Close
};

extern QVMIDI Music;   // the looping tune
extern QVWAVE Effect;  // the turn sound
