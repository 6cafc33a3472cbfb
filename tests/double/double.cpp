// double.cpp — the recording double of the window, drawing, clock, profile, memory and file
// parts of the platform layer (the media device's double is media_double.cpp).
#include "tests/double/double.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>

namespace Double {

std::vector<std::string> Calls;
uint32_t Clock;
uint32_t ClockStep;
Point Cursor;
Point ClientOrigin;
Rect OuterRect;
bool RegisterFails;
bool CreateWindowFails;
bool AllocFails;
bool BitmapFails;
int32_t SystemPaletteCount;
int32_t RealizeResult;
std::string WindowsDirectory;
std::vector<Rect> Screens;
std::deque<Message> Queue;
std::map<std::string, std::map<std::string, std::map<std::string, std::string>>> Profiles;
std::function<void(WindowHandle)> OnCreate;
std::function<void(WindowHandle, int32_t)> OnShow;
std::function<void(WindowHandle)> OnMessageBox;
std::function<void()> OnEmptyQueue;
WindowProcedure Procedure;
WindowHandle Window;
bool Focused;
bool PointerConfined;
uint8_t* BitmapPixels;
std::vector<ColourQuad> BitmapColours;

namespace {
// Distinct non-null handles for the double's objects.
char windowObject, screenContext, windowContext, paintContext, memoryContext;
char paletteObjects[16];
int nextPalette;
char bitmapObject, oldBitmapObject, oldPaletteObject, arrowObject, appCursorObject, iconObject;
char instanceObject;

#ifdef _WIN32
#define TORVEX_PRINTF_CHECK gnu_printf  // MinGW's C99 printf, not the system library's
#else
#define TORVEX_PRINTF_CHECK printf
#endif
std::string Format(const char* format, ...) __attribute__((format(TORVEX_PRINTF_CHECK, 1, 2)));
std::string Format(const char* format, ...) {
  char line[512];
  va_list args;
  va_start(args, format);
  vsnprintf(line, sizeof line, format, args);
  va_end(args);
  return line;
}

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  return s;
}
}  // namespace

void Record(const std::string& line) { Calls.push_back(line); }

std::vector<std::string> CallsStartingWith(const std::string& prefix) {
  std::vector<std::string> found;
  for (const std::string& line : Calls)
    if (line.compare(0, prefix.size(), prefix) == 0) found.push_back(line);
  return found;
}

bool Called(const std::string& prefix) { return !CallsStartingWith(prefix).empty(); }

int32_t Send(uint32_t message, uintptr_t first, intptr_t second) {
  if (message == WM_SETFOCUS) Focused = true;
  if (message == WM_KILLFOCUS) Focused = false;
  if (Procedure == nullptr) return 0;
  return Procedure(Window, message, first, second);
}

int32_t StopSignal = 0;
BackendReport Report;
std::function<bool()> BlockCopyResult;
std::string PlatformError;
ScreenCheck ScreenAnswer;
MachineReport Machine;
ProcessUsage Usage;
int32_t RunnerStopSignal = 0;

