# The subtitles and the second sound track of the test movies: sourced by
# make-movie.sh, which runs the ffmpeg command with them.
#
# Every subtitled test movie and file carries the same two cues, timed for
# 25 frames a second: the first from 0.41 s to 0.83 s (on frames 10 to 20:
# it begins and ends inside a frame), the second from 1.20 s to 1.60 s (on
# frames 30 to 39: it ends exactly where frame 40 begins). In the ASS script
# the first is placed top left and the second turned upright, on the right.

cue1=字幕の試験 cue2=二行目の字幕
# Text that Windows-1252 holds (the Western files are tested with it).
latin1="Café déjà vu" latin2="Œuvre à l'été"

srt_text() {
  printf '1\r\n00:00:00,410 --> 00:00:00,830\r\n%s\r\n\r\n2\r\n00:00:01,200 --> 00:00:01,600\r\n%s\r\n' "$1" "$2"
}

vtt_text() {
  printf 'WEBVTT\n\n00:00:00.410 --> 00:00:00.830\n%s\n\n00:00:01.200 --> 00:00:01.600\n%s\n' "$1" "$2"
}

ass_text() {
  cat <<EOF
[Script Info]
ScriptType: v4.00+
PlayResX: 320
PlayResY: 240

[V4+ Styles]
Format: Name, Fontname, Fontsize, PrimaryColour, SecondaryColour, OutlineColour, BackColour, Bold, Italic, Underline, StrikeOut, ScaleX, ScaleY, Spacing, Angle, BorderStyle, Outline, Shadow, Alignment, MarginL, MarginR, MarginV, Encoding
Style: Default,sans-serif,20,&H0000FFFF,&H000000FF,&H00000000,&H00000000,0,0,0,0,100,100,0,0,1,1,0,2,10,10,10,1

[Events]
Format: Layer, Start, End, Style, Name, MarginL, MarginR, MarginV, Effect, Text
Dialogue: 0,0:00:00.41,0:00:00.83,Default,,0,0,0,,{\an7\pos(20,20)}$1
Dialogue: 0,0:00:01.20,0:00:01.60,Default,,0,0,0,,{\an5\pos(260,120)\frz90}$2
EOF
}

# subtitle_file srt|vtt|ass CHARSET LATIN: the cues as a file in CHARSET
# (utf-8, utf-8-bom, utf-16le, utf-16be with their byte-order marks, or any
# name iconv knows), the Western text when LATIN is 1.
subtitle_file() {
  local t1=$cue1 t2=$cue2 text
  [ "$3" = 1 ] && t1=$latin1 t2=$latin2
  case "$1" in
    srt) text=$(srt_text "$t1" "$t2") ;;
    vtt) text=$(vtt_text "$t1" "$t2") ;;
    ass) text=$(ass_text "$t1" "$t2") ;;
    *) echo "make-movie: subtitle files are .srt, .vtt or .ass" >&2; return 2 ;;
  esac
  case "$2" in
    utf-8) printf '%s\n' "$text" ;;
    utf-8-bom) printf '\xef\xbb\xbf%s\n' "$text" ;;
    utf-16le) printf '\xff\xfe'; printf '%s\n' "$text" | iconv -f UTF-8 -t UTF-16LE ;;
    utf-16be) printf '\xfe\xff'; printf '%s\n' "$text" | iconv -f UTF-8 -t UTF-16BE ;;
    *) printf '%s\n' "$text" | iconv -f UTF-8 -t "$2" ;;
  esac
}

