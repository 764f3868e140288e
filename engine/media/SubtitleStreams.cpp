#include "engine/media/SubtitleStreams.h"

#include <cstring>

#include "engine/media/TrackLanguage.h"

namespace media {
namespace {

// Fonts larger than this are no subtitle fonts (a full CJK font is some
// 20 MB); in all, a file may bring this much.
constexpr std::size_t kMaxFontBytes = 40u << 20;
constexpr std::size_t kMaxAllFontBytes = 120u << 20;

bool IsFont(const AVStream* stream)
{
    if (stream->codecpar->codec_type != AVMEDIA_TYPE_ATTACHMENT || !stream->codecpar->extradata ||
        stream->codecpar->extradata_size <= 0)
        return false;
    const AVCodecID id = stream->codecpar->codec_id;
    if (id == AV_CODEC_ID_TTF || id == AV_CODEC_ID_OTF) return true;
    const AVDictionaryEntry* mime = av_dict_get(stream->metadata, "mimetype", nullptr, 0);
    return mime && std::strstr(mime->value, "font") != nullptr;
}

}  // namespace

TrackInfo TrackInfoOf(const AVStream* stream)
{
    TrackInfo info;
    if (const AVDictionaryEntry* e = av_dict_get(stream->metadata, "language", nullptr, 0))
        info.language = NormalLanguage(e->value);
    if (const AVDictionaryEntry* e = av_dict_get(stream->metadata, "title", nullptr, 0)) info.title = e->value;
    if (info.title.size() > 64) info.title.resize(64);  // a menu item, not a page
    info.codec = avcodec_get_name(stream->codecpar->codec_id);
    info.channels = stream->codecpar->codec_type == AVMEDIA_TYPE_AUDIO ? stream->codecpar->ch_layout.nb_channels : 0;
    info.isDefault = (stream->disposition & AV_DISPOSITION_DEFAULT) != 0;
    const AVCodecDescriptor* d = avcodec_descriptor_get(stream->codecpar->codec_id);
    info.bitmap = d && (d->props & AV_CODEC_PROP_BITMAP_SUB) != 0;
    return info;
}

SubtitleStreams::SubtitleStreams(const AVFormatContext* format, StreamTime origin, SubtitleOverlay& overlay)
{
    m_byIndex.assign(format->nb_streams, -1);
    // The fonts first: the renderer takes those there are when the first
    // text track is made.
    std::size_t fontBytes = 0;
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        const AVStream* st = format->streams[i];
        if (!IsFont(st)) continue;
        const auto size = static_cast<std::size_t>(st->codecpar->extradata_size);
        if (size > kMaxFontBytes || fontBytes + size > kMaxAllFontBytes) continue;
        fontBytes += size;
        const AVDictionaryEntry* name = av_dict_get(st->metadata, "filename", nullptr, 0);
        overlay.AddFont(name ? name->value : "attached", reinterpret_cast<const char*>(st->codecpar->extradata), size);
    }
    for (unsigned i = 0; i < format->nb_streams && m_streams.size() < kMaxStreams; ++i) {
        const AVStream* st = format->streams[i];
        if (st->codecpar->codec_type != AVMEDIA_TYPE_SUBTITLE) continue;
        auto d = std::make_unique<Decoding>();
        bool opened = true;
        for (SubtitleDecoder& decoder : d->decoders) opened = opened && decoder.Open(st->codecpar, st->time_base, origin);
        if (!opened) continue;
        d->index = static_cast<int>(i);
        d->info = TrackInfoOf(st);
        if (d->decoders[0].Bitmap())
            d->bitmap = &overlay.AddBitmapTrack();
        else
            d->text = &overlay.AddTextTrack(d->decoders[0].Header(), st->codecpar->codec_id == AV_CODEC_ID_ASS ||
                                                                         st->codecpar->codec_id == AV_CODEC_ID_SSA);
        m_byIndex[i] = static_cast<int>(m_streams.size());
        m_streams.push_back(std::move(d));
    }
}

std::vector<SubtitleStreams::Stream> SubtitleStreams::Streams() const
{
    std::vector<Stream> streams;
    for (const auto& d : m_streams) streams.push_back(Stream{d->index, d->info});
    return streams;
}

std::vector<int> SubtitleStreams::Indices() const
{
    std::vector<int> indices;
    for (const auto& d : m_streams) indices.push_back(d->index);
    return indices;
}

bool SubtitleStreams::Carries(int index) const
{
    return index >= 0 && index < static_cast<int>(m_byIndex.size()) && m_byIndex[static_cast<std::size_t>(index)] >= 0;
}

void SubtitleStreams::Take(Reader reader, const AVPacket& packet)
{
    if (!Carries(packet.stream_index)) return;
    Decoding& d = *m_streams[static_cast<std::size_t>(m_byIndex[static_cast<std::size_t>(packet.stream_index)])];
    const auto r = static_cast<std::size_t>(reader);
    std::vector<TextCue>& text = m_text[r];
    std::vector<BitmapCue>& bitmaps = m_bitmaps[r];
    d.decoders[r].Decode(packet, text, bitmaps);
    if (d.text && !text.empty()) d.text->Add(text);
    if (d.bitmap && !bitmaps.empty()) d.bitmap->Add(bitmaps);
    text.clear();
    bitmaps.clear();
}

void SubtitleStreams::Restart(Reader reader)
{
    for (auto& d : m_streams) d->decoders[static_cast<std::size_t>(reader)].Flush();
}

}  // namespace media
