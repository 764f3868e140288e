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

// What one of libass's masks is painted with.
struct Ink {
    std::uint32_t opacity;  // 0..255
    std::uint32_t rb;       // the colour's red and blue, as 0x00RR00BB
    std::uint32_t g;        // its green, as 0x000000GG
};

Ink InkOf(std::uint32_t rgba)  // RRGGBBAA, AA the transparency
{
    return Ink{255 - (rgba & 0xFF), (rgba >> 24) << 16 | ((rgba >> 8) & 0xFF), (rgba >> 16) & 0xFF};
}

// The one rounding every path shares, so that all of them give the same
// picture to the bit: coverage m scaled by the ink's opacity, then the
// colour mixed in by that much.
inline std::uint32_t BlendPixel(std::uint32_t p, std::uint32_t m, const Ink& ink)
{
    const std::uint32_t a = Div255(m * ink.opacity), inv = 255 - a;
    const std::uint32_t rb = p & 0x00FF00FF, g = (p >> 8) & 0xFF;
    return 0xFF000000u | Div255(((ink.rb >> 16) * a + (rb >> 16) * inv)) << 16 |
           Div255((ink.g * a + g * inv)) << 8 | Div255(((ink.rb & 0xFF) * a + (rb & 0xFF) * inv));
}

// The same into a premultiplied picture of our own, whose alpha gathers too
// (the ink is fully opaque in its own right, as alpha 255).
inline std::uint32_t CompositePixel(std::uint32_t p, std::uint32_t m, const Ink& ink)
{
    const std::uint32_t a = Div255(m * ink.opacity), inv = 255 - a;
    return Div255(255 * a + (p >> 24) * inv) << 24 | (BlendPixel(p, m, ink) & 0x00FFFFFFu);
}

// The rows of a mask and of the picture under it, clipped to each other.
struct MaskRows {
    const std::uint8_t* mask;
    std::ptrdiff_t maskStride;
    std::uint8_t* dst;
    std::ptrdiff_t dstStride;
    int width, height;
};

template <bool kAlpha>
inline std::uint32_t MaskPixel(std::uint32_t p, std::uint32_t m, const Ink& ink)
{
    return kAlpha ? CompositePixel(p, m, ink) : BlendPixel(p, m, ink);
}

template <bool kAlpha>
void BlendRowsScalar(const MaskRows& r, const Ink& ink)
{
    for (int row = 0; row < r.height; ++row) {
        const std::uint8_t* mask = r.mask + row * r.maskStride;
        auto* dst = reinterpret_cast<std::uint32_t*>(r.dst + row * r.dstStride);
        for (int col = 0; col < r.width; ++col)
            if (mask[col] != 0) dst[col] = MaskPixel<kAlpha>(dst[col], mask[col], ink);
    }
}

using U64x2 = std::uint64_t __attribute__((vector_size(16)));
using U8x16 = std::uint8_t __attribute__((vector_size(16)));
using U16x8 = std::uint16_t __attribute__((vector_size(16)));

// Eight mask bytes widened to 16-bit lanes: an interleave with zeros,
// which every vector unit does in one instruction.
[[gnu::always_inline]] inline U16x8 WidenBytes(std::uint64_t eight)
{
    const U8x16 bytes = (U8x16)U64x2{eight, 0}, zero{};
    return (U16x8)__builtin_shufflevector(bytes, zero, 0, 16, 1, 17, 2, 18, 3, 19, 4, 20, 5, 21, 6, 22, 7, 23);
}

// Those widened again to 32-bit lanes, kLanes of them from `first` on
// (AVX2 takes all eight at once). Vectors wider than the baseline's go by
// reference: as arguments or results of a call they would change its ABI.
template <int kLanes>
struct Vectors;
template <>
struct Vectors<4> {
    using U32 = std::uint32_t __attribute__((vector_size(16)));
    using U16 = std::uint16_t __attribute__((vector_size(16)));
    template <int first>
    [[gnu::always_inline]] static void Widen(const U16x8& m, U32& out)
    {
        const U16x8 zero{};
        out = (U32)__builtin_shufflevector(m, zero, first, 8, first + 1, 8, first + 2, 8, first + 3, 8);
    }
};
template <>
struct Vectors<8> {
    using U32 = std::uint32_t __attribute__((vector_size(32)));
    using U16 = std::uint16_t __attribute__((vector_size(32)));
    template <int first>
    [[gnu::always_inline]] static void Widen(const U16x8& m, U32& out)
    {
        out = __builtin_convertvector(m, U32);
    }
};

