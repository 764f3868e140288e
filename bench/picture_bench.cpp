// The picture path against accurate conversions of the same charts. This
// program makes the charts (raw planar YUV, for the ffmpeg command to code
// losslessly), runs the player in this process in a real window to capture
// what it draws and how long a redraw takes, and measures the captures
// against references that the ffmpeg command's zscale made at high
// precision (float RGB), or that are built here in double precision from
// zscale's decoding for HDR. bench/picture_bench.sh runs it all.
//
// Usage:
//   reelscope-picture-bench chart patches W H 601|709|2020 limited|full BITS OUT.yuv
//   reelscope-picture-bench chart pq|hlg W H OUT.yuv       (10-bit BT.2020, limited)
//   reelscope-picture-bench chart darkramp|edges|fine|zoneplate OUT.yuv
//   reelscope-picture-bench capture window100|window200|full OUTDIR MOVIE...
//   reelscope-picture-bench interlaced MODE OUTDIR MOVIE   (MODE names the captures)
//   reelscope-picture-bench measure patches CASE CAPTURE.png REF.f32
//   reelscope-picture-bench measure pq|hlg CASE PEAK CAPTURE.png CODED.f32
//   reelscope-picture-bench measure darkramp|edges CASE CAPTURE.png REF.f32
//   reelscope-picture-bench png W H REF.f32 OUT.png
//   reelscope-picture-bench convert MOVIE [WxH [OUT.png]]
//       the CPU of one conversion of the movie's first picture, alone
//       (no window, no player), at its size or WxH; the picture written
//       out, as the capture at that size would be
// A .f32 file is one picture of the ffmpeg command's gbrpf32le (planes G, B,
// R), whose size is the capture's. Table rows go to stdout, the details
// behind them to stderr.

#include <time.h>

#include "BenchWait.h"
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QImage>
#include <QTimer>
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/pixdesc.h>
}

#include "FrameCode.h"
#include "app/CommandUi.h"
#include "app/MainFrame.h"
#include "app/MoviePlayerApp.h"
#include "engine/FullScreenWindow.h"
#include "engine/media/picture/ZimgPicture.h"
#include "resources/CommandIds.h"

