#!/usr/bin/env bash
# The player on a busy machine: two programs at normal priority keep both
# cores busy the whole time. Under Xvfb, alternating the players, three
# rounds of:
#   frames: 20 s of 1080p30 H.264, the frames shown and dropped late, beside
#           mpv (--vo=x11 --hwdec=no) playing the same;
#   pause:  pause and stop while playing, until the picture stands still,
#           and how late the interface's 10 ms timer fires meanwhile;
#   close:  SIGTERM while the background reading of a two-hour variable-rate
#           movie is going on, until the process has gone.
# Targets: at least 95 % of the frames and no fewer than mpv; pause and stop
# within 100 ms; closing within 0.5 s.
# Usage: bench/busy_bench.sh
set -euo pipefail
cd "$(dirname "$0")/.."
REELSCOPE_EXTRA_PACKAGES="ffmpeg mpv xvfb" scripts/setup.sh >/dev/null
dir=build/bench; mkdir -p $dir
movie=$dir/h264-1080p-busy.mp4
[ -f $movie ] || ffmpeg -nostdin -v error -f lavfi -i "testsrc2=size=1920x1080:rate=30" -f lavfi \
  -i sine=frequency=440:sample_rate=48000 -t 25 -g 60 -keyint_min 60 -sc_threshold 0 -pix_fmt yuv420p \
  -c:v libx264 -preset veryfast -c:a aac -shortest -y $movie
long=$dir/vfr-640x360-2h.mkv
if [ ! -f $long ]; then
  scripts/make-movie.sh --size 640x360 --frames 1800 --vfr steps --gop 50 --acodec aac $dir/vfr-640x360-1min.mkv
  ffmpeg -nostdin -v error -y -stream_loop 119 -i $dir/vfr-640x360-1min.mkv -c copy $long
fi

config=$(mktemp -d)
export DISPLAY=:$((70 + RANDOM % 9)) SDL_AUDIODRIVER=dummy XDG_CONFIG_HOME=$config XDG_RUNTIME_DIR=$config QT_QPA_PLATFORM=xcb
chmod 700 "$config"
Xvfb "$DISPLAY" -screen 0 2048x1400x24 -nolisten tcp >/dev/null 2>&1 & xvfb=$!
load=()
trap 'kill ${load[*]} $xvfb 2>/dev/null; rm -rf "$config"' EXIT
sleep 1
# The counts mpv keeps, looked at often and told when the file ends (its
# properties are gone by then).
cat > "$config/count.lua" <<'EOF'
local shown, dropped = 0, 0
mp.add_periodic_timer(0.05, function()
  shown = mp.get_property_number("estimated-frame-number", shown)
  dropped = mp.get_property_number("frame-drop-count", dropped)
end)
mp.register_event("end-file", function()
  io.write(string.format("mpv: %d frames shown, %d dropped\n", shown - dropped, dropped))
  io.flush()
end)
EOF
for _ in 1 2; do sha256sum /dev/zero >/dev/null & load+=($!); done

for round in 1 2 3; do
  echo "== round $round"
  REELSCOPE_STATS=1 timeout -s TERM 21 build/app/reelscope "$movie" 2>&1 | grep 'frames shown' || true
  mpv --vo=x11 --ao=null --hwdec=no --really-quiet --length=20 --script="$config/count.lua" "$movie" 2>&1 |
    grep 'frames shown' || true
  build/bench/reelscope-player-bench busy --ours "$movie" 2>/dev/null
  build/app/reelscope "$long" >/dev/null 2>&1 & player=$!
  sleep 1.5
  start=$(date +%s.%N)
  kill -TERM $player
  wait $player 2>/dev/null || true
  awk -v s="$start" -v e="$(date +%s.%N)" 'BEGIN { printf "close while reading a two-hour movie: %.3f s\n", e - s }'
done
