// report.cpp — what the SDL backend tells reports about itself and the display: SDL's version,
// the video and audio drivers, the X server's vendor and release, the screen, whether the
// sound devices opened, and the desktop: the session type, the window manager (as it names
// itself on the root window) and the refresh rate of the output the window was on (RandR).
// Xlib and the RandR library are looked up at run time, as for presenting.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>

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
  decltype(&XInternAtom) internAtom;
  decltype(&XGetWindowProperty) getWindowProperty;
  decltype(&XFree) free;
  decltype(&XDefaultRootWindow) defaultRoot;
  decltype(&XSetErrorHandler) setErrorHandler;
  decltype(&XSync) sync;
};

struct RandrFunctions {
  decltype(&XRRGetScreenResourcesCurrent) screenResources;
  decltype(&XRRFreeScreenResources) freeScreenResources;
  decltype(&XRRGetCrtcInfo) crtcInfo;
  decltype(&XRRFreeCrtcInfo) freeCrtcInfo;
};

// Where the window was when it went (its centre on the screen), for reports made afterwards.
bool placeKnown = false;
int32_t placeX = 0, placeY = 0;

// The window's centre on the screen: the live window's, or where it was when it went.
bool WindowCentre(int32_t& x, int32_t& y) {
  PlatformWindow* w = CurrentWindow();
  if (w != nullptr && w->sdl != nullptr) NoteWindowPlace(w->sdl);
  x = placeX;
  y = placeY;
  return placeKnown;
}

// A property of an X window that names something in text (UTF-8 or Latin-1), into text; false
// if the window lacks it. A window that went meanwhile is not an error of the program's.
bool ReadTextProperty(const XReportFunctions& x, Display* display, Window window,
                      const char* name, char* text, size_t size) {
  Atom property = x.internAtom(display, name, True);
  if (property == None) return false;
  Atom type = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  if (x.getWindowProperty(display, window, property, 0, 256, False, AnyPropertyType, &type,
                          &format, &count, &after, &data) != Success || data == nullptr)
    return false;
  bool found = format == 8 && count > 0;
  if (found) snprintf(text, size, "%.*s", static_cast<int>(count), reinterpret_cast<char*>(data));
  x.free(data);
  return found;
}

int IgnoreXError(Display*, XErrorEvent*) { return 0; }

// The window manager, as the standard says to find it: the root window's
// _NET_SUPPORTING_WM_CHECK names a window of the manager's, which carries the same property
// pointing at itself and the manager's _NET_WM_NAME. A version is published by some managers
// only, on the root window (Openbox: _OB_VERSION).
void ReportWindowManager(const XReportFunctions& x, Display* display, BackendReport* report) {
  Window root = x.defaultRoot(display);
  Atom check = x.internAtom(display, "_NET_SUPPORTING_WM_CHECK", True);
  if (check == None) return;
  auto readWindow = [&](Window from, Window& to) {
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    if (x.getWindowProperty(display, from, check, 0, 1, False, XA_WINDOW, &type, &format,
                            &count, &after, &data) != Success || data == nullptr)
      return false;
    bool found = format == 32 && count == 1;
    if (found) to = static_cast<Window>(*reinterpret_cast<unsigned long*>(data));
    x.free(data);
    return found;
  };
  // A manager that went away may leave its window id behind: errors about it are not ours.
  XErrorHandler before = x.setErrorHandler(IgnoreXError);
  Window manager = None, itself = None;
  if (readWindow(root, manager) && readWindow(manager, itself) && itself == manager) {
    if (!ReadTextProperty(x, display, manager, "_NET_WM_NAME", report->compositor,
                          sizeof report->compositor))
      ReadTextProperty(x, display, manager, "WM_NAME", report->compositor,
                       sizeof report->compositor);
    if (strcmp(report->compositor, "Openbox") == 0)
      ReadTextProperty(x, display, root, "_OB_VERSION", report->compositorVersion,
                       sizeof report->compositorVersion);
  }
  x.sync(display, False);
  x.setErrorHandler(before);
}

