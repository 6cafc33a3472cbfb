// runner_share_test.cpp — the runner's results in the forms users share them, on the recording
// double: runs until stable, the refresh cap, the desktop in the environment, x11perf's lines,
// the suite's lines and the per-frame log, each against what the JSON says.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app/runner/runner.h"
#include "tests/double/double.h"

namespace {

// A finished run of frames over elapsedMs, with frame times of frameNs and cpuNs per frame.
RunRecord Finished(int64_t frames, int64_t elapsedMs, int64_t frameNs = 200'000,
              double cpuNs = 150'000, int32_t refreshMilliHz = 0, bool complete = true) {
  RunRecord r{};
  r.started = 1;
  r.complete = complete ? 1 : 0;
  r.frames = frames;
  r.elapsedMs = elapsedMs;
  strcpy(r.presentPath, "x11-shm");
  strcpy(r.backend.sessionType, "x11");
  strcpy(r.backend.displayServer, "The X.Org Foundation 12101007");
  r.backend.refreshMilliHz = refreshMilliHz;
  r.cpuNsPerFrame = cpuNs;
  for (int i = 0; i < 100; ++i) RecordTime(r.times.frame, frameNs + i * 1000);
  return r;
}

std::unique_ptr<RunnerResult> ResultOf(std::vector<RunRecord> runs) {
  auto result = std::make_unique<RunnerResult>();
  result->runs = std::move(runs);
  return result;
}

RunnerOptions Parsed(const std::vector<std::string>& args) {
  RunnerOptions o;
  std::string why;
  EXPECT_TRUE(ParseRunnerOptions(args, o, why)) << why;
  return o;
}

// The value after "key": in a JSON text (a top-level key first, one line each), as text up to
// the next comma or brace.
std::string JsonValue(const std::string& json, const std::string& key) {
  size_t at = json.find("\n  \"" + key + "\": ");
  at = at != std::string::npos ? at + 3 : json.find("\"" + key + "\": ");
  if (at == std::string::npos) return "<missing>";
  at += key.size() + 4;
  if (json[at] == '"') return json.substr(at, json.find('"', at + 1) - at + 1);
  return json.substr(at, json.find_first_of(",}\n", at) - at);
}

TEST(UntilStable, OptionsInPercentWithTheRunsBounded) {
  RunnerOptions o = Parsed({"--until-stable", "3.5"});
  EXPECT_DOUBLE_EQ(o.untilStable, 0.035);
  EXPECT_EQ(o.repeat, UntilStableDefaultRuns);  // --repeat not given: a bound of its own
  o = Parsed({"--until-stable=0.0001", "--repeat", "5"});
  EXPECT_DOUBLE_EQ(o.untilStable, 0.000001);
  EXPECT_EQ(o.repeat, 5);
  EXPECT_LT(Parsed({}).untilStable, 0);
  const struct {
    std::vector<std::string> args;
    const char* why;
  } refused[] = {
      {{"--until-stable", "-1"}, "--until-stable: '-1' is not a cv in percent"},
      {{"--until-stable", "1001"}, "--until-stable: '1001'"},
      {{"--until-stable", "5%"}, "--until-stable: '5%'"},
      {{"--until-stable", "5", "--repeat", "2"}, "--until-stable: needs --repeat of at least 3"},
      {{"--format", "csv"}, "--format: 'csv' is not line, x11perf or suite"},
      {{"--format", "x11perf", "--json"}, "--json and --format: give one of them"},
      {{"--frame-log="}, "--frame-log: needs a value"},
      {{"--install-suite-profile=yes"}, "--install-suite-profile: takes no value"},
  };
  for (const auto& c : refused) {
    RunnerOptions r;
    std::string why;
    EXPECT_FALSE(ParseRunnerOptions(c.args, r, why)) << c.why;
    EXPECT_EQ(why.rfind(c.why, 0), 0u) << why;
  }
}

TEST(UntilStable, MetOnlyWithThreeCompleteRunsWithinTheTarget) {
  RunnerOptions o = Parsed({"--until-stable", "5"});
  // Two runs agree exactly, but two are not enough.
  auto result = ResultOf({Finished(1000, 1000), Finished(1000, 1000)});
  EXPECT_FALSE(StableEnough(o, *result));
  result->runs.push_back(Finished(1040, 1000));  // cv 2.3%
  EXPECT_TRUE(StableEnough(o, *result));
  EXPECT_EQ(JsonText(UntilStableJson(o, *result)),
            "{\"target_cv\": 0.05, \"runs\": 3, \"met\": true}");
  EXPECT_EQ(HeadlineNotes(o, *result), ", cv target 5% met after 3 runs");
  result->runs.push_back(Finished(1400, 1000));  // cv 17%
  EXPECT_FALSE(StableEnough(o, *result));
  EXPECT_EQ(JsonText(UntilStableJson(o, *result)),
            "{\"target_cv\": 0.05, \"runs\": 4, \"met\": false}");
  EXPECT_EQ(HeadlineNotes(o, *result), ", cv target 5% not met after 4 runs");
  // A stopped run is never stable.
  auto stopped = ResultOf(
      {Finished(1000, 1000), Finished(1000, 1000), Finished(10, 10, 200'000, 0, 0, false)});
  EXPECT_FALSE(StableEnough(o, *stopped));
  // Without the option: nothing to say, and the result says null.
  EXPECT_FALSE(StableEnough(Parsed({}), *result));
  EXPECT_EQ(JsonText(UntilStableJson(Parsed({}), *result)), "null");
  EXPECT_EQ(HeadlineNotes(Parsed({}), *result), "");
  std::string json = ResultJson(o, *result);
  EXPECT_NE(
      json.find("\n  \"until_stable\": {\"target_cv\": 0.05, \"runs\": 4, \"met\": false},\n"),
      std::string::npos);
}

TEST(CappedByRefresh, AFrameEveryFewRefreshesWhileWaitingOnTheDisplay) {
  const struct {
    int64_t frames, elapsedMs;
    double cpuNs;
    int32_t refresh;
    int32_t capped;
    const char* what;
  } cases[] = {
      {600, 10'000, 2'000'000, 60'000, 1, "60 per second at 60 Hz, mostly waiting"},
      {594, 10'000, 2'000'000, 60'000, 1, "1% below the refresh"},
      {300, 10'000, 2'000'000, 60'000, 1, "every second refresh"},
      {749, 100'000, 2'000'000, 59'920, 1, "every eighth refresh of 59.92 Hz"},
      {580, 10'000, 2'000'000, 60'000, 0, "3.3% below: not held to it"},
      {700, 10'000, 2'000'000, 60'000, 0, "faster than the refresh"},
      {600, 10'000, 16'000'000, 60'000, 0, "on the processor all the time: not waiting"},
      {60, 10'000, 2'000'000, 60'000, 0, "every tenth refresh: too slow to tell"},
      {600, 10'000, 2'000'000, 0, -1, "refresh unknown"},
      {600, 10'000, std::nan(""), 60'000, -1, "CPU time unknown"},
  };
  for (const auto& c : cases) {
    auto result = ResultOf({Finished(c.frames, c.elapsedMs, 200'000, c.cpuNs, c.refresh)});
    EXPECT_EQ(CappedByRefresh(*result), c.capped) << c.what;
    EXPECT_EQ(JsonValue(ResultJson(RunnerOptions{}, *result), "capped_by_refresh"),
              c.capped < 0 ? "null" : c.capped == 1 ? "true" : "false")
        << c.what;
  }
  auto capped = ResultOf({Finished(600, 10'000, 200'000, 2'000'000, 60'000)});
  EXPECT_EQ(HeadlineNotes(RunnerOptions{}, *capped), ", capped by the display's 60.00 Hz refresh");
  // Headless frames wait on no display, whatever the numbers say.
  strcpy(capped->runs[0].presentPath, "headless");
  EXPECT_EQ(CappedByRefresh(*capped), 0);
}

TEST(DesktopEnvironment, KnownFactsAsTheyAreAndUnknownOnesNull) {
  Double::Reset();
  auto result = ResultOf({Finished(1000, 1000)});
  RunRecord& run = result->runs[0];
  strcpy(run.backend.compositor, "Openbox");
  run.backend.refreshMilliHz = 59'920;
  RunnerCommandLine = {"torvex32-bench", "--frames", "1e3", "caf\xc3\xa9 \"x\"", "bad\xff"};
  result->environment = CollectEnvironment();
  std::string json = ResultJson(RunnerOptions{}, *result);
  EXPECT_EQ(JsonValue(json, "session_type"), "\"x11\"");
  EXPECT_EQ(JsonValue(json, "compositor"), "\"Openbox\"");
  EXPECT_EQ(JsonValue(json, "compositor_version"), "null");
  EXPECT_EQ(JsonValue(json, "refresh_hz"), "59.920");
  EXPECT_EQ(JsonValue(json, "os_release"), "\"Double OS 1\"");
  EXPECT_EQ(JsonValue(json, "memory_bytes"), "1073741824");
  EXPECT_EQ(JsonValue(json, "cpu_governor"), "null");
  // Every argument exactly, as valid JSON: bytes that are not UTF-8 replaced.
  EXPECT_NE(json.find("\"command_line\": [\"torvex32-bench\", \"--frames\", \"1e3\", "
                      "\"caf\xc3\xa9 \\\"x\\\"\", \"bad\xEF\xBF\xBD\"]"),
            std::string::npos)
      << json;
  // Nothing known of the machine: null, never 0 or "".
  Double::Machine = MachineReport{};
  result->runs[0].backend = BackendReport{};
  result->environment = CollectEnvironment();
  json = ResultJson(RunnerOptions{}, *result);
  for (const char* key : {"session_type", "compositor", "refresh_hz", "os_release",
                          "memory_bytes", "cpu_governor"})
    EXPECT_EQ(JsonValue(json, key), "null") << key;
  Double::Reset();
  RunnerCommandLine.clear();
}

TEST(DesktopEnvironment, JsonStringsStayValidForAnyBytes) {
  EXPECT_EQ(JsonText(ValidUtf8("plain")), "\"plain\"");
  EXPECT_EQ(JsonText(ValidUtf8("tab\there\\")), "\"tab\\there\\\\\"");
  EXPECT_EQ(JsonText(ValidUtf8("\xe2\x82\xac \xf0\x9f\x98\x80")),
            "\"\xe2\x82\xac \xf0\x9f\x98\x80\"");
  // Truncated, overlong and surrogate sequences are each replaced, the rest kept.
  const std::string replaced = "\xef\xbf\xbd";  // U+FFFD
  EXPECT_EQ(ValidUtf8("a\xe2\x82"), "a" + replaced + replaced);
  EXPECT_EQ(ValidUtf8("\xc0\xaf"), replaced + replaced);
  EXPECT_EQ(ValidUtf8("\xed\xa0\x80!"), replaced + replaced + replaced + "!");
}

TEST(OtherFormats, X11perfLinesAsX11perfcompReadsThem) {
  auto result = ResultOf({Finished(2000, 400), Finished(3000, 500)});
  std::string text = X11perfText(*result);
  std::istringstream lines(text);
  std::vector<std::string> reps;
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    std::string count, kind;
    fields >> count >> kind;
    if (kind == "reps" || kind == "trep") reps.push_back(line);
  }
  ASSERT_EQ(reps.size(), 3u) << text;
  std::string label = std::string("): ") + X11perfLabel;
  EXPECT_EQ(reps[0], "   2000 reps @   0.2000 msec (  5000.0/sec" + label);
  EXPECT_EQ(reps[1], "   3000 reps @   0.1667 msec (  6000.0/sec" + label);
  // The total, as x11perf ends a repeated test; then the blank line x11perfcomp looks for.
  EXPECT_EQ(reps[2], "   5000 trep @   0.1800 msec (  5555.6/sec" + label);
  EXPECT_EQ(text.substr(text.size() - 2), "\n\n");
  // One run has its total too: x11perfcomp takes a file's labels from pairs of lines. A run of
  // no measurable time has no rate: it stays out of the lines as it stays out of the statistics.
  EXPECT_NE(X11perfText(*ResultOf({Finished(100, 1000)})).find("    100 trep @  10.0000 msec"),
            std::string::npos);
  EXPECT_EQ(X11perfText(*ResultOf({Finished(5, 0)})).find(" reps @"), std::string::npos);
  // The label has no ": " of its own: x11perfcomp takes the label after the last one.
  EXPECT_EQ(std::string(X11perfLabel).find(": "), std::string::npos);
}

TEST(OtherFormats, SuiteLinesCarryTheJsonsNanoseconds) {
  auto result = ResultOf(
      {Finished(1000, 1000, 612'345, 234'567.4), Finished(1000, 1000, 500'000, 300'000)});
  std::string json = ResultJson(RunnerOptions{}, *result);
  std::string lines = SuiteLines(*result);
  auto microseconds = [&](const std::string& prefix) {
    size_t at = lines.find(prefix);
    EXPECT_NE(at, std::string::npos) << lines;
    return std::llround(std::stod(lines.substr(at + prefix.size())) * 1000);
  };
  EXPECT_EQ(microseconds("torvex32-bench: frame time p99 "),
            std::stoll(JsonValue(json, "frame_ns_p99")));
  EXPECT_EQ(microseconds("torvex32-bench: cpu per frame "),
            std::stoll(JsonValue(json, "cpu_ns_per_frame")));
  // Windows knows no CPU time per process: unknown, not 0.
  auto unknown = ResultOf({Finished(1000, 1000, 500'000, std::nan(""))});
  EXPECT_NE(SuiteLines(*unknown).find("torvex32-bench: cpu per frame unknown\n"),
            std::string::npos);
}

TEST(FrameLog, TheRunsFramesAsCsvFromABufferTakenBefore) {
  namespace fs = std::filesystem;
  fs::path file = fs::temp_directory_path() / "torvex32-frame-log-test.csv";
  RunnerOptions o = Parsed({"--frame-log", file.string()});
  auto times = std::make_unique<FramePhaseTimes>();
  std::string why;
  // Only the run that may be the last takes the buffer.
  ASSERT_TRUE(TakeFrameLog(o, false, *times, why));
  EXPECT_EQ(times->log, nullptr);
  ASSERT_TRUE(TakeFrameLog(o, true, *times, why)) << why;
  ASSERT_NE(times->log, nullptr);
  EXPECT_EQ(times->logCapacity, FrameLogLimit);
  times->firstStart = 5'000'000;
  times->log[0] = {5'400'000, 400'000, 10, 20, 30};
  times->log[1] = {5'700'000, 300'000, 11, 21, 31};
  times->logCount = 2;
  ASSERT_TRUE(WriteFrameLog(o, *times, why)) << why;
  EXPECT_EQ(times->log, nullptr);  // no address goes back to the runner
  std::stringstream text;
  {
    std::ifstream in(file);
    text << in.rdbuf();
  }
  EXPECT_EQ(text.str(),
            "start_ns,frame_ns,viewport_ns,sprites_ns,present_ns\n"
            "400000,400000,10,20,30\n700000,300000,11,21,31\n");
  fs::remove(file);
  // An unwritable file is an error with the option named.
  RunnerOptions bad = Parsed({"--frame-log", "/nonexistent/folder/log.csv"});
  ASSERT_TRUE(TakeFrameLog(bad, true, *times, why));
  EXPECT_FALSE(WriteFrameLog(bad, *times, why));
  EXPECT_EQ(why, "--frame-log: cannot write /nonexistent/folder/log.csv");
  // The result names the file, the frames it holds against the run's and the limit.
  auto result = ResultOf({Finished(100, 1000)});
  result->runs[0].times.logCount = 100;
  EXPECT_EQ(JsonText(FrameLogJson(o, *result)), "{\"file\": " + JsonText(file.string()) +
                                          ", \"frames\": 100, \"frames_timed\": 100, \"limit\": " +
                                          std::to_string(FrameLogLimit) + "}");
  EXPECT_EQ(JsonText(FrameLogJson(RunnerOptions{}, *result)), "null");
}

}  // namespace
