// media.cpp — the media device: every command goes to the system's Media Control Interface as
// it stands; completion notices reach the callback window as MM_MCINOTIFY.
#include <cstdio>
#include <cstring>

#include "platform/win32/win32.h"

namespace {
bool musicEverOpened = false;
bool effectEverOpened = false;
}  // namespace

void GetMediaReport(int32_t* musicOpened, int32_t* effectOpened, char* audioDriver,
                    size_t size) {
  *musicOpened = musicEverOpened ? 1 : 0;
  *effectOpened = effectEverOpened ? 1 : 0;
  snprintf(audioDriver, size, "%s", musicEverOpened || effectEverOpened ? "winmm" : "");
}

uint32_t SendMediaCommand(uint32_t deviceId, uint32_t command, uint32_t flags, void* parms) {
  if (command == MCI_OPEN) {
    auto* open = static_cast<MciOpenParms*>(parms);
    if (open == nullptr) return MCIERR_MISSING_PARAMETER;
    MCI_OPEN_PARMSA native{};
    native.dwCallback = reinterpret_cast<DWORD_PTR>(Hwnd(open->callback));
    native.lpstrDeviceType = open->deviceType;
    native.lpstrElementName = open->elementName;
    MCIERROR result = mciSendCommandA(0, MCI_OPEN, flags, reinterpret_cast<DWORD_PTR>(&native));
    if (result == 0) {
      open->deviceId = native.wDeviceID;
      const char* type = open->deviceType != nullptr ? open->deviceType : "";
      if (_stricmp(type, "sequencer") == 0) musicEverOpened = true;
      if (_stricmp(type, "waveaudio") == 0) effectEverOpened = true;
    }
    return result;
  }
  if (command == MCI_PLAY && parms != nullptr) {
    auto* play = static_cast<MciPlayParms*>(parms);
    MCI_PLAY_PARMS native{};
    native.dwCallback = reinterpret_cast<DWORD_PTR>(Hwnd(play->callback));
    native.dwFrom = play->from;
    native.dwTo = play->to;
    return mciSendCommandA(deviceId, command, flags, reinterpret_cast<DWORD_PTR>(&native));
  }
  // Stop, close, cue: sent without a parameter block, as the players send them. A notice
  // asked for without one would have no window to go to.
  if (parms == nullptr && (flags & MCI_NOTIFY) != 0) return MCIERR_MISSING_PARAMETER;
  return mciSendCommandA(deviceId, command, flags, reinterpret_cast<DWORD_PTR>(parms));
}
