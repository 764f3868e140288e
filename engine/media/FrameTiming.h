#pragma once
// Frame numbers and stream times at one steady rate. Every conversion
// between the two goes through here, so that the picture shown, the counter
// and the seek bar always name the same frame.
//
// The rate is kept as the fraction the file gives (30000/1001, 24000/1001,
// 30, 60...): 1/30 s is not a whole number of 100-ns units, and a frame
// time rounded once and multiplied drifts by a frame within seconds. Frame
// n starts at n / rate, rounded to the nearest unit; a frame holds the
// times from its start up to the next frame's.

#include <cstdint>

#include "engine/media/MediaTypes.h"

namespace media {

// Where a picture stands against a seek target.
struct Placement {
    bool atOrBefore = false;  // the picture holding the target is the last such picture
    bool holds = false;       // this picture is known to hold the target
};

class FrameTiming {
public:
    // No rate known: nothing can be numbered.
    FrameTiming() = default;
    // `num` / `den` frames per second; a rate that is not positive is unknown.
    FrameTiming(std::int64_t num, std::int64_t den) : m_num(num > 0 && den > 0 ? num : 0), m_den(num > 0 && den > 0 ? den : 1)
    {
    }
    // The rate whose frames last exactly `timePerFrame` units.
    static FrameTiming OfTimePerFrame(StreamTime timePerFrame) { return FrameTiming(kUnitsPerSecond, timePerFrame); }

    bool Known() const { return m_num > 0; }
    std::int64_t Num() const { return m_num; }
    std::int64_t Den() const { return m_den; }

    // One frame's length, to the nearest unit; 0 when the rate is unknown.
    StreamTime TimePerFrame() const { return Known() ? Start(1) : 0; }

    // When frame `frame` starts (frames before 0 start before the movie).
    StreamTime Start(std::int64_t frame) const
    {
        if (!Known()) return 0;
        // frame * den / num seconds, to the nearest unit (halves up).
        const Wide units = Wide{frame} * m_den * kUnitsPerSecond;
        return Narrow(FloorDiv(2 * units + m_num, 2 * Wide{m_num}));
    }

    // The frame whose interval holds `time`: the last one starting at or
    // before it. 0 when the rate is unknown.
    std::int64_t FrameAt(StreamTime time) const
    {
        if (!Known()) return 0;
        // The exact quotient's frame starts at or before `time` (its start is
        // rounded by half a unit at most); the next one may too, by that
        // half unit.
        const std::int64_t n = Narrow(FloorDiv(Wide{time} * m_num, Wide{m_den} * kUnitsPerSecond));
        return Start(n + 1) <= time ? n + 1 : n;
    }

    // The frame a picture stamped `time` is: the one whose start is
    // nearest, which absorbs the rounding of container timestamps (a
    // millisecond in Matroska) on either side of the exact start.
    std::int64_t Nearest(StreamTime time) const
    {
        if (!Known()) return 0;
        const Wide scaled = Wide{time} * m_num;
        const Wide unit = Wide{m_den} * kUnitsPerSecond;
        return Narrow(FloorDiv(2 * scaled + unit, 2 * unit));
    }

private:
    using Wide = __int128;
    static Wide FloorDiv(Wide a, Wide b)
    {
        const Wide q = a / b;
        return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
    }
    // Far beyond any time or frame a file can hold, and far from overflow.
    static std::int64_t Narrow(Wide v)
    {
        constexpr Wide kLimit = Wide{1} << 62;
        return static_cast<std::int64_t>(v < -kLimit ? -kLimit : v > kLimit ? kLimit : v);
    }

    std::int64_t m_num = 0;
    std::int64_t m_den = 1;
};

}  // namespace media
