#include "engine/media/picture/PictureLines.h"

#include <algorithm>
#include <cmath>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define REELSCOPE_X86 1
#endif

namespace media {
namespace {

constexpr unsigned kStrideA = kTableNodes * kTableNodes;
constexpr unsigned kStrideB = kTableNodes;
constexpr unsigned kStrideC = 1;
constexpr unsigned kFar = kStrideA + kStrideB + kStrideC;  // the cell's far corner
static_assert(kTableCellShift == 10 && (1 << (16 - kTableCellShift)) + 1 == kTableNodes,
              "a node at each end of the codes, and the position in a cell in 10 bits");
static_assert(kStrideA < 32768, "the strides and corner offsets are 16-bit numbers");

// A node: each display code in [-0.25, 1.25] as R and G in 11 bits
// (1/1023 steps), B in 10 (1/511), offset so that -0.25 is zero. Within
// the arithmetic a code is a 16-bit number: the field less its offset,
// shifted up to about 1/16368 steps, then stretched by 1.6 to fill 16
// bits (Stretched); 1 is kCodeOne[c] before the stretch.
constexpr int kFieldShift[3] = {0, 11, 22};
constexpr int kFieldOffset[3] = {256, 256, 128};
constexpr double kFieldScale[3] = {1023, 1023, 511};
constexpr int kFieldMax[3] = {2047, 2047, 1023};
constexpr int kToCode[3] = {4, 4, 5};
constexpr int kCodeOne[3] = {1023 << 4, 1023 << 4, 511 << 5};
constexpr double kNodeLow = -0.25, kNodeHigh = 1.25;
constexpr int kStretch = 19660;  // 0.6 in 15 bits

// A field of `node` shifted up, still offset.
constexpr int Field(std::uint32_t node, int c)
{
    return static_cast<int>((node >> kFieldShift[c]) & static_cast<unsigned>(kFieldMax[c])) << kToCode[c];
}

constexpr int FieldOffset(int c)
{
    return kFieldOffset[c] << kToCode[c];
}

// As a rounding 16-bit multiply (pmulhrsw) makes it.
constexpr int ShareOf(int difference, int fraction)
{
    return (difference * fraction + (1 << 14)) >> 15;
}

constexpr int Stretched(int code)
{
    return code + ShareOf(code, kStretch);
}

// The interpolation runs on the codes squared (sign kept): that is near
// enough to linear light that a channel crossing black within a cell (a
// bright colour at the display gamut's edge, its third channel near zero)
// is interpolated about as well as the light is, where the codes
// themselves, steep near black, would be pulled far off. Its root is the
// code again.
constexpr int Squared(int code)
{
    return ShareOf(code, code < 0 ? -code : code);
}

// From a squared code to 64ths of 8-bit levels, per channel: the square's
// scale that puts the code 1 at level 255.
const float kSixtyFourthsSquared[3] = {
    static_cast<float>(255.0 * 64 * 255 * 64 / Squared(Stretched(kCodeOne[0]))),
    static_cast<float>(255.0 * 64 * 255 * 64 / Squared(Stretched(kCodeOne[1]))),
    static_cast<float>(255.0 * 64 * 255 * 64 / Squared(Stretched(kCodeOne[2])))};

// The corners of a cell by number: bit 2 along plane 0, bit 1 along
// plane 1, bit 0 along plane 2; 7 is the far corner.
constexpr unsigned CornerOffset(int corner)
{
    return (corner >> 2) * kStrideA + (corner >> 1 & 1) * kStrideB + (corner & 1) * kStrideC;
}

// Tetrahedral interpolation: of the six tetrahedra that share the cell's
// diagonal, the one holding the point is walked from corner 0 along the
// axes in the order of the fractions, largest first. The order is the
// number (fb > fa) + 2 (fc > fa) + 4 (fc > fb); 2 and 5 cannot happen.
// The corners passed on the way, by that number:
constexpr int kFirstCorner[8] = {4, 2, 1, 2, 4, 1, 1, 1};
constexpr int kSecondCorner[8] = {6, 6, 5, 3, 5, 5, 5, 3};

// The weights: a fraction of a cell (10 bits) scaled to 15, so that a
// rounding 16-bit multiply (pmulhrsw) takes a share of a difference.
constexpr int kFractionShift = 5;

// The matrix's sums are levels in 2^20ths; the dither (64ths) is weighed
// up to them.
constexpr int kMatrixShift = 20;
constexpr int kDitherWeight = 1 << (kMatrixShift - 6);

// A 16 x 16 ordered dither in 64ths of a step: 8-bit steps on a dark
// 10-bit gradient become a fine pattern instead of bands. Each row is
// repeated once more, so that 16 thresholds from any column lie in a row.
struct Dither {
    alignas(32) std::uint16_t t[16][32];
    Dither()
    {
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 32; ++x) {
                // Bayer index by bit interleaving, the finest bits of the
                // position the weightiest of the index: neighbours differ
                // most, and any 2 x 2 block spans the range evenly.
                int v = 0;
                for (int bit = 0; bit < 4; ++bit)
                    v |= (((x ^ y) >> bit & 1) << (7 - 2 * bit)) | ((y >> bit & 1) << (6 - 2 * bit));
                t[y][x] = static_cast<std::uint16_t>(v >> 2);
            }
    }
};
const Dither kDither;

// A node's channel as the interpolation takes it: a squared code, as a
// 16-bit number (wrapping as the vector code's numbers do).
int SquaredField(std::uint32_t node, int channel)
{
    const auto code = static_cast<std::int16_t>(Stretched(static_cast<std::int16_t>(Field(node, channel) - FieldOffset(channel))));
    return static_cast<std::int16_t>(Squared(code));
}

// The root of every square (clipped at black) in 64ths of a level, to the
// nearest, by the float operations, in this order, of the vector code.
struct Roots {
    std::uint16_t sixtyFourths[3][32768];
    Roots()
    {
        for (int c = 0; c < 3; ++c)
            for (int u = 0; u < 32768; ++u)
                sixtyFourths[c][u] =
                    static_cast<std::uint16_t>(std::lrint(std::sqrt(static_cast<float>(u) * kSixtyFourthsSquared[c])));
    }
};

const Roots& TheRoots()
{
    static const Roots roots;
    return roots;
}

// One cell's corners, squared, for the pixels that follow in it.
struct PlainCell {
    unsigned near = ~0u;
    int squared[8][3];
    void Fill(const std::uint32_t* table, unsigned at)
    {
        for (int k = 0; k < 8; ++k)
            for (int c = 0; c < 3; ++c) squared[k][c] = SquaredField(table[at + CornerOffset(k)], c);
        near = at;
    }
};

std::uint32_t MapPixel(const std::uint32_t* table, const Roots& roots, PlainCell& cell, unsigned a, unsigned b,
                       unsigned c, int threshold)
{
    const unsigned near = (a >> kTableCellShift) * kStrideA + (b >> kTableCellShift) * kStrideB +
                          (c >> kTableCellShift) * kStrideC;
    if (near != cell.near) cell.Fill(table, near);
    const int fa = static_cast<int>(a & 1023) << kFractionShift, fb = static_cast<int>(b & 1023) << kFractionShift,
              fc = static_cast<int>(c & 1023) << kFractionShift;
    const int order = (fb > fa) + 2 * (fc > fa) + 4 * (fc > fb);
    const int most = std::max(std::max(fa, fb), fc), least = std::min(std::min(fa, fb), fc);
    const int middle = fa + fb + fc - most - least;
    const int* u0 = cell.squared[0];
    const int* u1 = cell.squared[kFirstCorner[order]];
    const int* u2 = cell.squared[kSecondCorner[order]];
    const int* u3 = cell.squared[7];
    std::uint32_t pixel = 0xff000000u;
    for (int ch = 0; ch < 3; ++ch) {
        const auto share = [](int from, int to, int fraction) {
            return ShareOf(static_cast<std::int16_t>(to - from), fraction);
        };
        const int v = static_cast<std::int16_t>(u0[ch] + share(u0[ch], u1[ch], most) + share(u1[ch], u2[ch], middle) +
                                                share(u2[ch], u3[ch], least));
        const int level = (roots.sixtyFourths[ch][v < 0 ? 0 : v] + threshold) >> 6;
        pixel |= static_cast<std::uint32_t>(level > 255 ? 255 : level) << (16 - 8 * ch);
    }
    return pixel;
}

#ifdef REELSCOPE_X86

#define REELSCOPE_AVX2 __attribute__((target("avx2")))

// Eight 16-bit numbers, one per order, as a pshufb table (in both lanes).
REELSCOPE_AVX2 inline __m256i ByOrder(const int (&values)[8])
{
    return _mm256_setr_epi16(values[0], values[1], values[2], values[3], values[4], values[5], values[6], values[7],
                             values[0], values[1], values[2], values[3], values[4], values[5], values[6], values[7]);
}

// Per order, what a pshufb picks of eight 16-bit numbers by `corners`: the
// corner's offset in the table, or its place among the cell's corners.
struct ByCorner {
    int offset[8], pick[8];
    explicit constexpr ByCorner(const int (&corners)[8]) : offset{}, pick{}
    {
        for (int order = 0; order < 8; ++order) {
            offset[order] = static_cast<int>(CornerOffset(corners[order]));
            pick[order] = (2 * corners[order] + 1) << 8 | 2 * corners[order];
        }
    }
};
constexpr ByCorner kFirst(kFirstCorner), kSecond(kSecondCorner);

// A channel of eight packed nodes (32-bit lanes), as fractions still
// offset.
template <int channel>
REELSCOPE_AVX2 inline __m256i FieldOf(__m256i nodes)
{
    constexpr int shift = kFieldShift[channel] - kToCode[channel];
    const __m256i mask = _mm256_set1_epi32(kFieldMax[channel] << kToCode[channel]);
    if constexpr (shift < 0)
        return _mm256_and_si256(_mm256_slli_epi32(nodes, -shift), mask);
    else
        return _mm256_and_si256(_mm256_srli_epi32(nodes, shift), mask);
}

// Fields shifted up (still offset), in 16-bit lanes, as squared codes.
template <int channel>
REELSCOPE_AVX2 inline __m256i SquaredOf(__m256i fields)
{
    const __m256i shifted = _mm256_sub_epi16(fields, _mm256_set1_epi16(static_cast<short>(FieldOffset(channel))));
    const __m256i code = _mm256_add_epi16(shifted, _mm256_mulhrs_epi16(shifted, _mm256_set1_epi16(kStretch)));
    return _mm256_mulhrs_epi16(code, _mm256_abs_epi16(code));
}

// A channel of the corners of sixteen pixels, gathered as eight (pixels
// 0-3 and 8-11) and eight (4-7, 12-15), squared, in 16-bit lanes in order.
template <int channel>
REELSCOPE_AVX2 inline __m256i SquaredOf(__m256i low, __m256i high)
{
    return SquaredOf<channel>(_mm256_packus_epi32(FieldOf<channel>(low), FieldOf<channel>(high)));
}

// One cell, ready for any pixel in it: per channel its eight corners
// squared (16-bit, in both lanes, for pshufb to pick from by each pixel's
// tetrahedron), and corner 0 and the far corner spread over all lanes.
struct Cell {
    unsigned near = ~0u;  // the table's index of corner 0; none yet
    __m256i corners[3]{}, first[3]{}, last[3]{};
};

template <int channel>
REELSCOPE_AVX2 inline void FillChannel(Cell& cell, __m256i nodes)
{
    const __m256i wide = FieldOf<channel>(nodes);
    const __m256i x = _mm256_broadcastsi128_si256(
        _mm_packus_epi32(_mm256_castsi256_si128(wide), _mm256_extracti128_si256(wide, 1)));
    cell.corners[channel] = SquaredOf<channel>(x);
    cell.first[channel] = _mm256_broadcastw_epi16(_mm256_castsi256_si128(cell.corners[channel]));
    cell.last[channel] = _mm256_shuffle_epi8(cell.corners[channel], _mm256_set1_epi16(0x0f0e));
}

REELSCOPE_AVX2 void Fill(Cell& cell, const std::uint32_t* table, unsigned near)
{
    // Corners 2k and 2k + 1 lie side by side (plane 2 is the fastest).
#define REELSCOPE_PAIR(k) _mm_loadl_epi64(reinterpret_cast<const __m128i*>(table + near + CornerOffset(k)))
    const __m256i nodes = _mm256_set_m128i(_mm_unpacklo_epi64(REELSCOPE_PAIR(4), REELSCOPE_PAIR(6)),
                                           _mm_unpacklo_epi64(REELSCOPE_PAIR(0), REELSCOPE_PAIR(2)));
#undef REELSCOPE_PAIR
    FillChannel<0>(cell, nodes);
    FillChannel<1>(cell, nodes);
    FillChannel<2>(cell, nodes);
    cell.near = near;
}

// Sixteen pixels' channel: the square at corner 0 plus the rounded shares
// of the differences along the walk, clipped at black; its root in 64ths
// of 8-bit levels (to the nearest), dithered, in levels (not yet clipped
// at 255).
template <int channel>
REELSCOPE_AVX2 inline __m256i Interpolated(__m256i u0, __m256i step1, __m256i step2, __m256i step3, __m256i most,
                                           __m256i middle, __m256i least, __m256i threshold)
{
    const __m256i zero = _mm256_setzero_si256();
    const __m256i sum = _mm256_max_epi16(
        _mm256_add_epi16(_mm256_add_epi16(u0, _mm256_mulhrs_epi16(step1, most)),
                         _mm256_add_epi16(_mm256_mulhrs_epi16(step2, middle), _mm256_mulhrs_epi16(step3, least))),
        zero);
    const __m256 scale = _mm256_set1_ps(kSixtyFourthsSquared[channel]);
    // Pixels 0-3 and 8-11, then 4-7 and 12-15, as unpacking 16-bit lanes
    // into 32-bit ones leaves them, and packing puts them back.
    const __m256 low = _mm256_cvtepi32_ps(_mm256_unpacklo_epi16(sum, zero));
    const __m256 high = _mm256_cvtepi32_ps(_mm256_unpackhi_epi16(sum, zero));
    const __m256i sixtyFourths = _mm256_packs_epi32(_mm256_cvtps_epi32(_mm256_sqrt_ps(_mm256_mul_ps(low, scale))),
                                                    _mm256_cvtps_epi32(_mm256_sqrt_ps(_mm256_mul_ps(high, scale))));
    return _mm256_srai_epi16(_mm256_add_epi16(sixtyFourths, threshold), 6);
}

// The corners as gathered: c[0] pixels 0-3 and 8-11 of corner 0, c[1]
// pixels 4-7 and 12-15 of it, and so on.
template <int k>
REELSCOPE_AVX2 inline __m256i FromCorners(const __m256i (&c)[8], __m256i most, __m256i middle, __m256i least,
                                          __m256i threshold)
{
    const __m256i u0 = SquaredOf<k>(c[0], c[1]), u1 = SquaredOf<k>(c[2], c[3]), u2 = SquaredOf<k>(c[4], c[5]),
                  u3 = SquaredOf<k>(c[6], c[7]);
    return Interpolated<k>(u0, _mm256_sub_epi16(u1, u0), _mm256_sub_epi16(u2, u1), _mm256_sub_epi16(u3, u2), most,
                           middle, least, threshold);
}

// The sixteen pixels' own sample codes, and what their interpolation
// needs whichever way their corners are read.
struct Sixteen {
    __m256i a, b, c;              // the codes of planes 0, 1, 2
    __m256i order, pick1, pick2;  // the tetrahedron, and its corners as FromCell picks them
    __m256i most, middle, least;  // the weights
    __m256i threshold;            // the dither
};

struct Rgb16 {
    __m256i r, g, b;  // 8-bit levels in 16-bit lanes, not yet clipped
};

REELSCOPE_AVX2 inline Sixteen Prepare(const SampleLine& line, unsigned x)
{
    const __m256i fractionMask = _mm256_set1_epi16(1023 << kFractionShift);
    Sixteen p;
    p.a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(line.planes[0] + x));
    p.b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(line.planes[1] + x));
    p.c = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(line.planes[2] + x));
    const __m256i fa = _mm256_and_si256(_mm256_slli_epi16(p.a, kFractionShift), fractionMask);
    const __m256i fb = _mm256_and_si256(_mm256_slli_epi16(p.b, kFractionShift), fractionMask);
    const __m256i fc = _mm256_and_si256(_mm256_slli_epi16(p.c, kFractionShift), fractionMask);
    // The order as a pshufb index of 16-bit entries: bytes 2n, 2n + 1.
    p.order = _mm256_add_epi16(
        _mm256_set1_epi16(0x0100),
        _mm256_add_epi16(_mm256_and_si256(_mm256_cmpgt_epi16(fb, fa), _mm256_set1_epi16(0x0202)),
                         _mm256_add_epi16(_mm256_and_si256(_mm256_cmpgt_epi16(fc, fa), _mm256_set1_epi16(0x0404)),
                                          _mm256_and_si256(_mm256_cmpgt_epi16(fc, fb), _mm256_set1_epi16(0x0808)))));
    p.pick1 = _mm256_shuffle_epi8(ByOrder(kFirst.pick), p.order);
    p.pick2 = _mm256_shuffle_epi8(ByOrder(kSecond.pick), p.order);
    p.most = _mm256_max_epi16(_mm256_max_epi16(fa, fb), fc);
    p.least = _mm256_min_epi16(_mm256_min_epi16(fa, fb), fc);
    p.middle = _mm256_sub_epi16(_mm256_sub_epi16(_mm256_add_epi16(_mm256_add_epi16(fa, fb), fc), p.most), p.least);
    p.threshold = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(kDither.t[line.y & 15] + (x & 15)));
    return p;
}

