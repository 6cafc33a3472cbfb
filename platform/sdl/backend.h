// backend.h — what the files of the SDL2 backend share: the one window and its state, the
// start of SDL's video, synchronous and queued delivery of messages, drawing contexts and the
// resources compiled into the program. Included only by platform/sdl/.
#pragma once

#include <SDL.h>

#include "platform/platform.h"

// ---------------------------------------------------------------------------------------
// Video start-up and errors.

// Starts SDL's video (once; the driver may be chosen with SDL_VIDEODRIVER); false if there is
// no display, with the reason kept for GetPlatformError.
bool StartVideo();
// Keeps "what: reason" for GetPlatformError; the reason is SDL's own unless given.
void SetPlatformError(const char* what, const char* reason = nullptr);
// The video driver sends no focus of its own (dummy, offscreen): showing gives the focus.
bool DriverWithoutFocus();

// ---------------------------------------------------------------------------------------
// The one window. A handle is valid while it is the live window; messages for any other
// handle are dropped.

struct PlatformContext {
  int32_t kind;             // ContextScreen, ContextWindow or ContextMemory
  PlatformWindow* window;   // ContextWindow: whose client area
  PlatformBitmap* bitmap;   // ContextMemory: the selected bitmap section
  PlatformPalette* palette; // the selected palette (it has no visible effect)
};
constexpr int32_t ContextScreen = 0;
constexpr int32_t ContextWindow = 1;
constexpr int32_t ContextMemory = 2;

struct PlatformWindow {
  SDL_Window* sdl;
  uint32_t sdlId;
  WindowProcedure procedure;
  uint32_t classStyle;
  bool focused;    // what the procedure has been (or, queued, will be) told of the focus
  bool minimised;  // likewise of minimising
  bool invalid;    // the client area waits for WM_PAINT
  int32_t notifiedWidth, notifiedHeight;  // client size of the last WM_SIZE
  bool grabbed;    // the cursor is confined to the client area
  PlatformContext context;  // the client area's context, shared by every GetDC and BeginPaint
};

// The window if the handle is the live one, else null.
PlatformWindow* LiveWindow(WindowHandle handle);
PlatformWindow* LiveWindowById(uint32_t sdlId);
// The live window, or null.
PlatformWindow* CurrentWindow();

// Sends a message to the window's procedure at once (as the platform sends synchronously).
int32_t SendToWindow(PlatformWindow* window, uint32_t message, uintptr_t first = 0,
                     intptr_t second = 0);
// Tells the procedure of a focus change, only when it differs from what it was told last;
// queued (from native events) or sent at once (inside platform operations).
void NotifyFocus(PlatformWindow* window, bool focused, bool queued);
// Tells the procedure of its size: minimised, or restored with the client size; remembers it.
void DeliverSize(PlatformWindow* window, bool minimised, bool queued);

// ---------------------------------------------------------------------------------------
// The message ring.

// Appends a message; mouse moves replace a mouse move at the end (the platform coalesces
// them). A full ring drops the message.
void QueueMessage(WindowHandle window, uint32_t message, uintptr_t first, intptr_t second);
// Removes every queued message of the window (it is being destroyed).
void DropWindowMessages(WindowHandle window);
// Turns the pending native events into messages.
void PumpNativeEvents();
// Notes the thread that owns the window and registers the event that carries posted messages.
void StartMessageQueue();

// ---------------------------------------------------------------------------------------
// Requests to stop (signals.cpp).

// Queues WM_CLOSE for the live window once a signal has asked the program to stop; called
// each time the queue is read.
void PassStopRequest();
// A message box is open (true) or closed again: a request to stop cannot wait for the queue.
void NoteMessageBox(bool open);
// A temporary file was created (exists) or deleted, for the last resort of a forced stop
// (tempnotes.cpp); DeleteNotedTempFiles is safe inside a signal handler.
void NoteTempFile(const char* path, bool exists);
void DeleteNotedTempFiles();

// ---------------------------------------------------------------------------------------
// What the media device reports (media.cpp).

// Whether a "sequencer" and a "waveaudio" device have opened since the program started, and
// the audio driver the device opened with ("" if it never opened).
void GetMediaReport(int32_t* musicOpened, int32_t* effectOpened, char* audioDriver,
                    size_t size);

// ---------------------------------------------------------------------------------------
// Drawing into the window.

// Forgets what presenting kept for the window's surface (its size changed or it is going).
void ForgetWindowSurface(PlatformWindow* window);
// What a way of presenting did with a block: it is not this way's to show (the window system
// or the environment calls for another way, which then takes it), the block reached the window
// system, or it could not be shown (the reason kept for GetPlatformError).
enum class Presented { NotMine, Shown, Failed };
// Presents rows of palette indices (the first at source, the next stride bytes on) at (x, y)
// of an X11 window through shared memory (x11present.cpp); NotMine where that cannot be set
// up, and presenting is left to SDL's window surface.
Presented PresentX11(PlatformWindow* window, int32_t x, int32_t y, int32_t width, int32_t height,
                const uint8_t* source, ptrdiff_t stride, const uint32_t* colours);
// Lets the server finish and releases what PresentX11 and the palette set up; before the
// window goes.
void ForgetX11(PlatformWindow* window);
// How PresentX11 put the last frame on the screen: "x11-shm" (converted to the visual's
// pixels) or "x11-shm-indexed" (the indices, through the window's colormap).
const char* X11PresentPath();

// The palettised X display (x11present.cpp). ProbeX11Screen looks at the screen once SDL's x11
// driver has started, before any window: on a screen of depth 8 with a PseudoColor visual it
// has SDL put windows there and reads the static colours from the default colormap.
void ProbeX11Screen();
// Windows show palette indices through a colormap of their own.
bool X11Palettised();
// Why no window can show the frame's colours on this screen, naming its visual; "" if it can.
const char* X11Refusal();
// The system palette: the default colormap's static entries, the others as realised last.
int32_t GetX11SystemPalette(int32_t first, int32_t count, PaletteEntry* entries);
// Realises count palette entries into the system palette (its static entries stay), and into
// the window's colormap when a window is given; returns how many entries changed.
int32_t RealizeX11Palette(PlatformWindow* window, const PaletteEntry* entries, int32_t count);
// The window is about to get the focus: without a window manager, its colormap is installed
// again at the next realisation.
void NoteX11Focus(PlatformWindow* window);

// ---------------------------------------------------------------------------------------
// Resources compiled into the program (made from data/ by the build).

constexpr int32_t ResourceIcon = 1;    // pixels: colour 0..15 of IconColours, 255 transparent
constexpr int32_t ResourceCursor = 2;  // pixels: 0 transparent, 1 black, 2 white, 3 inverted

struct ProgramResource {
  const char* name;
  int32_t kind;
  int32_t width, height;
  int32_t hotX, hotY;  // cursors: the hot spot
  const uint8_t* pixels;  // width * height, top row first
};
extern const ProgramResource ProgramResources[];
extern const int32_t ProgramResourceCount;

// A new surface with the icon's picture for the window's title bar (the caller frees it), or
// null.
SDL_Surface* MakeIconSurface(IconHandle icon);
// The named resource of the kind (names compare without case), or null.
const ProgramResource* FindProgramResource(const char* name, int32_t kind);
