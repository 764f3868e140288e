#!/usr/bin/env bash
# Writes a short movie with the ffmpeg command whose every picture carries
# its own frame number, with a steady sine tone (440 Hz, peaks at -6 dBFS),
# so that tests, benchmarks and people can tell exactly which frame and
# which sound they see. The tests build their movies with it.
#
# The number is a 4 x 4 grid of grey cells over the picture; cell (r, c)
# holds bit r*4+c (bit 0 top-left), light for 1 and dark for 0, as
# tests/support/FrameCode.h reads it. Big flat cells survive lossy coding,
# chroma subsampling and scaling down to a thumbnail.
#
# Usage: scripts/make-movie.sh [options] OUTPUT.{avi,mpg,asf,mp4,mkv,webm,ts}
#   --frames N (50)  --size WxH (320x240)  --fps N|N/D (25)  --gop N (12)
#   --vcodec NAME|none  --acodec NAME|none  (default: the container's usual)
#   --bitrate BPS     (default: constant quality)
#   --style demo      the code in the middle of a moving picture, for people
#   --random-bytes N  N bytes of noise instead of a movie
#   Shapes of real-world movies:
#   --rotate 90|180|270 [--mirror]  stored turned; the file says how to turn back (mp4)
#   --sar N:D         pixel shape
#   --sound-seconds S the tone lasts S seconds, however long the pictures
#   --cut N           the first N frames cut off inside a group of pictures
#   --live            no duration in the header (mkv, webm)
#   --vfr steps|irregular  pictures at 25, 50, then 25 a second, or at no rate
#   --then WxH        the second half of the pictures at another size (ts)
#   Tracks (scripts/test-subtitles.sh; mkv, mp4, vob):
#   --tone2 HZ        a second sound track at this tone (French; the first is English)
#   --subs LIST       subtitle tracks of the test cues: srt, ass, movtext, dvdsub,
#                     dvdwide (boxes wider than the picture)
#   --subtitle-text CHARSET [--latin]  OUTPUT.{srt,vtt,ass} is no movie but
#                     a subtitle file of the test cues in that character set
#   --patches "Y,Cb,Cr ..."  bands of these colour codes from left to right
#                     instead of the frame number, for checking colours
#   --bits 8|10       the bands' depth (8)
#   --colours M/P/T/R the colour tags the file carries (the ffmpeg command's
#                     names for matrix, primaries, transfer and range; - for
#                     one left unsaid), e.g. bt709/bt709/bt709/tv
#   --interlaced      a broadcast's pictures: two fields each, from instants
#                     half a frame apart, the top one first, with a box
#                     that moves between the code's rows (combs if woven as is)
set -euo pipefail

frames=50 size=320x240 fps=25 gop=12 bitrate= vcodec= acodec= style= random= rotate=0 mirror=0 sar= sound= cut=0 live=0 vfr=
then= from=0 interlaced=0 patches= bits=8 colours=
tone2= subs= subtext= latin=0 tracks=() tracksdir=
out=
while [ $# -gt 0 ]; do
  case "$1" in
    --latin) latin=1 ;;
    --tone2) tone2=$2; shift ;;
    --subs) subs=$2; shift ;;
    --subtitle-text) subtext=$2; shift ;;
    --mirror) mirror=1 ;;
    --live) live=1 ;;
    --interlaced) interlaced=1 ;;
    --patches) patches=$2; shift ;;
    --bits) bits=$2; shift ;;
    --colours) colours=$2; shift ;;
    --frames) frames=$2; shift ;;
    --size) size=$2; shift ;;
    --fps) fps=$2; shift ;;
    --gop) gop=$2; shift ;;
    --bitrate) bitrate=$2; shift ;;
    --vcodec) vcodec=$2; shift ;;
    --acodec) acodec=$2; shift ;;
    --style) style=$2; shift ;;
    --random-bytes) random=$2; shift ;;
    --rotate) rotate=$2; shift ;;
    --sar) sar=$2; shift ;;
    --sound-seconds) sound=$2; shift ;;
    --cut) cut=$2; shift ;;
    --vfr) vfr=$2; shift ;;
    --then) then=$2; shift ;;
    --number-from) from=$2; shift ;;  # the first picture's number (a part of a --then movie)
    --*) echo "make-movie: unknown option $1" >&2; exit 2 ;;
    *) out=$1 ;;
  esac
  shift