// Each pixel's corners from the one cell all sixteen lie in.
template <int k>
REELSCOPE_AVX2 inline __m256i FromCell(const Cell& cell, const Sixteen& p)
{
    const __m256i u1 = _mm256_shuffle_epi8(cell.corners[k], p.pick1), u2 = _mm256_shuffle_epi8(cell.corners[k], p.pick2);
    return Interpolated<k>(cell.first[k], _mm256_sub_epi16(u1, cell.first[k]), _mm256_sub_epi16(u2, u1),
                           _mm256_sub_epi16(cell.last[k], u2), p.most, p.middle, p.least, p.threshold);
}

// Each pixel's corners gathered from the table.
REELSCOPE_AVX2 Rgb16 Gathered(const std::uint32_t* table, const Sixteen& p)
{
    const __m256i zero = _mm256_setzero_si256(), far = _mm256_set1_epi32(kFar);
    const __m256i ia = _mm256_srli_epi16(p.a, kTableCellShift), ib = _mm256_srli_epi16(p.b, kTableCellShift),
                  ic = _mm256_srli_epi16(p.c, kTableCellShift);
    const __m256i first = _mm256_shuffle_epi8(ByOrder(kFirst.offset), p.order);
    const __m256i second = _mm256_shuffle_epi8(ByOrder(kSecond.offset), p.order);
    // Pixels 0-3 and 8-11 (low), 4-7 and 12-15 (high), as unpacking 16-bit
    // lanes into 32-bit ones leaves them; (a, b) weighed by their strides
    // in one multiply-add.
    const __m256i strides = _mm256_set1_epi32(static_cast<int>(kStrideA | kStrideB << 16));
    const __m256i nearLow =
        _mm256_add_epi32(_mm256_madd_epi16(_mm256_unpacklo_epi16(ia, ib), strides), _mm256_unpacklo_epi16(ic, zero));
    const __m256i nearHigh =
        _mm256_add_epi32(_mm256_madd_epi16(_mm256_unpackhi_epi16(ia, ib), strides), _mm256_unpackhi_epi16(ic, zero));
    const auto* nodes = reinterpret_cast<const int*>(table);
    const __m256i corners[8] = {
        _mm256_i32gather_epi32(nodes, nearLow, 4),
        _mm256_i32gather_epi32(nodes, nearHigh, 4),
        _mm256_i32gather_epi32(nodes, _mm256_add_epi32(nearLow, _mm256_unpacklo_epi16(first, zero)), 4),
        _mm256_i32gather_epi32(nodes, _mm256_add_epi32(nearHigh, _mm256_unpackhi_epi16(first, zero)), 4),
        _mm256_i32gather_epi32(nodes, _mm256_add_epi32(nearLow, _mm256_unpacklo_epi16(second, zero)), 4),
        _mm256_i32gather_epi32(nodes, _mm256_add_epi32(nearHigh, _mm256_unpackhi_epi16(second, zero)), 4),
        _mm256_i32gather_epi32(nodes, _mm256_add_epi32(nearLow, far), 4),
        _mm256_i32gather_epi32(nodes, _mm256_add_epi32(nearHigh, far), 4)};
    return {FromCorners<0>(corners, p.most, p.middle, p.least, p.threshold),
            FromCorners<1>(corners, p.most, p.middle, p.least, p.threshold),
            FromCorners<2>(corners, p.most, p.middle, p.least, p.threshold)};
}

