#include "engine/media/picture/ZimgPicture.h"

#include <cstdlib>
#include <cstring>

#include "engine/media/picture/ToneMap.h"

extern "C" {
#include <libavutil/pixdesc.h>
}

namespace media {
namespace {

// zimg's buffers are read and written with SIMD: 64-byte rows and bases.
constexpr std::size_t kAlign = 64;

std::size_t AlignUp(std::size_t n)
{
    return (n + kAlign - 1) / kAlign * kAlign;
}

struct FreeAligned {
    void operator()(void* p) const { std::free(p); }
};
using AlignedPtr = std::unique_ptr<std::uint8_t, FreeAligned>;

AlignedPtr AllocateAligned(std::size_t bytes)
{
    return AlignedPtr(static_cast<std::uint8_t*>(std::aligned_alloc(kAlign, AlignUp(std::max<std::size_t>(bytes, 1)))));
}

// A 16 x 16 ordered dither, each threshold a 16-bit fraction: 8-bit steps
// on a dark 10-bit gradient become a fine pattern instead of bands.
struct Dither {
    std::uint32_t t[16][16];
    Dither()
    {
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x) {
                // Bayer index by bit interleaving.
                int v = 0;
                for (int bit = 0; bit < 4; ++bit)
                    v |= (((x ^ y) >> bit & 1) << (2 * bit + 1)) | ((y >> bit & 1) << (2 * bit));
                t[y][x] = static_cast<std::uint32_t>((v * 2 + 1) * 65536 / 512);
            }
    }
};
const Dither kDither;

}  // namespace

struct ZimgPicture::Graph {
    zimg_filter_graph* graph = nullptr;
    AlignedPtr tmp;
    AlignedPtr ring;  // the output lines zimg keeps, before they are packed into the target
    zimg_image_buffer out{};
    bool words = false;  // the output is 16-bit (the HDR path)
    ~Graph() { zimg_filter_graph_free(graph); }
};

ZimgPicture::ZimgPicture() = default;
ZimgPicture::~ZimgPicture() = default;

bool ZimgPicture::Build(const PictureColours& colours, int width, int height)
{
    m_graph.reset();
    zimg_image_format out = colours.format;
    out.width = static_cast<unsigned>(width);
    out.height = static_cast<unsigned>(height);
    out.subsample_w = out.subsample_h = 0;
    out.color_family = ZIMG_COLOR_RGB;
    out.matrix_coefficients = ZIMG_MATRIX_RGB;
    out.pixel_range = ZIMG_RANGE_FULL;
    out.color_primaries = ZIMG_PRIMARIES_BT709;
    // SDR comes out as the display shows it; HDR as PQ-coded light of the
    // display's primaries, for the tone map to bring down.
    out.transfer_characteristics = colours.hdr ? ZIMG_TRANSFER_ST2084 : ZIMG_TRANSFER_BT709;
    out.pixel_type = colours.hdr ? ZIMG_PIXEL_WORD : ZIMG_PIXEL_BYTE;
    out.depth = colours.hdr ? 16 : 8;
    // A grey picture is read as YUV with neutral chroma would be: zimg
    // widens it to RGB itself.
    zimg_graph_builder_params params;
    zimg_graph_builder_params_default(&params, ZIMG_API_VERSION);
    // Spline36 for the picture: sharp when enlarging without lanczos'
    // ringing, and widened by zimg into an anti-aliasing filter when
    // reducing. Chroma bilinear at its siting: it is half the size anyway.
    params.resample_filter = ZIMG_RESIZE_SPLINE36;
    params.resample_filter_uv = ZIMG_RESIZE_BILINEAR;
    params.dither_type = ZIMG_DITHER_ORDERED;
    // Exact transfer functions cost fifteen times as much for a difference
    // far below an 8-bit step.
    params.allow_approximate_gamma = 1;

    auto g = std::make_unique<Graph>();
    g->graph = zimg_filter_graph_build(&colours.format, &out, &params);
    if (!g->graph) return false;
    std::size_t tmp = 0;
    unsigned lines = 0;
    if (zimg_filter_graph_get_tmp_size(g->graph, &tmp) || zimg_filter_graph_get_output_buffering(g->graph, &lines))
        return false;
    const unsigned mask = zimg_select_buffer_mask(lines);
    const std::size_t rows = mask == ZIMG_BUFFER_MAX ? static_cast<std::size_t>(height) : mask + 1;
    const std::size_t stride = AlignUp(static_cast<std::size_t>(width) * (colours.hdr ? 2 : 1));
    g->tmp = AllocateAligned(tmp);
    g->ring = AllocateAligned(stride * rows * 3);
    if (!g->tmp || !g->ring) return false;
    g->words = colours.hdr;
    g->out.version = ZIMG_API_VERSION;
    for (int p = 0; p < 3; ++p) {
        g->out.plane[p].data = g->ring.get() + static_cast<std::size_t>(p) * stride * rows;
        g->out.plane[p].stride = static_cast<std::ptrdiff_t>(stride);
        g->out.plane[p].mask = mask;
    }
    if (colours.hdr && (m_toneMap.empty() || m_toneMapPeak != colours.peakNits)) {
        m_toneMap = ToneMapTable(colours.peakNits);
        m_toneMapPeak = colours.peakNits;
    }
    m_graph = std::move(g);
    return true;
}

