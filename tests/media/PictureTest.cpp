// The picture as it is drawn: the colours of each kind of movie against the
// values their standards give, the lines that make them against zimg's own
// conversion, and interlaced broadcasts woven into whole pictures that keep
// their numbers.

#include <gtest/gtest.h>

#include <QColor>
#include <cstdlib>
#include <random>

#include "MediaTestSupport.h"
#include "engine/media/picture/ColourTable.h"

namespace media {
namespace {

using testing::Open;
using testing::OpenedStream;

constexpr StreamTime kFrame = 400'000;  // 25 frames per second

// The mean colour of a 9 x 9 block around (x, y): HDR's dither moves single
// pixels by a level.
QColor MeanAt(const OpenedStream& s, int x, int y)
{
    int sum[3] = {};
    for (int dy = -4; dy <= 4; ++dy)
        for (int dx = -4; dx <= 4; ++dx) {
            const std::uint8_t* p = s.buffer.bits + static_cast<std::ptrdiff_t>(y + dy) * s.buffer.stride + 4 * (x + dx);
            for (int c = 0; c < 3; ++c) sum[c] += p[2 - c];  // B, G, R in memory
        }
    return QColor((sum[0] + 40) / 81, (sum[1] + 40) / 81, (sum[2] + 40) / 81);
}

struct Colours {
    const char* file;
    int tolerance;
    std::vector<QColor> bands;  // left to right
};

class EveryColourKind : public ::testing::TestWithParam<Colours> {};

TEST_P(EveryColourKind, BandsShowTheColoursTheirCodesStandFor)
{
    const Colours& c = GetParam();
    OpenedStream s;
    ASSERT_EQ(Open(c.file, s), kOk);
    s.stream->SetState(StreamState::Run);
    ASSERT_EQ(s.sample->Update(), kOk);
    const int n = static_cast<int>(c.bands.size());
    for (int i = 0; i < n; ++i) {
        const QColor got = MeanAt(s, s.width * (2 * i + 1) / (2 * n), s.height / 2);
        const QColor& want = c.bands[static_cast<std::size_t>(i)];
        EXPECT_TRUE(std::abs(got.red() - want.red()) <= c.tolerance && std::abs(got.green() - want.green()) <= c.tolerance &&
                    std::abs(got.blue() - want.blue()) <= c.tolerance)
            << "band " << i << ": " << got.red() << "," << got.green() << "," << got.blue() << " for " << want.red()
            << "," << want.green() << "," << want.blue();
    }
}

const QColor kRed(255, 0, 0), kGreen(0, 255, 0), kGrey(128, 128, 128);
// Standard definition's own primaries, shown on a BT.709 display: NTSC's
// (SMPTE C) red and green, and PAL's green, lie inside BT.709's.
const QColor kNtscRed(249, 48, 0), kNtscGreen(73, 251, 0), kPalGreen(0, 255, 40);
// HDR greys: black, 50 cd/m2 (below the roll-off, so at its own light
// against the SDR white of 203 cd/m2 on a gamma 2.4 display), and the
// picture's peak at the SDR display's white.
const QColor kHdrGreys[] = {QColor(0, 0, 0), QColor(142, 142, 142), QColor(255, 255, 255)};

INSTANTIATE_TEST_SUITE_P(
    Picture, EveryColourKind,
    ::testing::Values(Colours{"hd709.mkv", 2, {kRed, kGreen, kGrey}}, Colours{"sd601.mkv", 2, {kNtscRed, kNtscGreen, kGrey}},
                      // Untagged: BT.709 by its HD width though under 720 lines; BT.601 for PAL.
                      Colours{"wideuntagged.mkv", 2, {kRed, kGreen, kGrey}},
                      Colours{"paluntagged.mkv", 2, {kRed, kPalGreen, kGrey}},
                      Colours{"fullrange.mkv", 3, {kRed, kGreen, kGrey}},
                      // A transfer the converter does not know is read as BT.709's.
                      Colours{"oddtransfer.mkv", 2, {kRed, kGreen, kGrey}},
                      // Colours inside BT.709's gamut written in BT.2020's wider primaries
                      // (for a gamma 2.4 display, as all SDR here).
                      Colours{"wide2020.mkv", 2, {QColor(200, 80, 60), QColor(60, 180, 90), kGrey}},
                      Colours{"pq.mkv", 3, {kHdrGreys[0], kHdrGreys[1], kHdrGreys[2]}},
                      // HLG's 0.5 is 50.7 cd/m2 on a 1000 cd/m2 display (system gamma 1.2).
                      Colours{"hlg.mkv", 3, {kHdrGreys[0], QColor(143, 143, 143), kHdrGreys[2]}}),
    [](const auto& info) {
        std::string name = info.param.file;
        return name.substr(0, name.find('.'));
    });

// The colours of a picture as a decoder tags them (its pixels not needed).
PictureColours Tagged(AVPixelFormat format, AVColorSpace matrix, AVColorPrimaries primaries,
                      AVColorTransferCharacteristic transfer)
{
    FramePtr frame(av_frame_alloc());
    frame->format = format;
    frame->width = 1920;
    frame->height = 1080;
    frame->colorspace = matrix;
    frame->color_primaries = primaries;
    frame->color_trc = transfer;
    frame->color_range = AVCOL_RANGE_MPEG;
    return ColoursOf(frame.get());
}

const PictureColours kPq = Tagged(AV_PIX_FMT_YUV420P10, AVCOL_SPC_BT2020_NCL, AVCOL_PRI_BT2020, AVCOL_TRC_SMPTE2084);
const PictureColours kHlg = Tagged(AV_PIX_FMT_YUV420P10, AVCOL_SPC_BT2020_NCL, AVCOL_PRI_BT2020, AVCOL_TRC_ARIB_STD_B67);

// The mean levels (R, G, B) a 16 x 16 block of samples (a, b, c) is drawn
// with through `table`: the dither averaged out.
std::array<double, 3> MeanThrough(const ColourTable& table, std::uint16_t a, std::uint16_t b, std::uint16_t c)
{
    const std::vector<std::uint16_t> pa(16, a), pb(16, b), pc(16, c);
    std::vector<std::uint32_t> out(16);
    std::array<double, 3> mean{};
    for (unsigned y = 0; y < 16; ++y) {
        MapLine(table.Nodes(), SampleLine{{pa.data(), pb.data(), pc.data()}, out.data(), y}, 0, 16);
        for (const std::uint32_t pixel : out)
            for (int k = 0; k < 3; ++k) mean[k] += (pixel >> (16 - 8 * k) & 255) / 256.0;
    }
    return mean;
}

TEST(PictureLines, VectorLinesGiveToTheBitWhatPlainOnesGive)
{
    const auto table = ColourTable::For(kPq);
    ASSERT_TRUE(table);
    LineMatrix matrix;
    ASSERT_TRUE(MatrixFor(Tagged(AV_PIX_FMT_YUV420P, AVCOL_SPC_BT709, AVCOL_PRI_BT709, AVCOL_TRC_BT709), matrix));
    // Runs of one colour, ramps and noise, each taking another way through
    // the vector code; lines cut short at both ends for the plain tails.
    constexpr unsigned kWidth = 700;
    std::mt19937 random(7);
    std::vector<std::uint16_t> planes[3];
    for (int c = 0; c < 3; ++c)
        for (unsigned x = 0; x < kWidth; ++x) {
            const unsigned kind = x / 100 % 3;
            planes[c].push_back(static_cast<std::uint16_t>(kind == 0 ? 30000 + 1000 * c : kind == 1 ? 90 * x + 500 * c
                                                                                                    : random() & 0xffff));
        }
    for (unsigned y = 0; y < 16; ++y)
        for (const unsigned cut : {0u, 5u}) {
            std::vector<std::uint32_t> vector(kWidth), plain(kWidth);
            const SampleLine line{{planes[0].data(), planes[1].data(), planes[2].data()}, vector.data(), y};
            SampleLine plainLine = line;
            plainLine.out = plain.data();
            MapLine(table->Nodes(), line, cut, kWidth - cut);
            MapLinePlain(table->Nodes(), plainLine, cut, kWidth - cut);
            EXPECT_EQ(vector, plain) << "table, line " << y;
            MatrixLine(matrix, line, cut, kWidth - cut);
            MatrixLinePlain(matrix, plainLine, cut, kWidth - cut);
            EXPECT_EQ(vector, plain) << "matrix, line " << y;
        }
}

// Full-range 16-bit samples, as zimg reads a picture for the table.
constexpr std::uint16_t kBlack = 0, kWhite = 65535, kNeutral = 32768;

TEST(PictureTable, BlackStaysBlackAndGreysRiseEvenlyToWhite)
{
    for (const PictureColours& colours : {kPq, kHlg}) {
        const auto table = ColourTable::For(colours);
        ASSERT_TRUE(table);
        EXPECT_EQ(MeanThrough(*table, kBlack, kNeutral, kNeutral), (std::array<double, 3>{0, 0, 0}));
        double last = 0;
        for (int code = 0; code < 65536; code += 256) {
            const auto grey = MeanThrough(*table, static_cast<std::uint16_t>(code), kNeutral, kNeutral);
            const auto [low, high] = std::minmax({grey[0], grey[1], grey[2]});
            EXPECT_LE(high - low, 0.5) << "grey " << code;
            EXPECT_GE(grey[1], last - 1.0 / 64) << "grey " << code;
            last = grey[1];
        }
        EXPECT_EQ(MeanThrough(*table, kWhite, kNeutral, kNeutral), (std::array<double, 3>{255, 255, 255}));
    }
}

// The combs on the moving box's band (it spans H/4 +- H/16): pixels whose
// row sticks out from both neighbours the same way, as every other row does
// where a woven picture's fields lie a field's motion apart. An edge along
// a row, as between the code's cells, is a step and does not count.
int Combs(const OpenedStream& s)
{
    auto luma = [&](int x, int y) {
        const std::uint8_t* p = s.buffer.bits + static_cast<std::ptrdiff_t>(y) * s.buffer.stride + 4 * x;
        return (29 * p[0] + 150 * p[1] + 77 * p[2]) >> 8;
    };
    int combs = 0;
    for (int y = s.height / 4 - s.height / 16; y < s.height / 4 + s.height / 16; ++y)
        for (int x = 0; x < s.width; ++x) {
            const int up = luma(x, y) - luma(x, y - 1), down = luma(x, y + 1) - luma(x, y);
            combs += up * down < 0 && std::min(std::abs(up), std::abs(down)) > 40;
        }
    return combs;
}

TEST(Interlaced, PicturesAreWovenWhenMarkedOrAskedAndKeepTheirNumbers)
{
    for (const char* movie : {"interlaced.ts", "interlaced2.ts"}) {
        for (const Deinterlace mode : {Deinterlace::Off, Deinterlace::Auto, Deinterlace::On}) {
            SCOPED_TRACE(std::string(movie) + " mode " + std::to_string(static_cast<int>(mode)));
            OpenedStream s;
            ASSERT_EQ(Open(movie, s, MediaOptions{.audio = false, .pacing = false}), kOk);
            s.stream->SetDeinterlace(mode);
            // Exact seeks, the first and the last frame among them, then play on.
            for (const int frame : {7, 0, 24, 13}) {
                s.stream->Seek(frame * kFrame);
                s.stream->SetState(StreamState::Run);
                ASSERT_EQ(s.sample->Update(), kOk);
                EXPECT_EQ(s.Shown(), frame);
                const int combs = Combs(s);
                if (mode == Deinterlace::Off)
                    EXPECT_GT(combs, 100) << frame;
                else
                    EXPECT_EQ(combs, 0) << frame;
                s.stream->SetState(StreamState::Stop);
            }
            s.stream->SetState(StreamState::Run);
            for (int frame = 14; frame < 25; ++frame) {
                ASSERT_EQ(s.sample->Update(), kOk);
                EXPECT_EQ(s.Shown(), frame);
                if (mode != Deinterlace::Off) {
                    EXPECT_EQ(Combs(s), 0) << frame;
                }
            }
            EXPECT_EQ(s.sample->Update(), kEndOfStream);
        }
    }
}

TEST(Interlaced, AProgressiveMovieIsShownAsItIsUnlessWeavingIsAsked)
{
    std::vector<std::uint8_t> asIs;
    for (const Deinterlace mode : {Deinterlace::Off, Deinterlace::Auto}) {
        OpenedStream s;
        ASSERT_EQ(Open("h264.mp4", s, MediaOptions{.audio = false, .pacing = false}), kOk);
        s.stream->SetDeinterlace(mode);
        s.stream->Seek(30 * kFrame);
        s.stream->SetState(StreamState::Run);
        ASSERT_EQ(s.sample->Update(), kOk);
        ASSERT_EQ(s.Shown(), 30);
        if (asIs.empty())
            asIs = s.pixels;
        else
            EXPECT_TRUE(s.pixels == asIs) << "the automatic choice changed a progressive picture";
    }
}

}  // namespace
}  // namespace media
