#pragma once
// What the threads of one open stream share: the seek serial and target,
// the quit flag, and the queues between demuxer, decoders and the sample.

#include <atomic>
#include <condition_variable>
#include <mutex>

#include "engine/media/BackCache.h"
#include "engine/media/FfmpegUtil.h"
#include "engine/media/FrameTiming.h"
#include "engine/media/SubtitleFeed.h"
#include "engine/media/SyncQueue.h"
#include "engine/media/Timeline.h"

namespace media {

// A seek as the demuxer and decoders carry it out. `attempt` counts how
// often the demuxer landed after the target and had to start earlier.
struct SeekRequest {
    int serial = 0;
    StreamTime target = 0;
    int attempt = 0;
    bool active = false;  // false for the initial read from the start
    bool keep = false;    // keep the pictures decoded on the way (a step back)
};

// A seek that lands after its target is tried again further back: 1 s,
// 2 s, 4 s, ... before it, doubling until it has gone back past the key
// frame before the target (a recording without an index may have one only
// every ten seconds). Going back to the start of the file ends that; if even
// that lands late (a coarse or half-built index), the file is opened afresh,
// which reads it from its first byte. kReopenAttempt lies past every
// doubling: 2^37 seconds is beyond any time a file can hold.
inline constexpr int kReopenAttempt = 64;

inline StreamTime SeekBackoff(const SeekRequest& request)
{
    return request.attempt == 0 ? 0 : (kUnitsPerSecond << std::min(request.attempt - 1, 37));
}

inline bool SeeksFromStart(const SeekRequest& request)
{
    return request.attempt >= kReopenAttempt || request.target - SeekBackoff(request) <= 0;
}

inline int NextSeekAttempt(const SeekRequest& request)
{
    return SeeksFromStart(request) ? kReopenAttempt : request.attempt + 1;
}

struct PacketItem {
    PacketPtr packet;  // null: end of the file
    int serial = 0;
};

struct FrameItem {
    FramePtr frame;  // null: end of the stream
    StreamTime time = 0;
    int serial = 0;
};

using PacketQueue = SyncQueue<PacketItem>;
using FrameQueue = SyncQueue<FrameItem>;

class StreamShared {
public:
    // Written only before the threads start.
    StreamTime origin = 0;        // stream time 0, in the video stream's (or file's) timeline
    FrameTiming timing;  // the video's steady rate; unknown when the file does not say
    int videoIndex = -1;
    // Where the subtitle streams' packets go; null when none is read.
    SubtitleFeed* subtitles = nullptr;

    // The sound stream whose packets go to the sound decoder. Set before the
    // threads start; afterwards the demuxer alone changes it, to the one
    // wanted, at a packet boundary (see WantSound).
    std::atomic<int> audioIndex{-1};
    std::atomic<int> wantedSound{-1};

    // What reading the whole file found, once it has; null until then. Set
    // once; what it points at lives as long as the stream.
    std::atomic<const Timeline*> timeline{nullptr};
    // Its numbering of the pictures, when they do not come at one steady rate.
    const Timeline* Numbering() const
    {
        const Timeline* t = timeline.load(std::memory_order_acquire);
        return t && t->Numbers() ? t : nullptr;
    }

    // Numbered by the timeline, frame n holds the times from its picture's
    // to the next one's. Otherwise, at a steady rate, frame n holds the
    // times from its start up to the next frame's, exactly as the engine
    // numbers frames, and a picture is the frame whose start its time is
    // nearest (container timestamps are rounded). Without either, plain
    // times are compared.
    Placement Place(StreamTime frameTime, StreamTime target) const
    {
        if (const Timeline* t = Numbering()) {
            const int index = t->FrameAt(frameTime);
            const int wanted = t->FrameAt(target);
            return {index <= wanted, index == wanted};
        }
        if (!timing.Known()) return {frameTime <= target, false};
        const std::int64_t index = timing.Nearest(frameTime);
        const std::int64_t wanted = timing.FrameAt(target);
        return {index <= wanted, index == wanted};
    }

