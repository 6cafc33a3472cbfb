// platform.h — the platform layer: everything the framework needs of the window system,
// the clocks, profile files, memory, temporary files and the media device, in the system's
// own terms (bytes, ints, rectangles, the window messages and device commands by value).
//
// The framework above this line is portable; below it stands exactly one backend, chosen at
// link time: the SDL2 backend (platform/sdl/) or, on Windows, the Win32 backend
// (platform/win32/) for programs, or the recording double (tests/double/) for tests that check
// the order of calls. No SDL type crosses this header.
// Everything here is called on the thread that owns the window, except PostWindowMessage,
// which the media device's audio thread also uses.
#pragma once

#include <cstddef>
#include <cstdint>

// ---------------------------------------------------------------------------------------
// Handles. Opaque to the framework; null means "none".

using InstanceHandle = void*;
struct PlatformWindow;
using WindowHandle = PlatformWindow*;
struct PlatformContext;
using ContextHandle = PlatformContext*;  // a drawing context: of the screen, a window or memory
struct PlatformPalette;
using PaletteHandle = PlatformPalette*;
struct PlatformBitmap;
using BitmapHandle = PlatformBitmap*;
struct PlatformCursor;
using CursorHandle = PlatformCursor*;
struct PlatformIcon;
using IconHandle = PlatformIcon*;

// One colour of a palette: red, green, blue and the palette flags, in this order.
struct PaletteEntry {
  uint8_t red, green, blue, flags;
};
// The twenty static colours of a 256-colour display: its system palette entries 0 to 9, then
// 246 to 255. The platform layer reports them as its system palette.
constexpr int32_t StaticColourCount = 10;  // at each end: 0 to 9 and 246 to 255
constexpr int32_t HighStaticFirst = 256 - StaticColourCount;
extern const PaletteEntry DisplayStaticColours[2 * StaticColourCount];
// The system palette of a display whose palette has been reset: the static colours at both
// ends, black between. Fills entries first to first + count - 1 (clipped at 256) and returns
// how many it filled; 0 for a range outside the palette.
int32_t ResetSystemPaletteEntries(int32_t first, int32_t count, PaletteEntry* entries);
// The 16 colours icons are drawn in (0x00RRGGBB): the static colours of a 16-colour display.
// The window's icon and the desktop entry's picture of it both use them.
extern const uint32_t IconColours[16];
constexpr uint8_t PC_RESERVED = 1;    // entry may be animated: never shared with others
constexpr uint8_t PC_NOCOLLAPSE = 4;  // entry is not mapped onto an existing colour

struct Rect {
  int32_t left, top, right, bottom;
};
struct Point {
  int32_t x, y;
};

// ---------------------------------------------------------------------------------------
// Window messages, with the values the window procedure dispatches on.

constexpr uint32_t WM_DESTROY = 0x0002;
constexpr uint32_t WM_SIZE = 0x0005;  // first: SIZE_*; second: width | height << 16 (client)
constexpr uint32_t WM_SETFOCUS = 0x0007;
constexpr uint32_t WM_KILLFOCUS = 0x0008;
constexpr uint32_t WM_PAINT = 0x000F;
constexpr uint32_t WM_CLOSE = 0x0010;
constexpr uint32_t WM_QUIT = 0x0012;  // never dispatched: it ends the message loop
constexpr uint32_t WM_KEYDOWN = 0x0100;
constexpr uint32_t WM_CHAR = 0x0102;        // first: the typed character's code
constexpr uint32_t WM_MOUSEMOVE = 0x0200;   // first: MK_* bits; second: x | y << 16 (client)
constexpr uint32_t WM_LBUTTONDOWN = 0x0201; // button messages carry the same parameters
constexpr uint32_t WM_LBUTTONUP = 0x0202;
constexpr uint32_t WM_LBUTTONDBLCLK = 0x0203;
constexpr uint32_t WM_RBUTTONDOWN = 0x0204;
constexpr uint32_t WM_RBUTTONUP = 0x0205;
constexpr uint32_t WM_RBUTTONDBLCLK = 0x0206;
constexpr uint32_t WM_QUERYNEWPALETTE = 0x030F;
constexpr uint32_t WM_PALETTECHANGED = 0x0311;  // first: the window that changed the palette
constexpr uint32_t MM_MCINOTIFY = 0x03B9;       // first: MCI_NOTIFY_*; second: device id

