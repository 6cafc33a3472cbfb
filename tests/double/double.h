// double.h — the recording double of the platform layer: every call is appended to a log
// as one line ("SetCursorPosition 10 394"), and tests set what the platform reports.
// Linked in place of the SDL backend by tests that check the order of calls.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace Double {

// Every platform call in order, one line each.
extern std::vector<std::string> Calls;
void Record(const std::string& line);
// Lines of Calls that start with prefix, in order.
std::vector<std::string> CallsStartingWith(const std::string& prefix);
bool Called(const std::string& prefix);

// What the platform reports; Reset() restores the defaults.
extern uint32_t Clock;               // GetTickCount and GetMultimediaTime
extern uint32_t ClockStep;           // added to Clock after every read
extern Point Cursor;                 // GetCursorPosition; SetCursorPosition writes it
extern Point ClientOrigin;           // screen position of the client area's top-left
extern Rect OuterRect;               // GetOuterRect; MoveMainWindow writes it
extern bool RegisterFails;           // RegisterWindowClass returns false
extern bool CreateWindowFails;       // CreateMainWindow returns null
extern bool AllocFails;              // AllocZeroed returns null
extern bool BitmapFails;             // CreateBitmapSection returns null
extern int32_t SystemPaletteCount;   // entries GetSystemPaletteEntries reports (0 or 20)
extern int32_t RealizeResult;        // what RealizePalette returns
extern std::string WindowsDirectory; // GetWindowsDirectory
extern std::vector<Rect> Screens;    // GetScreenRects; one 1024 by 768 screen by default
extern std::deque<Message> Queue;    // PeekWindowMessage takes from here
extern int32_t StopSignal;           // GetStopSignal; 0 by default
extern BackendReport Report;         // GetBackendReport; a headless SDL-like machine
// What BlockCopy returns for each copy (true: handed to the window system); always true by
// default. A false sets PlatformError's text for GetPlatformError.
extern std::function<bool()> BlockCopyResult;
extern std::string PlatformError;    // GetPlatformError while set (else the double's own)
extern ScreenCheck ScreenAnswer;     // what CheckWindowShowsBlock returns; a match by default
extern MachineReport Machine;        // GetMachineReport; 1 GiB, no governor known
extern ProcessUsage Usage;           // GetProcessUsage; nothing spent by default
extern int32_t RunnerStopSignal;     // GetRunnerStopSignal; 0 by default
// Profile files in memory: path -> section -> key -> value (names as written).
extern std::map<std::string, std::map<std::string, std::map<std::string, std::string>>> Profiles;
// Called by CreateMainWindow / ShowMainWindow / DestroyMainWindow / MoveMainWindow /
// ShowMessageBox to deliver the messages the real platform would send synchronously. The
// defaults deliver what the SDL backend delivers (see double.cpp).
extern std::function<void(WindowHandle)> OnCreate;
extern std::function<void(WindowHandle, int32_t)> OnShow;
extern std::function<void(WindowHandle)> OnMessageBox;  // receives the box's owner (or null)
// Called by PeekWindowMessage each time it finds the queue empty, before it says so: tests
// post messages there at chosen clock readings (e.g. WM_QUIT to end a main loop).
extern std::function<void()> OnEmptyQueue;
extern WindowProcedure Procedure;    // the registered window procedure
extern WindowHandle Window;          // the window CreateMainWindow returned (or null)
extern bool Focused;                 // the window was last sent WM_SETFOCUS (not WM_KILLFOCUS)
extern bool PointerConfined;         // the last ClipCursorTo confined the pointer
extern uint8_t* BitmapPixels;        // the pixel memory of the last bitmap section
extern std::vector<ColourQuad> BitmapColours;  // its colour table

// Restores every default and clears the log, the queue and the profiles.
void Reset();
// Sends a message to the registered procedure, as the platform does synchronously; focus
// messages also set Focused.
int32_t Send(uint32_t message, uintptr_t first = 0, intptr_t second = 0);

}  // namespace Double
