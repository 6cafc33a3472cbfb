// present_timing.cpp — how long one present of the 512 by 384 window takes on this display
// (8-bit frame converted and put into the window, one upload), how long the conversion alone
// takes (and so the upload), and how many frames per second a loop that only handles messages and
// presents reaches. Prints one line of name=value pairs; bench/present_xvfb.py compares them with
// the X server's own limit and with an application that presents on every tick.
//
// Usage: present_timing [PRESENTS [LOOP_SECONDS]]   (defaults 2000 and 3)
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "platform/platform.h"
#include "torvex_version.h"

namespace {

constexpr int32_t Width = 512, Height = 384, SourceWidth = 516;

int32_t Procedure(WindowHandle window, uint32_t message, uintptr_t first, intptr_t second) {
  if (message == WM_PAINT) {
    EndPaint(window, BeginPaint(window));
    return 0;
  }
  if (message == WM_SIZE && first == SIZE_RESTORED) {
    // The client area exactly 512 by 384, as the framework keeps it.
    int32_t width = static_cast<int32_t>(second & 0xFFFF),
            height = static_cast<int32_t>(second >> 16);
    Rect outer = GetOuterRect(window);
    if (width != Width || height != Height)
      MoveMainWindow(window, outer.left, outer.top, outer.right - outer.left + Width - width,
                     outer.bottom - outer.top + Height - height, false);
    return 0;
  }
  return DefaultWindowProcedure(window, message, first, second);
}

void HandleMessages() {
  Message message;
  while (PeekWindowMessage(&message))
    if (message.message != WM_QUIT) DispatchWindowMessage(message);
}

double MedianMicroseconds(std::vector<int64_t> times, double fraction = 0.5) {
  std::sort(times.begin(), times.end());
  return times[static_cast<size_t>(fraction * (times.size() - 1))] / 1000.0;
}

}  // namespace

int main(int argc, char** argv) {
  if (AnswerVersion(argc, argv, "present_timing")) return 0;
  int presents = argc > 1 ? atoi(argv[1]) : 2000;
  double loopSeconds = argc > 2 ? atof(argv[2]) : 3.0;
  WindowClass windowClass{0, Procedure, GetProgramInstance(), nullptr, "PRESENT"};
  RegisterWindowClass(windowClass);
  WindowHandle window = CreateMainWindow("PRESENT", "present timing", 0, 60, 60, Width + 2,
                                         Height + 2, GetProgramInstance());
  if (window == nullptr) {
    fprintf(stderr, "present_timing: %s\n", GetPlatformError());
    return 1;
  }
  ShowMainWindow(window, SW_SHOWNORMAL);
  UpdateMainWindow(window);

  ColourQuad colours[256];
  for (int i = 0; i < 256; ++i) colours[i] = {uint8_t(i * 3), uint8_t(i * 5), uint8_t(i * 7), 0};
  ContextHandle memory = CreateMemoryContext();
  uint8_t* pixels = nullptr;
  BitmapHandle bitmap =
      CreateBitmapSection(memory, BitmapHeader{SourceWidth, Height, 1, 8, 0}, colours, &pixels);
  SelectBitmap(memory, bitmap);
  for (int32_t i = 0; i < SourceWidth * Height; ++i) pixels[i] = uint8_t(i / 16 * 37 + i % 7);
  uint32_t table[256];
  for (int i = 0; i < 256; ++i)
    table[i] = uint32_t(colours[i].red) << 16 | colours[i].green << 8 | colours[i].blue;
  std::vector<uint32_t> scratch(Width * Height);

  // Settle: let the window manager place and expose the window.
  for (int64_t until = GetPreciseTimeNs() + 300'000'000; GetPreciseTimeNs() < until;)
    HandleMessages();

  std::vector<int64_t> present, convert, upload;
  ContextHandle context = GetWindowContext(window);
  for (int i = 0; i < presents + 100; ++i) {
    HandleMessages();
    int64_t start = GetPreciseTimeNs();
    BlockCopy(context, 0, 0, Width, Height, memory, 1, 0);
    int64_t middle = GetPreciseTimeNs();
    ConvertIndexedRows(scratch.data(), Width * 4, pixels + (Height - 1) * SourceWidth + 1,
                       -SourceWidth, Width, Height, table);
    int64_t end = GetPreciseTimeNs();
    if (i >= 100) {  // the first ones warm caches and the server
      present.push_back(middle - start);
      convert.push_back(end - middle);
      upload.push_back((middle - start) - (end - middle));
    }
  }

  // A loop that does nothing but handle messages and present, as fast as it can. Besides its
  // overall rate, the best rate over any 300 ms of it: on a shared machine the rate comes and
  // goes with what else runs.
  int64_t frames = 0, start = GetPreciseTimeNs(), end = start + int64_t(loopSeconds * 1e9);
  int64_t now = start, windowStart = start, windowFrames = 0;
  double best = 0;
  for (; now < end; now = GetPreciseTimeNs(), ++frames, ++windowFrames) {
    HandleMessages();
    BlockCopy(context, 0, 0, Width, Height, memory, 1, 0);
    if (now - windowStart >= 300'000'000) {
      best = std::max(best, windowFrames / ((now - windowStart) / 1e9));
      windowStart = now;
      windowFrames = 0;
    }
  }
  const char* path = getenv("TORVEX_PRESENT");
  const char* acceleration = getenv("SDL_FRAMEBUFFER_ACCELERATION");
  printf(
      "present_us=%.1f present_p10_us=%.1f convert_us=%.1f upload_us=%.1f loop_fps=%.0f "
      "loop_best_fps=%.0f method=%s path=%s acceleration=%s\n",
      MedianMicroseconds(present), MedianMicroseconds(present, 0.1), MedianMicroseconds(convert),
      MedianMicroseconds(upload), frames / ((now - start) / 1e9), best,
      ConvertMethodName(CurrentConvertMethod()), path ? path : "default",
      acceleration ? acceleration : "default");
  ReleaseContext(window, context);
  DestroyMainWindow(window);
  DeleteBitmap(bitmap);
  DeleteMemoryContext(memory);
  return 0;
}