# A DVD subtitle stream as DVDs carry it, in an MPEG program stream
# (private stream 1, substream 0x20): each cue a 200 x 32 box near the
# bottom of a 720 x 480 picture, in the subtitle's run-length code. The
# ffmpeg command cannot draw text into bitmap subtitles, so the packets are
# written here byte by byte.
dvdsub_stream() {
  local wide=${2:-0}
  hex() { printf "$(printf '%s' "$1" | sed 's/../\\x&/g')"; }
  be16() { printf '%02X%02X' $(( ($1 >> 8) & 255 )) $(( $1 & 255 )); }
  pts() { printf '%02X%02X%02X%02X%02X' $(( 0x21 | (($1 >> 29) & 0x0E) )) $(( ($1 >> 22) & 255 )) \
    $(( (($1 >> 14) & 0xFE) | 1 )) $(( ($1 >> 7) & 255 )) $(( (($1 << 1) & 0xFE) | 1 )); }
  scr() { printf '%02X%02X%02X%02X%02X01' $(( 0x44 | (($1 >> 27) & 0x38) | (($1 >> 28) & 0x03) )) \
    $(( ($1 >> 20) & 255 )) $(( (($1 >> 12) & 0xF8) | 0x04 | (($1 >> 13) & 0x03) )) $(( ($1 >> 5) & 255 )) \
    $(( (($1 & 0x1F) << 3) | 0x04 )); }
  # A pack with one PES packet of the subtitle unit $2 at $1 ms.
  pack() {
    local ticks=$(( $1 * 90 )) pes
    pes=818005$(pts $ticks)20$2
    printf '%s' "000001BA$(scr $ticks)0189C3F8000001BD$(be16 $(( ${#pes} / 2 )))$pes"
  }
  # A subtitle unit shown for $1 ms: both fields' lines are "the rest of the
  # line in colour 1" (opaque), then the display commands. Wide, the box
  # reaches far past the picture's right edge.
  unit() {
    local x1=260 x2=459 y1=400 y2=431 rle= i body coords
    [ "$wide" = 1 ] && x1=100 x2=3999
    for (( i = 0; i < (y2 - y1 + 1) / 2; i++ )); do rle+=0001; done
    local control=$(( 4 + ${#rle} / 2 ))
    local stop=$(( control + 24 ))
    coords=$(printf '%02X%02X%02X%02X%02X%02X' $(( x1 >> 4 )) $(( ((x1 & 15) << 4) | (x2 >> 8) )) $(( x2 & 255 )) \
      $(( y1 >> 4 )) $(( ((y1 & 15) << 4) | (y2 >> 8) )) $(( y2 & 255 )))
    # Dates count 1024/90000 s.
    body=$(be16 $control)$rle"0000"$(be16 $stop)"030010""0400F0""05"$coords"06""0004""0004""01""FF"
    body+=$(be16 $(( ($1 * 90 + 512) / 1024 )))$(be16 $stop)"02""FF"
    printf '%s' "$(be16 $(( 2 + ${#body} / 2 )))$body"
  }
  # An empty unit at 0 first: the ffmpeg command moves each input to start
  # at 0, and this keeps the cues where they are against the pictures.
  hex "$(pack 0 000A00040000000402FF)$(pack 410 "$(unit 420)")$(pack 1200 "$(unit 400)")000001B9" > "$1"
}

# The inputs and output options of the extra tracks, added to make-movie's
# `args` (inputs) and `tracks` (what goes into the output); the files they
# are made from go into `tracksdir`.
track_arguments() {
  local n=0 s=0 kind file
  tracksdir=$(mktemp -d)
  [ "$vcodec" != none ] && { tracks+=(-map $n:v); n=$(( n + 1 )); }
  [ "$acodec" != none ] && { tracks+=(-map $n:a -metadata:s:a:0 language=eng); n=$(( n + 1 )); }
  if [ -n "$tone2" ]; then
    args+=(-f lavfi -i "aevalsrc=0.5*sin(2*PI*$tone2*t):c=stereo:s=44100:d=$seconds")
    tracks+=(-map $n:a -metadata:s:a:1 language=fra); n=$(( n + 1 ))
  fi
  for kind in ${subs//,/ }; do
    case "$kind" in
      srt|movtext)
        file=$tracksdir/$s.srt; subtitle_file srt utf-8 0 > "$file"; args+=(-i "$file")
        codec=copy; [ "$kind" = movtext ] && codec=mov_text
        tracks+=(-c:s:$s $codec -metadata:s:s:$s language=jpn) ;;
      ass)
        file=$tracksdir/$s.ass; subtitle_file ass utf-8 0 > "$file"; args+=(-i "$file")
        tracks+=(-c:s:$s copy -metadata:s:s:$s language=eng -metadata:s:s:$s title=Signs) ;;
      dvdsub|dvdwide)
        file=$tracksdir/$s.sub; dvdsub_stream "$file" $([ "$kind" = dvdwide ] && echo 1); args+=(-f mpeg -i "$file")
        tracks+=(-c:s:$s copy -metadata:s:s:$s language=jpn) ;;
      *) echo "make-movie: --subs takes srt, ass, movtext, dvdsub, dvdwide" >&2; return 2 ;;
    esac
    tracks+=(-map $n:s); n=$(( n + 1 )); s=$(( s + 1 ))
  done
}
