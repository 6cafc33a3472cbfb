// runner_test.cpp — the measurement runner's parts on the recording double: the exact rate on
// a driven clock against what the window shows, the rate printed at the program's end, the
// statistics and frame-time histograms, the options and the JSON result.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/app.h"
#include "app/runner/runner.h"
#include "sound/sound.h"
#include "tests/double/double.h"

namespace {

namespace fs = std::filesystem;

void WriteFile(const fs::path& path, const std::vector<uint8_t>& bytes) {
  FILE* file = fopen(path.string().c_str(), "wb");
  ASSERT_NE(file, nullptr);
  fwrite(bytes.data(), 1, bytes.size(), file);
  fclose(file);
}

// The benchmark's hooks on the double with plain data files, the clock driven by the test.
class RateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Double::Reset();
    FrameCount = StartTime = PauseStart = PausedTotal = 0;
    TimerValue = TimerReads = 0;
    TimerLastRead = 0;
    SceneReady = 0;
    strcpy(ShownText, "Wait a Minute !!");
    RunLimit = {};
    SeedFixed = 1;
    dir = fs::temp_directory_path() / ("torvex-runner-test-" + std::to_string(getpid()));
    fs::create_directories(dir);
    std::vector<uint8_t> font = {'Z', 'G', 'L', '0'};
    font.resize(4 + 256 * 256, 235);
    std::vector<uint8_t> sprite = {'Z', 'O', 'R', '0', 8, 0, 8, 0, 0, 0, 8, 0, 0, 0, 8, 0};
    sprite.resize(16 + 64, 100);
    WriteFile(dir / "TORVEX32.ZGL", font);
    WriteFile(dir / "TORVEX32.ZOR", sprite);
    program = (dir / "torvex32").string();
    CreateFrameBuffer();
    AllocPlayfield();
    RunFlags = 0;
  }

  void TearDown() override {
    Effect.Close();
    Music.Close();
    if (AssetArena != nullptr) OnEnd();
    FreePlayfield();
    DestroyFrameBuffer();
    fs::remove_all(dir);
  }

  void Start() {
    Double::Clock = 1000;
    char* argv[] = {program.data(), nullptr};
    OnConfigure(1, argv);
    OnResume();
    OnStart();
  }

  // Ticks every 3 ms until the run limit ends the benchmark.
  void RunEvery3Ms() {
    for (int i = 0; i < 10'000'000 && !Double::Called("DestroyMainWindow"); ++i) {
      Double::Clock += 3;
      OnTick();
    }
  }

  fs::path dir;
  std::string program;
};

TEST_F(RateTest, ExactRateAtFourAndTenSecondsWhileTheWindowDividesByWholeSeconds) {
  // A frame every 3 ms is 3333.3 frames per ten seconds. The window divides by whole seconds:
  // 1334 frames at 4002 ms show 3335; 3334 frames at 10002 ms show 3334.
  const struct {
    int64_t ms;
    const char* shown;
  } cases[] = {{4000, "3335frames/10sec"}, {10000, "3334frames/10sec"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.ms);
    TearDown();
    SetUp();
    RunLimit.runningMs = c.ms;
    Start();
    RunEvery3Ms();
    RunRecord record{};
    record.started = record.complete = 1;
    record.frames = FrameCount;
    record.elapsedMs = RunLimit.endedAtMs;
    EXPECT_NEAR(record.elapsedMs, c.ms, 3);
    EXPECT_NEAR(ExactRate(record.frames, record.elapsedMs), 10000.0 / 3, 10000.0 / c.ms);
    EXPECT_STREQ(ShownText, c.shown);
    // The runner's headline is the exact rate, not the shown one.
    RunnerResult result;
    result.runs.push_back(record);
    EXPECT_EQ(HeadlineLine(result), "torvex32-bench: 3333 frames/10s (median of 1 run, cv 0.0%)");
  }
}

int pausesReported = 0;
void CountPause() { ++pausesReported; }

TEST_F(RateTest, AMeasurementRunReportsAPauseButNotTheCloseAtItsLimit) {
  pausesReported = 0;
  RunLimit.runningMs = 4000;
  RunLimit.paused = CountPause;
  Start();
  for (int i = 0; i < 100; ++i) {
    Double::Clock += 3;
    OnTick();
  }
  RunFlags = 2;  // the focus went elsewhere
  OnPause();
  EXPECT_EQ(pausesReported, 1);
  Double::Clock += 60000;
  RunFlags = 0;
  OnResume();
  RunEvery3Ms();
  // The paused minute is not running time; closing at the limit loses the focus once more.
  EXPECT_NEAR(RunLimit.endedAtMs, 4000, 3);
  OnPause();
  EXPECT_EQ(pausesReported, 1);
}

