#include "engine/media/picture/ColourTable.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <mutex>
#include <vector>

#include "engine/media/picture/PictureLines.h"
#include "engine/media/picture/ToneMap.h"

namespace media {
namespace {

constexpr unsigned kNodes = kTableNodes;
constexpr std::size_t kNodeCount = std::size_t{kNodes} * kNodes * kNodes;

struct GraphFree {
    void operator()(zimg_filter_graph* g) const { zimg_filter_graph_free(g); }
};
using GraphPtr = std::unique_ptr<zimg_filter_graph, GraphFree>;

struct FreeAligned {
    void operator()(void* p) const { std::free(p); }
};
using AlignedPtr = std::unique_ptr<std::uint8_t, FreeAligned>;

// zimg reads and writes its buffers with SIMD: 64-byte bases and rows.
constexpr std::size_t kAlign = 64;

std::size_t AlignUp(std::size_t n)
{
    return (n + kAlign - 1) / kAlign * kAlign;
}

// Whole planes in memory, in and out of one zimg conversion.
struct Planes {
    AlignedPtr memory;
    std::size_t stride = 0;
    std::size_t height = 0;
    std::uint8_t* Plane(int p) const { return memory.get() + static_cast<std::size_t>(p) * stride * height; }
    template <typename T>
    T* Row(int p, std::size_t y) const
    {
        return reinterpret_cast<T*>(Plane(p) + y * stride);
    }
};

Planes MakePlanes(std::size_t rowBytes, std::size_t height)
{
    Planes planes;
    planes.stride = AlignUp(rowBytes);
    planes.height = height;
    planes.memory.reset(static_cast<std::uint8_t*>(std::aligned_alloc(kAlign, planes.stride * height * 3)));
    return planes;
}

bool Run(const zimg_image_format& in, const Planes& source, const zimg_image_format& out, const Planes& result)
{
    zimg_graph_builder_params params;
    zimg_graph_builder_params_default(&params, ZIMG_API_VERSION);
    // Made once per movie: exact transfer functions cost nothing here.
    params.allow_approximate_gamma = 0;
    const GraphPtr graph(zimg_filter_graph_build(&in, &out, &params));
    std::size_t tmpSize = 0;
    if (!graph || zimg_filter_graph_get_tmp_size(graph.get(), &tmpSize)) return false;
    const AlignedPtr tmp(static_cast<std::uint8_t*>(std::aligned_alloc(kAlign, AlignUp(std::max<std::size_t>(tmpSize, 1)))));
    if (!tmp || !source.memory || !result.memory) return false;
    zimg_image_buffer_const src{};
    zimg_image_buffer dst{};
    src.version = dst.version = ZIMG_API_VERSION;
    for (int p = 0; p < 3; ++p) {
        src.plane[p] = {source.Plane(p), static_cast<std::ptrdiff_t>(source.stride), ZIMG_BUFFER_MAX};
        dst.plane[p] = {result.Plane(p), static_cast<std::ptrdiff_t>(result.stride), ZIMG_BUFFER_MAX};
    }
    return zimg_filter_graph_process(graph.get(), &src, &dst, tmp.get(), nullptr, nullptr, nullptr, nullptr) == 0;
}

zimg_image_format FloatRgb(const zimg_image_format& like)
{
    zimg_image_format f = like;
    f.color_family = ZIMG_COLOR_RGB;
    f.matrix_coefficients = ZIMG_MATRIX_RGB;
    f.pixel_type = ZIMG_PIXEL_FLOAT;
    f.depth = 32;
    f.pixel_range = ZIMG_RANGE_FULL;
    return f;
}

using Matrix = std::array<std::array<double, 3>, 3>;

// Linear light of `primaries` into BT.709's, as zimg converts it (its
// white point adaptation included): the images of the three unit colours.
bool ToBt709(zimg_color_primaries_e primaries, Matrix& m)
{
    constexpr unsigned kWidth = 3;
    zimg_image_format in;
    zimg_image_format_default(&in, ZIMG_API_VERSION);
    in.width = kWidth;
    in.height = 1;
    in = FloatRgb(in);
    in.transfer_characteristics = ZIMG_TRANSFER_LINEAR;
    in.color_primaries = primaries;
    zimg_image_format out = in;
    out.color_primaries = ZIMG_PRIMARIES_BT709;
    const Planes source = MakePlanes(kWidth * sizeof(float), 1), result = MakePlanes(kWidth * sizeof(float), 1);
    if (!source.memory) return false;
    for (int p = 0; p < 3; ++p)
        for (unsigned x = 0; x < kWidth; ++x) source.Row<float>(p, 0)[x] = p == static_cast<int>(x) ? 1.0f : 0.0f;
    if (!Run(in, source, out, result)) return false;
    for (int row = 0; row < 3; ++row)
        for (unsigned column = 0; column < kWidth; ++column) m[row][column] = result.Row<float>(row, 0)[column];
    return true;
}

// A smooth function of u in [0, 1], sampled finely enough that straight
// lines between the samples are exact to far below a node's step: the
// table's nodes take it at a fraction of what pow() costs per node, and a
// movie's first picture waits for them.
class Sampled {
public:
    static constexpr std::size_t kSamples = 4096;

