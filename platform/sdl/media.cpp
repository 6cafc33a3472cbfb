// media.cpp — the media device on SDL2_mixer. A "sequencer" device plays a MIDI file as the
// mixer's music (FluidSynth with the system's General MIDI soundfont); a "waveaudio" device
// plays a WAV file as a chunk on a mixer channel of its own. The audio device is opened with
// the first device and shut down with the last, so it lives as long as the sound players.
//
// Ends are counted, not awaited: the synthesiser reports a tune's end seconds after its last
// note, too late for a loop without a gap. So the mixer's audio thread counts the frames each
// play has sent out and posts the completion notice as soon as the count reaches the sound's
// length (for a tune, the time of its last event). Counting and posting is all the audio
// thread does; every command runs on the window's thread.
#include <SDL.h>
#include <SDL_mixer.h>
#include <strings.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <vector>

#include "platform/platform.h"
#include "platform/sdl/backend.h"
#include "platform/sdl/media.h"

namespace {

constexpr int MaxDevices = 16;        // open devices at a time; wave devices use channel = slot
constexpr int MixFrequency = 44100;
constexpr int MixBufferFrames = 1024;  // also the step in which ends are noticed (23 ms)

enum class Kind { Free, Sequencer, Wave };
// A play moves Idle -> Starting (told to the mixer) -> Playing (counted) -> Ended; stopping
// it returns it to Idle.
enum class Phase { Idle, Starting, Playing, Ended };

struct Device {
  Kind kind;
  uint32_t id;
  Mix_Music* music;      // sequencer
  Mix_Chunk* chunk;      // wave
  int64_t lengthFrames;  // frames from the start of the sound to its end
  // Shared with the audio thread, under DeviceLock:
  Phase phase;
  bool launched;         // the mixer has started the play: count from its next buffer
  int64_t playedFrames;  // frames mixed since the play began
  bool notify;           // a completion notice is owed to callback for the current play
  WindowHandle callback;
};

struct Notice {
  WindowHandle window;
  uintptr_t outcome;
  uint32_t deviceId;
};

Device Devices[MaxDevices];
// The audio thread takes DeviceLock while it holds the mixer's lock, so the window's thread
// never calls the mixer while it holds DeviceLock.
std::mutex DeviceLock;
uint32_t LastDeviceId = 0;
int OpenCount = 0;         // open devices; the audio device is open while it is above 0
bool AudioOpen = false;
int FrameBytes = 4;        // of the mixer's output
int OutputFrequency = MixFrequency;
int CurrentMusic = -1;     // slot of the sequencer the mixer's one music stream belongs to
bool MusicEverOpened = false;  // for reports: a "sequencer" device opened
bool EffectEverOpened = false; // a "waveaudio" device opened
char AudioDriverName[32];      // the driver the audio device opened with

void Post(const Notice& notice) {
  if (notice.window != nullptr)
    PostWindowMessage(notice.window, MM_MCINOTIFY, notice.outcome, notice.deviceId);
}

// --- the audio thread ---------------------------------------------------------------------

int SlotOf(const Device& device) { return static_cast<int>(&device - Devices); }

// Whether the mixer is sounding the device now. Called on the audio thread, where the mixer's
// lock is already held, so asking the mixer cannot block.
bool Sounding(const Device& device) {
  if (device.kind == Kind::Sequencer) return Mix_PlayingMusic() != 0;
  return device.kind == Kind::Wave && Mix_Playing(SlotOf(device)) != 0;
}

// Called by the mixer after every buffer it mixed, on its audio thread, inside its lock. A play
// the mixer started before this buffer began is in it from its first frame: whether the window's
// thread has marked it launched yet or the mixer already sounds it (nothing else of its kind
// can sound meanwhile, since a play silences the others first).
void CountMixedFrames(void*, Uint8*, int bytes) {
  int64_t frames = bytes / FrameBytes;
  Notice due[MaxDevices];
  int dueCount = 0;
  {
    std::lock_guard<std::mutex> guard(DeviceLock);
    for (Device& device : Devices) {
      if (device.phase == Phase::Starting && (device.launched || Sounding(device)))
        device.phase = Phase::Playing;
      if (device.phase != Phase::Playing) continue;
      device.playedFrames += frames;
      if (device.playedFrames < device.lengthFrames) continue;
      device.phase = Phase::Ended;
      if (device.notify) due[dueCount++] = {device.callback, MCI_NOTIFY_SUCCESSFUL, device.id};
      device.notify = false;
    }
  }
  for (int i = 0; i < dueCount; ++i) Post(due[i]);
}

// --- the audio device ---------------------------------------------------------------------

bool OpenAudio() {
  if (AudioOpen) return true;
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return false;
  // A WAV file cut short is an error, not a shorter sound.
  SDL_SetHint(SDL_HINT_WAVE_TRUNCATION, "verystrict");
  if (Mix_OpenAudio(MixFrequency, AUDIO_S16SYS, 2, MixBufferFrames) != 0) {
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    return false;
  }
  int frequency = 0, channels = 0;
  Uint16 format = 0;
  Mix_QuerySpec(&frequency, &format, &channels);
  OutputFrequency = frequency;
  FrameBytes = channels * static_cast<int>(SDL_AUDIO_BITSIZE(format)) / 8;
  Mix_AllocateChannels(MaxDevices);
  Mix_SetPostMix(CountMixedFrames, nullptr);
  const char* driver = SDL_GetCurrentAudioDriver();
  SDL_strlcpy(AudioDriverName, driver != nullptr ? driver : "", sizeof AudioDriverName);
  AudioOpen = true;
  return true;
}

void CloseAudio() {
  Mix_SetPostMix(nullptr, nullptr);
  Mix_CloseAudio();
  Mix_Quit();
  SDL_QuitSubSystem(SDL_INIT_AUDIO);
  AudioOpen = false;
}

// --- commands -----------------------------------------------------------------------------

Device* FreeSlot() {
  for (Device& device : Devices)
    if (device.kind == Kind::Free) return &device;
  return nullptr;
}

// Returns a slot to free; the audio thread reads its play state meanwhile.
void ClearSlot(Device& device) {
  std::lock_guard<std::mutex> guard(DeviceLock);
  device = Device{};
}

Device* FindDevice(uint32_t id) {
  for (Device& device : Devices)
    if (device.kind != Kind::Free && device.id == id && id != 0) return &device;
  return nullptr;
}

// Ends the device's current play at once and posts the notice it owes with the outcome.
void Halt(Device& device, uintptr_t outcome) {
  if (device.kind == Kind::Wave) Mix_HaltChannel(SlotOf(device));
  if (device.kind == Kind::Sequencer && CurrentMusic == SlotOf(device)) {
    Mix_HaltMusic();
    CurrentMusic = -1;
  }
  Notice notice{device.callback, outcome, device.id};
  bool owed = false;
  {
    std::lock_guard<std::mutex> guard(DeviceLock);
    device.phase = Phase::Idle;
    device.launched = false;
    owed = device.notify;
    device.notify = false;
  }
  if (owed) Post(notice);
}

void WaitForEnd(Device& device) {
  uint32_t limit = SDL_GetTicks() + static_cast<uint32_t>(device.lengthFrames * 1000 /
                                                           OutputFrequency) + 5000;
  // The audio thread always runs while the device is open; the limit only guards against an
  // output that has stalled.
  for (;;) {
    {
      std::lock_guard<std::mutex> guard(DeviceLock);
      if (device.phase != Phase::Starting && device.phase != Phase::Playing) return;
    }
    if (SDL_TICKS_PASSED(SDL_GetTicks(), limit)) return;
    SDL_Delay(2);
  }
}

// Tells the mixer to start the device's sound; false if it refused.
bool StartSound(Device& device) {
  if (device.kind == Kind::Wave) return Mix_PlayChannel(SlotOf(device), device.chunk, 0) >= 0;
  if (Mix_PlayMusic(device.music, 1) != 0) return false;
  CurrentMusic = SlotOf(device);
  return true;
}

uint32_t PlayDevice(Device& device, uint32_t flags, const MciPlayParms* parms) {
  if ((flags & (MCI_FROM | MCI_NOTIFY)) != 0 && parms == nullptr) return MCIERR_MISSING_PARAMETER;
  // Every play starts at the beginning: that is all the players ask for.
  if ((flags & MCI_FROM) != 0 && parms->from != 0) return MCIERR_OUTOFRANGE;
  Halt(device, MCI_NOTIFY_SUPERSEDED);
  // The mixer has one music stream: another tune playing on it is cut short.
  if (device.kind == Kind::Sequencer && CurrentMusic >= 0)
    Halt(Devices[CurrentMusic], MCI_NOTIFY_ABORTED);
  {
    std::lock_guard<std::mutex> guard(DeviceLock);
    device.phase = Phase::Starting;
    device.playedFrames = 0;
    device.notify = (flags & MCI_NOTIFY) != 0;
    device.callback = parms != nullptr ? parms->callback : nullptr;
  }
  if (!StartSound(device)) {
    std::lock_guard<std::mutex> guard(DeviceLock);
    device.phase = Phase::Idle;
    device.notify = false;
    return MCIERR_HARDWARE;
  }
  {
    std::lock_guard<std::mutex> guard(DeviceLock);
    device.launched = true;
  }
  if ((flags & MCI_WAIT) != 0) WaitForEnd(device);
  return 0;
}

void CloseDevice(Device& device) {
  Halt(device, MCI_NOTIFY_ABORTED);
  if (device.music != nullptr) Mix_FreeMusic(device.music);
  if (device.chunk != nullptr) Mix_FreeChunk(device.chunk);
  ClearSlot(device);
  if (--OpenCount == 0) CloseAudio();
}

// --- opening ------------------------------------------------------------------------------

uint32_t ReadWholeFile(const char* path, std::vector<uint8_t>* data) {
  FILE* file = OpenRegularFile(path);
  if (file == nullptr) return MCIERR_FILE_NOT_FOUND;
  long size = fseek(file, 0, SEEK_END) == 0 ? ftell(file) : -1;
  bool ok = size >= 0 && size <= MaxMediaFileBytes && fseek(file, 0, SEEK_SET) == 0;
  if (ok) {
    data->resize(static_cast<size_t>(size));
    ok = fread(data->data(), 1, data->size(), file) == data->size();
  }
  fclose(file);
  return ok ? 0 : MCIERR_INVALID_FILE;
}

bool IsWaveData(const std::vector<uint8_t>& data) {
  return data.size() >= 12 && memcmp(data.data(), "RIFF", 4) == 0 &&
         memcmp(data.data() + 8, "WAVE", 4) == 0;
}

uint32_t LoadTune(Device& device, const std::vector<uint8_t>& data, double seconds) {
  SDL_RWops* source = SDL_RWFromConstMem(data.data(), static_cast<int>(data.size()));
  device.music = source != nullptr ? Mix_LoadMUSType_RW(source, MUS_MID, SDL_TRUE) : nullptr;
  if (device.music == nullptr) return MCIERR_INVALID_FILE;
  device.lengthFrames = std::llround(seconds * OutputFrequency);
  return 0;
}

uint32_t LoadWave(Device& device, const std::vector<uint8_t>& data) {
  SDL_RWops* source = SDL_RWFromConstMem(data.data(), static_cast<int>(data.size()));
  device.chunk = source != nullptr ? Mix_LoadWAV_RW(source, SDL_TRUE) : nullptr;
  if (device.chunk == nullptr) return MCIERR_INVALID_FILE;
  device.lengthFrames = device.chunk->alen / FrameBytes;
  // A sound without a single frame cannot be played to an end.
  if (device.lengthFrames > 0) return 0;
  Mix_FreeChunk(device.chunk);
  device.chunk = nullptr;
  return MCIERR_INVALID_FILE;
}

// Checks the file before the audio device is touched, so a missing or broken file costs
// nothing and reports its own error even where there is no audio device.
uint32_t CheckFile(Kind kind, const char* path, std::vector<uint8_t>* data, double* seconds) {
  uint32_t error = ReadWholeFile(path, data);
  if (error != 0) return error;
  if (kind == Kind::Sequencer && !MeasureMidiSequence(data->data(), data->size(), seconds))
    return MCIERR_INVALID_FILE;
  if (kind == Kind::Wave && !IsWaveData(*data)) return MCIERR_INVALID_FILE;
  return 0;
}

uint32_t NewDeviceId() {
  do {
    ++LastDeviceId;
  } while (LastDeviceId == 0 || FindDevice(LastDeviceId) != nullptr);
  return LastDeviceId;
}

uint32_t OpenDevice(uint32_t flags, MciOpenParms* parms) {
  uint32_t needed = MCI_OPEN_TYPE | MCI_OPEN_ELEMENT;
  if (parms == nullptr || (flags & needed) != needed || parms->deviceType == nullptr ||
      parms->elementName == nullptr)
    return MCIERR_MISSING_PARAMETER;
  Kind kind = strcasecmp(parms->deviceType, "sequencer") == 0   ? Kind::Sequencer
              : strcasecmp(parms->deviceType, "waveaudio") == 0 ? Kind::Wave
                                                                : Kind::Free;
  if (kind == Kind::Free) return MCIERR_INVALID_DEVICE_NAME;
  Device* device = FreeSlot();
  if (device == nullptr) return MCIERR_OUT_OF_MEMORY;
  std::vector<uint8_t> data;
  double seconds = 0;
  uint32_t error = CheckFile(kind, parms->elementName, &data, &seconds);
  if (error != 0) return error;
  if (!OpenAudio()) return MCIERR_HARDWARE;
  error = kind == Kind::Sequencer ? LoadTune(*device, data, seconds) : LoadWave(*device, data);
  if (error != 0) {
    ClearSlot(*device);
    if (OpenCount == 0) CloseAudio();
    return error;
  }
  device->kind = kind;
  device->id = NewDeviceId();
  ++OpenCount;
  parms->deviceId = device->id;
  (kind == Kind::Sequencer ? MusicEverOpened : EffectEverOpened) = true;
  return 0;
}

}  // namespace

uint32_t SendMediaCommand(uint32_t deviceId, uint32_t command, uint32_t flags, void* parms) {
  if (command == MCI_OPEN) return OpenDevice(flags, static_cast<MciOpenParms*>(parms));
  Device* device = FindDevice(deviceId);
  if (device == nullptr) return MCIERR_INVALID_DEVICE_ID;
  switch (command) {
    case MCI_PLAY:
      return PlayDevice(*device, flags, static_cast<const MciPlayParms*>(parms));
    case MCI_STOP:
      Halt(*device, MCI_NOTIFY_ABORTED);
      return 0;
    case MCI_CLOSE:
      CloseDevice(*device);
      return 0;
    case MCI_CUE:
      return 0;  // everything is prepared by the open
    default:
      return MCIERR_UNRECOGNIZED_COMMAND;
  }
}

void GetMediaReport(int32_t* musicOpened, int32_t* effectOpened, char* audioDriver,
                    size_t size) {
  *musicOpened = MusicEverOpened ? 1 : 0;
  *effectOpened = EffectEverOpened ? 1 : 0;
  SDL_strlcpy(audioDriver, AudioDriverName, size);
}
