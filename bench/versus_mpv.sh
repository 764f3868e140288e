#!/usr/bin/env bash
# The player beside mpv (--vo=x11 --ao=null --hwdec=no) and the ffmpeg
# command in one run, under Xvfb, alternating the players, three rounds;
# min/median per player and the ratio of the medians:
#   memory: peak resident while playing 20 s of 1080p30 H.264, 1080p30 VP9
#           and 2160p30 H.264 on a 2048x1400 and a 3840x2160 screen, and the
#           idle window;
#   exact seek: median and 95th percentile over 20 places while paused,
#           key frame every 60 and every 250 frames;
#   first picture: process start to the movie's first picture on screen;
#   per frame: CPU per second of 1080p30 playback, against what ffmpeg
#           spends decoding and converting a second of it to 32-bit RGB.
# Usage: bench/versus_mpv.sh [--long]   (--long: also ten minutes of play,
#        whose resident memory must grow less than 5 MB after the first)
set -euo pipefail
cd "$(dirname "$0")/.."
REELSCOPE_EXTRA_PACKAGES="ffmpeg mpv xvfb" scripts/setup.sh >/dev/null
long=0; [ "${1:-}" = "--long" ] && long=1
dir=build/bench; mkdir -p $dir
movie() {  # name, size, gop, codec options
  local out=$dir/$1; [ -f "$out" ] && return
  ffmpeg -v error -f lavfi -i "testsrc2=size=$2:rate=30" -f lavfi -i sine=frequency=440:sample_rate=48000 -t 25 \
    -g "$3" -keyint_min "$3" -pix_fmt yuv420p "${@:4}" -c:a aac -shortest -y "$out"
}
movie h264-1080p-g60.mp4 1920x1080 60 -c:v libx264 -preset veryfast -sc_threshold 0
movie h264-1080p-g250.mp4 1920x1080 250 -c:v libx264 -preset veryfast -sc_threshold 0
movie h264-2160p.mp4 3840x2160 60 -c:v libx264 -preset veryfast -sc_threshold 0
[ -f $dir/vp9-1080p.webm ] || ffmpeg -v error -f lavfi -i testsrc2=size=1920x1080:rate=30 -f lavfi \
  -i sine=frequency=440:sample_rate=48000 -t 25 -g 60 -c:v libvpx-vp9 -deadline realtime -cpu-used 8 -b:v 6M \
  -c:a libopus -shortest -y $dir/vp9-1080p.webm

ticks=$(getconf CLK_TCK)
results=$dir/versus-mpv.txt  # every measurement, kept for a look afterwards
: > "$results"
config=$(mktemp -d)
xvfb=
stop_x() { [ -n "$xvfb" ] && kill $xvfb 2>/dev/null && wait $xvfb 2>/dev/null; xvfb=; }
trap 'stop_x; rm -rf "$config"' EXIT
start_x() {  # WxH
  stop_x
  export DISPLAY=:$((60 + RANDOM % 9))
  Xvfb "$DISPLAY" -screen 0 "$1x24" -nolisten tcp >/dev/null 2>&1 & xvfb=$!
  sleep 1
}
export SDL_AUDIODRIVER=dummy XDG_CONFIG_HOME=$config XDG_RUNTIME_DIR=$config QT_QPA_PLATFORM=xcb
ours=(build/app/reelscope)
mpv=(mpv --vo=x11 --ao=null --hwdec=no --geometry=0:0 --really-quiet --keep-open=yes)
record() { echo "$*" >> "$results"; }
cpu() { awk -v t="$ticks" '{ printf "%.3f", ($14 + $15) / t }' "/proc/$1/stat"; }
hwm() { awk '/VmHWM/ { printf "%.1f", $2 / 1024 }' "/proc/$1/status"; }
rss() { awk '/VmRSS/ { printf "%.1f", $2 / 1024 }' "/proc/$1/status"; }
# Plays for 20 s: the peak resident memory, and the CPU of seconds 2 to 20.
play() {  # key, player, command...
  local key=$1 who=$2; shift 2
  "$@" >/dev/null 2>&1 & local pid=$!
  sleep 2; local c0; c0=$(cpu $pid)
  sleep 18; local c1; c1=$(cpu $pid)
  record "$key memory $who $(hwm $pid)"
  record "$key cpu $who $(echo "$c0 $c1" | awk '{ printf "%.3f", ($2 - $1) / 18 }')"
  kill $pid; wait $pid 2>/dev/null || true
}
idle() {  # key, player, command...
  local key=$1 who=$2; shift 2
  "$@" >/dev/null 2>&1 & local pid=$!
  sleep 3; record "$key memory $who $(hwm $pid)"
  kill $pid; wait $pid 2>/dev/null || true
}

