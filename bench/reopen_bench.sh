#!/usr/bin/env bash
# Memory that returns after each movie: twenty different movies (sizes from
# 320x240 to 1920x1080, H.264, MPEG-4, MJPEG, VP8, MPEG-1, WMV and a still
# picture over sound) opened one after another in one process, four rounds,
# as the desktop's media controls open them; the resident memory after each
# round. Target: the last round within 10 % of the first.
# Usage: bench/reopen_bench.sh
set -euo pipefail
cd "$(dirname "$0")/.."
REELSCOPE_EXTRA_PACKAGES="ffmpeg xvfb" scripts/setup.sh >/dev/null
dir=build/bench/reopen; mkdir -p $dir
movies=()
make() {  # name, options...
  local out=$dir/$1; shift
  [ -f "$out" ] || scripts/make-movie.sh "$@" "$out"
  movies+=("$out")
}
for size in 320x240 640x360 1280x720 1920x1080; do
  make h264-$size.mp4 --size $size --frames 100 --gop 25
  make h264-$size.mkv --size $size --frames 100 --gop 50
  make mjpeg-$size.avi --size $size --frames 50
done
make mpeg4.avi --vcodec mpeg4 --size 720x480 --frames 100
make mpeg1.mpg --size 352x288 --frames 100
make wmv2.asf --size 640x480 --frames 100
make vp8.webm --size 640x360 --frames 100
make still.mp4 --size 1280x720 --frames 1 --sound-seconds 5
make vfr.mkv --size 640x360 --frames 90 --vfr steps
make long.ts --size 960x540 --frames 250 --gop 250
make rot.mp4 --size 640x360 --rotate 90 --frames 100

config=$(mktemp -d)
export DISPLAY=:$((70 + RANDOM % 9)) SDL_AUDIODRIVER=dummy XDG_CONFIG_HOME=$config XDG_RUNTIME_DIR=$config QT_QPA_PLATFORM=xcb
chmod 700 "$config"
Xvfb "$DISPLAY" -screen 0 2048x1400x24 -nolisten tcp >/dev/null 2>&1 & xvfb=$!
trap 'kill $xvfb 2>/dev/null; rm -rf "$config"' EXIT
sleep 1
echo "${#movies[@]} movies"
build/bench/reelscope-player-bench reopen --ours "${movies[@]}" 2>/dev/null
