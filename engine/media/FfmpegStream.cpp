#include "engine/media/FfmpegStream.h"

#include <malloc.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "engine/media/MediaLimits.h"
#include "engine/media/ThreadPriority.h"

namespace media {
namespace {

// Compressed data read ahead of the decoders. Counts bound the number of
// packets, costs their bytes. Pictures: a few seconds ahead is plenty for a
// local file (and keeps a high bit rate's memory small). Sound: more, since
// some files carry it far ahead of the pictures it goes with.
constexpr std::size_t kMaxQueuedVideoPackets = 120;
constexpr std::size_t kMaxVideoPacketBytes = 12u << 20;
constexpr std::size_t kMaxQueuedAudioPackets = 600;
constexpr std::size_t kMaxAudioPacketBytes = 4u << 20;
// Decoded pictures waiting for their time: enough to absorb the decoder's
// jitter, few enough that 1080p stays small (8 MB each in RGB, 3 MB as YUV).
constexpr std::size_t kMaxQueuedFrames = 2;
// Sound decoded ahead of the device: a quarter second (rate / 4 frames), so
// a change of rate is heard soon after it is made.
constexpr int kRingFractionOfSecond = 4;
// A step forward no further than this takes the pictures the running
// decoder has ready or soon will, passing over those before the target
// unconverted; a longer one seeks from the key frame before the target. A
// step back no further keeps the pictures decoded on the way.
constexpr StreamTime kPickAhead = kUnitsPerSecond;
// How often a step forward that waits for the decoder's next picture looks.
constexpr std::int64_t kPickPollNs = 1'000'000;
// How long past the header's end a movie waits for the rest of its sound to
// be decoded before it ends all the same.
constexpr StreamTime kSoundEndGrace = 2 * kUnitsPerSecond;
// Playback rates the tempo filter and the clock handle well.
constexpr double kMinRate = 0.25;
constexpr double kMaxRate = 4.0;
// Beyond this a frame rate in a header is nonsense (and its frame time 0).
constexpr double kMaxFrameRate = 1000.0;
// Allocator pools for all the threads of the process: two cores, and the
// per-thread caches take most of the contention away.
constexpr int kMaxAllocatorPools = 2;
// An average frame rate this close to the stream's real one is that rate.
constexpr double kSameRate = 0.005;

// The stream's nominal frame rate, or 0/1 when it does not say.
AVRational FrameRateOf(const AVStream* st)
{
    auto plausible = [](AVRational r) { return r.num > 0 && r.den > 0 && av_q2d(r) <= kMaxFrameRate; };
    // One frame per tick of the time base is FFmpeg's guess for pictures
    // that do not come at one rate (1000 per second in Matroska): no rate.
    const bool tickGuess = av_cmp_q(st->r_frame_rate, av_inv_q(st->time_base)) == 0;
    const bool real = plausible(st->r_frame_rate) && !tickGuess;
    if (plausible(st->avg_frame_rate)) {
        // An average taken over a rounded length (30 frames in 1001 ms) is
        // a hair off the rate the pictures really come at, which numbering
        // long movies would multiply into whole frames: the real rate, when
        // the average agrees with it.
        if (real && std::abs(av_q2d(st->avg_frame_rate) / av_q2d(st->r_frame_rate) - 1.0) < kSameRate)
            return st->r_frame_rate;
        return st->avg_frame_rate;
    }
    return real ? st->r_frame_rate : AVRational{0, 1};
}

class FfmpegSample final : public StreamSample {
public:
    FfmpegSample(std::shared_ptr<FfmpegStream> stream, const PixelBuffer& target, const FrameRect& rect)
        : m_stream(std::move(stream)), m_target(target), m_rect(rect)
    {
    }
    Result Update() override { return m_stream->Deliver(m_target, m_rect); }
    void Abort() override { m_stream->Abort(); }

private:
    std::shared_ptr<FfmpegStream> m_stream;
    PixelBuffer m_target;
    FrameRect m_rect;
};

class FfmpegMediaFactory final : public MediaFactory {
public:
    explicit FfmpegMediaFactory(const MediaOptions& options) : m_options(options) {}
    Result CreateMultiMediaStream(std::shared_ptr<MultiMediaStream>& stream) override
    {
        stream = std::make_shared<FfmpegStream>(m_options);
        return kOk;
    }

private:
    MediaOptions m_options;
};

}  // namespace

std::shared_ptr<MediaFactory> CreateMediaFactory(const MediaOptions& options)
{
    av_log_set_level(AV_LOG_QUIET);  // damaged files are expected; the user hears of them through the engine
    // Each decoding thread would otherwise get an allocator pool of its own,
    // which keeps what a movie freed for whoever comes next: memory grew by
    // some 35 MB with every round of movies opened.
    static const bool fewerPools = mallopt(M_ARENA_MAX, kMaxAllocatorPools) != 0;
    (void)fewerPools;
    return std::make_shared<FfmpegMediaFactory>(options);
}

FfmpegStream::FfmpegStream(const MediaOptions& options)
    : m_options(options),
      m_videoPackets(kMaxQueuedVideoPackets, kMaxVideoPacketBytes),
      m_audioPackets(kMaxQueuedAudioPackets, kMaxAudioPacketBytes),
      m_frames(kMaxQueuedFrames, kMaxQueuedFrames),
      m_demuxer(m_shared)
{
}

FfmpegStream::~FfmpegStream()
{
    Close();
    if (m_open && std::getenv("REELSCOPE_STATS"))
        std::fprintf(stderr, "reelscope: %ld frames shown, %ld dropped late\n", m_framesShown, m_framesLate);
}

void FfmpegStream::Close()
{
    m_shared.Quit();
    m_videoPackets.Close();
    m_audioPackets.Close();
    m_frames.Close();
    m_output.reset();  // the device callback reads the ring: it goes first
    if (m_timelineReader.joinable()) m_timelineReader.join();
    m_demuxer.Stop();
    if (m_video) m_video->Stop();
    if (m_audio) m_audio->Stop();
}

Result FfmpegStream::Initialize()
{
    if (m_initialized) return kFail;
    m_initialized = true;
    return kOk;
}

Result FfmpegStream::AddMediaStream(StreamPurpose purpose, bool defaultRenderer)
{
    if (!m_initialized || m_open) return kFail;
    if (purpose == StreamPurpose::PrimaryVideo)
        m_wantVideo = true;
    else
        m_wantAudio = defaultRenderer;
    return kOk;
}

Result FfmpegStream::OpenFile(const std::string& path)
{
    if (!m_initialized || m_open) return kFail;
    if (const Result r = m_demuxer.Open(path); Failed(r)) return r;
    OpenTracks(path);

    if (const AVStream* vs = m_demuxer.VideoStream(); vs && m_wantVideo) {
        auto decoder = std::make_unique<VideoDecoder>(m_shared, [this](int serial) { Reseek(serial); });
        if (Succeeded(decoder->Open(vs))) {
            decoder->SetDeinterlace(m_deinterlace);
            m_converter.SetOrientation(decoder->Turn());
            m_renderConverter.SetOrientation(decoder->Turn());
            m_video = std::move(decoder);
            const AVRational rate = FrameRateOf(vs);
            m_shared.timing = FrameTiming(rate.num, rate.den);
        }
    }
    const AVStream* as = m_demuxer.AudioStream();
    if (as && m_wantAudio && m_options.audio) {
        auto output = CreateDeviceAudioOutput();
        const int rate = as->codecpar->sample_rate > 0 ? as->codecpar->sample_rate : 48000;
        const int channels = std::clamp(as->codecpar->ch_layout.nb_channels, 1, 2);
        if (output->Open(rate, channels)) {
            auto ring = std::make_unique<AudioRing>(output->Rate() / kRingFractionOfSecond, output->Channels());
            auto decoder = std::make_unique<AudioDecoder>(m_shared, *ring, m_clock, output->Rate(), output->Channels());
            if (Succeeded(decoder->Open(as))) {
                output->Attach(ring.get());
                output->SetVolume(m_volume.load());
                m_output = std::move(output);
                m_ring = std::move(ring);
                m_audio = std::move(decoder);
            }
        }
    }
    // Like a graph that renders nothing, a file with no stream we can
    // decode is refused. Sound counts even when no device plays it.
    const bool renderable = m_video || m_audio || (as && m_wantAudio && avcodec_find_decoder(as->codecpar->codec_id));
    if (!renderable) return kUnsupported;

    m_duration = m_demuxer.Duration();
    m_seekable = m_demuxer.Seekable();
    m_demuxer.Start(m_video ? &m_videoPackets : nullptr, m_audio ? &m_audioPackets : nullptr);
    if (m_video) m_video->Start(&m_videoPackets, &m_frames);
    if (m_audio) m_audio->Start(&m_audioPackets);
    if (m_video) {
        m_timelineReader = std::thread([this, path] {
            // Behind everything else: playing comes first.
            LowerThisThread("reelscope-time", kBackgroundNice);
            auto timeline = std::make_shared<const Timeline>(ReadTimeline(path, m_shared));
            std::lock_guard lock(m_timelineMutex);
            m_timeline = timeline;
            m_shared.timeline.store(m_timeline.get(), std::memory_order_release);
        });
    }
    m_open = true;
    return kOk;
}

Result FfmpegStream::GetTimeline(std::shared_ptr<const Timeline>& timeline)
{
    std::lock_guard lock(m_timelineMutex);
    if (!m_timeline || m_timeline->lastPicture < 0) return kFalse;
    timeline = m_timeline;
    return kOk;
}

Result FfmpegStream::GetFilterGraph(std::shared_ptr<FilterGraph>& graph)
{
    if (!m_initialized) return kFail;
    graph = shared_from_this();
    return kOk;
}

Result FfmpegStream::GetMediaStream(StreamPurpose purpose, std::shared_ptr<MediaStream>& stream)
{
    const bool added = purpose == StreamPurpose::PrimaryVideo ? m_wantVideo : m_wantAudio;
    if (!added) return kNoStream;
    stream = shared_from_this();
    return kOk;
}

Result FfmpegStream::SetState(StreamState state)
{
    std::lock_guard lock(m_control);
    if (!m_open) return kFail;
    if (state == StreamState::Run) {
        m_aborted = false;
        if (!m_running) {
            m_clock.Run();  // before the flag: Update must never see a stopped clock as running
            m_running = true;
            if (m_output) m_output->SetPaused(false);
        }
    } else if (m_running) {
        ClockNow();  // take in the last sound report before the position freezes
        m_running = false;
        m_clock.Stop();
        if (m_output) m_output->SetPaused(true);
        KeepPositionWithPicture();
    }
    m_frames.Wake();
    return kOk;
}

StreamTime FfmpegStream::ClockNow()
{
    if (m_output && m_output->KeepsTime()) {
        StreamTime heard = 0;
        std::int64_t atNs = 0;
        int serial = 0;
        if (m_output->Heard().Read(heard, atNs, serial) && !m_shared.Stale(serial)) {
            std::lock_guard lock(m_clockMutex);
            if (atNs != m_heardAtNs) {
                m_heardAtNs = atNs;
                m_clock.SyncTo(heard, atNs);
            }
        }
    }
    return m_clock.Now();
}

void FfmpegStream::KeepPositionWithPicture()
{
    // A stopped stream stands in the frame it shows: not before the
    // picture's own frame (a timestamp rounded early lets it out a hair
    // before its frame starts), nor in the next picture's frame when that
    // one was due but not shown yet. Played to its end, it stands on its
    // last picture, as a seek to the end leaves it; unless the sound went on
    // well past the pictures, and the position with it (a picture standing
    // over the rest of the sound).
    StreamTime lower = -kTimeLimit;
    StreamTime last = 0;
    int serial = -1;
    {
        std::lock_guard lock(m_deliverMutex);
        if (!m_last || m_shared.Stale(m_lastSerial)) return;
        last = m_lastTime;
        lower = m_shared.FrameStart(last);
        serial = m_lastSerial;
    }
    const StreamTime now = m_clock.Now();
    StreamTime upper = kTimeLimit;
    m_frames.PeekWait(0, {}, [&](FrameItem* front, FrameItem*) {
        if (!front || front->serial != serial) return;
        if (front->frame) upper = m_shared.FrameStart(front->time) - 1;
        else if (now <= last + 2 * m_shared.timing.TimePerFrame()) upper = lower;
    });
    if (now < lower || now > upper) m_clock.Set(std::clamp(now, lower, std::max(lower, upper)));
}

Result FfmpegStream::GetTime(StreamTime& time)
{
    if (!m_open) return kFail;
    time = ClockNow();
    return kOk;
}

Result FfmpegStream::GetDuration(StreamTime& duration)
{
    if (!m_open) return kFail;
    duration = m_duration;
    return kOk;
}

bool FfmpegStream::LastFrameHolds(StreamTime target)
{
    if (!m_last || m_shared.Stale(m_lastSerial)) return false;
    // Nothing comes before the movie's first picture.
    if (m_lastTime == m_shared.firstPicture.load() && target <= m_lastTime) return true;
    const Placement last = m_shared.Place(m_lastTime, target);
    // A kept picture's neighbour is not at the head of the queue: only what
    // it is known to hold counts (the kept pictures answer the rest).
    if (!last.atOrBefore || m_lastFromCache) return last.atOrBefore && last.holds;
    bool holds = last.holds;
    m_frames.PeekWait(0, {}, [&](FrameItem* front, FrameItem*) {
        // The end, or a next frame past the target, settles it too.
        if (front && front->serial == m_lastSerial)
            holds = holds || !front->frame || !m_shared.Place(front->time, target).atOrBefore;
    });
    return holds;
}

void FfmpegStream::StartSeek(StreamTime target, int attempt, bool keep)
{
    // Flushed before the new serial is out: once the demuxer sees it, all it
    // queues is of the new serial and must stay. What the old serial still
    // queues meanwhile is recognised as stale and dropped.
    m_videoPackets.Flush();
    m_audioPackets.Flush();
    m_frames.Flush();
    const int serial = m_shared.serial.load() + 1;
    // Pictures kept for stepping back are dropped by any other seek: that is
    // playing on, or going elsewhere.
    if (keep)
        m_shared.back.Begin(serial);
    else
        m_shared.back.Clear();
    m_shared.SetSeek(SeekRequest{serial, target, attempt, true, keep});
    if (m_output) m_output->SetSerial(serial);
    std::lock_guard lock(m_deliverMutex);
    m_last.reset();
    m_lastSerial = -1;
    m_redeliver = false;
    m_lastFromCache = false;
    m_pipeTime = -1;
    m_pipeLast.reset();
    m_pick.reset();
    m_pickHeld.reset();
    m_preroll = kPrerollFrames;
    m_prerollTime = target;
}

Result FfmpegStream::Seek(StreamTime time)
{
    std::lock_guard lock(m_control);
    if (!m_open) return kFail;
    bool decode = false;
    bool back = false;
    {
        std::lock_guard deliver(m_deliverMutex);
        m_pick.reset();
        m_pickHeld.reset();
        m_redeliver = false;
        // A step back (or a few): the pictures on the way are kept for the
        // steps that follow. A seek further back is a jump like any other,
        // and so is one while playing, which would show the first kept
        // picture and drop the rest (up to the cache's whole budget).
        back = !m_running.load() && m_last && time < m_lastTime && m_lastTime - time <= kPickAhead;
        auto place = [&](StreamTime t) { return m_shared.Place(t, time); };
        if (LastFrameHolds(time)) {
            m_redeliver = true;
        } else if (BackCache::Found kept = m_shared.back.Find(place); kept.frame) {
            // A step back through pictures already decoded. The decoder's
            // own last picture is kept aside: a step forward past the end
            // comes back to it.
            if (!m_lastFromCache) m_pipeLast = std::move(m_last);
            m_last = std::move(kept.frame);
            m_lastTime = kept.time;
            m_lastSerial = m_shared.serial.load();
            m_lastFromCache = true;
            m_redeliver = true;
        } else if (m_pipeTime >= 0 && !m_shared.Stale(m_pipeSerial) && time > m_pipeTime &&
                   time - m_pipeTime <= kPickAhead) {
            // A step forward: the running decoder has the next pictures.
            m_pick = time;
        } else {
            decode = true;
        }
    }
    if (decode) StartSeek(time, 0, back);
    m_clock.Set(time);
    m_frames.Wake();
    return kOk;
}

void FfmpegStream::Reseek(int serial)
{
    std::lock_guard lock(m_control);
    if (m_shared.quit.load() || m_shared.Stale(serial)) return;
    const SeekRequest request = m_shared.CurrentSeek();
    // Nothing was found at or before a target past the last picture there
    // is (a download cut short of what its header says): that picture is
    // the answer, at once rather than after stepping back second by second.
    StreamTime last = -1;
    {
        std::lock_guard timeline(m_timelineMutex);
        if (m_timeline) last = m_timeline->lastPicture;
    }
    if (last >= 0 && request.target > last && request.attempt == 0) return StartSeek(last, 0, request.keep);
    StartSeek(request.target, NextSeekAttempt(request), request.keep);
}

Result FfmpegStream::QueryDrawMediaStream(std::shared_ptr<DrawMediaStream>& out)
{
    out = shared_from_this();
    return kOk;
}

Result FfmpegStream::GetFormat(int& width, int& height)
{
    if (!m_open || !m_video) return kNoStream;
    const std::uint64_t shown = m_shownSize.load(std::memory_order_acquire);
    width = shown ? static_cast<int>(shown >> 32) : m_video->Width();
    height = shown ? static_cast<int>(shown & 0xffffffffu) : m_video->Height();
    return kOk;
}

Result FfmpegStream::CreateSample(const PixelBuffer& target, const FrameRect& rect,
                                  std::shared_ptr<StreamSample>& sample)
{
    if (!m_open || !m_video) return kNoStream;
    if (!target.bits || rect.left < 0 || rect.top < 0 || rect.Width() <= 0 || rect.Height() <= 0 ||
        rect.right > target.width || rect.bottom > target.height || target.stride < target.width * 4)
        return kInvalidArg;
    sample = std::make_shared<FfmpegSample>(shared_from_this(), target, rect);
    return kOk;
}

Result FfmpegStream::GetTimePerFrame(StreamTime& timePerFrame)
{
    if (!m_open || !m_video) return kNoStream;
    timePerFrame = m_shared.timing.TimePerFrame();
    return kOk;
}

Result FfmpegStream::GetFrameRate(std::int64_t& num, std::int64_t& den)
{
    if (!m_open || !m_video) return kNoStream;
    if (!m_shared.timing.Known()) return kFalse;
    num = m_shared.timing.Num();
    den = m_shared.timing.Den();
    return kOk;
}

Result FfmpegStream::RenderShown(const PixelBuffer& target, const FrameRect& rect, bool overlay)
{
    if (!m_open || !m_video) return kNoStream;
    if (!target.bits || rect.left < 0 || rect.top < 0 || rect.Width() <= 0 || rect.Height() <= 0 ||
        rect.right > target.width || rect.bottom > target.height)
        return kInvalidArg;
    std::lock_guard render(m_renderMutex);
    // Drawn over, it is rendered under the lock the worker presents under,
    // so the overlay is never drawn by both at once; otherwise only the
    // picture is taken from under it, and the worker goes on meanwhile.
    std::unique_lock deliver(m_deliverMutex);
    if (!m_last) return kFalse;
    FramePtr picture(av_frame_clone(m_last.get()));
    const StreamTime time = m_lastTime;
    if (!picture) return kOutOfMemory;
    if (!overlay) deliver.unlock();
    if (!m_renderConverter.Convert(picture.get(), target, rect)) return kFail;
    if (overlay && m_overlay) {
        const auto [start, length] = m_shared.FrameInterval(time);
        m_overlay->Draw(start, length, target, rect);
    }
    return kOk;
}

void FfmpegStream::SetDeinterlace(Deinterlace mode)
{
    std::lock_guard lock(m_control);
    if (mode == m_deinterlace) return;
    m_deinterlace = mode;
    if (!m_video) return;
    m_video->SetDeinterlace(mode);
    // What was decoded before is woven the other way: the next seek decodes
    // afresh rather than showing a kept picture again.
    m_shared.back.Clear();
    std::lock_guard deliver(m_deliverMutex);
    m_last.reset();
    m_lastSerial = -1;
    m_lastFromCache = false;
    m_pipeLast.reset();
    m_pipeTime = -1;
    m_redeliver = false;
}

void FfmpegStream::SetOverlay(std::shared_ptr<PictureOverlay> overlay)
{
    std::lock_guard lock(m_deliverMutex);
    m_overlay = std::move(overlay);
}

Result FfmpegStream::QueryBasicAudio(std::shared_ptr<BasicAudio>& out)
{
    out = shared_from_this();
    return kOk;
}

Result FfmpegStream::QueryMediaSeeking(std::shared_ptr<MediaSeeking>& out)
{
    out = shared_from_this();
    return kOk;
}

Result FfmpegStream::PutVolume(long volume)
{
    if (volume < -10000 || volume > 0) return kInvalidArg;
    m_volume = volume;
    if (m_output) m_output->SetVolume(volume);
    return kOk;
}

Result FfmpegStream::GetVolume(long& volume)
{
    volume = m_volume.load();
    return kOk;
}

Result FfmpegStream::GetCapabilities(std::uint32_t& caps)
{
    caps = m_seekable ? kCanSeekAbsolute : 0;
    return kOk;
}

Result FfmpegStream::SetRate(double rate)
{
    if (!(rate >= kMinRate && rate <= kMaxRate)) return kInvalidArg;
    ClockNow();
    m_clock.SetRate(rate);
    m_shared.rate.store(rate);
    m_frames.Wake();
    return kOk;
}

Result FfmpegStream::GetRate(double& rate)
{
    rate = m_shared.rate.load();
    return kOk;
}

void FfmpegStream::Abort()
{
    m_aborted = true;
    m_frames.Wake();
}

bool FfmpegStream::Cancelled() const
{
    return m_aborted.load() || !m_running.load() || m_shared.quit.load();
}

Result FfmpegStream::Present(const AVFrame* frame, StreamTime time, int serial, bool fromPipeline,
                             const PixelBuffer& target, const FrameRect& rect)
{
    if (!m_converter.Convert(frame, target, rect)) return kFail;
    if (m_overlay) {
        const auto [start, length] = m_shared.FrameInterval(time);
        m_overlay->Draw(start, length, target, rect);
    }
    // The picture's size (a broadcast or a recording joined from parts may
    // change it): told by GetFormat, so the engine can make room for it.
    if (frame->width != m_frameWidth || frame->height != m_frameHeight ||
        av_cmp_q(frame->sample_aspect_ratio, m_frameAspect) != 0) {
        m_frameWidth = frame->width;
        m_frameHeight = frame->height;
        m_frameAspect = frame->sample_aspect_ratio;
        int width = 0, height = 0;
        m_video->DisplaySizeOf(frame, width, height);
        if (FrameSizeAcceptable(width, height))
            m_shownSize.store(std::uint64_t(width) << 32 | std::uint32_t(height), std::memory_order_release);
    }
    ++m_framesShown;
    m_lastTime = time;
    m_lastSerial = serial;
    if (fromPipeline) {
        m_lastFromCache = false;
        m_pipeTime = time;
        m_pipeSerial = serial;
        m_pipeLast.reset();
    }
    return kOk;
}

Result FfmpegStream::Deliver(const PixelBuffer& target, const FrameRect& rect)
{
    if (!m_open || !m_video) return kNoStream;
    auto cancel = [this] { return Cancelled(); };
    for (;;) {
        if (m_aborted.load()) return kAborted;
        if (!m_running.load() || m_shared.quit.load()) return kNotRunning;

        bool preroll = false;
        bool sought = false;
        std::optional<StreamTime> pick;
        std::optional<StreamTime> goOnFrom;
        {
            std::lock_guard lock(m_deliverMutex);
            if (m_redeliver && m_last) {
                m_redeliver = false;
                return Present(m_last.get(), m_lastTime, m_lastSerial, false, target, rect);
            }
            // What is shown came from the kept pictures: the decoder is not
            // behind it. Playing goes on from it (a step forward to the
            // decoder's next pictures needs no such start).
            if (m_lastFromCache && !m_pick) goOnFrom = m_lastTime;
            preroll = m_preroll > 0;
            sought = m_preroll == kPrerollFrames && m_shared.CurrentSeek().active;
            pick = m_pick;
        }
        if (goOnFrom) {
            std::lock_guard control(m_control);
            StartSeek(*goOnFrom, 0, false);
            continue;
        }

        bool have = false, end = false, nextDue = false;
        int serial = 0;
        StreamTime time = 0, nextTime = 0;
        bool haveNext = false, nextIsEnd = false;
        m_frames.PeekWait(m_options.lookAgainNs, cancel, [&](FrameItem* front, FrameItem* second) {
            if (!front) return;
            have = true;
            end = !front->frame;
            serial = front->serial;
            time = front->time;
            if (second && second->serial == front->serial) {
                haveNext = second->frame != nullptr;
                nextIsEnd = !second->frame;
                nextTime = second->time;
            }
        });
        if (!have) continue;
        if (m_shared.Stale(serial)) {
            FrameItem stale;
            m_frames.TryPop(stale);
            continue;
        }

        if (pick) {
            // Passing over to the picture that holds the step's target.
            FrameItem item;
            if (!end) {
                const Placement place = m_shared.Place(time, *pick);
                // The last picture holds whatever lies past it.
                if (place.atOrBefore && !place.holds && !nextIsEnd) {
                    if (!haveNext) {
                        m_frames.WaitFor(kPickPollNs, cancel);
                        continue;
                    }
                    if (m_shared.Place(nextTime, *pick).atOrBefore) {
                        if (m_frames.TryPop(item) && item.frame) {
                            std::lock_guard lock(m_deliverMutex);
                            m_pickHeld = std::move(item.frame);
                            m_pickHeldTime = item.time;
                        }
                        continue;
                    }
                }
                m_frames.TryPop(item);
            }
            std::lock_guard lock(m_deliverMutex);
            if (m_shared.Stale(serial) || m_pick != pick) continue;  // another seek came in meanwhile
            m_pick.reset();
            // Past the last picture, the last one before the target holds it.
            if (!item.frame) std::swap(item.frame, m_pickHeld), item.time = m_pickHeldTime;
            m_pickHeld.reset();
            if (!item.frame) {
                // Past the decoder's last picture: that one holds the target,
                // though a kept picture may be on screen now.
                if (m_lastFromCache && m_pipeLast) {
                    m_last = std::move(m_pipeLast);
                    m_lastTime = m_pipeTime;
                    m_lastFromCache = false;
                }
                if (!m_last) return kEndOfStream;
                return Present(m_last.get(), m_lastTime, m_lastSerial, false, target, rect);
            }
            m_last = std::move(item.frame);
            return Present(m_last.get(), item.time, serial, true, target, rect);
        }

        if (end) {
            if (m_options.pacing) {
                // The last picture stays for its whole frame time before the
                // end, and stays on while the sound plays on after it.
                StreamTime endTime;
                {
                    std::lock_guard lock(m_deliverMutex);
                    endTime = m_last ? m_lastTime + m_shared.timing.TimePerFrame() : 0;
                }
                const StreamTime now = ClockNow();
                if (m_audio) {
                    const StreamTime sound = m_shared.SoundEnd(serial);
                    // Not all decoded yet: wait, though never past the end
                    // the header gives by long, so a sound that stalls
                    // cannot hold the movie open.
                    if (sound < 0 && now < std::max(m_duration, endTime) + kSoundEndGrace) {
                        m_frames.WaitFor(m_options.lookAgainNs, cancel);
                        continue;
                    }
                    endTime = std::max(endTime, sound);
                }
                if (const std::int64_t ns = m_clock.NsUntil(endTime); ns > 0) {
                    m_frames.WaitFor(std::min(ns, m_options.lookAgainNs), cancel);
                    continue;
                }
            }
                    return kEndOfStream;
        }

        // The frame a seek selected is shown at once, even when it lies after
        // the target (the first picture of a movie that starts late).
        if (m_options.pacing && !sought) {
            ClockNow();
            if (const std::int64_t ns = m_clock.NsUntil(time); ns > 0) {
                m_frames.WaitFor(std::min(ns, m_options.lookAgainNs), cancel);
                continue;
            }
            // A frame whose successor is already due is late: it was decoded
            // to keep the decoder going but is not converted or shown.
            nextDue = !preroll && haveNext && m_clock.NsUntil(nextTime) == 0;
        }

        FrameItem item;
        if (!m_frames.TryPop(item)) continue;
        if (!item.frame || m_shared.Stale(item.serial)) continue;
        if (nextDue) {
            ++m_framesLate;
            continue;
        }

        // Playing on: the pictures kept for stepping back are not needed.
        if (!sought) m_shared.back.Clear();
        std::lock_guard lock(m_deliverMutex);
        if (m_shared.Stale(item.serial)) continue;  // a seek came in meanwhile
        if (m_preroll == kPrerollFrames)
            m_clock.Set(std::max(m_prerollTime, item.time));
        else if (m_preroll > 0 && m_clock.Now() > item.time)
            m_clock.Set(item.time);
        if (m_preroll > 0) --m_preroll;
        m_last = std::move(item.frame);
        return Present(m_last.get(), item.time, item.serial, true, target, rect);
    }
}

}  // namespace media