// Clipped to 0..255 by the packing; B, G, R, A in memory.
REELSCOPE_AVX2 inline void Store(std::uint32_t* at, const Rgb16& rgb)
{
    const __m256i interleave = _mm256_setr_epi8(0, 8, 1, 9, 2, 10, 3, 11, 4, 12, 5, 13, 6, 14, 7, 15, 0, 8, 1, 9, 2, 10,
                                                3, 11, 4, 12, 5, 13, 6, 14, 7, 15);
    const __m256i bg = _mm256_shuffle_epi8(_mm256_packus_epi16(rgb.b, rgb.g), interleave);
    const __m256i ra = _mm256_shuffle_epi8(_mm256_packus_epi16(rgb.r, _mm256_set1_epi16(255)), interleave);
    const __m256i low = _mm256_unpacklo_epi16(bg, ra), high = _mm256_unpackhi_epi16(bg, ra);
    auto* out = reinterpret_cast<__m256i*>(at);
    _mm256_storeu_si256(out, _mm256_permute2x128_si256(low, high, 0x20));
    _mm256_storeu_si256(out + 1, _mm256_permute2x128_si256(low, high, 0x31));
}

// MapPixel sixteen at a time. Where all sixteen lie in one cell, as in
// most of a picture's smooth areas, the cell's corners are read once and
// each pixel's picked by its tetrahedron from a register; gathering the
// corners pixel by pixel costs several times all the rest of the work.
// (Sixteen pixels in two cells, as at an edge or in grain, cost about as
// much done cell by cell and blended as gathered.)
REELSCOPE_AVX2 void MapLineAvx2(const std::uint32_t* table, const SampleLine& line, unsigned left, unsigned right)
{
    const __m256i cellMask = _mm256_set1_epi16(static_cast<short>(0xffff << kTableCellShift));
    Cell cell;
    unsigned x = left;
    for (; x + 16 <= right; x += 16) {
        const Sixteen p = Prepare(line, x);
        const __m256i spread = _mm256_or_si256(
            _mm256_xor_si256(p.a, _mm256_broadcastw_epi16(_mm256_castsi256_si128(p.a))),
            _mm256_or_si256(_mm256_xor_si256(p.b, _mm256_broadcastw_epi16(_mm256_castsi256_si128(p.b))),
                            _mm256_xor_si256(p.c, _mm256_broadcastw_epi16(_mm256_castsi256_si128(p.c)))));
        if (_mm256_testz_si256(spread, cellMask)) {
            const unsigned near = (line.planes[0][x] >> kTableCellShift) * kStrideA +
                                  (line.planes[1][x] >> kTableCellShift) * kStrideB +
                                  (line.planes[2][x] >> kTableCellShift) * kStrideC;
            if (near != cell.near) Fill(cell, table, near);
            Store(line.out + x, {FromCell<0>(cell, p), FromCell<1>(cell, p), FromCell<2>(cell, p)});
        } else {
            Store(line.out + x, Gathered(table, p));
        }
    }
    MapLinePlain(table, line, x, right);
}

