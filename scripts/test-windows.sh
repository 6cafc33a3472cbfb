#!/bin/sh
# Builds the Windows programs and their tests (scripts/build-windows.sh) and runs them under
# Wine: the unit tests on the recording double, and the benchmark's end-to-end tests with Wine
# before the programs, each on its own X server. Wine runs in a private prefix made once for
# this run and removed afterwards, with its dialogs and debug output silenced.
set -e
cd "$(dirname "$0")/.."
TORVEX_WINDOWS_TESTS=ON scripts/build-windows.sh

WINEPREFIX="$(mktemp -d /tmp/torvex32-wine-XXXXXX)"
export WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
finish() {
  wineserver -k 2>/dev/null || true
  rm -rf "$WINEPREFIX"
}
trap finish EXIT
# The server stays up for the whole run, so that each program starts without starting it again.
wineserver -p
wineboot -i >/dev/null 2>&1

# The prefix is known now: configure again so that the tests look for its profile file.
cmake -S . -B build/windows >/dev/null
cd build/windows
ctest --output-on-failure -j2 --timeout 900
