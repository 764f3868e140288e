// reelscope-movie-gen: writes short test movies whose every picture carries
// its own frame number, with a steady sine tone (440 Hz, peaks at -6 dBFS),
// so that tests can tell exactly which frame and which sound they see.
//
// The number is a 4 x 4 grid of grey cells over the picture; cell (r, c)
// holds bit r*4+c (bit 0 top-left), light for 1 and dark for 0, as
// FrameCode.h reads it. Big flat cells survive lossy coding, chroma
// subsampling and scaling down to a thumbnail; a rendered number would not.
//
// Usage: reelscope-movie-gen [options] OUTPUT.{avi,mpg,asf,mp4,mkv,webm}
//   --frames N (50)  --size WxH (320x240)  --fps N|N/D (25)  --gop N (12)
//   --vcodec NAME|none  --acodec NAME|none  (default: the container's usual)
//   --bitrate BPS    (default: constant quality)
//   --style demo     the code in the middle of a moving picture, for people
//   --random-bytes N N pseudo-random bytes instead of a movie
//   Shapes of real-world movies:
//   --rotate 90|180|270 [--mirror]  stored turned; the file says how to turn back
//   --sar N:D        pixel shape
//   --sound-seconds S the tone lasts S seconds, however long the pictures
//   --cut N          the first N frames cut off inside a group of pictures
//   --live           no duration in the header (mkv, webm)
//   --vfr steps|irregular  pictures at 25, 50, then 25 a second, or at no rate

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/display.h>
#include <libavutil/opt.h>
#include <libavutil/parseutils.h>
#include <libavutil/pixdesc.h>
}

namespace {

[[noreturn]] void Fail(const std::string& why)
{
    std::fprintf(stderr, "reelscope-movie-gen: %s\n", why.c_str());
    std::exit(1);
}

void Check(int err, const std::string& what)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    if (err < 0) Fail(what + ": " + av_make_error_string(text, sizeof text, err));
}

struct Options {
    std::string output, vcodec, acodec, style, vfr;
    int width = 320, height = 240, gop = 12, rotate = 0, cut = 0;
    AVRational fps{25, 1}, sar{1, 1};
    long frames = 50, randomBytes = -1, bitrate = 0;
    double soundSeconds = -1;
    bool mirror = false, live = false, demo = false;
} o;

void Parse(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--mirror" || arg == "--live") {
            (arg == "--mirror" ? o.mirror : o.live) = true;
            continue;
        }
        if (arg.rfind("--", 0) != 0) {
            o.output = arg;
            continue;
        }
        if (++i == argc) Fail(arg + " needs a value");
        const char* v = argv[i];
        if (arg == "--vcodec") o.vcodec = v;
        else if (arg == "--acodec") o.acodec = v;
        else if (arg == "--style") o.style = v;
        else if (arg == "--vfr") o.vfr = v;
        else if (arg == "--size") Check(av_parse_video_size(&o.width, &o.height, v), arg);
        else if (arg == "--fps") Check(av_parse_video_rate(&o.fps, v), arg);
        else if (arg == "--sar") Check(av_parse_ratio(&o.sar, v, 1000, 0, nullptr), arg);
        else if (arg == "--frames") o.frames = std::atol(v);
        else if (arg == "--gop") o.gop = std::atoi(v);
        else if (arg == "--rotate") o.rotate = std::atoi(v);
        else if (arg == "--cut") o.cut = std::atoi(v);
        else if (arg == "--bitrate") o.bitrate = std::atol(v);
        else if (arg == "--random-bytes") o.randomBytes = std::atol(v);
        else if (arg == "--sound-seconds") o.soundSeconds = std::atof(v);
        else Fail("unknown option " + arg);
    }
    // The code holds 16 bits.
    if (o.output.empty() || o.frames < 1 || o.frames > 65536 || o.gop < 1 || o.cut < 0 || o.cut >= o.frames ||
        o.rotate % 90 != 0)
        Fail("usage: reelscope-movie-gen [options] OUTPUT; tests/support/movie_gen.cpp lists the options");
    o.demo = o.style == "demo";
}

