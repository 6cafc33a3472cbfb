// report.cpp — what the SDL backend tells reports about itself and the display: SDL's version,
// the video and audio drivers, the X server's vendor and release, the screen and whether the
// sound devices opened. Xlib is looked up at run time, as for presenting.
#include <X11/Xlib.h>

#include <cstdio>
#include <cstring>

#include "platform/sdl/backend.h"

namespace {

struct XReportFunctions {
  decltype(&XOpenDisplay) openDisplay;
  decltype(&XCloseDisplay) closeDisplay;
  decltype(&XServerVendor) serverVendor;
  decltype(&XVendorRelease) vendorRelease;
  decltype(&XDefaultScreen) defaultScreen;
  decltype(&XDisplayWidth) displayWidth;
  decltype(&XDisplayHeight) displayHeight;
  decltype(&XDefaultDepth) defaultDepth;
};

template <typename F>
bool Find(void* library, const char* name, F& function) {
  function = reinterpret_cast<F>(library != nullptr ? SDL_LoadFunction(library, name) : nullptr);
  return function != nullptr;
}

// Asks the X server the program's windows are on (its own short connection).
bool ReportXServer(BackendReport* report) {
  void* xlib = SDL_LoadObject("libX11.so.6");
  XReportFunctions x{};
  bool found = Find(xlib, "XOpenDisplay", x.openDisplay) &&
               Find(xlib, "XCloseDisplay", x.closeDisplay) &&
               Find(xlib, "XServerVendor", x.serverVendor) &&
               Find(xlib, "XVendorRelease", x.vendorRelease) &&
               Find(xlib, "XDefaultScreen", x.defaultScreen) &&
               Find(xlib, "XDisplayWidth", x.displayWidth) &&
               Find(xlib, "XDisplayHeight", x.displayHeight) &&
               Find(xlib, "XDefaultDepth", x.defaultDepth);
  Display* display = found ? x.openDisplay(nullptr) : nullptr;
  if (display != nullptr) {
    int screen = x.defaultScreen(display);
    snprintf(report->displayServer, sizeof report->displayServer, "%s %d",
             x.serverVendor(display), x.vendorRelease(display));
    report->screenWidth = x.displayWidth(display, screen);
    report->screenHeight = x.displayHeight(display, screen);
    report->screenDepth = x.defaultDepth(display, screen);
    x.closeDisplay(display);
  }
  if (xlib != nullptr) SDL_UnloadObject(xlib);
  return display != nullptr;
}

// The first screen as SDL's video driver has it (drivers without a display server).
void ReportSdlScreen(BackendReport* report) {
  SDL_DisplayMode mode;
  if (SDL_WasInit(SDL_INIT_VIDEO) == 0 || SDL_GetCurrentDisplayMode(0, &mode) != 0) return;
  report->screenWidth = mode.w;
  report->screenHeight = mode.h;
  report->screenDepth = static_cast<int32_t>(SDL_BITSPERPIXEL(mode.format));
}

}  // namespace

void GetBackendReport(BackendReport* report) {
  memset(report, 0, sizeof *report);
  SDL_version version;
  SDL_GetVersion(&version);
  snprintf(report->libraryVersion, sizeof report->libraryVersion, "SDL %d.%d.%d", version.major,
           version.minor, version.patch);
  const char* driver = SDL_WasInit(SDL_INIT_VIDEO) != 0 ? SDL_GetCurrentVideoDriver() : nullptr;
  SDL_strlcpy(report->videoDriver, driver != nullptr ? driver : "", sizeof report->videoDriver);
  GetMediaReport(&report->musicOpened, &report->effectOpened, report->audioDriver,
                 sizeof report->audioDriver);
  report->framesDisplayed = -1;
  bool onX = driver != nullptr && strcmp(driver, "x11") == 0;
  if (const WaylandReport* wayland = GetWaylandReport()) {
    // The compositor is the process at the other end of the socket; its version is its own
    // business, its protocols are what this program could use.
    snprintf(report->displayServer, sizeof report->displayServer, "%s (Wayland, pid %d)",
             wayland->compositor, static_cast<int>(wayland->compositorPid));
    SDL_strlcpy(report->displayProtocols, wayland->protocols, sizeof report->displayProtocols);
    report->framesCommitted = wayland->framesCommitted;
    if (wayland->presentationOffered != 0) {
      report->framesDisplayed = wayland->framesDisplayed;
      report->framesDiscarded = wayland->framesDiscarded;
    }
    report->refreshMilliHz = wayland->refreshMilliHz;
    ReportSdlScreen(report);
  } else if (!onX || !ReportXServer(report)) {
    SDL_strlcpy(report->displayServer, "none", sizeof report->displayServer);
    ReportSdlScreen(report);
  }
}