    // Whether a frame at `frameTime` certainly comes before the frame that
    // holds `target`: known by the numbering or the rate, never guessed.
    bool Precedes(StreamTime frameTime, StreamTime target) const
    {
        const bool numbered = Numbering() || timing.Known();
        const Placement p = Place(frameTime, target);
        return numbered && p.atOrBefore && !p.holds;
    }

    // Where the frame of a picture stamped `frameTime` starts: where a
    // stream that shows it stands.
    StreamTime FrameStart(StreamTime frameTime) const
    {
        if (const Timeline* t = Numbering()) return t->TimeOf(t->FrameAt(frameTime));
        return timing.Known() ? timing.Start(timing.Nearest(frameTime)) : frameTime;
    }

    // The display interval of that frame: its start, and how long it lasts
    // (the last picture of a numbered movie, and a movie without a rate, by
    // the frame time, which may be 0).
    std::pair<StreamTime, StreamTime> FrameInterval(StreamTime frameTime) const
    {
        if (const Timeline* t = Numbering()) {
            const int frame = t->FrameAt(frameTime);
            const StreamTime start = t->TimeOf(frame);
            return {start, frame + 1 < t->Count() ? t->TimeOf(frame + 1) - start : timing.TimePerFrame()};
        }
        if (!timing.Known()) return {frameTime, 0};
        const std::int64_t frame = timing.Nearest(frameTime);
        return {timing.Start(frame), timing.Start(frame + 1) - timing.Start(frame)};
    }

    std::atomic<int> serial{0};
    std::atomic<bool> quit{false};
    std::atomic<double> rate{1.0};
    // Pictures decoded on the way to a backward target.
    BackCache back;
    // The stream index whose full queue the demuxer is waiting on; -1 none.
    std::atomic<int> demuxerWaitsOn{-1};
    // Where the first picture of the movie lies (a recording cut inside a
    // group of pictures starts with some that cannot be decoded); -1 until
    // the first read from the start has shown it.
    std::atomic<StreamTime> firstPicture{-1};

    // Where the sound ends, once its decoder has decoded the last of it
    // under `serial`; -1 before, or for another serial.
    void SetSoundEnd(int serialOfSound, StreamTime end)
    {
        std::lock_guard lock(m_mutex);
        m_soundEnd = end;
        m_soundEndSerial = serialOfSound;
    }
    StreamTime SoundEnd(int serialWanted) const
    {
        std::lock_guard lock(m_mutex);
        return m_soundEndSerial == serialWanted ? m_soundEnd : -1;
    }

    SeekRequest CurrentSeek() const
    {
        std::lock_guard lock(m_mutex);
        return m_seek;
    }

    void SetSeek(const SeekRequest& request)
    {
        {
            std::lock_guard lock(m_mutex);
            m_seek = request;
            serial.store(request.serial, std::memory_order_release);
        }
        m_cv.notify_all();
    }

    // Asks the demuxer to send the packets of sound stream `index` on.
    void WantSound(int index)
    {
        {
            std::lock_guard lock(m_mutex);
            wantedSound.store(index);
        }
        m_cv.notify_all();
    }
    bool SoundSwitchPending() const { return wantedSound.load() != audioIndex.load(); }

    // Blocks until the serial differs from `known`, another sound is
    // wanted, or quit is set.
    void WaitForSeek(int known)
    {
        std::unique_lock lock(m_mutex);
        m_cv.wait(lock, [&] { return quit.load() || m_seek.serial != known || SoundSwitchPending(); });
    }

    void Quit()
    {
        {
            std::lock_guard lock(m_mutex);
            quit.store(true);
        }
        m_cv.notify_all();
    }

    bool Stale(int itemSerial) const { return itemSerial != serial.load(std::memory_order_acquire); }

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_cv;
    // -- Guarded by m_mutex.
    SeekRequest m_seek;
    StreamTime m_soundEnd = -1;
    int m_soundEndSerial = -1;
};

}  // namespace media