// MatrixPixel sixteen at a time: the weights of (s0 >> 1, s1 - 32768)
// and of (s2 - 32768, dither) in one multiply-add each, as pairs of
// 16-bit numbers.
template <int c>
REELSCOPE_AVX2 inline __m256i MatrixChannel(const LineMatrix& m, __m256i pairs01Low, __m256i pairs01High,
                                            __m256i pairs2dLow, __m256i pairs2dHigh)
{
    const __m256i w01 = _mm256_set1_epi32(static_cast<std::uint16_t>(m.weight[c][0]) |
                                          static_cast<std::uint16_t>(m.weight[c][1]) << 16);
    const __m256i w2d = _mm256_set1_epi32(static_cast<std::uint16_t>(m.weight[c][2]) | kDitherWeight << 16);
    const __m256i offset = _mm256_set1_epi32(m.offset[c]);
    const auto half = [&](__m256i pairs01, __m256i pairs2d) REELSCOPE_AVX2 {
        return _mm256_srai_epi32(
            _mm256_add_epi32(_mm256_add_epi32(_mm256_madd_epi16(pairs01, w01), _mm256_madd_epi16(pairs2d, w2d)), offset),
            kMatrixShift);
    };
    return _mm256_packs_epi32(half(pairs01Low, pairs2dLow), half(pairs01High, pairs2dHigh));
}

