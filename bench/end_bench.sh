#!/usr/bin/env bash
# The end of a long recording: a three-hour MPEG-TS of 640x360 H.264/AAC
# with a key frame every 10 s and no index, beside the same content in MP4.
# For each, under Xvfb: the end command, and a seek into the last group of
# pictures, at once after the open (nothing known of the file yet) and once
# the file has been read through (its key frames known).
# Target: each within 1 s for the TS.
# Usage: bench/end_bench.sh
set -euo pipefail
cd "$(dirname "$0")/.."
REELSCOPE_EXTRA_PACKAGES="ffmpeg xvfb" scripts/setup.sh >/dev/null
dir=build/bench; mkdir -p $dir
piece=$dir/ts10min.ts
[ -f $piece ] || ffmpeg -nostdin -v error -f lavfi -i "testsrc2=size=640x360:rate=25" \
  -f lavfi -i "sine=frequency=440:sample_rate=48000" -t 600 -c:v libx264 -preset veryfast -g 250 -keyint_min 250 \
  -sc_threshold 0 -pix_fmt yuv420p -c:a aac -b:a 96k -f mpegts $piece
long=$dir/ts3h.ts
if [ ! -f $long ]; then
  list=$(mktemp)
  for _ in $(seq 18); do echo "file '$(realpath $piece)'"; done > "$list"
  ffmpeg -nostdin -v error -f concat -safe 0 -i "$list" -c copy -f mpegts $long
  rm -f "$list"
fi
[ -f $dir/ts3h.mp4 ] || ffmpeg -nostdin -v error -i $long -c copy -bsf:a aac_adtstoasc -movflags +faststart $dir/ts3h.mp4

config=$(mktemp -d)
export DISPLAY=:$((70 + RANDOM % 9)) SDL_AUDIODRIVER=dummy XDG_CONFIG_HOME=$config XDG_RUNTIME_DIR=$config QT_QPA_PLATFORM=xcb
chmod 700 "$config"
Xvfb "$DISPLAY" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 & xvfb=$!
trap 'kill $xvfb 2>/dev/null; rm -rf "$config"' EXIT
sleep 1
for movie in $long $dir/ts3h.mp4; do
  echo "== $(basename $movie) ($(du -h $movie | cut -f1))"
  build/bench/reelscope-player-bench end --ours "$movie" 2>/dev/null
done
