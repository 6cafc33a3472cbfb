// report.cpp — what the Win32 backend tells reports about itself and the display: the version
// of the system (and of Wine, when that is the system), GDI as the video path, the media
// device when a device opened, the screen as GDI has it and the refresh rate of the display
// the window was on; and of the machine: the system's build, its total memory, the processor's
// name and the processors.
#include <cstdio>
#include <cstring>

#include "platform/win32/win32.h"

namespace {

using VersionFunction = LONG(WINAPI*)(OSVERSIONINFOW*);
using WineVersionFunction = const char*(CDECL*)();
using WineHostFunction = void(CDECL*)(const char** sysname, const char** release);

// The system's own version: RtlGetVersion tells the truth where GetVersionEx would answer for
// an older system to a program without a manifest.
void SystemVersion(char* text, size_t size) {
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  auto version = reinterpret_cast<VersionFunction>(
      reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetVersion")));
  OSVERSIONINFOW info{};
  info.dwOSVersionInfoSize = sizeof info;
  if (version != nullptr && version(&info) == 0)
    snprintf(text, size, "Windows %lu.%lu.%lu", info.dwMajorVersion, info.dwMinorVersion,
             info.dwBuildNumber);
  else
    snprintf(text, size, "Windows");
}

// Wine says what it is, and on which host, through ntdll's own functions.
bool WineVersion(char* text, size_t size) {
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  auto version = reinterpret_cast<WineVersionFunction>(
      reinterpret_cast<void*>(GetProcAddress(ntdll, "wine_get_version")));
  if (version == nullptr) return false;
  auto host = reinterpret_cast<WineHostFunction>(
      reinterpret_cast<void*>(GetProcAddress(ntdll, "wine_get_host_version")));
  const char* sysname = "";
  const char* release = "";
  if (host != nullptr) host(&sysname, &release);
  snprintf(text, size, "Wine %s on %s %s", version(), sysname, release);
  return true;
}

// The display device the window was on when it went ("" before: the primary display).
char windowDevice[CCHDEVICENAME] = "";

// The display's refresh rate in mHz, as the display settings give it in whole hertz; 0 where
// they say "the hardware's default" (0 or 1).
int32_t RefreshMilliHz() {
  DEVMODEA mode{};
  mode.dmSize = sizeof mode;
  if (!EnumDisplaySettingsA(windowDevice[0] != 0 ? windowDevice : nullptr, ENUM_CURRENT_SETTINGS,
                            &mode))
    return 0;
  return mode.dmDisplayFrequency > 1 ? static_cast<int32_t>(mode.dmDisplayFrequency) * 1000 : 0;
}

}  // namespace

void NoteWindowMonitor(HWND window) {
  MONITORINFOEXA info{};
  info.cbSize = sizeof info;
  HMONITOR monitor = MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST);
  if (monitor != nullptr && GetMonitorInfoA(monitor, &info))
    snprintf(windowDevice, sizeof windowDevice, "%s", info.szDevice);
}

void GetMachineReport(MachineReport* report) {
  memset(report, 0, sizeof *report);
  SystemVersion(report->osRelease, sizeof report->osRelease);
  snprintf(report->kernel, sizeof report->kernel, "Windows");
  SYSTEM_INFO system{};
  GetSystemInfo(&system);
  report->cores = static_cast<int32_t>(system.dwNumberOfProcessors);
  // The processor's name as the system keeps it (with the padding some makers put before it).
  char name[sizeof report->cpuModel] = "";
  DWORD size = sizeof name;
  if (RegGetValueA(HKEY_LOCAL_MACHINE, "HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0",
                   "ProcessorNameString", RRF_RT_REG_SZ, nullptr, name, &size) == ERROR_SUCCESS)
    snprintf(report->cpuModel, sizeof report->cpuModel, "%s", name + strspn(name, " "));
  MEMORYSTATUSEX memory{};
  memory.dwLength = sizeof memory;
  if (GlobalMemoryStatusEx(&memory))
    report->memoryBytes = static_cast<int64_t>(memory.ullTotalPhys);
}

void GetBackendReport(BackendReport* report) {
  memset(report, 0, sizeof *report);
  report->framesDisplayed = -1;  // GDI says nothing of what reached the screen
  SystemVersion(report->libraryVersion, sizeof report->libraryVersion);
  snprintf(report->videoDriver, sizeof report->videoDriver, "%s", Headless() ? "hidden" : "gdi");
  GetMediaReport(&report->musicOpened, &report->effectOpened, report->audioDriver,
                 sizeof report->audioDriver);
  // A hidden window is on no desktop: the session is "none", as headless SDL drivers report.
  snprintf(report->sessionType, sizeof report->sessionType, "%s", Headless() ? "none" : "windows");
  if (!Headless()) report->refreshMilliHz = RefreshMilliHz();
  if (Headless()) {
    snprintf(report->displayServer, sizeof report->displayServer, "none");
  } else if (!WineVersion(report->displayServer, sizeof report->displayServer)) {
    SystemVersion(report->displayServer, sizeof report->displayServer);
  }
  HDC screen = GetDC(nullptr);
  if (screen != nullptr) {
    report->screenWidth = GetDeviceCaps(screen, HORZRES);
    report->screenHeight = GetDeviceCaps(screen, VERTRES);
    report->screenDepth = GetDeviceCaps(screen, BITSPIXEL) * GetDeviceCaps(screen, PLANES);
    ReleaseDC(nullptr, screen);
  }
}