REELSCOPE_AVX2 void MatrixLineAvx2(const LineMatrix& m, const SampleLine& line, unsigned left, unsigned right)
{
    const std::uint16_t* thresholds = kDither.t[line.y & 15];
    const __m256i half = _mm256_set1_epi16(static_cast<short>(0x8000));
    unsigned x = left;
    for (; x + 16 <= right; x += 16) {
        const __m256i s0 = _mm256_srli_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(line.planes[0] + x)), 1);
        const __m256i s1 = _mm256_xor_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(line.planes[1] + x)), half);
        const __m256i s2 = _mm256_xor_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(line.planes[2] + x)), half);
        const __m256i d = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(thresholds + (x & 15)));
        const __m256i p01l = _mm256_unpacklo_epi16(s0, s1), p01h = _mm256_unpackhi_epi16(s0, s1);
        const __m256i p2dl = _mm256_unpacklo_epi16(s2, d), p2dh = _mm256_unpackhi_epi16(s2, d);
        Store(line.out + x, {MatrixChannel<0>(m, p01l, p01h, p2dl, p2dh), MatrixChannel<1>(m, p01l, p01h, p2dl, p2dh),
                             MatrixChannel<2>(m, p01l, p01h, p2dl, p2dh)});
    }
    MatrixLinePlain(m, line, x, right);
}

