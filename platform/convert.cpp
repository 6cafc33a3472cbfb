// convert.cpp — palette indices to 32-bit screen pixels through a 256-entry table, for screens
// without a palette: the portable loop and the vector variants this machine may run; the
// 16-bit form for screens of 15 and 16 bits; and the plain copy for screens with a palette.
//
// Every variant is exact for every table. The vector ones are compiled for their instruction
// sets function by function, and the fastest that the processor has is found by measuring
// them once at run time, so the program runs anywhere at the best speed it can.
#include <immintrin.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstring>

#include "platform/platform.h"

namespace {

using RowConverter = void (*)(uint32_t* out, const uint8_t* in, int32_t width,
                              const uint32_t* table);

void ConvertRowPortable(uint32_t* out, const uint8_t* in, int32_t width, const uint32_t* table) {
  for (int32_t x = 0; x < width; ++x) out[x] = table[in[x]];
}

// Eight pixels per gather: the indices are widened to 32 bits and looked up in the table.
__attribute__((target("avx2"))) void ConvertRowGather(uint32_t* out, const uint8_t* in,
                                                      int32_t width, const uint32_t* table) {
  int32_t x = 0;
  for (; x + 8 <= width; x += 8) {
    __m128i bytes = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(in + x));
    __m256i indices = _mm256_cvtepu8_epi32(bytes);
    __m256i pixels = _mm256_i32gather_epi32(reinterpret_cast<const int*>(table), indices, 4);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + x), pixels);
  }
  for (; x < width; ++x) out[x] = table[in[x]];
}

__attribute__((target("avx512f"))) void ConvertRowGather512(uint32_t* out, const uint8_t* in,
                                                            int32_t width, const uint32_t* table) {
  int32_t x = 0;
  for (; x + 16 <= width; x += 16) {
    __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + x));
    // The masked forms start from zero rather than from an undefined register.
    __m512i indices = _mm512_maskz_cvtepu8_epi32(0xFFFF, bytes);
    __m512i pixels = _mm512_mask_i32gather_epi32(_mm512_setzero_si512(), 0xFFFF, indices, table, 4);
    _mm512_storeu_si512(out + x, pixels);
  }
  for (; x < width; ++x) out[x] = table[in[x]];
}

// The byte-lookup variant splits the table into its four byte planes (blue, green, red, top),
// each 256 bytes held in four registers, and looks up 64 indices per plane with two
// two-register byte permutes (the low 7 bits of an index) and a blend on its top bit.
struct BytePlanes {
  alignas(64) uint8_t plane[4][256];
  const uint32_t* madeFrom = nullptr;  // the table the planes were split from
  uint32_t tableCopy[256];             // and its content then, to notice a changed table
};
BytePlanes planes;

void SplitTable(const uint32_t* table) {
  if (planes.madeFrom == table && memcmp(planes.tableCopy, table, sizeof planes.tableCopy) == 0)
    return;
  for (int i = 0; i < 256; ++i)
    for (int b = 0; b < 4; ++b) planes.plane[b][i] = static_cast<uint8_t>(table[i] >> (8 * b));
  memcpy(planes.tableCopy, table, sizeof planes.tableCopy);
  planes.madeFrom = table;
}

#define VBMI_TARGET __attribute__((target("avx512f,avx512bw,avx512vbmi")))

// The unpacks below interleave within 128-bit lanes: unpacked register k holds, in lane L,
// the pixels 16L + 4k .. 16L + 4k + 3 of the permuted indices. Permuting the indices first
// (4-byte groups transposed as a 4 by 4 matrix) makes register k hold pixels 16k .. 16k + 15.
VBMI_TARGET __m512i LaneOrder() {
  alignas(64) uint8_t order[64];
  for (int lane = 0; lane < 4; ++lane)
    for (int k = 0; k < 4; ++k)
      for (int j = 0; j < 4; ++j) order[lane * 16 + k * 4 + j] = uint8_t(k * 16 + lane * 4 + j);
  return _mm512_load_si512(order);
}

VBMI_TARGET inline __m512i LookUpPlane(const __m512i* t, __m512i idx, __mmask64 high) {
  __m512i low = _mm512_permutex2var_epi8(t[0], idx, t[1]);
  __m512i top = _mm512_permutex2var_epi8(t[2], idx, t[3]);
  return _mm512_mask_blend_epi8(high, low, top);
}