void Reset() {
  Calls.clear();
  Clock = 1000;
  ClockStep = 0;
  Cursor = {100, 100};
  ClientOrigin = {41, 60};
  OuterRect = {40, 40, 40 + 514, 40 + 405};
  RegisterFails = CreateWindowFails = AllocFails = BitmapFails = false;
  SystemPaletteCount = 20;
  RealizeResult = 0;
  WindowsDirectory = "/config/torvex32";
  Screens = {{0, 0, 1024, 768}};
  Queue.clear();
  Profiles.clear();
  StopSignal = 0;
  Report = BackendReport{"Double 1.0", "dummy", "dummy", "none", 1024, 768, 24, 1, 1, 0, -1,
                         0, 0, "", "none", "", ""};
  BlockCopyResult = [] { return true; };
  PlatformError.clear();
  ScreenAnswer = ScreenCheck{ScreenMatch, 512 * 384, 0, ""};
  Machine = MachineReport{"Double OS 1", int64_t{1} << 30, "", "Double CPU", "Double 1", 2};
  Usage = ProcessUsage{0, 0};
  RunnerStopSignal = 0;
  // As the SDL backend: creation delivers nothing; showing delivers a restored size
  // notification with the creation client size (here inside a frame of 2 by 21 pixels, so the
  // window procedure corrects it), then the focus (the backend's headless drivers; under a
  // window manager the focus follows through the queue).
  OnCreate = [](WindowHandle) {};
  OnShow = [](WindowHandle, int32_t) {
    Send(WM_SIZE, SIZE_RESTORED, 512 | (365 << 16));
    Send(WM_SETFOCUS);
  };
  // As the SDL backend: a box takes the focus from the window whatever its owner (null for
  // the failure boxes) when the window has the focus or holds the pointer confined, and
  // gives it back when it closes.
  OnMessageBox = [](WindowHandle) {
    if (!Focused && !PointerConfined) return;
    Send(WM_KILLFOCUS);
    Send(WM_SETFOCUS);
  };
  OnEmptyQueue = [] {};
  Procedure = nullptr;
  Window = nullptr;
  Focused = false;
  PointerConfined = false;
  if (BitmapPixels != nullptr) free(BitmapPixels);
  BitmapPixels = nullptr;
  BitmapColours.clear();
  nextPalette = 0;
}

}  // namespace Double

using namespace Double;

// --- start-up ---------------------------------------------------------------------------

InstanceHandle GetProgramInstance() { return &instanceObject; }

uint32_t GetProgramFilePath(char* buffer, uint32_t size) {
  const char* path = "/opt/torvex32/bin/torvex32";
  if (strlen(path) + 1 > size) return 0;
  strcpy(buffer, path);
  return static_cast<uint32_t>(strlen(path));
}

void GetStartingProgramPath(const char*, char* buffer, uint32_t size) {
  if (size != 0 && GetProgramFilePath(buffer, size) == 0) buffer[0] = 0;
}

// --- windows and messages ---------------------------------------------------------------

bool RegisterWindowClass(const WindowClass& windowClass) {
  Record(Format("RegisterWindowClass %s 0x%X", windowClass.className, windowClass.style));
  if (RegisterFails) return false;
  Procedure = windowClass.procedure;
  return true;
}

IconHandle LoadProgramIcon(InstanceHandle, const char* name) {
  Record(Format("LoadProgramIcon %s", name));
  return reinterpret_cast<IconHandle>(&iconObject);
}

WindowHandle CreateMainWindow(const char* className, const char* title, uint32_t style,
                              int32_t x, int32_t y, int32_t width, int32_t height,
                              InstanceHandle) {
  Record(Format("CreateMainWindow %s %s 0x%X %d %d %d %d", className, title, style, x, y, width,
                height));
  if (CreateWindowFails) return nullptr;
  Window = reinterpret_cast<WindowHandle>(&windowObject);
  if (x != CW_USEDEFAULT) OuterRect = {x, y, x + width, y + height};
  OnCreate(Window);
  return Window;
}

void ShowMainWindow(WindowHandle, int32_t showCommand) {
  Record(Format("ShowMainWindow %d", showCommand));
  OnShow(Window, showCommand);
}

void UpdateMainWindow(WindowHandle) {
  Record("UpdateMainWindow");
  Send(WM_PAINT);
}

void DestroyMainWindow(WindowHandle) {
  Record("DestroyMainWindow");
  if (Window == nullptr) return;
  // As the SDL backend: the focus goes first, if the window had it.
  if (Focused) Send(WM_KILLFOCUS);
  Send(WM_DESTROY);
  Window = nullptr;
}

Rect GetOuterRect(WindowHandle) {
  Record("GetOuterRect");
  return OuterRect;
}

void MoveMainWindow(WindowHandle, int32_t x, int32_t y, int32_t width, int32_t height,
                    bool repaint) {
  Record(Format("MoveMainWindow %d %d %d %d %d", x, y, width, height, repaint ? 1 : 0));
  OuterRect = {x, y, x + width, y + height};
  // The frame adds 2 to the width and 21 to the height, as the creation size suggests.
  uint32_t cw = static_cast<uint32_t>(width - 2), ch = static_cast<uint32_t>(height - 21);
  Send(WM_SIZE, SIZE_RESTORED, static_cast<intptr_t>(cw | (ch << 16)));
}

