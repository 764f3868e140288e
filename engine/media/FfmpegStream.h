#pragma once
// The multimedia stream over FFmpeg and SDL2. One object offers every
// interface of the stream, as one COM object offers several: the engine
// holds it through shared_ptrs of the interface types. Behind it a demuxer
// thread and one decoder thread per stream run ahead of the caller in
// bounded queues; the sample's Update hands out frames by the clock.

#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "engine/media/AudioDecoder.h"
#include "engine/media/AudioOutput.h"
#include "engine/media/Clock.h"
#include "engine/media/Demuxer.h"
#include "engine/media/FrameConverter.h"
#include "engine/media/MediaStream.h"
#include "engine/media/PictureOverlay.h"
#include "engine/media/VideoDecoder.h"

namespace media {
class SubtitleOverlay;
class SubtitleStreams;
}  // namespace media

namespace media {

class FfmpegStream final : public MultiMediaStream,
                           public MediaStream,
                           public DrawMediaStream,
                           public FilterGraph,
                           public BasicAudio,
                           public MediaSeeking,
                           public StreamTracks,
                           public std::enable_shared_from_this<FfmpegStream> {
public:
    explicit FfmpegStream(const MediaOptions& options);
    ~FfmpegStream() override;

    // MultiMediaStream
    Result Initialize() override;
    Result AddMediaStream(StreamPurpose purpose, bool defaultRenderer) override;
    Result OpenFile(const std::string& path) override;
    Result GetFilterGraph(std::shared_ptr<FilterGraph>& graph) override;
    Result GetMediaStream(StreamPurpose purpose, std::shared_ptr<MediaStream>& stream) override;
    Result SetState(StreamState state) override;
    Result GetTime(StreamTime& time) override;
    Result GetDuration(StreamTime& duration) override;
    Result Seek(StreamTime time) override;
    Result GetTimeline(std::shared_ptr<const Timeline>& timeline) override;
    void SetDeinterlace(Deinterlace mode) override;

    // MediaStream
    Result QueryDrawMediaStream(std::shared_ptr<DrawMediaStream>& out) override;

    // DrawMediaStream
    Result GetFormat(int& width, int& height) override;
    Result CreateSample(const PixelBuffer& target, const FrameRect& rect,
                        std::shared_ptr<StreamSample>& sample) override;
    Result GetTimePerFrame(StreamTime& timePerFrame) override;
    Result GetFrameRate(std::int64_t& num, std::int64_t& den) override;
    Result RenderShown(const PixelBuffer& target, const FrameRect& rect, bool overlay) override;

    // What is drawn over every picture presented from now on (null: nothing).
    void SetOverlay(std::shared_ptr<PictureOverlay> overlay);

    // Sound tracks and subtitles (FfmpegStreamTracks.cpp).
    void SetTrackPreferences(const TrackPreferences& preferences) override;
    Result QueryTracks(std::shared_ptr<StreamTracks>& out) override;
    std::vector<TrackInfo> Tracks(TrackKind kind) override;
    int Selected(TrackKind kind) override;
    Result Select(TrackKind kind, int index) override;
    Result AddSubtitleFile(const std::string& path) override;
    std::vector<std::string> TakeUnreadFiles() override;

    // FilterGraph
    Result QueryBasicAudio(std::shared_ptr<BasicAudio>& out) override;
    Result QueryMediaSeeking(std::shared_ptr<MediaSeeking>& out) override;

    // BasicAudio
    Result PutVolume(long volume) override;
    Result GetVolume(long& volume) override;

    // MediaSeeking
    Result GetCapabilities(std::uint32_t& caps) override;
    Result SetRate(double rate) override;
    Result GetRate(double& rate) override;

    // For the sample.
    Result Deliver(const PixelBuffer& target, const FrameRect& rect);
    void Abort();

private:
    struct Front;  // what Deliver learns from the head of the frame queue

    void Close();
    // Right after the demuxer's open: the sound track chosen, the subtitle
    // streams and the files beside the movie taken in.
    void OpenTracks(const std::string& path);
    Result SelectSound(int position);
    Result AddSubtitleTrack(const std::string& path);
    StreamTime ClockNow();
    // Caller holds m_control. `keep`: keep the pictures on the way (a step back).
    void StartSeek(StreamTime target, int attempt, bool keep);
    void Reseek(int serial);
    bool LastFrameHolds(StreamTime target);  // caller holds m_deliverMutex
    bool Cancelled() const;
    Result WaitUntil(StreamTime time);
    void KeepPositionWithPicture();  // the stream has just stopped
    // Converts `frame` into the sample's rectangle; it is the one shown now.
    // `fromPipeline`: it came from the decoder, not from the kept pictures.
    Result Present(const AVFrame* frame, StreamTime time, int serial, bool fromPipeline, const PixelBuffer& target,
                   const FrameRect& rect);

    const MediaOptions m_options;
    bool m_initialized = false;
    bool m_wantVideo = false;
    bool m_wantAudio = false;
    Deinterlace m_deinterlace = Deinterlace::Auto;
    bool m_open = false;

    StreamShared m_shared;
    PacketQueue m_videoPackets;
    PacketQueue m_audioPackets;
    FrameQueue m_frames;
    Demuxer m_demuxer;
    std::unique_ptr<VideoDecoder> m_video;
    std::unique_ptr<AudioOutput> m_output;
    std::unique_ptr<AudioRing> m_ring;
    std::unique_ptr<AudioDecoder> m_audio;
    Clock m_clock;
    // Read after the open on a thread of its own; set once, under m_timelineMutex.
    std::thread m_timelineReader;
    std::mutex m_timelineMutex;
    std::shared_ptr<const Timeline> m_timeline;
    StreamTime m_duration = 0;
    bool m_seekable = false;

    // Run/stop and seeks come from the interface thread and the worker.
    std::mutex m_control;
    std::atomic<bool> m_running{false};
    std::atomic<bool> m_aborted{false};
    std::atomic<long> m_volume{0};
    std::int64_t m_heardAtNs = 0;  // the last sound report applied; guarded by m_clockMutex
    std::mutex m_clockMutex;

    // -- The frame last handed out; guarded by m_deliverMutex. A seek to a
    // time this frame still holds hands it out again instead of decoding.
    std::mutex m_deliverMutex;
    FramePtr m_last;
    StreamTime m_lastTime = 0;
    int m_lastSerial = -1;
    bool m_redeliver = false;
    // Stepping. A picture served from the kept pictures leaves the decoder
    // where it was: m_pipeTime is the last picture taken from it.
    bool m_lastFromCache = false;
    StreamTime m_pipeTime = -1;
    int m_pipeSerial = -1;
    FramePtr m_pipeLast;  // the decoder's last picture while a kept one is shown
    // A step forward taken from the running decoder: the queued pictures
    // before this time are passed over (the last of them held, in case the
    // target lies past the last picture).
    std::optional<StreamTime> m_pick;
    FramePtr m_pickHeld;
    StreamTime m_pickHeldTime = 0;
    // The first frames after a seek (or the open) are never late: the
    // decoder's threads are still filling up, so the first restarts the
    // clock at the position sought and the next few move it back to
    // themselves if they come after their time.
    int m_preroll = kPrerollFrames;
    StreamTime m_prerollTime = 0;
    static constexpr int kPrerollFrames = 4;
    FrameConverter m_converter;  // used by Deliver only
    std::shared_ptr<PictureOverlay> m_overlay;  // guarded by m_deliverMutex, and used only under it
    // RenderShown's own, on the interface thread.
    std::mutex m_renderMutex;
    FrameConverter m_renderConverter;  // guarded by m_renderMutex
    // The shape of the pictures last presented (Deliver's own), and the size
    // they are shown at, width << 32 | height; 0 before the first.
    int m_frameWidth = 0, m_frameHeight = 0;
    AVRational m_frameAspect{0, 1};
    std::atomic<std::uint64_t> m_shownSize{0};
    // How playback went, told on stderr at the end when REELSCOPE_STATS is
    // set (benchmarks read it); Deliver's own.
    long m_framesShown = 0;
    long m_framesLate = 0;

    // -- Tracks; the interface thread's (switches take m_control). Defined
    // in FfmpegStreamTracks.cpp.
    TrackPreferences m_preferences;
    std::vector<SoundStream> m_soundStreams;  // in the menu's order
    std::vector<TrackInfo> m_soundTracks;
    std::shared_ptr<SubtitleOverlay> m_subtitles;
    std::shared_ptr<SubtitleStreams> m_subtitleStreams;  // fed by the demuxer and the timeline reader
    std::vector<TrackInfo> m_subtitleTracks;  // the overlay's tracks, in order
    std::vector<std::string> m_unreadFiles;
};

}  // namespace media
