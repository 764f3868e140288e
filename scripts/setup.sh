#!/usr/bin/env bash
# Installs what Reelscope needs to build, run and test on Debian 12, when it
# is missing; then configures and builds the tree in build/.
# Usage: scripts/setup.sh [extra cmake arguments]
set -euo pipefail
cd "$(dirname "$0")/.."

PACKAGES=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev
  libavformat-dev libavcodec-dev libavutil-dev libswscale-dev libswresample-dev libavfilter-dev
  libsdl2-dev libzimg-dev
  libass-dev libuchardet-dev
  libgtest-dev ffmpeg
  fonts-noto-cjk
  dbus-daemon playerctl
  desktop-file-utils appstream dpkg-dev file lintian librsvg2-bin
)
PACKAGES+=(${REELSCOPE_EXTRA_PACKAGES:-})

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  echo "Installing: ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

cmake -S . -B build -G Ninja "$@" >/dev/null
cmake --build build
