#!/bin/sh
# Builds the native Windows programs on Linux with MinGW-w64: build/windows/bin/torvex32.exe and
# torvex32-bench.exe with their four data files beside them, and build/windows/torvex32-win64.zip
# to hand to Windows users. The data files, the icon and the cursor are made by this machine's
# own build of the tools (build/windows-host). TORVEX_WINDOWS_TESTS=ON also builds the tests.
set -e
cd "$(dirname "$0")/.."
# The host build needs what any build needs; the tests also run the end-to-end tests under Wine.
if [ "${TORVEX_WINDOWS_TESTS:-OFF}" = ON ]; then
  scripts/deps.sh build run test windows windows-test
else
  scripts/deps.sh build windows
fi

cmake -S . -B build/windows-host -G Ninja -DCMAKE_BUILD_TYPE=Release -DTORVEX_TESTS=OFF \
  -DTORVEX_BENCH=OFF
cmake --build build/windows-host -j2 --target torvex-assets torvex-make-midi torvex-make-effect \
  torvex-win-resources

cmake -S . -B build/windows -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64.cmake" -DTORVEX_HOST_TOOLS="$PWD/build/windows-host/bin" \
  -DTORVEX_TESTS="${TORVEX_WINDOWS_TESTS:-OFF}" -DTORVEX_BENCH=OFF
cmake --build build/windows -j2

# The zip: one folder with the programs (without their symbols) and the data files.
stage=build/windows/zip/torvex32
rm -rf build/windows/zip build/windows/torvex32-win64.zip
mkdir -p "$stage"
for program in torvex32.exe torvex32-bench.exe; do
  x86_64-w64-mingw32-strip -o "$stage/$program" "build/windows/bin/$program"
done
cp build/windows/bin/TORVEX32.ZGL build/windows/bin/TORVEX32.ZOR build/windows/bin/TORVEX.MID \
  build/windows/bin/TORVEX.WAV "$stage"
(cd build/windows/zip && zip -q -r -X ../torvex32-win64.zip torvex32)
echo "built build/windows/torvex32-win64.zip"
