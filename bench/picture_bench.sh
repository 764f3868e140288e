#!/usr/bin/env bash
# The picture path against accurate references, and playback beside mpv
# (--vo=x11 --ao=null --hwdec=no), under Xvfb; one table at the end.
#   colour: patches of BT.601, BT.709 and BT.2020 (SDR), limited and full
#           range, tagged and untagged; PQ and HLG grey steps (0.1 to 1000
#           cd/m2) and colours, PQ with and without mastering metadata;
#           each against zscale's conversion (SDR) or a double-precision
#           BT.2390 tone map of zscale's decoding (HDR): dE76 and black;
#   dark ramp: 10-bit codes 64..303, 8 pixels each: the bands the eye sees;
#   chroma: red-on-blue edges in 4:2:0: error near the edges, staircase;
#   scaling: a fine 640x360 pattern at 200 % and full screen, a 4K zone
#           plate full screen at 1080p: SSIM against zscale's lanczos;
#   redraw: CPU per redraw of the picture standing, per case;
#   playback: CPU beside mpv for 1080p30 and 2160p30 H.264 and 1080p30
#           HEVC HDR10, three rounds alternating, and the late frames;
#           runs that other work on the machine shared are left out;
#   interlaced: a 1080i25 broadcast with the settings' Deinterlace auto and
#           off: combing on the moving box's band, frame numbers at exact
#           seeks.
# Every chart is coded losslessly (FFV1, or x265 lossless for HDR), so the
# player decodes exactly what the reference starts from. Captures,
# references and per-patch details are kept in build/bench/picture/.
# Usage: bench/picture_bench.sh
set -euo pipefail
cd "$(dirname "$0")/.."
setup_log=$(mktemp)
if REELSCOPE_EXTRA_PACKAGES="ffmpeg mpv xvfb" scripts/setup.sh >"$setup_log" 2>&1; then
  rm -f "$setup_log"
else
  echo "picture_bench: the build did not finish (see $setup_log); measuring the programs already built" >&2
fi
bench=build/bench/reelscope-picture-bench
ours=(build/app/reelscope)
for program in "$bench" "${ours[0]}"; do
  [ -x "$program" ] && [ -s "$program" ] || { echo "picture_bench: $program is missing" >&2; exit 1; }
done
dir=build/bench/picture; mkdir -p $dir
table=$dir/table.txt; details=$dir/details.txt
: > "$details"
ff() { ffmpeg -nostdin -v error -y "$@"; }
row() { printf "%-26s %-34s %-24s %-16s %s\n" "$@" >> "$table"; }
row case measure value target "" > "$table"

config=$(mktemp -d)
xvfb=
stop_x() { if [ -n "$xvfb" ]; then kill $xvfb 2>/dev/null || true; wait $xvfb 2>/dev/null || true; fi; xvfb=; }
trap 'stop_x; rm -rf "$config"' EXIT
start_x() {  # WxH
  stop_x
  export DISPLAY=:$((70 + RANDOM % 9))
  Xvfb "$DISPLAY" -screen 0 "$1x24" -nolisten tcp >/dev/null 2>&1 & xvfb=$!
  sleep 1
}
export SDL_AUDIODRIVER=dummy XDG_CONFIG_HOME=$config XDG_RUNTIME_DIR=$config QT_QPA_PLATFORM=xcb
mkdir -p "$config/Ostra"
settings() {  # the [MCI] lines
  printf '[MCI]\n%s\n' "$*" > "$config/Ostra/Reelscope.conf"
}
settings ""

