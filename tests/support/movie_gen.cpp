// reelscope-movie-gen: writes short, fully indexed test movies whose every
// picture carries its own frame number, plus a steady sine tone, so that tests
// and benchmarks can tell exactly which frame and which sound they are seeing.
//
// The number is a 4 x 4 grid of cells over the whole picture; cell (r, c)
// holds bit r*4+c (bit 0 top-left), light for 1 and dark for 0.  Big flat
// cells survive lossy coding, chroma subsampling and scaling down to a
// thumbnail, which a font-rendered number would not.

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/display.h>
#include <libavutil/mathematics.h>
#include <libavutil/opt.h>
#include <libavutil/parseutils.h>
#include <libswscale/swscale.h>
}

namespace {

[[noreturn]] void Fail(const std::string& message) { throw std::runtime_error(message); }

std::string AvError(int err) {
    char buf[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(err, buf, sizeof buf);
    return buf;
}

int Check(int err, const std::string& what) {
    if (err < 0) Fail(what + ": " + AvError(err));
    return err;
}

struct FormatContextDeleter {
    void operator()(AVFormatContext* ctx) const {
        if (ctx->pb && !(ctx->oformat->flags & AVFMT_NOFILE)) avio_closep(&ctx->pb);
        avformat_free_context(ctx);
    }
};
struct CodecContextDeleter {
    void operator()(AVCodecContext* ctx) const { avcodec_free_context(&ctx); }
};
struct FrameDeleter {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
struct PacketDeleter {
    void operator()(AVPacket* pkt) const { av_packet_free(&pkt); }
};
struct SwsDeleter {
    void operator()(SwsContext* ctx) const { sws_freeContext(ctx); }
};
struct DictDeleter {
    void operator()(AVDictionary* dict) const { av_dict_free(&dict); }
};
using FormatContextPtr = std::unique_ptr<AVFormatContext, FormatContextDeleter>;
using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextDeleter>;
using FramePtr = std::unique_ptr<AVFrame, FrameDeleter>;
using PacketPtr = std::unique_ptr<AVPacket, PacketDeleter>;
using SwsPtr = std::unique_ptr<SwsContext, SwsDeleter>;

enum class Style { Code, Demo };

struct Options {
    std::string output;
    std::string container;  // empty: from the extension
    std::string vcodec;     // empty: the container's usual one
    std::string acodec;
    int width = 320;
    int height = 240;
    AVRational fps{25, 1};
    long frames = 50;
    int gop = 12;
    int bframes = -1;  // -1: the encoder's own choice
    double tone = 440.0;
    double levelDb = -6.0;
    int sampleRate = 44100;
    int channels = 2;
    std::int64_t bitrate = 0;
    Style style = Style::Code;
    long long randomBytes = -1;
    std::uint64_t seed = 1;
    bool verbose = false;
    // Shapes of real-world movies.
    int rotate = 0;        // clockwise quarter turns the file asks for, in degrees
    bool mirror = false;   // and a mirror after the turn
    AVRational sar{1, 1};  // shape of a pixel
    double soundSeconds = -1;  // sound longer than the pictures; -1: as long
    int cut = 0;           // the first frames are cut off, as a recording cut inside a group of pictures
    bool live = false;     // no duration in the header, as a browser records
    std::string vfr;       // "steps" (25, 50, 25 fps) or "irregular": pictures not at one rate
};

const char kUsage[] =
    "usage: reelscope-movie-gen [options] OUTPUT\n"
    "  --container avi|mpg|asf|mp4|mkv   default: from OUTPUT's extension\n"
    "  --vcodec mjpeg|mpeg4|mpeg1video|wmv2|h264|none\n"
    "  --acodec pcm|mp2|wmav2|aac|none\n"
    "  --size WxH          picture size (default 320x240)\n"
    "  --fps N|N/D         frame rate (default 25)\n"
    "  --frames N          number of video frames (default 50)\n"
    "  --gop N             key-frame interval in frames (default 12)\n"
    "  --bframes N         B-frames between references (default: encoder's)\n"
    "  --tone HZ           sine frequency (default 440)\n"
    "  --level DB          sine peak level in dBFS (default -6)\n"
    "  --sample-rate HZ    audio sample rate (default 44100)\n"
    "  --channels N        audio channels (default 2)\n"
    "  --bitrate BPS       video bit rate (default: constant quality)\n"
    "  --style code|demo   frame-number cells, or a picture for people\n"
    "  --random-bytes N    write N pseudo-random bytes instead of a movie\n"
    "  --seed N            seed for --random-bytes (default 1)\n"
    "  --rotate 90|180|270 store the pictures turned; the file says how to turn them back\n"
    "  --mirror            ... and to mirror them\n"
    "  --sar N:D           pixel shape (default 1:1)\n"
    "  --sound-seconds S   the tone lasts S seconds, however long the pictures\n"
    "  --cut N             cut the first N frames off (inside a group of pictures)\n"
    "  --live              no duration in the header (mkv, webm)\n"
    "  --vfr steps|irregular  picture times not at one rate (mkv, webm)\n"
    "  --verbose           let FFmpeg log warnings and encoder statistics\n";

long long ParseInteger(const std::string& name, const std::string& text, long long lo, long long hi) {
    errno = 0;
    char* end = nullptr;
    const long long value = std::strtoll(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno == ERANGE || value < lo || value > hi)
        Fail(name + " wants a whole number from " + std::to_string(lo) + " to " + std::to_string(hi) +
             ", not '" + text + "'");
    return value;
}

double ParseReal(const std::string& name, const std::string& text, double lo, double hi) {
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !std::isfinite(value) || value < lo || value > hi)
        Fail(name + " wants a number from " + std::to_string(lo) + " to " + std::to_string(hi) + ", not '" +
             text + "'");
    return value;
}

std::string Extension(const std::string& path) {
    const auto slash = path.find_last_of('/');
    const auto dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
    std::string ext = path.substr(dot + 1);
    for (char& ch : ext) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    return ext;
}

Options ParseOptions(int argc, char** argv) {
    Options opt;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            std::exit(0);
        }
        if (arg == "--verbose" || arg == "--mirror" || arg == "--live") {
            (arg == "--verbose" ? opt.verbose : arg == "--mirror" ? opt.mirror : opt.live) = true;
            continue;
        }
        if (arg.rfind("--", 0) != 0) {
            if (!opt.output.empty()) Fail("more than one OUTPUT given ('" + opt.output + "', '" + arg + "')");
            opt.output = arg;
            continue;
        }
        if (i + 1 >= argc) Fail(arg + " needs a value");
        const std::string value = argv[++i];
        if (arg == "--container") opt.container = value;
        else if (arg == "--vcodec") opt.vcodec = value;
        else if (arg == "--acodec") opt.acodec = value;
        else if (arg == "--size") {
            if (av_parse_video_size(&opt.width, &opt.height, value.c_str()) < 0) Fail("bad --size '" + value + "'");
            if (opt.width < 8 || opt.height < 8 || opt.width > 8192 || opt.height > 8192)
                Fail("--size must be from 8x8 to 8192x8192");
        } else if (arg == "--fps") {
            if (av_parse_video_rate(&opt.fps, value.c_str()) < 0 || opt.fps.num <= 0 || opt.fps.den <= 0 ||
                av_q2d(opt.fps) > 1000)
                Fail("bad --fps '" + value + "'");
        } else if (arg == "--frames") opt.frames = static_cast<long>(ParseInteger(arg, value, 1, 10000000));
        else if (arg == "--gop") opt.gop = static_cast<int>(ParseInteger(arg, value, 1, 100000));
        else if (arg == "--bframes") opt.bframes = static_cast<int>(ParseInteger(arg, value, 0, 16));
        else if (arg == "--tone") opt.tone = ParseReal(arg, value, 1.0, 96000.0);
        else if (arg == "--level") opt.levelDb = ParseReal(arg, value, -120.0, 0.0);
        else if (arg == "--sample-rate") opt.sampleRate = static_cast<int>(ParseInteger(arg, value, 1000, 384000));
        else if (arg == "--channels") opt.channels = static_cast<int>(ParseInteger(arg, value, 1, 8));
        else if (arg == "--bitrate") opt.bitrate = ParseInteger(arg, value, 1000, 1000000000);
        else if (arg == "--random-bytes") opt.randomBytes = ParseInteger(arg, value, 0, 1LL << 40);
        else if (arg == "--rotate") opt.rotate = static_cast<int>(ParseInteger(arg, value, 0, 270));
        else if (arg == "--sar") {
            if (av_parse_ratio(&opt.sar, value.c_str(), 1000, 0, nullptr) < 0 || opt.sar.num <= 0 || opt.sar.den <= 0)
                Fail("bad --sar '" + value + "'");
        } else if (arg == "--sound-seconds") opt.soundSeconds = ParseReal(arg, value, 0.1, 36000.0);
        else if (arg == "--cut") opt.cut = static_cast<int>(ParseInteger(arg, value, 1, 1000));
        else if (arg == "--vfr") opt.vfr = value;
        else if (arg == "--seed") opt.seed = static_cast<std::uint64_t>(ParseInteger(arg, value, 0, INT64_MAX));
        else if (arg == "--style") {
            if (value == "code") opt.style = Style::Code;
            else if (value == "demo") opt.style = Style::Demo;
            else Fail("--style must be code or demo, not '" + value + "'");
        } else Fail("unknown option " + arg + " (see --help)");
    }
    if (opt.output.empty()) Fail("no OUTPUT given (see --help)");
    if (opt.rotate % 90 != 0) Fail("--rotate takes 90, 180 or 270");
    if (!opt.vfr.empty() && opt.vfr != "steps" && opt.vfr != "irregular") Fail("--vfr takes steps or irregular");
    if (opt.cut >= opt.frames) Fail("--cut must leave frames");
    if (opt.tone * 2 > opt.sampleRate) Fail("--tone must be below half the sample rate");
    if (opt.style == Style::Code && opt.frames > 65536)
        Fail("the frame-number code holds 16 bits: at most 65536 frames");
    return opt;
}