done
[ -n "$out" ] || { echo "usage: make-movie.sh [options] OUTPUT (see the script's head)" >&2; exit 2; }
ff() { ffmpeg -nostdin -v error -y "$@"; }
# Written beside the target and renamed at the end, so a failed run never
# leaves a half-written movie that looks whole.
part="$out.part"
trap 'rm -f "$part"' EXIT

if [ -n "$then" ]; then
  # Two parts made alone, joined as they are: the stream itself changes size.
  half=$(( frames / 2 ))
  self=$(realpath "$0")
  "$self" --frames $half --size "$size" --fps "$fps" --gop "$gop" "$part.1.ts"
  "$self" --frames $(( frames - half )) --number-from $half --size "$then" --fps "$fps" --gop "$gop" "$part.2.ts"
  printf "file '%s'\nfile '%s'\n" "$(realpath "$part.1.ts")" "$(realpath "$part.2.ts")" > "$part.list"
  ff -f concat -safe 0 -i "$part.list" -c copy -f mpegts "$part"
  rm -f "$part.1.ts" "$part.2.ts" "$part.list"
  mv "$part" "$out"
  exit 0
fi

[ -n "$subtext$tone2$subs" ] && . "$(dirname "$(realpath "$0")")/test-subtitles.sh"
if [ -n "$subtext" ]; then
  subtitle_file "${out##*.}" "$subtext" "$latin" > "$part"
  mv "$part" "$out"
  exit 0
fi

if [ -n "$random" ]; then
  # Seeded noise: the same bytes on every machine.
  ff -f lavfi -i "anoisesrc=r=$random:d=1:a=1:seed=1" -c:a pcm_u8 -f u8 "$part"
  mv "$part" "$out"
  exit 0
fi

width=${size%x*} height=${size#*x}
# A rate N or N/D as a fraction.
num=${fps%/*} den=1
[ "$fps" != "${fps#*/}" ] && den=${fps#*/}
# Pictures not at one rate: their times in ms.
case "$vfr" in
  steps) pts="if(lt(N,$frames/3),N*40,if(lt(N,2*$frames/3),($frames/3)*40+(N-$frames/3)*20,($frames/3)*60+(N-2*$frames/3)*40))"
         length_ms=$(( frames / 3 * 40 + (2 * frames / 3 - frames / 3) * 20 + (frames - 2 * frames / 3) * 40 )) ;;
  irregular)  # 40, 40, 90, 20, 60, 33, 47 ms, over and over
         pts="floor(N/7)*330+if(eq(mod(N,7),1),40,if(eq(mod(N,7),2),80,if(eq(mod(N,7),3),170,if(eq(mod(N,7),4),190,if(eq(mod(N,7),5),250,if(eq(mod(N,7),6),283,0))))))"
         length_ms=$(( frames / 7 * 330 + $(echo "0 40 80 170 190 250 283" | cut -d' ' -f$(( frames % 7 + 1 ))) )) ;;
  "") length_ms=$(( (frames - cut) * 1000 * den / num )) ;;
  *) echo "make-movie: --vfr steps|irregular" >&2; exit 2 ;;
esac
seconds=$(awk -v ms="$length_ms" -v s="$sound" 'BEGIN { printf "%.6f", s != "" ? s : ms / 1000 }')

# The code, in the picture's own luma; --cut paints the numbers the
# remaining pictures have once the cut is made. Interlaced, the pictures are
# made at twice the rate and paired into frames: a frame's two share a number.
number="(N-$cut+$from)"
[ "$interlaced" = 1 ] && number="floor(N/2)"
code="geq=lum='if(mod(floor($number/pow(2,floor(Y*4/H)*4+floor(X*4/W))),2),222,36)':cb=128:cr=128"
if [ "$style" = demo ]; then
  # The code in the middle, on a moving test picture.
  w2=$(( width / 2 / 2 * 2 )) h2=$(( height / 2 / 2 * 2 ))
  video="testsrc2=s=${width}x$height:r=$fps[bg];color=black:s=${w2}x$h2:r=$fps,format=yuv420p,$code[fg];[bg][fg]overlay=(W-w)/2:(H-h)/2"
else
  # Painted upright: a picture stored a quarter turned is painted on its side.
  upright=${width}x$height
  [ "$rotate" = 90 ] || [ "$rotate" = 270 ] && upright=${height}x$width
  video="color=black:s=$upright:r=$fps,format=yuv444p,$code"
