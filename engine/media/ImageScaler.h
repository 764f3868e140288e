#pragma once
// Copies a rectangle of one 32-bit RGB pixel area into a rectangle of
// another: a plain row copy when the sizes agree, a filtered stretch
// (libswscale) when they do not. The engine's surface blits go through it.

#include <memory>

#include "engine/media/MediaTypes.h"

namespace media {

class ImageScaler {
public:
    ImageScaler();
    ~ImageScaler();
    ImageScaler(const ImageScaler&) = delete;
    ImageScaler& operator=(const ImageScaler&) = delete;

    // Both rectangles must lie inside their areas and be non-empty. The two
    // areas must not overlap.
    bool Blit(const PixelBuffer& dst, const FrameRect& dstRect, const PixelBuffer& src, const FrameRect& srcRect);

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

bool RectInside(const FrameRect& rect, const PixelBuffer& area);

}  // namespace media