constexpr uintptr_t SIZE_RESTORED = 0;
constexpr uintptr_t SIZE_MINIMIZED = 1;
constexpr uintptr_t MK_LBUTTON = 0x0001;
constexpr uintptr_t MK_RBUTTON = 0x0002;

constexpr int32_t SW_SHOWNORMAL = 1;
constexpr int32_t SW_SHOWMAXIMIZED = 3;
constexpr int32_t SW_SHOWDEFAULT = 10;

constexpr int32_t CW_USEDEFAULT = INT32_MIN;  // let the platform choose the window position

// Window class styles and window styles, as the framework registers and creates its window.
constexpr uint32_t CS_VREDRAW = 0x0001;
constexpr uint32_t CS_HREDRAW = 0x0002;
constexpr uint32_t CS_DBLCLKS = 0x0008;
constexpr uint32_t CS_BYTEALIGNCLIENT = 0x1000;
constexpr uint32_t WS_CAPTION = 0x00C00000;
constexpr uint32_t WS_SYSMENU = 0x00080000;
constexpr uint32_t WS_MINIMIZEBOX = 0x00020000;

constexpr uint32_t MB_OK = 0x0000;

// A message as the queue holds it.
struct Message {
  WindowHandle window;
  uint32_t message;
  uintptr_t first;
  intptr_t second;
};

// The window procedure: called for every message of the window, from DispatchWindowMessage
// and, nested, from the operations below that deliver messages synchronously.
using WindowProcedure = int32_t (*)(WindowHandle window, uint32_t message, uintptr_t first,
                                    intptr_t second);

struct WindowClass {
  uint32_t style;
  WindowProcedure procedure;
  InstanceHandle instance;
  IconHandle icon;
  const char* className;
};

// ---------------------------------------------------------------------------------------
// Start-up and the program's own module.

// The instance handle of the running program.
InstanceHandle GetProgramInstance();
// Full path of the running program's file into buffer (size bytes, terminator included);
// returns its length, or 0 if it cannot be had or does not fit.
uint32_t GetProgramFilePath(char* buffer, uint32_t size);
// The path element 0 of the program's argument vector gets: GetProgramFilePath's, or where the
// system cannot say, what the backend makes of argument0 (main()'s argv[0], may be null).
// Empty when neither can be had.
void GetStartingProgramPath(const char* argument0, char* buffer, uint32_t size);

// The framework's start-up (frame/), which the backends' main() and programs with a main() of
// their own call once their command line is answered: catches the system's requests to stop,
// builds the framework's argument vector from argv (element 0 the full path of the program's
// own file) and runs the framework. Returns the exit code, 128 + the signal's number for a run
// stopped by one. The entry library's main() calls it after answering --version; a program
// with options of its own calls it from its own main() and leaves the entry library out.
int StartProgram(int argc, char** argv);

// ---------------------------------------------------------------------------------------
// Windows, messages and the message queue.

// Registers the window class; false on failure.
bool RegisterWindowClass(const WindowClass& windowClass);
// Loads the named icon of the program; null if there is none.
IconHandle LoadProgramIcon(InstanceHandle instance, const char* name);
// Creates the top-level window, not yet visible, with its outer top-left corner at (x, y)
// (CW_USEDEFAULT: the platform's choice) and the given outer size. The messages that creation
// sends reach the class's procedure before it returns. Null on failure.
WindowHandle CreateMainWindow(const char* className, const char* title, uint32_t style,
                              int32_t x, int32_t y, int32_t width, int32_t height,
                              InstanceHandle instance);
