#include "engine/media/VideoDecoder.h"

#include "engine/media/MediaLimits.h"
#include "engine/media/ThreadPriority.h"

namespace media {
namespace {

// Errors in a row while draining the decoder at the end of the file after
// which it is taken as empty.
constexpr int kMaxDrainErrors = 64;

// How long a decoder that holds pictures back waits for its next packet,
// while the demuxer is stuck behind the other stream, before it gives them
// out (see Run).
constexpr std::int64_t kStarvedNs = 40'000'000;

// Pixel shapes further from square than this are damage, not anamorphic
// video (the widest real ones, 2:1 and its inverse, are well inside).
constexpr double kMaxPixelAspect = 8.0;

bool UsableAspect(AVRational r)
{
    return r.num > 0 && r.den > 0 && av_q2d(r) <= kMaxPixelAspect && av_q2d(r) >= 1.0 / kMaxPixelAspect;
}

AVRational PixelAspectOf(const AVStream* stream)
{
    if (UsableAspect(stream->sample_aspect_ratio)) return stream->sample_aspect_ratio;
    if (UsableAspect(stream->codecpar->sample_aspect_ratio)) return stream->codecpar->sample_aspect_ratio;
    return AVRational{1, 1};
}

}  // namespace

VideoDecoder::VideoDecoder(StreamShared& shared, ReseekFn reseek)
    : m_shared(shared), m_reseek(std::move(reseek)), m_scratch(av_frame_alloc())
{
}

VideoDecoder::~VideoDecoder()
{
    Stop();
}

Result VideoDecoder::Open(const AVStream* stream)
{
    const AVCodecParameters* par = stream->codecpar;
    if (!FrameSizeAcceptable(par->width, par->height)) return kUnsupported;
    const AVCodec* codec = avcodec_find_decoder(par->codec_id);
    if (!codec) return kUnsupported;
    CodecContextPtr ctx(avcodec_alloc_context3(codec));
    if (!ctx) return kOutOfMemory;
    if (avcodec_parameters_to_context(ctx.get(), par) < 0) return kUnsupported;
    ctx->pkt_timebase = stream->time_base;
    // 0 lets FFmpeg use every core; frame threads give the throughput,
    // slice threads help codecs that cannot do frames in parallel.
    ctx->thread_count = 0;
    ctx->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
    if (avcodec_open2(ctx.get(), codec, nullptr) < 0) return kUnsupported;
    m_timeBase = stream->time_base;
    m_codec = std::move(ctx);

    std::size_t matrixSize = 0;
    const std::uint8_t* matrix = av_stream_get_side_data(stream, AV_PKT_DATA_DISPLAYMATRIX, &matrixSize);
    m_turn = Orientation::FromDisplayMatrix(matrixSize >= 9 * sizeof(std::int32_t)
                                                ? reinterpret_cast<const std::int32_t*>(matrix)
                                                : nullptr);
    m_aspect = PixelAspectOf(stream);
    DisplaySize(par->width, par->height, m_aspect, m_displayWidth, m_displayHeight);
    return kOk;
}

void VideoDecoder::DisplaySize(int width, int height, AVRational aspect, int& shownWidth, int& shownHeight) const
{
    int wide = static_cast<int>(av_rescale(width, aspect.num, aspect.den));
    if (!FrameSizeAcceptable(wide, height)) wide = width;
    shownWidth = m_turn.SwapsAxes() ? height : wide;
    shownHeight = m_turn.SwapsAxes() ? wide : height;
}

void VideoDecoder::DisplaySizeOf(const AVFrame* frame, int& width, int& height) const
{
    // A picture's own pixel shape first: a broadcast switches between 4:3
    // and 16:9 by it.
    DisplaySize(frame->width, frame->height,
                UsableAspect(frame->sample_aspect_ratio) ? frame->sample_aspect_ratio : m_aspect, width, height);
}

void VideoDecoder::Start(PacketQueue* in, FrameQueue* out)
{
    m_in = in;
    m_out = out;
    m_thread = std::thread([this] {
        NameThisThread("reelscope-video");
        Run();
    });
}

void VideoDecoder::Stop()
{
    if (m_thread.joinable()) m_thread.join();
}

void VideoDecoder::Run()
{
    PacketItem item;
    auto quit = [&] { return m_shared.quit.load(); };
    for (;;) {
        const auto popped = m_in->PopFor(item, m_holding ? kStarvedNs : -1, quit);
        if (popped == PacketQueue::Popped::Ended) return;
        if (popped == PacketQueue::Popped::TimedOut) {
            // The decoder holds pictures back (frame threads, reordering)
            // until more packets come; behind the other stream's full queue
            // they would not come before that drains, which for a still
            // picture over a long sound is near its end. Give them out now.
            const int waitsOn = m_shared.demuxerWaitsOn.load();
            if (waitsOn >= 0 && waitsOn != m_shared.videoIndex) ReceiveAll(Drain::GiveOut);
            continue;
        }
        if (m_shared.Stale(item.serial)) continue;
        if (item.serial != m_serial) BeginSerial(item.serial);
        // After giving its pictures out the decoder starts afresh: what
        // follows up to the next key frame refers to pictures it no longer has.
        if (m_needKey && item.packet && !(item.packet->flags & AV_PKT_FLAG_KEY)) continue;
        m_needKey = false;
        Decode(item.packet.get());
    }
}

void VideoDecoder::BeginSerial(int serial)
{
    if (m_serial >= 0) avcodec_flush_buffers(m_codec.get());
    m_serial = serial;
    m_holding = false;
    m_lastTime = AV_NOPTS_VALUE;
    m_deinterlacer.Reset();
    m_pending.reset();
    m_sawFrame = false;
    m_request = m_shared.CurrentSeek();
    m_selecting = m_request.serial == serial && m_request.active;
    // A seek into the middle of a file without an index (MPEG-TS) lands on
    // any packet: what comes before the next key frame cannot be decoded,
    // and passing over it unread makes a landing after the last key frame
    // (the end of a long recording) cheap to find out. From the start of the
    // file everything counts: a recording may begin inside a group.
    m_needKey = m_selecting && !SeeksFromStart(m_request);
}

void VideoDecoder::Decode(const AVPacket* packet)
{
    if (!packet) return ReceiveAll(Drain::End);
    // On the way to a seek's target, a picture that no other refers to and
    // that comes before the target need not be decoded at all. A step back
    // keeps every picture on the way, so it decodes them all.
    const bool passOver = m_selecting && !m_request.keep && packet->pts != AV_NOPTS_VALUE &&
                          m_shared.Precedes(ToStreamTime(packet->pts, m_timeBase) - m_shared.origin, m_request.target);
    m_codec->skip_frame = passOver ? AVDISCARD_NONREF : AVDISCARD_DEFAULT;
    int ret = avcodec_send_packet(m_codec.get(), packet);
    if (ret == AVERROR(EAGAIN)) {
        ReceiveAll(Drain::No);
        avcodec_send_packet(m_codec.get(), packet);
    }
    m_holding = true;
    // A damaged packet is simply not decoded; the frames around it still are.
    ReceiveAll(Drain::No);
}

void VideoDecoder::ReceiveAll(Drain drain)
{
    const bool draining = drain != Drain::No;
    if (draining) avcodec_send_packet(m_codec.get(), nullptr);
    int errors = 0;
    for (;;) {
        if (m_shared.quit.load() || m_shared.Stale(m_serial)) return;
        const int ret = avcodec_receive_frame(m_codec.get(), m_scratch.get());
        // At the end of the file every answer but a frame must lead to the
        // end of the stream: nothing else would ever end a waiting Update.
        // A damaged last frame answers an error; try the next one.
        const bool finished = ret == AVERROR_EOF || (draining && ret == AVERROR(EAGAIN)) ||
                              (draining && ret < 0 && ++errors > kMaxDrainErrors);
        if (finished) {
            m_deinterlacer.Finish();
            PassOn();
            if (drain == Drain::End) EndOfStream();
            avcodec_flush_buffers(m_codec.get());  // ready to decode again after a seek
            m_holding = false;
            m_needKey = drain == Drain::GiveOut;
            return;
        }
        if (ret < 0) {
            if (draining) continue;
            return;  // EAGAIN: it wants the next packet
        }
        errors = 0;
        FramePtr frame(av_frame_alloc());
        av_frame_move_ref(frame.get(), m_scratch.get());
        HandleFrame(std::move(frame));
    }
}

void VideoDecoder::HandleFrame(FramePtr frame)
{
    const std::int64_t ts = frame->best_effort_timestamp != AV_NOPTS_VALUE ? frame->best_effort_timestamp : frame->pts;
    const StreamTime tpf = m_shared.timing.TimePerFrame();
    StreamTime time;
    if (ts != AV_NOPTS_VALUE)
        time = ToStreamTime(ts, m_timeBase) - m_shared.origin;
    else  // no timestamp: it follows the previous frame
        time = m_lastTime == AV_NOPTS_VALUE ? 0 : m_lastTime + (tpf > 0 ? tpf : 1);
    m_lastTime = time;
    // The first read goes from the start of the file: its first picture is
    // the movie's first.
    if (m_serial == 0) {
        StreamTime unknown = -1;
        m_shared.firstPicture.compare_exchange_strong(unknown, time);
    }

    // Pictures well before a seek's target are not shown: they need not be
    // woven. A step back shows them all, so they all are.
    const bool passedOver = m_selecting && !m_request.keep && m_shared.Precedes(time + 2 * tpf, m_request.target);
    const bool taken = !passedOver && m_deinterlacer.Push(frame, time, m_deinterlace.load());
    PassOn();
    if (!taken) Select(std::move(frame), time);
}

void VideoDecoder::PassOn()
{
    FramePtr frame;
    StreamTime time = 0;
    while (!m_shared.Stale(m_serial) && m_deinterlacer.Pull(frame, time)) Select(std::move(frame), time);
}

void VideoDecoder::Select(FramePtr frame, StreamTime time)
{
    const StreamTime tpf = m_shared.timing.TimePerFrame();
    if (!m_selecting) return Emit(std::move(frame), time);

    const Placement place = m_shared.Place(time, m_request.target);
    if (place.atOrBefore && m_request.keep) m_shared.back.Add(m_serial, frame.get(), time);
    if (place.atOrBefore) {
        m_pending = std::move(frame);
        m_pendingTime = time;
        m_sawFrame = true;
        // Known to hold the target: no need to wait for the next frame.
        if (place.holds) {
            m_selecting = false;
            Emit(std::move(m_pending), m_pendingTime);
        }
        return;
    }
    if (m_pending) {
        m_selecting = false;
        Emit(std::move(m_pending), m_pendingTime);
        return Emit(std::move(frame), time);
    }
    // The first frame is already past the target. Unless it is the movie's
    // very first frame, the demuxer landed late: start earlier. Everything
    // of this serial is stale from then on.
    const bool movieStart = time <= std::max(tpf > 0 ? tpf / 2 : 0, m_shared.firstPicture.load());
    if (!m_sawFrame && !movieStart && m_request.attempt < kReopenAttempt) {
        m_selecting = false;
        return m_reseek(m_serial);
    }
    m_selecting = false;  // nothing earlier exists
    Emit(std::move(frame), time);
}

void VideoDecoder::EndOfStream()
{
    if (m_selecting) {
        m_selecting = false;
        if (m_pending) {
            // A target at or past the last frame shows the last frame.
            Emit(std::move(m_pending), m_pendingTime);
        } else if (m_request.attempt < kReopenAttempt) {
            return m_reseek(m_serial);  // landed after the last frame
        }
    }
    m_out->Push(FrameItem{nullptr, 0, m_serial}, 1,
                [&] { return m_shared.quit.load() || m_shared.Stale(m_serial); });
}

void VideoDecoder::Emit(FramePtr frame, StreamTime time)
{
    m_out->Push(FrameItem{std::move(frame), time, m_serial}, 1,
                [&] { return m_shared.quit.load() || m_shared.Stale(m_serial); });
}

}  // namespace media