// Div255 in every 16-bit lane.
template <typename U16>
[[gnu::always_inline]] inline void Div255Lanes(U16& x)
{
    x += 128;
    x = (x + (x >> 8)) >> 8;
}

// kLanes pixels a step, in the compiler's vectors: the same arithmetic as
// BlendPixel (CompositePixel with kAlpha), with red and blue side by side
// in the two 16-bit halves of a pixel, and green beside alpha (every
// product and sum stays below 65536). A pixel the mask leaves uncovered
// comes out as it went in (p * 255 / 255), so there is no branch per pixel;
// only runs of eight empty mask bytes, most of a turned line's box, are
// skipped.
template <int kLanes, bool kOpaque, bool kAlpha>
[[gnu::always_inline]] inline void BlendRowsVector(const MaskRows& r, const Ink& ink)
{
    using U32 = typename Vectors<kLanes>::U32;
    using U16 = typename Vectors<kLanes>::U16;
    constexpr std::uint32_t kAg = kAlpha ? 0x00FF00FFu : 0xFFu;  // the lanes beside red and blue
    const U16 opacity = (U16)(U32{} + ink.opacity);
    const U16 inkRb = (U16)(U32{} + ink.rb), inkG = (U16)(U32{} + (kAlpha ? 0x00FF0000u | ink.g : ink.g));
    // One step: kLanes pixels from `at`, their coverage from `m`.
    const auto step = [&](std::uint8_t* at, const U32& m) __attribute__((always_inline)) {
        U16 a = (U16)m;  // in the low halves
        if constexpr (!kOpaque) {
            a *= opacity;
            Div255Lanes(a);
        }
        const U16 aa = (U16)((U32)a | (U32)a << 16);
        const U16 inv = (U16)(U32{} + 0x00FF00FFu) - aa;
        U32 p;
        std::memcpy(&p, at, sizeof p);
        U16 rb = (U16)(p & 0x00FF00FFu) * inv + inkRb * aa;
        U16 g = (U16)((p >> 8) & kAg) * inv + inkG * aa;
        Div255Lanes(rb);
        Div255Lanes(g);
        const U32 out = (U32)rb | (U32)g << 8 | (kAlpha ? 0u : 0xFF000000u);
        std::memcpy(at, &out, sizeof out);
    };
    const int width = r.width, height = r.height;
    for (int row = 0; row < height; ++row) {
        const std::uint8_t* mask = r.mask + row * r.maskStride;
        std::uint8_t* dst = r.dst + row * r.dstStride;
        int col = 0;
        for (; col + 8 <= width; col += 8) {
            std::uint64_t eight;
            std::memcpy(&eight, mask + col, sizeof eight);
            if (eight == 0) continue;
            const U16x8 bytes = WidenBytes(eight);
            U32 m;
            Vectors<kLanes>::template Widen<0>(bytes, m);
            step(dst + col * 4, m);
            if constexpr (kLanes == 4) {
                Vectors<kLanes>::template Widen<4>(bytes, m);
                step(dst + col * 4 + 16, m);
            }
        }
        auto* tail = reinterpret_cast<std::uint32_t*>(dst);
        for (; col < width; ++col)
            if (mask[col] != 0) tail[col] = MaskPixel<kAlpha>(tail[col], mask[col], ink);
    }
}

// Most masks are painted fully opaque (the fill and the outline), where
// the coverage is the blend's weight as it is.
template <int kLanes, bool kAlpha>
[[gnu::always_inline]] inline void BlendRowsVector(const MaskRows& r, const Ink& ink)
{
    if (ink.opacity == 255)
        BlendRowsVector<kLanes, true, kAlpha>(r, ink);
    else
        BlendRowsVector<kLanes, false, kAlpha>(r, ink);
}

// Whether no lane of `v` has a bit of `bits` set.
template <typename U32>
[[gnu::always_inline]] inline bool NoneOf(const U32& v, std::uint32_t bits)
{
    const U32 masked = v & bits;
    std::uint64_t words[sizeof masked / 8];
    std::memcpy(words, &masked, sizeof masked);
    std::uint64_t any = 0;
    for (const std::uint64_t w : words) any |= w;
    return any == 0;
}

