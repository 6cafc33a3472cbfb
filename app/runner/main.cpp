// main.cpp — torvex32-bench: the benchmark's own framework and hooks run for a fixed number of
// frames or seconds of running time, headless on SDL's dummy drivers or, on Windows, in a hidden
// window (or in a real window with --window), ending as if "EXIT" were clicked; prints the rate
// the program would show and, with --json, the phase times of the frames.
#ifndef _WIN32
#include <unistd.h>
#endif

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "app/app.h"
#include "graphics/graphics.h"
#include "tools/asset_tool.h"

namespace {

struct Options {
  double seconds = 0;
  int64_t frames = 0;
  bool seeded = false;
  uint32_t seed = 0;
  bool window = false;
  bool json = false;
  const char* screenshot = nullptr;
};

void Usage(FILE* out) {
  fprintf(out,
          "usage: torvex32-bench [--seconds S | --frames N] [--seed N] [--window] [--json]\n"
          "                      [--screenshot FILE.png]\n"
          "Runs the benchmark for S seconds of running time (default 10) or N frames and prints\n"
          "the rate it shows. Headless unless --window is given.\n");
}

bool ParseNumber(const char* text, double& value) {
  char* end = nullptr;
  value = strtod(text, &end);
  return end != text && *end == 0 && value >= 0;
}

// Parses the command line; false (after a message) if it is not understood.
bool ParseOptions(int argc, char** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    bool hasValue = i + 1 < argc;
    double value = 0;
    if (arg == "--window") {
      options.window = true;
    } else if (arg == "--json") {
      options.json = true;
    } else if (arg == "--help" || arg == "-h") {
      Usage(stdout);
      exit(0);
    } else if (arg == "--seconds" && hasValue && ParseNumber(argv[++i], value) && value > 0) {
      options.seconds = value;
    } else if (arg == "--frames" && hasValue && ParseNumber(argv[++i], value) && value >= 1) {
      options.frames = static_cast<int64_t>(value);
    } else if (arg == "--seed" && hasValue && ParseNumber(argv[++i], value)) {
      options.seeded = true;
      options.seed = static_cast<uint32_t>(value);
    } else if (arg == "--screenshot" && hasValue) {
      options.screenshot = argv[++i];
    } else {
      fprintf(stderr, "torvex32-bench: cannot understand '%s'\n", argv[i]);
      Usage(stderr);
      return false;
    }
  }
  if (options.seconds == 0 && options.frames == 0) options.seconds = 10;
  return true;
}

int64_t Median(std::vector<int64_t> values) {
  if (values.empty()) return 0;
  std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
  return values[values.size() / 2];
}

// Nanoseconds of one copy of a whole FrameBuffer, the memory system's own speed, as a yardstick.
int64_t MeasureFrameCopy() {
  std::vector<uint8_t> from(FrameBytes, 7), to(FrameBytes);
  std::vector<int64_t> times;
  for (int i = 0; i < 400; ++i) {
    int64_t start = GetPreciseTimeNs();
    memcpy(to.data(), from.data(), from.size());
    asm volatile("" : : "r"(to.data()) : "memory");
    times.push_back(GetPreciseTimeNs() - start);
  }
  return Median(times);
}

// The phase times of the recorded frames; a frame's time is from its start to the next one's.
struct PhaseMedians {
  int64_t frame, viewport, sprites, present;
};

PhaseMedians Medians(const FramePhaseTimes& times) {
  int64_t n = std::min(times.count, times.capacity);
  std::vector<int64_t> frame, viewport, sprites, present;
  // The first frames warm caches and the sound device; leave out the first tenth.
  for (int64_t i = n / 10; i < n; ++i) {
    if (i + 1 < n) frame.push_back(times.start[i + 1] - times.start[i]);
    viewport.push_back(times.viewport[i]);
    sprites.push_back(times.sprites[i]);
    present.push_back(times.present[i]);
  }
  return {Median(frame), Median(viewport), Median(sprites), Median(present)};
}

void PrintJsonString(const char* text) {
  putchar('"');
  for (const char* c = text; *c; ++c) {
    if (*c == '"' || *c == '\\') putchar('\\');
    putchar(*c);
  }
  putchar('"');
}