struct Container {
    const char *extension, *muxer, *vcodec, *acodec;
};
const Container kContainers[] = {
    {"avi", "avi", "mjpeg", "pcm_s16le"}, {"mpg", "mpeg", "mpeg1video", "mp2"}, {"asf", "asf", "wmv2", "wmav2"},
    {"mp4", "mp4", "libx264", "aac"},     {"mkv", "matroska", "libx264", "aac"}, {"webm", "webm", "libvpx", "libvorbis"},
};

// Encoder settings: only the frames marked become key frames (the cells
// change every frame, which scene-cut detection would take for cuts); then
// a bit rate, or a constant quality.
std::string VideoOptions(AVCodecID codec)
{
    const std::string rate = std::to_string(o.bitrate), twice = std::to_string(2 * o.bitrate);
    const std::string bitrate = "b=" + rate + ":maxrate=" + twice + ":bufsize=" + twice;
    if (codec == AV_CODEC_ID_H264)
        return "preset=veryfast:forced-idr=1:sc_threshold=0:x264-params=open-gop=0:" + (o.bitrate ? bitrate : "crf=20");
    if (codec == AV_CODEC_ID_VP8) return "deadline=realtime:cpu-used=8:crf=8:" + (o.bitrate ? bitrate : "b=4000000");
    // A quantiser of 3.
    return "sc_threshold=1000000000:bf=0:" + (o.bitrate ? bitrate : "flags=+qscale:global_quality=354");
}

std::string NoOptions(AVCodecID) { return {}; }

constexpr int kSampleRate = 44100;
constexpr int kMpegPackSize = 2048;

struct Stream {
    AVStream* stream = nullptr;
    AVCodecContext* encoder = nullptr;
    AVFrame* frame = av_frame_alloc();
    std::int64_t next = 0, end = 0;  // frame or sample index
};

AVFormatContext* format = nullptr;
AVPacket* packet = av_packet_alloc();
Stream video, audio;
std::int32_t turn[9];
int cutPackets = 0;
bool programStream = false;

// Picture n's time in the video encoder's time base: its number at one rate,
// or milliseconds at a rate that changes.
std::int64_t VideoPts(std::int64_t n)
{
    if (o.vfr.empty()) return n;
    static const int kIrregularMs[] = {40, 40, 90, 20, 60, 33, 47};
    std::int64_t ms = 0;
    for (std::int64_t k = 0; k < n; ++k) {
        if (o.vfr == "steps") ms += (k >= o.frames / 3 && k < 2 * o.frames / 3) ? 20 : 40;
        else ms += kIrregularMs[k % 7];
    }
    return ms;
}

Stream NewStream(const std::string& name, std::string (*options)(AVCodecID), void (*setUp)(AVCodecContext*))
{
    const AVCodec* codec = avcodec_find_encoder_by_name(name.c_str());
    if (!codec) Fail("no encoder " + name);
    Stream s;
    s.stream = avformat_new_stream(format, nullptr);
    s.encoder = avcodec_alloc_context3(codec);
    if (format->oformat->flags & AVFMT_GLOBALHEADER) s.encoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    setUp(s.encoder);
    AVDictionary* dict = nullptr;
    Check(av_dict_parse_string(&dict, options(codec->id).c_str(), "=", ":", 0), name);
    Check(avcodec_open2(s.encoder, codec, &dict), "cannot open " + name);
    av_dict_free(&dict);
    Check(avcodec_parameters_from_context(s.stream->codecpar, s.encoder), "cannot copy the codec parameters");
    s.stream->time_base = s.encoder->time_base;
    return s;
}

void SetUpVideo(AVCodecContext* enc)
{
    enc->pix_fmt = AV_PIX_FMT_YUV420P;
    if (enc->codec_id == AV_CODEC_ID_MJPEG) enc->pix_fmt = AV_PIX_FMT_YUVJ420P;  // what cameras write
    if (enc->codec_id == AV_CODEC_ID_H264 && ((o.width | o.height) & 1)) enc->pix_fmt = AV_PIX_FMT_YUV444P;
    enc->width = o.width;
    enc->height = o.height;
    // Pictures not at one rate are stamped in milliseconds.
    enc->time_base = o.vfr.empty() ? av_inv_q(o.fps) : AVRational{1, 1000};
    enc->framerate = o.fps;
    enc->sample_aspect_ratio = o.sar;
    enc->gop_size = enc->keyint_min = o.gop;
    enc->thread_count = 0;
    if (o.cut) enc->max_b_frames = 0;
    // Say which matrix made the YUV, so that a player does not guess BT.709
    // from the picture size.
    enc->colorspace = AVCOL_SPC_SMPTE170M;
    enc->color_range = enc->pix_fmt == AV_PIX_FMT_YUVJ420P ? AVCOL_RANGE_JPEG : AVCOL_RANGE_MPEG;
}