Point ClientToScreen(WindowHandle, Point point) {
  Record(Format("ClientToScreen %d %d", point.x, point.y));
  return {point.x + ClientOrigin.x, point.y + ClientOrigin.y};
}

void InvalidateClient(WindowHandle, bool erase) {
  Record(Format("InvalidateClient %d", erase ? 1 : 0));
}

int32_t DefaultWindowProcedure(WindowHandle, uint32_t message, uintptr_t, intptr_t) {
  Record(Format("DefaultWindowProcedure 0x%X", message));
  if (message == WM_CLOSE) DestroyMainWindow(Window);
  return 0;
}

bool PeekWindowMessage(Message* message) {
  if (Queue.empty()) OnEmptyQueue();
  if (Queue.empty()) return false;
  *message = Queue.front();
  Queue.pop_front();
  return true;
}

void TranslateWindowMessage(const Message&) {}

int32_t DispatchWindowMessage(const Message& message) {
  if (Procedure == nullptr) return 0;
  return Procedure(message.window, message.message, message.first, message.second);
}

void PostQuit(int32_t exitCode) {
  Record(Format("PostQuit %d", exitCode));
  // As on the platform, a quit already pending takes the later exit code.
  for (Message& pending : Queue) {
    if (pending.message != WM_QUIT) continue;
    pending.first = static_cast<uintptr_t>(exitCode);
    return;
  }
  Queue.push_back({nullptr, WM_QUIT, static_cast<uintptr_t>(exitCode), 0});
}

void PostWindowMessage(WindowHandle window, uint32_t message, uintptr_t first, intptr_t second) {
  Record(Format("PostWindowMessage 0x%X %lu %ld", message, static_cast<unsigned long>(first),
                static_cast<long>(second)));
  Queue.push_back({window, message, first, second});
}

int32_t GetScreenRects(Rect* rects, int32_t capacity) {
  Record("GetScreenRects");
  int32_t count = static_cast<int32_t>(Screens.size());
  for (int32_t i = 0; i < count && i < capacity; ++i) rects[i] = Screens[i];
  return count;
}

const char* GetPlatformError() {
  if (!PlatformError.empty()) return PlatformError.c_str();
  return CreateWindowFails ? "no display (double)" : "";
}

int32_t ShowMessageBox(WindowHandle owner, const char* text, const char* caption, uint32_t type) {
  Record(Format("ShowMessageBox %s|%s|%s|%u", owner ? "owner" : "none", caption, text, type));
  OnMessageBox(owner);
  return 1;
}

// --- cursor -------------------------------------------------------------------------------

Point GetCursorPosition() {
  Record("GetCursorPosition");
  return Cursor;
}

void SetCursorPosition(int32_t x, int32_t y) {
  Record(Format("SetCursorPosition %d %d", x, y));
  Cursor = {x, y};
}

void ClipCursorTo(const Rect* rect) {
  PointerConfined = rect != nullptr;
  if (rect == nullptr)
    Record("ClipCursorTo none");
  else
    Record(Format("ClipCursorTo %d %d %d %d", rect->left, rect->top, rect->right, rect->bottom));
}

CursorHandle LoadProgramCursor(InstanceHandle, const char* name) {
  Record(Format("LoadProgramCursor %s", name));
  return reinterpret_cast<CursorHandle>(&appCursorObject);
}

CursorHandle LoadArrowCursor() {
  Record("LoadArrowCursor");
  return reinterpret_cast<CursorHandle>(&arrowObject);
}

CursorHandle SetCurrentCursor(CursorHandle cursor) {
  const char* name = cursor == nullptr                                           ? "none"
                     : cursor == reinterpret_cast<CursorHandle>(&arrowObject)     ? "arrow"
                     : cursor == reinterpret_cast<CursorHandle>(&appCursorObject) ? "app"
                                                                                  : "other";
  Record(Format("SetCurrentCursor %s", name));
  return nullptr;
}

// --- drawing ------------------------------------------------------------------------------

ContextHandle GetScreenContext() {
  Record("GetScreenContext");
  return reinterpret_cast<ContextHandle>(&screenContext);
}