void Report(const Options& options, const FramePhaseTimes& times) {
  // The message sprite is sixteen glyphs wide: a longer text shows only its first sixteen.
  char shown[17] = {};
  snprintf(shown, sizeof shown, "%.16s", ShownText);
  bool rateShown = strcmp(ShownText, "Wait a Minute !!") != 0;
  if (!options.json) {
    printf("%s\n", shown);
    return;
  }
  PhaseMedians medians = Medians(times);
  int64_t elapsed = RunLimit.endedAtMs;
  printf("{\"frames\": %" PRId64 ", \"elapsed_ms\": %" PRId64 ", \"rate_per_10s\": ", FrameCount,
         elapsed);
  if (rateShown)
    printf("%lld", strtoll(ShownText, nullptr, 10));
  else
    printf("null");
  printf(", \"exact_rate_per_10s\": %.1f, \"shown_text\": ",
         elapsed > 0 ? FrameCount * 10000.0 / elapsed : 0.0);
  PrintJsonString(shown);
  printf(", \"frame_ns\": %" PRId64 ", \"viewport_ns\": %" PRId64 ", \"sprites_ns\": %" PRId64
         ", \"present_ns\": %" PRId64 ", \"memcpy_frame_ns\": %" PRId64 ", \"seed\": ",
         medians.frame, medians.viewport, medians.sprites, medians.present, MeasureFrameCopy());
  if (options.seeded)
    printf("%u", options.seed);
  else
    printf("null");
  printf(", \"window\": %s}\n", options.window ? "true" : "false");
}

// The runner keeps the user's profile file out of reach: the framework's configuration folder
// is pointed at a private temporary folder for the run, removed afterwards.
#ifdef _WIN32
// The Win32 backend takes the folder that stands for its Windows directory from
// TORVEX32_WINDOWS_DIR.
std::string PrivateConfigFolder() {
  std::error_code error;
  std::filesystem::path temp = std::filesystem::temp_directory_path(error);
  if (error) return "";
  // A fresh name: a folder that exists already belongs to someone else.
  for (uint32_t attempt = 0; attempt < 100; ++attempt) {
    std::filesystem::path folder =
        temp / ("torvex32-bench-" + std::to_string(GetPreciseTimeNs() % 1000000007 + attempt));
    if (std::filesystem::create_directory(folder, error)) {
      std::string setting = "TORVEX32_WINDOWS_DIR=" + folder.string();
      _putenv(setting.c_str());
      return folder.string();
    }
  }
  return "";
}
#else
std::string PrivateConfigFolder() {
  char pattern[] = "/tmp/torvex32-bench-XXXXXX";
  if (mkdtemp(pattern) == nullptr) return "";
  setenv("XDG_CONFIG_HOME", pattern, 1);
  return pattern;
}
#endif

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!ParseOptions(argc, argv, options)) return 2;
  if (!options.window) {
#ifdef _WIN32
    _putenv("TORVEX32_HEADLESS=1");  // a hidden window: nothing shown, the pointer left alone
#else
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
#endif
  }
  std::string configFolder = PrivateConfigFolder();
  if (configFolder.empty()) {
    fprintf(stderr, "torvex32-bench: cannot create a private configuration folder\n");
    return 1;
  }

  // Frames are recorded up to a fixed capacity chosen before the run: nothing per frame.
  int64_t capacity = options.frames > 0 ? options.frames + 1 : 1 << 21;
  std::vector<int64_t> start(capacity), viewport(capacity), sprites(capacity), present(capacity);
  FramePhaseTimes times{start.data(), viewport.data(), sprites.data(), present.data(), capacity, 0};
  FrameTimings = &times;
  std::vector<uint8_t> lastFrame(WindowWidth * WindowHeight);
  RunLimit.frames = options.frames;
  RunLimit.runningMs = options.frames > 0 ? 0 : static_cast<int64_t>(options.seconds * 1000);
  RunLimit.lastFrame = lastFrame.data();
  SeedFixed = options.seeded ? 1 : 0;
  SeedValue = options.seed;

  static char programPath[4096];
  if (GetProgramFilePath(programPath, sizeof programPath) == 0) {
    fprintf(stderr, "torvex32-bench: cannot find the program's own path\n");
    return 1;
  }
  char* arguments[] = {programPath, nullptr};
  AppArgCount = 1;
  AppArgVector = arguments;
  int32_t exitCode = RunApplication(GetProgramInstance(), nullptr, "", SW_SHOWDEFAULT);
  FrameTimings = nullptr;
  std::filesystem::remove_all(configFolder);

  if (exitCode != 0) return exitCode;
  if (FrameCount == 0) {
    fprintf(stderr, "torvex32-bench: the benchmark did not run (see the message above)\n");
    return 1;
  }
  Report(options, times);
  std::string why;
  if (options.screenshot != nullptr &&
      !WritePalettePng(options.screenshot, WindowWidth, WindowHeight, lastFrame, why)) {
    fprintf(stderr, "torvex32-bench: %s\n", why.c_str());
    return 1;
  }
  return 0;
}
