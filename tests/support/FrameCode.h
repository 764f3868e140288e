#pragma once

// Reads the frame number that scripts/make-movie.sh paints into every test
// picture: a 4 x 4 grid of cells over the picture, cell (row r, column c)
// holding bit r*4+c (bit 0 top-left), light for 1 and dark for 0.

#include <cstdint>

class QImage;
class QRect;

// Luma (0..255) at or above which a cell counts as light, and the band a
// dark cell must fall in.  Dark cells are painted a little above black, so a
// black picture (nothing shown yet) reads as "no number" instead of frame 0.
inline constexpr int kFrameCodeLightMin = 150;
inline constexpr int kFrameCodeDarkMin = 12;
inline constexpr int kFrameCodeDarkMax = 100;

// `bits` points at pixels laid out as QImage::Format_RGB32 (bytes B, G, R, A
// in memory), `stride` is the byte distance between rows.  Returns the frame
// number (0..65535), or -1 when the picture is not a clean code: a cell
// whose centre is neither clearly light nor clearly dark, a black picture,
// a null pointer or a picture too small to hold the grid.
int ReadFrameNumber(const std::uint8_t* bits, int stride, int width, int height);

// The same for a QImage of any format, or for the rectangle of one (such as
// a slot of the strip); -1 when the rectangle is not inside the image.
int ReadFrameNumber(const QImage& image);
int ReadFrameNumber(const QImage& image, const QRect& rect);
