// profile_corpus.h — the profile corpus (tests/data/profiles): each file with the value the
// system's own reader gives for a key, shared by the tests of both backends' readers.
#pragma once

#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

struct ProfileCase {
  std::string file, section, key;
  int32_t fallback;
  int32_t value;
};

// The cases listed in folder/expected.txt ("file section key default value" per line, "#"
// lines are comments).
inline std::vector<ProfileCase> ReadProfileCorpus(const std::string& folder) {
  std::vector<ProfileCase> cases;
  std::ifstream in(folder + "/expected.txt");
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    ProfileCase c;
    if (fields >> c.file >> c.section >> c.key >> c.fallback >> c.value) cases.push_back(c);
  }
  return cases;
}