# ---- charts: one picture, coded losslessly, ten times at 5 a second
# raw: name WxH pix_fmt; the rest are the encoder's arguments.
code() {
  local name=$1 size=$2 pix=$3; shift 3
  ff -f rawvideo -pix_fmt "$pix" -s "$size" -framerate 5 -stream_loop 9 -i $dir/$name.yuv "$@" $dir/$name.mkv
  rm -f $dir/$name.yuv
}
ffv1() { code "$1" "$2" "$3" -c:v ffv1 -level 3 "${@:4}"; }
tags() {  # matrix primaries transfer range
  echo -colorspace "$1" -color_primaries "$2" -color_trc "$3" -color_range "$4"
}
# name size chart-matrix range bits | true matrix, primaries, transfer | tagged
sdr_cases=(
  "sd601-limited-tagged     720x480   601  limited 8  smpte170m smpte170m smpte170m yes"
  "sd601-limited-untagged   720x480   601  limited 8  smpte170m smpte170m smpte170m no"
  "sd601-full-tagged-625    720x480   601  full    8  bt470bg   bt470bg   bt709     yes"
  "hd709-limited-untagged   1280x534  709  limited 8  bt709     bt709     bt709     no"
  "hd709-full-tagged        1280x534  709  full    8  bt709     bt709     bt709     yes"
  "fhd709-limited-tagged    1920x1080 709  limited 8  bt709     bt709     bt709     yes"
  "fhd2020-limited-10bit    1920x1080 2020 limited 10 bt2020nc  bt2020    bt2020-10 yes"
  "hd2020-full-10bit        1280x534  2020 full    10 bt2020nc  bt2020    bt2020-10 yes"
)
for c in "${sdr_cases[@]}"; do
  read -r name size matrix range bits m p t tagged <<< "$c"
  pix=yuv420p; [ "$bits" = 10 ] && pix=yuv420p10le
  "$bench" chart patches "${size%x*}" "${size#*x}" $matrix $range $bits $dir/$name.yuv
  if [ "$tagged" = yes ]; then
    # shellcheck disable=SC2046  # the tags are words
    ffv1 $name $size $pix $(tags $m $p $t $([ $range = full ] && echo pc || echo tv))
  else
    ffv1 $name $size $pix
  fi
  # The reference is told the chart's true colours, tagged or not.
  ff -i $dir/$name.mkv -frames:v 1 -vf "zscale=min=$m:pin=$p:tin=$t:rin=$range:cin=left:p=bt709:t=bt709:r=full:filter=lanczos:agamma=0,format=gbrpf32le" \
    -f rawvideo $dir/$name.f32
done

# HDR: BT.2020, 10 bits, limited, x265 lossless; one PQ chart with a
# 4000 cd/m2 mastering display and a MaxCLL of 2000, one with neither.
hdr_params=lossless=1:log-level=error:colorprim=bt2020:colormatrix=bt2020nc:range=limited
hdr_chart() {  # name pq|hlg x265-extra
  "$bench" chart $2 1920 1080 $dir/$1.yuv
  local trc=smpte2084; [ $2 = hlg ] && trc=arib-std-b67
  # shellcheck disable=SC2046
  code $1 1920x1080 yuv420p10le -c:v libx265 -preset ultrafast -x265-params "$hdr_params:transfer=$trc$3" \
    $(tags bt2020nc bt2020 $trc tv)
  # Decoded only: R'G'B' still coded as the chart is, for the reference's own tone map.
  ff -i $dir/$1.mkv -frames:v 1 -vf "zscale=min=bt2020nc:pin=bt2020:tin=$trc:rin=limited:cin=left:p=bt2020:t=$trc:r=full:filter=lanczos:agamma=0,format=gbrpf32le" \
    -f rawvideo $dir/$1.f32
}
hdr_chart pq-nometa pq ""
hdr_chart pq-maxcll2000 pq ":master-display=G(13250,34500)B(7500,3000)R(34000,16000)WP(15635,16450)L(40000000,50):max-cll=2000,400"
hdr_chart hlg hlg ""