    template <typename Function>
    explicit Sampled(Function f) : m_values(kSamples + 1)
    {
        for (std::size_t i = 0; i <= kSamples; ++i) m_values[i] = f(static_cast<double>(i) / kSamples);
    }

    double operator()(double u) const
    {
        const double at = std::clamp(u, 0.0, 1.0) * kSamples;
        const std::size_t i = std::min(static_cast<std::size_t>(at), kSamples - 1);
        return m_values[i] + (at - static_cast<double>(i)) * (m_values[i + 1] - m_values[i]);
    }

private:
    std::vector<double> m_values;  // kSamples + 1
};

// The brightest light a node holds (its code 1.25): brighter is clipped.
const double kMostLight = std::pow(1.25, kSdrGamma);

double FourthRoot(double v)
{
    return std::sqrt(std::sqrt(v));
}

// The display's code for BT.709 light (1 its white): gamma 2.4 as zimg
// makes it, and below black its mirror image, so that the table runs
// smoothly through black and the clip comes after the interpolation.
// Sampled by the fourth root of the light, in which it is smooth down to
// black.
class DisplayCode {
public:
    DisplayCode() : m_code([](double u) { return std::pow(kMostLight * std::pow(u, 4), 1.0 / kSdrGamma); }) {}

    double operator()(double light) const
    {
        const double code = m_code(FourthRoot(std::abs(light) / kMostLight));
        return light < 0 ? -code : code;
    }

    std::uint32_t Node(double r, double g, double b) const { return TableNode((*this)(r), (*this)(g), (*this)(b)); }

private:
    Sampled m_code;
};

// R'G'B' beyond this (no picture's) count as this.
constexpr double kMostCode = 1.5;

double Mirrored(double code, const Sampled& light)
{
    const double magnitude = light(std::abs(code) / kMostCode);
    return code < 0 ? -magnitude : magnitude;
}

// R'G'B' in the picture's own transfer and primaries, as a node: each
// channel's light (HDR's tone mapped, each channel alike in the picture's
// own primaries, so that a bright saturated highlight turns towards white
// rather than clipping to a flat patch), into BT.709, as display codes.
// Below black a channel's light is the mirror image of its light above,
// as the display code's is: the table then runs smoothly through black
// on both sides (zimg's own conversion stops the light at black), and the
// clip comes after the interpolation.
class Chain {
public:
    Chain(const PictureColours& colours, const Matrix& toBt709)
        : m_kind(colours.format.transfer_characteristics == ZIMG_TRANSFER_ARIB_B67 ? Kind::Hlg : Kind::Pq),
          m_toBt709(toBt709),
          // PQ: the tone-mapped light of a code.
          m_pqLight([curve = ToneCurve(colours.peakNits)](double u) { return curve(u * kMostCode); }),
          // HLG: the scene light of a code; the OOTF's gain by the fourth
          // root of the scene's luminance; the tone-mapped light of display
          // light by its eighth root (PQ's range, 10000 cd/m2, as 1).
          m_hlgScene([](double u) { return HlgToScene(u * kMostCode); }),
          m_hlgGain([](double u) { return kHlgDisplayNits * std::pow(std::pow(u, 4), kHlgSystemGamma - 1); }),
          m_hlgLight([curve = ToneCurve(colours.peakNits)](double u) { return curve(NitsToPq(10000 * std::pow(u, 8))); })
    {
        // The picture's luminance from its own primaries: BT.709's luma
        // weights of what each of them is in BT.709.
        constexpr double kLuma709[3] = {0.2126, 0.7152, 0.0722};
        for (int c = 0; c < 3; ++c)
            m_luma[c] = kLuma709[0] * toBt709[0][c] + kLuma709[1] * toBt709[1][c] + kLuma709[2] * toBt709[2][c];
    }

