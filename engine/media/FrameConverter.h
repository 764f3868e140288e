#pragma once
// The walk from a decoded picture to the pixels drawn: into a rectangle of a
// 32-bit RGB pixel area, at the rectangle's size in one pass, turned
// upright. Planar pictures (nearly all a decoder gives) go through zimg
// with their colours honoured and HDR tone-mapped (picture/ZimgPicture);
// the rest (packed, paletted) through libswscale with the frame's matrix
// and range. The picture is scaled to the rectangle, so non-square pixels
// come out at their display aspect. What each path makes is kept between
// calls and made anew only when the picture's kind or the size changes.

#include <cstdlib>
#include <memory>

#include "engine/media/FfmpegUtil.h"
#include "engine/media/Orientation.h"
#include "engine/media/picture/ZimgPicture.h"

namespace media {

class FrameConverter {
public:
    // How every frame is to be turned; `rect` of Convert is the upright size.
    void SetOrientation(const Orientation& turn) { m_turn = turn; }
    bool Convert(const AVFrame* frame, const PixelBuffer& target, const FrameRect& rect);

private:
    bool Scale(const AVFrame* frame, const PixelBuffer& target, const FrameRect& rect);
    bool Swscale(const AVFrame* frame, const PixelBuffer& target, const FrameRect& rect);

    ZimgPicture m_zimg;

    Orientation m_turn;
    // A turned picture is scaled here first, at its stored orientation.
    struct Free {
        void operator()(std::uint8_t* p) const { std::free(p); }
    };
    std::unique_ptr<std::uint8_t, Free> m_scratch;
    PixelBuffer m_scratchArea;

    SwsPtr m_sws;
    int m_srcWidth = 0, m_srcHeight = 0, m_srcFormat = -1;
    int m_dstWidth = 0, m_dstHeight = 0;
    int m_colorspace = -1, m_range = -1;
};

}  // namespace media