TEST_F(RateTest, OnlyFramesTheWindowSystemTookCountAndOnlyTheirTimesAreRecorded) {
  auto times = std::make_unique<FramePhaseTimes>();
  FrameTimings = times.get();
  RunLimit.runningMs = 4000;
  // Every tenth frame is refused, as while a window is being resized.
  int64_t copies = 0;
  Double::BlockCopyResult = [&copies] { return ++copies % 10 != 0; };
  Double::PlatformError = "the window surface could not be shown: resized";
  Start();
  RunEvery3Ms();
  FrameTimings = nullptr;
  EXPECT_EQ(RunLimit.presentFailed, 0);
  EXPECT_NEAR(RunLimit.endedAtMs, 4000, 3);
  EXPECT_EQ(copies, FrameCount);  // one copy per tick, nothing else presented
  EXPECT_EQ(RunLimit.framesNotShown, FrameCount / 10);
  EXPECT_EQ(RunLimit.framesShown + RunLimit.framesNotShown, FrameCount);
  EXPECT_STREQ(RunLimit.presentError, "the window surface could not be shown: resized");
  // The window still counts every tick (its rate follows the tick); the stages were timed only
  // for the frames that were shown, and a frame's length only when it was shown.
  EXPECT_EQ(times->viewport.total, RunLimit.framesShown);
  EXPECT_EQ(times->present.total, RunLimit.framesShown);
  EXPECT_EQ(times->frame.total, RunLimit.framesShown - 1);
}

TEST_F(RateTest, PresentingThatFailsForASecondEndsTheRunAsFailedAShorterFailureDoesNot) {
  // Refused from tick 100 to tick 300: 201 frames, 600 ms, and the run goes on.
  int64_t tick = 0;
  Double::BlockCopyResult = [&tick] { ++tick; return tick < 100 || tick > 300; };
  RunLimit.frames = 1000;
  Start();
  RunEvery3Ms();
  EXPECT_EQ(RunLimit.presentFailed, 0);
  EXPECT_EQ(RunLimit.framesShown, 1000);
  EXPECT_EQ(RunLimit.framesNotShown, 201);

  TearDown();
  SetUp();
  Double::BlockCopyResult = [] { return false; };
  Double::PlatformError = "no window surface to present into: Unknown window pixel format";
  RunLimit.frames = 1000;
  Start();
  RunEvery3Ms();
  // Never shown: the run ends after a second of running time, failed, with the reason.
  EXPECT_TRUE(Double::Called("DestroyMainWindow"));
  EXPECT_EQ(RunLimit.presentFailed, 1);
  EXPECT_EQ(RunLimit.framesShown, 0);
  EXPECT_GE(RunLimit.endedAtMs, 1000);  // a second after the first refused frame
  EXPECT_LE(RunLimit.endedAtMs, 1010);
  EXPECT_STREQ(RunLimit.presentError, Double::PlatformError.c_str());
}

std::vector<std::string> callsAtEnding;
void NoteEnding() { callsAtEnding = Double::Calls; }

TEST_F(RateTest, TheRunsEndingComesAfterItsLastFrameAndBeforeTheWindowCloses) {
  callsAtEnding.clear();
  RunLimit.frames = 50;
  RunLimit.ending = NoteEnding;
  Start();
  RunEvery3Ms();
  // Every frame of the run is in the window, and the window is still there.
  EXPECT_EQ(std::count_if(callsAtEnding.begin(), callsAtEnding.end(),
                          [](const std::string& c) { return c.rfind("BlockCopy", 0) == 0; }),
            50);
  EXPECT_TRUE(Double::Called("DestroyMainWindow"));
  for (const std::string& call : callsAtEnding) EXPECT_NE(call, "DestroyMainWindow");
}