    std::uint32_t operator()(const std::array<double, 3>& coded) const
    {
        std::array<double, 3> light{};
        switch (m_kind) {
        case Kind::Pq:
            for (int c = 0; c < 3; ++c) light[c] = Mirrored(coded[c], m_pqLight);
            break;
        case Kind::Hlg: {
            const std::array<double, 3> scene{Mirrored(coded[0], m_hlgScene), Mirrored(coded[1], m_hlgScene),
                                              Mirrored(coded[2], m_hlgScene)};
            const double ys = m_luma[0] * scene[0] + m_luma[1] * scene[1] + m_luma[2] * scene[2];
            const double gain = m_hlgGain(FourthRoot(std::max(ys, 0.0)));
            for (int c = 0; c < 3; ++c) {
                const double nits = gain * scene[c];
                const double mapped = m_hlgLight(std::sqrt(FourthRoot(std::abs(nits) / 10000)));
                light[c] = nits < 0 ? -mapped : mapped;
            }
            break;
        }
        }
        double out[3];
        for (int row = 0; row < 3; ++row)
            out[row] = m_toBt709[row][0] * light[0] + m_toBt709[row][1] * light[1] + m_toBt709[row][2] * light[2];
        return m_display.Node(out[0], out[1], out[2]);
    }

private:
    enum class Kind { Pq, Hlg };
    Kind m_kind;
    Matrix m_toBt709;
    std::array<double, 3> m_luma{};
    Sampled m_pqLight, m_hlgScene, m_hlgGain, m_hlgLight;
    DisplayCode m_display;
};

}  // namespace

ColourWay WayOf(const PictureColours& colours)
{
    // zimg does not tone map: HDR always takes the table.
    if (colours.hdr) return ColourWay::Table;
    // Our fixed-point matrix is exact for the display's own colours. Every
    // other SDR picture takes zimg's float way: a table of a gamut
    // conversion is levels off on the dark channel of a bright colour at
    // the gamut's edge, and such pictures are rare enough to pay for being
    // exact. Without vectors zimg is also the cheaper.
    if (!LinesAreVectorised()) return ColourWay::Zimg;
    switch (colours.format.matrix_coefficients) {
    // Matrices that are not linear in the samples.
    case ZIMG_MATRIX_BT2020_CL: case ZIMG_MATRIX_CHROMATICITY_DERIVED_CL: case ZIMG_MATRIX_ICTCP:
        return ColourWay::Zimg;
    default:
        break;
    }
    switch (colours.format.transfer_characteristics) {
    case ZIMG_TRANSFER_BT709: case ZIMG_TRANSFER_BT601: case ZIMG_TRANSFER_BT2020_10: case ZIMG_TRANSFER_BT2020_12:
        return colours.format.color_primaries == ZIMG_PRIMARIES_BT709 ? ColourWay::Matrix : ColourWay::Zimg;
    default:
        return ColourWay::Zimg;
    }
}

bool MatrixFor(const PictureColours& colours, LineMatrix& matrix)
{
    // zimg's own matrix, read off as it brings a sample code and the same
    // code one step up in each plane in turn to R'G'B'.
    constexpr unsigned kWidth = 4;
    constexpr double kStep = 16384, kMiddle = 32768;
    zimg_image_format in = LineInput(colours, ColourWay::Matrix, kWidth, 1);
    if (in.color_family == ZIMG_COLOR_GREY) in.color_family = ZIMG_COLOR_YUV;
    const Planes source = MakePlanes(kWidth * sizeof(std::uint16_t), 1), result = MakePlanes(kWidth * sizeof(float), 1);
    if (!source.memory || !result.memory) return false;
    for (int p = 0; p < 3; ++p)
        for (unsigned x = 0; x < kWidth; ++x)
            source.Row<std::uint16_t>(p, 0)[x] = static_cast<std::uint16_t>(kMiddle + (x == static_cast<unsigned>(p) + 1 ? kStep : 0));
    if (!Run(in, source, FloatRgb(in), result)) return false;
    double a[3][4];
    for (int c = 0; c < 3; ++c) {
        const float* levels = result.Row<float>(c, 0);
        for (int p = 0; p < 3; ++p) a[c][p + 1] = (levels[p + 1] - levels[0]) / kStep;
        a[c][0] = levels[0] - kMiddle * (a[c][1] + a[c][2] + a[c][3]);
    }
    return MakeLineMatrix(a, matrix);
}

zimg_image_format LineInput(const PictureColours& colours, ColourWay way, unsigned width, unsigned height)
{
    zimg_image_format f = colours.format;
    f.width = width;
    f.height = height;
    f.subsample_w = f.subsample_h = 0;
    f.pixel_type = ZIMG_PIXEL_WORD;
    f.depth = 16;
    if (way == ColourWay::Table) f.pixel_range = ZIMG_RANGE_FULL;
    return f;
}

bool ColourTable::Serves(const PictureColours& colours) const
{
    const zimg_image_format &a = m_colours.format, &b = colours.format;
    return a.color_family == b.color_family && a.matrix_coefficients == b.matrix_coefficients &&
           a.transfer_characteristics == b.transfer_characteristics && a.color_primaries == b.color_primaries &&
           m_colours.hdr == colours.hdr && m_colours.peakNits == colours.peakNits;
}

std::shared_ptr<const ColourTable> ColourTable::For(const PictureColours& colours)
{
    static std::mutex mutex;
    static std::vector<std::weak_ptr<const ColourTable>> made;
    // Under the lock while it is made: the other converter waits for it
    // rather than making it too.
    if (!colours.hdr) return nullptr;
    std::lock_guard lock(mutex);
    std::erase_if(made, [](const auto& table) { return table.expired(); });
    for (const auto& weak : made)
        if (auto table = weak.lock(); table && table->Serves(colours)) return table;
    std::shared_ptr<const ColourTable> table = Bake(colours);
    if (table) made.push_back(table);
    return table;
}

std::unique_ptr<ColourTable> ColourTable::Bake(const PictureColours& colours)
{
    // Every node's codes, one row of the image per (plane 0, plane 1)
    // pair, plane 2 along it, into R'G'B' of the picture's own transfer
    // and primaries; the rest is Chain's.
    zimg_image_format in = LineInput(colours, ColourWay::Table, kNodes, kNodes * kNodes);
    // Grey is read as Y'CbCr whose chroma is neutral.
    if (in.color_family == ZIMG_COLOR_GREY) in.color_family = ZIMG_COLOR_YUV;
    const Planes source = MakePlanes(kNodes * sizeof(std::uint16_t), kNodes * kNodes);
    const Planes result = MakePlanes(kNodes * sizeof(float), kNodes * kNodes);
    if (!source.memory || !result.memory) return nullptr;
    const auto code = [](unsigned node) {
        return static_cast<std::uint16_t>(std::min(node << kTableCellShift, 65535u));
    };
    for (unsigned row = 0; row < kNodes * kNodes; ++row)
        for (unsigned node = 0; node < kNodes; ++node) {
            source.Row<std::uint16_t>(0, row)[node] = code(row / kNodes);
            source.Row<std::uint16_t>(1, row)[node] = code(row % kNodes);
            source.Row<std::uint16_t>(2, row)[node] = code(node);
        }
    Matrix toBt709{};
    if (!Run(in, source, FloatRgb(in), result) || !ToBt709(colours.format.color_primaries, toBt709)) return nullptr;
    const Chain chain(colours, toBt709);

    auto table = std::make_unique<ColourTable>();
    table->m_colours = colours;
    table->m_nodes.resize(kNodeCount);
    std::uint32_t* node = table->m_nodes.data();
    for (unsigned row = 0; row < kNodes * kNodes; ++row)
        for (unsigned x = 0; x < kNodes; ++x)
            *node++ = chain({result.Row<float>(0, row)[x], result.Row<float>(1, row)[x], result.Row<float>(2, row)[x]});
    return table;
}

}  // namespace media
