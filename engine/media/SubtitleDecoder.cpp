#include "engine/media/SubtitleDecoder.h"

#include <cstring>

#include "engine/media/MediaLimits.h"

namespace media {
namespace {

// FFmpeg's way of saying "no end given" in a decoded subtitle.
constexpr std::uint32_t kNoEndTime = UINT32_MAX;

struct SubtitleFree {
    void operator()(AVSubtitle* s) const { avsubtitle_free(s); }
};

bool BitmapCodec(const AVCodecDescriptor* d)
{
    return d && (d->props & AV_CODEC_PROP_BITMAP_SUB) != 0;
}

}  // namespace

std::size_t BitmapCue::Bytes() const
{
    std::size_t bytes = sizeof(*this);
    for (const BitmapRect& r : rects) bytes += r.indices.size() + r.palette.size() * 4 + sizeof(r);
    return bytes;
}

bool SubtitleDecoder::Open(const AVCodecParameters* parameters, AVRational timeBase, StreamTime origin)
{
    const AVCodec* codec = avcodec_find_decoder(parameters->codec_id);
    if (!codec || codec->type != AVMEDIA_TYPE_SUBTITLE) return false;
    CodecContextPtr ctx(avcodec_alloc_context3(codec));
    if (!ctx || avcodec_parameters_to_context(ctx.get(), parameters) < 0) return false;
    ctx->pkt_timebase = timeBase;
    if (avcodec_open2(ctx.get(), codec, nullptr) < 0) return false;
    m_codec = std::move(ctx);
    m_timeBase = timeBase.num > 0 && timeBase.den > 0 ? timeBase : AVRational{1, 1000};
    m_origin = origin;
    m_bitmap = BitmapCodec(avcodec_descriptor_get(parameters->codec_id));
    return true;
}

std::string SubtitleDecoder::Header() const
{
    if (!m_codec || m_bitmap || !m_codec->subtitle_header || m_codec->subtitle_header_size <= 0) return {};
    return std::string(reinterpret_cast<const char*>(m_codec->subtitle_header),
                       static_cast<std::size_t>(m_codec->subtitle_header_size));
}

void SubtitleDecoder::Flush()
{
    if (m_codec) avcodec_flush_buffers(m_codec.get());
}

void SubtitleDecoder::Decode(const AVPacket& packet, std::vector<TextCue>& text, std::vector<BitmapCue>& bitmaps)
{
    if (!m_codec || packet.size <= 0) return;
    AVSubtitle decoded{};
    int got = 0;
    // FFmpeg 5.1 takes the packet as mutable, but only reads it.
    if (avcodec_decode_subtitle2(m_codec.get(), &decoded, &got, const_cast<AVPacket*>(&packet)) < 0 || !got) return;
    std::unique_ptr<AVSubtitle, SubtitleFree> hold(&decoded);

    // The packet's time is the cue's; FFmpeg's own (in microseconds) when
    // the packet has none.
    StreamTime base;
    if (packet.pts != AV_NOPTS_VALUE)
        base = ToStreamTime(packet.pts, m_timeBase) - m_origin;
    else if (decoded.pts != AV_NOPTS_VALUE)
        base = ToStreamTime(decoded.pts, AVRational{1, AV_TIME_BASE}) - m_origin;
    else
        return;  // a cue that cannot be placed
    const StreamTime start = base + StreamTime{decoded.start_display_time} * kUnitsPerMs;
    StreamTime end = kOpenEnd;
    if (decoded.end_display_time != kNoEndTime && decoded.end_display_time > decoded.start_display_time)
        end = base + StreamTime{decoded.end_display_time} * kUnitsPerMs;
    else if (packet.duration > 0)
        end = base + ToStreamTime(packet.duration, m_timeBase);
    // Text takes the packet's length before the decoder's rounded one.
    if (!m_bitmap && packet.duration > 0) end = base + ToStreamTime(packet.duration, m_timeBase);

    if (!m_bitmap) {
        for (unsigned i = 0; i < decoded.num_rects && i < kMaxRects; ++i) {
            const AVSubtitleRect* rect = decoded.rects[i];
            if (!rect || !rect->ass) continue;
            const std::size_t length = std::strlen(rect->ass);
            if (length == 0 || length > kMaxLineBytes) continue;
            text.push_back(TextCue{start, end, std::string(rect->ass, length)});
        }
        return;
    }

    BitmapCue cue;
    cue.start = start;
    cue.end = end;
    cue.canvasWidth = m_codec->width;
    cue.canvasHeight = m_codec->height;
    if (!FrameSizeAcceptable(cue.canvasWidth, cue.canvasHeight)) cue.canvasWidth = cue.canvasHeight = 0;
    for (unsigned i = 0; i < decoded.num_rects && i < kMaxRects; ++i) {
        const AVSubtitleRect* rect = decoded.rects[i];
        if (!rect || rect->type != SUBTITLE_BITMAP || !rect->data[0] || !rect->data[1]) continue;
        // A bitmap larger than any picture is damage: skipped, not drawn.
        if (!FrameSizeAcceptable(rect->w, rect->h) || rect->x < 0 || rect->y < 0 || rect->x > kMaxFrameSide ||
            rect->y > kMaxFrameSide || rect->linesize[0] < rect->w || rect->nb_colors <= 0 || rect->nb_colors > 256)
            continue;
        BitmapRect out;
        out.x = rect->x;
        out.y = rect->y;
        out.width = rect->w;
        out.height = rect->h;
        out.indices.resize(static_cast<std::size_t>(rect->w) * rect->h);
        for (int y = 0; y < rect->h; ++y)
            std::memcpy(&out.indices[static_cast<std::size_t>(y) * rect->w], rect->data[0] + std::ptrdiff_t{y} * rect->linesize[0],
                        static_cast<std::size_t>(rect->w));
        out.palette.assign(256, 0);
        std::memcpy(out.palette.data(), rect->data[1], static_cast<std::size_t>(rect->nb_colors) * 4);
        cue.rects.push_back(std::move(out));
    }
    bitmaps.push_back(std::move(cue));
}

}  // namespace media