// Shows the window, delivering size, activation and focus messages before returning.
void ShowMainWindow(WindowHandle window, int32_t showCommand);
// Paints the client area at once (delivers WM_PAINT before returning).
void UpdateMainWindow(WindowHandle window);
// Destroys the window: delivers WM_KILLFOCUS (if it had the focus), then WM_DESTROY, before
// returning. The handle is invalid afterwards.
void DestroyMainWindow(WindowHandle window);
// The window's outer rectangle (frame included) in screen coordinates. Where the window system
// tells a window nothing of its position (Wayland), the position it was created at: a
// remembered position is then written back as it was read.
Rect GetOuterRect(WindowHandle window);
// Moves and sizes the window (outer rectangle); delivers the resulting WM_SIZE before
// returning; repaints when asked.
void MoveMainWindow(WindowHandle window, int32_t x, int32_t y, int32_t width, int32_t height,
                    bool repaint);
// Converts one point from client to screen coordinates.
Point ClientToScreen(WindowHandle window, Point point);
// Marks the whole client area for repainting; a WM_PAINT follows through the queue.
void InvalidateClient(WindowHandle window, bool erase);
// The platform's default handling of a message (closing destroys the window, and so on).
int32_t DefaultWindowProcedure(WindowHandle window, uint32_t message, uintptr_t first,
                               intptr_t second);

// Takes the next message of the thread without waiting; false when the queue is empty.
bool PeekWindowMessage(Message* message);
// Turns key presses into character messages (where the backend needs it).
void TranslateWindowMessage(const Message& message);
// Delivers the message to its window's procedure and returns the procedure's result.
int32_t DispatchWindowMessage(const Message& message);
// Posts WM_QUIT with the exit code; while one is pending, a later call replaces its code.
void PostQuit(int32_t exitCode);
// Posts a message to the window's queue; safe to call from any thread.
void PostWindowMessage(WindowHandle window, uint32_t message, uintptr_t first, intptr_t second);

// The screens' rectangles in screen coordinates, at most capacity of them; returns how many
// there are (0 when the display cannot be had, or where windows cannot be placed by position,
// as on Wayland).
int32_t GetScreenRects(Rect* rects, int32_t capacity);
// Why the last platform operation that failed did so, in words ("" when nothing failed).
const char* GetPlatformError();

// A modal message box with one OK button: returns when it is closed. While it is open the
// program's window loses the focus and gets it back afterwards, whether it owns the box or not
// (an ownerless box still takes the focus). Returns 0 if it could not be shown.
int32_t ShowMessageBox(WindowHandle owner, const char* text, const char* caption,
                       uint32_t type);

// ---------------------------------------------------------------------------------------
// Cursor.

Point GetCursorPosition();
void SetCursorPosition(int32_t x, int32_t y);
// Confines the cursor to the screen rectangle (right and bottom inclusive of the edge the
// framework clamps to); null frees it.
void ClipCursorTo(const Rect* rect);
// Loads the named cursor of the program; null if there is none.
CursorHandle LoadProgramCursor(InstanceHandle instance, const char* name);
// The system's standard arrow.
CursorHandle LoadArrowCursor();
// Makes the cursor the current one (null: no cursor image); returns the previous one.
CursorHandle SetCurrentCursor(CursorHandle cursor);

// ---------------------------------------------------------------------------------------
// Drawing: contexts, palettes and the 8-bit bitmap section the frame is composed in.

// The screen's context, and a window's client-area context; release each when done.
ContextHandle GetScreenContext();
ContextHandle GetWindowContext(WindowHandle window);
void ReleaseContext(WindowHandle window, ContextHandle context);  // window null: the screen
ContextHandle BeginPaint(WindowHandle window);
void EndPaint(WindowHandle window, ContextHandle context);
// Copies count entries of the display's system palette from first on; returns how many were
// copied (0 on a display without a palette of its own).
int32_t GetSystemPaletteEntries(ContextHandle context, int32_t first, int32_t count,
                                PaletteEntry* entries);
