// szdd_compress.cpp — the SZDD compressor: LZSS over a 4096-byte window that starts filled
// with spaces and is written from position 4096 - 16. The data comes in groups of eight items
// behind a flag byte (bit set: a literal byte; clear: a two-byte reference of a window position
// and a length of 3 to 18). Greedy longest matches; the window is searched whole, which is
// fast enough for sound effects.
#include "tools/szdd_compress.h"

#include <cstring>

namespace {

constexpr int WindowSize = 4096;
constexpr int WindowMask = WindowSize - 1;
constexpr int FirstPosition = WindowSize - 16;
constexpr int MinMatch = 3;
constexpr int MaxMatch = 18;

struct Match {
  int position;
  int length;
};

// The longest run of the input at `at` that a reference to some window position reproduces.
// The expander copies a reference byte by byte while writing at `write`, so a reference may
// reach into the bytes it is itself producing; those come from the input.
Match LongestMatch(const uint8_t* window, int write, const std::vector<uint8_t>& input,
                   size_t at) {
  Match best{0, 0};
  size_t left = input.size() - at;
  int limit = left < MaxMatch ? static_cast<int>(left) : MaxMatch;
  for (int start = 0; start < WindowSize; ++start) {
    int length = 0;
    while (length < limit) {
      int source = (start + length) & WindowMask;
      int produced = (source - write) & WindowMask;  // written during this reference?
      uint8_t byte = produced < length ? input[at + produced] : window[source];
      if (byte != input[at + length]) break;
      ++length;
    }
    if (length > best.length) best = {start, length};
    if (length == limit) break;
  }
  return best;
}

void PutLength(std::vector<uint8_t>& out, uint32_t length) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(length >> (8 * i)));
}

}  // namespace

std::vector<uint8_t> CompressSzdd(const std::vector<uint8_t>& data, char missingChar) {
  std::vector<uint8_t> out = {'S', 'Z', 'D', 'D', 0x88, 0xF0, 0x27, 0x33, 'A',
                              static_cast<uint8_t>(missingChar)};
  PutLength(out, static_cast<uint32_t>(data.size()));
  uint8_t window[WindowSize];
  memset(window, ' ', sizeof window);
  int write = FirstPosition;
  size_t at = 0;
  while (at < data.size()) {
    size_t flags = out.size();
    out.push_back(0);
    for (int item = 0; item < 8 && at < data.size(); ++item) {
      Match match = LongestMatch(window, write, data, at);
      if (match.length >= MinMatch) {
        out.push_back(static_cast<uint8_t>(match.position & 0xFF));
        out.push_back(static_cast<uint8_t>((match.position >> 4 & 0xF0) | (match.length - 3)));
      } else {
        out[flags] |= static_cast<uint8_t>(1 << item);
        out.push_back(data[at]);
        match.length = 1;
      }
      for (int i = 0; i < match.length; ++i) {
        window[write] = data[at++];
        write = (write + 1) & WindowMask;
      }
    }
  }
  return out;
}