void SetUpAudio(AVCodecContext* enc)
{
    enc->sample_fmt = enc->codec->sample_fmts[0];
    if (enc->sample_fmt != AV_SAMPLE_FMT_S16 && enc->sample_fmt != AV_SAMPLE_FMT_FLTP) Fail("no S16 or FLTP");
    enc->sample_rate = kSampleRate;
    av_channel_layout_default(&enc->ch_layout, 2);
    enc->time_base = {1, kSampleRate};
    if (enc->codec_id != AV_CODEC_ID_PCM_S16LE) enc->bit_rate = 128000;
}

// The full-range luma (and, off the code, chroma) of the upright picture
// at (x, y) showing `number`.
void Pixel(long number, int x, int y, int w, int h, const int tint[2], int yuv[3])
{
    yuv[1] = yuv[2] = 128;
    if (o.demo) {
        // The code in the middle, on stripes that move and change colour.
        if (x < w / 4 || x >= w - w / 4 || y < h / 4 || y >= h - h / 4) {
            yuv[0] = (x + y + 4 * number) / 24 % 2 ? 150 : 90;
            yuv[1] = tint[0];
            yuv[2] = tint[1];
            return;
        }
        x -= w / 4, y -= h / 4, w -= w / 4 * 2, h -= h / 4 * 2;
    }
    // The reader's cell edges, give or take a pixel.
    yuv[0] = (number >> (y * 4 / h * 4 + x * 4 / w)) & 1 ? 222 : 36;
}

void Encode(Stream& s, AVFrame* frame)
{
    Check(avcodec_send_frame(s.encoder, frame), "cannot encode");
    while (avcodec_receive_packet(s.encoder, packet) == 0) {
        const bool isVideo = &s == &video;
        if (isVideo && packet->duration <= 0) packet->duration = 1;
        // The program-stream muxer stamps a PTS only on the first picture
        // that starts in a pack, so tiny P-pictures would go unstamped and
        // the file's length could only be guessed. Zero bytes before a start
        // code are legal MPEG video stuffing: one pack per picture.
        if (programStream && isVideo && packet->size < kMpegPackSize) {
            const int old = packet->size;
            Check(av_grow_packet(packet, kMpegPackSize - old), "out of memory");
            std::memset(packet->data + old, 0, static_cast<std::size_t>(kMpegPackSize - old));
        }
        if (isVideo && o.cut) {
            // The cut: the file starts with the frames after it, at 0.
            if (cutPackets++ < o.cut) continue;
            packet->pts -= VideoPts(o.cut);
            packet->dts -= VideoPts(o.cut);
        }
        av_packet_rescale_ts(packet, s.encoder->time_base, s.stream->time_base);
        packet->stream_index = s.stream->index;
        Check(av_interleaved_write_frame(format, packet), "cannot write a packet");
    }
}