TEST_F(RateTest, ExactlyTheRunsFramesAreTimedAndItsProgressIsKeptAsItGoes) {
  auto times = std::make_unique<FramePhaseTimes>();
  RunProgress progress{};
  FrameTimings = times.get();
  RunLimit.runningMs = 300;
  RunLimit.progress = &progress;
  Start();
  for (int i = 0; i < 10; ++i) {
    Double::Clock += 3;
    OnTick();
  }
  // Rewritten after every frame: a run that ends abruptly still leaves them.
  EXPECT_EQ(progress.frames, 10);
  EXPECT_EQ(progress.runningMs, 30);
  RunEvery3Ms();
  OnPause();  // the close at the limit presents the paused picture: no frame of the run
  FrameTimings = nullptr;
  EXPECT_EQ(times->count, FrameCount);
  EXPECT_EQ(progress.frames, FrameCount);
  EXPECT_EQ(progress.runningMs, RunLimit.endedAtMs);
}

TEST_F(RateTest, AStartThatFailedReportsNoPause) {
  pausesReported = 0;
  RunLimit.runningMs = 4000;
  RunLimit.paused = CountPause;
  fs::remove(dir / "TORVEX32.ZGL");
  Double::Clock = 1000;
  char* argv[] = {program.data(), nullptr};
  OnConfigure(1, argv);
  OnResume();
  OnStart();  // the font is missing: the benchmark closes without a frame
  OnPause();
  EXPECT_EQ(pausesReported, 0);
}