sdr_ref() {  # name [zscale size]
  ff -i $dir/$1.mkv -frames:v 1 -vf "zscale=${2:+$2:}min=bt709:pin=bt709:tin=bt709:rin=limited:cin=left:p=bt709:t=bt709:r=full:filter=lanczos:agamma=0,format=gbrpf32le" \
    -f rawvideo $dir/$1${3:-}.f32
}
"$bench" chart darkramp $dir/darkramp-10bit.yuv
# shellcheck disable=SC2046
ffv1 darkramp-10bit 1920x1080 yuv420p10le $(tags bt709 bt709 bt709 tv)
sdr_ref darkramp-10bit
"$bench" chart edges $dir/red-blue-edges.yuv
# shellcheck disable=SC2046
ffv1 red-blue-edges 1280x720 yuv420p $(tags bt709 bt709 bt709 tv)
sdr_ref red-blue-edges
"$bench" chart fine $dir/fine-640x360.yuv
# shellcheck disable=SC2046
ffv1 fine-640x360 640x360 yuv420p $(tags bt709 bt709 bt709 tv)
sdr_ref fine-640x360 w=1280:h=720 -1280x720
sdr_ref fine-640x360 w=1920:h=1080 -1920x1080
"$bench" chart zoneplate $dir/zoneplate-4k.yuv
# shellcheck disable=SC2046
ffv1 zoneplate-4k 3840x2160 yuv420p $(tags bt709 bt709 bt709 tv)
sdr_ref zoneplate-4k w=1920:h=1080 -1920x1080
"$bench" png 1280 720 $dir/fine-640x360-1280x720.f32 $dir/fine-640x360-reference-1280x720.png
"$bench" png 1920 1080 $dir/fine-640x360-1920x1080.f32 $dir/fine-640x360-reference-1920x1080.png
"$bench" png 1920 1080 $dir/zoneplate-4k-1920x1080.f32 $dir/zoneplate-4k-reference-1920x1080.png

# ---- what the player draws
start_x 3840x2160
charts100=()
for c in "${sdr_cases[@]}" pq-nometa pq-maxcll2000 hlg darkramp-10bit red-blue-edges fine-640x360; do
  charts100+=("$dir/${c%% *}.mkv")
done
"$bench" capture window100 $dir "${charts100[@]}" > $dir/capture.txt 2>>"$details" || true
start_x 1920x1080
"$bench" capture window200 $dir $dir/fine-640x360.mkv >> $dir/capture.txt 2>>"$details" || true
"$bench" capture full $dir $dir/fine-640x360.mkv $dir/zoneplate-4k.mkv >> $dir/capture.txt 2>>"$details" || true

# ---- measures
for c in "${sdr_cases[@]}"; do
  name=${c%% *}
  "$bench" measure patches $name $dir/$name-window100.png $dir/$name.f32 >> "$table" 2>>"$details" || true
done
"$bench" measure pq pq-nometa 1000 $dir/pq-nometa-window100.png $dir/pq-nometa.f32 >> "$table" 2>>"$details" || true
"$bench" measure pq pq-maxcll2000 2000 $dir/pq-maxcll2000-window100.png $dir/pq-maxcll2000.f32 >> "$table" 2>>"$details" || true
"$bench" measure hlg hlg 1000 $dir/hlg-window100.png $dir/hlg.f32 >> "$table" 2>>"$details" || true
"$bench" measure darkramp darkramp-10bit $dir/darkramp-10bit-window100.png $dir/darkramp-10bit.f32 >> "$table" 2>>"$details" || true
"$bench" measure edges red-blue-edges $dir/red-blue-edges-window100.png $dir/red-blue-edges.f32 >> "$table" 2>>"$details" || true
ssim() {  # name what capture reference target
  local s
  s=$(ffmpeg -nostdin -v info -i "$3" -i "$4" -lavfi "[0]format=gray[a];[1]format=gray[b];[a][b]ssim" -f null - 2>&1 |
      sed -n 's/.*SSIM.* All:\([0-9.]*\).*/\1/p' | tail -1)
  [ -n "$s" ] || s=0
  row "$1" "$2" "$s" ">= $5" "$(awk -v s="$s" -v t="$5" 'BEGIN { print (s >= t ? "ok" : "MISS") }')"
}
ssim fine-640x360 "SSIM (luma) at 200 %" $dir/fine-640x360-window200.png $dir/fine-640x360-reference-1280x720.png 0.95
ssim fine-640x360 "SSIM (luma) full screen 1920x1080" $dir/fine-640x360-full.png $dir/fine-640x360-reference-1920x1080.png 0.95
ssim zoneplate-4k "SSIM (luma) full screen 1920x1080" $dir/zoneplate-4k-full.png $dir/zoneplate-4k-reference-1920x1080.png 0.91
# The captures: the size drawn, whether the screen shows exactly the
# converted picture, and the CPU of a redraw.
while read -r name view drawn _ movie _ cpu _ wall _ same; do
  if [ "$drawn" = open-failed ]; then row "$name" "capture" "could not open" "-" "MISS"; continue; fi
  row "$name" "redraw CPU ms @$view ($drawn)" "$cpu (wall $wall)" "-" ""
  [ "$same" = yes ] || row "$name" "screen shows the converted picture" "no" "yes" "MISS"
