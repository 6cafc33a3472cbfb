// suite.cpp — --install-suite-profile: copies the test suite's profile that comes with the
// program (next to it in a build, in the data folder when installed) into the folder where the
// suite looks for local profiles, found by the suite's own rules.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "app/runner/runner.h"

#ifndef TORVEX_DATA_FROM_PROGRAM
#define TORVEX_DATA_FROM_PROGRAM ""
#endif

namespace {

namespace fs = std::filesystem;

constexpr const char* ProfileName = "torvex32";
constexpr const char* ProfileFiles[] = {"test-definition.xml", "results-definition.xml",
                                        "install.sh"};

// The profile shipped with this program: beside it (a build), or in its data folder.
fs::path FindProfile() {
  static char program[4096];
  if (GetProgramFilePath(program, sizeof program) == 0) return {};
  fs::path folder = fs::path(program).parent_path();
  for (fs::path candidate :
       {folder / "suite-profile" / ProfileName,
        folder / TORVEX_DATA_FROM_PROGRAM / "suite-profile" / ProfileName}) {
    std::error_code error;
    if (fs::is_regular_file(candidate / ProfileFiles[0], error))
      return candidate.lexically_normal();
  }
  return {};
}

std::string Environment(const char* name) {
  const char* value = getenv(name);
  return value != nullptr ? value : "";
}

// The suite's folder of user data, as the suite itself chooses it: PTS_USER_PATH_OVERRIDE when
// it names a folder (used as given: the suite appends its subfolders without a separator);
// /var/lib/phoronix-test-suite/ when /var/lib/ and /etc are writable (the superuser); else
// .phoronix-test-suite/ in the home folder.
std::string SuiteUserFolder() {
  std::string override = Environment("PTS_USER_PATH_OVERRIDE");
  std::error_code error;
  if (!override.empty() && fs::is_directory(override, error)) return override;
  if (CheckWritable("/var/lib/") == WriteCheck::Writable &&
      CheckWritable("/etc") == WriteCheck::Writable)
    return "/var/lib/phoronix-test-suite/";
  std::string home = Environment("HOME");
  if (home.empty() && !Environment("HOMEPATH").empty())
    home = Environment("HOMEDRIVE") + Environment("HOMEPATH");
  if (home.empty()) return "";
  if (home.back() != '/' && home.back() != '\\') home += '/';
  return home + ".phoronix-test-suite/";
}

}  // namespace

int InstallSuiteProfile() {
  fs::path source = FindProfile();
  if (source.empty()) {
    fprintf(stderr,
            "torvex32-bench: --install-suite-profile: no test suite profile comes with this "
            "program (looked for suite-profile/%s beside it and in its data folder)\n",
            ProfileName);
    return 1;
  }
  std::string user = SuiteUserFolder();
  if (user.empty()) {
    fprintf(stderr, "torvex32-bench: --install-suite-profile: no home folder (HOME is not set)\n");
    return 1;
  }
  fs::path target = fs::path(user + "test-profiles") / "local" / ProfileName;
  std::error_code error;
  fs::create_directories(target, error);
  for (const char* file : ProfileFiles) {
    if (error) break;
    fs::copy_file(source / file, target / file, fs::copy_options::overwrite_existing, error);
  }
  if (error) {
    fprintf(stderr, "torvex32-bench: --install-suite-profile: cannot copy %s into %s: %s\n",
            source.string().c_str(), target.string().c_str(), error.message().c_str());
    return 1;
  }
  printf("torvex32-bench: the suite's profile is in %s; run it as local/%s\n",
         target.string().c_str(), ProfileName);
  return 0;
}
