#!/usr/bin/env bash
# Builds Reelscope and starts it on the movie given, or on a demo movie the
# project writes itself.
# Usage: scripts/run.sh [movie]
set -euo pipefail
movie="${1:-}"
# A path given relative to where the script was started from, before the
# script moves to the project's folder.
case "$movie" in
  "" | /*) ;;
  *) movie="$PWD/$movie" ;;
esac
cd "$(dirname "$0")/.."
scripts/setup.sh
if [ -z "$movie" ]; then
  movie=build/demo/reelscope-demo.mp4
  if [ ! -f "$movie" ]; then
    mkdir -p build/demo
    scripts/make-movie.sh --style demo --size 640x360 --fps 30 --frames 600 --gop 30 "$movie"
  fi
fi
exec build/app/reelscope -- "$movie"
