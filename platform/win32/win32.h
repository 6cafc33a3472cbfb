// win32.h — what the files of the Win32 backend share: the Windows headers made to live beside
// the platform layer's own names, the window's procedures, headless runs and the last error.
// Included only by platform/win32/; no other code includes windows.h.
#pragma once

// The platform layer declares its own GetTickCount (with an adjustable base): the system's
// declaration is moved aside under another name, and the backend reads the system tick count
// through GetTickCount64, whose low 32 bits are the same count.
#define GetTickCount SystemTickCountDeclaration
#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <lzexpand.h>
#include <mmsystem.h>
#undef GetTickCount

// The platform layer names the same constants (with the same values) as typed constants and
// names three functions the way the Windows headers spell macros: the macros give way.
#undef WM_DESTROY
#undef WM_SIZE
#undef WM_SETFOCUS
#undef WM_KILLFOCUS
#undef WM_PAINT
#undef WM_CLOSE
#undef WM_QUIT
#undef WM_KEYDOWN
#undef WM_CHAR
#undef WM_MOUSEMOVE
#undef WM_LBUTTONDOWN
#undef WM_LBUTTONUP
#undef WM_LBUTTONDBLCLK
#undef WM_RBUTTONDOWN
#undef WM_RBUTTONUP
#undef WM_RBUTTONDBLCLK
#undef WM_QUERYNEWPALETTE
#undef WM_PALETTECHANGED
#undef MM_MCINOTIFY
#undef SIZE_RESTORED
#undef SIZE_MINIMIZED
#undef MK_LBUTTON
#undef MK_RBUTTON
#undef SW_SHOWNORMAL
#undef SW_SHOWMAXIMIZED
#undef SW_SHOWDEFAULT
#undef CW_USEDEFAULT
#undef CS_VREDRAW
#undef CS_HREDRAW
#undef CS_DBLCLKS
#undef CS_BYTEALIGNCLIENT
#undef WS_CAPTION
#undef WS_SYSMENU
#undef WS_MINIMIZEBOX
#undef MB_OK
#undef PC_RESERVED
#undef PC_NOCOLLAPSE
#undef MCI_OPEN
#undef MCI_CLOSE
#undef MCI_PLAY
#undef MCI_STOP
#undef MCI_CUE
#undef MCI_NOTIFY
#undef MCI_WAIT
#undef MCI_FROM
#undef MCI_OPEN_ELEMENT
#undef MCI_OPEN_TYPE
#undef MCI_NOTIFY_SUCCESSFUL
#undef MCI_NOTIFY_SUPERSEDED
#undef MCI_NOTIFY_ABORTED
#undef MCI_NOTIFY_FAILURE
#undef MCIERR_INVALID_DEVICE_ID
#undef MCIERR_UNRECOGNIZED_COMMAND
#undef MCIERR_HARDWARE
#undef MCIERR_INVALID_DEVICE_NAME
#undef MCIERR_OUT_OF_MEMORY
#undef MCIERR_MISSING_PARAMETER
#undef MCIERR_FILE_NOT_FOUND
#undef MCIERR_OUTOFRANGE
#undef MCIERR_INVALID_FILE
#undef GetProfileInt
#undef WriteProfileString
#undef GetWindowsDirectory

#include "platform/platform.h"

// The platform layer's handles are the system's own, carried as opaque pointers.
inline HWND Hwnd(WindowHandle window) { return reinterpret_cast<HWND>(window); }
inline WindowHandle HandleOf(HWND window) { return reinterpret_cast<WindowHandle>(window); }
inline HDC Hdc(ContextHandle context) { return reinterpret_cast<HDC>(context); }
inline ContextHandle HandleOf(HDC context) { return reinterpret_cast<ContextHandle>(context); }

// Keeps "what: the system's reason" (from GetLastError, or the code given) for
// GetPlatformError.
void SetPlatformError(const char* what, DWORD code = GetLastError());
// Keeps "what: reason" as given.
void SetPlatformErrorText(const char* what, const char* reason);

// The window that a request to stop closes: set at creation, cleared at destruction
// (signals.cpp).
void NoteLiveWindow(HWND window);
// A message box is open (true) or closed again: a request to stop cannot wait for the queue.
void NoteMessageBox(bool open);
// A temporary file was created (exists) or deleted, for the last resort of a forced stop.
void NoteTempFile(const char* path, bool exists);
// Which kinds of media device ever opened, and the audio system they play through ("" before
// any opened), for reports (media.cpp).
void GetMediaReport(int32_t* musicOpened, int32_t* effectOpened, char* audioDriver,
                    size_t size);

// The block last copied into a window (draw.cpp), for reading the window back: where it lies
// in the client area and the memory context and place it came from; false when nothing was
// copied into this window.
struct CopiedBlock {
  int32_t x, y, width, height;
  HDC source;
  int32_t sourceX, sourceY;
};
bool GetLastCopiedBlock(HWND window, CopiedBlock* block);

// Remembers the display the window is on (report.cpp), so that reports made after it is gone
// can still tell that display's refresh rate.
void NoteWindowMonitor(HWND window);

// Headless runs (the benchmark's runner without --window): the window is created but never
// shown; showing delivers the size and focus a shown window would get, the pointer is left
// alone and message boxes only go to the error stream. Set by TORVEX32_HEADLESS=1.
bool Headless();
// The live window of a headless run, or null.
HWND HeadlessWindow();