namespace {

// ---------------------------------------------------------------- colour

struct Rgb {
    double r = 0, g = 0, b = 0;
};
using Mat3 = std::array<std::array<double, 3>, 3>;

Rgb Mul(const Mat3& m, const Rgb& c)
{
    return {m[0][0] * c.r + m[0][1] * c.g + m[0][2] * c.b, m[1][0] * c.r + m[1][1] * c.g + m[1][2] * c.b,
            m[2][0] * c.r + m[2][1] * c.g + m[2][2] * c.b};
}

Mat3 Product(const Mat3& a, const Mat3& b)
{
    Mat3 m{};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            for (int k = 0; k < 3; ++k) m[i][j] += a[i][k] * b[k][j];
    return m;
}

Mat3 Inverse(const Mat3& m)
{
    const double det = m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
                       m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
                       m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
    Mat3 r{};
    r[0][0] = (m[1][1] * m[2][2] - m[1][2] * m[2][1]) / det;
    r[0][1] = (m[0][2] * m[2][1] - m[0][1] * m[2][2]) / det;
    r[0][2] = (m[0][1] * m[1][2] - m[0][2] * m[1][1]) / det;
    r[1][0] = (m[1][2] * m[2][0] - m[1][0] * m[2][2]) / det;
    r[1][1] = (m[0][0] * m[2][2] - m[0][2] * m[2][0]) / det;
    r[1][2] = (m[0][2] * m[1][0] - m[0][0] * m[1][2]) / det;
    r[2][0] = (m[1][0] * m[2][1] - m[1][1] * m[2][0]) / det;
    r[2][1] = (m[0][1] * m[2][0] - m[0][0] * m[2][1]) / det;
    r[2][2] = (m[0][0] * m[1][1] - m[0][1] * m[1][0]) / det;
    return r;
}

// Linear RGB of primaries (x, y) with a D65 white to CIE XYZ.
Mat3 RgbToXyz(double xr, double yr, double xg, double yg, double xb, double yb)
{
    const double xw = 0.3127, yw = 0.3290;
    const Mat3 p{{{xr / yr, xg / yg, xb / yb}, {1, 1, 1}, {(1 - xr - yr) / yr, (1 - xg - yg) / yg, (1 - xb - yb) / yb}}};
    const Rgb s = Mul(Inverse(p), Rgb{xw / yw, 1, (1 - xw - yw) / yw});
    Mat3 m = p;
    for (int i = 0; i < 3; ++i) m[i][0] *= s.r, m[i][1] *= s.g, m[i][2] *= s.b;
    return m;
}

const Mat3 kXyzOf709 = RgbToXyz(0.640, 0.330, 0.300, 0.600, 0.150, 0.060);
const Mat3 kXyzOf2020 = RgbToXyz(0.708, 0.292, 0.170, 0.797, 0.131, 0.046);
const Mat3 k2020To709 = Product(Inverse(kXyzOf709), kXyzOf2020);
const Mat3 k709To2020 = Inverse(k2020To709);

double SrgbToLinear(double v)
{
    return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
}

struct Lab {
    double l, a, b;
};

// CIELAB (D65) of an sRGB-coded colour in 0..1.
Lab ToLab(const Rgb& coded)
{
    const Rgb xyz = Mul(kXyzOf709, Rgb{SrgbToLinear(coded.r), SrgbToLinear(coded.g), SrgbToLinear(coded.b)});
    const Rgb white = Mul(kXyzOf709, Rgb{1, 1, 1});
    auto f = [](double t) { return t > 216.0 / 24389 ? std::cbrt(t) : (24389.0 / 27 * t + 16) / 116; };
    const double fx = f(xyz.r / white.r), fy = f(xyz.g / white.g), fz = f(xyz.b / white.b);
    return {116 * fy - 16, 500 * (fx - fy), 200 * (fy - fz)};
}

double DeltaE(const Rgb& a, const Rgb& b)
{
    const Lab x = ToLab(a), y = ToLab(b);
    return std::sqrt((x.l - y.l) * (x.l - y.l) + (x.a - y.a) * (x.a - y.a) + (x.b - y.b) * (x.b - y.b));
}

// SMPTE ST 2084, in cd/m2.
constexpr double kM1 = 2610.0 / 16384, kM2 = 2523.0 / 32, kC1 = 3424.0 / 4096, kC2 = 2413.0 / 128, kC3 = 2392.0 / 128;

double PqEncode(double nits)
{
    const double y = std::pow(std::clamp(nits / 10000.0, 0.0, 1.0), kM1);
    return std::pow((kC1 + kC2 * y) / (1 + kC3 * y), kM2);
}

double PqDecode(double e)
{
    const double p = std::pow(std::clamp(e, 0.0, 1.0), 1 / kM2);
    return 10000.0 * std::pow(std::max(p - kC1, 0.0) / (kC2 - kC3 * p), 1 / kM1);
}

// ARIB STD-B67 (BT.2100 HLG), scene light 0..1.
constexpr double kHlgA = 0.17883277, kHlgB = 1 - 4 * kHlgA;
const double kHlgC = 0.5 - kHlgA * std::log(4 * kHlgA);

double HlgOetf(double e)
{
    return e <= 1.0 / 12 ? std::sqrt(3 * e) : kHlgA * std::log(12 * e - kHlgB) + kHlgC;
}

double HlgInverseOetf(double v)
{
    return v <= 0.5 ? v * v / 3 : (std::exp((v - kHlgC) / kHlgA) + kHlgB) / 12;
}

// The display the HLG signal is shown on before tone mapping, its system
// gamma (BT.2100 for 1000 cd/m2), and the SDR display's white, which is
// HDR's reference white (BT.2408).
constexpr double kHlgDisplayNits = 1000, kHlgGamma = 1.2, kSdrWhite = 203;

// BT.2390's EETF on PQ code `e` for a source of `peak` cd/m2 shown on a
// display of kSdrWhite, black at 0: the display light in cd/m2.
double Eetf(double e, double peak)
{
    const double top = PqEncode(peak), bottom = PqEncode(0);
    const double e1 = std::clamp((e - bottom) / (top - bottom), 0.0, 1.0);
    const double maxLum = (PqEncode(kSdrWhite) - bottom) / (top - bottom);
    const double ks = 1.5 * maxLum - 0.5;
    double e2 = e1;
    if (maxLum < 1 && e1 >= ks) {
        const double t = (e1 - ks) / (1 - ks), t2 = t * t, t3 = t2 * t;
        e2 = (2 * t3 - 3 * t2 + 1) * ks + (t3 - 2 * t2 + t) * (1 - ks) + (-2 * t3 + 3 * t2) * maxLum;
    }
    return PqDecode(e2 * (top - bottom) + bottom);
}

// What an SDR display (BT.709 primaries, BT.1886 with zero black) should
// get for BT.2020 display light in cd/m2, tone-mapped each channel alike:
// 0..1 codes.
Rgb ToSdr(const Rgb& nits, double peak)
{
    const Rgb mapped{Eetf(PqEncode(nits.r), peak) / kSdrWhite, Eetf(PqEncode(nits.g), peak) / kSdrWhite,
                     Eetf(PqEncode(nits.b), peak) / kSdrWhite};
    const Rgb l = Mul(k2020To709, mapped);
    auto code = [](double v) { return std::pow(std::clamp(v, 0.0, 1.0), 1 / 2.4); };
    return {code(l.r), code(l.g), code(l.b)};
}

// BT.2100 HLG on a display of kHlgDisplayNits: the display light of a
// coded signal.
Rgb HlgDisplayNits(const Rgb& coded)
{
    const Rgb e{HlgInverseOetf(coded.r), HlgInverseOetf(coded.g), HlgInverseOetf(coded.b)};
    const double ys = 0.2627 * e.r + 0.6780 * e.g + 0.0593 * e.b;
    const double gain = kHlgDisplayNits * (ys > 0 ? std::pow(ys, kHlgGamma - 1) : 0);
    return {gain * e.r, gain * e.g, gain * e.b};
}

// ---------------------------------------------------------------- pictures

// A float RGB picture, 0..1 coded.
struct Picture {
    int w = 0, h = 0;
    std::vector<float> r, g, b;
    Rgb At(int x, int y) const
    {
        const std::size_t i = static_cast<std::size_t>(y) * w + x;
        return {r[i], g[i], b[i]};
    }
};

bool ReadF32(const char* path, int w, int h, Picture& p)
{
    std::ifstream in(path, std::ios::binary);
    const std::size_t n = static_cast<std::size_t>(w) * h;
    p.w = w, p.h = h;
    p.r.resize(n), p.g.resize(n), p.b.resize(n);
    for (std::vector<float>* plane : {&p.g, &p.b, &p.r})
        if (!in.read(reinterpret_cast<char*>(plane->data()), static_cast<std::streamsize>(n * sizeof(float)))) return false;
    return true;
}

// The 8-bit picture drawn, as 0..1.
Picture FromImage(const QImage& source)
{
    const QImage image = source.convertToFormat(QImage::Format_RGB32);
    Picture p;
    p.w = image.width(), p.h = image.height();
    const std::size_t n = static_cast<std::size_t>(p.w) * p.h;
    p.r.resize(n), p.g.resize(n), p.b.resize(n);
    for (int y = 0; y < p.h; ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < p.w; ++x) {
            const std::size_t i = static_cast<std::size_t>(y) * p.w + x;
            p.r[i] = qRed(line[x]) / 255.0f, p.g[i] = qGreen(line[x]) / 255.0f, p.b[i] = qBlue(line[x]) / 255.0f;
        }
    }
    return p;
}

int Level(double v)
{
    return static_cast<int>(std::lround(std::clamp(v, 0.0, 1.0) * 255));
}

Rgb Clamped(const Rgb& c)
{
    return {std::clamp(c.r, 0.0, 1.0), std::clamp(c.g, 0.0, 1.0), std::clamp(c.b, 0.0, 1.0)};
}

// ---------------------------------------------------------------- charts

// Y'CbCr of a given matrix, range and depth, 4:2:0 planes, written raw.
struct Coding {
    double kr = 0.2126, kb = 0.0722;
    bool full = false;
    int bits = 8;
};

Coding MatrixOf(const std::string& name)
{
    if (name == "601") return {0.299, 0.114};
    if (name == "2020") return {0.2627, 0.0593};
    return {};
}

