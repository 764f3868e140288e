#pragma once
// Converts decoded frames into a rectangle of a 32-bit RGB pixel area with
// libswscale, honouring the frame's colour matrix and range. Keeps its
// scaler between calls; it is rebuilt only when the frame's size, format or
// colours, or the rectangle's size, change.

#include "engine/media/FfmpegUtil.h"

namespace media {

class FrameConverter {
public:
    bool Convert(const AVFrame* frame, const PixelBuffer& target, const FrameRect& rect);

private:
    SwsPtr m_sws;
    int m_srcWidth = 0, m_srcHeight = 0, m_srcFormat = -1;
    int m_dstWidth = 0, m_dstHeight = 0;
    int m_colorspace = -1, m_range = -1;
};

}  // namespace media
