#pragma once
// Laying subtitles over a converted picture: libass's alpha masks in their
// colours, and bitmap subtitles' palette pictures scaled to the picture's
// size. Everything is clipped to the picture's rectangle.

#include <cstdint>
#include <vector>

#include "engine/media/MediaTypes.h"

struct ass_image;

namespace media {

struct BitmapRect;

// Blends libass's images, placed relative to `rect`'s corner, into `rect`
// of `target`, with the fastest kernel this processor runs.
void BlendAssImages(const ass_image* images, const PixelBuffer& target, const FrameRect& rect);

// The ways of blending a mask: one pixel at a time, in the compiler's
// portable vectors, or in AVX2's. Each gives the same picture to the bit.
enum class BlendKernel { Scalar, Generic, Avx2 };
bool BlendKernelAvailable(BlendKernel kernel);
// With a kernel of one's choosing; one the processor lacks falls back to
// the fastest it has.
void BlendAssImages(const ass_image* images, const PixelBuffer& target, const FrameRect& rect, BlendKernel kernel);

// Blends a premultiplied 0xAARRGGBB picture of `width` x `height` at (x, y)
// relative to `rect`'s corner.
void BlendPremultiplied(const std::uint32_t* pixels, int width, int height, const PixelBuffer& target,
                        const FrameRect& rect, int x, int y);

// The part (x, y, width, height) of a palette picture as a premultiplied
// picture of `outWidth` x `outHeight`. False when it cannot be made.
bool ScalePalettePicture(const BitmapRect& source, int x, int y, int width, int height, int outWidth,
                         int outHeight, std::vector<std::uint32_t>& out);

}  // namespace media
