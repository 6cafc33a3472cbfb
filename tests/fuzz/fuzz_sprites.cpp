// fuzz_sprites.cpp — libFuzzer target: LoadSpriteFile against the reference decoder.
#include "tests/fuzz/fuzz_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return FuzzLoader(data, size, true);
}