// --- random bytes -----------------------------------------------------------

void WriteRandomBytes(const std::string& path, long long count, std::uint64_t seed) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "wb"), &std::fclose);
    if (!file) Fail("cannot create " + path + ": " + std::strerror(errno));
    std::uint64_t state = seed;
    std::vector<unsigned char> block(1 << 16);
    while (count > 0) {
        const size_t n = static_cast<size_t>(std::min<long long>(count, static_cast<long long>(block.size())));
        for (size_t i = 0; i < n; i += 8) {
            // splitmix64: cheap, well spread and identical on every machine.
            std::uint64_t z = (state += 0x9E3779B97F4A7C15ULL);
            z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
            z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
            z ^= z >> 31;
            for (size_t b = 0; b < 8 && i + b < n; ++b) block[i + b] = static_cast<unsigned char>(z >> (8 * b));
        }
        if (std::fwrite(block.data(), 1, n, file.get()) != n) Fail("cannot write " + path + ": " + std::strerror(errno));
        count -= static_cast<long long>(n);
    }
    if (std::fclose(file.release()) != 0) Fail("cannot write " + path + ": " + std::strerror(errno));
}

// --- pictures ---------------------------------------------------------------

struct Rgb {
    double r, g, b;
};

double Luma(const Rgb& c) { return 0.299 * c.r + 0.587 * c.g + 0.114 * c.b; }

