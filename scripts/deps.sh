#!/bin/sh
# Installs the Debian packages torvex32 needs to build, run and test, when any is missing.
set -e
PACKAGES="cmake ninja-build g++ pkg-config libgtest-dev libgmock-dev libbenchmark-dev libpng-dev
 libsdl2-dev libsdl2-mixer-dev libx11-dev libxext-dev timgm6mb-soundfont libmspack-dev
 xvfb openbox xdotool wmctrl x11-utils x11-apps imagemagick sox mscompress libsdl2-tests
 python3"
missing=""
for p in $PACKAGES; do
  dpkg -s "$p" >/dev/null 2>&1 || missing="$missing $p"
done
[ -z "$missing" ] && exit 0
echo "installing:$missing"
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
$SUDO apt-get update -q
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q $missing
