#include "engine/media/Orientation.h"

#include <algorithm>
#include <cmath>

namespace media {
namespace {

// Side of the square blocks a turn walks in, so that both the rows read and
// the rows written stay in the cache.
constexpr int kBlock = 64;

int Unit(std::int32_t fixed1616)
{
    const double v = fixed1616 / 65536.0;
    return v > 0.5 ? 1 : v < -0.5 ? -1 : 0;
}

}  // namespace

Orientation Orientation::FromDisplayMatrix(const std::int32_t* m)
{
    if (!m) return {};
    // p' = m[0]*p + m[3]*q, q' = m[1]*p + m[4]*q: the matrix multiplies row
    // vectors, so its first column gives X and its second gives Y.
    const Orientation o{Unit(m[0]), Unit(m[1]), Unit(m[3]), Unit(m[4])};
    // Exactly one non-zero in each row and each column of [a b; c d].
    const bool permutation = (o.a != 0) != (o.b != 0) && (o.a != 0) != (o.c != 0) && (o.d != 0) != (o.b != 0);
    return permutation ? o : Orientation{};
}

void Reorient(const PixelBuffer& src, int width, int height, const PixelBuffer& dst, const Orientation& t)
{
    const int outW = t.SwapsAxes() ? height : width;
    const int outH = t.SwapsAxes() ? width : height;
    auto coord = [](int k, int along, int size) { return k > 0 ? along : size - 1 - along; };
    for (int by = 0; by < height; by += kBlock) {
        for (int bx = 0; bx < width; bx += kBlock) {
            const int ey = std::min(by + kBlock, height);
            const int ex = std::min(bx + kBlock, width);
            for (int y = by; y < ey; ++y) {
                const auto* row = reinterpret_cast<const std::uint32_t*>(src.bits + static_cast<std::ptrdiff_t>(y) * src.stride);
                for (int x = bx; x < ex; ++x) {
                    const int X = t.a ? coord(t.a, x, outW) : coord(t.c, y, outW);
                    const int Y = t.b ? coord(t.b, x, outH) : coord(t.d, y, outH);
                    reinterpret_cast<std::uint32_t*>(dst.bits + static_cast<std::ptrdiff_t>(Y) * dst.stride)[X] = row[x];
                }
            }
        }
    }
}

}  // namespace media
