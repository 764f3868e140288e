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
BlendKernel FastestBlendKernel();
// With a kernel of one's choosing; one the processor lacks falls back to
// the fastest it has.
void BlendAssImages(const ass_image* images, const PixelBuffer& target, const FrameRect& rect, BlendKernel kernel);
// The images each moved by (dx, dy).
void BlendAssImagesAt(const ass_image* images, int dx, int dy, const PixelBuffer& target, const FrameRect& rect,
                      BlendKernel kernel = FastestBlendKernel());

// Paints libass's images, placed relative to (left, top), into a
// premultiplied 0xAARRGGBB picture of `width` x `height` (cleared, or
// painted before): what blending it over a picture then gives is what
// blending the images into it would, to a level.
void CompositeAssImages(const ass_image* images, int left, int top, int width, int height, std::uint32_t* out,
                        BlendKernel kernel = FastestBlendKernel());

// Blends a premultiplied 0xAARRGGBB picture of `width` x `height`, or a run
// of `count` such pixels on one row, at (x, y) relative to `rect`'s corner.
void BlendPremultiplied(const std::uint32_t* pixels, int width, int height, const PixelBuffer& target,
                        const FrameRect& rect, int x, int y, BlendKernel kernel = FastestBlendKernel());
void BlendPremultipliedRun(const std::uint32_t* pixels, int count, const PixelBuffer& target, const FrameRect& rect,
                           int x, int y, BlendKernel kernel = FastestBlendKernel());
// `count` premultiplied pixels over as many of another premultiplied
// picture, in place: what blending `dst` over a picture then gives is what
// blending `dst` as it was, then `src`, would, to a level.
void FlattenPremultipliedRun(const std::uint32_t* src, int count, std::uint32_t* dst,
                             BlendKernel kernel = FastestBlendKernel());

// The part (x, y, width, height) of a palette picture as a premultiplied
// picture of `outWidth` x `outHeight`. False when it cannot be made.
bool ScalePalettePicture(const BitmapRect& source, int x, int y, int width, int height, int outWidth,
                         int outHeight, std::vector<std::uint32_t>& out);

}  // namespace media