bool HasAvx2()
{
    static const bool has = __builtin_cpu_supports("avx2");
    return has;
}

#endif

}  // namespace

bool LinesAreVectorised()
{
#ifdef REELSCOPE_X86
    return HasAvx2();
#else
    return false;
#endif
}

void PackLine(const std::uint8_t* r, const std::uint8_t* g, const std::uint8_t* b, std::uint32_t* out, unsigned count)
{
    unsigned x = 0;
#ifdef __SSE2__
    const __m128i opaque = _mm_set1_epi8(-1);
    for (; x + 16 <= count; x += 16) {
        const __m128i vr = _mm_loadu_si128(reinterpret_cast<const __m128i*>(r + x));
        const __m128i vg = _mm_loadu_si128(reinterpret_cast<const __m128i*>(g + x));
        const __m128i vb = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + x));
        // B, G, R, A in memory: a little-endian 0xffRRGGBB.
        const __m128i bgLow = _mm_unpacklo_epi8(vb, vg), bgHigh = _mm_unpackhi_epi8(vb, vg);
        const __m128i raLow = _mm_unpacklo_epi8(vr, opaque), raHigh = _mm_unpackhi_epi8(vr, opaque);
        auto* o = reinterpret_cast<__m128i*>(out + x);
        _mm_storeu_si128(o, _mm_unpacklo_epi16(bgLow, raLow));
        _mm_storeu_si128(o + 1, _mm_unpackhi_epi16(bgLow, raLow));
        _mm_storeu_si128(o + 2, _mm_unpacklo_epi16(bgHigh, raHigh));
        _mm_storeu_si128(o + 3, _mm_unpackhi_epi16(bgHigh, raHigh));
    }
