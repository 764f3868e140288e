#!/usr/bin/env bash
# Looks at the player as a person would: runs it under Xvfb (1280 x 1024)
# on generated movies and saves screenshots of the window, its menus, the
# about box, the thumbnail strip and seek bar while playing and after a drag
# on the strip, and full screen paused and playing.
# Usage: scripts/screenshots.sh [output folder, default build/screenshots]
set -euo pipefail
cd "$(dirname "$0")/.."
REELSCOPE_EXTRA_PACKAGES="xvfb xdotool imagemagick" scripts/setup.sh >/dev/null
out="${1:-build/screenshots}"
mkdir -p "$out"
gen=scripts/make-movie.sh
[ -f build/demo/demo640.mp4 ] || { mkdir -p build/demo; $gen --style demo --size 640x360 --fps 30 --frames 300 --gop 30 build/demo/demo640.mp4; }
[ -f build/demo/demo320.avi ] || $gen --style demo --size 320x240 --fps 25 --frames 500 build/demo/demo320.avi

display=:$((80 + RANDOM % 9))
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
config=$(mktemp -d)
player=
cleanup() { [ -n "$player" ] && kill "$player" 2>/dev/null; kill $xvfb 2>/dev/null; rm -rf "$config"; }
trap cleanup EXIT
sleep 1
export DISPLAY=$display SDL_AUDIODRIVER=dummy XDG_CONFIG_HOME=$config

shot() { import -window root "$out/$1.png"; echo "$out/$1.png"; }
start() {
  [ -n "$player" ] && { kill "$player"; wait "$player" 2>/dev/null || true; }
  build/app/reelscope "$@" >/dev/null 2>&1 &
  player=$!
  sleep 2.5
}

start
shot idle
start build/demo/demo640.mp4
shot playing
xdotool mousemove 75 11 click 1; sleep 0.6; shot menu-control; xdotool key Escape; sleep 0.3
xdotool mousemove 120 11 click 1; sleep 0.6; shot menu-view; xdotool key Escape; sleep 0.3
xdotool mousemove 28 11 click 1; sleep 0.6; shot menu-file; xdotool key Escape; sleep 0.3
xdotool mousemove 178 11 click 1; sleep 0.5; xdotool mousemove 220 34 click 1; sleep 0.8; shot about; xdotool key Return

mkdir -p "$config/Ostra"
printf '[MCI]\nPreViewFlag=1\nScrollBar=1\n' > "$config/Ostra/Reelscope.conf"
start build/demo/demo640.mp4
sleep 2; shot strip-playing
xdotool mousemove 400 430 mousedown 1; sleep 0.3; xdotool mousemove 520 430; sleep 0.8
shot strip-dragging
xdotool mouseup 1; sleep 1.2; shot strip-after-drag

rm -f "$config/Ostra/Reelscope.conf"
start build/demo/demo320.avi
xdotool mousemove 100 150 click 1; sleep 0.5       # pause
xdotool key f; sleep 1.5                           # full screen by its key
shot fullscreen-paused
xdotool mousemove 640 500 click 3; sleep 0.7; shot fullscreen-menu
xdotool key Escape; sleep 0.3; xdotool key space; sleep 1.5   # plays again
shot fullscreen-playing
xdotool mousemove 300 300 click 1; sleep 1         # a click leaves full screen
shot after-fullscreen