Rgb Hue(double degrees) {
    const double h = std::fmod(std::fmod(degrees, 360.0) + 360.0, 360.0) / 60.0;
    const double x = 1.0 - std::fabs(std::fmod(h, 2.0) - 1.0);
    const int sector = static_cast<int>(h);
    const Rgb table[6] = {{1, x, 0}, {x, 1, 0}, {0, 1, x}, {0, x, 1}, {x, 0, 1}, {1, 0, x}};
    const Rgb& t = table[std::clamp(sector, 0, 5)];
    return {t.r * 255, t.g * 255, t.b * 255};
}

// A pure grey grid is hard on the eyes when a movie plays; each cell gets a
// faint hue of its own.  The hue is added along a direction that leaves luma
// unchanged, so light and dark stay exactly at their target luma.
Rgb CellColour(int cell, bool light) {
    const double target = light ? 222.0 : 36.0;
    const Rgb hue = Hue(cell * 360.0 / 16.0 + (cell % 2) * 180.0);
    const double k = 0.14;
    const double l = Luma(hue);
    auto comp = [&](double v) { return std::clamp(target + k * (v - l), 0.0, 255.0); };
    return {comp(hue.r), comp(hue.g), comp(hue.b)};
}

class Canvas {
public:
    Canvas(int width, int height)
        : width_(width), height_(height), stride_(FFALIGN(width * 3, 64)),
          pixels_(static_cast<size_t>(stride_) * static_cast<size_t>(height)) {}

    int width() const { return width_; }
    int height() const { return height_; }
    int stride() const { return stride_; }
    const std::uint8_t* data() const { return pixels_.data(); }

    void Fill(int x0, int y0, int x1, int y1, const Rgb& c, double alpha = 1.0) {
        x0 = std::max(x0, 0), y0 = std::max(y0, 0), x1 = std::min(x1, width_), y1 = std::min(y1, height_);
        for (int y = y0; y < y1; ++y) {
            std::uint8_t* p = Row(y) + 3 * x0;
            for (int x = x0; x < x1; ++x, p += 3) Blend(p, c, alpha);
        }
    }

    void Disc(double cx, double cy, double radius, const Rgb& c) {
        const int y0 = static_cast<int>(cy - radius - 1), y1 = static_cast<int>(cy + radius + 2);
        const int x0 = static_cast<int>(cx - radius - 1), x1 = static_cast<int>(cx + radius + 2);
        for (int y = std::max(y0, 0); y < std::min(y1, height_); ++y)
            for (int x = std::max(x0, 0); x < std::min(x1, width_); ++x) {
                const double d = std::hypot(x + 0.5 - cx, y + 0.5 - cy);
                const double cover = std::clamp(radius - d + 0.5, 0.0, 1.0);
                if (cover > 0) Blend(Row(y) + 3 * x, c, cover);
            }
    }

    std::uint8_t* Row(int y) { return pixels_.data() + static_cast<size_t>(y) * static_cast<size_t>(stride_); }

private:
    static void Blend(std::uint8_t* p, const Rgb& c, double a) {
        p[0] = static_cast<std::uint8_t>(std::lround(p[0] + (c.r - p[0]) * a));
        p[1] = static_cast<std::uint8_t>(std::lround(p[1] + (c.g - p[1]) * a));
        p[2] = static_cast<std::uint8_t>(std::lround(p[2] + (c.b - p[2]) * a));
    }

    int width_, height_, stride_;
    std::vector<std::uint8_t> pixels_;
};

void DrawCode(Canvas& canvas, long number) {
    const int w = canvas.width(), h = canvas.height();
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) {
            const int cell = r * 4 + c;
            // Same integer cell edges as the reader uses, so odd sizes agree.
            canvas.Fill(c * w / 4, r * h / 4, (c + 1) * w / 4, (r + 1) * h / 4,
                        CellColour(cell, ((number >> cell) & 1) != 0));
        }
}

