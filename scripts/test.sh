#!/usr/bin/env bash
# Builds Reelscope and runs every test, headless. Exits non-zero on any
# failure.
# Usage: scripts/test.sh [ctest arguments, e.g. -R Seek]
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
export QT_QPA_PLATFORM=offscreen SDL_AUDIODRIVER=dummy
cd build
ctest --output-on-failure -j2 --timeout 300 "$@"
