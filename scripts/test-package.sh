#!/bin/sh
# Tests of the installed form: makes the Debian package (scripts/package.sh), stages an install
# with DESTDIR and checks its desktop entry, AppStream data, icons and manual pages; builds the
# example game against the staged install through find_package and through pkg-config, and
# with torvex32's sources built along, playing each headless for a fixed number of ticks; builds
# and runs the README's consumer example as printed; runs lintian on the package; and, as root,
# installs the package with dpkg and runs the installed torvex32-bench, and the test suite's
# profile against it (removing it afterwards).
set -e
cd "$(dirname "$0")/.."
ROOT=$(pwd)
scripts/package.sh
DEB=$(ls "$ROOT"/build/package/torvex32_*.deb)
WORK="$ROOT/build/package-test"
STAGE="$WORK/stage"
rm -rf "$WORK"
mkdir -p "$WORK"
DESTDIR="$STAGE" cmake --install build/package >/dev/null
USR="$STAGE/usr"

step() { printf '\n== %s\n' "$*"; }
fail() { echo "test-package: $*" >&2; exit 1; }

step "desktop entry and AppStream data"
desktop-file-validate "$USR/share/applications/torvex32.desktop"
appstreamcli validate --no-net --pedantic "$USR"/share/metainfo/*.metainfo.xml
for size in 32 48 64 128; do
  file "$USR/share/icons/hicolor/${size}x${size}/apps/torvex32.png" | grep -q "$size x $size" ||
    fail "the $size px icon is missing or of another size"
done

step "the test suite's profile"
PROFILE="$USR/share/games/torvex32/suite-profile/torvex32"
for file in test-definition.xml results-definition.xml install.sh; do
  [ -f "$PROFILE/$file" ] || fail "the suite profile has no $file"
done
grep -q '^RUNNER="/usr/games/torvex32-bench"$' "$PROFILE/install.sh" ||
  fail "the suite profile does not run the installed runner by its full path"
echo "the profile runs /usr/games/torvex32-bench"

step "manual pages"
for page in "$USR"/share/man/man*/*.gz; do
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "$page: $warnings"
  echo "$(basename "$page"): renders without warnings"
done

# The example game must catch gems in a fixed number of ticks, headless.
play() {
  out=$(SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy timeout 120 "$@" --ticks 300)
  echo "$out"
  score=$(echo "$out" | sed -n 's/^catch: score \([0-9]*\) after 300 ticks$/\1/p')
  [ -n "$score" ] && [ "$score" -gt 0 ] || fail "the example did not play: $out"
}

step "example through find_package"
cmake -S examples/catch -B "$WORK/catch-cmake" -G Ninja -DCMAKE_PREFIX_PATH="$USR" >/dev/null
cmake --build "$WORK/catch-cmake" >/dev/null
play "$WORK/catch-cmake/catch"

step "example with torvex32's sources built along (add_subdirectory)"
cmake -S examples/catch -B "$WORK/catch-subdir" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DCATCH_TORVEX32_SOURCE="$ROOT" >/dev/null
cmake --build "$WORK/catch-subdir" >/dev/null
play "$WORK/catch-subdir/catch"
# Inside another project torvex32 adds no tests and installs nothing.
ctest --test-dir "$WORK/catch-subdir" -N | grep -q "Total Tests: 0" || fail "a consumer gets our tests"
DESTDIR="$WORK/catch-subdir-install" cmake --install "$WORK/catch-subdir" >/dev/null
[ ! -e "$WORK/catch-subdir-install" ] || fail "a consumer's install installs torvex32's files"

step "the README's consumer (its CMakeLists.txt and mygame.cpp, as printed) through find_package"
SNIPPET="$WORK/readme-consumer"
mkdir -p "$SNIPPET"
awk -v dir="$SNIPPET" '
  /consumer.s `CMakeLists.txt`:$/ { file = dir "/CMakeLists.txt"; next }
  /^and its `mygame.cpp`/ { file = dir "/mygame.cpp"; next }
  /^    / { if (file != "") { sub(/^    /, ""); print > file }; next }
  /^$/ { if (file != "") print > file; next }
  { file = "" }' README.md
[ -s "$SNIPPET/CMakeLists.txt" ] && [ -s "$SNIPPET/mygame.cpp" ] || fail "no consumer example in the README"
cmake -S "$SNIPPET" -B "$SNIPPET/build" -G Ninja -DCMAKE_PREFIX_PATH="$USR" >/dev/null
cmake --build "$SNIPPET/build" >/dev/null
SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy timeout 120 "$SNIPPET/build/mygame" ||
  fail "the README's example did not run to its end"
echo "the README's example builds and runs its 500 frames"

step "example through pkg-config"
PKG_CONFIG_PATH=$(dirname "$(find "$USR" -name torvex32-null-app.pc)")
export PKG_CONFIG_PATH
DATA=$(pkg-config --variable=datadir torvex32)
g++ -std=c++20 -o "$WORK/catch-pc" examples/catch/catch.cpp \
  $(pkg-config --cflags --libs torvex32-null-app)
play "$WORK/catch-pc" --data "$DATA"
# An application that defines every hook itself links the framework alone.
g++ -std=c++20 -o "$WORK/testapp-pc" tests/e2e/testapp.cpp $(pkg-config --cflags --libs torvex32)
echo "an application with all its own hooks links through torvex32.pc"
unset PKG_CONFIG_PATH

step "lintian"
lintian --fail-on error --info "$DEB" || fail "lintian reports errors"

# The section follows the layout however the package is made: games in /usr/games here, and
# utilities in /usr/bin for cpack from a plain build (configured only: the package's control
# data is fixed at configure time).
step "section and layout agree"
[ "$(dpkg-deb -f "$DEB" Section)" = games ] || fail "the package is not of Section games"
dpkg-deb -c "$DEB" | grep ' \./usr/games/torvex32$' >/dev/null || fail "the programs are not in /usr/games"
cmake -S . -B "$WORK/plain" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DTORVEX_TESTS=OFF -DTORVEX_BENCH=OFF -DTORVEX_EXAMPLES=OFF >/dev/null
grep -q 'set(CPACK_DEBIAN_PACKAGE_SECTION "utils")' "$WORK/plain/CPackConfig.cmake" ||
  fail "a plain build's package (programs in /usr/bin) is not of Section utils"
echo "games in /usr/games; utils in /usr/bin"

step "installing the package"
if [ "$(id -u)" -ne 0 ]; then
  echo "skipped: installing the package needs root"
  exit 0
fi
# Another installation may hold dpkg's lock for a while: wait for it to be released.
tries=0
until dpkg -i "$DEB" 2>"$WORK/dpkg.err"; do
  grep -q "lock" "$WORK/dpkg.err" && [ $tries -lt 60 ] || { cat "$WORK/dpkg.err"; fail "dpkg -i failed"; }
  tries=$((tries + 1))
  sleep 10
done
set +e
"$(dpkg -L torvex32 | grep '/torvex32-bench$')" --frames 100
status=$?
# The installed profile's templates against what the installed runner prints (headless).
[ $status -ne 0 ] || env -u DISPLAY -u WAYLAND_DISPLAY python3 tests/suite_profile_check.py \
  /usr/share/games/torvex32/suite-profile/torvex32 --frames 300
status=$?
set -e
dpkg -r torvex32 >/dev/null
[ $status -eq 0 ] || fail "the installed torvex32-bench failed"
echo "test-package: all passed"
