// Subtitles over the pictures, read back by the pixels: a picture presented
// shows a subtitle exactly when its display interval overlaps a cue, for
// every kind of subtitle (the movie's own text and bitmap streams, files
// beside it and added to it) and every character set, whether sought to,
// stepped back to or played through. Hostile subtitle files end in the cue
// skipped or the file refused, and the movie plays on.

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <unistd.h>

#include <ass/ass.h>

#include "MediaTestSupport.h"
#include "engine/media/FfmpegUtil.h"
#include "engine/media/SubtitleBlend.h"
#include "engine/media/SubtitleCharset.h"
#include "engine/media/SubtitleFile.h"
#include "engine/media/SubtitleMotion.h"
#include "engine/media/SubtitleOverlay.h"

namespace media {
namespace {

using testing::Open;
using testing::OpenedStream;
using testsupport::MoviePath;

constexpr StreamTime kFrame = 400'000;  // 25 frames per second
// The test cues (scripts/test-subtitles.sh), from the movie's first picture
// (the muxers move the subtitles with the pictures).
constexpr std::pair<StreamTime, StreamTime> kCues[] = {{4'100'000, 8'300'000}, {12'000'000, 16'000'000}};
// A picture differs from itself without subtitles in more pixels than this
// exactly when one is shown (a glyph alone covers a few dozen).
constexpr int kSubtitlePixels = 20;

bool CueOverFrame(int frame)
{
    const StreamTime start = frame * kFrame, end = start + kFrame;
    for (const auto& [from, to] : kCues)
        if (from < end && to > start) return true;
    return false;
}

struct Shown {
    int frame = -1;
    int subtitlePixels = 0;
    std::vector<std::uint8_t> picture;  // as presented, subtitles and all
};

// The picture the last Update presented, against the same picture made
// anew without what lies over it.
Shown Look(OpenedStream& s)
{
    std::vector<std::uint8_t> bare(s.pixels.size());
    const PixelBuffer buffer{bare.data(), s.width * 4, s.width, s.height};
    Shown shown;
    if (s.video->RenderShown(buffer, FrameRect{0, 0, s.width, s.height}, false) != kOk) return shown;
    shown.frame = ReadFrameNumber(bare.data(), buffer.stride, s.width, s.height);
    for (std::size_t i = 0; i < bare.size(); i += 4)
        shown.subtitlePixels += std::memcmp(&bare[i], &s.pixels[i], 3) != 0;
    shown.picture = s.pixels;
    return shown;
}

Shown ShowFrame(OpenedStream& s, int frame)
{
    s.stream->Seek(frame * kFrame);
    s.stream->SetState(StreamState::Run);
    const Result r = s.sample->Update();
    s.stream->SetState(StreamState::Stop);
    return r == kOk ? Look(s) : Shown{};
}

std::shared_ptr<StreamTracks> Tracks(OpenedStream& s)
{
    std::shared_ptr<StreamTracks> tracks;
    EXPECT_EQ(s.stream->QueryTracks(tracks), kOk);
    return tracks;
}

struct Kind {
    const char* movie;
    const char* file;    // a subtitle file added to it; null for its own track
    int track;           // the subtitle track shown (for a file: counted from the first file)
    const char* sameAs;  // a file whose subtitles must come out pixel for pixel the same
};

class EverySubtitle : public ::testing::TestWithParam<Kind> {};

// Frames each side of where each cue begins and ends, forward and back.
const int kFramesLooked[] = {21, 20, 8, 9, 10, 11, 40, 39, 29, 30, 31, 19};

TEST_P(EverySubtitle, ShowsOnExactlyTheFramesItsCuesOverlapSoughtSteppedBackAndPlayed)
{
    const Kind& k = GetParam();
    OpenedStream s;
    ASSERT_EQ(Open(k.movie, s, MediaOptions{false, false}), kOk);
    auto tracks = Tracks(s);
    ASSERT_TRUE(tracks);
    const int own = static_cast<int>(tracks->Tracks(TrackKind::Subtitle).size());
    int track = k.track;
    if (k.file) {
        ASSERT_EQ(tracks->AddSubtitleFile(MoviePath(k.file)), kOk);
        track = own;
    }
    ASSERT_LT(track, static_cast<int>(tracks->Tracks(TrackKind::Subtitle).size()));
    ASSERT_EQ(tracks->Select(TrackKind::Subtitle, track), kOk);
    EXPECT_EQ(tracks->Selected(TrackKind::Subtitle), track);

    // Played through from the start, every picture as it comes; its text
    // (laid out ahead while the one before was shown) as it is made anew.
    s.stream->SetState(StreamState::Run);
    for (int frame = 0; frame < 50; ++frame) {
        ASSERT_EQ(s.sample->Update(), kOk) << frame;
        const Shown shown = Look(s);
        ASSERT_EQ(shown.frame, frame);
        EXPECT_EQ(shown.subtitlePixels > kSubtitlePixels, CueOverFrame(frame)) << "playing, frame " << frame;
        std::vector<std::uint8_t> anew(s.pixels.size());
        ASSERT_EQ(s.video->RenderShown(PixelBuffer{anew.data(), s.width * 4, s.width, s.height},
                                       FrameRect{0, 0, s.width, s.height}, true),
                  kOk);
        EXPECT_TRUE(anew == shown.picture) << "playing, frame " << frame;
    }
    s.stream->SetState(StreamState::Stop);
    for (const int frame : kFramesLooked) {
        const Shown shown = ShowFrame(s, frame);
        ASSERT_EQ(shown.frame, frame);
        EXPECT_EQ(shown.subtitlePixels > kSubtitlePixels, CueOverFrame(frame))
            << "frame " << frame << ": " << shown.subtitlePixels << " pixels differ";
    }

    // Off, nothing is drawn over the pictures.
    ASSERT_EQ(tracks->Select(TrackKind::Subtitle, -1), kOk);
    EXPECT_LE(ShowFrame(s, 12).subtitlePixels, kSubtitlePixels);

    if (k.sameAs) {
        // The same text read from another character set is the same picture.
        ASSERT_EQ(tracks->Select(TrackKind::Subtitle, track), kOk);
        const Shown mine = ShowFrame(s, 12);
        ASSERT_EQ(tracks->AddSubtitleFile(MoviePath(k.sameAs)), kOk);
        ASSERT_EQ(tracks->Select(TrackKind::Subtitle, static_cast<int>(tracks->Tracks(TrackKind::Subtitle).size()) - 1), kOk);
        EXPECT_TRUE(ShowFrame(s, 12).picture == mine.picture) << "read otherwise than " << k.sameAs;
    }
}

INSTANTIATE_TEST_SUITE_P(
    FormatsAndCharacterSets, EverySubtitle,
    ::testing::Values(Kind{"tracks.mkv", nullptr, 0, nullptr},        // SubRip in Matroska
                      Kind{"tracks.mkv", nullptr, 1, nullptr},        // ASS, placed and turned
                      Kind{"movtext.mp4", nullptr, 0, nullptr},       // MP4 timed text
                      Kind{"dvdsub.vob", nullptr, 0, nullptr},        // DVD bitmaps
                      Kind{"dvdwide.vob", nullptr, 0, nullptr},       // bitmaps wider than the picture
                      Kind{"beside.avi", nullptr, 0, "sub-latin.srt"},  // beside.fr.srt, Windows-1252
                      Kind{"beside.avi", nullptr, 1, "sub-utf8.srt"},   // beside.ja.srt, Shift_JIS
                      Kind{"beside.avi", nullptr, 2, "sub-utf8.srt"},   // beside.srt, UTF-16 LE
                      Kind{"h264.mp4", "sub-utf8bom.srt", 0, "sub-utf8.srt"},
                      Kind{"h264.mp4", "sub-utf16be.srt", 0, "sub-utf8.srt"},
                      Kind{"h264.mp4", "sub-eucjp.srt", 0, "sub-utf8.srt"},
                      Kind{"mjpeg.avi", "sub.vtt", 0, nullptr},
                      Kind{"mjpeg.avi", "sub.ass", 0, nullptr}),
    [](const auto& info) {
        std::string name = std::string(info.param.movie) + "_" + (info.param.file ? info.param.file : "") + "_" +
                           std::to_string(info.param.track);
        for (char& c : name)
            if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
        return name;
    });

// Where the subtitle pixels of a picture shown lie.
struct Extent {
    int left = 1 << 30, top = 1 << 30, right = -1, bottom = -1;
    int Width() const { return right - left + 1; }
    int Height() const { return bottom - top + 1; }
};
Extent SubtitleExtent(OpenedStream& s, const Shown& shown)
{
    std::vector<std::uint8_t> bare(s.pixels.size());
    s.video->RenderShown(PixelBuffer{bare.data(), s.width * 4, s.width, s.height}, FrameRect{0, 0, s.width, s.height},
                         false);
    Extent e;
    for (int y = 0; y < s.height; ++y)
        for (int x = 0; x < s.width; ++x) {
            const std::size_t i = (static_cast<std::size_t>(y) * s.width + x) * 4;
            if (std::memcmp(&bare[i], &shown.picture[i], 3) == 0) continue;
            e.left = std::min(e.left, x), e.right = std::max(e.right, x);
            e.top = std::min(e.top, y), e.bottom = std::max(e.bottom, y);
        }
    return e;
}

TEST(Subtitles, AnAssScriptPlacesItsLinesAndTurnsThem)
{
    OpenedStream s;
    ASSERT_EQ(Open("mjpeg.avi", s, MediaOptions{false, false}), kOk);
    auto tracks = Tracks(s);
    ASSERT_EQ(tracks->AddSubtitleFile(MoviePath("sub.ass")), kOk);
    ASSERT_EQ(tracks->Select(TrackKind::Subtitle, 0), kOk);
    // The first line hangs from (20, 20) of a 320 x 240 script: top left.
    const Extent first = SubtitleExtent(s, ShowFrame(s, 12));
    EXPECT_GE(first.left, 16);
    EXPECT_GE(first.top, 16);
    EXPECT_LT(first.bottom, 60);
    EXPECT_GT(first.Width(), first.Height());
    // The second is centred on (260, 120), turned a quarter: upright.
    const Extent second = SubtitleExtent(s, ShowFrame(s, 33));
    EXPECT_NEAR((second.left + second.right) / 2.0, 260, 6);
    EXPECT_NEAR((second.top + second.bottom) / 2.0, 120, 6);
    EXPECT_GT(second.Height(), 2 * second.Width());
}

// A subtitle file written by the test into a folder of its own.
struct Written {
    std::filesystem::path path;
    explicit Written(const std::string& name, const std::string& bytes)
        : path(std::filesystem::temp_directory_path() / ("reelscope-" + std::to_string(::getpid()) + "-" + name))
    {
        std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    ~Written() { std::filesystem::remove(path); }
};

std::string Cue(int n, const std::string& from, const std::string& to, const std::string& text)
{
    return std::to_string(n) + "\n" + from + " --> " + to + "\n" + text + "\n\n";
}

struct Hostile {
    const char* name;
    std::string (*bytes)();
    bool read;        // kept as a track (what can be read of it), or refused
    int showsFrame;   // a frame that then shows a subtitle; -1 none
    const char* extension = ".srt";
    int mostPixels = 1 << 30;  // a frame shows subtitles over no more pixels
    int fewestPixels = 0;      // and at showsFrame over at least these
};

std::string RandomBytes()
{
    std::mt19937 random(19);
    std::string bytes(256 * 1024, '\0');
    for (char& c : bytes) c = static_cast<char>(random());
    return bytes;
}
std::string OneLongLine()
{
    return Cue(1, "00:00:00,400", "00:00:01,000", std::string(10 << 20, 'x'));
}
std::string ManyCues()
{
    std::string text;
    for (int n = 0; n < 100'000; ++n) {
        char from[32], to[32];
        const int ms = n * 20;
        std::snprintf(from, sizeof from, "%02d:%02d:%02d,%03d", ms / 3'600'000, ms / 60'000 % 60, ms / 1000 % 60, ms % 1000);
        std::snprintf(to, sizeof to, "%02d:%02d:%02d,%03d", (ms + 15) / 3'600'000, (ms + 15) / 60'000 % 60,
                      (ms + 15) / 1000 % 60, (ms + 15) % 1000);
        text += Cue(n + 1, from, to, "cue " + std::to_string(n));
    }
    return text;
}
std::string OutOfOrderAndNegative()
{
    return Cue(3, "00:00:01,200", "00:00:01,600", "third") + Cue(1, "-00:00:05,000", "-00:00:04,000", "before") +
           Cue(2, "00:00:00,410", "00:00:00,830", "second");
}
std::string ScriptOf(const std::string& font, const std::string& events)
{
    return "[Script Info]\nScriptType: v4.00+\nPlayResX: 320\nPlayResY: 240\n\n[V4+ Styles]\n"
           "Format: Name, Fontname, Fontsize, PrimaryColour, SecondaryColour, OutlineColour, BackColour, Bold, Italic, "
           "Underline, StrikeOut, ScaleX, ScaleY, Spacing, Angle, BorderStyle, Outline, Shadow, Alignment, MarginL, "
           "MarginR, MarginV, Encoding\n"
           "Style: Default," + font + ",20,&H00FFFFFF,&H000000FF,&H00000000,&H00000000,0,0,0,0,100,100,0,0,1,1,"
           "0,2,10,10,10,1\n\n[Events]\nFormat: Layer, Start, End, Style, Name, MarginL, MarginR, MarginV, Effect, Text\n" +
           events + "Dialogue: 0,0:00:00.41,0:00:00.83,Default,,0,0,0,,文字 Glyphs\n";
}
std::string MissingFont()
{
    // Placed, so that its size does not push the other line away.
    return ScriptOf("No Such Font At All",
                    "Dialogue: 0,0:00:00.41,0:00:00.83,Default,,0,0,0,,{\\pos(10,10)\\fs100000\\fscx100000}huge\n");
}
// Letters larger than the picture: nothing to read, and a tenth of a second
// each for libass to draw.
std::string GiantLetters()
{
    std::string events;
    for (const char* tags : {"\\fs1000", "\\fscx600\\fscy600", "\\t(0,100,\\fs900)"})
        for (int i = 0; i < 10; ++i)
            events += "Dialogue: 0,0:00:00.41,0:00:00.83,Default,,0,0,0,,{\\an5\\pos(160,120)" + std::string(tags) + "}W\n";
    // A box drawn as a unit square scaled up is no giant letter.
    events += "Dialogue: 0,0:00:00.41,0:00:00.83,Default,,0,0,0,,{\\an7\\pos(0,0)\\fscx8000\\fscy8000\\p1}m 0 0 l 1 0 1 1 0 1\n";
    return ScriptOf("sans-serif", events);
}
std::string Empty() { return {}; }
// Blocks that are no cues before the cue: FFmpeg's reader alone stops at them.
std::string StyledWebVtt()
{
    return "WEBVTT\r\n\r\nSTYLE\r\n::cue { color: yellow }\r\n\r\nNOTE made by hand\r\n\r\n"
           "REGION\r\nid:top\r\n\r\n00:00:00.410 --> 00:00:00.830\r\n字幕の試験\r\n";
}

class HostileFile : public ::testing::TestWithParam<Hostile> {};

TEST_P(HostileFile, IsSkippedOrRefusedAndTheMoviePlaysOn)
{
    const Hostile& h = GetParam();
    const Written file(std::string(h.name) + h.extension, h.bytes());
    OpenedStream s;
    ASSERT_EQ(Open("mjpeg.avi", s, MediaOptions{false, false}), kOk);
    auto tracks = Tracks(s);
    const auto began = std::chrono::steady_clock::now();
    const Result added = tracks->AddSubtitleFile(file.path.string());
    EXPECT_EQ(Succeeded(added), h.read) << std::hex << added;
    if (h.read) {
        ASSERT_EQ(tracks->Select(TrackKind::Subtitle, 0), kOk);
    }
    for (const int frame : {5, 12, 30, 49}) {
        const Shown shown = ShowFrame(s, frame);
        ASSERT_EQ(shown.frame, frame);
        if (frame == h.showsFrame) {
            EXPECT_GT(shown.subtitlePixels, std::max(kSubtitlePixels, h.fewestPixels)) << frame;
        }
        EXPECT_LE(shown.subtitlePixels, h.mostPixels) << frame;
    }
    EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::seconds(60)) << "no hang";
}

INSTANTIATE_TEST_SUITE_P(Inputs, HostileFile,
                         ::testing::Values(Hostile{"random", RandomBytes, false, -1},
                                           Hostile{"longline", OneLongLine, false, -1},
                                           Hostile{"many", ManyCues, true, 12},
                                           Hostile{"disorder", OutOfOrderAndNegative, true, 30},
                                           Hostile{"nofont", MissingFont, true, 12},
                                           Hostile{"giant", GiantLetters, true, 12, ".ass", 12000, 6000},
                                           Hostile{"empty", Empty, false, -1},
                                           Hostile{"styledvtt", StyledWebVtt, true, 12, ".vtt"}),
                         [](const auto& info) { return std::string(info.param.name); });

// libass's masks laid over a picture by every kernel the processor has:
// the same pixels to the bit, wherever a mask lies (over an edge, past the
// picture, a width no multiple of the vector's), and nothing outside the
// picture's rectangle touched.
TEST(SubtitleBlend, EveryKernelPaintsTheSamePixelsInsideThePictureOnly)
{
    constexpr int kWidth = 67, kHeight = 41;
    constexpr FrameRect kRect{3, 2, 61, 38};
    std::mt19937 random(7);
    const auto below = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    std::vector<std::vector<std::uint8_t>> masks;
    std::vector<ASS_Image> images(60);
    masks.reserve(images.size());
    for (ASS_Image& image : images) {
        image = ASS_Image{};
        image.w = 1 + below(50);
        image.h = 1 + below(20);
        image.stride = image.w + below(9);
        image.dst_x = below(kWidth + 10) - 15;
        image.dst_y = below(kHeight + 6) - 8;
        const std::uint32_t alphas[] = {0x00, 0x80, 0xFF, static_cast<std::uint32_t>(below(256))};
        image.color = (static_cast<std::uint32_t>(random()) & 0xFFFFFF00u) | alphas[below(4)];
        std::vector<std::uint8_t> mask(static_cast<std::size_t>(image.stride) * image.h);
        // Runs of empty, full and partial coverage, as a glyph's edges have.
        for (std::size_t i = 0; i < mask.size();) {
            const int run = 1 + below(12), kind = below(3);
            for (int k = 0; k < run && i < mask.size(); ++k, ++i)
                mask[i] = static_cast<std::uint8_t>(kind == 0 ? 0 : kind == 1 ? 255 : 1 + below(254));
        }
        masks.push_back(std::move(mask));
        image.bitmap = masks.back().data();
    }
    // Last, a full opaque square: exactly its colour.
    static std::uint8_t full[4 * 4];
    std::memset(full, 255, sizeof full);
    images.back() = ASS_Image{4, 4, 4, full, 0x12345600u, 10, 10, nullptr, ASS_Image::IMAGE_TYPE_CHARACTER};
    for (std::size_t i = 0; i + 1 < images.size(); ++i) images[i].next = &images[i + 1];

    std::vector<std::uint32_t> background(kWidth * kHeight);
    for (std::uint32_t& p : background) p = 0xFF000000u | (static_cast<std::uint32_t>(random()) & 0xFFFFFFu);
    const auto blend = [&](BlendKernel kernel) {
        std::vector<std::uint32_t> picture = background;
        BlendAssImages(images.data(), PixelBuffer{reinterpret_cast<std::uint8_t*>(picture.data()), kWidth * 4, kWidth, kHeight},
                       kRect, kernel);
        return picture;
    };
    const std::vector<std::uint32_t> one = blend(BlendKernel::Scalar);
    int changed = 0;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            const std::size_t i = static_cast<std::size_t>(y) * kWidth + x;
            const bool inside = x >= kRect.left && x < kRect.right && y >= kRect.top && y < kRect.bottom;
            if (!inside) {
                ASSERT_EQ(one[i], background[i]) << x << "," << y;
            }
            changed += one[i] != background[i];
        }
    EXPECT_GT(changed, 500);
    EXPECT_EQ(one[static_cast<std::size_t>(kRect.top + 11) * kWidth + kRect.left + 11], 0xFF123456u);
    for (const BlendKernel kernel : {BlendKernel::Generic, BlendKernel::Avx2}) {
        if (!BlendKernelAvailable(kernel)) continue;
        EXPECT_TRUE(blend(kernel) == one) << "kernel " << static_cast<int>(kernel);
    }

