// players.cpp — the music and effect players on the platform's media device, and the records
// of the tune and the effect started last. Only these players start, stop and close devices.
#include "sound/sound.h"

WindowHandle NoticeWindow = nullptr;  // handed down by the frame when it creates its window
MusicRecord MusicNowPlaying;
EffectRecord EffectNowPlaying;

namespace {

// Opens a device of the type on the file; on success marks the player open. A cue is sent even
// after a failed open (to device 0), whose result nobody looks at.
uint32_t OpenDevice(const char* type, const char* path, int32_t cue, int32_t* opened,
                    uint32_t* deviceId) {
  MciOpenParms parms{NoticeWindow, 0, type, path};
  uint32_t result = SendMediaCommand(0, MCI_OPEN, MCI_OPEN_TYPE | MCI_OPEN_ELEMENT, &parms);
  if (result == 0) {
    *opened = 1;
    *deviceId = parms.deviceId;
  }
  if (cue != 0) SendMediaCommand(*deviceId, MCI_CUE, 0, nullptr);
  return result;
}

// Plays the device from its beginning; the result is of no use to the caller.
void PlayDevice(uint32_t deviceId, uint32_t flags) {
  MciPlayParms parms{NoticeWindow, 0, 0};
  SendMediaCommand(deviceId, MCI_PLAY, flags, &parms);
}

// The play flags of a mode. Only the tune asks for a notice when looping; the effect plays a
// loop request once. Unknown modes play once without waiting.
uint32_t PlayFlags(PlayMode mode, bool mayNotify) {
  if (mode == PlayWait) return MCI_FROM | MCI_WAIT;
  if (mode == PlayLoop && mayNotify) return MCI_FROM | MCI_NOTIFY;
  return MCI_FROM;
}

}  // namespace

// --- the tune -----------------------------------------------------------------------------

QVMIDI::QVMIDI() : opened(0), deviceId(0) {}

QVMIDI::~QVMIDI() { Close(); }

uint32_t QVMIDI::Open(const char* path, int32_t cue) {
  if (opened != 0) Close();
  return OpenDevice("sequencer", path, cue, &opened, &deviceId);
}

void QVMIDI::Play(PlayMode mode) {
  // At most one tune sounds: whatever was started last is stopped first, open or not.
  if (MusicNowPlaying.mode != 0) {
    SendMediaCommand(MusicNowPlaying.deviceId, MCI_STOP, 0, nullptr);
    MusicNowPlaying.mode = 0;
  }
  if (opened == 0) return;
  PlayDevice(deviceId, PlayFlags(mode, true));
  // Recorded after the command returns: after the whole tune when waiting.
  MusicNowPlaying.deviceId = deviceId;
  MusicNowPlaying.mode = mode == PlayLoop ? 2 : 1;
}

void QVMIDI::Close() {
  if (opened != 0 && deviceId == MusicNowPlaying.deviceId && MusicNowPlaying.mode != 0) {
    SendMediaCommand(deviceId, MCI_STOP, 0, nullptr);
    MusicNowPlaying = {0, 0};
  }
  if (opened != 0) SendMediaCommand(deviceId, MCI_CLOSE, 0, nullptr);
  opened = 0;
  deviceId = 0;
}

// The notice's own device is not looked at: only the tune asks for notices.
void RepeatLoopingTune(uintptr_t outcome) {
  if (outcome != MCI_NOTIFY_SUCCESSFUL || MusicNowPlaying.mode != PlayLoop) return;
  PlayDevice(MusicNowPlaying.deviceId, MCI_NOTIFY | MCI_FROM);
}

// --- the effect ---------------------------------------------------------------------------

QVWAVE::QVWAVE() : opened(0), deviceId(0) {}

QVWAVE::~QVWAVE() { Close(); }

uint32_t QVWAVE::Open(const char* path, int32_t cue) {
  if (opened != 0) Close();
  char folder[256] = {};
  GetTempFolder(folder, sizeof folder);
  // The effect may be stored compressed: the device plays an expanded copy. Without a
  // temporary file there is nowhere to expand it to, and the effect stays silent.
  if (CreateTempFile(folder, "QVW", tempPath) != 0) {
    tempPath[0] = '\0';
    return MCIERR_FILE_NOT_FOUND;
  }
  ExpandFile(path, tempPath);
  uint32_t result = OpenDevice("waveaudio", tempPath, cue, &opened, &deviceId);
  // A device that did not open is never closed, so nothing would ever delete its copy. Keeping
  // it, as a player that only deletes on close would, leaves one more "QVW" file in the
  // temporary folder at every start without a sound device: we deliberately delete it now.
  if (result != 0) DeleteFileAt(tempPath);
  return result;
}

void QVWAVE::Play(PlayMode mode) {
  if (EffectNowPlaying.active != 0) {
    SendMediaCommand(EffectNowPlaying.deviceId, MCI_STOP, 0, nullptr);
    EffectNowPlaying.active = 0;
  }
  if (opened == 0) return;
  PlayDevice(deviceId, PlayFlags(mode, false));
  EffectNowPlaying.deviceId = deviceId;
  EffectNowPlaying.active = 1;
}

void QVWAVE::Close() {
  if (opened != 0 && deviceId == EffectNowPlaying.deviceId && EffectNowPlaying.active != 0) {
    SendMediaCommand(deviceId, MCI_STOP, 0, nullptr);
    EffectNowPlaying = {0, 0};
  }
  if (opened != 0) {
    SendMediaCommand(deviceId, MCI_CLOSE, 0, nullptr);
    DeleteFileAt(tempPath);
  }
  opened = 0;
  deviceId = 0;
}
