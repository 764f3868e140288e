#pragma once
// The pictures decoded on the way to a backward target, kept so that the
// steps back after it are served from memory instead of decoding the group
// of pictures again for each. Holds one run of consecutive pictures, newest
// kept when it would pass its cap. The decoder thread fills it; the seeks
// read it.

#include <deque>
#include <functional>
#include <mutex>

#include "engine/media/FfmpegUtil.h"
#include "engine/media/FrameTiming.h"

namespace media {

class BackCache {
public:
    // A 1080p picture as decoded is about 3 MB, so this keeps some 80 of
    // them, a 4K one 20: a few seconds of single steps back.
    static constexpr std::size_t kMaxBytes = 256u << 20;

    explicit BackCache(std::size_t maxBytes = kMaxBytes) : m_maxBytes(maxBytes) {}

    // Starts a new run for `serial`, dropping what was kept.
    void Begin(int serial);
    void Clear();
    // Keeps a reference to `frame` (shown at `time`) if it belongs to the
    // current run; the oldest go while the run is over the cap.
    void Add(int serial, const AVFrame* frame, StreamTime time);

    // A new reference to the kept picture that is shown at a target, or
    // null. `place(time)` tells where a picture at `time` stands against the
    // target; a picture holds it when known to, or when the next one kept
    // lies past it.
    struct Found {
        FramePtr frame;
        StreamTime time = 0;
    };
    Found Find(const std::function<Placement(StreamTime)>& place) const;

    std::size_t Bytes() const;

private:
    struct Entry {
        StreamTime time;
        FramePtr frame;
        std::size_t bytes;
    };
    const std::size_t m_maxBytes;
    mutable std::mutex m_mutex;
    // -- All the following fields are guarded by m_mutex.
    int m_serial = -1;
    std::deque<Entry> m_run;  // in display order
    std::size_t m_bytes = 0;
};

}  // namespace media