struct YuvPicture {
    int w, h;
    Coding coding;
    std::vector<double> y, cb, cr;  // full resolution, Y 0..1 and C -0.5..0.5, before subsampling

    YuvPicture(int width, int height, Coding c)
        : w(width), h(height), coding(c), y(static_cast<std::size_t>(w) * h), cb(y.size()), cr(y.size())
    {
    }
    void Set(int x, int yy, const Rgb& c)
    {
        const std::size_t i = static_cast<std::size_t>(yy) * w + x;
        const double luma = coding.kr * c.r + (1 - coding.kr - coding.kb) * c.g + coding.kb * c.b;
        y[i] = luma;
        cb[i] = (c.b - luma) / (2 * (1 - coding.kb));
        cr[i] = (c.r - luma) / (2 * (1 - coding.kr));
    }
    int LumaCode(double v) const
    {
        const double scale = (1 << coding.bits) - 1;
        const double code = coding.full ? v * scale : (16 + 219 * v) * (1 << (coding.bits - 8));
        return static_cast<int>(std::clamp(std::lround(code), 0L, static_cast<long>(scale)));
    }
    int ChromaCode(double v) const
    {
        const double scale = (1 << coding.bits) - 1;
        const double code = coding.full ? v * scale + (1 << (coding.bits - 1)) : (128 + 224 * v) * (1 << (coding.bits - 8));
        return static_cast<int>(std::clamp(std::lround(code), 0L, static_cast<long>(scale)));
    }
    // Chroma sited as MPEG-2 and after site it (left: with the even
    // columns, between the two rows), by the usual [1 2 1] and [1 1] taps.
    bool Write(const char* path) const
    {
        std::vector<int> codes;
        codes.reserve(y.size() * 3 / 2);
        for (double v : y) codes.push_back(LumaCode(v));
        for (const std::vector<double>* plane : {&cb, &cr})
            for (int cy = 0; cy < h / 2; ++cy)
                for (int cx = 0; cx < w / 2; ++cx) {
                    auto at = [&](int x, int row) { return (*plane)[static_cast<std::size_t>(row) * w + std::clamp(x, 0, w - 1)]; };
                    double sum = 0;
                    for (int row : {2 * cy, 2 * cy + 1})
                        sum += 0.25 * at(2 * cx - 1, row) + 0.5 * at(2 * cx, row) + 0.25 * at(2 * cx + 1, row);
                    codes.push_back(ChromaCode(sum / 2));
                }
        std::ofstream out(path, std::ios::binary);
        for (int c : codes) {
            if (coding.bits == 8) {
                out.put(static_cast<char>(c));
            } else {
                out.put(static_cast<char>(c & 0xff));
                out.put(static_cast<char>(c >> 8));
            }
        }
        return static_cast<bool>(out);
    }
};

struct Patch {
    int x0, y0, x1, y1;
    Rgb colour;         // SDR: coded in the chart's own primaries; HDR: display light of BT.2020 in cd/m2
    std::string name;
};

// Tiled on even lines and columns, so that each patch's chroma is its own.
std::vector<Patch> Grid(int w, int top, int bottom, int columns, int rows)
{
    std::vector<Patch> grid;
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < columns; ++c)
            grid.push_back({c * w / columns & ~1, (top + r * (bottom - top) / rows) & ~1,
                            c + 1 == columns ? w : ((c + 1) * w / columns & ~1),
                            r + 1 == rows ? bottom : ((top + (r + 1) * (bottom - top) / rows) & ~1), {}, {}});
    return grid;
}

std::vector<Patch> SdrPatches(int w, int h)
{
    const std::vector<std::pair<const char*, Rgb>> colours = {
        {"red", {1, 0, 0}}, {"green", {0, 1, 0}}, {"blue", {0, 0, 1}}, {"cyan", {0, 1, 1}},
        {"magenta", {1, 0, 1}}, {"yellow", {1, 1, 0}}, {"red75", {.75, 0, 0}}, {"green75", {0, .75, 0}},
        {"blue75", {0, 0, .75}}, {"cyan75", {0, .75, .75}}, {"magenta75", {.75, 0, .75}}, {"yellow75", {.75, .75, 0}},
        {"black", {0, 0, 0}}, {"grey10", {.1, .1, .1}}, {"grey25", {.25, .25, .25}}, {"grey50", {.5, .5, .5}},
        {"grey75", {.75, .75, .75}}, {"white", {1, 1, 1}}, {"skin", {.83, .6, .5}}, {"sky", {.35, .5, .75}},
        {"foliage", {.35, .45, .25}}, {"orange", {1, .5, 0}}, {"purple", {.5, 0, .5}}, {"darkred", {.3, .05, .05}}};
    std::vector<Patch> grid = Grid(w, 0, h, 6, 4);
    for (std::size_t i = 0; i < grid.size(); ++i) grid[i].name = colours[i].first, grid[i].colour = colours[i].second;
    return grid;
}

// Grey steps from 0.1 to 1000 cd/m2 over the top half, colours of 100 to
// 203 cd/m2 below, some beyond BT.709's gamut.
constexpr int kHdrGreys = 14;

std::vector<Patch> HdrPatches(int w, int h)
{
    const double greys[kHdrGreys] = {0.1, 0.2, 0.5, 1, 2, 5, 10, 20, 50, 100, 200, 400, 700, 1000};
    std::vector<Patch> patches = Grid(w, 0, h / 2, kHdrGreys, 1);
    for (int i = 0; i < kHdrGreys; ++i) {
        patches[i].colour = {greys[i], greys[i], greys[i]};
        char name[32];
        std::snprintf(name, sizeof name, "grey %g nits", greys[i]);
        patches[i].name = name;
    }
    const std::vector<std::pair<const char*, Rgb>> colours = {
        {"709 red 100", Mul(k709To2020, {100, 0, 0})}, {"709 green 100", Mul(k709To2020, {0, 100, 0})},
        {"709 blue 100", Mul(k709To2020, {0, 0, 100})}, {"709 yellow 200", Mul(k709To2020, {200, 200, 0})},
        {"2020 red 100", {100, 0, 0}}, {"2020 green 100", {0, 100, 0}},
        {"709 skin 100", Mul(k709To2020, {60, 40, 30})}, {"white 203", {203, 203, 203}}};
    std::vector<Patch> below = Grid(w, h / 2, h, static_cast<int>(colours.size()), 1);
    for (std::size_t i = 0; i < below.size(); ++i) {
        below[i].colour = colours[i].second;
        below[i].name = colours[i].first;
        patches.push_back(below[i]);
    }
    return patches;
}

