#pragma once
// Where in the movie the stream stands. While running, the position moves
// with a monotonic clock scaled by the rate; while sound plays, the position
// of the sound actually heard corrects it (SyncTo), so the picture follows
// the sound. A value class: every member is guarded by its own mutex, and
// "now" is injectable so tests can drive it.

#include <cstdint>
#include <functional>
#include <mutex>

#include "engine/media/MediaTypes.h"

namespace media {

// Monotonic nanoseconds.
std::int64_t SteadyNowNs();

class Clock {
public:
    using NowFn = std::function<std::int64_t()>;

    explicit Clock(NowFn now = SteadyNowNs);

    // Jumps to `position`; a running clock goes on running from there.
    void Set(StreamTime position);
    void Run();
    // Freezes the position where it is.
    void Stop();
    bool Running() const;

    // Rate > 0; 1.0 is normal speed. The position is kept across the change.
    void SetRate(double rate);
    double Rate() const;

    StreamTime Now() const;

    // The sound device reports that at monotonic time `atNs` the stream time
    // `position` is being heard. Reports from before the last Set or Run
    // describe sound from before that jump and are ignored; so are small
    // differences, which are only the jitter of the device's callbacks.
    void SyncTo(StreamTime position, std::int64_t atNs);

    // Monotonic nanoseconds from now until the clock reaches `t` at the
    // current rate; 0 when it is there already; the largest value when the
    // clock is stopped short of it.
    std::int64_t NsUntil(StreamTime t) const;

private:
    StreamTime PositionAt(std::int64_t ns) const;  // caller holds m_mutex

    // Differences below this are callback jitter, not drift.
    static constexpr StreamTime kSyncTolerance = 3 * kUnitsPerMs;

    NowFn m_now;
    mutable std::mutex m_mutex;
    // -- All the following fields are guarded by m_mutex.
    StreamTime m_base = 0;        // position at m_baseNs
    std::int64_t m_baseNs = 0;    // monotonic time of the last rebase
    std::int64_t m_epochNs = 0;   // monotonic time of the last Set or Run
    double m_rate = 1.0;
    bool m_running = false;
};

}  // namespace media