// A premultiplied picture over an opaque one: each channel is the
// picture's plus what its alpha leaves of the one under it; or, kAlpha,
// over another premultiplied picture, whose alpha gathers too. Runs of
// empty pixels are skipped (a transparent one with colour still adds it,
// the same in every kernel); each sum is held to 255 for pictures whose
// colours stand a level over their alpha (scaled ones).
template <bool kAlpha>
inline std::uint32_t OverPixel(std::uint32_t s, std::uint32_t d)
{
    const std::uint32_t inv = 255 - (s >> 24);
    const auto channel = [&](int shift) {
        return std::min<std::uint32_t>(255, ((s >> shift) & 0xFF) + Div255(((d >> shift) & 0xFF) * inv)) << shift;
    };
    return (kAlpha ? channel(24) : 0xFF000000u) | channel(16) | channel(8) | channel(0);
}

template <bool kAlpha>
void OverRunScalar(const std::uint32_t* src, std::uint32_t* dst, int count)
{
    for (int i = 0; i < count; ++i)
        if (src[i] != 0) dst[i] = OverPixel<kAlpha>(src[i], dst[i]);
}

template <int kLanes, bool kAlpha>
[[gnu::always_inline]] inline void OverRunVector(const std::uint32_t* src, std::uint32_t* dst, int count)
{
    using U32 = typename Vectors<kLanes>::U32;
    using U16 = typename Vectors<kLanes>::U16;
    constexpr std::uint32_t kAg = kAlpha ? 0x00FF00FFu : 0xFFu;  // the lanes beside red and blue
    const U16 most = (U16)(U32{} + 0x00FF00FFu);
    int i = 0;
    for (; i + kLanes <= count; i += kLanes) {
        U32 s;
        std::memcpy(&s, src + i, sizeof s);
        if (NoneOf(s, 0xFFFFFFFFu)) continue;
        const U32 a = s >> 24;
        const U16 inv = most - (U16)(a | a << 16);
        U32 d;
        std::memcpy(&d, dst + i, sizeof d);
        U16 rb = (U16)(d & 0x00FF00FFu) * inv;
        U16 g = (U16)((d >> 8) & kAg) * inv;
        Div255Lanes(rb);
        Div255Lanes(g);
        rb += (U16)(s & 0x00FF00FFu);
        g += (U16)((s >> 8) & kAg);
        rb = rb > most ? most : rb;
        g = g > most ? most : g;
        const U32 out = (U32)rb | (U32)g << 8 | (kAlpha ? 0u : 0xFF000000u);
        std::memcpy(dst + i, &out, sizeof out);
    }
    OverRunScalar<kAlpha>(src + i, dst + i, count - i);
}

template <bool kAlpha>
void BlendRowsGeneric(const MaskRows& r, const Ink& ink)
{
    BlendRowsVector<4, kAlpha>(r, ink);
}

template <bool kAlpha>
void OverRunGeneric(const std::uint32_t* src, std::uint32_t* dst, int count)
{
    OverRunVector<4, kAlpha>(src, dst, count);
}

#if defined(__x86_64__) || defined(__i386__)
template <bool kAlpha>
[[gnu::target("avx2")]] void BlendRowsAvx2(const MaskRows& r, const Ink& ink)
{
    BlendRowsVector<8, kAlpha>(r, ink);
}

template <bool kAlpha>
[[gnu::target("avx2")]] void OverRunAvx2(const std::uint32_t* src, std::uint32_t* dst, int count)
{
    OverRunVector<8, kAlpha>(src, dst, count);
}
#endif

using BlendRows = void (*)(const MaskRows&, const Ink&);
using OverRun = void (*)(const std::uint32_t*, std::uint32_t*, int);

// Of a kernel's three builds, the one for `kernel`.
template <typename Kernel>
Kernel Pick(BlendKernel kernel, Kernel scalar, Kernel generic, [[maybe_unused]] Kernel avx2)
{
    switch (kernel) {
    case BlendKernel::Scalar: return scalar;
    case BlendKernel::Generic: return generic;
#if defined(__x86_64__) || defined(__i386__)
    case BlendKernel::Avx2: return avx2;
#endif
    default: return nullptr;
    }
}

// Masks into an opaque picture, or (kAlpha) into a premultiplied one.
template <bool kAlpha>
BlendRows RowsFor(BlendKernel kernel)
{
#if defined(__x86_64__) || defined(__i386__)
    return Pick<BlendRows>(kernel, &BlendRowsScalar<kAlpha>, &BlendRowsGeneric<kAlpha>, &BlendRowsAvx2<kAlpha>);
#else
    return Pick<BlendRows>(kernel, &BlendRowsScalar<kAlpha>, &BlendRowsGeneric<kAlpha>, nullptr);
#endif
}

