#!/usr/bin/env bash
# The player's CPU cost of showing a 1080p30 H.264 movie for 10 seconds in
# its window at 100 % under Xvfb, beside mpv (--vo=x11 --ao=null) on the
# same file in the same run. Reports user+system CPU seconds of each player
# and of the X server during its run, and the frames each dropped.
# Usage: bench/play_cpu.sh [movie]
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh >/dev/null
command -v Xvfb >/dev/null || { echo "needs xvfb (apt-get install xvfb)"; exit 1; }
command -v mpv >/dev/null || { echo "needs mpv as the reference (apt-get install mpv)"; exit 1; }
movie="${1:-build/bench/h264-1080p30.mp4}"
if [ ! -f "$movie" ]; then
  mkdir -p "$(dirname "$movie")"
  build/tests/support/reelscope-movie-gen --style demo --size 1920x1080 --fps 30 --frames 300 --gop 60 \
    --bitrate 8000000 "$movie"
fi
seconds=10

display=:$((90 + RANDOM % 9))
Xvfb "$display" -screen 0 2048x1400x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null' EXIT
sleep 1
export DISPLAY=$display SDL_AUDIODRIVER=dummy

ticks=$(getconf CLK_TCK)
cpu() { awk -v t="$ticks" '{ printf "%.2f", ($14 + $15) / t }' "/proc/$1/stat"; }

measure() {  # name, then the command
  local name=$1; shift
  local x0; x0=$(cpu $xvfb)
  "$@" > "/tmp/play_cpu_$name.log" 2>&1 &
  local pid=$!
  sleep "$seconds"
  local used; used=$(cpu $pid)
  local x1; x1=$(cpu $xvfb)
  kill -TERM $pid 2>/dev/null || true
  wait $pid 2>/dev/null || true
  printf '%-10s CPU %6.2f s   X server %6.2f s\n' "$name" "$used" "$(echo "$x1 - $x0" | bc)"
}

config=$(mktemp -d)
REELSCOPE_STATS=1 XDG_CONFIG_HOME=$config measure reelscope build/app/reelscope "$movie"
grep -h "frames shown" /tmp/play_cpu_reelscope.log || true
measure mpv mpv --no-config --vo=x11 --ao=null --hwdec=no --really-quiet "$movie"
rm -rf "$config"