PaletteHandle CreatePalette(const PaletteEntry* entries, int32_t count);
// Selects the palette into the context (always as a foreground palette); returns the previous.
PaletteHandle SelectPalette(ContextHandle context, PaletteHandle palette);
// Maps the selected palette into the system palette; returns how many entries changed.
int32_t RealizePalette(ContextHandle context);
void DeletePalette(PaletteHandle palette);
// A memory context compatible with the screen.
ContextHandle CreateMemoryContext();
void DeleteMemoryContext(ContextHandle context);

// An 8-bit, bottom-up bitmap section: width by height bytes, rows of width bytes (a multiple
// of 4), the colour table given as 256 entries of (blue, green, red, 0).
struct BitmapHeader {
  int32_t width;
  int32_t height;  // positive: rows stored bottom-up
  uint16_t planes;
  uint16_t bitsPerPixel;
  uint32_t compression;  // 0: uncompressed RGB
};
struct ColourQuad {
  uint8_t blue, green, red, reserved;
};
// Creates the bitmap on the context's device; *pixels receives its pixel memory, which the
// platform allocates and frees with the bitmap. Null on failure.
BitmapHandle CreateBitmapSection(ContextHandle context, const BitmapHeader& header,
                                 const ColourQuad* colourTable, uint8_t** pixels);
// Selects the bitmap into a memory context; returns the one it replaces.
BitmapHandle SelectBitmap(ContextHandle context, BitmapHandle bitmap);
void DeleteBitmap(BitmapHandle bitmap);
// Copies width by height pixels from (sourceX, sourceY) of the source context's bitmap (y
// counted from the top screen row) to (x, y) of the destination, turning palette indices into
// screen colours through the bitmap's colour table. Into a window, this is one upload.
// Returns whether the block was handed to the window system (true too when nothing of it lies
// in the window); false when it could not be shown, with the reason for GetPlatformError. A
// frame that was not handed over was not seen: callers must not count it.
bool BlockCopy(ContextHandle destination, int32_t x, int32_t y, int32_t width, int32_t height,
               ContextHandle source, int32_t sourceX, int32_t sourceY);

// ---------------------------------------------------------------------------------------
// What the window shows: the client area read back from the window system and compared with
// the block last copied into it (the runner's check that its frames reached the screen).

enum ScreenCheckResult : int32_t {
  ScreenMatch,         // every pixel of the block shows its colour
  ScreenMismatch,      // some pixels show another colour: differing says how many
  ScreenNotAvailable,  // the window cannot be read back: reason says why
};
struct ScreenCheck {
  ScreenCheckResult result;
  int64_t compared;   // pixels compared: the block's, as far as it lies in the client area
  int64_t differing;  // of those, the pixels that show another colour
  char reason[192];   // not available: why not; mismatch: the first differing pixel and both colours
};
// Reads the window's client area back from the window system as it holds it now and compares
// the part that the last BlockCopy into the window covered with that block, turned into
// colours through the colour table of the bitmap it came from; that bitmap must not have been
// drawn into since. Where the display keeps fewer than 8 bits of a colour channel, the channel
// matches when it lies within one of the display's steps of the colour (displays round or cut).
// Not available where nothing can be read back: a video driver without a screen, a hidden or
// minimised window, a window system that offers no way, or no block copied into the window
// since it was made or resized. Reads the whole client area: never call it inside a timed frame.
ScreenCheck CheckWindowShowsBlock(WindowHandle window);
// The comparison itself, for every backend: screen holds height rows of width pixels
// 0x00RRGGBB as read back (screenStride bytes apart), indices the block's palette indices
// (indexStride bytes apart, negative for a bottom-up bitmap), colours its 256 colours as
// 0x00RRGGBB; significant has the bits of each channel that the display keeps (0xFFFFFF; 0xF8FCF8
// for 5-6-5). Fills result, compared, differing and, on a mismatch, reason with the first
// differing pixel, counted from (originX, originY), the block's place in the window.
void CompareReadBack(ScreenCheck* check, const uint32_t* screen, ptrdiff_t screenStride,
                     const uint8_t* indices, ptrdiff_t indexStride, int32_t width,
                     int32_t height, const uint32_t* colours, uint32_t significant,
                     int32_t originX, int32_t originY);
