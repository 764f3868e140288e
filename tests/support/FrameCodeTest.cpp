// Checks the frame-number reader on its own, and then against the movies
// reelscope-movie-gen writes: every picture must read back as its own
// number, at full size and as a thumbnail, and the sound must be the tone
// that was asked for.

#include "FrameCode.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QRect>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <ostream>
#include <memory>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

extern char** environ;

namespace {

namespace fs = std::filesystem;

// ---------------------------------------------------------------------------
// Helpers

// FFmpeg's warnings (such as swscale's note on yuvj formats) would bury the
// test report; real errors still show.
const bool kQuietFFmpeg = [] {
    av_log_set_level(AV_LOG_ERROR);
    return true;
}();

std::string GeneratorPath() {
    if (const char* env = std::getenv("REELSCOPE_MOVIE_GEN"); env && *env) return env;
#ifdef MOVIE_GEN_PATH
    return MOVIE_GEN_PATH;
#else
    return {};
#endif
}

// Runs the generator without a shell, so paths need no quoting.
int RunGenerator(const std::vector<std::string>& args) {
    const std::string path = GeneratorPath();
    if (path.empty()) {
        ADD_FAILURE() << "set REELSCOPE_MOVIE_GEN or build with MOVIE_GEN_PATH";
        return -1;
    }
    std::vector<std::string> all{path};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawn(&pid, path.c_str(), nullptr, nullptr, argv.data(), environ) != 0) {
        ADD_FAILURE() << "cannot start " << path;
        return -1;
    }
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

class TempDir {
public:
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "reelscope-framecode-XXXXXX").string();
        if (mkdtemp(pattern.data())) path_ = pattern;
    }
    ~TempDir() {
        std::error_code ec;
        if (!path_.empty()) fs::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    std::string File(const std::string& name) const { return (path_ / name).string(); }
    bool ok() const { return !path_.empty(); }

private:
    fs::path path_;
};

TempDir& Scratch() {
    static TempDir dir;
    return dir;
}

// Generates a movie once per test program run and hands out its path.
std::string Movie(const std::string& name, const std::vector<std::string>& options) {
    static std::map<std::string, std::string> made;
    if (auto it = made.find(name); it != made.end()) return it->second;
    const std::string path = Scratch().File(name);
    std::vector<std::string> args = options;
    args.push_back(path);
    const int rc = RunGenerator(args);
    EXPECT_EQ(rc, 0) << "generating " << name;
    made[name] = rc == 0 ? path : std::string();
    return made[name];
}

struct FormatCloser {
    void operator()(AVFormatContext* ctx) const { avformat_close_input(&ctx); }
};
struct CodecFreer {
    void operator()(AVCodecContext* ctx) const { avcodec_free_context(&ctx); }
};
struct FrameFreer {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketFreer {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct SwsFreer {
    void operator()(SwsContext* s) const { sws_freeContext(s); }
};
struct SwrFreer {
    void operator()(SwrContext* s) const { swr_free(&s); }
};

// One open stream of a movie with its decoder.
class Decoder {
public:
    Decoder(const std::string& path, AVMediaType type) {
        AVFormatContext* raw = nullptr;
        if (avformat_open_input(&raw, path.c_str(), nullptr, nullptr) < 0) return;
        format_.reset(raw);
        if (avformat_find_stream_info(raw, nullptr) < 0) return;
        const AVCodec* codec = nullptr;
        index_ = av_find_best_stream(raw, type, -1, -1, &codec, 0);
        if (index_ < 0) return;
        codec_.reset(avcodec_alloc_context3(codec));
        avcodec_parameters_to_context(codec_.get(), stream()->codecpar);
        codec_->thread_count = 1;
        if (avcodec_open2(codec_.get(), codec, nullptr) < 0) {
            codec_.reset();
            return;
        }
        packet_.reset(av_packet_alloc());
        frame_.reset(av_frame_alloc());
    }

    bool ok() const { return codec_ != nullptr; }
    AVFormatContext* format() const { return format_.get(); }
    AVStream* stream() const { return format_->streams[index_]; }
    AVCodecContext* codec() const { return codec_.get(); }