// 64 indices to 64 pixels; the last group stores only its first count pixels.
VBMI_TARGET inline void ConvertBlock(uint32_t* out, __m512i idx, const __m512i (*t)[4],
                                     __m512i order, int32_t count) {
  idx = _mm512_maskz_permutexvar_epi8(~0ull, order, idx);
  __mmask64 high = _mm512_movepi8_mask(idx);
  __m512i b = LookUpPlane(t[0], idx, high), g = LookUpPlane(t[1], idx, high);
  __m512i r = LookUpPlane(t[2], idx, high), a = LookUpPlane(t[3], idx, high);
  __m512i bgLow = _mm512_unpacklo_epi8(b, g), bgHigh = _mm512_unpackhi_epi8(b, g);
  __m512i raLow = _mm512_unpacklo_epi8(r, a), raHigh = _mm512_unpackhi_epi8(r, a);
  __m512i pixels[4] = {_mm512_unpacklo_epi16(bgLow, raLow), _mm512_unpackhi_epi16(bgLow, raLow),
                       _mm512_unpacklo_epi16(bgHigh, raHigh),
                       _mm512_unpackhi_epi16(bgHigh, raHigh)};
  if (count == 64) {
    for (int k = 0; k < 4; ++k) _mm512_storeu_si512(out + 16 * k, pixels[k]);
    return;
  }
  for (int k = 0; k < 4 && count > 16 * k; ++k) {
    int32_t left = count - 16 * k < 16 ? count - 16 * k : 16;
    _mm512_mask_storeu_epi32(out + 16 * k, static_cast<__mmask16>((1u << left) - 1), pixels[k]);
  }
}

VBMI_TARGET void ConvertRowByteLookup(uint32_t* out, const uint8_t* in, int32_t width,
                                      const uint32_t* table) {
  // The planes are split once per block (ConvertIndexedRows), not per row.
  (void)table;
  __m512i t[4][4];
  for (int b = 0; b < 4; ++b)
    for (int q = 0; q < 4; ++q) t[b][q] = _mm512_load_si512(planes.plane[b] + 64 * q);
  __m512i order = LaneOrder();
  int32_t x = 0;
  for (; x + 64 <= width; x += 64) ConvertBlock(out + x, _mm512_loadu_si512(in + x), t, order, 64);
  if (x < width) {
    int32_t count = width - x;
    __m512i idx = _mm512_maskz_loadu_epi8((1ull << count) - 1, in + x);
    ConvertBlock(out + x, idx, t, order, count);
  }
}

#if defined(__x86_64__) || defined(__i386__) || defined(_M_X64)
// Eight table lookups of the scalar kind assembled into one 32-byte store: on processors whose
// gathers are slow (and without the byte permutes above) the lookups are cheap, and what limits
// the plain loop is its one store per pixel.
__attribute__((target("avx2"))) void ConvertRowAssemble(uint32_t* out, const uint8_t* in,
                                                        int32_t width, const uint32_t* table) {
  int32_t x = 0;
  for (; x + 8 <= width; x += 8) {
    uint64_t v;
    memcpy(&v, in + x, 8);
    __m128i low = _mm_cvtsi32_si128(static_cast<int>(table[v & 255]));
    low = _mm_insert_epi32(low, static_cast<int>(table[(v >> 8) & 255]), 1);
    low = _mm_insert_epi32(low, static_cast<int>(table[(v >> 16) & 255]), 2);
    low = _mm_insert_epi32(low, static_cast<int>(table[(v >> 24) & 255]), 3);
    __m128i high = _mm_cvtsi32_si128(static_cast<int>(table[(v >> 32) & 255]));
    high = _mm_insert_epi32(high, static_cast<int>(table[(v >> 40) & 255]), 1);
    high = _mm_insert_epi32(high, static_cast<int>(table[(v >> 48) & 255]), 2);
    high = _mm_insert_epi32(high, static_cast<int>(table[v >> 56]), 3);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + x), _mm256_set_m128i(high, low));
  }
  for (; x < width; ++x) out[x] = table[in[x]];
}
#endif

struct MethodInfo {
  RowConverter convert;
  const char* name;
};
const MethodInfo methods[] = {{ConvertRowPortable, "portable"},
                              {ConvertRowGather, "avx2-gather"},
                              {ConvertRowGather512, "avx512-gather"},
                              {ConvertRowByteLookup, "avx512vbmi-byte-lookup"},
                              {ConvertRowAssemble, "avx2-assemble"}};

bool Available(ConvertMethod method) {
  __builtin_cpu_init();
  switch (method) {
    case ConvertPortable:
      return true;
    case ConvertGather:
      return __builtin_cpu_supports("avx2");
    case ConvertGather512:
      return __builtin_cpu_supports("avx512f");
    case ConvertByteLookup:
      return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
             __builtin_cpu_supports("avx512vbmi");
    case ConvertAssemble:
      return __builtin_cpu_supports("avx2");
  }
  return false;
}

