#!/usr/bin/env bash
# Numbering the frames of movies whose pictures do not come at one rate: the
# time and memory of reading a two-hour 640x360 movie, and exact seeks by
# that numbering on a 1080p movie beside FFmpeg alone.
# Usage: bench/timeline_bench.sh
set -euo pipefail
cd "$(dirname "$0")/.."
REELSCOPE_EXTRA_PACKAGES="ffmpeg" scripts/setup.sh >/dev/null
gen=scripts/make-movie.sh
mkdir -p build/bench
long=build/bench/vfr-640x360-2h.mkv
vfr=build/bench/vfr-1080p.mkv
if [ ! -f "$long" ]; then
  # One minute at 25, 50 and 25 pictures a second, repeated for two hours.
  $gen --size 640x360 --frames 1800 --vfr steps --gop 50 --acodec aac build/bench/vfr-640x360-1min.mkv
  ffmpeg -v error -y -stream_loop 119 -i build/bench/vfr-640x360-1min.mkv -c copy "$long"
fi
[ -f "$vfr" ] || $gen --size 1920x1080 --frames 600 --vfr irregular --gop 60 --bitrate 8000000 "$vfr"
SDL_AUDIODRIVER=dummy build/bench/reelscope-timeline-bench "$long" "$vfr"
