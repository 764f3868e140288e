#!/usr/bin/env bash
# Builds Reelscope's Debian package with CPack from the tree in build/ and
# prints where it is. Its runtime dependencies are found from the binary by
# dpkg-shlibdeps.
# Usage: scripts/package.sh
set -euo pipefail
cd "$(dirname "$0")/.."
# Only the package's path goes to standard output.
scripts/setup.sh >&2
rm -rf build/package
cpack --config build/CPackConfig.cmake -B build/package >&2
ls "$(pwd)"/build/package/reelscope_*.deb