// Fills check as not available, with the reason formatted as printf does.
void ScreenNotReadable(ScreenCheck* check, const char* format, ...);

// ---------------------------------------------------------------------------------------
// Pixel conversion for backends whose screens have no palette (platform/convert.cpp).

// Turns height rows of width palette indices into 32-bit pixels through table (256 entries
// in the screen's pixel format). Strides are in bytes; the source's is negative for a
// bottom-up bitmap. Exact for every table; the method is chosen once for this machine.
void ConvertIndexedRows(uint32_t* out, ptrdiff_t outStride, const uint8_t* in,
                        ptrdiff_t inStride, int32_t width, int32_t height,
                        const uint32_t* table);
// The same conversion for memory that another process reads next (a shared image that the
// display server copies out): each row is converted into a small buffer that stays in this
// core's cache and is then written out with stores that bypass the cache, so writing the
// frame never pulls back lines that the reader last held, and the reader finds the frame in
// memory. Where the processor has no such stores it is ConvertIndexedRows.
void StreamIndexedRows(uint32_t* out, ptrdiff_t outStride, const uint8_t* in,
                       ptrdiff_t inStride, int32_t width, int32_t height,
                       const uint32_t* table);
// The 16-bit form for screens of 15 or 16 bits: table receives the 256 colours (0x00RRGGBB) as
// pixels of the given channel masks, each channel cut to the mask's width (the display's own
// rounding: the top bits of each 8-bit component), and ConvertIndexedRows16 turns indices into
// such pixels, written past the cache where the processor can (for memory that the display
// server reads next, as StreamIndexedRows). Masks of at most 8 bits each, within 16 bits.
void MakeMaskedTable16(const uint32_t* colours, uint32_t redMask, uint32_t greenMask,
                       uint32_t blueMask, uint16_t* table);
void ConvertIndexedRows16(uint16_t* out, ptrdiff_t outStride, const uint8_t* in,
                          ptrdiff_t inStride, int32_t width, int32_t height,
                          const uint16_t* table);
// For screens with a palette of their own: the indices are the pixels, copied row by row.
void CopyIndexedRows(uint8_t* out, ptrdiff_t outStride, const uint8_t* in, ptrdiff_t inStride,
                     int32_t width, int32_t height);
// The ways of converting. Unless one is chosen, ConvertIndexedRows uses the fastest that this
// machine has, measured once at its first use.
enum ConvertMethod : int32_t {
  ConvertPortable,
  ConvertGather,
  ConvertGather512,
  ConvertByteLookup,
  ConvertAssemble,
  ConvertLastMethod = ConvertAssemble
};
// Whether this machine can run the method; choosing one (tests, benchmarks) returns false if not.
bool ConvertMethodAvailable(ConvertMethod method);
bool ChooseConvertMethod(ConvertMethod method);
ConvertMethod CurrentConvertMethod();
const char* ConvertMethodName(ConvertMethod method);

// How the last block copied into a window reached the screen, for reports: "x11-shm" (an X
// server's shared-memory image, converted to its pixels), "x11-shm-indexed" (the same with
// the indices themselves, on a palettised display), "wayland-shm" (a Wayland compositor's
// shared-memory buffer), "sdl-surface" (SDL's window surface), "headless" (a video driver
// without a screen) or "gdi" (a native device context); "none" before the first copy.
const char* GetPresentPath();

