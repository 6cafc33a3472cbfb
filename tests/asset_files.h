// asset_files.h — what the tests of the loaders and of the asset tool share: bytes of font and
// sprite files built by hand, and the test process's own temporary files, removed at its end.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

// Files of this test process: ctest runs several processes of this test at once.
inline std::string TempName(const std::string& name) {
  return testing::TempDir() + "torvex_assets_" + std::to_string(getpid()) + "_" + name;
}

// Removes this process's files when the tests end.
class TempFiles : public testing::Environment {
 public:
  void TearDown() override {
    const std::string prefix = "torvex_assets_" + std::to_string(getpid()) + "_";
    for (const auto& entry : std::filesystem::directory_iterator(testing::TempDir())) {
      if (entry.path().filename().string().rfind(prefix, 0) == 0) {
        std::filesystem::remove_all(entry.path());
      }
    }
  }
};
inline testing::Environment* const TempFilesCleanup =
    testing::AddGlobalTestEnvironment(new TempFiles);

inline std::string WriteFile(const std::string& name, const Bytes& bytes) {
  const std::string path = TempName(name);
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
  return path;
}

inline Bytes ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

inline Bytes Join(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}
inline Bytes Font(char version, const Bytes& body) {
  return Join({{'Z', 'G', 'L', uint8_t(version)}, body});
}
inline Bytes Sprites(char version, const Bytes& body) {
  return Join({{'Z', 'O', 'R', uint8_t(version)}, body});
}
inline Bytes Repeat(uint8_t value, size_t n) { return Bytes(n, value); }
inline Bytes Header(int w, int h, int l = 0, int r = 0, int t = 0, int b = 0) {
  Bytes bytes;
  for (int v : {w, h, l, r, t, b})
    bytes.push_back(uint8_t(v & 0xFF)), bytes.push_back(uint8_t(v >> 8));
  return bytes;
}