// Seven-segment glyphs: no font files needed, so a headless build machine
// draws exactly what a desktop does.
int DrawText(Canvas& canvas, int x, int y, int glyphHeight, const std::string& text, const Rgb& colour) {
    static const unsigned char kSegments[10] = {0x3F, 0x06, 0x5B, 0x4F, 0x66, 0x6D, 0x7D, 0x07, 0x7F, 0x6F};
    const int gh = glyphHeight, gw = gh / 2, t = std::max(1, gh / 9), gap = std::max(1, gh / 6);
    for (char ch : text) {
        if (ch >= '0' && ch <= '9') {
            const unsigned seg = kSegments[ch - '0'];
            const int mid = y + gh / 2;
            if (seg & 0x01) canvas.Fill(x, y, x + gw, y + t, colour);                    // top
            if (seg & 0x02) canvas.Fill(x + gw - t, y, x + gw, mid + t / 2, colour);     // upper right
            if (seg & 0x04) canvas.Fill(x + gw - t, mid - t / 2, x + gw, y + gh, colour);  // lower right
            if (seg & 0x08) canvas.Fill(x, y + gh - t, x + gw, y + gh, colour);          // bottom
            if (seg & 0x10) canvas.Fill(x, mid - t / 2, x + t, y + gh, colour);          // lower left
            if (seg & 0x20) canvas.Fill(x, y, x + t, mid + t / 2, colour);               // upper left
            if (seg & 0x40) canvas.Fill(x, mid - t / 2, x + gw, mid - t / 2 + t, colour);  // middle
            x += gw + gap;
        } else if (ch == ':') {
            canvas.Fill(x, y + gh / 3 - t / 2, x + t, y + gh / 3 + t - t / 2, colour);
            canvas.Fill(x, y + 2 * gh / 3 - t / 2, x + t, y + 2 * gh / 3 + t - t / 2, colour);
            x += t + gap;
        } else if (ch == '.') {
            canvas.Fill(x, y + gh - t, x + t, y + gh, colour);
            x += t + gap;
        } else {
            x += gw + gap;
        }
    }
    return x;
}

int TextWidth(int glyphHeight, const std::string& text) {
    Canvas probe(1, 1);
    return DrawText(probe, 0, -10 * glyphHeight, glyphHeight, text, {}) - std::max(1, glyphHeight / 6);
}

void DrawDemo(Canvas& canvas, long number, long frames, AVRational fps) {
    const int w = canvas.width(), h = canvas.height();
    const double t = static_cast<double>(number) * fps.den / fps.num;
    const Rgb a = Hue(200 + 20 * t), b = Hue(280 + 20 * t);
    // Soft, slowly turning diagonal gradient.
    for (int y = 0; y < h; ++y) {
        std::uint8_t* p = canvas.Row(y);
        for (int x = 0; x < w; ++x, p += 3) {
            const double u = 0.6 * x / w + 0.4 * y / h;
            p[0] = static_cast<std::uint8_t>(0.45 * (a.r + (b.r - a.r) * u) + 30);
            p[1] = static_cast<std::uint8_t>(0.45 * (a.g + (b.g - a.g) * u) + 30);
            p[2] = static_cast<std::uint8_t>(0.45 * (a.b + (b.b - a.b) * u) + 30);
        }
    }
    const double radius = std::min(w, h) / 7.0;
    canvas.Disc(w / 2.0 + (w / 2.0 - radius) * std::sin(t * 1.3), h / 2.0 + (h / 2.0 - radius) * std::sin(t * 2.1),
                radius, Hue(40 + 50 * t));

    const double seconds = std::floor(t + 1e-9);
    const long ff = std::lround((t - seconds) * av_q2d(fps));
    const long s = static_cast<long>(seconds);
    char timecode[32];
    std::snprintf(timecode, sizeof timecode, "%02ld:%02ld:%02ld.%02ld", s / 3600, s / 60 % 60, s % 60, ff);
    const std::string count = std::to_string(number);

    const int big = std::max(9, h / 4), small = std::max(7, h / 10);
    const int panelW = std::max(TextWidth(big, count), TextWidth(small, timecode)) + big / 2;
    const int panelH = big + small + big / 2 + small / 2;
    const int px = (w - panelW) / 2, py = (h - panelH) / 2;
    canvas.Fill(px, py, px + panelW, py + panelH, {10, 10, 20}, 0.6);
    const Rgb ink{250, 250, 245};
    DrawText(canvas, (w - TextWidth(big, count)) / 2, py + big / 4, big, count, ink);
    DrawText(canvas, (w - TextWidth(small, timecode)) / 2, py + big / 4 + big + small / 2, small, timecode, ink);

    const int barH = std::max(2, h / 60);
    canvas.Fill(0, h - barH, w, h, {0, 0, 0}, 0.5);
    canvas.Fill(0, h - barH, static_cast<int>(static_cast<double>(w) * (number + 1) / frames), h, ink, 0.9);
}

// --- movie writing ----------------------------------------------------------

struct Container {
    const char* name;
    const char* muxer;
    const char* vcodec;
    const char* acodec;
};
const Container kContainers[] = {
    {"avi", "avi", "mjpeg", "pcm"},     {"mpg", "mpeg", "mpeg1video", "mp2"},
    {"asf", "asf", "wmv2", "wmav2"},    {"mp4", "mp4", "h264", "aac"},
    {"mkv", "matroska", "h264", "aac"}, {"webm", "webm", "vp8", "vorbis"},
};

const Container& FindContainer(const Options& opt) {
    std::string name = opt.container.empty() ? Extension(opt.output) : opt.container;
    if (name == "mpeg") name = "mpg";
    if (name == "wmv") name = "asf";
    if (name == "m4v" || name == "mov") name = "mp4";
    for (const Container& c : kContainers)
        if (name == c.name) return c;
    Fail(opt.container.empty() ? "cannot tell the container from '" + opt.output + "': use --container"
                               : "unknown --container '" + opt.container + "'");
}

constexpr int kMpegPackSize = 2048;

struct OutputStream {
    AVStream* stream = nullptr;
    CodecContextPtr encoder;
    FramePtr frame;
    std::int64_t next = 0;  // next frame number or sample index, in encoder time base
    std::int64_t end = 0;   // frames or samples to write
    bool finished = false;
};