TEST_F(RateTest, ProgramPrintsTheShownTextAndTheExactRateAtItsEnd) {
  Start();
  for (int i = 0; i < 1500; ++i) {
    Double::Clock += 3;
    OnTick();
  }
  // Closing pauses first (the window loses the focus): the running time ends there. The
  // window divides by whole seconds (15000 / 4); the exact rate by 4.5 s.
  RunFlags = 1;
  OnPause();
  Double::Clock += 60000;
  testing::internal::CaptureStdout();
  PrintEndRate();
  std::string line = testing::internal::GetCapturedStdout();
  EXPECT_EQ(line,
            "torvex32: the window showed \"3750frames/10sec\"; exact rate 3333.3 frames/10s "
            "(1500 frames in 4.500 s of running time)\n");
  // A measurement run reports for itself.
  RunLimit.frames = 5;
  testing::internal::CaptureStdout();
  PrintEndRate();
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

TEST(RunnerStats, MeanMedianStddevAndCvOfAFixedSample) {
  // By hand: mean 25, deviations -15 -5 5 15, squares 500, /3 = 166.67, sqrt 12.910.
  RateStats even = ComputeStats({40, 10, 30, 20});
  EXPECT_DOUBLE_EQ(even.mean, 25);
  EXPECT_DOUBLE_EQ(even.median, 25);
  EXPECT_NEAR(even.stddev, 12.9099, 1e-4);
  EXPECT_NEAR(even.cv, 0.51640, 1e-5);
  // An outlier moves the mean, not the median.
  RateStats odd = ComputeStats({3, 100, 1, 2, 4});
  EXPECT_DOUBLE_EQ(odd.mean, 22);
  EXPECT_DOUBLE_EQ(odd.median, 3);
  RateStats one = ComputeStats({5});
  EXPECT_EQ(one.stddev, 0);
  EXPECT_EQ(one.cv, 0);
  EXPECT_EQ(ComputeStats({}).mean, 0);
}

TEST(RunnerStats, HistogramPercentilesAreOrderedAndWithinABucketOfTheTruth) {
  auto h = std::make_unique<TimeHistogram>();
  // 1,000 frames of 100 µs to 199.9 µs, ten of 5 ms, one of 80 ms.
  for (int i = 0; i < 1000; ++i) RecordTime(*h, 100'000 + 100 * i);
  for (int i = 0; i < 10; ++i) RecordTime(*h, 5'000'000);
  RecordTime(*h, 80'000'000);
  int64_t p50 = TimePercentile(*h, 0.5), p99 = TimePercentile(*h, 0.99);
  EXPECT_NEAR(p50, 150'500, 150'500 / 64.0);
  EXPECT_NEAR(p99, 5'000'000, 5'000'000 / 64.0);
  EXPECT_EQ(TimePercentile(*h, 1.0), 80'000'000);
  EXPECT_EQ(h->max, 80'000'000);
  EXPECT_LE(TimePercentile(*h, 0.0), p50);
  EXPECT_LE(p50, p99);
  EXPECT_EQ(h->total, 1011);
  // Exact below 64 ns; every bucket's middle lies in that bucket; the largest time fits.
  for (int64_t ns : {0, 1, 63}) EXPECT_EQ(TimeBucketMiddle(TimeBucket(ns)), ns);
  for (int64_t ns = 64; ns < (int64_t{1} << 40); ns = ns * 3 / 2 + 7)
    ASSERT_EQ(TimeBucket(TimeBucketMiddle(TimeBucket(ns))), TimeBucket(ns)) << ns;
  EXPECT_EQ(TimeBucket(INT64_MAX), TimeBucketCount - 1);
  // The record's size does not depend on how many frames it holds.
  EXPECT_LT(sizeof(FramePhaseTimes), 200'000u);
}

TEST(RunnerOptions, AcceptedForms) {
  struct Case {
    std::vector<std::string> args;
    double seconds;
    int64_t frames;
    int32_t repeat;
  } cases[] = {
      {{}, 10, 0, 3},
      {{"--seconds", "2.5"}, 2.5, 0, 3},
      {{"--seconds=4", "--repeat=5"}, 4, 0, 5},
      {{"--frames", "1e6", "--repeat", "1"}, 0, 1'000'000, 1},
      {{"--frames=" + std::to_string(MaxRunFrames)}, 0, MaxRunFrames, 3},
      {{"--frames", "1e0001"}, 0, 10, 3},  // leading zeros of the exponent say nothing
      {{"--frames", "5e000"}, 0, 5, 3},
      {{"--seconds", "0.001"}, 0.001, 0, 3},  // one millisecond, what the clock counts
  };
  for (const Case& c : cases) {
    RunnerOptions o;
    std::string why;
    ASSERT_TRUE(ParseRunnerOptions(c.args, o, why)) << why;
    EXPECT_EQ(o.seconds, c.seconds);
    EXPECT_EQ(o.frames, c.frames);
    EXPECT_EQ(o.repeat, c.repeat);
  }
  RunnerOptions o;
  std::string why;
  ASSERT_TRUE(ParseRunnerOptions({"--seed=4294967295", "--window", "--video", "x11",
                                  "--present=sdl", "--json", "--output", "r.json",
                                  "--no-screen-check"},
                                 o, why));
  EXPECT_TRUE(o.seeded && o.window && o.json && o.noScreenCheck);
  EXPECT_EQ(o.seed, 4294967295u);
  EXPECT_EQ(o.video, "x11");
  EXPECT_EQ(o.present, "sdl");
  EXPECT_EQ(o.output, "r.json");
}

TEST(RunnerOptions, RefusedWithTheOptionNamed) {
  const struct {
    std::vector<std::string> args;
    const char* why;
  } cases[] = {
      {{"--frames", "2.5"}, "--frames: '2.5' is not a whole number"},
      {{"--frames", "1e10", "--seconds", "3"}, "--seconds and --frames: give one of them"},
      {{"--frames", std::to_string(MaxRunFrames + 1)}, "--frames: '"},
      {{"--frames", "99999999999999999999999"}, "--frames: '"},
      {{"--frames", "0"}, "--frames: '0'"},
      {{"--frames", "-3"}, "--frames: '-3'"},
      {{"--seconds", "0"}, "--seconds: '0'"},
      {{"--seconds", "0.0005"}, "--seconds: '0.0005'"},  // would run without a limit
      {{"--seconds", "0.0009"}, "--seconds: '0.0009'"},
      {{"--seconds", "1e-9"}, "--seconds: '1e-9'"},
      {{"--seconds", "1e400"}, "--seconds: '1e400'"},
      {{"--seconds", "nan"}, "--seconds: 'nan'"},
      {{"--seed", "4294967296"}, "--seed: '4294967296'"},
      {{"--repeat", "0"}, "--repeat: '0'"},
      {{"--repeat", "2.0"}, "--repeat: '2.0'"},
      {{"--present", "gl"}, "--present: 'gl' is not shm or sdl"},
      {{"--seconds"}, "--seconds: needs a value"},
      {{"--json=yes"}, "--json: takes no value"},
      {{"--repeat", "2", "--repeat", "3"}, "--repeat: given twice"},
      {{"--speed", "3"}, "--speed: unknown option"},
      {{"fast"}, "fast: unknown argument"},
      {{"--window", "--video", "dummy"}, "--window and --video dummy"},
  };
  for (const auto& c : cases) {
    RunnerOptions o;
    std::string why;
    EXPECT_FALSE(ParseRunnerOptions(c.args, o, why)) << c.why;
    EXPECT_EQ(why.rfind(c.why, 0), 0u) << why;
  }
}

// A record of a finished run with frames of 200 µs split 20/5/175.
RunRecord FinishedRun(int64_t frames, int64_t elapsedMs, bool complete) {
  RunRecord r{};
  r.started = 1;
  r.complete = complete ? 1 : 0;
  r.frames = frames;
  r.elapsedMs = elapsedMs;
  strcpy(r.shownText, "8000frames/10sec");
  strcpy(r.presentPath, "x11-shm");
  r.cpuNsPerFrame = 150'000;
  r.switchesPerFrame = 0.5;
  strcpy(r.backend.libraryVersion, "SDL 2.26.5");
  strcpy(r.backend.displayServer, "The X.Org Foundation 12101007");
  for (int i = 0; i < 100; ++i) {
    RecordTime(r.times.frame, 200'000);
    RecordTime(r.times.viewport, 20'000);
    RecordTime(r.times.sprites, 5'000);
    RecordTime(r.times.present, 175'000);
  }
  return r;
}

TEST(RunnerResultJson, KeysOfSchemaOneAndTheirAgreement) {
  auto result = std::make_unique<RunnerResult>();
  result->runs.push_back(FinishedRun(4000, 5000, true));   // 8000 per 10 s
  result->runs.push_back(FinishedRun(4400, 5000, true));   // 8800
  result->runs.push_back(FinishedRun(1000, 2000, false));  // stopped halfway
  result->complete = false;
  result->environment = CollectEnvironment();
  RunnerOptions options;
  std::string json = ResultJson(options, *result);
  for (const char* key :
       {"\"schema\": 1,", "\"rate_per_10s\": 8400.0,", "\"shown_text\": \"8000frames/10sec\"",
        "\"frames\": 9400,", "\"elapsed_ms\": 12000,", "\"complete\": false,",
        "\"stats\": {\"mean\": 8400.0, \"median\": 8400.0, \"stddev\": 565.7, \"cv\": 0.0673}",
        "\"frame_ns\": ", "\"viewport_ns\": ", "\"sprites_ns\": ", "\"present_ns\": ",
        "\"frame_ns_p99\": ", "\"frame_ns_max\": 200000,", "\"cpu_ns_per_frame\": 150000,",
        "\"switches_per_frame\": 0.5000,", "\"present_path\": \"x11-shm\",",
        "\"version\": \"", "\"commit\": \"", "\"build_type\": \"", "\"compiler\": \"",
        "\"cpu_model\": \"", "\"cores\": ", "\"kernel\": \"", "\"sdl_version\": \"SDL 2.26.5\"",
        "\"video_driver\": ", "\"audio_driver\": ", "\"present_path\": \"x11-shm\", \"display",
        "\"display_server\": \"The X.Org Foundation 12101007\"", "\"screen\": \"",
        "\"music_opened\": false", "\"effect_opened\": false", "\"date\": \"20"})
    EXPECT_NE(json.find(key), std::string::npos) << key << "\n" << json;
  // Each run with its own exact rate; the stopped one marked.
  EXPECT_NE(json.find("{\"rate_per_10s\": 5000.0, \"frames\": 1000, \"elapsed_ms\": 2000, "
                      "\"complete\": false"),
            std::string::npos);
  // The stages' medians add up to the frame's (within the histogram's bucket width).
  auto value = [&](const std::string& key) {
    return std::stod(json.substr(json.find("\"" + key + "\": ") + key.size() + 4));
  };
  EXPECT_NEAR(value("viewport_ns") + value("sprites_ns") + value("present_ns"),
              value("frame_ns"), value("frame_ns") / 32);
  EXPECT_EQ(HeadlineLine(*result),
            "torvex32-bench: 8400 frames/10s (median of 2 runs, cv 6.7%) interrupted");
}

TEST(RunnerResultJson, TheScreenCheckOfEachRunAndOfAllAndAMismatchMarksTheRate) {
  auto result = std::make_unique<RunnerResult>();
  result->runs.push_back(FinishedRun(4000, 5000, true));
  result->runs.push_back(FinishedRun(4400, 5000, true));
  result->runs[0].screen = ScreenCheck{ScreenMatch, 196608, 0, ""};
  result->runs[1].screen = ScreenCheck{ScreenMatch, 196608, 0, ""};
  result->runs[1].framesNotShown = 3;
  RunnerOptions options;
  std::string json = ResultJson(options, *result);
  for (const char* key : {"\"rate_valid\": true,", "\"frames_not_presented\": 3,",
                          "\"screen_check\": {\"result\": \"match\", \"pixels\": 196608},",
                          "\"frames_not_presented\": 0, \"screen_check\": {\"result\": \"match\""})
    EXPECT_NE(json.find(key), std::string::npos) << key << "\n" << json;
  EXPECT_EQ(HeadlineLine(*result), "torvex32-bench: 8400 frames/10s (median of 2 runs, cv 6.7%)");

  // One window that did not show its frame: the whole result says so, the rate stays.
  result->runs[1].screen = ScreenCheck{ScreenMismatch, 196608, 2048, "the first at (10, 20)"};
  json = ResultJson(options, *result);
  for (const char* key :
       {"\"rate_per_10s\": 8400.0,", "\"rate_valid\": false,",
        "\"screen_check\": {\"result\": \"mismatch\", \"differing_pixels\": 2048, \"pixels\": "
        "196608, \"first_difference\": \"the first at (10, 20)\"},"})
    EXPECT_NE(json.find(key), std::string::npos) << key << "\n" << json;
  EXPECT_EQ(CombinedScreenCheck(*result).result, ScreenMismatch);
  EXPECT_EQ(HeadlineLine(*result),
            "torvex32-bench: 8400 frames/10s (median of 2 runs, cv 6.7%); FAILED: the screen did "
            "not show the frame (2048 of 196608 pixels differ)");

  // Nothing to read back, and the check turned off.
  for (RunRecord& run : result->runs)
    run.screen = ScreenCheck{ScreenNotAvailable, 0, 0, "the dummy video driver shows nothing"};
  json = ResultJson(options, *result);
  EXPECT_NE(json.find("\"screen_check\": {\"result\": \"not available\", \"reason\": \"the "
                      "dummy video driver shows nothing\"},"),
            std::string::npos)
      << json;
  EXPECT_NE(json.find("\"rate_valid\": true,"), std::string::npos);
  options.noScreenCheck = true;
  json = ResultJson(options, *result);
  EXPECT_NE(json.find("\"screen_check\": {\"result\": \"off\"},"), std::string::npos) << json;
}

TEST(RunnerResultJson, ARunOfNoTimeStaysOutOfTheStatisticsAndSaysSo) {
  auto result = std::make_unique<RunnerResult>();
  result->runs.push_back(FinishedRun(4000, 5000, true));
  result->runs.push_back(FinishedRun(1, 0, true));  // one frame within the same millisecond
  result->runs.push_back(FinishedRun(4400, 5000, true));
  RunnerOptions options;
  std::string json = ResultJson(options, *result);
  EXPECT_NE(json.find("\"stats\": {\"mean\": 8400.0, \"median\": 8400.0,"), std::string::npos)
      << json;
  EXPECT_NE(json.find("\"elapsed_ms\": 0, \"complete\": true, \"in_stats\": false"),
            std::string::npos)
      << json;
  EXPECT_EQ(MeasuredRuns(*result).size(), 2u);
}

TEST(RunnerResultJson, StringsOfTheMachineAreEscapedAndMadeUtf8) {
  auto result = std::make_unique<RunnerResult>();
  result->runs.push_back(FinishedRun(4000, 5000, true));
  result->environment = CollectEnvironment();
  result->environment.cpuModel = std::string("A \"quoted\" \\ CPU\x01 \xff end");
  RunnerOptions options;
  std::string json = ResultJson(options, *result);
  EXPECT_NE(json.find("\"cpu_model\": \"A \\\"quoted\\\" \\\\ CPU\\u0001 \xEF\xBF\xBD end\""),
            std::string::npos)
      << json;
  // Unknown figures are null, not 0.
  result->runs[0].cpuNsPerFrame = result->runs[0].switchesPerFrame = std::nan("");
  json = ResultJson(options, *result);
  EXPECT_NE(json.find("\"cpu_ns_per_frame\": null, \"switches_per_frame\": null, "),
            std::string::npos)
      << json;
}

}  // namespace