// How long the method takes for a slice of a frame: the best of a few runs.
int64_t TimeMethod(ConvertMethod method) {
  static uint8_t in[512 * 48];
  static uint32_t out[512 * 48], table[256];
  for (int i = 0; i < 256; ++i) table[i] = uint32_t(i) * 0x010203u;
  for (size_t i = 0; i < sizeof in; ++i) in[i] = uint8_t(i * 7 + i / 512);
  if (method == ConvertByteLookup) SplitTable(table);
  int64_t best = INT64_MAX;
  for (int run = 0; run < 5; ++run) {
    auto start = std::chrono::steady_clock::now();
    for (int row = 0; row < 48; ++row)
      methods[method].convert(out + 512 * row, in + 512 * row, 512, table);
    auto time = std::chrono::steady_clock::now() - start;
    best =
        std::min<int64_t>(best, std::chrono::duration_cast<std::chrono::nanoseconds>(time).count());
  }
  return best;
}

// The fastest method this machine has, measured once when first needed: which one wins
// depends on the processor (on the machine this was written on, the byte lookup takes a sixth
// of the portable loop's time and the gathers are slower than the portable loop).
ConvertMethod Fastest() {
  ConvertMethod fastest = ConvertPortable;
  int64_t fastestTime = TimeMethod(ConvertPortable);
  for (ConvertMethod method :
       {ConvertGather, ConvertGather512, ConvertByteLookup, ConvertAssemble}) {
    if (!Available(method)) continue;
    int64_t time = TimeMethod(method);
    if (time < fastestTime) {
      fastest = method;
      fastestTime = time;
    }
  }
  return fastest;
}

ConvertMethod chosen = ConvertPortable;
bool decided = false;  // chosen by measurement or by ChooseConvertMethod

ConvertMethod Chosen() {
  if (!decided) {
    chosen = Fastest();
    decided = true;
  }
  return chosen;
}

}  // namespace

bool ConvertMethodAvailable(ConvertMethod method) {
  return method >= ConvertPortable && method <= ConvertLastMethod && Available(method);
}

bool ChooseConvertMethod(ConvertMethod method) {
  if (!ConvertMethodAvailable(method)) return false;
  chosen = method;
  decided = true;
  return true;
}

ConvertMethod CurrentConvertMethod() { return Chosen(); }

const char* ConvertMethodName(ConvertMethod method) {
  return method >= ConvertPortable && method <= ConvertLastMethod ? methods[method].name : "?";
}

void ConvertIndexedRows(uint32_t* out, ptrdiff_t outStride, const uint8_t* in, ptrdiff_t inStride,
                        int32_t width, int32_t height, const uint32_t* table) {
  ConvertMethod method = Chosen();
  RowConverter convert = methods[method].convert;
  if (method == ConvertByteLookup) SplitTable(table);
  for (int32_t y = 0; y < height; ++y) {
    convert(out, in, width, table);
    out = reinterpret_cast<uint32_t*>(reinterpret_cast<uint8_t*>(out) + outStride);
    in += inStride;
  }
}

namespace {

// The small buffer a row is converted into before it is streamed out: 4 KB, well inside the
// first-level cache, reused for every row (a static, so nothing is allocated per frame).
constexpr int32_t StagingPixels = 1024;
alignas(64) uint32_t staging[StagingPixels];

#if defined(__x86_64__) || defined(__i386__) || defined(_M_X64)
// Copies count pixels out with non-temporal stores, which write whole lines to memory without
// reading them first; the few pixels before the first 16-byte boundary go the ordinary way.
__attribute__((target("sse2"))) void StreamOut(uint32_t* out, const uint32_t* from,
                                               int32_t count) {
  int32_t i = 0;
  for (; i < count && (reinterpret_cast<uintptr_t>(out + i) & 15) != 0; ++i) out[i] = from[i];
  for (; i + 16 <= count; i += 16)
    for (int k = 0; k < 16; k += 4)
      _mm_stream_si128(reinterpret_cast<__m128i*>(out + i + k),
                       _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + i + k)));
  for (; i + 4 <= count; i += 4)
    _mm_stream_si128(reinterpret_cast<__m128i*>(out + i),
                     _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + i)));
  for (; i < count; ++i) out[i] = from[i];
}
#endif

}  // namespace