class MovieWriter {
public:
    MovieWriter(const Options& opt, const std::string& path) : opt_(opt), packet_(av_packet_alloc()) {
        if (!packet_) Fail("out of memory");
        const Container& container = FindContainer(opt);
        const std::string vname = opt.vcodec.empty() ? container.vcodec : opt.vcodec;
        const std::string aname = opt.acodec.empty() ? container.acodec : opt.acodec;
        if (vname == "none" && aname == "none") Fail("--vcodec none and --acodec none leave nothing to write");

        AVFormatContext* raw = nullptr;
        Check(avformat_alloc_output_context2(&raw, nullptr, container.muxer, path.c_str()),
              std::string("cannot set up the ") + container.muxer + " muxer");
        format_.reset(raw);
        if (vname != "none") AddVideo(vname);
        if (aname != "none") AddAudio(aname);
        av_dump_format(format_.get(), 0, path.c_str(), 1);
        programStream_ = std::strcmp(container.muxer, "mpeg") == 0;
        if (programStream_) {
            format_->packet_size = kMpegPackSize;
            // Constant-quality video declares no bit rate, and the mux rate
            // the muxer then guesses lets pictures arrive after their decode
            // time.  Two bits per pixel is far above what these pictures cost.
            const double pixelRate = 2.0 * opt.width * opt.height * av_q2d(opt.fps);
            const double muxRate = std::clamp(std::max(pixelRate, 4.0 * static_cast<double>(opt.bitrate)), 1e7, 1.6e9);
            Check(av_opt_set_int(format_->priv_data, "muxrate", static_cast<std::int64_t>(muxRate), 0),
                  "cannot set the mux rate");
        }
        Check(avio_open(&format_->pb, path.c_str(), AVIO_FLAG_WRITE), "cannot create " + path);
        AVDictionary* muxOptions = nullptr;
        if (opt.live) av_dict_set(&muxOptions, "live", "1", 0);
        const int written = avformat_write_header(format_.get(), &muxOptions);
        av_dict_free(&muxOptions);
        Check(written, "cannot write the " + vname + "/" + aname + " header");
    }

    void Write() {
        while ((video_.encoder && !video_.finished) || (audio_.encoder && !audio_.finished)) {
            // Feed whichever stream is behind, so the muxer gets packets
            // in time order and the file interleaves finely.
            bool pickVideo = video_.encoder && !video_.finished;
            if (pickVideo && audio_.encoder && !audio_.finished)
                pickVideo = av_compare_ts(VideoPts(video_.next) - VideoPts(opt_.cut), video_.encoder->time_base,
                                          audio_.next, audio_.encoder->time_base) <= 0;
            if (pickVideo) WriteVideoFrame();
            else WriteAudioFrame();
        }
        Check(av_write_trailer(format_.get()), "cannot finish the file");
        Check(avio_closep(&format_->pb), "cannot close the file");
    }

private:
    const AVCodec* FindEncoder(const std::string& name, AVMediaType type) {
        static const char* const kAliases[][2] = {
            {"h264", "libx264"}, {"pcm", "pcm_s16le"}, {"vp8", "libvpx"}, {"vorbis", "libvorbis"}};
        std::string real = name;
        for (const auto& alias : kAliases)
            if (name == alias[0]) real = alias[1];
        const AVCodec* codec = avcodec_find_encoder_by_name(real.c_str());
        if (!codec || codec->type != type) Fail("no " + std::string(av_get_media_type_string(type)) + " encoder '" + name + "'");
        if (avformat_query_codec(format_->oformat, codec->id, FF_COMPLIANCE_NORMAL) == 0)
            Fail(name + " cannot be stored in " + format_->oformat->name);
        return codec;
    }

    CodecContextPtr NewEncoder(const AVCodec* codec) {
        CodecContextPtr enc(avcodec_alloc_context3(codec));
        if (!enc) Fail("out of memory");
        if (format_->oformat->flags & AVFMT_GLOBALHEADER) enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        return enc;
    }

    void OpenEncoder(OutputStream& out, const AVCodec* codec, AVDictionary* options) {
        std::unique_ptr<AVDictionary, DictDeleter> dict(options);
        AVDictionary* d = dict.release();
        const int err = avcodec_open2(out.encoder.get(), codec, &d);
        dict.reset(d);
        if (err < 0) {
            std::string hint;
            if (codec->id == AV_CODEC_ID_MPEG1VIDEO)
                hint = " (MPEG-1 allows only 23.976, 24, 25, 29.97, 30, 50, 59.94 and 60 fps)";
            Fail(std::string("cannot open the ") + codec->name + " encoder: " + AvError(err) + hint);
        }
        if (const AVDictionaryEntry* left = av_dict_get(dict.get(), "", nullptr, AV_DICT_IGNORE_SUFFIX))
            Fail(std::string(codec->name) + " does not know the option " + left->key);
        Check(avcodec_parameters_from_context(out.stream->codecpar, out.encoder.get()), "cannot copy codec parameters");
        out.stream->time_base = out.encoder->time_base;
        out.frame.reset(av_frame_alloc());
        if (!out.frame) Fail("out of memory");
    }

