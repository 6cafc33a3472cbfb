// signals.cpp — the system's requests to stop: Ctrl+C and Ctrl+Break on the console, and the
// console window closed, the user logging off or the system shutting down. The handler runs
// on a thread of its own (the system starts it): it notes the request and posts WM_CLOSE to the
// main window, so the program ends through its normal shut-down and its temporary files go with
// it. Before the window exists, the request waits for it.
//
// Two cases cannot wait for the queue: a message box runs the system's own modal loop, and a
// second request means the first one did not get through. Then the handler itself deletes the
// temporary files still noted here and ends the process at once.
#include <csignal>
#include <cstring>

#include "platform/win32/win32.h"

namespace {

volatile LONG stopSignal = 0;  // the first request, as the signal number it stands for
volatile LONG stopPassed = 0;  // WM_CLOSE went to the window for the request
volatile LONG boxOpen = 0;     // a message box runs its modal loop
HWND volatile liveWindow = nullptr;

// A slot's path is written before the slot is marked used, so the handler never reads half a
// path.
constexpr int TempSlots = 8;
char tempPaths[TempSlots][MAX_PATH];
volatile LONG tempUsed[TempSlots];

[[noreturn]] void EndAtOnce(LONG signal) {
  for (int i = 0; i < TempSlots; ++i)
    if (tempUsed[i] != 0) DeleteFileA(tempPaths[i]);
  ExitProcess(128 + static_cast<UINT>(signal));
}

void PassRequest() {
  HWND window = liveWindow;
  if (window == nullptr || stopSignal == 0) return;
  if (InterlockedExchange(&stopPassed, 1) == 0) PostMessageA(window, WM_CLOSE, 0, 0);
}

BOOL WINAPI OnConsoleControl(DWORD event) {
  LONG signal = event == CTRL_C_EVENT       ? SIGINT
                : event == CTRL_BREAK_EVENT ? SIGBREAK
                : event == CTRL_CLOSE_EVENT ? 1  // the console went away: a hang-up
                                            : SIGTERM;
  if (InterlockedCompareExchange(&stopSignal, signal, 0) != 0) EndAtOnce(stopSignal);
  if (boxOpen != 0) EndAtOnce(signal);
  PassRequest();
  // For a closing console, logging off and shutting down, the system ends the process as soon
  // as this returns: give the normal shut-down the time the system allows (5 s) to finish first.
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) Sleep(5000);
  return TRUE;
}

}  // namespace

void CatchStopSignals() {
  // A program started with Ctrl+C ignored (a process group of its own, as a background job
  // is) keeps ignoring it: the system then calls no handler for it.
  SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

int32_t GetStopSignal() { return stopSignal; }

void NoteLiveWindow(HWND window) {
  liveWindow = window;
  PassRequest();  // a request that came before the window
}

void NoteMessageBox(bool open) {
  InterlockedExchange(&boxOpen, open ? 1 : 0);
  if (open && stopSignal != 0) EndAtOnce(stopSignal);  // the request came just before the box
}

void NoteTempFile(const char* path, bool exists) {
  for (int i = 0; i < TempSlots; ++i) {
    if (exists && tempUsed[i] == 0) {
      strncpy(tempPaths[i], path, sizeof tempPaths[i] - 1);
      tempPaths[i][sizeof tempPaths[i] - 1] = 0;
      InterlockedExchange(&tempUsed[i], 1);
      return;
    }
    if (!exists && tempUsed[i] != 0 && strcmp(tempPaths[i], path) == 0) {
      InterlockedExchange(&tempUsed[i], 0);
      return;
    }
  }
}