    // The same masks flattened into a premultiplied picture first (half of
    // them, then the other half over those), and that blended: the same by
    // every kernel, and within a level or two of blending them one by one.
    const auto flattened = [&](BlendKernel kernel) {
        const int w = kRect.Width(), h = kRect.Height();
        std::vector<std::uint32_t> low(static_cast<std::size_t>(w) * h, 0), high(low.size(), 0);
        ASS_Image* half = &images[images.size() / 2];
        images[images.size() / 2 - 1].next = nullptr;
        CompositeAssImages(images.data(), 0, 0, w, h, low.data(), kernel);
        CompositeAssImages(half, 0, 0, w, h, high.data(), kernel);
        images[images.size() / 2 - 1].next = half;
        for (int y = 0; y < h; ++y)
            FlattenPremultipliedRun(&high[static_cast<std::size_t>(y) * w], w, &low[static_cast<std::size_t>(y) * w], kernel);
        std::vector<std::uint32_t> picture = background;
        BlendPremultiplied(low.data(), w, h, PixelBuffer{reinterpret_cast<std::uint8_t*>(picture.data()), kWidth * 4, kWidth, kHeight},
                           kRect, 0, 0, kernel);
        return picture;
    };
    const std::vector<std::uint32_t> flat = flattened(BlendKernel::Scalar);
    for (std::size_t i = 0; i < flat.size(); ++i)
        for (int shift = 0; shift < 32; shift += 8)
            ASSERT_LE(std::abs(static_cast<int>((flat[i] >> shift) & 0xFF) - static_cast<int>((one[i] >> shift) & 0xFF)), 2)
                << "pixel " << i;
    for (const BlendKernel kernel : {BlendKernel::Generic, BlendKernel::Avx2}) {
        if (!BlendKernelAvailable(kernel)) continue;
        EXPECT_TRUE(flattened(kernel) == flat) << "kernel " << static_cast<int>(kernel);
    }