// Facts about the backend and the machine's display for reports: plain texts ("" when not
// known) and numbers (0 when not known), so that every backend fills the same record.
struct BackendReport {
  char libraryVersion[32];   // the window system library and its version, "SDL 2.26.5"
  char videoDriver[32];      // the video driver in use ("x11", "dummy", ...)
  char audioDriver[32];      // the audio driver the media device opened ("" if none)
  char displayServer[128];   // the display server's vendor and release, or "none"
  int32_t screenWidth, screenHeight, screenDepth;  // the screen the window is on
  int32_t musicOpened;       // 1 once a "sequencer" device opened
  int32_t effectOpened;      // 1 once a "waveaudio" device opened
  // What a compositor that reports on frames (Wayland's presentation-time) said of them:
  // framesDisplayed -1 where no such report was had.
  int64_t framesCommitted;   // frames handed to the compositor
  int64_t framesDisplayed;   // of them, put on the screen
  int64_t framesDiscarded;   // of them, replaced before they reached the screen
  int32_t refreshMilliHz;    // refresh rate of the output the window was on, in mHz (0 unknown)
  char displayProtocols[1024];  // the protocols the display server offered, with versions
  // The desktop the window was on ("" and 0 where it cannot be found, never a guess):
  char sessionType[16];      // "x11", "wayland" or "windows"; "none" without a window system
  char compositor[128];      // the window manager or compositor, by the name it gives itself
  char compositorVersion[64];  // its version, where it publishes one
};
// Fills the report; call after the main window has been created (while the program runs or
// after it ends: the desktop facts then describe where the window was when it went).
void GetBackendReport(BackendReport* report);

// Facts about the machine for reports, as its operating system tells them: "" and 0 where it
// does not, never a guess.
struct MachineReport {
  char osRelease[128];       // the system's release: "Debian GNU/Linux 12 (bookworm)",
                             // "Windows 10.0.19045"
  int64_t memoryBytes;       // total physical memory
  char cpuGovernor[64];      // the CPU frequency governor ("performance", "schedutil"); several
                             // distinct ones are listed with commas
  char cpuModel[128];        // the processor's name, as the system gives it
  char kernel[144];          // the system's kernel and its release: "Linux 6.1.0-13-amd64";
                             // "Windows" (its version is in osRelease)
  int32_t cores;             // processors online
};
// Fills the report; callable at any time, with or without a window.
void GetMachineReport(MachineReport* report);

// ---------------------------------------------------------------------------------------
// Stopping when the system asks (interrupt, termination, hang-up, quit).

// Makes those requests end the program through its normal shut-down: the main window is
// closed as the user would close it (or, if it does not exist yet, as soon as it does), so
// that the sound players close and delete their temporary files. A broken pipe no longer ends
// the program; writes to it fail instead. Call once, first thing in main().
void CatchStopSignals();
// The number of the first signal that asked the program to stop; 0 while none did.
int32_t GetStopSignal();

// ---------------------------------------------------------------------------------------
// Measured runs, each in a process of its own: a runner starts this same program afresh for
// every run and waits for it, keeping the user's settings out of the runs' way. What a run
// reports goes through a share of fixed size that the run fills in while it goes and the
// runner reads once the run has ended, so that a run killed or stopped keeps what it wrote.

// The runner's private folder, made afresh (no one else's) in the folder for temporary files
// ($TMPDIR, else /tmp; on Windows the system's); its path into buffer. Returns the path's
// length, or 0 if it cannot be made (errno says why).
uint32_t MakePrivateFolder(char* buffer, uint32_t size);
// Makes the runs started from now on keep their configuration in folder, under a name where
// the profile file can be neither read nor written (not even by the superuser): every run opens
// its window at the same default place and none writes a profile. The runs' temporary files go
// into folder too where the backend chooses where they go.
void UsePrivateConfiguration(const char* folder);
// How the runs started from now on show their frames: headless (composed and presented into a
// window on no screen, the sound played into no device) or in real windows. videoDriver: the
// window system's driver where the backend offers several ("" its own choice; given, it rules
// the sound too). present: the way to the screen to try first, as TORVEX_PRESENT ("" the
// backend's choice; a backend with only one way ignores it).
void ChooseRunDisplay(bool headless, const char* videoDriver, const char* present);

