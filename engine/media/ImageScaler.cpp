#include "engine/media/ImageScaler.h"

#include <cstring>

#include "engine/media/FfmpegUtil.h"

namespace media {

struct ImageScaler::Impl {
    SwsPtr sws;
    int srcW = 0, srcH = 0, dstW = 0, dstH = 0;
};

ImageScaler::ImageScaler() : m_impl(std::make_unique<Impl>()) {}
ImageScaler::~ImageScaler() = default;

bool RectInside(const FrameRect& rect, const PixelBuffer& area)
{
    return area.bits && rect.left >= 0 && rect.top >= 0 && rect.Width() > 0 && rect.Height() > 0 &&
           rect.right <= area.width && rect.bottom <= area.height;
}

bool ImageScaler::Blit(const PixelBuffer& dst, const FrameRect& dstRect, const PixelBuffer& src,
                       const FrameRect& srcRect)
{
    if (!RectInside(dstRect, dst) || !RectInside(srcRect, src)) return false;
    std::uint8_t* to = dst.bits + static_cast<std::ptrdiff_t>(dstRect.top) * dst.stride + dstRect.left * 4;
    const std::uint8_t* from = src.bits + static_cast<std::ptrdiff_t>(srcRect.top) * src.stride + srcRect.left * 4;

    if (dstRect.Width() == srcRect.Width() && dstRect.Height() == srcRect.Height()) {
        const std::size_t rowBytes = static_cast<std::size_t>(dstRect.Width()) * 4;
        for (int y = 0; y < dstRect.Height(); ++y)
            std::memcpy(to + static_cast<std::ptrdiff_t>(y) * dst.stride,
                        from + static_cast<std::ptrdiff_t>(y) * src.stride, rowBytes);
        return true;
    }

    Impl& s = *m_impl;
    if (!s.sws || s.srcW != srcRect.Width() || s.srcH != srcRect.Height() || s.dstW != dstRect.Width() ||
        s.dstH != dstRect.Height()) {
        // Bilinear adapts its filter to the scale, so shrinking to a thumbnail
        // averages instead of picking scattered pixels.
        s.sws.reset(sws_getContext(srcRect.Width(), srcRect.Height(), AV_PIX_FMT_BGRA, dstRect.Width(),
                                   dstRect.Height(), AV_PIX_FMT_BGRA, SWS_BILINEAR, nullptr, nullptr, nullptr));
        if (!s.sws) return false;
        s.srcW = srcRect.Width();
        s.srcH = srcRect.Height();
        s.dstW = dstRect.Width();
        s.dstH = dstRect.Height();
    }
    const std::uint8_t* srcPlanes[4] = {from, nullptr, nullptr, nullptr};
    const int srcStrides[4] = {src.stride, 0, 0, 0};
    std::uint8_t* dstPlanes[4] = {to, nullptr, nullptr, nullptr};
    const int dstStrides[4] = {dst.stride, 0, 0, 0};
    return sws_scale(s.sws.get(), srcPlanes, srcStrides, 0, srcRect.Height(), dstPlanes, dstStrides) > 0;
}

}  // namespace media
