#pragma once
// The multimedia stream as the engine sees it: a multimedia stream object
// with a primary video stream, a sample that decodes frames into a pixel
// area, and the graph's audio and seeking controls. Each interface is held
// through a shared_ptr, one reference per holder, so an engine member keeps
// what it points at alive exactly as long as it holds it.
//
// Threads: everything may be called from the interface thread. Update of a
// sample is called from the engine's worker; Abort, SetState, Seek, the
// volume and the rate may be called from the interface thread while an
// Update is pending on the worker.

#include <memory>
#include <string>
#include <vector>

#include "engine/media/MediaTypes.h"
#include "engine/media/Timeline.h"

namespace media {

class StreamSample {
public:
    virtual ~StreamSample() = default;
    // Returns kOk once the next frame is due by the stream's clock and has
    // been converted into the sample's rectangle; kEndOfStream when there
    // are no more frames; another status when the stream stops, is aborted
    // or fails. Never blocks without bound while Abort can wake it.
    virtual Result Update() = 0;
    // Wakes a pending Update (it answers kAborted) and makes further Updates
    // answer kAborted until the stream is next set running.
    virtual void Abort() = 0;
};

// The video stream's drawing interface.
class DrawMediaStream {
public:
    virtual ~DrawMediaStream() = default;
    virtual Result GetFormat(int& width, int& height) = 0;
    // A sample that writes frames of native size into `rect` of `target`.
    virtual Result CreateSample(const PixelBuffer& target, const FrameRect& rect,
                                std::shared_ptr<StreamSample>& sample) = 0;
    virtual Result GetTimePerFrame(StreamTime& timePerFrame) = 0;
    // The steady rate the frame time was rounded from, as frames per second
    // num / den: kOk with it, kFalse when the stream has none. A stream that
    // cannot tell leaves the frame time to stand for the rate.
    virtual Result GetFrameRate(std::int64_t& /*num*/, std::int64_t& /*den*/) { return kNotImplemented; }
    // Renders the picture last handed out anew, into `rect` of `target` at
    // the rectangle's size, with what is drawn over it (the subtitles) when
    // `overlay`: kOk, or kFalse when no picture has been handed out yet.
    virtual Result RenderShown(const PixelBuffer& /*target*/, const FrameRect& /*rect*/, bool /*overlay*/)
    {
        return kNotImplemented;
    }
};

class MediaStream {
public:
    virtual ~MediaStream() = default;
    virtual Result QueryDrawMediaStream(std::shared_ptr<DrawMediaStream>& out) = 0;
};

class BasicAudio {
public:
    virtual ~BasicAudio() = default;
    // Hundredths of a decibel: -10000 is silence, 0 is full volume.
    virtual Result PutVolume(long volume) = 0;
    virtual Result GetVolume(long& volume) = 0;
};

class MediaSeeking {
public:
    virtual ~MediaSeeking() = default;
    virtual Result GetCapabilities(std::uint32_t& caps) = 0;
    virtual Result SetRate(double rate) = 0;
    virtual Result GetRate(double& rate) = 0;
};

class FilterGraph {
public:
    virtual ~FilterGraph() = default;
    virtual Result QueryBasicAudio(std::shared_ptr<BasicAudio>& out) = 0;
    virtual Result QueryMediaSeeking(std::shared_ptr<MediaSeeking>& out) = 0;
};

// The sound tracks and subtitles of an open movie.
enum class TrackKind { Sound, Subtitle };

struct TrackInfo {
    std::string language;    // ISO 639 code from the stream's tags or the file's name; empty when unknown
    std::string title;       // the name the file gives the track, when it gives one
    std::string codec;       // the coding's short name ("aac", "subrip", "dvd_subtitle")
    int channels = 0;        // sound only
    bool external = false;   // a subtitle file of its own, not a stream of the movie
    bool bitmap = false;     // subtitles as pictures rather than text
    bool isDefault = false;  // the file marks it as the one to use
};

// What the viewer prefers, for the tracks chosen as a movie opens.
struct TrackPreferences {
    std::vector<std::string> soundLanguages;     // most preferred first
    std::vector<std::string> subtitleLanguages;  // most preferred first
    bool subtitlesShown = true;
};

// Threads: the interface thread only.
class StreamTracks {
public:
    virtual ~StreamTracks() = default;
    // In the order the menus number them: the movie's own streams first,
    // then subtitle files in the order they were added.
    virtual std::vector<TrackInfo> Tracks(TrackKind kind) = 0;
    // The track in use; -1 when there is none (subtitles off, no sound).
    virtual int Selected(TrackKind kind) = 0;
    // -1 turns the subtitles off. Sound switches while playing keeps the
    // position; subtitles show from the next picture presented.
    virtual Result Select(TrackKind kind, int index) = 0;
    // Reads a subtitle file and adds it as the last subtitle track, without
    // choosing it: kOk, or a failure when it cannot be read as subtitles.
    virtual Result AddSubtitleFile(const std::string& path) = 0;
    // Subtitle files found beside the movie that could not be read; each is
    // told once.
    virtual std::vector<std::string> TakeUnreadFiles() = 0;
};

class MultiMediaStream {
public:
    virtual ~MultiMediaStream() = default;
    virtual Result Initialize() = 0;
    // PrimaryVideo is delivered through samples; PrimaryAudio with
    // `defaultRenderer` plays on the default sound output.
    virtual Result AddMediaStream(StreamPurpose purpose, bool defaultRenderer) = 0;
    virtual Result OpenFile(const std::string& path) = 0;
    virtual Result GetFilterGraph(std::shared_ptr<FilterGraph>& graph) = 0;
    virtual Result GetMediaStream(StreamPurpose purpose, std::shared_ptr<MediaStream>& stream) = 0;
    // Stop keeps the position; Run continues from it.
    virtual Result SetState(StreamState state) = 0;
    virtual Result GetTime(StreamTime& time) = 0;
    virtual Result GetDuration(StreamTime& duration) = 0;
    virtual Result Seek(StreamTime time) = 0;
    // What reading the whole file found, once the reading that begins with
    // the open is done: kOk with it then, kFalse before (or when it found
    // nothing).
    virtual Result GetTimeline(std::shared_ptr<const Timeline>& timeline) = 0;
    // Before OpenFile: what the tracks are chosen by.
    virtual void SetTrackPreferences(const TrackPreferences& /*preferences*/) {}
    // Which pictures are woven into whole ones (before OpenFile, or at any
    // time after: from the next picture decoded on).
    virtual void SetDeinterlace(Deinterlace /*mode*/) {}
    // After OpenFile: the sound tracks and subtitles.
    virtual Result QueryTracks(std::shared_ptr<StreamTracks>& /*out*/) { return kNotImplemented; }
};

class MediaFactory {
public:
    virtual ~MediaFactory() = default;
    virtual Result CreateMultiMediaStream(std::shared_ptr<MultiMediaStream>& stream) = 0;
};

struct MediaOptions {
    // Play sound on the default output. Without it, or when no device can be
    // opened, movies play silently on the monotonic clock.
    bool audio = true;
    // Deliver frames when the clock says so. Off for fuzzing and benchmarks:
    // every Update returns the next frame at once.
    bool pacing = true;
    // Longest single wait inside Update before it looks at the clock again
    // by itself; a stop, an abort, a seek or a new frame end it sooner. A
    // change of the clock that wakes nobody (the sound correcting it) is
    // seen within it.
    std::int64_t lookAgainNs = 50'000'000;
};

std::shared_ptr<MediaFactory> CreateMediaFactory(const MediaOptions& options = {});

}  // namespace media