// The body of one run, called in the run's own process after it catches the stop requests
// (CatchStopSignals): fills share in as the run goes (all zero when called) and returns the
// process's exit code. last: the run may be the runner's last.
using RunBody = int32_t (*)(void* share, bool last);
// How a run ended.
struct RunEnd {
  int32_t exitCode;       // the code it exited with; 0 when a signal killed it
  int32_t signal;         // the signal that killed it, or 0
  bool reported;          // its body returned: the share holds all it had to say
  char description[64];   // "exit status 1", "killed by Terminated"
};
// In the runner, once, before the first run: makes the share of shareBytes (the runner's view
// of it is returned; null with errno set if it cannot be had) and notes how a run is started:
// with the runner's own command line (argc, argv), what it leaves in folder (the private one).
void* PrepareRuns(int argc, char** argv, const char* folder, size_t shareBytes);
// In every process of the runner's program, once its arguments are read and before anything
// else: in a process started as a run, runs body on a share of shareBytes (as PrepareRuns is
// given) and ends the process with its exit code, never returning; anywhere else returns at
// once.
void ServeRun(RunBody body, size_t shareBytes);
// Starts one run of body and waits for its end, which end describes; false (with the reason
// on the standard error) if no run could be started. The share is zeroed first. A stop request
// that reaches the runner (CatchRunnerStops) at any moment, starting included, reaches the run,
// which ends through its normal shut-down with its share as far as it got; a runner killed
// outright leaves no run behind, it stops by itself.
bool StartRun(RunBody body, bool last, RunEnd* end);
// In the runner, first thing: notes every request to stop (those of CatchStopSignals, and
// those whose default would end the runner on the spot and leave its private folder behind)
// and passes it on to the run in progress; a wait of the runner's (a write to a pipe nobody
// reads, say) is broken off by one. A broken pipe no longer ends the runner. A request ignored
// by whoever started the runner stays ignored, for the runs too.
void CatchRunnerStops();
// The first signal that asked the runner to stop; 0 while none did.
int32_t GetRunnerStopSignal();

// The process's processor time (user and system, in ns) and its context switches (voluntary
// and not) so far; -1 each where the system does not tell them.
struct ProcessUsage {
  int64_t cpuNs;
  int64_t switches;
};
ProcessUsage GetProcessUsage();

// Whether an existing file or folder can be written now. A named pipe can while something
// reads it: a write to one that nobody reads would wait for ever.
enum class WriteCheck { Writable, NotWritable, PipeWithoutReader };  // NotWritable: see errno
WriteCheck CheckWritable(const char* path);

// ---------------------------------------------------------------------------------------
// Clocks: milliseconds since an arbitrary start, unsigned 32-bit, wrapping.

uint32_t GetTickCount();           // the system tick count
uint32_t GetMultimediaTime();      // the multimedia timer
// Makes both clocks read value now (tests start them just before the 2^32 wrap).
void SetClockBase(uint32_t value);
// A monotonic clock in nanoseconds, for measuring the phases of a frame.
int64_t GetPreciseTimeNs();

// ---------------------------------------------------------------------------------------
// Profile (initialisation) files: names compare without case; a missing file, section or key
// reads as the default; writing replaces the value, creates what is missing, keeps every other
// section, key and comment, and replaces the file atomically. A read-only file is left alone
// and the write returns false. A byte-order mark at the start of a file is read past.

int32_t GetProfileInt(const char* section, const char* key, int32_t defaultValue,
                      const char* path);
bool WriteProfileString(const char* section, const char* key, const char* value,
                        const char* path);
// The folder that stands for the "Windows directory": the user's configuration folder for the
// program, created when missing. Writes it without a trailing separator into buffer; returns
// its length, or the size needed if it does not fit (then nothing usable is written).
uint32_t GetWindowsDirectory(char* buffer, uint32_t size);
// The path separator the platform's directories use.
#ifdef _WIN32
constexpr char PathSeparator = '\\';
#else
constexpr char PathSeparator = '/';
#endif