    void AddVideo(const std::string& name) {
        const AVCodec* codec = FindEncoder(name, AVMEDIA_TYPE_VIDEO);
        const bool odd = (opt_.width | opt_.height) & 1;
        AVPixelFormat pixfmt = AV_PIX_FMT_YUV420P;
        if (codec->id == AV_CODEC_ID_MJPEG) pixfmt = AV_PIX_FMT_YUVJ420P;  // what cameras write
        else if (codec->id == AV_CODEC_ID_H264 && odd) pixfmt = AV_PIX_FMT_YUV444P;  // x264 wants even 4:2:0
        else if (codec->id == AV_CODEC_ID_WMV2 && odd) Fail("wmv2 needs an even width and height");

        video_.stream = avformat_new_stream(format_.get(), nullptr);
        if (!video_.stream) Fail("out of memory");
        video_.encoder = NewEncoder(codec);
        AVCodecContext* enc = video_.encoder.get();
        enc->width = opt_.width;
        enc->height = opt_.height;
        enc->pix_fmt = pixfmt;
        // Pictures not at one rate are stamped in milliseconds.
        enc->time_base = opt_.vfr.empty() ? av_inv_q(opt_.fps) : AVRational{1, 1000};
        enc->framerate = opt_.fps;
        enc->sample_aspect_ratio = opt_.sar;
        enc->gop_size = opt_.gop;
        enc->keyint_min = opt_.gop;
        enc->thread_count = 0;
        // Say which matrix made the YUV, so that HD-sized movies are not
        // taken for BT.709 by a player guessing from the picture size.
        enc->colorspace = AVCOL_SPC_SMPTE170M;
        enc->color_primaries = AVCOL_PRI_SMPTE170M;
        enc->color_trc = AVCOL_TRC_SMPTE170M;
        enc->color_range = pixfmt == AV_PIX_FMT_YUVJ420P ? AVCOL_RANGE_JPEG : AVCOL_RANGE_MPEG;

        AVDictionary* options = nullptr;
        const bool x264 = std::strcmp(codec->name, "libx264") == 0;
        // Only the frames we mark become key frames: the cells change every
        // frame, which scene-cut detection would otherwise take for cuts.
        if (x264) {
            av_dict_set(&options, "preset", "veryfast", 0);
            av_dict_set(&options, "forced-idr", "1", 0);
            av_dict_set(&options, "sc_threshold", "0", 0);
            av_dict_set(&options, "x264-params", "open-gop=0", 0);
            if (!opt_.bitrate) av_dict_set(&options, "crf", "20", 0);
            // AVI and ASF have no place for reordering delays.
            const std::string mux = format_->oformat->name;
            if (opt_.bframes >= 0) enc->max_b_frames = opt_.bframes;
            else if (mux == "avi" || mux == "asf" || opt_.cut) enc->max_b_frames = 0;
        } else if (std::strcmp(codec->name, "libvpx") == 0) {
            av_dict_set(&options, "deadline", "realtime", 0);
            av_dict_set(&options, "cpu-used", "8", 0);
            av_dict_set(&options, "crf", "8", 0);
            if (!opt_.bitrate) enc->bit_rate = 4'000'000;
        } else {
            av_dict_set(&options, "sc_threshold", "1000000000", 0);
            enc->max_b_frames = std::max(opt_.bframes, 0);
            if (!opt_.bitrate) {
                enc->flags |= AV_CODEC_FLAG_QSCALE;
                enc->global_quality = FF_QP2LAMBDA * 3;
            }
        }
        if (opt_.bitrate) {
            enc->bit_rate = opt_.bitrate;
            enc->rc_max_rate = opt_.bitrate * 2;
            enc->rc_buffer_size = static_cast<int>(std::min<std::int64_t>(opt_.bitrate * 2, INT32_MAX));
        }
        OpenEncoder(video_, codec, options);
        video_.stream->sample_aspect_ratio = opt_.sar;
        if (opt_.vfr.empty()) {
            video_.stream->avg_frame_rate = opt_.fps;
            video_.stream->r_frame_rate = opt_.fps;
        }
        video_.end = opt_.frames;
        if (opt_.rotate || opt_.mirror) {
            auto* matrix = reinterpret_cast<std::int32_t*>(
                av_stream_new_side_data(video_.stream, AV_PKT_DATA_DISPLAYMATRIX, 9 * sizeof(std::int32_t)));
            if (!matrix) Fail("out of memory");
            av_display_rotation_set(matrix, opt_.rotate);
            av_display_matrix_flip(matrix, opt_.mirror, 0);
            std::copy(matrix, matrix + 9, turn_);
        }

        AVFrame* f = video_.frame.get();
        f->format = pixfmt;
        f->width = opt_.width;
        f->height = opt_.height;
        f->color_range = enc->color_range;
        f->colorspace = enc->colorspace;
        Check(av_frame_get_buffer(f, 0), "cannot allocate a picture");
        canvas_ = std::make_unique<Canvas>(opt_.width, opt_.height);
        // A turned movie's number is painted upright, then stored turned back.
        const bool quarter = opt_.rotate % 180 == 90;
        if (opt_.rotate || opt_.mirror)
            upright_ = std::make_unique<Canvas>(quarter ? opt_.height : opt_.width, quarter ? opt_.width : opt_.height);
        sws_.reset(sws_getContext(opt_.width, opt_.height, AV_PIX_FMT_RGB24, opt_.width, opt_.height, pixfmt,
                                  SWS_BICUBIC | SWS_ACCURATE_RND, nullptr, nullptr, nullptr));
        if (!sws_) Fail("cannot set up the RGB to YUV conversion");
        const int* bt601 = sws_getCoefficients(SWS_CS_ITU601);
        sws_setColorspaceDetails(sws_.get(), bt601, 1, bt601, enc->color_range == AVCOL_RANGE_JPEG, 0, 1 << 16,
                                 1 << 16);
    }

