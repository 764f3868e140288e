#pragma once
// How a decoded picture's pixels are to be read, in zimg's terms: the
// layout of its planes, and the colours they stand for (matrix, range,
// transfer, primaries, chroma siting), from what the stream says and, where
// it says nothing, what players have long guessed. HDR pictures (PQ, HLG)
// also say how bright they get, for tone mapping.

#include <zimg.h>

#include "engine/media/FfmpegUtil.h"

namespace media {

struct PictureColours {
    zimg_image_format format;  // width, height, planes, colours; zimg's defaults elsewhere
    bool hdr = false;          // PQ or HLG: tone-mapped to the display's range
    double peakNits = 0;       // the brightest the picture gets, when hdr

    // What a graph is made for: a change of any of it makes a new one.
    friend bool operator==(const PictureColours& a, const PictureColours& b);
};

// Whether zimg reads pictures of `format` as they lie (planar, native
// byte order, 8 to 16 bits); others go through swscale.
bool ZimgReads(AVPixelFormat format);

// The colours of `frame` (of a format ZimgReads takes).
PictureColours ColoursOf(const AVFrame* frame);

// The brightest a picture of `transfer` with `frame`'s side data gets, in
// cd/m2: its content light level, else its mastering display's peak, else
// what such material is made for (1000).
double PeakNitsOf(const AVFrame* frame);

}  // namespace media