Rgb PqCoded(const Rgb& nits)
{
    return {PqEncode(nits.r), PqEncode(nits.g), PqEncode(nits.b)};
}

// The HLG signal that a 1000 cd/m2 display shows as `nits`.
Rgb HlgCoded(const Rgb& nits)
{
    const double yd = 0.2627 * nits.r + 0.6780 * nits.g + 0.0593 * nits.b;
    const double ys = std::pow(yd / kHlgDisplayNits, 1 / kHlgGamma);
    const double gain = kHlgDisplayNits * std::pow(ys, kHlgGamma - 1);
    return {HlgOetf(std::min(nits.r / gain, 1.0)), HlgOetf(std::min(nits.g / gain, 1.0)),
            HlgOetf(std::min(nits.b / gain, 1.0))};
}

// The dark ramp's columns per 10-bit code.
constexpr int kRampCodeWidth = 8;

// The red-on-blue chart, anti-aliased: the share of red of each pixel.
constexpr int kEdgesW = 1280, kEdgesH = 720;
constexpr double kDiamondX = 300, kDiamondY = 360, kDiamondR = 240;

double RedShare(int px, int py)
{
    int inside = 0;
    for (int sy = 0; sy < 4; ++sy)
        for (int sx = 0; sx < 4; ++sx) {
            const double x = px + (sx + 0.5) / 4, y = py + (sy + 0.5) / 4;
            bool red = std::abs(x - kDiamondX) + std::abs(y - kDiamondY) <= kDiamondR;
            red = red || std::hypot(x - 940, y - 200) <= 150;
            if (y >= 420 && y < 700) {
                // Bars 1, 2, 3, 4, 6 and 8 wide, upright then lying.
                static const int widths[] = {1, 2, 3, 4, 6, 8};
                if (x >= 640 && x < 960) {
                    const int i = static_cast<int>((x - 640) / (320.0 / 6));
                    const double local = x - 640 - i * 320.0 / 6;
                    red = red || (local >= 20 && local < 20 + widths[i]);
                } else if (x >= 980 && x < 1260) {
                    const int i = static_cast<int>((y - 420) / (280.0 / 6));
                    const double local = y - 420 - i * 280.0 / 6;
                    red = red || (local >= 20 && local < 20 + widths[i]);
                }
            }
            inside += red;
        }
    return inside / 16.0;
}

// The fine 640x360 pattern: a zone plate, line gratings, checkerboards,
// diagonals and coloured stripes.
Rgb FineAt(int x, int y)
{
    auto grey = [](double v) { return Rgb{v, v, v}; };
    if (x < 320) {
        const double r2 = (x + 0.5 - 160) * (x + 0.5 - 160) + (y + 0.5 - 180) * (y + 0.5 - 180);
        if (r2 > 160.0 * 160) return grey(0.5);
        return grey(0.5 + 0.5 * std::cos(M_PI / 2 / 160 * r2));
    }
    if (y < 180) {
        static const int periods[] = {2, 3, 4, 6};
        const int period = periods[(x - 320) / 80];
        return grey((x % period) < period / 2.0 ? 0.9 : 0.1);
    }
    if (x < 400) return grey(((x + y) & 1) ? 0.9 : 0.1);
    if (x < 480) return grey(((x / 2 + y / 2) & 1) ? 0.9 : 0.1);
    if (x < 560) return grey(((x + y) % 4) < 2 ? 0.9 : 0.1);
    return (y / 2) & 1 ? Rgb{0.9, 0.1, 0.1} : Rgb{0.1, 0.8, 0.8};
}

int Chart(int argc, char** argv)
{
    const std::string kind = argv[2];
    const char* out = argv[argc - 1];
    if (kind == "patches" && argc == 9) {
        Coding c = MatrixOf(argv[5]);
        c.full = std::string(argv[6]) == "full";
        c.bits = std::atoi(argv[7]);
        YuvPicture p(std::atoi(argv[3]), std::atoi(argv[4]), c);
        for (const Patch& patch : SdrPatches(p.w, p.h))
            for (int y = patch.y0; y < patch.y1; ++y)
                for (int x = patch.x0; x < patch.x1; ++x) p.Set(x, y, patch.colour);
        return p.Write(out) ? 0 : 1;
    }
    if ((kind == "pq" || kind == "hlg") && argc == 6) {
        Coding c = MatrixOf("2020");
        c.bits = 10;
        YuvPicture p(std::atoi(argv[3]), std::atoi(argv[4]), c);
        for (const Patch& patch : HdrPatches(p.w, p.h)) {
            const Rgb coded = kind == "pq" ? PqCoded(patch.colour) : HlgCoded(patch.colour);
            for (int y = patch.y0; y < patch.y1; ++y)
                for (int x = patch.x0; x < patch.x1; ++x) p.Set(x, y, coded);
        }
        return p.Write(out) ? 0 : 1;
    }
    if (kind == "darkramp") {
        // 10-bit codes 64..303, one every 8 columns, neutral chroma: each
        // 8-bit level spans three or four of them.
        Coding c;
        c.bits = 10;
        YuvPicture p(1920, 1080, c);
        for (int y = 0; y < p.h; ++y)
            for (int x = 0; x < p.w; ++x) {
                const int code = 64 + x / kRampCodeWidth;
                const double v = (code - 64) / 876.0;
                p.Set(x, y, {v, v, v});
            }
        return p.Write(out) ? 0 : 1;
    }
    if (kind == "edges") {
        YuvPicture p(kEdgesW, kEdgesH, Coding{});
        for (int y = 0; y < p.h; ++y)
            for (int x = 0; x < p.w; ++x) {
                const double a = RedShare(x, y);
                p.Set(x, y, {a, 0, 1 - a});
            }
        return p.Write(out) ? 0 : 1;
    }
    if (kind == "fine") {
        YuvPicture p(640, 360, Coding{});
        for (int y = 0; y < p.h; ++y)
            for (int x = 0; x < p.w; ++x) p.Set(x, y, FineAt(x, y));
        return p.Write(out) ? 0 : 1;
    }
    if (kind == "zoneplate") {
        // Up to half the 4K sampling rate in the corners; everything beyond
        // a quarter of it has to go when shown at 1080p.
        YuvPicture p(3840, 2160, Coding{});
        const double rMax = std::hypot(1920.0, 1080.0);
        for (int y = 0; y < p.h; ++y)
            for (int x = 0; x < p.w; ++x) {
                const double dx = x + 0.5 - 1920, dy = y + 0.5 - 1080;
                const double v = 0.5 + 0.5 * std::cos(M_PI / 2 / rMax * (dx * dx + dy * dy));
                p.Set(x, y, {v, v, v});
            }
        return p.Write(out) ? 0 : 1;
    }
    std::fprintf(stderr, "chart: unknown kind or arguments\n");
    return 2;
}

