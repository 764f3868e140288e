#!/usr/bin/env bash
# Dense styled subtitles over 1080p30 H.264 (made by the ffmpeg command),
# under Xvfb:
#   playback: 20 s of the movie with an ASS track of 300 cues on screen at
#           once (--on-screen N), each placed, turned and sung as karaoke
#           (\k, \kf, \ko, fades, blur, Japanese and Latin text), and of the
#           same movie without the track, alternating, three rounds: the
#           frames shown and dropped late, and the CPU per second of seconds
#           2 to 20;
#   memory: a two-minute movie with the same density played over and over
#           for ten minutes (--minutes N; 0 for none), sought to a random
#           place every 5 s through the desktop's media controls (playerctl,
#           on a bus of its own): the resident memory and its peak each minute.
# Targets: no frame late with the subtitles; their CPU at most 1.15 x the
# movie's without; the resident memory and its peak at the end less than
# 5 MB above what they were after the first minute.
# A picture of the subtitled movie as played is kept in build/bench/subtitles/.
# reelscope-overlay-bench (bench/overlay_bench.cpp) measures the subtitles
# alone (no movie, no window) on the scripts this writes there.
# --player FILE measures that build of the player (a copy kept from before a
# change, say) as it is, without building the tree; --rounds N plays N
# rounds instead of three (0: the memory part alone).
# Usage: bench/subtitle_bench.sh [--minutes N] [--on-screen N] [--rounds N] [--player FILE]
set -euo pipefail
cd "$(dirname "$0")/.."
minutes=10 shown=300 rounds=3 player=
usage() { echo "usage: bench/subtitle_bench.sh [--minutes N] [--on-screen N (5 or more)] [--rounds N] [--player FILE]" >&2; exit 2; }
while [ $# -gt 0 ]; do
  case "$1" in
    --minutes) minutes=${2:-} ;;
    --on-screen) shown=${2:-} ;;
    --rounds) rounds=${2:-} ;;
    --player) player=${2:-} ;;
    *) usage ;;
  esac
  shift 2 || usage
done
if ! [[ "$minutes" =~ ^[0-9]+$ && "$shown" =~ ^[0-9]+$ && "$rounds" =~ ^[0-9]+$ ]] || [ "$shown" -lt 5 ]; then usage; fi
if [ -n "$player" ]; then
  [ -x "$player" ] || { echo "subtitle_bench: $player is no program" >&2; exit 2; }
  command -v ffmpeg >/dev/null && command -v Xvfb >/dev/null ||
    REELSCOPE_EXTRA_PACKAGES="ffmpeg xvfb" scripts/setup.sh >/dev/null
else
  player=build/app/reelscope
  REELSCOPE_EXTRA_PACKAGES="ffmpeg xvfb" scripts/setup.sh >/dev/null ||
    echo "subtitle_bench: the build did not finish; measuring the player already built" >&2
fi
dir=build/bench/subtitles; mkdir -p $dir