    void AddAudio(const std::string& name) {
        const AVCodec* codec = FindEncoder(name, AVMEDIA_TYPE_AUDIO);
        audio_.stream = avformat_new_stream(format_.get(), nullptr);
        if (!audio_.stream) Fail("out of memory");
        audio_.encoder = NewEncoder(codec);
        AVCodecContext* enc = audio_.encoder.get();
        enc->sample_fmt = codec->sample_fmts ? codec->sample_fmts[0] : AV_SAMPLE_FMT_S16;
        enc->sample_rate = opt_.sampleRate;
        if (codec->supported_samplerates) {
            bool ok = false;
            for (const int* r = codec->supported_samplerates; *r; ++r) ok = ok || *r == opt_.sampleRate;
            if (!ok) Fail(name + " cannot encode at " + std::to_string(opt_.sampleRate) + " Hz");
        }
        av_channel_layout_default(&enc->ch_layout, opt_.channels);
        enc->time_base = {1, opt_.sampleRate};
        if (codec->id != AV_CODEC_ID_PCM_S16LE) enc->bit_rate = 64000LL * std::min(opt_.channels, 2);
        OpenEncoder(audio_, codec, nullptr);

        // The tone lasts exactly as long as the pictures, unless told.
        const AVRational tb = video_.encoder ? video_.encoder->time_base : av_inv_q(opt_.fps);
        const std::int64_t pictures = VideoPts(opt_.frames) - VideoPts(opt_.cut);
        audio_.end = opt_.soundSeconds > 0
                         ? static_cast<std::int64_t>(opt_.soundSeconds * opt_.sampleRate)
                         : av_rescale_rnd(pictures, static_cast<std::int64_t>(opt_.sampleRate) * tb.num, tb.den,
                                          AV_ROUND_NEAR_INF);
        frameSamples_ = enc->frame_size > 0 ? enc->frame_size : 1024;
        wholeFramesOnly_ = enc->frame_size > 0 && !(codec->capabilities & (AV_CODEC_CAP_VARIABLE_FRAME_SIZE |
                                                                            AV_CODEC_CAP_SMALL_LAST_FRAME));
        AVFrame* f = audio_.frame.get();
        f->format = enc->sample_fmt;
        f->sample_rate = enc->sample_rate;
        f->nb_samples = frameSamples_;
        Check(av_channel_layout_copy(&f->ch_layout, &enc->ch_layout), "cannot copy the channel layout");
        Check(av_frame_get_buffer(f, 0), "cannot allocate a sound buffer");
    }

    void WriteVideoFrame() {
        if (video_.next >= video_.end) {
            Encode(video_, nullptr);
            video_.finished = true;
            return;
        }
        const long n = static_cast<long>(video_.next);
        Canvas& paint = upright_ ? *upright_ : *canvas_;
        if (opt_.style == Style::Code) DrawCode(paint, n - opt_.cut);
        else DrawDemo(paint, n, opt_.frames, opt_.fps);
        if (upright_) StoreTurned();

        AVFrame* f = video_.frame.get();
        Check(av_frame_make_writable(f), "cannot get a writable picture");
        const std::uint8_t* src[1] = {canvas_->data()};
        const int srcStride[1] = {canvas_->stride()};
        sws_scale(sws_.get(), src, srcStride, 0, opt_.height, f->data, f->linesize);
        f->pts = VideoPts(video_.next);
        f->pkt_duration = VideoPts(video_.next + 1) - f->pts;
        f->pict_type = n % opt_.gop == 0 ? AV_PICTURE_TYPE_I : AV_PICTURE_TYPE_NONE;
        f->quality = video_.encoder->global_quality;
        ++video_.next;
        Encode(video_, f);
    }

    void WriteAudioFrame() {
        if (audio_.next >= audio_.end) {
            Encode(audio_, nullptr);
            audio_.finished = true;
            return;
        }
        AVFrame* f = audio_.frame.get();
        Check(av_frame_make_writable(f), "cannot get a writable sound buffer");
        const std::int64_t left = audio_.end - audio_.next;
        // Encoders that cannot take a short last frame get the tone carried
        // on to a full one rather than a click into padding silence.
        f->nb_samples = wholeFramesOnly_ ? frameSamples_ : static_cast<int>(std::min<std::int64_t>(left, frameSamples_));
        const double amplitude = std::pow(10.0, opt_.levelDb / 20.0);
        const int channels = f->ch_layout.nb_channels;
        const AVSampleFormat fmt = static_cast<AVSampleFormat>(f->format);
        for (int i = 0; i < f->nb_samples; ++i) {
            // Phase from the absolute sample index: no drift, no seams
            // between encoder frames.
            const double cycles = std::fmod(opt_.tone * static_cast<double>(audio_.next + i), opt_.sampleRate);
            const double v = amplitude * std::sin(2.0 * M_PI * cycles / opt_.sampleRate);
            const auto s16 = static_cast<std::int16_t>(std::lround(v * 32767.0));
            for (int ch = 0; ch < channels; ++ch) {
                switch (fmt) {
                case AV_SAMPLE_FMT_S16: reinterpret_cast<std::int16_t*>(f->data[0])[i * channels + ch] = s16; break;
                case AV_SAMPLE_FMT_S16P: reinterpret_cast<std::int16_t*>(f->extended_data[ch])[i] = s16; break;
                case AV_SAMPLE_FMT_FLT: reinterpret_cast<float*>(f->data[0])[i * channels + ch] = static_cast<float>(v); break;
                case AV_SAMPLE_FMT_FLTP: reinterpret_cast<float*>(f->extended_data[ch])[i] = static_cast<float>(v); break;
                default: Fail(std::string("unsupported sample format ") + av_get_sample_fmt_name(fmt));
                }
            }
        }
        f->pts = audio_.next;
        audio_.next += f->nb_samples;
        Encode(audio_, f);
    }