// ---------------------------------------------------------------- the table

void Row(const std::string& name, const char* measure, const std::string& value, const char* target, bool ok)
{
    std::printf("%-26s %-34s %-24s %-16s %s\n", name.c_str(), measure, value.c_str(), target, ok ? "ok" : "MISS");
}

void Row(const std::string& name, const char* measure, const std::string& value)
{
    std::printf("%-26s %-34s %-24s %-16s %s\n", name.c_str(), measure, value.c_str(), "-", "");
}

std::string Format(const char* format, double a, double b = 0, double c = 0)
{
    char text[96];
    std::snprintf(text, sizeof text, format, a, b, c);
    return text;
}

// ---------------------------------------------------------------- measures

// Measured a few pixels inside each patch, clear of the chroma that
// neighbouring patches share at their borders.
constexpr int kInset = 4;

struct Errors {
    double sum = 0, max = 0;
    long count = 0;
    void Add(double e)
    {
        sum += e;
        max = std::max(max, e);
        ++count;
    }
    double Mean() const { return count ? sum / count : 0; }
};

// The 8-bit code nearest to a reference colour: the best any converter
// without dither can draw, whose error is the floor of a per-pixel figure.
Rgb Rounded(const Rgb& c)
{
    return {Level(c.r) / 255.0, Level(c.g) / 255.0, Level(c.b) / 255.0};
}

// Patches are judged by the mean colour of their interiors: the dither
// spreads each colour over neighbouring codes on purpose, and the eye
// averages it. Per pixel, beside the floor that plain rounding gives.
void PatchRows(const std::string& name, const Errors& patches, const Errors& pixels, const Errors& floor,
               const char* target, bool ok)
{
    Row(name, "dE76 patch interiors mean/max", Format("%.2f / %.2f", patches.Mean(), patches.max), target, ok);
    Row(name, "  per pixel mean/max (rounding)",
        Format("%.2f / %.2f (%.2f / ", pixels.Mean(), pixels.max, floor.Mean()) + Format("%.2f)", floor.max));
}

int MeasurePatches(const std::string& name, const Picture& shot, const Picture& ref)
{
    Errors pixels, patches, floor;
    for (const Patch& patch : SdrPatches(ref.w, ref.h)) {
        Rgb shotSum, refSum;
        long n = 0;
        double worst = 0;
        for (int y = patch.y0 + kInset; y < patch.y1 - kInset; ++y)
            for (int x = patch.x0 + kInset; x < patch.x1 - kInset; ++x) {
                const Rgb s = shot.At(x, y), r = Clamped(ref.At(x, y));
                pixels.Add(DeltaE(s, r));
                worst = std::max(worst, DeltaE(s, r));
                floor.Add(DeltaE(Rounded(r), r));
                shotSum.r += s.r, shotSum.g += s.g, shotSum.b += s.b;
                refSum.r += r.r, refSum.g += r.g, refSum.b += r.b;
                ++n;
            }
        const Rgb s{shotSum.r / n, shotSum.g / n, shotSum.b / n}, r{refSum.r / n, refSum.g / n, refSum.b / n};
        patches.Add(DeltaE(s, r));
        std::fprintf(stderr, "%s %-10s drawn %6.2f %6.2f %6.2f  reference %6.2f %6.2f %6.2f  dE %.2f, worst pixel %.2f\n",
                     name.c_str(), patch.name.c_str(), s.r * 255, s.g * 255, s.b * 255, r.r * 255, r.g * 255,
                     r.b * 255, DeltaE(s, r), worst);
    }
    PatchRows(name, patches, pixels, floor, "<=0.5 / <=1.5", patches.Mean() <= 0.5 && patches.max <= 1.5);
    return 0;
}

int MeasureHdr(const std::string& name, bool hlg, double peak, const Picture& shot, const Picture& coded)
{
    Errors pixels, means, floor;
    const std::vector<Patch> patches = HdrPatches(coded.w, coded.h);
    double darkestShot = 0, darkestRef = 0;
    for (std::size_t i = 0; i < patches.size(); ++i) {
        const Patch& patch = patches[i];
        Rgb shotSum, refSum;
        long n = 0;
        for (int y = patch.y0 + kInset; y < patch.y1 - kInset; ++y)
            for (int x = patch.x0 + kInset; x < patch.x1 - kInset; ++x) {
                const Rgb c = coded.At(x, y);
                const Rgb light = hlg ? HlgDisplayNits(c) : Rgb{PqDecode(c.r), PqDecode(c.g), PqDecode(c.b)};
                const Rgb r = ToSdr(light, peak);
                const Rgb s = shot.At(x, y);
                pixels.Add(DeltaE(s, r));
                floor.Add(DeltaE(Rounded(r), r));
                shotSum.r += s.r, shotSum.g += s.g, shotSum.b += s.b;
                refSum.r += r.r, refSum.g += r.g, refSum.b += r.b;
                ++n;
            }
        const Rgb s{shotSum.r / n, shotSum.g / n, shotSum.b / n}, r{refSum.r / n, refSum.g / n, refSum.b / n};
        means.Add(DeltaE(s, r));
        if (i == 0) {
            darkestShot = (s.r + s.g + s.b) / 3 * 255;
            darkestRef = (r.r + r.g + r.b) / 3 * 255;
        }
        std::fprintf(stderr, "%s %-16s drawn %6.2f %6.2f %6.2f  reference %6.2f %6.2f %6.2f  dE %.2f\n", name.c_str(),
                     patch.name.c_str(), s.r * 255, s.g * 255, s.b * 255, r.r * 255, r.g * 255, r.b * 255,
                     DeltaE(s, r));
    }
    PatchRows(name, means, pixels, floor, "mean <=5", means.Mean() <= 5);
    Row(name, "black: 0.1 nit patch drawn/ref", Format("%.1f / %.1f (%+.1f)", darkestShot, darkestRef, darkestShot - darkestRef),
        "within 2 levels", std::abs(darkestShot - darkestRef) <= 2);
    return 0;
}