#endif
    for (; x < count; ++x) out[x] = 0xff000000u | std::uint32_t(r[x]) << 16 | std::uint32_t(g[x]) << 8 | b[x];
}

std::uint32_t TableNode(double r, double g, double b)
{
    std::uint32_t node = 0;
    const double codes[3] = {r, g, b};
    for (int c = 0; c < 3; ++c) {
        // NaN (a colour zimg could not make) as black.
        const double code = std::isnan(codes[c]) ? 0.0 : std::clamp(codes[c], kNodeLow, kNodeHigh);
        const long field = std::lround(code * kFieldScale[c]) + kFieldOffset[c];
        node |= static_cast<std::uint32_t>(std::clamp<long>(field, 0, kFieldMax[c])) << kFieldShift[c];
    }
    return node;
}

void MapLinePlain(const std::uint32_t* table, const SampleLine& line, unsigned left, unsigned right)
{
    const std::uint16_t* thresholds = kDither.t[line.y & 15];
    const Roots& roots = TheRoots();
    PlainCell cell;
    for (unsigned x = left; x < right; ++x)
        line.out[x] =
            MapPixel(table, roots, cell, line.planes[0][x], line.planes[1][x], line.planes[2][x], thresholds[x & 15]);
}

void MapLine(const std::uint32_t* table, const SampleLine& line, unsigned left, unsigned right)
{
#ifdef REELSCOPE_X86
    if (HasAvx2()) return MapLineAvx2(table, line, left, right);
#endif
    MapLinePlain(table, line, left, right);
}

