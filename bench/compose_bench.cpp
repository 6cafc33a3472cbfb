// compose_bench.cpp — the cost of composing one frame, against a plain memcpy of the
// FrameBuffer's 198,144 bytes measured in the same run. Prints each median as a ratio to it.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "graphics/graphics.h"
#include "torvex_version.h"

namespace {

// The four copy variants: neither wrap, horizontal only, vertical only, both.
const int Origins[4][2] = {{100, 100}, {1000, 100}, {100, 900}, {1000, 900}};
const char* const VariantNames[4] = {"none", "horizontal", "vertical", "both"};

std::vector<uint8_t> SceneImages[16];

std::vector<uint8_t> MakeImage(int width, int height, std::mt19937& random) {
  std::vector<uint8_t> image(12 + width * height);
  int fields[6] = {width, height, 0, width, 0, height};
  for (int i = 0; i < 6; ++i) {
    image[2 * i] = static_cast<uint8_t>(fields[i]);
    image[2 * i + 1] = static_cast<uint8_t>(fields[i] >> 8);
  }
  // About a quarter of the pixels transparent, as in drawn sprites and glyph backgrounds.
  for (size_t p = 12; p < image.size(); ++p) image[p] = random() % 4 == 0 ? 0 : 1 + random() % 255;
  return image;
}

// The benchmark's scene: fourteen 32 by 32 sprites along the borders, the 64 by 16 "EXIT" and
// the 256 by 16 message sprite, all visible.
void SetUpScene() {
  CreateFrameBuffer();
  AllocPlayfield();
  ClearPlayfield();
  std::mt19937 random(7);
  for (int i = 0; i < PlayfieldBytes; ++i) Playfield[i] = static_cast<uint8_t>(random());
  for (int slot = 0; slot < 16; ++slot) {
    int width = slot < 14 ? 32 : slot == 14 ? 64 : 256;
    int height = slot < 14 ? 32 : 16;
    SceneImages[slot] = MakeImage(width, height, random);
    AttachImage(slot, SceneImages[slot].data());
  }
  for (int slot = 0; slot < 14; ++slot)
    PlaceSprite(slot, slot < 7 ? 16 + slot * 68 : 470, slot < 7 ? 8 : 8 + (slot - 7) * 52);
  PlaceSprite(14, 224, 184);
  PlaceSprite(15, 128, 350);
  ShowSprites(0, 15);
}

void Memcpy(benchmark::State& state) {
  static std::vector<uint8_t> source(FrameBytes, 1), destination(FrameBytes);
  for (auto _ : state) {
    memcpy(destination.data(), source.data(), FrameBytes);
    benchmark::ClobberMemory();
  }
}

void CopyViewportVariant(benchmark::State& state) {
  ScrollOrigin = {Origins[state.range(0)][0], Origins[state.range(0)][1]};
  for (auto _ : state) {
    CopyViewport();
    benchmark::ClobberMemory();
  }
}

void DrawSpritesScene(benchmark::State& state) {
  ScrollOrigin = {Origins[0][0], Origins[0][1]};
  CopyViewport();
  for (auto _ : state) {
    DrawSprites();
    benchmark::ClobberMemory();
  }
}

void ComposeScene(benchmark::State& state) {
  ScrollOrigin = {Origins[state.range(0)][0], Origins[state.range(0)][1]};
  for (auto _ : state) {
    CopyViewport();
    DrawSprites();
    benchmark::ClobberMemory();
  }
}

BENCHMARK(Memcpy);
BENCHMARK(CopyViewportVariant)->DenseRange(0, 3);
BENCHMARK(DrawSpritesScene);
BENCHMARK(ComposeScene)->DenseRange(0, 3);

// Keeps the median of every benchmark for the ratio lines printed after the run.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  std::vector<std::pair<std::string, double>> medians;
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs)
      if (run.aggregate_name == "median")
        medians.emplace_back(run.run_name.function_name + "/" + run.run_name.args,
                             run.GetAdjustedRealTime());
  }
};

std::string Describe(const std::string& name) {
  size_t slash = name.find('/');
  std::string function = name.substr(0, slash), args = name.substr(slash + 1);
  if (args.empty()) return function;
  return function + " " + VariantNames[std::stoi(args)];
}

}  // namespace

int main(int argc, char** argv) {
  if (AnswerVersion(argc, argv, "compose_bench")) return 0;
  // Medians of several repetitions: the machine is shared and single runs are noisy. The
  // repetitions of all benchmarks are interleaved at random and each is warmed up first, so
  // that a slow spell of the machine or a cold cache does not fall on one of them alone.
  std::vector<char*> arguments(argv, argv + argc);
  std::string options[] = {"--benchmark_repetitions=15", "--benchmark_report_aggregates_only=true",
                           "--benchmark_enable_random_interleaving=true",
                           "--benchmark_min_warmup_time=0.02"};
  for (std::string& option : options) arguments.insert(arguments.begin() + 1, option.data());
  int count = static_cast<int>(arguments.size());
  benchmark::Initialize(&count, arguments.data());
  SetUpScene();
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  double baseline = 0;
  for (auto& [name, time] : reporter.medians)
    if (name.rfind("Memcpy", 0) == 0) baseline = time;
  if (baseline <= 0) return 0;
  std::sort(reporter.medians.begin(), reporter.medians.end());  // interleaving mixed the order
  printf("\nratio to memcpy of %d bytes (median of repetitions; targets: copy 1.2, compose 1.5)\n",
         FrameBytes);
  for (auto& [name, time] : reporter.medians)
    printf("ratio %-28s %6.3f  (%.0f ns)\n", Describe(name).c_str(), time / baseline, time);
  DestroyFrameBuffer();
  return 0;
}