// The ramp's bands as the eye sees them, the dither averaged away: the mean
// level of each code's 8 columns, and the widest run of codes drawn within
// half a code's step (255/876/2 of a level) of the run's first. A faithful
// picture steps with every code; rounding to 8 bits without dither holds a
// level over three or four.

int MeasureDarkRamp(const std::string& name, const Picture& shot, const Picture& ref)
{
    Errors pixels;
    const int codes = shot.w / kRampCodeWidth;
    std::vector<double> drawn(codes), rounded(codes), exact(codes);
    for (int y = kInset; y < shot.h - kInset; ++y)
        for (int x = 0; x < codes * kRampCodeWidth; ++x) {
            const Rgb s = shot.At(x, y), r = Clamped(ref.At(x, y));
            pixels.Add(DeltaE(s, r));
            drawn[x / kRampCodeWidth] += (s.r + s.g + s.b) / 3 * 255;
            rounded[x / kRampCodeWidth] += (Level(r.r) + Level(r.g) + Level(r.b)) / 3.0;
            exact[x / kRampCodeWidth] += (r.r + r.g + r.b) / 3 * 255;
        }
    auto widest = [](const std::vector<double>& levels) {
        std::size_t widest = 0;
        for (std::size_t from = 0, i = 0; i <= levels.size(); ++i)
            if (i == levels.size() || std::abs(levels[i] - levels[from]) >= 255.0 / 876 / 2) {
                widest = std::max(widest, i - from);
                from = i;
            }
        return static_cast<double>(widest * kRampCodeWidth);
    };
    const double n = static_cast<double>(shot.h - 2 * kInset) * kRampCodeWidth;
    double offset = 0;
    for (int i = 0; i < codes; ++i) {
        drawn[i] /= n, rounded[i] /= n, exact[i] /= n;
        offset = std::max(offset, std::abs(drawn[i] - exact[i]));
    }
    Row(name, "dE76 per pixel mean/max", Format("%.2f / %.2f", pixels.Mean(), pixels.max));
    Row(name, "code's mean level vs ref, worst", Format("%.2f levels", offset));
    const double band = widest(drawn);
    Row(name, "widest band", Format("%.0f px (undithered %.0f)", band, widest(rounded)), "<=8 px", band <= 8);
    return 0;
}

// Where the red (R - B > 0) turns into the blue along row y near x, to a
// fraction of a pixel; NaN when it does not within the window.
double Crossing(const Picture& p, int y, double near, bool redOnLeft)
{
    const int from = std::max(1, static_cast<int>(near) - 6), to = std::min(p.w - 1, static_cast<int>(near) + 7);
    for (int x = from; x < to; ++x) {
        const double a = p.At(x - 1, y).r - p.At(x - 1, y).b, b = p.At(x, y).r - p.At(x, y).b;
        if ((redOnLeft ? a > 0 && b <= 0 : a <= 0 && b > 0)) return x - 1 + 0.5 + a / (a - b);
    }
    return NAN;
}

int MeasureEdges(const std::string& name, const Picture& shot, const Picture& ref)
{
    // The band: pixels within 3 of a change between red and blue.
    const int w = ref.w, h = ref.h;
    std::vector<std::uint8_t> red(static_cast<std::size_t>(w) * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) red[static_cast<std::size_t>(y) * w + x] = RedShare(x, y) >= 0.5;
    Errors band;
    double cbcr = 0;
    auto chroma = [](const Rgb& c, double& cb, double& cr) {
        const double y = 0.2126 * c.r + 0.7152 * c.g + 0.0722 * c.b;
        cb = (c.b - y) / 1.8556 * 224, cr = (c.r - y) / 1.5748 * 224;
    };
    for (int y = 3; y < h - 3; ++y)
        for (int x = 3; x < w - 3; ++x) {
            bool any = false, all = true;
            for (int dy = -3; dy <= 3; ++dy)
                for (int dx = -3; dx <= 3; ++dx) {
                    const bool r = red[static_cast<std::size_t>(y + dy) * w + x + dx];
                    any = any || r;
                    all = all && r;
                }
            if (!any || all) continue;
            const Rgb s = shot.At(x, y), r = Clamped(ref.At(x, y));
            band.Add(DeltaE(s, r));
            double cb1, cr1, cb2, cr2;
            chroma(s, cb1, cr1);
            chroma(r, cb2, cr2);
            cbcr += (std::abs(cb1 - cb2) + std::abs(cr1 - cr2)) / 2;
        }
    // The diamond's sloping edges, row by row: the drawn crossing less the
    // reference's. Chroma made of 2 x 2 blocks moves it in steps of two.
    std::vector<double> offsets;
    for (int y = static_cast<int>(kDiamondY - kDiamondR + 30); y < kDiamondY + kDiamondR - 30; ++y) {
        if (std::abs(y + 0.5 - kDiamondY) < 30) continue;
        const double half = kDiamondR - std::abs(y + 0.5 - kDiamondY);
        for (const bool left : {true, false}) {
            const double near = left ? kDiamondX - half : kDiamondX + half;
            const double s = Crossing(shot, y, near, !left), r = Crossing(ref, y, near, !left);
            if (!std::isnan(s) && !std::isnan(r)) offsets.push_back(s - r);
        }
    }
    double mean = 0, rms = 0;
    for (double o : offsets) mean += o;
    mean /= std::max<std::size_t>(offsets.size(), 1);
    for (double o : offsets) rms += (o - mean) * (o - mean);
    rms = std::sqrt(rms / std::max<std::size_t>(offsets.size(), 1));
    std::fprintf(stderr, "%s: %zu rows of sloping edge measured, offset %.3f px, rms about it %.3f px\n", name.c_str(),
                 offsets.size(), mean, rms);
    Row(name, "dE76 mean in +-3 px edge band", Format("%.2f (max %.2f)", band.Mean(), band.max));
    Row(name, "|Cb|,|Cr| error mean in band", Format("%.2f (8-bit)", cbcr / std::max(band.count, 1L)));
    Row(name, "45 deg edge wobble vs ref (rms)", Format("%.2f px: ", rms) + (rms > 0.25 ? "staircase" : "smooth"),
        "no 2-px staircase", rms <= 0.25 && offsets.size() > 100);
    return 0;
}