# The script: cues 5 s long, as many a second as keep `shown` on screen,
# spread over the picture.
dense_script() {  # seconds
  cat <<'EOF'
[Script Info]
ScriptType: v4.00+
PlayResX: 1920
PlayResY: 1080
WrapStyle: 2
ScaledBorderAndShadow: yes

[V4+ Styles]
Format: Name, Fontname, Fontsize, PrimaryColour, SecondaryColour, OutlineColour, BackColour, Bold, Italic, Underline, StrikeOut, ScaleX, ScaleY, Spacing, Angle, BorderStyle, Outline, Shadow, Alignment, MarginL, MarginR, MarginV, Encoding
Style: Kara,sans-serif,40,&H0000FFFF,&H00FF4000,&H00101010,&H80000000,-1,0,0,0,100,100,1,0,1,3,2,5,10,10,10,1
Style: Sign,serif,32,&H00FFFFFF,&H000000FF,&H00402000,&H60000000,0,-1,0,0,110,90,0,0,1,2,1,5,10,10,10,128

[Events]
Format: Layer, Start, End, Style, Name, MarginL, MarginR, MarginV, Effect, Text
EOF
  awk -v seconds="$1" -v rate=$(( shown / 5 )) 'function t(s) { return sprintf("%d:%02d:%05.2f", s / 3600, (s % 3600) / 60, s % 60) }
  BEGIN {
    for (i = 0; i < seconds * rate; i++) {
      s = i / rate
      if (i % 3 == 0) text = "{\\k25}カ{\\kf35}ラ{\\ko30}オ{\\kf40}ケ{\\k20} sing"
      else if (i % 3 == 1) text = "{\\kf60}Karaoke{\\kf60} line"
      else text = "{\\fad(200,200)\\blur1}{\\k30}看板の{\\k30}文字"
      printf "Dialogue: %d,%s,%s,%s,,0,0,0,,{\\pos(%d,%d)\\frz%d}%s\n", i % 4, t(s), t(s + 5),
        i % 3 == 2 ? "Sign" : "Kara", 80 + (i * 389) % 1760, 40 + (i * 211) % 1000, (i * 37) % 360 - 180, text
    }
  }'
}
plain=$dir/plain-1080p.mkv dense=$dir/dense$shown-1080p.mkv long=$dir/dense$shown-1080p-2min.mkv
[ -f $plain ] || ffmpeg -nostdin -v error -f lavfi -i "testsrc2=size=1920x1080:rate=30" -f lavfi \
  -i sine=frequency=440:sample_rate=48000 -t 25 -g 60 -keyint_min 60 -sc_threshold 0 -pix_fmt yuv420p \
  -c:v libx264 -preset veryfast -c:a aac -shortest -y $plain
subtitle() {  # movie, seconds, output: the movie's streams as they are, and the script
  [ -f "$3" ] && return
  dense_script "$2" > "$dir/dense$shown.ass"
  ffmpeg -nostdin -v error -i "$1" -i "$dir/dense$shown.ass" -map 0 -map 1 -c copy -metadata:s:s:0 language=jpn -y "$3"
}
subtitle $plain 25 "$dense"
if [ "$minutes" -gt 0 ] && [ ! -f "$long" ]; then
  [ -f $dir/plain-1080p-2min.mkv ] || ffmpeg -nostdin -v error -stream_loop 4 -i $plain -t 120 -c copy -y $dir/plain-1080p-2min.mkv
  subtitle $dir/plain-1080p-2min.mkv 120 "$long"
fi

ticks=$(getconf CLK_TCK)
config=$(mktemp -d)
export DISPLAY=:$((70 + RANDOM % 9)) SDL_AUDIODRIVER=dummy XDG_CONFIG_HOME=$config XDG_RUNTIME_DIR=$config QT_QPA_PLATFORM=xcb
chmod 700 "$config"
mkdir -p "$config/Ostra"
Xvfb "$DISPLAY" -screen 0 2048x1400x24 -nolisten tcp >/dev/null 2>&1 & xvfb=$!
bus=
trap 'kill $xvfb $bus 2>/dev/null; rm -rf "$config"' EXIT
sleep 1
cpu() { awk -v t="$ticks" '{ printf "%.3f", ($14 + $15) / t }' "/proc/$1/stat"; }
status() { awk -v f="$2:" '$1 == f { printf "%.1f", $2 / 1024 }' "/proc/$1/status"; }
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

# ---- playback
results=$dir/playback.txt; : > "$results"
play() {  # label, movie
  REELSCOPE_STATS=1 "$player" "$2" >/dev/null 2>"$config/stats" & local pid=$!
  sleep 2; local c0; c0=$(cpu $pid)
  sleep 18; local c1; c1=$(cpu $pid)
  sleep 1
  kill -TERM $pid; wait $pid 2>/dev/null || true
  local stats; stats=$(grep -o '[0-9]* frames shown, [0-9]* dropped late' "$config/stats" || echo "? frames shown, ? dropped late")
  echo "$1 $(echo "$c0 $c1" | awk '{ printf "%.3f", ($2 - $1) / 18 }') $stats" | tee -a "$results"
}
if [ "$rounds" -gt 0 ]; then
  echo "== playback, $shown cues on screen (label, CPU per second, frames)"
  for (( round = 0; round < rounds; round++ )); do
    play plain $plain
    play subtitled "$dense"
  done
  # What was measured, to look at: the subtitled movie 8 s in.
  "$player" "$dense" >/dev/null 2>&1 & pid=$!
  sleep 8
  ffmpeg -nostdin -v error -f x11grab -video_size 2048x1400 -i "$DISPLAY" -frames:v 1 -y "$dir/subtitled$shown.png" ||
    echo "(no picture: the ffmpeg command cannot grab the screen)"
  kill -TERM $pid; wait $pid 2>/dev/null || true
