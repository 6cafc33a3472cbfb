// report.cpp — what the Win32 backend tells reports about itself and the display: the version
// of the system (and of Wine, when that is the system), GDI as the video path, the media
// device when a device opened, and the screen as GDI has it.
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

}  // namespace

void GetBackendReport(BackendReport* report) {
  memset(report, 0, sizeof *report);
  report->framesDisplayed = -1;  // GDI says nothing of what reached the screen
  SystemVersion(report->libraryVersion, sizeof report->libraryVersion);
  snprintf(report->videoDriver, sizeof report->videoDriver, "%s", Headless() ? "hidden" : "gdi");
  GetMediaReport(&report->musicOpened, &report->effectOpened, report->audioDriver,
                 sizeof report->audioDriver);
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