int Measure(int argc, char** argv)
{
    const std::string kind = argv[2], name = argv[3];
    const bool hdr = kind == "pq" || kind == "hlg";
    if (argc != (hdr ? 7 : 6)) return 2;
    const QImage image(QString::fromLocal8Bit(argv[hdr ? 5 : 4]));
    if (image.isNull()) {
        Row(name, "capture", "none", "-", false);
        return 1;
    }
    const Picture shot = FromImage(image);
    Picture ref;
    if (!ReadF32(argv[hdr ? 6 : 5], shot.w, shot.h, ref)) {
        Row(name, "reference", "unreadable or not the capture's size", "-", false);
        return 1;
    }
    if (kind == "patches") return MeasurePatches(name, shot, ref);
    if (hdr) return MeasureHdr(name, kind == "hlg", std::atof(argv[4]), shot, ref);
    if (kind == "darkramp") return MeasureDarkRamp(name, shot, ref);
    if (kind == "edges") return MeasureEdges(name, shot, ref);
    return 2;
}

int ToPng(int argc, char** argv)
{
    if (argc != 6) return 2;
    Picture p;
    if (!ReadF32(argv[4], std::atoi(argv[2]), std::atoi(argv[3]), p)) return 1;
    QImage image(p.w, p.h, QImage::Format_RGB32);
    for (int y = 0; y < p.h; ++y)
        for (int x = 0; x < p.w; ++x) {
            const Rgb c = p.At(x, y);
            image.setPixel(x, y, qRgb(Level(c.r), Level(c.g), Level(c.b)));
        }
    return image.save(QString::fromLocal8Bit(argv[5])) ? 0 : 1;
}

// ---------------------------------------------------------------- conversion alone

double ThreadCpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