for round in 1 2 3; do
  for screen in 2048x1400 3840x2160; do
    start_x $screen
    idle "idle@$screen" reelscope "${ours[@]}"
    idle "idle@$screen" mpv "${mpv[@]}" --idle=yes --force-window=yes
    for m in h264-1080p-g60.mp4 vp9-1080p.webm h264-2160p.mp4; do
      play "$m@$screen" reelscope "${ours[@]}" $dir/$m
      play "$m@$screen" mpv "${mpv[@]}" $dir/$m
    done
  done
  start_x 2048x1400
  for m in h264-1080p-g60.mp4 h264-1080p-g250.mp4; do
    for who in ours mpv; do
      build/bench/reelscope-player-bench seeks --$who $dir/$m | awk -v k="$m" -v w="$who" \
        '{ print k " seek-median " (w == "ours" ? "reelscope" : w) " " $5; print k " seek-p95 " (w == "ours" ? "reelscope" : w) " " $8 }' >> "$results"
    done
  done
  for who in reelscope mpv; do
    if [ $who = reelscope ]; then cmd=("${ours[@]}"); else cmd=("${mpv[@]}"); fi
    build/bench/reelscope-player-bench first "${cmd[@]}" $dir/h264-1080p-g60.mp4 | awk -v w=$who '{ print "first-picture ms " w " " $4 }' >> "$results"
  done
  t=$( { /usr/bin/time -f "%U %S" ffmpeg -v error -threads 0 -i $dir/h264-1080p-g60.mp4 -t 20 -an -f rawvideo \
    -pix_fmt bgra -y /dev/null; } 2>&1 | tail -1)
  record "h264-1080p-g60.mp4@2048x1400 cpu ffmpeg $(echo "$t" | awk '{ printf "%.3f", ($1 + $2) / 20 }')"
done

# min/median of the three rounds, and the ratio of the player's median to
# the reference's (mpv, or for the per-frame cost the ffmpeg command).
sort "$results" | awk '
  function report(   n, i, j, t, a, line, w, m, ref) {
    if (key == "") return
    line = sprintf("%-40s", key)
    for (w in vals) {
      n = split(vals[w], a, " ")
      for (i = 1; i <= n; i++) for (j = i + 1; j <= n; j++) if (a[j] + 0 < a[i] + 0) { t = a[i]; a[i] = a[j]; a[j] = t }
      m[w] = a[int((n + 1) / 2)]
      line = line sprintf("  %s %s/%s", w, a[1], m[w])
    }
    ref = ("mpv" in m) ? "mpv" : ("ffmpeg" in m) ? "ffmpeg" : ""
    if (ref != "" && ("reelscope" in m) && m[ref] > 0) line = line sprintf("  ratio %.2f", m["reelscope"] / m[ref])
    print line
    delete vals
  }
  { k = $1 " " $2; if (k != key) { report(); key = k } vals[$3] = vals[$3] " " $4 }
  END { report() }'

if [ $long -eq 1 ]; then
  start_x 2048x1400
  mkdir -p "$config/Ostra"
  printf '[MCI]\nAutoReplay=1\n' > "$config/Ostra/Reelscope.conf"  # continuous play
  "${ours[@]}" $dir/h264-1080p-g60.mp4 >/dev/null 2>&1 & pid=$!
  sleep 60; first=$(rss $pid)
  sleep 540; last=$(rss $pid)
  kill $pid; wait $pid 2>/dev/null || true
  echo "ten minutes of play: resident $first MB after the first minute, $last MB at the end"
fi
