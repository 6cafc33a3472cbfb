// present_bench.cpp — the conversion of a frame into 32-bit window pixels: our conversion in
// every method this machine has, SDL's own blit from an 8-bit palettised surface to the window
// format, and memcpy of the 786,432 output bytes, measured in one run. Prints each median as a
// ratio to memcpy and to SDL's blit (targets: at most 2 times memcpy, at most half the blit).
#include <SDL.h>
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "torvex_version.h"

namespace {

constexpr int32_t SourceWidth = 516, Height = 384, Width = 512;
constexpr size_t OutputBytes = size_t(Width) * Height * 4;  // 786,432

std::vector<uint8_t> frame(SourceWidth* Height);  // rows bottom-up, as the FrameBuffer
std::vector<uint32_t> output(Width* Height);
std::vector<uint32_t> copySource(Width* Height);
uint32_t table[256];
SDL_Surface* indexed = nullptr;  // the same frame, rows top-down, for SDL's blit
SDL_Surface* window = nullptr;   // the window surface's format

void SetUpFrame() {
  std::mt19937 random(5);
  // A frame like the benchmark's: runs of tiles, not noise, but every index in use.
  for (int32_t y = 0; y < Height; ++y)
    for (int32_t x = 0; x < SourceWidth; ++x)
      frame[y * SourceWidth + x] =
          static_cast<uint8_t>((x / 16 * 37 + y / 16 * 11) ^ (random() & 3));
  SDL_Color colours[256];
  for (int i = 0; i < 256; ++i) {
    colours[i] = {uint8_t(random()), uint8_t(random()), uint8_t(random()), 255};
    table[i] = uint32_t(colours[i].r) << 16 | uint32_t(colours[i].g) << 8 | colours[i].b;
  }
  indexed = SDL_CreateRGBSurfaceWithFormat(0, SourceWidth, Height, 8, SDL_PIXELFORMAT_INDEX8);
  SDL_SetPaletteColors(indexed->format->palette, colours, 0, 256);
  for (int32_t y = 0; y < Height; ++y)
    memcpy(static_cast<uint8_t*>(indexed->pixels) + y * indexed->pitch,
           &frame[(Height - 1 - y) * SourceWidth], SourceWidth);
  window = SDL_CreateRGBSurfaceWithFormat(0, Width, Height, 32, SDL_PIXELFORMAT_RGB888);
}

void Convert(benchmark::State& state) {
  auto method = static_cast<ConvertMethod>(state.range(0));
  if (!ChooseConvertMethod(method)) {
    state.SkipWithError("not available on this machine");
    return;
  }
  const uint8_t* top = &frame[(Height - 1) * SourceWidth + 1];  // ViewportShift 1
  for (auto _ : state) {
    ConvertIndexedRows(output.data(), Width * 4, top, -SourceWidth, Width, Height, table);
    benchmark::DoNotOptimize(output.data());
    benchmark::ClobberMemory();
  }
}

void SdlBlit(benchmark::State& state) {
  SDL_Rect from{1, 0, Width, Height};
  for (auto _ : state) {
    SDL_BlitSurface(indexed, &from, window, nullptr);
    benchmark::DoNotOptimize(window->pixels);
    benchmark::ClobberMemory();
  }
}

void Memcpy(benchmark::State& state) {
  for (auto _ : state) {
    memcpy(output.data(), copySource.data(), OutputBytes);
    benchmark::DoNotOptimize(output.data());
    benchmark::ClobberMemory();
  }
}

BENCHMARK(Convert)->DenseRange(ConvertPortable, ConvertLastMethod);
BENCHMARK(SdlBlit);
BENCHMARK(Memcpy);

// Keeps the median of every benchmark for the ratio lines printed after the run.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  std::vector<std::pair<std::string, double>> medians;
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs)
      if (run.aggregate_name == "median" && !run.error_occurred)
        medians.emplace_back(run.run_name.function_name + "/" + run.run_name.args,
                             run.GetAdjustedRealTime());
  }
};

std::string Describe(const std::string& name) {
  if (name.rfind("Convert/", 0) != 0) return name.substr(0, name.find('/'));
  return std::string("Convert ") +
         ConvertMethodName(static_cast<ConvertMethod>(std::stoi(name.substr(8))));
}

}  // namespace

int main(int argc, char** argv) {
  if (AnswerVersion(argc, argv, "present_bench")) return 0;
  // Medians of several repetitions: the machine is shared and single runs are noisy.
  std::vector<char*> arguments(argv, argv + argc);
  std::string repetitions = "--benchmark_repetitions=9",
              onlyAggregates = "--benchmark_report_aggregates_only=true";
  arguments.push_back(repetitions.data());
  arguments.push_back(onlyAggregates.data());
  int count = static_cast<int>(arguments.size());
  ConvertMethod chosen = CurrentConvertMethod();
  benchmark::Initialize(&count, arguments.data());
  SetUpFrame();
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  double copy = 0, blit = 0;
  for (auto& [name, time] : reporter.medians) {
    if (name.rfind("Memcpy", 0) == 0) copy = time;
    if (name.rfind("SdlBlit", 0) == 0) blit = time;
  }
  if (copy <= 0 || blit <= 0) return 0;
  printf("\n512x384 frame to 32-bit pixels (median of repetitions); the program uses %s\n",
         ConvertMethodName(chosen));
  printf("%-36s %10s %10s %10s\n", "", "ns", "/memcpy", "/SDL blit");
  for (auto& [name, time] : reporter.medians)
    printf("%-36s %10.0f %10.3f %10.3f\n", Describe(name).c_str(), time, time / copy, time / blit);
  printf("targets: conversion at most 2 times memcpy and at most 0.5 times SDL's blit\n");
  SDL_FreeSurface(indexed);
  SDL_FreeSurface(window);
  return 0;
}
