// szdd_compress.h — our compressor for the LZ expansion library's format ("SZDD"), in which
// the effect is stored; the platform expands it again with libmspack.
#pragma once

#include <cstdint>
#include <vector>

// The whole compressed file: the 14-byte header (magic, mode 'A', the file name's missing last
// character, the expanded length) and the LZSS data.
std::vector<uint8_t> CompressSzdd(const std::vector<uint8_t>& data, char missingChar);
