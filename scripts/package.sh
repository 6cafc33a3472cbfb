#!/bin/sh
# Builds the release programs for /usr and makes the Debian package of them with CPack:
# build/package/torvex32_VERSION_ARCH.deb (its path is printed last).
set -e
cd "$(dirname "$0")/.."
scripts/deps.sh build run package
cmake -S . -B build/package -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DTORVEX_TESTS=OFF -DTORVEX_BENCH=OFF -DTORVEX_EXAMPLES=OFF -DTORVEX_INSTALL=ON
cmake --build build/package
(cd build/package && cpack -G DEB >/dev/null)
ls build/package/torvex32_*.deb