fi

# ---- memory
memory=$dir/memory.txt; : > "$memory"
if [ "$minutes" -gt 0 ]; then
  echo "== memory ($minutes minutes of play, a seek every 5 s)"
  printf '[MCI]\nAutoReplay=1\n' > "$config/Ostra/Reelscope.conf"  # continuous play
  { read -r address; read -r bus; } < <(dbus-daemon --config-file=tests/desktop/bus.conf --fork --print-address=1 --print-pid=1)
  export DBUS_SESSION_BUS_ADDRESS=$address
  REELSCOPE_STATS=1 "$player" "$long" >/dev/null 2>"$config/stats" & pid=$!
  sleep 3
  printf '%-8s %12s %12s\n' minute "VmRSS MB" "VmHWM MB"
  seeks=0 failed=0
  for (( s = 5; s <= minutes * 60; s += 5 )); do
    sleep 5
    kill -0 $pid 2>/dev/null || { echo "the player ended after $s s"; break; }
    playerctl -p reelscope position $(( RANDOM % 115 )) 2>/dev/null || failed=$(( failed + 1 ))
    seeks=$(( seeks + 1 ))
    if (( s % 60 == 0 )); then
      printf '%-8s %12s %12s\n' $(( s / 60 )) "$(status $pid VmRSS)" "$(status $pid VmHWM)" | tee -a "$memory"
    fi
  done
  kill -TERM $pid; wait $pid 2>/dev/null || true
  echo "$seeks seeks, $failed not taken; $(grep -o '[0-9]* frames shown, [0-9]* dropped late' "$config/stats" || true)"
fi

# ---- table
echo
echo "== summary, $shown cues on screen"
awk '$1 == "plain" { print $2 }' "$results" | median > "$config/a"
awk '$1 == "subtitled" { print $2 }' "$results" | median > "$config/b"
row() { printf "%-46s %-10s %-10s %s\n" "$@"; }
row measure value target ""
[ "$rounds" -gt 0 ] && awk -v a="$(cat "$config/a")" -v b="$(cat "$config/b")" -v n="$rounds" '
  $1 == "subtitled" { late += $6; if ($6 == "?") unknown = 1 }
  function row(m, v, t, r) { printf "%-46s %-10s %-10s %s\n", m, v, t, r }
  END {
    row("CPU/s without subtitles (median of " n ")", a, "", "")
    row("CPU/s with subtitles (median of " n ")", b, "", "")
    row("ratio", sprintf("%.2f", b / a), "<= 1.15", b / a <= 1.15 ? "met" : "MISSED")
    row("frames late with subtitles (" n " runs)", unknown ? "?" : late, "0", !unknown && late == 0 ? "met" : "MISSED")
  }' "$results"
# Two minutes at least make a trend.
[ "$(wc -l < "$memory")" -ge 2 ] && awk 'NR == 1 { first = $2; hwm1 = $3 } { last = $2; hwm = $3; n = $1 }
  function row(m, v, t, r) { printf "%-46s %-10s %-10s %s\n", m, v, t, r }
  END {
    row("resident growth, minute 1 to " n " (MB)", sprintf("%.1f", last - first), "< 5", last - first < 5 ? "met" : "MISSED")
    row("peak growth, minute 1 to " n " (MB)", sprintf("%.1f", hwm - hwm1), "< 5", hwm - hwm1 < 5 ? "met" : "MISSED")
  }' "$memory"
exit 0
