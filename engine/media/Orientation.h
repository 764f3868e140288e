#pragma once
// How a decoded picture is turned to stand upright: phones store their
// pictures as the sensor saw them and say in the file how to turn them for
// display. Only quarter turns and mirrors occur, so the turn is a signed
// permutation of the axes; a pixel moves without being resampled.

#include <cstdint>

#include "engine/media/MediaTypes.h"

namespace media {

struct Orientation {
    // Source pixel (x, y) of a w x h picture lands at X = a*x + c*y and
    // Y = b*x + d*y (y pointing down), moved back into the picture. Each of
    // the four is -1, 0 or 1, and (a, c) and (b, d) each have one non-zero.
    int a = 1, b = 0, c = 0, d = 1;

    bool Identity() const { return a == 1 && d == 1; }
    // A quarter turn: the upright picture is h x w.
    bool SwapsAxes() const { return a == 0; }
    friend bool operator==(const Orientation&, const Orientation&) = default;

    // From a display matrix as files carry it (nine 16.16 and 2.30 fixed
    // point numbers, FFmpeg's layout). A null, singular or not right-angled
    // matrix leaves the picture as it is.
    static Orientation FromDisplayMatrix(const std::int32_t* matrix);
};

// Copies `src` (the whole w x h area at its top-left) turned by `turn` into
// the top-left of `dst`, which must hold the upright size.
void Reorient(const PixelBuffer& src, int width, int height, const PixelBuffer& dst, const Orientation& turn);

}  // namespace media
