#include "engine/media/picture/ZimgPicture.h"

#include <cstdlib>
#include <cstring>

#include "engine/media/picture/PictureLines.h"

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

}  // namespace

struct ZimgPicture::Graph {
    zimg_filter_graph* graph = nullptr;
    AlignedPtr tmp;
    AlignedPtr ring;  // the output lines zimg keeps, before they go into the target
    zimg_image_buffer out{};
    ColourWay way = ColourWay::Zimg;
    LineMatrix matrix{};                 // while way is Matrix
    std::vector<std::uint16_t> neutral;  // a grey picture's chroma, for the matrix or the table
    ~Graph() { zimg_filter_graph_free(graph); }
};

ZimgPicture::ZimgPicture() = default;
ZimgPicture::~ZimgPicture() = default;

bool ZimgPicture::Build(const PictureColours& colours, int width, int height)
{
    m_graph.reset();
    auto g = std::make_unique<Graph>();
    g->way = WayOf(colours);
    if (g->way == ColourWay::Matrix && !MatrixFor(colours, g->matrix)) g->way = ColourWay::Zimg;
    zimg_image_format out;
    if (g->way != ColourWay::Zimg) {
        // zimg only reads the picture (size, chroma); our lines do the rest.
        out = LineInput(colours, g->way, static_cast<unsigned>(width), static_cast<unsigned>(height));
    } else {
        out = colours.format;
        out.width = static_cast<unsigned>(width);
        out.height = static_cast<unsigned>(height);
        out.subsample_w = out.subsample_h = 0;
        // A grey picture is read as YUV with neutral chroma would be: zimg
        // widens it to RGB itself.
        out.color_family = ZIMG_COLOR_RGB;
        out.matrix_coefficients = ZIMG_MATRIX_RGB;
        out.pixel_range = ZIMG_RANGE_FULL;
        out.color_primaries = ZIMG_PRIMARIES_BT709;
        out.transfer_characteristics = ZIMG_TRANSFER_BT709;
        out.pixel_type = ZIMG_PIXEL_BYTE;
        out.depth = 8;
    }
    const bool words = out.pixel_type == ZIMG_PIXEL_WORD;
    zimg_graph_builder_params params;
    zimg_graph_builder_params_default(&params, ZIMG_API_VERSION);
    // Spline36 for the picture: sharp when enlarging without lanczos'
    // ringing, and widened by zimg into an anti-aliasing filter when
    // reducing. Chroma bilinear at its siting: it is half the size anyway.
    params.resample_filter = ZIMG_RESIZE_SPLINE36;
    params.resample_filter_uv = ZIMG_RESIZE_BILINEAR;
    // 16-bit samples need no dither: our lines dither their 8-bit output.
    params.dither_type = words ? ZIMG_DITHER_NONE : ZIMG_DITHER_ORDERED;
    // Exact transfer functions cost fifteen times as much for a difference
    // far below an 8-bit step.
    params.allow_approximate_gamma = 1;

    g->graph = zimg_filter_graph_build(&colours.format, &out, &params);
    if (!g->graph) return false;
    std::size_t tmp = 0;
    unsigned lines = 0;
    if (zimg_filter_graph_get_tmp_size(g->graph, &tmp) || zimg_filter_graph_get_output_buffering(g->graph, &lines))
        return false;
    const unsigned mask = zimg_select_buffer_mask(lines);
    const std::size_t rows = mask == ZIMG_BUFFER_MAX ? static_cast<std::size_t>(height) : mask + 1;
    const std::size_t stride = AlignUp(static_cast<std::size_t>(width) * (words ? 2 : 1));
    g->tmp = AllocateAligned(tmp);
    g->ring = AllocateAligned(stride * rows * 3);
    if (!g->tmp || !g->ring) return false;
    if (words && out.color_family == ZIMG_COLOR_GREY) g->neutral.assign(static_cast<std::size_t>(width), 0x8000);
    g->out.version = ZIMG_API_VERSION;
    for (int p = 0; p < 3; ++p) {
        g->out.plane[p].data = g->ring.get() + static_cast<std::size_t>(p) * stride * rows;
        g->out.plane[p].stride = static_cast<std::ptrdiff_t>(stride);
        g->out.plane[p].mask = mask;
    }
    m_graph = std::move(g);
    return true;
}

namespace {

// Where zimg hands over finished lines: into the target as 32-bit RGB,
// through the matrix or the colour table, or as zimg made them.
struct Packer {
    const zimg_image_buffer* ring;
    std::uint8_t* target;
    std::ptrdiff_t stride;
    ColourWay way;
    const LineMatrix* matrix;
    const std::uint32_t* table;
    const std::uint16_t* neutral;  // a grey picture's chroma, or null
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
    if (p->way == ColourWay::Zimg) {
        PackLine(Line<std::uint8_t>(p->ring, 0, i) + left, Line<std::uint8_t>(p->ring, 1, i) + left,
                 Line<std::uint8_t>(p->ring, 2, i) + left, out + left, right - left);
        return 0;
    }
    const SampleLine line{{Line<std::uint16_t>(p->ring, 0, i), p->neutral ? p->neutral : Line<std::uint16_t>(p->ring, 1, i),
                           p->neutral ? p->neutral : Line<std::uint16_t>(p->ring, 2, i)},
                          out,
                          i};
    if (p->way == ColourWay::Matrix)
        MatrixLine(*p->matrix, line, left, right);
    else
        MapLine(p->table, line, left, right);
    return 0;
}

// Whether one graph serves pictures of both: the tone map's peak is the
// table's alone.
bool SameGraph(const PictureColours& a, PictureColours b)
{
    b.peakNits = a.peakNits;
    return a == b;
}

}  // namespace

bool ZimgPicture::Convert(const AVFrame* frame, const PixelBuffer& target, const FrameRect& rect)
{
    const int width = rect.Width();
    const int height = rect.Height();
    if (frame->width <= 0 || frame->height <= 0 || width <= 0 || height <= 0 || !target.bits) return false;
    const PictureColours colours = ColoursOf(frame);
    if (!(colours == m_colours) || width != m_width || height != m_height || !m_ready) {
        // Pictures zimg could not take once are not tried again per frame:
        // they go the other way until their kind or size changes.
        if (m_tried && colours == m_colours && width == m_width && height == m_height) return false;
        const bool sameGraph = m_graph && SameGraph(colours, m_colours) && width == m_width && height == m_height;
        m_colours = colours;
        m_width = width;
        m_height = height;
        m_tried = true;
        m_ready = false;
        if (!sameGraph && !Build(colours, width, height)) return false;
        if (m_graph->way == ColourWay::Table && !(m_table && m_table->Serves(colours))) {
            // A stream whose pictures alternate between two peaks (metadata
            // on some pictures only) swaps tables rather than baking anew.
            std::swap(m_table, m_otherTable);
            if (!(m_table && m_table->Serves(colours))) m_table = ColourTable::For(colours);
            if (!m_table) return false;
        }
        m_ready = true;
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
                  target.stride,
                  m_graph->way,
                  &m_graph->matrix,
                  m_graph->way == ColourWay::Table ? m_table->Nodes() : nullptr,
                  m_graph->neutral.empty() ? nullptr : m_graph->neutral.data()};
    return zimg_filter_graph_process(m_graph->graph, &in, &m_graph->out, m_graph->tmp.get(), nullptr, nullptr, &Pack,
                                     &packer) == 0;
}

}  // namespace media
