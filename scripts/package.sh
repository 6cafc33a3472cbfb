#!/bin/sh
# Builds the release programs for /usr and makes the Debian package of them with CPack:
# build/package/torvex32_VERSION_ARCH.deb (its path is printed last). As Debian's games and
# demos, the programs go to /usr/games and their data files to /usr/share/games/torvex32.
set -e
cd "$(dirname "$0")/.."
scripts/deps.sh build run package
# Debian's hardening flags, as its own package builds get them.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
CXXFLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
LDFLAGS="$(dpkg-buildflags --get LDFLAGS)"
cmake -S . -B build/package -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_CXX_FLAGS="$CXXFLAGS" -DCMAKE_EXE_LINKER_FLAGS="$LDFLAGS" -DCMAKE_INSTALL_PREFIX=/usr \
  -DCMAKE_INSTALL_BINDIR=games -DTORVEX_DATA_DIR=share/games/torvex32 \
  -DCMAKE_STRIP="$(pwd)/packaging/strip.sh" \
  -DTORVEX_TESTS=OFF -DTORVEX_BENCH=OFF -DTORVEX_EXAMPLES=OFF -DTORVEX_INSTALL=ON
cmake --build build/package
(cd build/package && cpack -G DEB >/dev/null)
ls build/package/torvex32_*.deb
