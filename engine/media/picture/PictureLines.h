#pragma once
// The last step of a picture, line by line, as zimg hands its lines over:
// into the target's 32-bit RGB (0xffRRGGBB), either from 8-bit R, G, B
// planes that zimg has already dithered, or through a colour table from
// 16-bit samples, interpolated and dithered here. Both run vectorised
// where the processor allows, since they touch every pixel of every frame.

#include <cstdint>

namespace media {

// Whether MatrixLine and MapLine run vectorised here (AVX2): without,
// they are many times slower than zimg's own float conversion.
bool LinesAreVectorised();

// R, G and B samples side by side into 32-bit pixels.
void PackLine(const std::uint8_t* r, const std::uint8_t* g, const std::uint8_t* b, std::uint32_t* out, unsigned count);

// A line of 16-bit samples of three planes at full resolution, as zimg
// reads a picture for these lines, and where its pixels go.
struct SampleLine {
    const std::uint16_t* planes[3];  // the samples at x = 0
    std::uint32_t* out;              // the target's line at x = 0
    unsigned y;                      // the line's number, for the dither
};

// Colours that need only a matrix: 8-bit levels from the samples s0, s1,
// s2 as (weight[c] . (s0 >> 1, s1 - 32768, s2 - 32768) + offset[c]) >> 20
// for R, G and B, dithered on the way. Made by LineMatrix, from the levels
// (0..1) a sample code gives: level = a[c][0] + a[c][1..3] . (s0, s1, s2).
struct LineMatrix {
    std::int16_t weight[3][3];
    std::int32_t offset[3];
};

// False when the weights do not fit (no picture's matrix comes near).
bool MakeLineMatrix(const double (&a)[3][4], LineMatrix& matrix);

// Pixels [left, right) of a line through the matrix, dithered to 8 bits.
void MatrixLine(const LineMatrix& matrix, const SampleLine& line, unsigned left, unsigned right);
// The same without vectors: what MatrixLine must give, to the bit.
void MatrixLinePlain(const LineMatrix& matrix, const SampleLine& line, unsigned left, unsigned right);

// A colour table: kTableNodes^3 nodes over the 16-bit codes of the three
// planes (plane 0 the slowest, plane 2 the fastest), each the display's
// R'G'B' for those codes, made by TableNode.
inline constexpr int kTableNodes = 65;
inline constexpr int kTableCellShift = 10;  // a 16-bit code >> this: its cell (1024 codes each)

// A node of display codes, each in [-0.25, 1.25]: beyond 0..1 where the
// colour lies outside the display's gamut (or below its black, mirrored).
// The table is not clipped there: the clip comes after the interpolation,
// so that a colour at the gamut's edge is not pulled off it by a
// neighbouring node's clipped value.
std::uint32_t TableNode(double r, double g, double b);

// Pixels [left, right) of a line through the table, tetrahedrally
// interpolated, clipped and dithered to 8 bits.
void MapLine(const std::uint32_t* table, const SampleLine& line, unsigned left, unsigned right);
// The same without vectors: what MapLine must give, to the bit.
void MapLinePlain(const std::uint32_t* table, const SampleLine& line, unsigned left, unsigned right);

}  // namespace media