void WritePicture(AVFrame* f, long n)
{
    // Painted upright, stored turned as the display matrix says: the file's
    // pixel (x, y) shows at (a*x + c*y, b*x + d*y).
    auto unit = [](std::int32_t v) { return v > 32768 ? 1 : v < -32768 ? -1 : 0; };
    const int a = unit(turn[0]), b = unit(turn[1]), c = unit(turn[3]), d = unit(turn[4]);
    const int uw = a ? o.width : o.height, uh = a ? o.height : o.width;
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(f->format));
    const int tint[2] = {128 + static_cast<int>(50 * std::sin(n / 40.0)), 128 + static_cast<int>(50 * std::cos(n / 40.0))};
    for (int plane = 0; plane < 3; ++plane) {
        const int sx = plane ? desc->log2_chroma_w : 0, sy = plane ? desc->log2_chroma_h : 0;
        for (int py = 0; py < AV_CEIL_RSHIFT(o.height, sy); ++py)
            for (int px = 0; px < AV_CEIL_RSHIFT(o.width, sx); ++px) {
                const int x = px << sx, y = py << sy;
                int yuv[3];
                Pixel(n, a ? (a > 0 ? x : uw - 1 - x) : (c > 0 ? y : uw - 1 - y),
                      b ? (b > 0 ? x : uh - 1 - x) : (d > 0 ? y : uh - 1 - y), uw, uh, tint, yuv);
                int v = yuv[plane];
                if (f->color_range != AVCOL_RANGE_JPEG) v = plane ? 128 + (v - 128) * 224 / 255 : 16 + v * 219 / 255;
                f->data[plane][py * f->linesize[plane] + px] = static_cast<std::uint8_t>(v);
            }
    }
}

void WriteVideoFrame()
{
    AVFrame* f = video.frame;
    Check(av_frame_make_writable(f), "cannot write a picture");
    WritePicture(f, static_cast<long>(video.next - o.cut));
    f->pts = VideoPts(video.next);
    f->pkt_duration = VideoPts(video.next + 1) - f->pts;
    f->pict_type = video.next % o.gop == 0 ? AV_PICTURE_TYPE_I : AV_PICTURE_TYPE_NONE;
    f->quality = video.encoder->global_quality;
    ++video.next;
    Encode(video, f);
}

void WriteAudioFrame()
{
    AVFrame* f = audio.frame;
    Check(av_frame_make_writable(f), "cannot write a sound buffer");
    // Encoders that cannot take a short last frame get the tone carried on
    // to a full one rather than a click into padding silence.
    const bool wholeFrames = !(audio.encoder->codec->capabilities &
                               (AV_CODEC_CAP_VARIABLE_FRAME_SIZE | AV_CODEC_CAP_SMALL_LAST_FRAME));
    if (!wholeFrames) f->nb_samples = static_cast<int>(std::min<std::int64_t>(audio.end - audio.next, f->nb_samples));
    for (int i = 0; i < f->nb_samples; ++i) {
        // Phase from the absolute sample index: no seams between frames.
        const double cycles = std::fmod(440.0 * static_cast<double>(audio.next + i), kSampleRate);
        const double v = std::pow(10.0, -6.0 / 20) * std::sin(2.0 * M_PI * cycles / kSampleRate);
        for (int ch = 0; ch < 2; ++ch) {
            if (f->format == AV_SAMPLE_FMT_S16)
                reinterpret_cast<std::int16_t*>(f->data[0])[i * 2 + ch] = static_cast<std::int16_t>(std::lround(v * 32767));
            else
                reinterpret_cast<float*>(f->extended_data[ch])[i] = static_cast<float>(v);
        }
    }
    f->pts = audio.next;
    audio.next += f->nb_samples;
    Encode(audio, f);
}