done < $dir/capture.txt

# ---- interlaced
"$(pwd)"/scripts/make-movie.sh --interlaced --size 1920x1080 --frames 100 $dir/broadcast-1080i.ts
start_x 3840x2160
# Name, setting and the combing wanted: auto weaves the fields, off shows them.
for mode in "auto 0 < 1" "off 2 > 5"; do
  read -r name value cmp limit <<< "$mode"
  settings "Deinterlace=$value"
  line=$("$bench" interlaced $name $dir $dir/broadcast-1080i.ts 2>>"$details" || echo "$name failed")
  echo "$line" >> "$details"
  read -r _ _ comb _ numbers _ <<< "$line"
  row broadcast-1080i "combing, Deinterlace=$value ($name)" "${comb:-?}" "$cmp $limit" \
    "$(awk -v c="${comb:-x}" -v cmp="$cmp" -v l="$limit" \
       'BEGIN { print c ~ /^[0-9.]+$/ && (cmp == "<" ? c + 0 < l : c + 0 > l) ? "ok" : "MISS" }')"
  total=${numbers#*/}
  row broadcast-1080i "numbers right at exact seeks ($name)" "${numbers:-?}" "all" \
    "$([ -n "${numbers:-}" ] && [ "${numbers%/*}" = "$total" ] && echo ok || echo MISS)"
done
settings ""

# ---- playback beside mpv
movie() {  # name, size, gop, codec options
  local out=build/bench/$1; [ -f "$out" ] && return
  ff -f lavfi -i "testsrc2=size=$2:rate=30" -f lavfi -i sine=frequency=440:sample_rate=48000 -t 25 \
    -g "$3" -keyint_min "$3" "${@:4}" -c:a aac -shortest "$out"
}
movie h264-1080p-g60.mp4 1920x1080 60 -pix_fmt yuv420p -c:v libx264 -preset veryfast -sc_threshold 0
movie h264-2160p.mp4 3840x2160 60 -pix_fmt yuv420p -c:v libx264 -preset veryfast -sc_threshold 0
movie hevc-1080p-hdr10.mkv 1920x1080 60 -pix_fmt yuv420p10le -c:v libx265 -preset ultrafast -crf 22 \
  -x265-params "log-level=error:colorprim=bt2020:transfer=smpte2084:colormatrix=bt2020nc:master-display=G(13250,34500)B(7500,3000)R(34000,16000)WP(15635,16450)L(10000000,50):max-cll=1000,400" \
  -color_primaries bt2020 -color_trc smpte2084 -colorspace bt2020nc
ticks=$(getconf CLK_TCK)
cpu() { awk -v t="$ticks" '{ printf "%.3f", ($14 + $15) / t }' "/proc/$1/stat"; }
machine() { awk -v t="$ticks" '/^cpu / { printf "%.3f", ($2 + $3 + $4 + $7 + $8 + $9) / t }' /proc/stat; }
mpv=(mpv --vo=x11 --ao=null --hwdec=no --geometry=0:0 --really-quiet --keep-open=yes)
runs=$dir/playback.txt; : > $runs
# Other work on a shared machine takes the cores the players need: a run
# waits up to two minutes for the machine to be quiet, and one that other
# work shared all the same (0.3 cores or more, beside the player and the X
# server) is marked busy and left out of the figures while quiet ones exist.
quiet() {
  local a b
  for _ in $(seq 60); do
    a=$(machine); sleep 2; b=$(machine)
    awk -v a="$a" -v b="$b" 'BEGIN { exit !((b - a) / 2 < 0.3) }' && return
  done
}
# The CPU share of a core over 20 s after the first 2, the late frames, and
# the cores the rest of the machine took meanwhile.
play() {  # movie who
  local movie=build/bench/$1 who=$2 log pid c0 c1 x0 x1 m0 m1
  quiet
  log=$(mktemp)
  if [ $who = reelscope ]; then REELSCOPE_STATS=1 "${ours[@]}" $movie >/dev/null 2>"$log" & pid=$!
  else "${mpv[@]}" $movie >/dev/null 2>"$log" & pid=$!; fi
  sleep 2; c0=$(cpu $pid) x0=$(cpu $xvfb) m0=$(machine)
  sleep 20; c1=$(cpu $pid) x1=$(cpu $xvfb) m1=$(machine)
  kill -TERM $pid; wait $pid 2>/dev/null || true
  local late shown
  late=$(sed -n 's/.*frames shown, \([0-9]*\) dropped late.*/\1/p' "$log" | tail -1)
  shown=$(sed -n 's/.*reelscope: \([0-9]*\) frames shown.*/\1/p' "$log" | tail -1)
  local share others
  read -r share others < <(awk -v d="$c0 $c1 $x0 $x1 $m0 $m1" 'BEGIN { split(d, v, " ")
    printf "%.3f %.2f\n", (v[2] - v[1]) / 20, ((v[6] - v[5]) - (v[2] - v[1]) - (v[4] - v[3])) / 20 }')
  echo "$1 $who cpu $share late ${late:-?} shown ${shown:-?} others $others" >> $runs
  rm -f "$log"
}
start_x 3840x2160
for round in 1 2 3; do
  for m in h264-1080p-g60.mp4 h264-2160p.mp4 hevc-1080p-hdr10.mkv; do
    if [ $((round % 2)) = 1 ]; then play $m reelscope; play $m mpv; else play $m mpv; play $m reelscope; fi
  done
done
stop_x
for m in h264-1080p-g60.mp4 h264-2160p.mp4 hevc-1080p-hdr10.mkv; do
  awk -v m=$m '
    function median(list,   a, n, i, j, t) {
      n = split(list, a, " ")
      for (i = 1; i <= n; i++) for (j = i + 1; j <= n; j++) if (a[j] + 0 < a[i] + 0) { t = a[i]; a[i] = a[j]; a[j] = t }
      return n % 2 ? a[(n + 1) / 2] : (a[n / 2] + a[n / 2 + 1]) / 2
    }
    function row(measure, value, target, verdict) { printf "%-26s %-34s %-24s %-16s %s\n", m, measure, value, target, verdict }
    $1 == m {
      busy = $10 >= 0.3; mark = busy ? "*" : ""
      shown[$2] = shown[$2] " " $4 mark
      if (!busy) quiet[$2] = quiet[$2] " " $4
      all[$2] = all[$2] " " $4
      if ($2 == "reelscope") {
        lates = lates " " $6 mark
        late = $6 == "?" ? 1e9 : $6 + 0
        if (busy) worstBusy = late > worstBusy ? late : worstBusy; else { quietLate = 1; worst = late > worst ? late : worst }
      }
    }
    END {
      calm = quiet["reelscope"] != "" && quiet["mpv"] != ""
      o = median(calm ? quiet["reelscope"] : all["reelscope"]); p = median(calm ? quiet["mpv"] : all["mpv"])
      row("playback CPU ours/mpv (medians)", sprintf("%.2f/%.2f = %.2f", o, p, o / p), "<= 0.9 x mpv", !calm ? "BUSY" : o <= 0.9 * p ? "ok" : "MISS")
      row("  runs ours | mpv (cores, * busy)", shown["reelscope"] " |" shown["mpv"], "-", "")
      target = m ~ /2160p/ ? 1 : m ~ /hdr10/ ? 0 : -1
      if (!quietLate) worst = worstBusy
      row("late frames in 20 s, per run", lates, target < 0 ? "-" : "<= " target, target < 0 ? "" : !quietLate ? "BUSY" : worst <= target ? "ok" : "MISS")
    }' $runs >> "$table"
done

cat "$table"
echo "(captures, references and details in $dir)"
