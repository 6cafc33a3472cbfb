// testapp.cpp — a small application on the real framework for the end-to-end tests: it fills
// the FrameBuffer with a known pattern, presents it on every tick, counts ticks and logs every
// hook call (one line each, flushed) to the file named by TESTAPP_LOG.
//
// A left click (while running) shows a message box "Test box" and logs when it returns.
// A right click (while running) moves to the next pattern and the next ViewportShift and
// writes the shown frame to TESTAPP_DUMP: ViewportShift (4 bytes), FrameColours (256 entries
// of red, green, blue, flags) and the FrameBuffer (516 by 384 bytes, rows bottom-up).
// Settings from the environment: TESTAPP_TICK (TickInterval, default 10), TESTAPP_CLOCK_BASE
// (where the clocks start), TESTAPP_NO_INI (no initialisation file), TESTAPP_BURST (a right
// click presents this many patterns in a row, each the next one, and dumps the last; default
// 1), TESTAPP_SOLID (every tick presents a frame of one colour, 56 and 21 in turn),
// TESTAPP_BOX_OWNERLESS (the left click's box has no owner window). After OnStart and after
// each right click the log names how frames reach the screen ("path x11-shm"). The tick count
// is logged every 500 ticks, or every TESTAPP_LOG_EVERY. The initialisation file is
// "TESTAPP.INI" in the platform's Windows directory.
#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "frame/frame.h"

namespace {

FILE* logFile = nullptr;
int64_t ticks = 0;
uint32_t phase = 0;

void Log(const char* format, ...) __attribute__((format(printf, 1, 2)));
void Log(const char* format, ...) {
  if (logFile == nullptr) return;
  va_list args;
  va_start(args, format);
  vfprintf(logFile, format, args);
  va_end(args);
  fputc('\n', logFile);
  fflush(logFile);
}

// A pattern in which neighbouring columns and rows differ, so that any shift shows.
void DrawPattern() {
  for (int32_t y = 0; y < FrameHeight; ++y)
    for (int32_t x = 0; x < FrameWidth; ++x)
      FrameBuffer[(FrameHeight - 1 - y) * FrameWidth + x] =
          static_cast<uint8_t>(x * 7 + y * 13 + ((x * y) >> 4) + phase * 29);
  ViewportShift = static_cast<int32_t>(phase % 4);
}

void Present() {
  ContextHandle context = GetWindowContext(MainWindow);
  CopyToWindow(context);
  ReleaseContext(MainWindow, context);
}

void Dump() {
  const char* path = getenv("TESTAPP_DUMP");
  if (path == nullptr) return;
  char temporary[4096];
  snprintf(temporary, sizeof temporary, "%s.tmp", path);
  FILE* file = fopen(temporary, "wb");
  if (file == nullptr) return;
  fwrite(&ViewportShift, 4, 1, file);
  fwrite(FrameColours, sizeof FrameColours, 1, file);
  fwrite(FrameBuffer, FrameBytes, 1, file);
  fclose(file);
  rename(temporary, path);
}

}  // namespace

void OnConfigure(int argc, char** argv) {
  const char* logPath = getenv("TESTAPP_LOG");
  if (logPath != nullptr) logFile = fopen(logPath, "a");
  Log("OnConfigure %d %s", argc, argc > 0 ? argv[0] : "");
  AppName = "torvex32 frame test";
  const char* tick = getenv("TESTAPP_TICK");
  TickInterval = tick != nullptr ? atoi(tick) : 10;
  if (const char* base = getenv("TESTAPP_CLOCK_BASE")) SetClockBase(strtoul(base, nullptr, 0));
  if (getenv("TESTAPP_NO_INI") != nullptr) return;
  char folder[200];
  uint32_t length = GetWindowsDirectory(folder, sizeof folder);
  if (length == 0 || length >= sizeof folder) return;
  snprintf(IniPath, sizeof IniPath, "%s%sTESTAPP.INI", folder,
           folder[length - 1] == PathSeparator ? "" : "/");
}

void OnStart() {
  DrawPattern();
  Present();
  Dump();
  Log("OnStart");
  Log("path %s", GetPresentPath());
}

void OnEnd() { Log("OnEnd ticks=%" PRId64 " pos=%d,%d", ticks, WindowPos.left, WindowPos.top); }
void OnPause() { Log("OnPause ticks=%" PRId64, ticks); }
void OnResume() { Log("OnResume ticks=%" PRId64, ticks); }

void OnTick() {
  static const bool solid = getenv("TESTAPP_SOLID") != nullptr;
  ++ticks;
  if (solid) {
    memset(FrameBuffer, ticks % 2 == 0 ? 56 : 21, FrameBytes);
    ViewportShift = 0;
  }
  Present();
  static const char* everySetting = getenv("TESTAPP_LOG_EVERY");
  static const int64_t every = everySetting != nullptr ? atoll(everySetting) : 500;
  if (ticks % every == 0) Log("ticks %" PRId64 " time=%u", ticks, LastTickTime);
}

void OnMouseMove(int32_t x, int32_t y, int32_t left, int32_t right) {
  Log("OnMouseMove %d %d %d %d", x, y, left, right);
}
// A left click shows a message box, which holds the thread until it is closed.
void OnLeftDown(int32_t x, int32_t y) {
  Log("OnLeftDown %d %d", x, y);
  // TESTAPP_BOX_OWNERLESS: the box has no owner, as the benchmark's failure boxes.
  WindowHandle owner = getenv("TESTAPP_BOX_OWNERLESS") != nullptr ? nullptr : MainWindow;
  int32_t result = ShowMessageBox(owner, "A box from the test", "Test box", MB_OK);
  Log("box returned %d", result);
}
void OnLeftUp(int32_t x, int32_t y) { Log("OnLeftUp %d %d", x, y); }
void OnRightUp(int32_t x, int32_t y) { Log("OnRightUp %d %d", x, y); }

void OnRightDown(int32_t x, int32_t y) {
  const char* burst = getenv("TESTAPP_BURST");
  for (int32_t n = burst != nullptr ? atoi(burst) : 1; n > 0; --n) {
    ++phase;
    DrawPattern();
    Present();
  }
  Dump();
  Log("OnRightDown %d %d shown %u", x, y, phase);
  Log("path %s", GetPresentPath());
}