fi
if [ -n "$patches" ]; then
  # Written as codes, not converted from RGB: the file holds exactly these.
  read -ra bands <<< "$patches"
  lum= cb= cr= n=${#bands[@]}
  for (( i = n - 1; i >= 0; i-- )); do
    IFS=, read -r y u v <<< "${bands[$i]}"
    if [ -z "$lum" ]; then lum=$y cb=$u cr=$v; continue; fi
    lum="if(lt(X,W*$(( i + 1 ))/$n),$y,$lum)" cb="if(lt(X,W*$(( i + 1 ))/$n),$u,$cb)" cr="if(lt(X,W*$(( i + 1 ))/$n),$v,$cr)"
  done
  format=yuv444p; [ "$bits" = 10 ] && format=yuv444p10le
  video="color=black:s=$size:r=$fps,format=$format,geq=lum='$lum':cb='$cb':cr='$cr'"
fi
if [ "$interlaced" = 1 ]; then
  [ "$style$vfr$rotate$cut" = 00 ] || { echo "make-movie: --interlaced stands alone" >&2; exit 2; }
  # The box spans the border of the code's first two rows, outside the
  # middles of the cells that are read, and moves a 25th of the width a field.
  video="color=black:s=$size:r=$(( num * 2 ))/$den,format=yuv444p,$code[c];color=white:s=$(( width / 8 ))x$(( height / 8 )):r=$(( num * 2 ))/$den[b];[c][b]overlay=x='mod(n*W/25,W)':y=H/4-h/2,interlace=scan=tff:lowpass=off"
fi
# The pictures end by themselves (an output frame limit would end the sound too).
video="$video,trim=end_frame=$frames"
[ -n "$sar" ] && video="$video,setsar=${sar/:/\/}"
[ -n "$vfr" ] && video="$video,settb=1/1000,setpts='($pts)/1000/TB'"
# Stored turned the other way, so that the matrix the file carries turns it
# back; a mirrored picture is stored flipped besides.
turn=
[ "$mirror" = 1 ] && turn=hflip,
case "$rotate" in
  0) ;;
  90) turn="${turn}transpose=1," ;;
  180) turn="${turn}hflip,vflip," ;;
  270) turn="${turn}transpose=2," ;;
  *) echo "make-movie: --rotate 90|180|270" >&2; exit 2 ;;
esac
[ -n "$turn" ] && video="$video,${turn%,}"

ext=${out##*.}
case "$ext" in
  avi) muxer=avi dv=mjpeg da=pcm_s16le ;;
  mpg) muxer=mpeg dv=mpeg1video da=mp2 ;;
  asf) muxer=asf dv=wmv2 da=wmav2 ;;
  mp4) muxer=mp4 dv=libx264 da=aac ;;
  mkv) muxer=matroska dv=libx264 da=aac ;;
  webm) muxer=webm dv=libvpx da=libvorbis ;;
  ts) muxer=mpegts dv=libx264 da=aac ;;
  vob) muxer=vob dv=mpeg2video da=ac3 ;;
  *) echo "make-movie: no container for $out" >&2; exit 2 ;;
esac
vcodec=${vcodec:-$dv} acodec=${acodec:-$da}