    void Encode(OutputStream& out, const AVFrame* frame) {
        AVCodecContext* enc = out.encoder.get();
        Check(avcodec_send_frame(enc, frame), std::string("cannot encode with ") + enc->codec->name);
        for (;;) {
            const int err = avcodec_receive_packet(enc, packet_.get());
            if (err == AVERROR(EAGAIN) || err == AVERROR_EOF) return;
            Check(err, std::string("cannot encode with ") + enc->codec->name);
            if (enc->codec_type == AVMEDIA_TYPE_VIDEO && packet_->duration <= 0) packet_->duration = 1;
            // The program-stream muxer stamps a PTS only on the first picture
            // that starts in a pack, so tiny P-pictures would go unstamped and
            // the file's length could only be guessed.  Zero bytes before a
            // start code are legal MPEG video stuffing; one pack per picture
            // gives every picture its own PTS.
            if (programStream_ && packet_->size < kMpegPackSize &&
                (enc->codec_id == AV_CODEC_ID_MPEG1VIDEO || enc->codec_id == AV_CODEC_ID_MPEG2VIDEO)) {
                const int old = packet_->size;
                Check(av_grow_packet(packet_.get(), kMpegPackSize - old), "out of memory");
                std::memset(packet_->data + old, 0, static_cast<size_t>(kMpegPackSize - old));
            }
            if (enc->codec_type == AVMEDIA_TYPE_VIDEO && opt_.cut) {
                // The cut: the file starts with the frames after it, at 0.
                if (cutPackets_++ < opt_.cut) continue;
                packet_->pts -= VideoPts(opt_.cut);
                packet_->dts -= VideoPts(opt_.cut);
            }
            av_packet_rescale_ts(packet_.get(), enc->time_base, out.stream->time_base);
            packet_->stream_index = out.stream->index;
            Check(av_interleaved_write_frame(format_.get(), packet_.get()), "cannot write a packet");
        }
    }

    // Picture n's time in the video encoder's time base: its number at one
    // rate, or milliseconds at a rate that changes.
    std::int64_t VideoPts(std::int64_t n) const {
        if (opt_.vfr.empty()) return n;
        static const int kIrregularMs[] = {40, 40, 90, 20, 60, 33, 47};
        std::int64_t ms = 0;
        for (std::int64_t k = 0; k < n; ++k) {
            if (opt_.vfr == "steps") ms += (k >= opt_.frames / 3 && k < 2 * opt_.frames / 3) ? 20 : 40;
            else ms += kIrregularMs[k % 7];
        }
        return ms;
    }

    // The upright picture stored as the display matrix says it is turned:
    // the file's pixel (x, y) shows at (a*x + c*y, b*x + d*y), y down.
    void StoreTurned() {
        auto unit = [](std::int32_t v) { return v > 32768 ? 1 : v < -32768 ? -1 : 0; };
        const int a = unit(turn_[0]), b = unit(turn_[1]), c = unit(turn_[3]), d = unit(turn_[4]);
        const int uw = upright_->width(), uh = upright_->height();
        for (int y = 0; y < canvas_->height(); ++y) {
            std::uint8_t* to = canvas_->Row(y);
            for (int x = 0; x < canvas_->width(); ++x, to += 3) {
                const int X = a ? (a > 0 ? x : uw - 1 - x) : (c > 0 ? y : uw - 1 - y);
                const int Y = b ? (b > 0 ? x : uh - 1 - x) : (d > 0 ? y : uh - 1 - y);
                std::memcpy(to, upright_->Row(Y) + 3 * X, 3);
            }
        }
    }

    const Options& opt_;
    std::unique_ptr<Canvas> upright_;
    std::int32_t turn_[9] = {};
    long cutPackets_ = 0;
    FormatContextPtr format_;
    PacketPtr packet_;
    OutputStream video_, audio_;
    std::unique_ptr<Canvas> canvas_;
    SwsPtr sws_;
    int frameSamples_ = 0;
    bool wholeFramesOnly_ = false;
    bool programStream_ = false;
};

}  // namespace

int main(int argc, char** argv) {
    std::string partial;
    try {
        const Options opt = ParseOptions(argc, argv);
        av_log_set_level(opt.verbose ? AV_LOG_INFO : AV_LOG_ERROR);
        // Write beside the target and rename at the end, so a failed or
        // interrupted run never leaves a half-written movie that looks whole.
        partial = opt.output + ".part";
        if (opt.randomBytes >= 0) {
            WriteRandomBytes(partial, opt.randomBytes, opt.seed);
        } else {
            MovieWriter writer(opt, partial);
            writer.Write();
        }
        if (std::rename(partial.c_str(), opt.output.c_str()) != 0)
            Fail("cannot rename " + partial + " to " + opt.output + ": " + std::strerror(errno));
        return 0;
    } catch (const std::exception& e) {
        if (!partial.empty()) std::remove(partial.c_str());
        std::fprintf(stderr, "reelscope-movie-gen: %s\n", e.what());
        return 1;
    }
}
