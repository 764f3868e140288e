#include "engine/media/FrameConverter.h"

extern "C" {
#include <libavutil/pixdesc.h>
}

namespace media {
namespace {

// The "J" formats are the full-range twins of the plain ones; swscale wants
// the plain format and the range said separately.
AVPixelFormat Unjpeg(AVPixelFormat format, bool& fullRange)
{
    switch (format) {
    case AV_PIX_FMT_YUVJ420P: fullRange = true; return AV_PIX_FMT_YUV420P;
    case AV_PIX_FMT_YUVJ422P: fullRange = true; return AV_PIX_FMT_YUV422P;
    case AV_PIX_FMT_YUVJ444P: fullRange = true; return AV_PIX_FMT_YUV444P;
    case AV_PIX_FMT_YUVJ440P: fullRange = true; return AV_PIX_FMT_YUV440P;
    case AV_PIX_FMT_YUVJ411P: fullRange = true; return AV_PIX_FMT_YUV411P;
    default: return format;
    }
}

}  // namespace

bool FrameConverter::Convert(const AVFrame* frame, const PixelBuffer& target, const FrameRect& rect)
{
    if (m_turn.Identity()) return Scale(frame, target, rect);
    const int w = m_turn.SwapsAxes() ? rect.Height() : rect.Width();
    const int h = m_turn.SwapsAxes() ? rect.Width() : rect.Height();
    if (w <= 0 || h <= 0) return false;
    if (m_scratchArea.width != w || m_scratchArea.height != h) {
        // Rows on a 64-byte boundary, as swscale's SIMD paths want them.
        const int stride = (w * 4 + 63) / 64 * 64;
        m_scratch.reset(static_cast<std::uint8_t*>(std::aligned_alloc(64, static_cast<std::size_t>(stride) * h)));
        m_scratchArea = m_scratch ? PixelBuffer{m_scratch.get(), stride, w, h} : PixelBuffer{};
        if (!m_scratch) return false;
    }
    if (!Scale(frame, m_scratchArea, FrameRect{0, 0, w, h})) return false;
    const PixelBuffer at{target.bits + static_cast<std::ptrdiff_t>(rect.top) * target.stride + rect.left * 4,
                         target.stride, rect.Width(), rect.Height()};
    Reorient(m_scratchArea, w, h, at, m_turn);
    return true;
}

bool FrameConverter::Scale(const AVFrame* frame, const PixelBuffer& target, const FrameRect& rect)
{
    // A picture zimg cannot make a graph for (an odd colour space) still
    // shows, through swscale.
    if (ZimgReads(static_cast<AVPixelFormat>(frame->format)) && m_zimg.Convert(frame, target, rect)) return true;
    return Swscale(frame, target, rect);
}

bool FrameConverter::Swscale(const AVFrame* frame, const PixelBuffer& target, const FrameRect& rect)
{
    const int dw = rect.Width();
    const int dh = rect.Height();
    if (frame->width <= 0 || frame->height <= 0 || dw <= 0 || dh <= 0 || !target.bits) return false;

    bool fullRange = frame->color_range == AVCOL_RANGE_JPEG;
    const AVPixelFormat format = Unjpeg(static_cast<AVPixelFormat>(frame->format), fullRange);
    const int colorspace = frame->colorspace == AVCOL_SPC_UNSPECIFIED
                               ? (frame->height >= 720 ? AVCOL_SPC_BT709 : AVCOL_SPC_BT470BG)
                               : frame->colorspace;
    const int range = fullRange ? 1 : 0;

    if (!m_sws || frame->width != m_srcWidth || frame->height != m_srcHeight || format != m_srcFormat ||
        dw != m_dstWidth || dh != m_dstHeight || colorspace != m_colorspace || range != m_range) {
        // At native size swscale takes its fast SIMD converter (extra
        // accuracy flags would turn it off: it is the per-frame cost of
        // playback); bilinear serves the rare frame whose size changes.
        m_sws.reset(sws_getContext(frame->width, frame->height, format, dw, dh, AV_PIX_FMT_BGRA, SWS_BILINEAR,
                                   nullptr, nullptr, nullptr));
        if (!m_sws) return false;
        const int* coefficients = sws_getCoefficients(colorspace);
        sws_setColorspaceDetails(m_sws.get(), coefficients, range, sws_getCoefficients(AVCOL_SPC_BT709), 1, 0,
                                 1 << 16, 1 << 16);
        m_srcWidth = frame->width;
        m_srcHeight = frame->height;
        m_srcFormat = format;
        m_dstWidth = dw;
        m_dstHeight = dh;
        m_colorspace = colorspace;
        m_range = range;
    }
    std::uint8_t* dst[4] = {target.bits + static_cast<std::ptrdiff_t>(rect.top) * target.stride + rect.left * 4,
                            nullptr, nullptr, nullptr};
    const int dstStride[4] = {target.stride, 0, 0, 0};
    return sws_scale(m_sws.get(), frame->data, frame->linesize, 0, frame->height, dst, dstStride) > 0;
}

}  // namespace media