    // A scaled bitmap subtitle's pixels are premultiplied only roughly: a
    // colour a level over its alpha, colour under no alpha. Every kernel
    // still gives the same picture.
    std::vector<std::uint32_t> rough(kWidth * kHeight);
    for (std::uint32_t& p : rough) {
        const std::uint32_t a = below(3) == 0 ? 0 : static_cast<std::uint32_t>(below(256));
        p = a << 24 | static_cast<std::uint32_t>(below(std::min<int>(a + 2, 256))) << 16 |
            static_cast<std::uint32_t>(below(std::min<int>(a + 2, 256))) << 8 | static_cast<std::uint32_t>(below(3));
    }
    const auto over = [&](BlendKernel kernel) {
        std::vector<std::uint32_t> picture = background;
        BlendPremultiplied(rough.data(), kWidth, kHeight,
                           PixelBuffer{reinterpret_cast<std::uint8_t*>(picture.data()), kWidth * 4, kWidth, kHeight}, kRect,
                           -5, 3, kernel);
        return picture;
    };
    const std::vector<std::uint32_t> scalar = over(BlendKernel::Scalar);
    EXPECT_NE(scalar, background);
    for (const BlendKernel kernel : {BlendKernel::Generic, BlendKernel::Avx2}) {
        if (BlendKernelAvailable(kernel)) {
            EXPECT_TRUE(over(kernel) == scalar) << "kernel " << static_cast<int>(kernel);
        }
    }
}

// When a styled cue may be drawn once and kept: a cue drawn for one moment
// and shown at another must look the same at both.
TEST(SubtitleMotion, ACueStandsStillOnlyBetweenItsAnimations)
{
    const auto motion = [](const char* text, const char* effect = "") { return CueMotion::Of(text, effect); };
    // Laid out among the others, or written so we cannot be sure it is not.
    for (const char* text : {"plain line", "{\\an8}top", "{\\pos (1,2)}x", "{\\pos(1)}x", "{\\ pos(1,2)}x",
                             "{\\move(1,2,3)}x"})
        EXPECT_FALSE(motion(text).Alone()) << text;
    EXPECT_FALSE(motion("{\\pos(1,2)}x", "Banner;10").Alone());

    const CueMotion still = motion("{\\pos(10,20)\\frz30\\blur2}still");
    ASSERT_TRUE(still.Alone());
    EXPECT_EQ(still.Stretch(0, 5000), 0);
    EXPECT_EQ(still.Stretch(4999, 5000), 0);

    // Fading in for 200 ms and out for the last 300.
    const CueMotion fade = motion("{\\pos(1,2)\\fad(200,300)}x");
    EXPECT_EQ(fade.Stretch(100, 5000), -1);
    EXPECT_GE(fade.Stretch(250, 5000), 0);
    EXPECT_EQ(fade.Stretch(250, 5000), fade.Stretch(4600, 5000));
    EXPECT_EQ(fade.Stretch(4800, 5000), -1);

    // Syllables: switched at 0 and 500 ms, swept from 500 to 1500, switched
    // at 1500 and 2000; the placing tag may come after the karaoke.
    const CueMotion sung = motion("{\\k50}a{\\kf100}b{\\k50\\pos(1,2)}c");
    ASSERT_TRUE(sung.Alone());
    EXPECT_EQ(sung.Stretch(500, 5000), -1);
    EXPECT_EQ(sung.Stretch(1000, 5000), -1);
    EXPECT_EQ(sung.Stretch(2000, 5000), -1);
    const int before = sung.Stretch(250, 5000), between = sung.Stretch(1700, 5000), after = sung.Stretch(2500, 5000);
    EXPECT_GE(before, 0);
    EXPECT_GE(between, 0);
    EXPECT_NE(before, between);
    EXPECT_NE(between, after);
    EXPECT_EQ(after, sung.Stretch(4900, 5000));

    const CueMotion turning = motion("{\\pos(1,2)\\t(100,200,\\clip(0,0,5,5)\\frz30)}x");
    EXPECT_EQ(turning.Stretch(150, 1000), -1);
    EXPECT_GE(turning.Stretch(50, 1000), 0);
    EXPECT_NE(turning.Stretch(50, 1000), turning.Stretch(300, 1000));
    // Moving throughout: never still, though placed by itself.
    for (const char* text : {"{\\move(0,0,10,10)}x", "{\\pos(1,2)\\kt10\\k10}x", "{\\t(\\frz30)\\pos(1,2)}x",
                             "{\\pos(1,2)\\t(0,0,\\frz30)}x", "{\\pos(1,2)\\fade(255,0,255,0,100,200)}x"}) {
        const CueMotion m = motion(text);
        EXPECT_TRUE(m.Alone()) << text;
        EXPECT_EQ(m.Stretch(0, 1000) + m.Stretch(500, 1000) + m.Stretch(999, 1000), -3) << text;
    }
}

// Cues placed by themselves are drawn one by one and kept while they stand
// still; the pictures must come out as libass draws the whole script, to a
// level, frame after frame: stacked by layer and reading order where they
// overlap, fading, sweeping, turning and moving, and with lines among them
// that libass places, stacked below them, or below and above, stacked
// over each other.
TEST(SubtitleOverlay, CuesDrawnOneByOneAndKeptLookAsTheWholeScriptDrawn)
{
    static constexpr int kWidth = 320, kHeight = 180;
    const std::string script =
        "[Script Info]\nScriptType: v4.00+\nPlayResX: 320\nPlayResY: 180\nScaledBorderAndShadow: yes\n\n"
        "[V4+ Styles]\nFormat: Name, Fontname, Fontsize, PrimaryColour, SecondaryColour, OutlineColour, BackColour, "
        "Bold, Italic, Underline, StrikeOut, ScaleX, ScaleY, Spacing, Angle, BorderStyle, Outline, Shadow, Alignment, "
        "MarginL, MarginR, MarginV, Encoding\n"
        "Style: K,sans-serif,36,&H0000FFFF,&H00FF4000,&H00101010,&H80000000,-1,0,0,0,100,100,0,0,1,3,2,5,10,10,10,1\n\n"
        "[Events]\nFormat: Layer, Start, End, Style, Name, MarginL, MarginR, MarginV, Effect, Text\n"
        "Dialogue: 0,0:00:00.00,0:00:02.00,K,,0,0,0,,{\\pos(100,90)\\fad(200,200)}STILL\n"
        "Dialogue: 1,0:00:00.40,0:00:02.40,K,,0,0,0,,{\\pos(120,95)\\frz20\\k20}ka{\\kf40}ra{\\ko20}oke\n"
        "Dialogue: 0,0:00:00.80,0:00:01.60,K,,0,0,0,,{\\pos(140,100)\\t(200,400,\\frz45)\\blur1}turn\n"
        "Dialogue: 2,0:00:00.00,0:00:03.00,K,,0,0,0,,{\\pos(160,90)\\move(160,90,200,120,1000,1400)}mv\n"
        "Dialogue: 0,0:00:01.20,0:00:01.60,K,,0,0,0,,bottom line\n"
        "Dialogue: 0,0:00:02.00,0:00:02.40,K,,0,0,0,,{\\an8}low\n"
        "Dialogue: 3,0:00:02.00,0:00:02.40,K,,0,0,0,,{\\an8}high\n";
    const Written file("overlay.ass", script);
    SubtitleScript read;
    ASSERT_EQ(ReadSubtitleFile(file.path.string(), read), kOk);
    SubtitleOverlay overlay([] { return std::pair<int, int>{kWidth, kHeight}; }, kWidth, kHeight);
    overlay.AddTextTrack(read.header, read.fileReadOrder).Add(read.cues);
    overlay.Select(0);

    // The whole script, by libass alone, set up as the overlay sets it up.
    ASS_Library* library = ass_library_init();
    ASS_Renderer* renderer = ass_renderer_init(library);
    ass_set_fonts(renderer, nullptr, "sans-serif", ASS_FONTPROVIDER_AUTODETECT, nullptr, 1);
    ass_set_frame_size(renderer, kWidth, kHeight);
    ass_set_storage_size(renderer, kWidth, kHeight);
    std::string bytes = script;
    ASS_Track* whole = ass_read_memory(library, bytes.data(), bytes.size(), nullptr);
    ASSERT_NE(whole, nullptr);

    std::vector<std::uint32_t> grey(kWidth * kHeight, 0xFF606060u);
    const FrameRect rect{0, 0, kWidth, kHeight};
    int drawn = 0;
    // 25 fps; every cue begins and ends on a picture's start, where the two
    // ways must agree exactly.
    for (int frame = 0; frame < 80; ++frame) {
        std::vector<std::uint32_t> ours = grey, theirs = grey;
        overlay.Draw(frame * kFrame, kFrame, PixelBuffer{reinterpret_cast<std::uint8_t*>(ours.data()), kWidth * 4, kWidth, kHeight},
                     rect);
        BlendAssImages(ass_render_frame(renderer, whole, frame * 40, nullptr),
                       PixelBuffer{reinterpret_cast<std::uint8_t*>(theirs.data()), kWidth * 4, kWidth, kHeight}, rect);
        int worst = 0, covered = 0;
        for (std::size_t i = 0; i < ours.size(); ++i) {
            covered += theirs[i] != grey[i];
            for (int shift = 0; shift < 24; shift += 8)
                worst = std::max(worst, std::abs(static_cast<int>((ours[i] >> shift) & 0xFF) -
                                                 static_cast<int>((theirs[i] >> shift) & 0xFF)));
        }
        EXPECT_LE(worst, 2) << "frame " << frame;
        drawn += covered > 100;
    }
    EXPECT_EQ(drawn, 75);  // every picture but the last five shows text
    ass_free_track(whole);
    ass_renderer_done(renderer);
    ass_library_done(library);
}

TEST(SubtitleCharset, EveryCommonSetComesOutAsTheSameText)
{
    const std::string text = "字幕 テスト ①～";
    const struct {
        const char* set;
        std::string bytes;
    } forms[] = {
        {"UTF-8", text},
        {"UTF-8", "\xEF\xBB\xBF" + text},
        {"CP932", "\x8E\x9A\x96\x8B\x20\x83\x65\x83\x58\x83\x67\x20\x87\x40\x81\x60"},
        {"EUC-JP", "\xBB\xFA\xCB\xEB\x20\xA5\xC6\xA5\xB9\xA5\xC8\x20\xAD\xA1\xA1\xC1"},
    };
    for (const auto& f : forms) {
        std::string out, set;
        // A line as long as a subtitle file's, so the set can be told.
        std::string many;
        for (int i = 0; i < 40; ++i) many += f.bytes + "\n";
        ASSERT_TRUE(SubtitleTextToUtf8(many, out, &set)) << f.set;
        EXPECT_EQ(out.substr(0, out.find('\n')), text) << f.set << " read as " << set;
    }
}

}  // namespace
}  // namespace media