ContextHandle GetWindowContext(WindowHandle) {
  Record("GetWindowContext");
  return reinterpret_cast<ContextHandle>(&windowContext);
}

void ReleaseContext(WindowHandle window, ContextHandle) {
  Record(window == nullptr ? "ReleaseContext screen" : "ReleaseContext window");
}

ContextHandle BeginPaint(WindowHandle) {
  Record("BeginPaint");
  return reinterpret_cast<ContextHandle>(&paintContext);
}

void EndPaint(WindowHandle, ContextHandle) { Record("EndPaint"); }


int32_t GetSystemPaletteEntries(ContextHandle, int32_t first, int32_t count,
                                PaletteEntry* entries) {
  Record(Format("GetSystemPaletteEntries %d %d", first, count));
  if (SystemPaletteCount == 0) return 0;
  for (int32_t i = 0; i < count; ++i) {
    int32_t index = first + i;
    int32_t s = index < 10 ? index : index >= 246 ? index - 236 : -1;
    // Report flags the framework must overwrite, to see that it does.
    entries[i] = s < 0 ? PaletteEntry{0, 0, 0, 0} : DisplayStaticColours[s];
    entries[i].flags = 0x7;
  }
  return count;
}

PaletteHandle CreatePalette(const PaletteEntry* entries, int32_t count) {
  Record(Format("CreatePalette %d %d/%d/%d/%d", count, entries[0].red, entries[0].green,
                entries[0].blue, entries[0].flags));
  return reinterpret_cast<PaletteHandle>(&paletteObjects[nextPalette++ % 16]);
}

PaletteHandle SelectPalette(ContextHandle, PaletteHandle) {
  Record("SelectPalette");
  return reinterpret_cast<PaletteHandle>(&oldPaletteObject);
}

int32_t RealizePalette(ContextHandle) {
  Record("RealizePalette");
  return RealizeResult;
}

void DeletePalette(PaletteHandle) { Record("DeletePalette"); }

ContextHandle CreateMemoryContext() {
  Record("CreateMemoryContext");
  return reinterpret_cast<ContextHandle>(&memoryContext);
}

void DeleteMemoryContext(ContextHandle) { Record("DeleteMemoryContext"); }

BitmapHandle CreateBitmapSection(ContextHandle, const BitmapHeader& header,
                                 const ColourQuad* colourTable, uint8_t** pixels) {
  Record(Format("CreateBitmapSection %d %d %u", header.width, header.height,
                static_cast<unsigned>(header.bitsPerPixel)));
  *pixels = nullptr;
  if (BitmapFails) return nullptr;
  size_t bytes = static_cast<size_t>(header.width) * static_cast<size_t>(header.height);
  if (BitmapPixels != nullptr) free(BitmapPixels);
  // Not zeroed: the platform gives whatever its allocator had.
  BitmapPixels = static_cast<uint8_t*>(malloc(bytes));
  memset(BitmapPixels, 0xCD, bytes);
  BitmapColours.assign(colourTable, colourTable + 256);
  *pixels = BitmapPixels;
  return reinterpret_cast<BitmapHandle>(&bitmapObject);
}

BitmapHandle SelectBitmap(ContextHandle, BitmapHandle bitmap) {
  Record(bitmap == reinterpret_cast<BitmapHandle>(&bitmapObject) ? "SelectBitmap frame"
                                                                 : "SelectBitmap old");
  return bitmap == reinterpret_cast<BitmapHandle>(&bitmapObject)
             ? reinterpret_cast<BitmapHandle>(&oldBitmapObject)
             : reinterpret_cast<BitmapHandle>(&bitmapObject);
}

void DeleteBitmap(BitmapHandle) {
  Record("DeleteBitmap");
  free(BitmapPixels);
  BitmapPixels = nullptr;
}

bool BlockCopy(ContextHandle, int32_t x, int32_t y, int32_t width, int32_t height, ContextHandle,
               int32_t sourceX, int32_t sourceY) {
  Record(Format("BlockCopy %d %d %d %d from %d %d", x, y, width, height, sourceX, sourceY));
  return BlockCopyResult();
}

ScreenCheck CheckWindowShowsBlock(WindowHandle window) {
  Record(Format("CheckWindowShowsBlock %s", window == Window && window != nullptr ? "main" : "other"));
  return ScreenAnswer;
}

