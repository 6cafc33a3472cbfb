// stored.cpp — the PNG writer of builds without libpng (the Windows build): the same
// pictures as the libpng writer, with the image data in stored (uncompressed) deflate blocks.
#include <algorithm>
#include <cstdio>

#include "pngfile/pngfile.h"

namespace {

uint32_t Crc(const uint8_t* data, size_t length, uint32_t crc = 0xFFFFFFFFu) {
  static uint32_t table[256];
  if (table[1] == 0) {
    for (uint32_t n = 0; n < 256; ++n) {
      uint32_t c = n;
      for (int k = 0; k < 8; ++k) c = (c & 1) != 0 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      table[n] = c;
    }
  }
  for (size_t i = 0; i < length; ++i) crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
  return crc;
}

void PutBig32(std::vector<uint8_t>& out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(v >> shift));
}

void PutChunk(std::vector<uint8_t>& out, const char* type, const std::vector<uint8_t>& data) {
  PutBig32(out, static_cast<uint32_t>(data.size()));
  std::vector<uint8_t> typed(type, type + 4);
  typed.insert(typed.end(), data.begin(), data.end());
  out.insert(out.end(), typed.begin(), typed.end());
  PutBig32(out, Crc(typed.data(), typed.size()) ^ 0xFFFFFFFFu);
}

}  // namespace

bool WritePngRows(const std::string& path, int32_t width, int32_t height, int channels,
                  const uint8_t* data, std::string& why) {
  std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::vector<uint8_t> header;
  PutBig32(header, width);
  PutBig32(header, height);
  header.insert(header.end(), {8, static_cast<uint8_t>(channels == 1 ? 3 : 6), 0, 0, 0});
  PutChunk(png, "IHDR", header);
  if (channels == 1) {
    std::vector<uint8_t> palette(256 * 3);
    for (int i = 0; i < 256; ++i) FrameColour(i, &palette[i * 3]);
    PutChunk(png, "PLTE", palette);
  }
  // The filtered rows (filter 0) in a zlib stream of stored blocks of at most 65,535 bytes.
  std::vector<uint8_t> raw;
  size_t rowBytes = static_cast<size_t>(width) * channels;
  for (int32_t y = 0; y < height; ++y) {
    raw.push_back(0);
    raw.insert(raw.end(), data + y * rowBytes, data + (y + 1) * rowBytes);
  }
  std::vector<uint8_t> zlib = {0x78, 0x01};
  for (size_t at = 0; at == 0 || at < raw.size(); at += 65535) {
    size_t n = std::min<size_t>(65535, raw.size() - at);
    zlib.push_back(at + n == raw.size() ? 1 : 0);
    zlib.insert(zlib.end(), {static_cast<uint8_t>(n), static_cast<uint8_t>(n >> 8),
                             static_cast<uint8_t>(~n), static_cast<uint8_t>(~n >> 8)});
    zlib.insert(zlib.end(), raw.begin() + at, raw.begin() + at + n);
  }
  uint32_t a = 1, b = 0;
  for (uint8_t byte : raw) {
    a = (a + byte) % 65521;
    b = (b + a) % 65521;
  }
  PutBig32(zlib, b << 16 | a);
  PutChunk(png, "IDAT", zlib);
  PutChunk(png, "IEND", {});
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr || std::fwrite(png.data(), 1, png.size(), file) != png.size()) {
    if (file != nullptr) std::fclose(file);
    why = path + ": cannot be written";
    return false;
  }
  return std::fclose(file) == 0;
}

// Without a staging writer, outputs are written in place.
bool WriteFileSafely(const std::string& path, const std::function<bool(std::FILE*)>& write,
                     std::string& why) {
  return WriteFileInPlace(path, write, why);
}
