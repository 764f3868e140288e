#!/usr/bin/env bash
# Stepping frame by frame forward and backward on 1080p30 H.264 with a key
# frame every 60 and every 250 frames (made by the ffmpeg command), the
# player beside mpv's frame-step and frame-back-step, alternating, under Xvfb.
# Usage: bench/step_bench.sh
set -euo pipefail
cd "$(dirname "$0")/.."
REELSCOPE_EXTRA_PACKAGES="ffmpeg mpv xvfb" scripts/setup.sh >/dev/null
mkdir -p build/bench
for gop in 60 250; do
  movie=build/bench/step-g$gop.mp4
  [ -f "$movie" ] || ffmpeg -v error -f lavfi -i testsrc2=size=1920x1080:rate=30 -t 20 -c:v libx264 -preset veryfast \
    -g $gop -keyint_min $gop -sc_threshold 0 -pix_fmt yuv420p "$movie"
done
display=:$((70 + RANDOM % 9))
Xvfb "$display" -screen 0 2048x1400x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
config=$(mktemp -d)
trap 'kill $xvfb 2>/dev/null; rm -rf "$config"' EXIT
sleep 1
export DISPLAY=$display SDL_AUDIODRIVER=dummy XDG_CONFIG_HOME=$config QT_QPA_PLATFORM=xcb
for gop in 60 250; do
  echo "key frame every $gop:"
  build/bench/reelscope-player-bench steps --ours build/bench/step-g$gop.mp4
  build/bench/reelscope-player-bench steps --mpv build/bench/step-g$gop.mp4
done