// --- clocks -------------------------------------------------------------------------------

static uint32_t ReadClock() {
  uint32_t now = Clock;
  Clock += ClockStep;
  return now;
}

uint32_t GetTickCount() { return ReadClock(); }
uint32_t GetMultimediaTime() { return ReadClock(); }
void SetClockBase(uint32_t value) { Clock = value; }

// --- profile files ------------------------------------------------------------------------

int32_t GetProfileInt(const char* section, const char* key, int32_t defaultValue,
                      const char* path) {
  Record(Format("GetProfileInt %s %s %d %s", section, key, defaultValue, path));
  auto file = Profiles.find(path);
  if (file == Profiles.end()) return defaultValue;
  for (auto& [s, keys] : file->second) {
    if (Lower(s) != Lower(section)) continue;
    for (auto& [k, value] : keys)
      if (Lower(k) == Lower(key)) return static_cast<int32_t>(strtol(value.c_str(), nullptr, 10));
  }
  return defaultValue;
}

bool WriteProfileString(const char* section, const char* key, const char* value,
                        const char* path) {
  Record(Format("WriteProfileString %s %s %s %s", section, key, value, path));
  Profiles[path][section][key] = value;
  return true;
}

uint32_t GetWindowsDirectory(char* buffer, uint32_t size) {
  Record(Format("GetWindowsDirectory %u", size));
  if (WindowsDirectory.size() + 1 > size) return static_cast<uint32_t>(WindowsDirectory.size() + 1);
  strcpy(buffer, WindowsDirectory.c_str());
  return static_cast<uint32_t>(WindowsDirectory.size());
}

// --- memory -------------------------------------------------------------------------------

void* AllocZeroed(size_t bytes) {
  Record(Format("AllocZeroed %zu", bytes));
  if (AllocFails) return nullptr;
  return calloc(1, bytes);
}

void FreeBlock(void* block) {
  Record(block == nullptr ? "FreeBlock null" : "FreeBlock");
  free(block);
}

const char* GetPresentPath() { return "headless"; }

void GetBackendReport(BackendReport* report) {
  Record("GetBackendReport");
  *report = Report;
}

void GetMachineReport(MachineReport* report) {
  Record("GetMachineReport");
  *report = Machine;
}

void CatchStopSignals() { Record("CatchStopSignals"); }

int32_t GetStopSignal() { return StopSignal; }

// Runs: the folder is named, never made; a run is its body called in this process, on a
// share of the double's own.
namespace {
std::vector<unsigned char> runShare;
}  // namespace

uint32_t MakePrivateFolder(char* buffer, uint32_t size) {
  Record("MakePrivateFolder");
  return static_cast<uint32_t>(snprintf(buffer, size, "/tmp/torvex32-bench-double"));
}

void UsePrivateConfiguration(const char* folder) {
  Record(std::string("UsePrivateConfiguration ") + folder);
}

void ChooseRunDisplay(bool headless, const char* videoDriver, const char* present) {
  Record(std::string("ChooseRunDisplay ") + (headless ? "headless" : "window") + " '" +
         videoDriver + "' '" + present + "'");
}

void* PrepareRuns(int, char**, const char*, size_t shareBytes) {
  Record("PrepareRuns");
  runShare.assign(shareBytes, 0);
  return runShare.data();
}

void ServeRun(RunBody, size_t) { Record("ServeRun"); }

bool StartRun(RunBody body, bool last, RunEnd* end) {
  Record(std::string("StartRun") + (last ? " last" : ""));
  std::fill(runShare.begin(), runShare.end(), 0);
  *end = RunEnd{};
  end->exitCode = body(runShare.data(), last);
  end->reported = true;
  snprintf(end->description, sizeof end->description, "exit status %d", end->exitCode);
  return true;
}

void CatchRunnerStops() { Record("CatchRunnerStops"); }
int32_t GetRunnerStopSignal() { return RunnerStopSignal; }

ProcessUsage GetProcessUsage() { return Usage; }

// Every path can be written: the double has no files of its own.
WriteCheck CheckWritable(const char*) { return WriteCheck::Writable; }
