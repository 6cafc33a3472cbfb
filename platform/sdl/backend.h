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
// The window system neither tells a window where it is nor lets it choose (Wayland).
bool DriverWithoutPositions();

// Looks a function up in a library loaded with SDL_LoadObject (the X11 paths load Xlib at run
// time, as SDL itself does); false where the library or the function is missing.
template <typename F>
bool FindLoaded(void* library, const char* name, F& function) {
  function = reinterpret_cast<F>(library != nullptr ? SDL_LoadFunction(library, name) : nullptr);
  return function != nullptr;
}

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
  // The client area's context, shared by every GetWindowContext and BeginPaint.
  PlatformContext context;
};

// The window if the handle is the live one, else null.
PlatformWindow* LiveWindow(WindowHandle handle);
PlatformWindow* LiveWindowById(uint32_t sdlId);
// The live window, or null.
PlatformWindow* CurrentWindow();

// Sends a message to the window's procedure at once (as the platform sends synchronously).
int32_t SendToWindow(PlatformWindow* window, uint32_t message, uintptr_t first = 0,
                     intptr_t second = 0);
// Holds the pointer in the window while it is to be confined (grabbed), as far as the window
// system lets it be held now; called again when the pointer comes into the window.
void ApplyGrab(PlatformWindow* window);
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
// Gives each of count signals the handler (with sigaction's flags), except a signal that
// whoever started the process ignores, which stays ignored (for the processes it starts too).
void CatchUnlessIgnored(const int* signals, size_t count, void (*handler)(int), int flags);
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

// Remembers where the window is (report.cpp), so that reports made after it is gone can
// still tell which output it was on.
void NoteWindowPlace(SDL_Window* window);

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
// Waits until the X server has done every frame PresentX11 handed to it (before the window is
// read back); nothing when that path is not in use.
void FinishX11();

// ---------------------------------------------------------------------------------------
// Reading the window back (readback.cpp, x11readback.cpp), for CheckWindowShowsBlock.

// The block last copied into the window, as clipped to it: where it lies in the client area,
// its first palette index (top row), the step from one row to the next, and its bitmap's
// colours (0x00RRGGBB). False when nothing was copied into this window since it was made,
// resized or its bitmap deleted (draw.cpp).
struct CopiedBlock {
  int32_t x, y, width, height;
  const uint8_t* first;
  ptrdiff_t stride;
  const uint32_t* colours;
};
bool GetLastCopiedBlock(PlatformWindow* window, CopiedBlock* block);
// What a way of reading back did: the window is not this way's to read (another window system),
// it was read, or this way cannot read it (why says so).
enum class Readback { NotMine, Read, NotAvailable };
// Reads the window's client area (width by height from its top-left) from its X server, as it
// is on the screen now, into pixels 0x00RRGGBB, rows from the top; any visual: TrueColor of
// any depth through its masks, colormapped visuals through the colormap the screen shows.
// *significant receives the bits of each channel that the display keeps (0xFFFFFF; 0xF8FCF8
// for RGB565). NotMine where the window is not an X11 window.
Readback ReadBackX11(PlatformWindow* window, uint32_t* pixels, int32_t width, int32_t height,
                     uint32_t* significant, char* why, size_t whySize);

// Presents the same rows into a Wayland window through wl_shm buffers of our own, attached to
// the window's surface and committed (waylandpresent.cpp); NotMine where the window is not on
// Wayland, Failed (the reason kept) where a frame could not be committed.
Presented PresentWayland(PlatformWindow* window, int32_t x, int32_t y, int32_t width,
                         int32_t height, const uint8_t* source, ptrdiff_t stride,
                         const uint32_t* colours);
// Hears the compositor's last word on the frames out and releases what PresentWayland set up;
// before the window goes.
void ForgetWayland(PlatformWindow* window);
// Runs the handlers of what the compositor sent for presenting (buffer releases, frame
// callbacks, presentation feedback) without waiting; called each time native events are read.
void PumpWayland();
// What the compositor told the program, for reports; kept after the window has gone.
struct WaylandReport {
  int32_t used;                 // a window was presented on Wayland
  char compositor[64];          // the command name of the process at the socket's other end
  int32_t compositorPid;
  char protocols[1024];         // "interface version, ..." as the compositor offered them
  int32_t presentationOffered;  // wp_presentation was offered: the counts below are its word
  int64_t framesCommitted;      // frames attached and committed
  int64_t framesDisplayed;      // of them, put on the screen (presentation feedback)
  int64_t framesDiscarded;      // replaced before they were shown
  int64_t framesUnasked;        // committed while too many answers were outstanding
  int32_t refreshMilliHz;       // the refresh the compositor last reported, in mHz
  int64_t frameCallbacks;       // frame callbacks received
  int32_t hiddenSpells;         // times frame callbacks stopped while frames were committed
};
// The report of the last window presented on Wayland, or null.
const WaylandReport* GetWaylandReport();
// The window's client area as the Wayland compositor shows it (pixels 0x00RRGGBB, rows top
// first; *significant the bits per channel the display keeps); NotMine off Wayland.
Readback ReadBackWayland(PlatformWindow* window, uint32_t* pixels, int32_t width, int32_t height,
                         uint32_t* significant, char* why, size_t whySize);

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