namespace {

// Where zimg hands over finished lines: packed into the target as 32-bit
// RGB, through the tone map and the dither for HDR.
struct Packer {
    const zimg_image_buffer* ring;
    std::uint8_t* target;
    std::ptrdiff_t stride;
    const std::uint16_t* toneMap;  // null: 8-bit lines, already dithered
};

template <typename T>
const T* Line(const zimg_image_buffer* b, int plane, unsigned i)
{
    const auto& p = b->plane[plane];
    return reinterpret_cast<const T*>(static_cast<const std::uint8_t*>(p.data) + static_cast<std::ptrdiff_t>(i & p.mask) * p.stride);
}

int Pack(void* user, unsigned i, unsigned left, unsigned right)
{
    const auto* p = static_cast<const Packer*>(user);
    auto* out = reinterpret_cast<std::uint32_t*>(p->target + static_cast<std::ptrdiff_t>(i) * p->stride);
    if (!p->toneMap) {
        const auto *r = Line<std::uint8_t>(p->ring, 0, i), *g = Line<std::uint8_t>(p->ring, 1, i),
                   *b = Line<std::uint8_t>(p->ring, 2, i);
        for (unsigned x = left; x < right; ++x) out[x] = 0xff000000u | std::uint32_t(r[x]) << 16 | std::uint32_t(g[x]) << 8 | b[x];
        return 0;
    }
    const auto *r = Line<std::uint16_t>(p->ring, 0, i), *g = Line<std::uint16_t>(p->ring, 1, i),
               *b = Line<std::uint16_t>(p->ring, 2, i);
    const std::uint32_t* threshold = kDither.t[i & 15];
    auto to8 = [&](std::uint16_t code, unsigned x) {
        return (std::uint32_t(p->toneMap[code]) * 255 + threshold[x & 15]) >> 16;
    };
    for (unsigned x = left; x < right; ++x) out[x] = 0xff000000u | to8(r[x], x) << 16 | to8(g[x], x) << 8 | to8(b[x], x);
    return 0;
}

}  // namespace

bool ZimgPicture::Convert(const AVFrame* frame, const PixelBuffer& target, const FrameRect& rect)
{
    const int width = rect.Width();
    const int height = rect.Height();
    if (frame->width <= 0 || frame->height <= 0 || width <= 0 || height <= 0 || !target.bits) return false;
    const PictureColours colours = ColoursOf(frame);
    if (!m_graph || !(colours == m_colours) || width != m_width || height != m_height) {
        m_colours = colours;
        m_width = width;
        m_height = height;
        if (!Build(colours, width, height)) return false;
    }
    zimg_image_buffer_const in{};
    in.version = ZIMG_API_VERSION;
    const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(frame->format));
    // zimg wants Y, U, V (or R, G, B) in planes 0, 1, 2, as the pixel
    // format's components come; a grey picture one.
    const int planes = colours.format.color_family == ZIMG_COLOR_GREY ? 1 : 3;
    for (int c = 0; c < planes; ++c) {
        const int plane = d->comp[c].plane;
        in.plane[c].data = frame->data[plane];
        in.plane[c].stride = frame->linesize[plane];
        in.plane[c].mask = ZIMG_BUFFER_MAX;
    }
    Packer packer{&m_graph->out,
                  target.bits + static_cast<std::ptrdiff_t>(rect.top) * target.stride + rect.left * 4,
                  target.stride, m_graph->words ? m_toneMap.data() : nullptr};
    return zimg_filter_graph_process(m_graph->graph, &in, &m_graph->out, m_graph->tmp.get(), nullptr, nullptr, &Pack,
                                     &packer) == 0;
}

}  // namespace media