void WriteMovie(const Container& c, const std::string& path)
{
    Check(avformat_alloc_output_context2(&format, nullptr, c.muxer, path.c_str()), c.muxer);
    const std::string vname = o.vcodec.empty() ? c.vcodec : o.vcodec;
    const std::string aname = o.acodec.empty() ? c.acodec : o.acodec;
    if (vname != "none") {
        video = NewStream(vname, VideoOptions, SetUpVideo);
        video.stream->sample_aspect_ratio = o.sar;
        if (o.vfr.empty()) video.stream->avg_frame_rate = video.stream->r_frame_rate = o.fps;
        video.end = o.frames;
        av_display_rotation_set(turn, o.rotate);
        av_display_matrix_flip(turn, o.mirror, 0);
        if (o.rotate || o.mirror)
            std::memcpy(av_stream_new_side_data(video.stream, AV_PKT_DATA_DISPLAYMATRIX, sizeof turn), turn, sizeof turn);
        video.frame->format = video.encoder->pix_fmt;
        video.frame->width = o.width;
        video.frame->height = o.height;
        video.frame->color_range = video.encoder->color_range;
        Check(av_frame_get_buffer(video.frame, 0), "cannot allocate a picture");
    }
    if (aname != "none") {
        audio = NewStream(aname, NoOptions, SetUpAudio);
        // The tone lasts exactly as long as the pictures, unless told.
        const AVRational tb = video.encoder ? video.encoder->time_base : av_inv_q(o.fps);
        audio.end = o.soundSeconds > 0 ? static_cast<std::int64_t>(o.soundSeconds * kSampleRate)
                                       : av_rescale_rnd(VideoPts(o.frames) - VideoPts(o.cut), kSampleRate * tb.num,
                                                        tb.den, AV_ROUND_NEAR_INF);
        audio.frame->format = audio.encoder->sample_fmt;
        audio.frame->sample_rate = kSampleRate;
        audio.frame->nb_samples = audio.encoder->frame_size > 0 ? audio.encoder->frame_size : 1024;
        av_channel_layout_copy(&audio.frame->ch_layout, &audio.encoder->ch_layout);
        Check(av_frame_get_buffer(audio.frame, 0), "cannot allocate a sound buffer");
    }
    programStream = std::strcmp(c.muxer, "mpeg") == 0;
    if (programStream) {
        format->packet_size = kMpegPackSize;
        // Constant-quality video declares no bit rate, and the mux rate the
        // muxer then guesses lets pictures arrive after their decode time.
        // Two bits per pixel is far above what these pictures cost.
        const double rate = std::max(2.0 * o.width * o.height * av_q2d(o.fps), 4.0 * static_cast<double>(o.bitrate));
        av_opt_set_int(format->priv_data, "muxrate", static_cast<std::int64_t>(std::clamp(rate, 1e7, 1.6e9)), 0);
    }
    Check(avio_open(&format->pb, path.c_str(), AVIO_FLAG_WRITE), "cannot create " + path);
    AVDictionary* muxOptions = nullptr;
    if (o.live) av_dict_set(&muxOptions, "live", "1", 0);
    Check(avformat_write_header(format, &muxOptions), "cannot write the header");
    // Feed whichever stream is behind, so the file interleaves finely.
    for (;;) {
        const bool videoLeft = video.encoder && video.next < video.end;
        const bool audioLeft = audio.encoder && audio.next < audio.end;
        if (videoLeft && (!audioLeft || av_compare_ts(VideoPts(video.next) - VideoPts(o.cut), video.encoder->time_base,
                                                      audio.next, audio.encoder->time_base) <= 0))
            WriteVideoFrame();
        else if (audioLeft) WriteAudioFrame();
        else break;
    }
    for (Stream* s : {&video, &audio})
        if (s->encoder) Encode(*s, nullptr);
    Check(av_write_trailer(format), "cannot finish the file");
    Check(avio_closep(&format->pb), "cannot close the file");
}

}  // namespace

int main(int argc, char** argv)
{
    Parse(argc, argv);
    av_log_set_level(AV_LOG_ERROR);
    // Written beside the target and renamed at the end, so a failed run
    // never leaves a half-written movie that looks whole.
    const std::string partial = o.output + ".part";
    if (o.randomBytes >= 0) {
        std::FILE* file = std::fopen(partial.c_str(), "wb");
        if (!file) Fail("cannot create " + partial);
        std::uint64_t state = 1;
        for (long i = 0; i < o.randomBytes; i += 8) {
            // splitmix64: the same bytes on every machine.
            std::uint64_t z = (state += 0x9E3779B97F4A7C15ULL);
            z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
            z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
            z ^= z >> 31;
            std::fwrite(&z, 1, static_cast<std::size_t>(std::min(8L, o.randomBytes - i)), file);
        }
        if (std::fclose(file) != 0) Fail("cannot write " + partial);
    } else {
        const std::string extension = o.output.substr(o.output.find_last_of('.') + 1);
        const Container* container = std::find_if(std::begin(kContainers), std::end(kContainers),
                                                   [&](const Container& c) { return extension == c.extension; });
        if (container == std::end(kContainers)) Fail("no container for " + o.output);
        WriteMovie(*container, partial);
    }
    if (std::rename(partial.c_str(), o.output.c_str()) != 0) Fail("cannot rename " + partial);
    return 0;
}
