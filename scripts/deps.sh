#!/bin/sh
# Installs the Debian packages torvex32 needs, when any is missing. Sets (default: all):
#   build    compilers, CMake and the libraries' development files
#   run      what the built program needs at run time (the soundfont among them)
#   package  what making the Debian package needs beyond building
#   test     unit, end-to-end and packaging tests
#   windows  the MinGW-w64 cross compilers for the Windows build (not in the default)
#   windows-test  Wine and GoogleTest's sources, for the Windows build's tests (not in the default)
# TORVEX_SKIP_DEPS=1 installs nothing. Without dpkg (not Debian) it lists the packages instead.
set -e
BUILD="cmake ninja-build g++ pkg-config libpng-dev libsdl2-dev libsdl2-mixer-dev libx11-dev
 libxext-dev libmspack-dev nlohmann-json3-dev libwayland-dev libwayland-bin
 wayland-protocols libxkbcommon-dev"
PACKAGE="dpkg-dev file"
RUN="libsdl2-2.0-0 libsdl2-mixer-2.0-0 libmspack0 libpng16-16 libwayland-client0 timgm6mb-soundfont"
TEST="libgtest-dev libgmock-dev libbenchmark-dev xvfb openbox xdotool wmctrl x11-utils x11-apps
 x11-xserver-utils imagemagick sox mscompress libsdl2-tests python3 sway grim wtype lintian
 appstream desktop-file-utils man-db $PACKAGE"
WINDOWS="g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 zip"
WINDOWS_TEST="wine wine64 googletest"

[ $# -eq 0 ] && set -- build run package test
packages=""
lean=""  # installed without their recommendations
for set in "$@"; do
  case "$set" in
    build) packages="$packages $BUILD" ;;
    run) packages="$packages $RUN" ;;
    package) packages="$packages $PACKAGE" ;;
    test) packages="$packages $TEST" ;;
    # Wine recommends a great deal that a cross build and its tests never use.
    windows) lean="$lean $WINDOWS" ;;
    windows-test) lean="$lean $WINDOWS_TEST" ;;
    *) echo "deps.sh: unknown set '$set' (build, run, package, test, windows, windows-test)" >&2
       exit 2 ;;
  esac
done

if [ "${TORVEX_SKIP_DEPS:-0}" = 1 ]; then
  exit 0
fi
if ! command -v dpkg >/dev/null 2>&1; then
  echo "deps.sh: no dpkg here, so nothing is installed. Make sure these (Debian names) or" >&2
  echo "your system's equivalents are installed:" >&2
  echo "$packages $lean" | tr -s ' \n' ' ' | fold -s -w 90 | sed 's/^/  /' >&2
  echo >&2
  exit 0
fi
missing() {
  for p in "$@"; do
    dpkg -s "$p" >/dev/null 2>&1 || printf ' %s' "$p"
  done
}
missing=$(missing $packages)
missingLean=$(missing $lean)
[ -z "$missing$missingLean" ] && exit 0
echo "installing:$missing$missingLean"
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
APT="$SUDO apt-get -o DPkg::Lock::Timeout=600"
$APT update -q
[ -z "$missing" ] || DEBIAN_FRONTEND=noninteractive $APT install -y -q $missing
[ -z "$missingLean" ] ||
  DEBIAN_FRONTEND=noninteractive $APT install -y -q --no-install-recommends $missingLean