void StreamIndexedRows(uint32_t* out, ptrdiff_t outStride, const uint8_t* in, ptrdiff_t inStride,
                       int32_t width, int32_t height, const uint32_t* table) {
#if defined(__x86_64__) || defined(__i386__) || defined(_M_X64)
  ConvertMethod method = Chosen();
  RowConverter convert = methods[method].convert;
  if (method == ConvertByteLookup) SplitTable(table);
  for (int32_t y = 0; y < height; ++y) {
    for (int32_t x = 0; x < width; x += StagingPixels) {
      int32_t count = width - x < StagingPixels ? width - x : StagingPixels;
      convert(staging, in + x, count, table);
      StreamOut(out + x, staging, count);
    }
    out = reinterpret_cast<uint32_t*>(reinterpret_cast<uint8_t*>(out) + outStride);
    in += inStride;
  }
  // The streamed lines are in memory before anyone is told the frame is there.
  _mm_sfence();
#else
  ConvertIndexedRows(out, outStride, in, inStride, width, height, table);
#endif
}

namespace {

// Where a channel's mask starts and how many bits wide it is.
void MaskShape(uint32_t mask, int32_t& shift, int32_t& bits) {
  shift = bits = 0;
  if (mask == 0) return;
  while ((mask & 1) == 0) {
    mask >>= 1;
    ++shift;
  }
  while ((mask & 1) != 0) {
    mask >>= 1;
    ++bits;
  }
}

uint32_t Channel(uint32_t component, uint32_t mask) {
  int32_t shift = 0, bits = 0;
  MaskShape(mask, shift, bits);
  if (bits == 0) return 0;
  return ((component >> (8 - std::min(bits, 8))) << shift) & mask;
}

}  // namespace

void MakeMaskedTable16(const uint32_t* colours, uint32_t redMask, uint32_t greenMask,
                       uint32_t blueMask, uint16_t* table) {
  for (int i = 0; i < 256; ++i) {
    uint32_t c = colours[i];
    table[i] = static_cast<uint16_t>(Channel((c >> 16) & 255, redMask) |
                                     Channel((c >> 8) & 255, greenMask) |
                                     Channel(c & 255, blueMask));
  }
}

namespace {

#if defined(__x86_64__) || defined(__i386__) || defined(_M_X64)
// Eight lookups assembled into one 16-byte store that bypasses the cache: the rows go to a
// shared image that the display server reads next, on the other core, and ordinary stores
// would first pull back each line it last read. The pixels before the first 16-byte boundary
// and after the last whole group go the ordinary way.
__attribute__((target("sse2"))) void ConvertRow16(uint16_t* out, const uint8_t* in,
                                                  int32_t width, const uint16_t* table) {
  int32_t x = 0;
  for (; x < width && (reinterpret_cast<uintptr_t>(out + x) & 15) != 0; ++x) out[x] = table[in[x]];
  for (; x + 8 <= width; x += 8) {
    uint64_t v;
    memcpy(&v, in + x, 8);
    __m128i eight = _mm_cvtsi32_si128(table[v & 255]);
    eight = _mm_insert_epi16(eight, table[(v >> 8) & 255], 1);
    eight = _mm_insert_epi16(eight, table[(v >> 16) & 255], 2);
    eight = _mm_insert_epi16(eight, table[(v >> 24) & 255], 3);
    eight = _mm_insert_epi16(eight, table[(v >> 32) & 255], 4);
    eight = _mm_insert_epi16(eight, table[(v >> 40) & 255], 5);
    eight = _mm_insert_epi16(eight, table[(v >> 48) & 255], 6);
    eight = _mm_insert_epi16(eight, table[v >> 56], 7);
    _mm_stream_si128(reinterpret_cast<__m128i*>(out + x), eight);
  }
  for (; x < width; ++x) out[x] = table[in[x]];
}
#else
void ConvertRow16(uint16_t* out, const uint8_t* in, int32_t width, const uint16_t* table) {
  for (int32_t x = 0; x < width; ++x) out[x] = table[in[x]];
}
#endif

}  // namespace

void ConvertIndexedRows16(uint16_t* out, ptrdiff_t outStride, const uint8_t* in,
                          ptrdiff_t inStride, int32_t width, int32_t height,
                          const uint16_t* table) {
  for (int32_t y = 0; y < height; ++y) {
    ConvertRow16(out, in, width, table);
    out = reinterpret_cast<uint16_t*>(reinterpret_cast<uint8_t*>(out) + outStride);
    in += inStride;
  }
#if defined(__x86_64__) || defined(__i386__) || defined(_M_X64)
  // The streamed lines are in memory before anyone is told the frame is there.
  _mm_sfence();
#endif
}

void CopyIndexedRows(uint8_t* out, ptrdiff_t outStride, const uint8_t* in, ptrdiff_t inStride,
                     int32_t width, int32_t height) {
  for (int32_t y = 0; y < height; ++y) {
    memcpy(out, in, static_cast<size_t>(width));
    out += outStride;
    in += inStride;
  }
}
