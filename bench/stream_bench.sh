#!/usr/bin/env bash
# The stream against FFmpeg alone on a 1080p30 H.264 movie (generated, 10 s,
# key frame every 2 s), or on the movie given.
# Usage: bench/stream_bench.sh [movie]
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh >/dev/null
movie="${1:-build/bench/h264-1080p30.mp4}"
if [ ! -f "$movie" ]; then
  mkdir -p "$(dirname "$movie")"
  scripts/make-movie.sh --style demo --size 1920x1080 --fps 30 --frames 300 --gop 60 \
    --bitrate 8000000 "$movie"
fi
SDL_AUDIODRIVER=dummy build/bench/reelscope-stream-bench "$movie"