// The first picture of `movie`, decoded; null when there is none.
media::FramePtr FirstPicture(const char* movie)
{
    AVFormatContext* raw = nullptr;
    if (avformat_open_input(&raw, movie, nullptr, nullptr) < 0) return nullptr;
    media::FormatContextPtr format(raw);
    if (avformat_find_stream_info(format.get(), nullptr) < 0) return nullptr;
    const AVCodec* codec = nullptr;
    const int index = av_find_best_stream(format.get(), AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
    if (index < 0 || !codec) return nullptr;
    media::CodecContextPtr decoder(avcodec_alloc_context3(codec));
    if (!decoder || avcodec_parameters_to_context(decoder.get(), format->streams[index]->codecpar) < 0 ||
        avcodec_open2(decoder.get(), codec, nullptr) < 0)
        return nullptr;
    media::PacketPtr packet(av_packet_alloc());
    media::FramePtr frame(av_frame_alloc());
    while (av_read_frame(format.get(), packet.get()) >= 0) {
        const bool ours = packet->stream_index == index;
        if (ours) avcodec_send_packet(decoder.get(), packet.get());
        av_packet_unref(packet.get());
        if (ours && avcodec_receive_frame(decoder.get(), frame.get()) == 0) return frame;
    }
    avcodec_send_packet(decoder.get(), nullptr);
    if (avcodec_receive_frame(decoder.get(), frame.get()) == 0) return frame;
    return nullptr;
}

int ConvertAlone(int argc, char** argv)
{
    if (argc < 3 || argc > 5) return 2;
    const media::FramePtr frame = FirstPicture(argv[2]);
    if (!frame) {
        std::fprintf(stderr, "convert: no picture in %s\n", argv[2]);
        return 1;
    }
    int w = frame->width, h = frame->height;
    if (argc >= 4 && std::sscanf(argv[3], "%dx%d", &w, &h) != 2) return 2;
    QImage image(w, h, QImage::Format_RGB32);
    const media::PixelBuffer target{image.bits(), static_cast<int>(image.bytesPerLine()), w, h};
    media::ZimgPicture picture;
    // The first conversion makes the graph and tables; a movie pays it once.
    const double build0 = ThreadCpuMs();
    if (!picture.Convert(frame.get(), target, {0, 0, w, h})) {
        std::fprintf(stderr, "convert: zimg took no graph for %s\n", argv[2]);
        return 1;
    }
    const double build = ThreadCpuMs() - build0;
    // The best of several rounds: the least that others sharing the
    // machine added.
    double best = 1e9;
    for (int round = 0; round < 5; ++round) {
        const int n = 20;
        const double t0 = ThreadCpuMs();
        for (int i = 0; i < n; ++i) picture.Convert(frame.get(), target, {0, 0, w, h});
        best = std::min(best, (ThreadCpuMs() - t0) / n);
    }
    std::printf("%s %dx%d -> %dx%d %s: %.2f ms per picture (first %.1f ms)\n", QFileInfo(argv[2]).fileName().toLocal8Bit().constData(),
                frame->width, frame->height, w, h, av_get_pix_fmt_name(static_cast<AVPixelFormat>(frame->format)), best,
                build);
    if (argc == 5 && !image.save(QString::fromLocal8Bit(argv[4]))) return 1;
    return 0;
}

// ---------------------------------------------------------------- the player

void Settle(int ms)
{
    WaitUntil([] { return false; }, ms);
}

double CpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

// Opens the movie, standing on its first picture.
bool OpenStill(app::MoviePlayerApp& player, const QByteArray& movie)
{
    engine::MovieEngine& engine = player.MainFrame()->View().Engine();
    if (!player.OpenDocumentFile(movie)) return false;
    engine.Pause();
    engine.Seek(0, engine::MovieEngine::SeekAndShow);
    return WaitUntil([&] { return engine.GetPlayState() == engine::MovieEngine::Idle; });
}

// What the player draws of the picture: the window's pixels, or in full
// screen the letter box of the full-screen window's.
QImage Drawn(engine::MovieEngine& engine)
{
    if (!engine.IsFullScreen()) return engine.ScreenSnapshot();
    engine::FullScreenWindow* window = engine.FullScreenWnd();
    if (!window) return {};
    const engine::Rect box = engine.ScreenRect();
    const QPoint origin = window->mapToGlobal(QPoint(0, 0));
    return window->Target().Snapshot().copy(box.left - origin.x(), box.top - origin.y(), box.Width(), box.Height());
}

int Capture(int argc, char** argv)
{
    const std::string view = argv[2];
    const QString dir = QString::fromLocal8Bit(argv[3]);
    app::MoviePlayerApp player;
    player.InitInstance({});
    app::CMainFrame* frame = player.MainFrame();
    engine::MovieEngine& engine = frame->View().Engine();
    int failures = 0;
    for (int i = 4; i < argc; ++i) {
        const QByteArray movie = argv[i];
        const QString name = QFileInfo(QString::fromLocal8Bit(movie)).completeBaseName();
        if (!OpenStill(player, movie)) {
            std::printf("%s %s open-failed\n", name.toLocal8Bit().constData(), view.c_str());
            ++failures;
            continue;
        }
        engine::MovieRect movieRect;
        engine.GetMovieRect(movieRect);
        if (view == "window200") frame->Commands().Execute(ID_SIZE_DOUBLE);
        if (view == "full") frame->Commands().Execute(ID_FULL_SCREEN);
        Settle(500);
        engine.RefreshPicture();
        Settle(200);
        const QImage drawn = Drawn(engine);
        const QImage kept = engine.KeptFrame();
        // The screen must show exactly the kept frame: anything else would
        // be a second scaling after the conversion.
        const bool same = !drawn.isNull() && drawn.convertToFormat(QImage::Format_RGB32) == kept.convertToFormat(QImage::Format_RGB32);
        drawn.save(dir + QStringLiteral("/") + name + QStringLiteral("-") + QString::fromStdString(view) +
                   QStringLiteral(".png"));
        // A redraw of the picture standing: the decoded picture converted
        // at the drawn size and presented, as a paused movie redraws it.
        engine.RefreshPicture();
        const int redraws = 20;
        QElapsedTimer wall;
        wall.start();
        const double cpu0 = CpuMs();
        for (int n = 0; n < redraws; ++n) engine.RefreshPicture();
        const double cpu = (CpuMs() - cpu0) / redraws;
        const double ms = static_cast<double>(wall.nsecsElapsed()) / 1e6 / redraws;
        std::printf("%s %s %dx%d movie %dx%d cpu %.2f wall %.2f screen-equals-kept %s\n",
                    name.toLocal8Bit().constData(), view.c_str(), drawn.width(), drawn.height(), movieRect.Width(),
                    movieRect.Height(), cpu, ms, same ? "yes" : "no");
        std::fflush(stdout);
        if (view == "full") frame->Commands().Execute(ID_FULL_SCREEN);
        if (view == "window200") frame->Commands().Execute(ID_SIZE_NORMAL);
        Settle(200);
    }
    return failures ? 1 : 0;
}

// Combing on the band the moving box crosses: the mean second difference
// of luma across lines, away from the band's still horizontal edges.
double Combing(const QImage& source)
{
    const QImage image = source.convertToFormat(QImage::Format_RGB32);
    const int h = image.height(), w = image.width();
    const int middle = h / 4, box = h / 8;
    auto luma = [&](int x, int y) {
        const QRgb p = reinterpret_cast<const QRgb*>(image.constScanLine(y))[x];
        return 0.2126 * qRed(p) + 0.7152 * qGreen(p) + 0.0722 * qBlue(p);
    };
    double sum = 0;
    long n = 0;
    for (int y = middle - box / 2 + 5; y < middle + box / 2 - 5; ++y) {
        if (std::abs(y - middle) < 5) continue;
        for (int x = 0; x < w; ++x, ++n) sum += std::abs(2 * luma(x, y) - luma(x, y - 1) - luma(x, y + 1));
    }
    return n ? sum / n : 0;
}

int Interlaced(int argc, char** argv)
{
    if (argc != 5) return 2;
    const std::string mode = argv[2];
    const QString dir = QString::fromLocal8Bit(argv[3]);
    app::MoviePlayerApp player;
    player.InitInstance({});
    // The mode is the settings' [MCI] Deinterlace, read as the program reads
    // it when its window is made; `mode` only names the captures.
    engine::MovieEngine& engine = player.MainFrame()->View().Engine();
    if (!OpenStill(player, argv[4])) return 1;
    double comb = 0;
    int right = 0, count = 0;
    std::string read;
    for (const int target : {7, 23, 38, 61, 88}) {
        engine.Seek(target, engine::MovieEngine::SeekAndShow);
        WaitUntil([&] { return engine.GetPlayState() == engine::MovieEngine::Idle; });
        Settle(100);
        const QImage drawn = engine.ScreenSnapshot();
        const int number = ReadFrameNumber(drawn);
        comb += Combing(drawn);
        ++count;
        right += number == target && engine.GetCurrentFrame() == target;
        read += std::to_string(target) + "->" + std::to_string(number) + "/" + std::to_string(engine.GetCurrentFrame()) + " ";
        if (target == 23)
            drawn.save(dir + QStringLiteral("/interlaced-") + QString::fromStdString(mode) + QStringLiteral(".png"));
    }
    std::printf("%s comb %.2f numbers %d/%d seeks %s\n", mode.c_str(), comb / count, right, count, read.c_str());
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: see the head of picture_bench.cpp\n");
        return 2;
    }
    const std::string what = argv[1];
    if (what == "chart") return Chart(argc, argv);
    if (what == "measure") return Measure(argc, argv);
    if (what == "png") return ToPng(argc, argv);
    if (what == "convert") return ConvertAlone(argc, argv);
    int qtArgc = 1;
    QApplication application(qtArgc, argv);
    if (what == "capture" && argc >= 5) return Capture(argc, argv);
    if (what == "interlaced") return Interlaced(argc, argv);
    std::fprintf(stderr, "usage: see the head of picture_bench.cpp\n");
    return 2;
}