    // Next decoded frame, or nullptr at the end.
    AVFrame* Next() {
        for (;;) {
            const int got = avcodec_receive_frame(codec_.get(), frame_.get());
            if (got == 0) return frame_.get();
            if (got != AVERROR(EAGAIN)) return nullptr;
            if (draining_) return nullptr;
            int err = 0;
            while ((err = av_read_frame(format_.get(), packet_.get())) >= 0 && packet_->stream_index != index_)
                av_packet_unref(packet_.get());
            if (err < 0) {
                draining_ = true;
                avcodec_send_packet(codec_.get(), nullptr);
            } else {
                avcodec_send_packet(codec_.get(), packet_.get());
                av_packet_unref(packet_.get());
            }
        }
    }

    bool SeekBefore(std::int64_t timestamp) {
        if (av_seek_frame(format_.get(), index_, timestamp, AVSEEK_FLAG_BACKWARD) < 0) return false;
        avcodec_flush_buffers(codec_.get());
        draining_ = false;
        return true;
    }

private:
    std::unique_ptr<AVFormatContext, FormatCloser> format_;
    std::unique_ptr<AVCodecContext, CodecFreer> codec_;
    std::unique_ptr<AVPacket, PacketFreer> packet_;
    std::unique_ptr<AVFrame, FrameFreer> frame_;
    int index_ = -1;
    bool draining_ = false;
};

// A decoded picture as RGB32 bytes (B, G, R, A in memory, which is BGRA to
// FFmpeg), scaled to w x h with a bilinear filter.
struct Rgb32 {
    int width = 0, height = 0, stride = 0;
    std::vector<std::uint8_t> bytes;
    int Read() const { return ReadFrameNumber(bytes.data(), stride, width, height); }
};

Rgb32 ToRgb32(const AVFrame* frame, int w, int h) {
    Rgb32 out{w, h, w * 4, std::vector<std::uint8_t>(static_cast<size_t>(w) * 4 * static_cast<size_t>(h))};
    std::unique_ptr<SwsContext, SwsFreer> sws(sws_getContext(frame->width, frame->height,
                                                             static_cast<AVPixelFormat>(frame->format), w, h,
                                                             AV_PIX_FMT_BGRA, SWS_BILINEAR, nullptr, nullptr, nullptr));
    if (!sws) return {};
    std::uint8_t* dst[4] = {out.bytes.data(), nullptr, nullptr, nullptr};
    const int dstStride[4] = {out.stride, 0, 0, 0};
    sws_scale(sws.get(), frame->data, frame->linesize, 0, frame->height, dst, dstStride);
    return out;
}

struct DecodedPicture {
    int number = -1;
    int thumbnailNumber = -1;
    bool key = false;
    std::int64_t pts = AV_NOPTS_VALUE;
};

std::vector<DecodedPicture> DecodeAllPictures(const std::string& path) {
    std::vector<DecodedPicture> pictures;
    Decoder decoder(path, AVMEDIA_TYPE_VIDEO);
    EXPECT_TRUE(decoder.ok()) << path;
    if (!decoder.ok()) return pictures;
    while (const AVFrame* frame = decoder.Next()) {
        DecodedPicture p;
        p.number = ToRgb32(frame, frame->width, frame->height).Read();
        p.thumbnailNumber = ToRgb32(frame, 29, 22).Read();
        p.key = frame->key_frame != 0;
        p.pts = frame->best_effort_timestamp;
        pictures.push_back(p);
    }
    return pictures;
}

// First channel of the sound, as floats in -1..1.
std::vector<float> DecodeSound(const std::string& path, int* sampleRate = nullptr) {
    std::vector<float> samples;
    Decoder decoder(path, AVMEDIA_TYPE_AUDIO);
    EXPECT_TRUE(decoder.ok()) << path;
    if (!decoder.ok()) return samples;
    AVCodecContext* c = decoder.codec();
    if (sampleRate) *sampleRate = c->sample_rate;
    AVChannelLayout mono = AV_CHANNEL_LAYOUT_MONO;
    SwrContext* raw = nullptr;
    // Keep channel 0 only: mixing channels down would hide a wrong channel.
    if (swr_alloc_set_opts2(&raw, &mono, AV_SAMPLE_FMT_FLT, c->sample_rate, &c->ch_layout, c->sample_fmt,
                            c->sample_rate, 0, nullptr) < 0)
        return samples;
    std::unique_ptr<SwrContext, SwrFreer> swr(raw);
    std::vector<double> matrix(static_cast<size_t>(c->ch_layout.nb_channels), 0.0);
    matrix[0] = 1.0;
    swr_set_matrix(swr.get(), matrix.data(), c->ch_layout.nb_channels);
    if (swr_init(swr.get()) < 0) return samples;
    while (const AVFrame* frame = decoder.Next()) {
        const size_t at = samples.size();
        samples.resize(at + static_cast<size_t>(frame->nb_samples) + 64);
        auto* out = reinterpret_cast<std::uint8_t*>(samples.data() + at);
        const int n = swr_convert(swr.get(), &out, frame->nb_samples + 64,
                                  const_cast<const std::uint8_t**>(frame->extended_data), frame->nb_samples);
        samples.resize(at + static_cast<size_t>(std::max(n, 0)));
    }
    return samples;
}

double RmsDb(const std::vector<float>& s, size_t from, size_t to) {
    double sum = 0;
    for (size_t i = from; i < to; ++i) sum += static_cast<double>(s[i]) * s[i];
    return 10.0 * std::log10(sum / static_cast<double>(to - from));
}

// Frequency from the spacing of upward zero crossings, interpolated between
// samples so that the estimate is not tied to whole-sample periods.
double ZeroCrossingHz(const std::vector<float>& s, size_t from, size_t to, int sampleRate) {
    double first = -1, last = -1;
    int crossings = 0;
    for (size_t i = from + 1; i < to; ++i) {
        if (s[i - 1] < 0 && s[i] >= 0) {
            const double at = static_cast<double>(i - 1) + s[i - 1] / (s[i - 1] - s[i]);
            if (first < 0) first = at;
            last = at;
            ++crossings;
        }
    }
    if (crossings < 2) return 0;
    return (crossings - 1) * sampleRate / (last - first);
}

// Paints a code the way the generator does (flat greys are enough here)
// into an RGB32 buffer, within the rectangle (x, y, w, h).
void PaintCode(std::vector<std::uint8_t>& buf, int stride, int x, int y, int w, int h, int number) {
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) {
            const std::uint8_t v = ((number >> (r * 4 + c)) & 1) ? 222 : 36;
            for (int py = y + r * h / 4; py < y + (r + 1) * h / 4; ++py)
                for (int px = x + c * w / 4; px < x + (c + 1) * w / 4; ++px) {
                    std::uint8_t* p = &buf[static_cast<size_t>(py) * static_cast<size_t>(stride) + 4 * static_cast<size_t>(px)];
                    p[0] = p[1] = p[2] = v;
                    p[3] = 255;
                }
        }
}

// ---------------------------------------------------------------------------
// The reader on painted buffers

TEST(FrameCodeReader, ReadsPaintedNumbers) {
    const int w = 64, h = 48, stride = w * 4;
    for (int number : {0, 1, 2, 0x8000, 0xFFFF, 0x5A5A, 12345, 49}) {
        std::vector<std::uint8_t> buf(static_cast<size_t>(stride) * h);
        PaintCode(buf, stride, 0, 0, w, h, number);
        EXPECT_EQ(ReadFrameNumber(buf.data(), stride, w, h), number);
    }
}

TEST(FrameCodeReader, HonoursStridePadding) {
    const int w = 33, h = 27, stride = w * 4 + 20;
    std::vector<std::uint8_t> buf(static_cast<size_t>(stride) * h, 0xFF);  // padding is white
    PaintCode(buf, stride, 0, 0, w, h, 0x1234);
    EXPECT_EQ(ReadFrameNumber(buf.data(), stride, w, h), 0x1234);
}

TEST(FrameCodeReader, BlackPictureIsNotFrameZero) {
    const int w = 64, h = 48;
    std::vector<std::uint8_t> black(static_cast<size_t>(w) * 4 * h, 0);
    for (size_t i = 3; i < black.size(); i += 4) black[i] = 255;
    EXPECT_EQ(ReadFrameNumber(black.data(), w * 4, w, h), -1);
}

TEST(FrameCodeReader, GreyCellIsRejected) {
    const int w = 64, h = 48, stride = w * 4;
    std::vector<std::uint8_t> buf(static_cast<size_t>(stride) * h);
    PaintCode(buf, stride, 0, 0, w, h, 0x00F0);
    ASSERT_EQ(ReadFrameNumber(buf.data(), stride, w, h), 0x00F0);
    // Cell (2, 1): a half-way grey, as a cross-fade between two frames gives.
    for (int y = 24; y < 36; ++y)
        for (int x = 16; x < 32; ++x) std::fill_n(&buf[static_cast<size_t>(y * stride + x * 4)], 3, std::uint8_t{128});
    EXPECT_EQ(ReadFrameNumber(buf.data(), stride, w, h), -1);
}

TEST(FrameCodeReader, TornCellIsRejectedEvenWhenItsMeanLooksLight) {
    const int w = 64, h = 48, stride = w * 4;
    std::vector<std::uint8_t> buf(static_cast<size_t>(stride) * h);
    PaintCode(buf, stride, 0, 0, w, h, 0xFFFF);
    // One dark row through the middle of cell (0, 0): mean stays high.
    std::fill_n(&buf[static_cast<size_t>(6 * stride)], 16 * 4, std::uint8_t{0});
    EXPECT_EQ(ReadFrameNumber(buf.data(), stride, w, h), -1);
}

TEST(FrameCodeReader, UnusableInputReadsMinusOne) {
    std::vector<std::uint8_t> buf(64 * 4 * 48, 200);
    EXPECT_EQ(ReadFrameNumber(nullptr, 256, 64, 48), -1);
    EXPECT_EQ(ReadFrameNumber(buf.data(), 256, 3, 48), -1);
    EXPECT_EQ(ReadFrameNumber(buf.data(), 256, 64, 0), -1);
    EXPECT_EQ(ReadFrameNumber(buf.data(), 256, -1, 0, 10, 10), -1);
}

TEST(FrameCodeReader, ReadsOneRectangleOfALargerPicture) {
    const int w = 120, h = 60, stride = w * 4;
    std::vector<std::uint8_t> buf(static_cast<size_t>(stride) * h);
    PaintCode(buf, stride, 0, 0, 29, 22, 7);      // first slot
    PaintCode(buf, stride, 40, 30, 29, 22, 812);  // second slot
    EXPECT_EQ(ReadFrameNumber(buf.data(), stride, 0, 0, 29, 22), 7);
    EXPECT_EQ(ReadFrameNumber(buf.data(), stride, 40, 30, 29, 22), 812);
    EXPECT_EQ(ReadFrameNumber(buf.data(), stride, 40, 0, 29, 22), -1);  // empty (black) slot
}

TEST(FrameCodeReader, QImageOfAnyFormat) {
    const int w = 64, h = 48, stride = w * 4;
    std::vector<std::uint8_t> buf(static_cast<size_t>(stride) * h);
    PaintCode(buf, stride, 0, 0, w, h, 0xBEEF);
    const QImage rgb32(buf.data(), w, h, stride, QImage::Format_RGB32);
    EXPECT_EQ(ReadFrameNumber(rgb32), 0xBEEF);
    EXPECT_EQ(ReadFrameNumber(rgb32.convertToFormat(QImage::Format_RGB888)), 0xBEEF);
    EXPECT_EQ(ReadFrameNumber(rgb32.convertToFormat(QImage::Format_Grayscale8)), 0xBEEF);
    EXPECT_EQ(ReadFrameNumber(rgb32, QRect(0, 0, w, h)), 0xBEEF);
    EXPECT_EQ(ReadFrameNumber(rgb32, QRect(10, 10, w, h)), -1);  // sticks out of the image
    EXPECT_EQ(ReadFrameNumber(QImage()), -1);
}

// ---------------------------------------------------------------------------
// Generated movies

struct MovieCase {
    const char* name;
    std::vector<std::string> options;
    int width, height;
    bool intraOnly;
    // How far before a seek target the container's index may land: MPEG
    // program streams have no index, ASF's holds one entry per second.
    enum class Index { None, PerSecond, PerKeyFrame } index;
};

void PrintTo(const MovieCase& c, std::ostream* os) { *os << c.name; }

constexpr int kFrames = 50;
constexpr int kGop = 12;

std::vector<MovieCase> MovieCases() {
    return {
        {"mjpeg.avi", {}, 320, 240, true, MovieCase::Index::PerKeyFrame},
        {"mpeg1.mpg", {}, 320, 240, false, MovieCase::Index::None},
        {"wmv2.asf", {}, 320, 240, false, MovieCase::Index::PerSecond},
        {"h264.mp4", {}, 320, 240, false, MovieCase::Index::PerKeyFrame},
        {"h264.mkv", {}, 320, 240, false, MovieCase::Index::PerKeyFrame},
        {"odd.avi", {"--size", "321x241"}, 321, 241, true, MovieCase::Index::PerKeyFrame},
        {"odd.mp4", {"--size", "321x241"}, 321, 241, false, MovieCase::Index::PerKeyFrame},
        {"mpeg4.avi", {"--vcodec", "mpeg4"}, 320, 240, false, MovieCase::Index::PerKeyFrame},
    };
}

std::string MoviePath(const MovieCase& c) {
    std::vector<std::string> options = c.options;
    options.insert(options.end(), {"--frames", std::to_string(kFrames), "--gop", std::to_string(kGop)});
    return Movie(c.name, options);
}

class GeneratedMovie : public ::testing::TestWithParam<MovieCase> {};

TEST_P(GeneratedMovie, EveryPictureReadsItsOwnNumber) {
    const std::string path = MoviePath(GetParam());
    ASSERT_FALSE(path.empty());
    const std::vector<DecodedPicture> pictures = DecodeAllPictures(path);
    ASSERT_EQ(pictures.size(), static_cast<size_t>(kFrames));
    for (int i = 0; i < kFrames; ++i) {
        EXPECT_EQ(pictures[static_cast<size_t>(i)].number, i) << "picture " << i;
        EXPECT_EQ(pictures[static_cast<size_t>(i)].thumbnailNumber, i) << "29x22 thumbnail of picture " << i;
    }
}

TEST_P(GeneratedMovie, KeyFramesComeEveryGop) {
    const std::string path = MoviePath(GetParam());
    ASSERT_FALSE(path.empty());
    const std::vector<DecodedPicture> pictures = DecodeAllPictures(path);
    ASSERT_EQ(pictures.size(), static_cast<size_t>(kFrames));
    for (const DecodedPicture& p : pictures) {
        const bool expected = GetParam().intraOnly || p.number % kGop == 0;
        EXPECT_EQ(p.key, expected) << "picture " << p.number;
    }
}

TEST_P(GeneratedMovie, SizeRateAndTimestampsAreRight) {
    const std::string path = MoviePath(GetParam());
    ASSERT_FALSE(path.empty());
    Decoder decoder(path, AVMEDIA_TYPE_VIDEO);
    ASSERT_TRUE(decoder.ok());
    EXPECT_EQ(decoder.codec()->width, GetParam().width);
    EXPECT_EQ(decoder.codec()->height, GetParam().height);
    EXPECT_EQ(av_cmp_q(decoder.stream()->avg_frame_rate, AVRational{25, 1}), 0);
    EXPECT_NEAR(static_cast<double>(decoder.format()->duration) / AV_TIME_BASE, kFrames / 25.0, 0.1);

    const std::vector<DecodedPicture> pictures = DecodeAllPictures(path);
    ASSERT_EQ(pictures.size(), static_cast<size_t>(kFrames));
    const AVRational tb = decoder.stream()->time_base;
    for (size_t i = 1; i < pictures.size(); ++i) {
        ASSERT_NE(pictures[i].pts, AV_NOPTS_VALUE);
        const double step = static_cast<double>(pictures[i].pts - pictures[i - 1].pts) * av_q2d(tb);
        EXPECT_NEAR(step, 1 / 25.0, 0.0015) << "between pictures " << i - 1 << " and " << i;
    }
}

TEST_P(GeneratedMovie, SeekingLandsOnTheKeyFrameBefore) {
    if (GetParam().index == MovieCase::Index::None) GTEST_SKIP() << "MPEG program streams carry no index";
    const std::string path = MoviePath(GetParam());
    ASSERT_FALSE(path.empty());
    Decoder decoder(path, AVMEDIA_TYPE_VIDEO);
    ASSERT_TRUE(decoder.ok());
    AVFrame* first = decoder.Next();
    ASSERT_NE(first, nullptr);
    const std::int64_t start = first->best_effort_timestamp;
    const int target = 30;
    const std::int64_t ts = start + av_rescale_q(target, AVRational{1, 25}, decoder.stream()->time_base);
    ASSERT_TRUE(decoder.SeekBefore(ts));
    const AVFrame* frame = decoder.Next();
    ASSERT_NE(frame, nullptr);
    const int keyBefore = GetParam().intraOnly ? target : target - target % kGop;
    const int landed = ToRgb32(frame, frame->width, frame->height).Read();
    if (GetParam().index == MovieCase::Index::PerKeyFrame) {
        EXPECT_EQ(landed, keyBefore);
    } else {
        // One second of slack, but still on a key frame and not past the target.
        EXPECT_LE(landed, keyBefore);
        EXPECT_GE(landed, target - 25 - kGop);
        EXPECT_EQ(landed % kGop, 0);
    }
    EXPECT_NE(frame->key_frame, 0);
    for (int n = landed + 1; n < kFrames; ++n) {
        frame = decoder.Next();
        ASSERT_NE(frame, nullptr);
        EXPECT_EQ(ToRgb32(frame, frame->width, frame->height).Read(), n);
    }
}

INSTANTIATE_TEST_SUITE_P(Containers, GeneratedMovie, ::testing::ValuesIn(MovieCases()),
                         [](const ::testing::TestParamInfo<MovieCase>& info) {
                             std::string name = info.param.name;
                             for (char& ch : name)
                                 if (ch == '.') ch = '_';
                             return name;
                         });

// ---------------------------------------------------------------------------
// Generated sound

// A sine with peak A has RMS A/sqrt(2): -6 dBFS peak is -9.03 dBFS RMS.
constexpr double kSineRmsOffsetDb = -3.0103;

TEST(GeneratedSound, PcmToneHasTheRightLevelPitchAndLength) {
    const std::string path = Movie("mjpeg.avi", {"--frames", std::to_string(kFrames), "--gop", std::to_string(kGop)});
    ASSERT_FALSE(path.empty());
    int rate = 0;
    const std::vector<float> s = DecodeSound(path, &rate);
    EXPECT_EQ(rate, 44100);
    ASSERT_EQ(s.size(), static_cast<size_t>(44100 * kFrames / 25));
    EXPECT_NEAR(RmsDb(s, 0, s.size()), -6.0 + kSineRmsOffsetDb, 0.05);
    EXPECT_NEAR(ZeroCrossingHz(s, 0, s.size(), rate), 440.0, 0.5);
    // No seams between encoder frames: a sine never jumps by more than its
    // steepest slope per sample.
    const double amplitude = std::pow(10.0, -6.0 / 20.0);
    const double steepest = amplitude * 2 * M_PI * 440.0 / 44100.0;
    for (size_t i = 1; i < s.size(); ++i)
        ASSERT_LE(std::fabs(s[i] - s[i - 1]), steepest * 1.02 + 1e-4) << "jump at sample " << i;
    // It starts at the start: first sample is sin(0).
    EXPECT_NEAR(s[0], 0.0f, 1e-4);
}

TEST(GeneratedSound, ToneFollowsItsOptions) {
    const std::string path = Movie("tone.avi", {"--frames", "25", "--tone", "1000", "--level", "-12", "--sample-rate",
                                                "48000", "--channels", "1", "--vcodec", "none"});
    ASSERT_FALSE(path.empty());
    int rate = 0;
    const std::vector<float> s = DecodeSound(path, &rate);
    EXPECT_EQ(rate, 48000);
    ASSERT_EQ(s.size(), 48000u);
    EXPECT_NEAR(RmsDb(s, 0, s.size()), -12.0 + kSineRmsOffsetDb, 0.05);
    EXPECT_NEAR(ZeroCrossingHz(s, 0, s.size(), rate), 1000.0, 0.5);
}

TEST(GeneratedSound, LossyToneKeepsLevelAndPitch) {
    for (const char* name : {"h264.mp4", "mpeg1.mpg", "wmv2.asf"}) {
        const std::string path = Movie(name, {"--frames", std::to_string(kFrames), "--gop", std::to_string(kGop)});
        ASSERT_FALSE(path.empty());
        int rate = 0;
        const std::vector<float> s = DecodeSound(path, &rate);
        ASSERT_GT(s.size(), 80000u) << name;
        // Skip the encoders' start-up and tail padding.
        const size_t from = 8192, to = s.size() - 8192;
        EXPECT_NEAR(RmsDb(s, from, to), -6.0 + kSineRmsOffsetDb, 0.5) << name;
        EXPECT_NEAR(ZeroCrossingHz(s, from, to, rate), 440.0, 1.0) << name;
    }
}

// ---------------------------------------------------------------------------
// The generator's command line

bool HasStream(const std::string& path, AVMediaType type) {
    AVFormatContext* raw = nullptr;
    if (avformat_open_input(&raw, path.c_str(), nullptr, nullptr) < 0) return false;
    std::unique_ptr<AVFormatContext, FormatCloser> format(raw);
    if (avformat_find_stream_info(raw, nullptr) < 0) return false;
    return av_find_best_stream(raw, type, -1, -1, nullptr, 0) >= 0;
}

TEST(MovieGenCommandLine, AudioOnlyAndVideoOnlyFiles) {
    const std::string audioOnly = Movie("audio-only.mp4", {"--vcodec", "none", "--frames", "10"});
    const std::string videoOnly = Movie("video-only.avi", {"--acodec", "none", "--frames", "10"});
    ASSERT_FALSE(audioOnly.empty());
    ASSERT_FALSE(videoOnly.empty());
    EXPECT_TRUE(HasStream(audioOnly, AVMEDIA_TYPE_AUDIO));
    EXPECT_FALSE(HasStream(audioOnly, AVMEDIA_TYPE_VIDEO));
    EXPECT_TRUE(HasStream(videoOnly, AVMEDIA_TYPE_VIDEO));
    EXPECT_FALSE(HasStream(videoOnly, AVMEDIA_TYPE_AUDIO));
    EXPECT_EQ(DecodeAllPictures(videoOnly).size(), 10u);
}

TEST(MovieGenCommandLine, RandomBytesAreExactAndRepeatable) {
    const std::string a = Scratch().File("noise-a.avi"), b = Scratch().File("noise-b.avi"),
                      c = Scratch().File("noise-c.avi");
    ASSERT_EQ(RunGenerator({"--random-bytes", "100003", a}), 0);
    ASSERT_EQ(RunGenerator({"--random-bytes", "100003", b}), 0);
    ASSERT_EQ(RunGenerator({"--random-bytes", "100003", "--seed", "7", c}), 0);
    auto slurp = [](const std::string& p) {
        std::ifstream in(p, std::ios::binary);
        return std::vector<char>(std::istreambuf_iterator<char>(in), {});
    };
    const std::vector<char> da = slurp(a), db = slurp(b), dc = slurp(c);
    EXPECT_EQ(da.size(), 100003u);
    EXPECT_EQ(da, db);
    EXPECT_NE(da, dc);
    EXPECT_FALSE(HasStream(a, AVMEDIA_TYPE_VIDEO));
}

TEST(MovieGenCommandLine, FailuresExitNonZeroAndLeaveNoFile) {
    struct Bad {
        std::vector<std::string> args;
        const char* file;
    };
    const std::vector<Bad> bad = {
        {{"--no-such-option", "1"}, "bad-option.avi"},
        {{"--size", "321x241"}, "odd.asf"},       // WMV2 needs even sizes
        {{"--fps", "12"}, "mpeg1-12fps.mpg"},     // not an MPEG-1 frame rate
        {{"--acodec", "wmav2"}, "wma-in.mp4"},    // not storable in MP4
        {{"--frames", "0"}, "no-frames.avi"},
        {{}, "unknown.extension"},
    };
    for (const Bad& b : bad) {
        const std::string out = Scratch().File(b.file);
        std::vector<std::string> args = b.args;
        args.push_back(out);
        EXPECT_NE(RunGenerator(args), 0) << b.file;
        EXPECT_FALSE(fs::exists(out)) << b.file;
        EXPECT_FALSE(fs::exists(out + ".part")) << b.file;
    }
}

TEST(MovieGenCommandLine, DemoStyleIsAMovingPicture) {
    const std::string path = Movie("demo.mp4", {"--style", "demo", "--frames", "10", "--size", "640x360"});
    ASSERT_FALSE(path.empty());
    Decoder decoder(path, AVMEDIA_TYPE_VIDEO);
    ASSERT_TRUE(decoder.ok());
    std::vector<Rgb32> pictures;
    while (const AVFrame* frame = decoder.Next()) pictures.push_back(ToRgb32(frame, 64, 36));
    ASSERT_EQ(pictures.size(), 10u);
    for (size_t i = 1; i < pictures.size(); ++i) EXPECT_NE(pictures[i].bytes, pictures[i - 1].bytes) << i;
}

}  // namespace
