// machine.cpp — what the machine's system tells reports: its release (os-release), its total
// memory, its CPU frequency governor (the kernel's cpufreq files), the processor's name, the
// kernel and the processors online, each left empty where the system does not tell it.
#include <sys/utsname.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <set>
#include <string>

#include "platform/sdl/backend.h"

namespace {

// A value of os-release: shell-quoted, with backslashes before the quoted characters.
std::string Unquote(const std::string& value) {
  if (value.size() < 2 || (value[0] != '"' && value[0] != '\'') || value.back() != value[0])
    return value;
  std::string out;
  for (size_t i = 1; i + 1 < value.size(); ++i) {
    if (value[0] == '"' && value[i] == '\\' && i + 2 < value.size()) ++i;
    out += value[i];
  }
  return out;
}

// PRETTY_NAME of os-release (or NAME and VERSION when it has none): /etc first, then /usr/lib.
void OsRelease(char* text, size_t size) {
  for (const char* path : {"/etc/os-release", "/usr/lib/os-release"}) {
    std::ifstream in(path);
    if (!in) continue;
    std::string line, name, version;
    while (std::getline(in, line)) {
      size_t equals = line.find('=');
      if (equals == std::string::npos) continue;
      std::string key = line.substr(0, equals), value = Unquote(line.substr(equals + 1));
      if (key == "PRETTY_NAME" && !value.empty()) {
        snprintf(text, size, "%s", value.c_str());
        return;
      }
      if (key == "NAME") name = value;
      if (key == "VERSION") version = value;
    }
    if (!name.empty())
      snprintf(text, size, "%s%s%s", name.c_str(), version.empty() ? "" : " ", version.c_str());
    return;
  }
}

// The governors of all processors' frequency policies: one name when they agree, else each
// distinct one, separated by commas; empty without cpufreq (many virtual machines).
void CpuGovernor(char* text, size_t size) {
  std::set<std::string> governors;
  long processors = sysconf(_SC_NPROCESSORS_CONF);
  for (long cpu = 0; cpu < processors && cpu < 4096; ++cpu) {
    std::ifstream in("/sys/devices/system/cpu/cpu" + std::to_string(cpu) +
                     "/cpufreq/scaling_governor");
    std::string governor;
    if (in >> governor) governors.insert(governor);
  }
  std::string all;
  for (const std::string& governor : governors) all += (all.empty() ? "" : ",") + governor;
  snprintf(text, size, "%s", all.c_str());
}

// The first processor's name in /proc/cpuinfo.
void CpuModel(char* text, size_t size) {
  std::ifstream in("/proc/cpuinfo");
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("model name", 0) != 0) continue;
    size_t colon = line.find(':');
    if (colon == std::string::npos) continue;
    size_t start = line.find_first_not_of(' ', colon + 1);
    snprintf(text, size, "%s", start == std::string::npos ? "" : line.c_str() + start);
    return;
  }
}

}  // namespace

void GetMachineReport(MachineReport* report) {
  memset(report, 0, sizeof *report);
  OsRelease(report->osRelease, sizeof report->osRelease);
  long pages = sysconf(_SC_PHYS_PAGES), pageSize = sysconf(_SC_PAGESIZE);
  if (pages > 0 && pageSize > 0) report->memoryBytes = static_cast<int64_t>(pages) * pageSize;
  CpuGovernor(report->cpuGovernor, sizeof report->cpuGovernor);
  CpuModel(report->cpuModel, sizeof report->cpuModel);
  utsname name;
  if (uname(&name) == 0)
    snprintf(report->kernel, sizeof report->kernel, "%s %s", name.sysname, name.release);
  long online = sysconf(_SC_NPROCESSORS_ONLN);
  report->cores = online > 0 ? static_cast<int32_t>(online) : 0;
}
