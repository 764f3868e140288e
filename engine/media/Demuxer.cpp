#include "engine/media/Demuxer.h"

#include <sys/stat.h>

#include <chrono>
#include <algorithm>
#include <cstring>

#include "engine/media/Clock.h"
#include "engine/media/ThreadPriority.h"

namespace media {
namespace {

// A file whose probing takes longer than this is refused: the interface
// waits for the open.
constexpr std::int64_t kOpenTimeoutNs = 10'000'000'000;

// How far before a known key frame a seek aims, for the difference between
// the times packets are decoded and shown at (a few frames of reordering).
constexpr StreamTime kBeforeKeyFrame = kUnitsPerSecond;

// Consecutive read errors after which the rest of the file counts as gone.
constexpr int kMaxReadErrors = 64;

// How far a sound track may run on past the pictures and still be only the
// encoder's padding (AAC's priming and last frame are a few tens of ms).
constexpr StreamTime kSoundOverhang = kUnitsPerSecond / 2;

bool IsAttachedPicture(const AVStream* st)
{
    return (st->disposition & AV_DISPOSITION_ATTACHED_PIC) != 0;
}

// A movie is one local file. Playlists and descriptions that make FFmpeg
// open other files or network addresses named inside them are refused, so
// a file cannot make the player read or fetch anything else.
bool ReachesOutside(const AVInputFormat* format)
{
    static const char* const kDenied[] = {"concat", "hls", "dash", "sdp", "rtsp", "rtp", "ffmetadata", "tee",
                                          "image2", "image2pipe", "imagepipe", "webm_dash_manifest"};
    for (const char* name : kDenied)
        if (std::strcmp(format->name, name) == 0) return true;
    return false;
}

AVFormatContext* OpenInput(const std::string& path, AVIOInterruptCB interrupt)
{
    AVFormatContext* ctx = avformat_alloc_context();
    if (!ctx) return nullptr;
    ctx->interrupt_callback = interrupt;
    AVDictionary* options = nullptr;
    av_dict_set(&options, "protocol_whitelist", "file", 0);
    // On failure avformat_open_input frees the context itself.
    const int opened = avformat_open_input(&ctx, path.c_str(), nullptr, &options);
    av_dict_free(&options);
    if (opened < 0) return nullptr;
    if (ReachesOutside(ctx->iformat)) {
        avformat_close_input(&ctx);
        return nullptr;
    }
    return ctx;
}

int QuitRequested(void* shared)
{
    return static_cast<const StreamShared*>(shared)->quit.load(std::memory_order_relaxed) ? 1 : 0;
}

}  // namespace

Timeline ReadTimeline(const std::string& path, const StreamShared& shared)
{
    FormatContextPtr ctx(OpenInput(path, AVIOInterruptCB{&QuitRequested, const_cast<StreamShared*>(&shared)}));
    if (!ctx || avformat_find_stream_info(ctx.get(), nullptr) < 0) return {};
    const int video = shared.videoIndex;
    const int audio = shared.audioIndex;
    if (video < 0 || video >= static_cast<int>(ctx->nb_streams) || audio >= static_cast<int>(ctx->nb_streams))
        return {};
    // The subtitles are read on the way: this is the one reading that sees
    // those that began long before wherever a seek lands.
    SubtitleFeed* subtitles = shared.subtitles;
    auto wanted = [&](int i) { return i == video || i == audio || (subtitles && subtitles->Carries(i)); };
    for (unsigned i = 0; i < ctx->nb_streams; ++i)
        ctx->streams[i]->discard = wanted(static_cast<int>(i)) ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
    const AVRational videoBase = ctx->streams[video]->time_base;
    PictureTimes pictures;
    bool numbered = true;
    StreamTime end = 0;
    PacketPtr packet(av_packet_alloc());
    for (;;) {
        const int ret = av_read_frame(ctx.get(), packet.get());
        if (ret == AVERROR(EAGAIN)) continue;
        if (ret < 0) break;
        if (packet->stream_index != video && packet->stream_index != audio) {
            if (subtitles && subtitles->Carries(packet->stream_index))
                subtitles->Take(SubtitleFeed::Reader::Whole, *packet);
            av_packet_unref(packet.get());
            continue;
        }
        const AVRational base = ctx->streams[packet->stream_index]->time_base;
        const std::int64_t ts = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
        if (packet->stream_index == video && numbered) {
            // The parser FFmpeg runs over the packets tells a field from a
            // frame; it may be made anew as the stream goes, so it is asked
            // for each time.
            const AVCodecParserContext* parser = av_stream_get_parser(ctx->streams[video]);
            const bool field = parser && (parser->picture_structure == AV_PICTURE_STRUCTURE_TOP_FIELD ||
                                          parser->picture_structure == AV_PICTURE_STRUCTURE_BOTTOM_FIELD);
            // A picture without a time cannot be placed: no numbering then,
            // though the subtitles are still read to the end.
            if (packet->pts == AV_NOPTS_VALUE && !pictures.Completes(field)) {
                numbered = false;
                if (!subtitles) return {};
            } else {
                pictures.Add(ToStreamTime(packet->pts, base) - shared.origin, field, packet->flags & AV_PKT_FLAG_KEY);
            }
        }
        if (ts != AV_NOPTS_VALUE) end = std::max(end, ToStreamTime(SaturatingAdd(ts, std::max<std::int64_t>(packet->duration, 0)), base) - shared.origin);
        av_packet_unref(packet.get());
    }
    if (shared.quit.load() || !numbered) return {};
    return Timeline::Of(std::move(pictures), shared.timing, ToStreamTime(1, videoBase), end);
}

Demuxer::Demuxer(StreamShared& shared) : m_shared(shared) {}

Demuxer::~Demuxer()
{
    Stop();
}

int Demuxer::Interrupt(void* self)
{
    auto* demuxer = static_cast<Demuxer*>(self);
    if (demuxer->m_shared.quit.load(std::memory_order_relaxed)) return 1;
    const std::int64_t deadline = demuxer->m_openDeadlineNs.load(std::memory_order_relaxed);
    return deadline != 0 && SteadyNowNs() > deadline ? 1 : 0;
}

Result Demuxer::Open(const std::string& path)
{
    struct stat st{};
    if (path.empty() || ::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return kUnsupported;

    m_openDeadlineNs = SteadyNowNs() + kOpenTimeoutNs;
    AVFormatContext* ctx = OpenInput(path, AVIOInterruptCB{&Demuxer::Interrupt, this});
    if (!ctx) {
        m_openDeadlineNs = 0;
        return kUnsupported;
    }
    m_format.reset(ctx);
    m_path = path;
    const int probed = avformat_find_stream_info(ctx, nullptr);
    m_openDeadlineNs = 0;
    if (probed < 0 && ctx->nb_streams == 0) return kUnsupported;

    int video = av_find_best_stream(ctx, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (video >= 0 && IsAttachedPicture(ctx->streams[video])) video = -1;
    const int audio = av_find_best_stream(ctx, AVMEDIA_TYPE_AUDIO, -1, video, nullptr, 0);
    if (video < 0 && audio < 0) return kUnsupported;
    m_shared.videoIndex = video;
    m_shared.audioIndex = audio < 0 ? -1 : audio;
    m_shared.wantedSound = m_shared.audioIndex.load();

    // The other sound tracks are read too (a switch to one of them starts
    // from what was read ahead), and the subtitles; ReadOnly narrows this.
    for (unsigned i = 0; i < ctx->nb_streams; ++i) {
        const AVMediaType type = ctx->streams[i]->codecpar->codec_type;
        const bool kept = static_cast<int>(i) == m_shared.videoIndex || static_cast<int>(i) == m_shared.audioIndex ||
                          (type == AVMEDIA_TYPE_AUDIO && audio >= 0) || type == AVMEDIA_TYPE_SUBTITLE;
        if (!kept) ctx->streams[i]->discard = AVDISCARD_ALL;
    }

    // Stream time 0 is where the video (or, without it, the file) begins.
    const AVStream* timeline = VideoStream() ? VideoStream() : AudioStream();
    if (timeline->start_time != AV_NOPTS_VALUE)
        m_shared.origin = ToStreamTime(timeline->start_time, timeline->time_base);
    else if (ctx->start_time != AV_NOPTS_VALUE)
        m_shared.origin = ToStreamTime(ctx->start_time, AVRational{1, AV_TIME_BASE});
    return kOk;
}

void Demuxer::ReadOnly(const std::vector<int>& streams)
{
    AVFormatContext* ctx = m_format.get();
    for (unsigned i = 0; i < ctx->nb_streams; ++i) {
        const int index = static_cast<int>(i);
        const bool kept = index == m_shared.videoIndex || index == m_shared.audioIndex ||
                          std::find(streams.begin(), streams.end(), index) != streams.end();
        ctx->streams[i]->discard = kept ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
    }
}

bool Demuxer::IsSound(int index) const
{
    return index >= 0 && index < static_cast<int>(m_format->nb_streams) &&
           m_format->streams[index]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO;
}

AVStream* Demuxer::VideoStream() const
{
    return m_shared.videoIndex >= 0 ? m_format->streams[m_shared.videoIndex] : nullptr;
}

AVStream* Demuxer::AudioStream() const
{
    return m_shared.audioIndex >= 0 ? m_format->streams[m_shared.audioIndex] : nullptr;
}

bool Demuxer::Seekable() const
{
    return m_format && m_format->pb && (m_format->pb->seekable & AVIO_SEEKABLE_NORMAL) != 0;
}

StreamTime Demuxer::Duration() const
{
    auto lengthOf = [this](const AVStream* st) -> StreamTime {
        if (!st || st->duration == AV_NOPTS_VALUE || st->duration <= 0) return 0;
        StreamTime d = ToStreamTime(st->duration, st->time_base);
        if (st->start_time != AV_NOPTS_VALUE) d += ToStreamTime(st->start_time, st->time_base) - m_shared.origin;
        return d;
    };
    // A length guessed from the bit rate is no length: it is found by
    // reading the file instead (see Timeline).
    StreamTime whole = 0;
    if (m_format->duration != AV_NOPTS_VALUE && m_format->duration > 0 &&
        m_format->duration_estimation_method != AVFMT_DURATION_FROM_BITRATE) {
        const std::int64_t start = m_format->start_time == AV_NOPTS_VALUE ? 0 : m_format->start_time;
        whole = ToStreamTime(SaturatingAdd(start, m_format->duration), AVRational{1, AV_TIME_BASE}) - m_shared.origin;
    }
    whole = std::max(whole, lengthOf(AudioStream()));
    // The pictures' length, unless the sound goes on well past them (a still
    // picture or a title card over a long stretch of sound): a sound track
    // that only overhangs by an encoder's padding must not add a frame.
    const StreamTime pictures = lengthOf(VideoStream());
    return std::min(pictures > 0 && whole <= pictures + kSoundOverhang ? pictures : whole, kTimeLimit);
}

void Demuxer::Start(PacketQueue* video, PacketQueue* audio)
{
    m_video = video;
    m_audio = audio;
    m_thread = std::thread([this] {
        NameThisThread("reelscope-read");
        Run();
    });
}

void Demuxer::Stop()
{
    if (m_thread.joinable()) m_thread.join();
}

void Demuxer::PushEnd(int serial)
{
    auto cancel = [&] { return m_shared.quit.load() || m_shared.Stale(serial); };
    if (m_video) m_video->Push(PacketItem{nullptr, serial}, 0, cancel);
    if (m_audio) m_audio->Push(PacketItem{nullptr, serial}, 0, cancel);
}

void Demuxer::FollowSoundSwitch(int serial)
{
    const int wanted = m_shared.wantedSound.load();
    if (wanted == m_shared.audioIndex.load() || !m_audio) return;
    m_shared.audioIndex = wanted;
    // What was read ahead of the new track goes first, in the order read;
    // the sound decoder drops what the clock has passed.
    for (PacketPtr& packet : m_backlog.Take(wanted)) {
        const std::size_t cost = static_cast<std::size_t>(packet->size);
        if (!m_audio->Push(PacketItem{std::move(packet), serial}, cost,
                           [&] { return m_shared.quit.load() || m_shared.Stale(serial); }))
            break;
    }
}

void Demuxer::SeekToStart()
{
    AVFormatContext* ctx = m_format.get();
    const std::int64_t start = ctx->start_time == AV_NOPTS_VALUE ? 0 : ctx->start_time;
    av_seek_frame(ctx, -1, start, AVSEEK_FLAG_BACKWARD);
}

bool Demuxer::Reopen()
{
    // The same file probed again: streams, indices and time bases come out
    // as they did the first time, so the decoders go on unchanged.
    AVFormatContext* ctx = OpenInput(m_path, AVIOInterruptCB{&Demuxer::Interrupt, this});
    if (!ctx) return false;
    FormatContextPtr fresh(ctx);
    if (avformat_find_stream_info(ctx, nullptr) < 0 || ctx->nb_streams != m_format->nb_streams) return false;
    for (unsigned i = 0; i < ctx->nb_streams; ++i) {
        if (ctx->streams[i]->codecpar->codec_id != m_format->streams[i]->codecpar->codec_id) return false;
        ctx->streams[i]->discard = m_format->streams[i]->discard;
    }
    m_format = std::move(fresh);
    return true;
}

void Demuxer::DoSeek(const SeekRequest& request)
{
    if (request.attempt >= kReopenAttempt && Reopen()) return;
    if (SeeksFromStart(request)) return SeekToStart();
    const StreamTime at = request.target - SeekBackoff(request);

    // Just before the key frame before the target, when reading the file
    // has found where the key frames are: no guessing how far back it lies.
    // A file without an index is searched by the times its packets are
    // decoded at, which come before the times they are shown at.
    StreamTime from = at;
    if (const Timeline* t = m_shared.timeline.load(std::memory_order_acquire)) {
        const StreamTime key = t->KeyFrameAtOrBefore(at);
        if (key >= 0) from = std::max<StreamTime>(0, key - kBeforeKeyFrame);
    }
    const AVStream* st = VideoStream() ? VideoStream() : AudioStream();
    const std::int64_t ts = FromStreamTime(from + m_shared.origin, st->time_base);
    // The key frame at or before `ts`; some demuxers only manage the
    // backward search of the older call.
    if (avformat_seek_file(m_format.get(), st->index, INT64_MIN, ts, ts, 0) >= 0) return;
    if (av_seek_frame(m_format.get(), st->index, ts, AVSEEK_FLAG_BACKWARD) >= 0) return;
    SeekToStart();
}

void Demuxer::Run()
{
    PacketPtr packet(av_packet_alloc());
    int serial = 0;
    bool ended = false;
    int errors = 0;

    while (!m_shared.quit.load()) {
        const SeekRequest request = m_shared.CurrentSeek();
        if (request.serial != serial) {
            serial = request.serial;
            if (request.active) DoSeek(request);
            ended = false;
            errors = 0;
            // What was kept of the other tracks and of subtitles being put
            // together belongs to the place left.
            m_backlog.Clear();
            if (m_shared.subtitles) m_shared.subtitles->Restart(SubtitleFeed::Reader::Demuxer);
        }
        FollowSoundSwitch(serial);
        if (ended) {
            m_shared.WaitForSeek(serial);
            continue;
        }

        const int ret = av_read_frame(m_format.get(), packet.get());
        if (ret == AVERROR(EAGAIN)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            continue;
        }
        if (ret < 0) {
            if (ret == AVERROR_EXIT) break;
            if (ret == AVERROR_EOF || avio_feof(m_format->pb) || ++errors > kMaxReadErrors) {
                PushEnd(serial);
                ended = true;
            }
            continue;
        }
        errors = 0;

        const int index = packet->stream_index;
        PacketQueue* queue = nullptr;
        if (index == m_shared.videoIndex) queue = m_video;
        else if (index == m_shared.audioIndex) queue = m_audio;
        if (!queue) {
            if (m_shared.subtitles && m_shared.subtitles->Carries(index)) {
                m_shared.subtitles->Take(SubtitleFeed::Reader::Demuxer, *packet);
            } else if (m_audio && IsSound(index) && packet->pts != AV_NOPTS_VALUE) {
                const StreamTime time = ToStreamTime(packet->pts, m_format->streams[index]->time_base);
                PacketPtr kept(av_packet_alloc());
                av_packet_move_ref(kept.get(), packet.get());
                m_backlog.Add(std::move(kept), time);
            }
            av_packet_unref(packet.get());
            continue;
        }
        PacketPtr item(av_packet_alloc());
        av_packet_move_ref(item.get(), packet.get());
        const std::size_t cost = static_cast<std::size_t>(item->size);
        // Waiting on one stream's full queue means none of the other's
        // packets come meanwhile; its decoder may want to know (a still).
        const bool full = queue->Full(cost);
        if (full) m_shared.demuxerWaitsOn.store(item->stream_index);
        queue->Push(PacketItem{std::move(item), serial}, cost,
                    [&] { return m_shared.quit.load() || m_shared.Stale(serial); });
        if (full) m_shared.demuxerWaitsOn.store(-1);
    }
}

}  // namespace media