args=()
[ "$vcodec" != none ] && args+=(-f lavfi -i "$video")
[ "$acodec" != none ] && args+=(-f lavfi -i "aevalsrc=0.5*sin(2*PI*440*t):c=stereo:s=44100:d=$seconds")
[ ${#args[@]} -gt 0 ] || { echo "make-movie: neither pictures nor sound" >&2; exit 2; }
if [ -n "$tone2$subs" ]; then
  trap 'rm -f "$part"; rm -rf "$tracksdir"' EXIT
  track_arguments
fi
if [ "$vcodec" != none ]; then
  args+=(-c:v "$vcodec" -fps_mode passthrough)
  [ -n "$vfr" ] && args+=(-enc_time_base:v 1:1000)
  # Pictures from lavfi lose their field marks on the way: set them again.
  [ "$interlaced" = 1 ] && args+=(-vf setfield=tff)
  # Only every gop-th picture is a key frame: the cells change every frame,
  # which scene-cut detection would take for cuts.
  keys=(-g "$gop" -force_key_frames "expr:eq(mod(n,$gop),0)")
  case "$vcodec" in
    mjpeg) args+=(-pix_fmt yuvj420p -q:v 3) ;;
    libx264)
      # Odd sizes cannot be halved for the chroma.
      pix=yuv420p; [ $(( (width | height) & 1 )) = 1 ] && pix=yuv444p
      quality=(-crf 20)
      [ -n "$bitrate" ] && quality=(-b:v "$bitrate" -maxrate $(( 2 * bitrate )) -bufsize $(( 2 * bitrate )))
      args+=(-pix_fmt $pix -preset veryfast "${quality[@]}" "${keys[@]}" -keyint_min "$gop" -sc_threshold 0
             -x264-params open-gop=0)
      [ "$cut" -gt 0 ] && args+=(-bf 0)
      [ "$interlaced" = 1 ] && args+=(-flags +ildct+ilme -x264-params open-gop=0:tff=1:pic-struct=1) ;;
    ffv1) args+=(-pix_fmt "$([ "$bits" = 10 ] && echo yuv444p10le || echo yuv444p)") ;;
    mpeg2video) args+=(-pix_fmt yuv420p -q:v 3 -bf 0 -sc_threshold 1000000000 "${keys[@]}")
      [ "$interlaced" = 1 ] && args+=(-flags +ildct+ilme -top 1) ;;
    libvpx) args+=(-pix_fmt yuv420p -deadline realtime -cpu-used 8 -crf 8 -b:v 4M "${keys[@]}") ;;
    *) args+=(-pix_fmt yuv420p -q:v 3 -bf 0 -sc_threshold 1000000000 "${keys[@]}") ;;
  esac
  # The cut: the first pictures' packets dropped, the rest moved to start at 0.
  [ "$cut" -gt 0 ] && args+=(-bsf:v "noise=drop='lt(n,$cut)',setts=ts=TS-STARTPTS")
fi
if [ -n "$colours" ]; then
  IFS=/ read -r matrix primaries transfer range <<< "$colours"
  [ "$matrix" != - ] && args+=(-colorspace "$matrix")
  [ "$primaries" != - ] && args+=(-color_primaries "$primaries")
  [ "$transfer" != - ] && args+=(-color_trc "$transfer")
  [ "$range" != - ] && args+=(-color_range "$range")
fi
[ "$acodec" != none ] && { args+=(-c:a "$acodec"); [ "$acodec" != pcm_s16le ] && args+=(-b:a 128k); }
# The program-stream muxer stamps a time only on a picture that starts a
# pack: small packs give every picture its own.
[ "$muxer" = mpeg ] && args+=(-packetsize 128)
[ "$live" = 1 ] && args+=(-live 1)
ff "${args[@]}" "${tracks[@]}" -f "$muxer" "$part"
[ -n "$tracksdir" ] && rm -rf "$tracksdir"

if [ "$rotate" != 0 ] || [ "$mirror" = 1 ]; then
  # The display matrix goes into the first track header (the pictures'):
  # nine 32-bit words, 16.16 fixed point, 44 bytes into the box's body.
  [ "$muxer" = mp4 ] || { echo "make-movie: --rotate needs an mp4" >&2; exit 2; }
  one=00010000 minus=ffff0000 zero=00000000
  case "$rotate" in
    0) a=$one b=$zero c=$zero d=$one ;;
    90) a=$zero b=$minus c=$one d=$zero ;;
    180) a=$minus b=$zero c=$zero d=$minus ;;
    270) a=$zero b=$one c=$minus d=$zero ;;
  esac
  if [ "$mirror" = 1 ]; then  # a flip of the x axis negates the first column
    neg() { [ "$1" = $one ] && echo $minus || { [ "$1" = $minus ] && echo $one || echo $zero; }; }
    a=$(neg $a) c=$(neg $c)
  fi
  at=$(grep -obUaF tkhd "$part" | head -1 | cut -d: -f1)
  [ -n "$at" ] || { echo "make-movie: no track header in $part" >&2; exit 1; }
  [ "$(od -An -tx1 -j $(( at + 4 )) -N1 "$part" | tr -d ' ')" = 00 ] || { echo "make-movie: a version 1 tkhd" >&2; exit 1; }
  # shellcheck disable=SC2059  # the bytes are the format
  printf "$(printf '%s' "$a$b${zero}$c$d${zero}${zero}${zero}40000000" | sed 's/../\\x&/g')" |
    dd of="$part" bs=1 seek=$(( at + 4 + 40 )) conv=notrunc status=none
fi
mv "$part" "$out"
trap - EXIT
