#include "engine/media/Timeline.h"

#include <algorithm>

namespace media {

void PictureTimes::Add(StreamTime time, bool field, bool key)
{
    // The second field completes the picture the first one began.
    if (Completes(field)) {
        m_halfPicture = false;
        return;
    }
    m_halfPicture = field;
    times.push_back(time);
    if (key) keys.push_back(time);
}

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

StreamTime Timeline::KeyFrameAtOrBefore(StreamTime time) const
{
    const auto after = std::upper_bound(keyFrames.begin(), keyFrames.end(), time);
    return after == keyFrames.begin() ? -1 : *(after - 1);
}

Timeline Timeline::Of(PictureTimes pictures, StreamTime timePerFrame, StreamTime tick, StreamTime end)
{
    std::vector<StreamTime>& times = pictures.times;
    std::sort(times.begin(), times.end());
    times.erase(std::unique(times.begin(), times.end()), times.end());
    Timeline t;
    if (times.empty()) return t;
    t.lastPicture = times.back();
    t.end = std::max(end, t.lastPicture + std::max<StreamTime>(timePerFrame, 0));
    // Pictures that are each a key frame need no list of them.
    std::sort(pictures.keys.begin(), pictures.keys.end());
    if (pictures.keys.size() < times.size()) t.keyFrames = std::move(pictures.keys);
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