bool MakeLineMatrix(const double (&a)[3][4], LineMatrix& matrix)
{
    constexpr double kLevels = 255.0 * (1 << kMatrixShift);
    for (int c = 0; c < 3; ++c) {
        const double weights[3] = {2 * a[c][1] * kLevels, a[c][2] * kLevels, a[c][3] * kLevels};
        const double offset = (a[c][0] + 32768 * (a[c][2] + a[c][3])) * kLevels;
        // Every sum of the samples' products, the dither's and the offset
        // stays within 32 bits (a picture's matrix is far inside).
        double largest = std::abs(offset) + 64.0 * kDitherWeight;
        for (int i = 0; i < 3; ++i) {
            if (!(std::abs(weights[i]) < 32767)) return false;
            largest += std::abs(weights[i]) * 32768;
        }
        if (!(largest < 2147483647.0)) return false;
        for (int i = 0; i < 3; ++i) matrix.weight[c][i] = static_cast<std::int16_t>(std::lround(weights[i]));
        matrix.offset[c] = static_cast<std::int32_t>(std::lround(offset));
    }
    return true;
}

void MatrixLinePlain(const LineMatrix& m, const SampleLine& line, unsigned left, unsigned right)
{
    const std::uint16_t* thresholds = kDither.t[line.y & 15];
    for (unsigned x = left; x < right; ++x) {
        const int s0 = line.planes[0][x] >> 1, s1 = line.planes[1][x] - 32768, s2 = line.planes[2][x] - 32768;
        std::uint32_t pixel = 0xff000000u;
        for (int c = 0; c < 3; ++c) {
            const std::int32_t sum = m.weight[c][0] * s0 + m.weight[c][1] * s1 + m.weight[c][2] * s2 +
                                     kDitherWeight * thresholds[x & 15] + m.offset[c];
            pixel |= static_cast<std::uint32_t>(std::clamp(sum >> kMatrixShift, 0, 255)) << (16 - 8 * c);
        }
        line.out[x] = pixel;
    }
}

void MatrixLine(const LineMatrix& matrix, const SampleLine& line, unsigned left, unsigned right)
{
#ifdef REELSCOPE_X86
    if (HasAvx2()) return MatrixLineAvx2(matrix, line, left, right);
#endif
    MatrixLinePlain(matrix, line, left, right);
}

}  // namespace media