// A premultiplied picture over an opaque one, or (kAlpha) a premultiplied one.
template <bool kAlpha>
OverRun OverFor(BlendKernel kernel)
{
#if defined(__x86_64__) || defined(__i386__)
    return Pick<OverRun>(kernel, &OverRunScalar<kAlpha>, &OverRunGeneric<kAlpha>, &OverRunAvx2<kAlpha>);
#else
    return Pick<OverRun>(kernel, &OverRunScalar<kAlpha>, &OverRunGeneric<kAlpha>, nullptr);
#endif
}

void BlendMask(const ASS_Image& image, const PixelBuffer& target, const FrameRect& rect, BlendRows rows)
{
    Clip c;
    if (image.w <= 0 || image.h <= 0 || !image.bitmap || !ClipTo(rect, image.dst_x, image.dst_y, image.w, image.h, c))
        return;
    const Ink ink = InkOf(image.color);
    if (ink.opacity == 0) return;
    rows(MaskRows{image.bitmap + std::ptrdiff_t{c.srcY} * image.stride + c.srcX, image.stride,
                  target.bits + std::ptrdiff_t{c.dstY} * target.stride + std::ptrdiff_t{c.dstX} * 4, target.stride,
                  c.width, c.height},
         ink);
}

}  // namespace

bool BlendKernelAvailable(BlendKernel kernel)
{
    switch (kernel) {
    case BlendKernel::Scalar:
    case BlendKernel::Generic: return true;
    case BlendKernel::Avx2:
#if defined(__x86_64__) || defined(__i386__)
        return __builtin_cpu_supports("avx2");
#else
        return false;
#endif
    }
    return false;
}

BlendKernel FastestBlendKernel()
{
    static const BlendKernel fastest = BlendKernelAvailable(BlendKernel::Avx2) ? BlendKernel::Avx2 : BlendKernel::Generic;
    return fastest;
}

BlendKernel Usable(BlendKernel kernel)
{
    return BlendKernelAvailable(kernel) ? kernel : FastestBlendKernel();
}

void BlendAssImagesAt(const ass_image* images, int dx, int dy, const PixelBuffer& target, const FrameRect& rect,
                      BlendKernel kernel)
{
    const BlendRows rows = RowsFor<false>(Usable(kernel));
    for (const ASS_Image* image = images; image; image = image->next) {
        ASS_Image moved = *image;
        moved.dst_x += dx;
        moved.dst_y += dy;
        BlendMask(moved, target, rect, rows);
    }
}

void BlendAssImages(const ass_image* images, const PixelBuffer& target, const FrameRect& rect, BlendKernel kernel)
{
    BlendAssImagesAt(images, 0, 0, target, rect, kernel);
}

void BlendAssImages(const ass_image* images, const PixelBuffer& target, const FrameRect& rect)
{
    BlendAssImages(images, target, rect, FastestBlendKernel());
}

void CompositeAssImages(const ass_image* images, int left, int top, int width, int height, std::uint32_t* out,
                        BlendKernel kernel)
{
    const BlendRows rows = RowsFor<true>(Usable(kernel));
    const PixelBuffer picture{reinterpret_cast<std::uint8_t*>(out), width * 4, width, height};
    for (const ASS_Image* image = images; image; image = image->next) {
        ASS_Image moved = *image;
        moved.dst_x -= left;
        moved.dst_y -= top;
        BlendMask(moved, picture, FrameRect{0, 0, width, height}, rows);
    }
}

void BlendPremultiplied(const std::uint32_t* pixels, int width, int height, const PixelBuffer& target,
                        const FrameRect& rect, int x, int y, BlendKernel kernel)
{
    Clip c;
    if (!pixels || !ClipTo(rect, x, y, width, height, c)) return;
    const OverRun over = OverFor<false>(Usable(kernel));
    for (int row = 0; row < c.height; ++row)
        over(pixels + std::ptrdiff_t{c.srcY + row} * width + c.srcX,
             reinterpret_cast<std::uint32_t*>(target.bits + std::ptrdiff_t{c.dstY + row} * target.stride) + c.dstX,
             c.width);
}

void BlendPremultipliedRun(const std::uint32_t* pixels, int count, const PixelBuffer& target, const FrameRect& rect,
                           int x, int y, BlendKernel kernel)
{
    BlendPremultiplied(pixels, count, 1, target, rect, x, y, kernel);
}

void FlattenPremultipliedRun(const std::uint32_t* src, int count, std::uint32_t* dst, BlendKernel kernel)
{
    if (count > 0) OverFor<true>(Usable(kernel))(src, dst, count);
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
