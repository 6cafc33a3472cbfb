#!/bin/sh
# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer and runs every test,
# the end-to-end tests included (they start their own X server and window manager); then the
# tests of the installed form and the Debian package.
set -e
cd "$(dirname "$0")/.."
scripts/deps.sh build run test
cmake -S . -B build/debug -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTORVEX_SANITIZE=ON
cmake --build build/debug
(cd build/debug && ctest --output-on-failure -j2 --timeout 900)
scripts/test-windows.sh
scripts/test-package.sh
