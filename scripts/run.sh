#!/bin/sh
# Builds the release program and runs the benchmark: in a window where there is a display,
# headless in the terminal (printing the measured rate) where there is none.
set -e
cd "$(dirname "$0")/.."
scripts/deps.sh build run
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DTORVEX_TESTS=OFF -DTORVEX_BENCH=OFF \
  -DTORVEX_EXAMPLES=OFF
cmake --build build/release
if [ -n "$DISPLAY" ] || [ -n "$WAYLAND_DISPLAY" ]; then
  exec build/release/bin/torvex32 "$@"
else
  exec build/release/bin/torvex32-bench --seconds "${TORVEX_SECONDS:-10}" "$@"
fi
