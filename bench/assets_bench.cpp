// assets_bench.cpp — the font and sprite loaders on our data files, packed as shipped and in
// their plain form: one whole load per iteration into a fresh arena position.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <vector>

#include "assets/assets.h"
#include "tools/asset_tool.h"
#include "torvex_version.h"

namespace {

// The plain form of a data file, written once beside the temporary files.
std::string PlainCopy(const char* path, const char* name) {
  AssetData asset;
  std::string why;
  if (!LoadAsset(path, asset, why)) return path;
  const std::vector<uint8_t> plain = EncodePlain(asset);
  const std::string copy = std::string("/tmp/torvex_bench_") + name;
  std::FILE* file = std::fopen(copy.c_str(), "wb");
  if (file == nullptr) return path;
  std::fwrite(plain.data(), 1, plain.size(), file);
  std::fclose(file);
  return copy;
}

void LoadFont(benchmark::State& state, std::string path) {
  std::vector<uint8_t> arena(AssetArenaSize);
  int64_t bytes = 0;
  for (auto _ : state) {
    uint8_t* cursor = arena.data();
    const int32_t count =
        LoadFontFile(path.c_str(), cursor, arena.data(), arena.data() + arena.size());
    if (count == 0) state.SkipWithError("the font did not load");
    bytes += cursor - arena.data();
    benchmark::DoNotOptimize(arena.data());
  }
  state.SetBytesProcessed(bytes);
}

void LoadSprites(benchmark::State& state, std::string path) {
  std::vector<uint8_t> arena(AssetArenaSize);
  uint8_t* table[128] = {};
  int64_t bytes = 0;
  for (auto _ : state) {
    uint8_t* cursor = arena.data();
    if (LoadSpriteFile(path.c_str(), cursor, table, 128, arena.data(),
                       arena.data() + arena.size()) == 0) {
      state.SkipWithError("the sprites did not load");
    }
    bytes += cursor - arena.data();
    benchmark::DoNotOptimize(arena.data());
  }
  state.SetBytesProcessed(bytes);
}

}  // namespace

int main(int argc, char** argv) {
  if (AnswerVersion(argc, argv, "assets_bench")) return 0;
  benchmark::RegisterBenchmark("LoadFontFile/packed", LoadFont, std::string(TORVEX_FONT_FILE));
  benchmark::RegisterBenchmark("LoadFontFile/plain", LoadFont,
                               PlainCopy(TORVEX_FONT_FILE, "font.zgl"));
  benchmark::RegisterBenchmark("LoadSpriteFile/packed", LoadSprites,
                               std::string(TORVEX_SPRITE_FILE));
  benchmark::RegisterBenchmark("LoadSpriteFile/plain", LoadSprites,
                               PlainCopy(TORVEX_SPRITE_FILE, "sprites.zor"));
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
