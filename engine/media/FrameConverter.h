#pragma once
// Converts decoded frames into a rectangle of a 32-bit RGB pixel area with
// libswscale, honouring the frame's colour matrix and range, and turns them
// upright. The picture is scaled to the rectangle, so non-square pixels come
// out at their display aspect. Keeps its scaler between calls; it is
// rebuilt only when the frame's size, format or colours, or the
// rectangle's size, change.

#include <cstdlib>
#include <memory>

#include "engine/media/FfmpegUtil.h"
#include "engine/media/Orientation.h"

namespace media {

class FrameConverter {
public:
    // How every frame is to be turned; `rect` of Convert is the upright size.
    void SetOrientation(const Orientation& turn) { m_turn = turn; }
    bool Convert(const AVFrame* frame, const PixelBuffer& target, const FrameRect& rect);

private:
    bool Scale(const AVFrame* frame, const PixelBuffer& target, const FrameRect& rect);

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
