// options.cpp — the runner's command line: every option by name, with its value after it or
// after "=", numbers checked whole, in range and without wrapping round.
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "app/runner/runner.h"

namespace {

// A whole number: digits, optionally times a power of ten ("1e6"); false if it is anything
// else or exceeds limit.
bool ParseWhole(const std::string& text, int64_t limit, int64_t& value) {
  size_t e = text.find_first_of("eE");
  std::string digits = text.substr(0, e);
  std::string exponent = e == std::string::npos ? "" : text.substr(e + 1);
  if (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos) return false;
  if (e != std::string::npos &&
      (exponent.empty() || exponent.find_first_not_of("0123456789") != std::string::npos))
    return false;
  // "1e0001" is 1e1: leading zeros of the exponent say nothing.
  size_t significant = exponent.find_first_not_of('0');
  exponent = significant == std::string::npos ? "" : exponent.substr(significant);
  value = 0;
  for (char c : digits) {
    if (value > (limit - (c - '0')) / 10) return false;
    value = value * 10 + (c - '0');
  }
  int64_t power = exponent.empty() ? 0 : (exponent.size() > 3 ? 999 : std::stoll(exponent));
  for (int64_t i = 0; i < power && value != 0; ++i) {
    if (value > limit / 10) return false;
    value *= 10;
  }
  return true;
}

bool ParseSeconds(const std::string& text, double& value) {
  if (text.empty() || text.find_first_not_of("0123456789.") != std::string::npos) return false;
  char* end = nullptr;
  value = strtod(text.c_str(), &end);
  // Milliseconds of running time are counted in 64 bits; a year is plenty. The clock counts
  // whole milliseconds, and a limit of 0 would mean no limit at all: less than one is refused.
  return *end == 0 && std::isfinite(value) && value <= 366.0 * 86400.0 && value * 1000.0 >= 1.0;
}

// A cv in percent: a plain decimal number from 0 to 1000.
bool ParsePercent(const std::string& text, double& value) {
  if (text.empty() || text.find_first_not_of("0123456789.") != std::string::npos) return false;
  char* end = nullptr;
  value = strtod(text.c_str(), &end);
  return *end == 0 && std::isfinite(value) && value >= 0 && value <= 1000;
}

struct Parser {
  const std::vector<std::string>& args;
  size_t i = 0;
  std::string why;

  bool Fail(const std::string& option, const std::string& reason) {
    why = option + ": " + reason;
    return false;
  }
};

// The option's value: after "=" in the same argument, or the next argument.
bool TakeValue(Parser& p, const std::string& name, bool inline_, const std::string& inlineValue,
               std::string& value) {
  if (inline_) {
    value = inlineValue;
    return true;
  }
  if (p.i + 1 >= p.args.size()) return p.Fail(name, "needs a value");
  value = p.args[++p.i];
  return true;
}

bool ApplyValue(Parser& p, RunnerOptions& o, const std::string& name, const std::string& value) {
  int64_t whole = 0;
  if (name == "--seconds") {
    if (!ParseSeconds(value, o.seconds))
      return p.Fail(name, "'" + value +
                              "' is not a number of seconds from 0.001 (one millisecond, what "
                              "the clock counts) to a year");
  } else if (name == "--frames") {
    if (!ParseWhole(value, MaxRunFrames, whole) || whole < 1)
      return p.Fail(name, "'" + value + "' is not a whole number of frames from 1 to " +
                              std::to_string(MaxRunFrames) +
                              " (frames times 10,000 must fit 64 bits)");
    o.frames = whole;
  } else if (name == "--repeat") {
    if (!ParseWhole(value, MaxRepeat, whole) || whole < 1)
      return p.Fail(name, "'" + value + "' is not a whole number of runs from 1 to " +
                              std::to_string(MaxRepeat));
    o.repeat = static_cast<int32_t>(whole);
    o.repeatGiven = true;
  } else if (name == "--until-stable") {
    // In percent, as the stable line prints the cv.
    double percent = 0;
    if (!ParsePercent(value, percent))
      return p.Fail(name, "'" + value + "' is not a cv in percent from 0 to 1000");
    o.untilStable = percent / 100.0;
  } else if (name == "--format") {
    if (value != "line" && value != "x11perf" && value != "suite")
      return p.Fail(name, "'" + value + "' is not line, x11perf or suite");
    o.format = value;
  } else if (name == "--frame-log") {
    if (value.empty()) return p.Fail(name, "needs a value");
    o.frameLog = value;
  } else if (name == "--seed") {
    if (!ParseWhole(value, UINT32_MAX, whole))
      return p.Fail(name, "'" + value + "' is not a whole number from 0 to 4294967295");
    o.seeded = true;
    o.seed = static_cast<uint32_t>(whole);
  } else if (name == "--present") {
    if (value != "shm" && value != "sdl") return p.Fail(name, "'" + value + "' is not shm or sdl");
    o.present = value;
  } else if (name == "--output" || name == "--screenshot" || name == "--video") {
    if (value.empty()) return p.Fail(name, "needs a value");
    (name == "--output" ? o.output : name == "--screenshot" ? o.screenshot : o.video) = value;
  } else {
    return p.Fail(name, "unknown option");
  }
  return true;
}

bool ParseOne(Parser& p, RunnerOptions& o, std::vector<std::string>& seen) {
  const std::string& arg = p.args[p.i];
  size_t equals = arg.find('=');
  std::string name = arg.substr(0, equals);
  bool inline_ = equals != std::string::npos;
  if (name.rfind("--", 0) != 0 && name != "-h") return p.Fail(arg, "unknown argument");
  for (const std::string& before : seen)
    if (before == name) return p.Fail(name, "given twice");
  seen.push_back(name);
  bool* flag = name == "--window" ? &o.window
               : name == "--json" ? &o.json
               : name == "--no-screen-check" ? &o.noScreenCheck
               : name == "--help" || name == "-h" ? &o.help
               : name == "--version" ? &o.version
               : name == "--install-suite-profile" ? &o.installSuiteProfile
                                     : nullptr;
  if (flag != nullptr) {
    if (inline_) return p.Fail(name, "takes no value");
    *flag = true;
    return true;
  }
  static const char* const valued[] = {"--seconds",      "--frames", "--repeat",
                                       "--seed",         "--output", "--video",
                                       "--present",      "--screenshot",
                                       "--until-stable", "--format", "--frame-log"};
  for (const char* known : valued) {
    if (name != known) continue;
    std::string value;
    return TakeValue(p, name, inline_, arg.substr(inline_ ? equals + 1 : arg.size()), value) &&
           ApplyValue(p, o, name, value);
  }
  return p.Fail(name, "unknown option");
}

}  // namespace

