#include "engine/media/SubtitleBlend.h"

#include <ass/ass.h>

#include <algorithm>
#include <cstring>

#include "engine/media/FfmpegUtil.h"
#include "engine/media/MediaLimits.h"
#include "engine/media/SubtitleDecoder.h"

namespace media {
namespace {

// x / 255, rounded, for x up to 255 * 255.
inline std::uint32_t Div255(std::uint32_t x)
{
    return (x + 128 + ((x + 128) >> 8)) >> 8;
}

// The part of a w x h picture at (x, y) of `rect` that lies inside it, in
// the picture's own coordinates: false when nothing does.
struct Clip {
    int srcX, srcY, dstX, dstY, width, height;
};
bool ClipTo(const FrameRect& rect, int x, int y, int w, int h, Clip& c)
{
    const int left = std::max(0, -x), top = std::max(0, -y);
    const int right = std::min(w, rect.Width() - x), bottom = std::min(h, rect.Height() - y);
    if (right <= left || bottom <= top) return false;
    c = Clip{left, top, rect.left + x + left, rect.top + y + top, right - left, bottom - top};
    return true;
}

void BlendMask(const ASS_Image& image, const PixelBuffer& target, const FrameRect& rect)
{
    Clip c;
    if (image.w <= 0 || image.h <= 0 || !image.bitmap || !ClipTo(rect, image.dst_x, image.dst_y, image.w, image.h, c))
        return;
    // RRGGBBAA, AA the transparency.
    const std::uint32_t opacity = 255 - (image.color & 0xFF);
    if (opacity == 0) return;
    const std::uint32_t r = image.color >> 24, g = (image.color >> 16) & 0xFF, b = (image.color >> 8) & 0xFF;
    for (int row = 0; row < c.height; ++row) {
        const std::uint8_t* mask = image.bitmap + std::ptrdiff_t{c.srcY + row} * image.stride + c.srcX;
        auto* dst = reinterpret_cast<std::uint32_t*>(target.bits + std::ptrdiff_t{c.dstY + row} * target.stride) + c.dstX;
        int col = 0;
        while (col < c.width) {
            // Most of a glyph run's box is empty: skip it eight at a time.
            if (col + 8 <= c.width) {
                std::uint64_t eight;
                std::memcpy(&eight, mask + col, 8);
                if (eight == 0) {
                    col += 8;
                    continue;
                }
            }
            const std::uint32_t m = mask[col];
            if (m != 0) {
                const std::uint32_t a = Div255(m * opacity);
                const std::uint32_t inv = 255 - a;
                const std::uint32_t p = dst[col];
                const std::uint32_t pr = (p >> 16) & 0xFF, pg = (p >> 8) & 0xFF, pb = p & 0xFF;
                dst[col] = 0xFF000000u | Div255(r * a + pr * inv) << 16 | Div255(g * a + pg * inv) << 8 |
                           Div255(b * a + pb * inv);
            }
            ++col;
        }
    }
}

}  // namespace

void BlendAssImages(const ass_image* images, const PixelBuffer& target, const FrameRect& rect)
{
    for (const ASS_Image* image = images; image; image = image->next) BlendMask(*image, target, rect);
}

void BlendPremultiplied(const std::uint32_t* pixels, int width, int height, const PixelBuffer& target,
                        const FrameRect& rect, int x, int y)
{
    Clip c;
    if (!pixels || !ClipTo(rect, x, y, width, height, c)) return;
    for (int row = 0; row < c.height; ++row) {
        const std::uint32_t* src = pixels + std::ptrdiff_t{c.srcY + row} * width + c.srcX;
        auto* dst = reinterpret_cast<std::uint32_t*>(target.bits + std::ptrdiff_t{c.dstY + row} * target.stride) + c.dstX;
        for (int col = 0; col < c.width; ++col) {
            const std::uint32_t s = src[col];
            const std::uint32_t a = s >> 24;
            if (a == 0) continue;
            const std::uint32_t inv = 255 - a, p = dst[col];
            const std::uint32_t red = std::min<std::uint32_t>(255, ((s >> 16) & 0xFF) + Div255(((p >> 16) & 0xFF) * inv));
            const std::uint32_t green = std::min<std::uint32_t>(255, ((s >> 8) & 0xFF) + Div255(((p >> 8) & 0xFF) * inv));
            const std::uint32_t blue = std::min<std::uint32_t>(255, (s & 0xFF) + Div255((p & 0xFF) * inv));
            dst[col] = 0xFF000000u | red << 16 | green << 8 | blue;
        }
    }
}

bool ScalePalettePicture(const BitmapRect& source, int x, int y, int width, int height, int outWidth, int outHeight,
                         std::vector<std::uint32_t>& out)
{
    if (width <= 0 || height <= 0 || !FrameSizeAcceptable(outWidth, outHeight) || x < 0 || y < 0 ||
        x + width > source.width || y + height > source.height || source.palette.size() < 256)
        return false;
    // The palette's colours, premultiplied, so that scaling blends the
    // edges with transparency rather than with the colour of what is not
    // there.
    std::uint32_t palette[256];
    for (int i = 0; i < 256; ++i) {
        const std::uint32_t c = source.palette[static_cast<std::size_t>(i)], a = c >> 24;
        palette[i] = a << 24 | Div255(((c >> 16) & 0xFF) * a) << 16 | Div255(((c >> 8) & 0xFF) * a) << 8 |
                     Div255((c & 0xFF) * a);
    }
    std::vector<std::uint32_t> straight(static_cast<std::size_t>(width) * height);
    for (int row = 0; row < height; ++row) {
        const std::uint8_t* in = &source.indices[static_cast<std::size_t>(y + row) * source.width + x];
        std::uint32_t* line = &straight[static_cast<std::size_t>(row) * width];
        for (int col = 0; col < width; ++col) line[col] = palette[in[col]];
    }
    out.assign(static_cast<std::size_t>(outWidth) * outHeight, 0);
    if (outWidth == width && outHeight == height) {
        out = std::move(straight);
        return true;
    }
    // BGRA in memory is 0xAARRGGBB in a little-endian word.
    SwsPtr sws(sws_getContext(width, height, AV_PIX_FMT_BGRA, outWidth, outHeight, AV_PIX_FMT_BGRA, SWS_BILINEAR,
                              nullptr, nullptr, nullptr));
    if (!sws) return false;
    const std::uint8_t* src[4] = {reinterpret_cast<const std::uint8_t*>(straight.data()), nullptr, nullptr, nullptr};
    const int srcStride[4] = {width * 4, 0, 0, 0};
    std::uint8_t* dst[4] = {reinterpret_cast<std::uint8_t*>(out.data()), nullptr, nullptr, nullptr};
    const int dstStride[4] = {outWidth * 4, 0, 0, 0};
    return sws_scale(sws.get(), src, srcStride, 0, height, dst, dstStride) == outHeight;
}

}  // namespace media