// The refresh rate of the CRTC that shows the window's centre (the first one when the place is
// not known and there is only one), from its mode's timings; 0 when a mode has no timings
// (virtual servers) or RandR is missing.
void ReportRefresh(const XReportFunctions& x, Display* display, BackendReport* report) {
  void* library = SDL_LoadObject("libXrandr.so.2");
  RandrFunctions r{};
  bool found = FindLoaded(library, "XRRGetScreenResourcesCurrent", r.screenResources) &&
               FindLoaded(library, "XRRFreeScreenResources", r.freeScreenResources) &&
               FindLoaded(library, "XRRGetCrtcInfo", r.crtcInfo) &&
               FindLoaded(library, "XRRFreeCrtcInfo", r.freeCrtcInfo);
  XRRScreenResources* resources =
      found ? r.screenResources(display, x.defaultRoot(display)) : nullptr;
  int32_t centreX = 0, centreY = 0;
  bool placed = WindowCentre(centreX, centreY);
  for (int c = 0; resources != nullptr && c < resources->ncrtc; ++c) {
    XRRCrtcInfo* crtc = r.crtcInfo(display, resources, resources->crtcs[c]);
    if (crtc == nullptr) continue;
    bool here = crtc->mode != None &&
                (placed ? centreX >= crtc->x && centreX < crtc->x + static_cast<int>(crtc->width) &&
                              centreY >= crtc->y &&
                              centreY < crtc->y + static_cast<int>(crtc->height)
                        : resources->ncrtc == 1);
    for (int m = 0; here && m < resources->nmode; ++m) {
      const XRRModeInfo& mode = resources->modes[m];
      if (mode.id != crtc->mode) continue;
      double lines = static_cast<double>(mode.vTotal);
      if ((mode.modeFlags & RR_DoubleScan) != 0) lines *= 2;
      if ((mode.modeFlags & RR_Interlace) != 0) lines /= 2;
      if (mode.dotClock > 0 && mode.hTotal > 0 && lines > 0)
        report->refreshMilliHz = static_cast<int32_t>(
            static_cast<double>(mode.dotClock) * 1000.0 / (mode.hTotal * lines) + 0.5);
    }
    r.freeCrtcInfo(crtc);
    if (here) break;
  }
  if (resources != nullptr) r.freeScreenResources(resources);
  if (library != nullptr) SDL_UnloadObject(library);
}

// Asks the X server the program's windows are on (its own short connection).
bool ReportXServer(BackendReport* report) {
  void* xlib = SDL_LoadObject("libX11.so.6");
  XReportFunctions x{};
  bool found = FindLoaded(xlib, "XOpenDisplay", x.openDisplay) &&
               FindLoaded(xlib, "XCloseDisplay", x.closeDisplay) &&
               FindLoaded(xlib, "XServerVendor", x.serverVendor) &&
               FindLoaded(xlib, "XVendorRelease", x.vendorRelease) &&
               FindLoaded(xlib, "XDefaultScreen", x.defaultScreen) &&
               FindLoaded(xlib, "XDisplayWidth", x.displayWidth) &&
               FindLoaded(xlib, "XDisplayHeight", x.displayHeight) &&
               FindLoaded(xlib, "XDefaultDepth", x.defaultDepth) &&
               FindLoaded(xlib, "XInternAtom", x.internAtom) &&
               FindLoaded(xlib, "XGetWindowProperty", x.getWindowProperty) &&
               FindLoaded(xlib, "XFree", x.free) &&
               FindLoaded(xlib, "XDefaultRootWindow", x.defaultRoot) &&
               FindLoaded(xlib, "XSetErrorHandler", x.setErrorHandler) &&
               FindLoaded(xlib, "XSync", x.sync);
  Display* display = found ? x.openDisplay(nullptr) : nullptr;
  if (display != nullptr) {
    int screen = x.defaultScreen(display);
    snprintf(report->displayServer, sizeof report->displayServer, "%s %d",
             x.serverVendor(display), x.vendorRelease(display));
    report->screenWidth = x.displayWidth(display, screen);
    report->screenHeight = x.displayHeight(display, screen);
    report->screenDepth = x.defaultDepth(display, screen);
    ReportWindowManager(x, display, report);
    ReportRefresh(x, display, report);
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

// The session the video driver put the window in; "" for drivers of other systems.
const char* SessionType(const char* driver) {
  if (driver == nullptr) return "";
  if (strcmp(driver, "x11") == 0 || strcmp(driver, "wayland") == 0) return driver;
  if (strcmp(driver, "dummy") == 0 || strcmp(driver, "offscreen") == 0) return "none";
  return "";
}

}  // namespace

void NoteWindowPlace(SDL_Window* window) {
  int x = 0, y = 0, width = 0, height = 0;
  SDL_GetWindowPosition(window, &x, &y);
  SDL_GetWindowSize(window, &width, &height);
  placeX = x + width / 2;
  placeY = y + height / 2;
  placeKnown = true;
}

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
  SDL_strlcpy(report->sessionType, SessionType(driver), sizeof report->sessionType);
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
    SDL_strlcpy(report->compositor, wayland->compositor, sizeof report->compositor);
    report->refreshMilliHz = wayland->refreshMilliHz;
    ReportSdlScreen(report);
  } else if (!onX || !ReportXServer(report)) {
    SDL_strlcpy(report->displayServer, "none", sizeof report->displayServer);
    ReportSdlScreen(report);
  }
}