int64_t RunningLimitMs(double seconds) { return std::llround(seconds * 1000.0); }

bool ParseRunnerOptions(const std::vector<std::string>& args, RunnerOptions& options,
                        std::string& why) {
  Parser p{args, 0, ""};
  std::vector<std::string> seen;
  for (p.i = 0; p.i < args.size(); ++p.i) {
    if (!ParseOne(p, options, seen)) {
      why = p.why;
      return false;
    }
  }
  if (options.seconds > 0 && options.frames > 0) {
    why = "--seconds and --frames: give one of them";
    return false;
  }
  if (options.window && options.video == "dummy") {
    why = "--window and --video dummy: the dummy driver has no window";
    return false;
  }
  if (options.json && options.format != "line") {
    why = "--json and --format: give one of them";
    return false;
  }
  if (options.untilStable >= 0 && !options.repeatGiven) options.repeat = UntilStableDefaultRuns;
  if (options.untilStable >= 0 && options.repeat < UntilStableMinRuns) {
    why = "--until-stable: needs --repeat of at least 3 (the cv of fewer runs is not trusted)";
    return false;
  }
  if (options.seconds == 0 && options.frames == 0) options.seconds = 10;
  return true;
}

void PrintRunnerUsage(FILE* out) {
  fprintf(out,
          "usage: torvex32-bench [--seconds S | --frames N] [--repeat N] [--seed N]\n"
          "                      [--window] [--video DRIVER] [--present shm|sdl]\n"
          "                      [--json] [--output FILE] [--screenshot FILE.png]\n"
          "                      [--until-stable CV] [--frame-log FILE.csv]\n"
          "                      [--format line|x11perf|suite] [--install-suite-profile]\n"
          "                      [--no-screen-check] [--help] [--version]\n"
          "Runs the benchmark N times (--repeat, default 3), each for S seconds of running\n"
          "time (default 10) or N frames, and prints the median exact rate in frames per ten\n"
          "seconds with the runs' spread. Headless on SDL's dummy video driver unless\n"
          "--window (or --video) is given. Options also take the form --name=value.\n"
          "  --json          the whole result as one JSON object on the standard output\n"
          "  --output FILE   the JSON result into FILE as well\n"
          "  --video DRIVER  SDL's video driver (as SDL_VIDEODRIVER), e.g. x11\n"
          "  --present WAY   shm: the X server's shared memory; sdl: SDL's window surface\n"
          "  --seed N        the same scroll directions in every run\n"
          "  --screenshot F  the last frame of the last run as a PNG\n"
          "  --no-screen-check  do not read the window back after each run to check that\n"
          "                  it shows the last frame\n"
          "  --until-stable CV  add runs until their cv is at most CV percent (at least 3\n"
          "                  runs, at most --repeat, which then defaults to 10)\n"
          "  --frame-log F   every timed frame of the last run as a line of CSV (at most\n"
          "                  1,000,000 frames)\n"
          "  --format WAY    line: the stable line (default); x11perf: each run as an x11perf\n"
          "                  line for x11perfcomp; suite: the stable line, then the frame\n"
          "                  time's 99th percentile and the CPU time per frame on lines of\n"
          "                  their own\n"
          "  --install-suite-profile  copy the test suite's profile into your profiles\n"
          "Only frames handed to the window system count. Exit status: 0 done, 1 the\n"
          "benchmark could not run, its frames could not be shown, or the screen did not\n"
          "show them, 2 bad options, 128 + N stopped by signal N (the result then says\n"
          "\"complete\": false).\n");
}
