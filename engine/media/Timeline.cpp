#include "engine/media/Timeline.h"

#include <algorithm>

namespace media {

int Timeline::FrameAt(StreamTime time) const
{
    const auto after = std::upper_bound(pictures.begin(), pictures.end(), time);
    return after == pictures.begin() ? 0 : static_cast<int>(after - pictures.begin()) - 1;
}

StreamTime Timeline::TimeOf(int frame) const
{
    if (pictures.empty()) return 0;
    return pictures[static_cast<std::size_t>(std::clamp(frame, 0, Count() - 1))];
}

Timeline Timeline::Of(std::vector<StreamTime> times, StreamTime timePerFrame, StreamTime tick, StreamTime end)
{
    std::sort(times.begin(), times.end());
    times.erase(std::unique(times.begin(), times.end()), times.end());
    Timeline t;
    if (times.empty()) return t;
    t.lastPicture = times.back();
    t.end = std::max(end, t.lastPicture + std::max<StreamTime>(timePerFrame, 0));
    // One steady rate: every gap is one frame time, give or take the
    // rounding of the container's timestamps. A movie whose header names no
    // rate is numbered by its pictures whatever their gaps.
    const StreamTime slack = std::max(timePerFrame / 8, tick);
    bool steady = timePerFrame > 0;
    for (std::size_t i = 1; steady && i < times.size(); ++i)
        steady = std::abs(times[i] - times[i - 1] - timePerFrame) <= slack;
    if (!steady) t.pictures = std::move(times);
    return t;
}

}  // namespace media