// ---------------------------------------------------------------------------------------
// Memory: one zero-filled block; null on failure.

void* AllocZeroed(size_t bytes);
void FreeBlock(void* block);

// ---------------------------------------------------------------------------------------
// Files: temporary files, LZ expansion, removal.

// The folder for temporary files, with a trailing separator; returns the length (0 on error).
uint32_t GetTempFolder(char* buffer, uint32_t size);
// Creates a new, empty file with a name no other process can predict or have created, in
// folder, whose name starts with prefix; writes its path into path (256 bytes). 0 on success.
uint32_t CreateTempFile(const char* folder, const char* prefix, char* path);
// The largest file the media device plays, and so the most ExpandFile writes.
constexpr int64_t MaxMediaFileBytes = int64_t{64} << 20;
// Expands source (in the LZ expansion library's compressed format) into destination, or copies
// it unchanged when it is not compressed; returns the number of bytes written, or a negative
// value on error (a source that is not a regular file or cannot be read, truncated or corrupt
// data, an unwritable destination, or more than MaxMediaFileBytes, where writing stops). After
// an error the destination is left empty.
int64_t ExpandFile(const char* source, const char* destination);
bool DeleteFileAt(const char* path);

// ---------------------------------------------------------------------------------------
// The media device: commands on devices opened on files ("sequencer": MIDI; "waveaudio":
// WAV). Completion notices arrive as MM_MCINOTIFY in the callback window's queue.

constexpr uint32_t MCI_OPEN = 0x0803;
constexpr uint32_t MCI_CLOSE = 0x0804;
constexpr uint32_t MCI_PLAY = 0x0806;
constexpr uint32_t MCI_STOP = 0x0808;
constexpr uint32_t MCI_CUE = 0x0830;
constexpr uint32_t MCI_NOTIFY = 0x1;
constexpr uint32_t MCI_WAIT = 0x2;
constexpr uint32_t MCI_FROM = 0x4;
constexpr uint32_t MCI_OPEN_ELEMENT = 0x200;
constexpr uint32_t MCI_OPEN_TYPE = 0x2000;
constexpr uintptr_t MCI_NOTIFY_SUCCESSFUL = 1;
constexpr uintptr_t MCI_NOTIFY_SUPERSEDED = 2;
constexpr uintptr_t MCI_NOTIFY_ABORTED = 4;
constexpr uintptr_t MCI_NOTIFY_FAILURE = 8;

// The device's error codes (what SendMediaCommand and the players' Open return).
constexpr uint32_t MCIERR_INVALID_DEVICE_ID = 257;     // no open device has this identifier
constexpr uint32_t MCIERR_UNRECOGNIZED_COMMAND = 261;
constexpr uint32_t MCIERR_HARDWARE = 262;              // no audio device: the program runs silent
constexpr uint32_t MCIERR_INVALID_DEVICE_NAME = 263;   // a device type other than the two
constexpr uint32_t MCIERR_OUT_OF_MEMORY = 264;         // too many open devices
constexpr uint32_t MCIERR_MISSING_PARAMETER = 273;     // flags or parameter block incomplete
constexpr uint32_t MCIERR_FILE_NOT_FOUND = 275;        // the file cannot be opened
constexpr uint32_t MCIERR_OUTOFRANGE = 282;            // a play from other than the beginning
constexpr uint32_t MCIERR_INVALID_FILE = 296;          // unreadable, truncated or invalid data

struct MciOpenParms {
  WindowHandle callback;
  uint32_t deviceId;       // out: the opened device, never 0
  const char* deviceType;  // "sequencer" or "waveaudio"
  const char* elementName; // the file
};
struct MciPlayParms {
  WindowHandle callback;
  uint32_t from;  // milliseconds; 0 is the beginning
  uint32_t to;
};

// Sends a command to a device (MCI_OPEN to device 0); returns 0 or a non-zero error code.
uint32_t SendMediaCommand(uint32_t deviceId, uint32_t command, uint32_t flags, void* parms);
