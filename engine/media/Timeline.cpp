#include "engine/media/Timeline.h"

#include <algorithm>
#include <limits>

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
    if (rate.Known() && time > lastPicture && Numbers()) {
        // A picture's stamp is rounded to the container's tick, a target is
        // not: the tick's slack puts both in the frame they name.
        const std::int64_t after = rate.FrameAt(time - lastPicture + std::max<StreamTime>(tick, 2));
        return static_cast<int>(std::min<std::int64_t>(Count() - 1 + after, std::numeric_limits<int>::max()));
    }
    const auto after = std::upper_bound(pictures.begin(), pictures.end(), time);
    return after == pictures.begin() ? 0 : static_cast<int>(after - pictures.begin()) - 1;
}

StreamTime Timeline::TimeOf(int frame) const
{
    if (pictures.empty()) return 0;
    if (frame >= Count() && rate.Known()) return lastPicture + rate.Start(frame - (Count() - 1));
    return pictures[static_cast<std::size_t>(std::clamp(frame, 0, Count() - 1))];
}

StreamTime Timeline::KeyFrameAtOrBefore(StreamTime time) const
{
    const auto after = std::upper_bound(keyFrames.begin(), keyFrames.end(), time);
    return after == keyFrames.begin() ? -1 : *(after - 1);
}

Timeline Timeline::Of(PictureTimes pictures, const FrameTiming& rate, StreamTime tick, StreamTime end)
{
    const StreamTime timePerFrame = rate.TimePerFrame();
    std::vector<StreamTime>& times = pictures.times;
    std::sort(times.begin(), times.end());
    times.erase(std::unique(times.begin(), times.end()), times.end());
    Timeline t;
    t.rate = rate;
    t.tick = tick;
    if (times.empty()) return t;
    t.lastPicture = times.back();
    t.end = std::max(end, t.lastPicture + std::max<StreamTime>(timePerFrame, 0));
    // Pictures that are each a key frame need no list of them.
    std::sort(pictures.keys.begin(), pictures.keys.end());
    if (pictures.keys.size() < times.size()) t.keyFrames = std::move(pictures.keys);
    // One steady rate: every gap is one frame time, give or take the
    // rounding of the container's timestamps. A movie whose header names no
    // rate is numbered by its pictures whatever their gaps.
    // A file cut short, or still being written, lacks pictures of its last
    // group that come before its last one (they come after it in the file):
    // gaps there of whole frames leave the rate steady.
    const StreamTime slack = std::max(timePerFrame / 8, tick);
    const StreamTime lastKey = t.keyFrames.empty() ? t.lastPicture : t.keyFrames.back();
    auto steadyGap = [&](StreamTime gap, bool lastGroup) {
        const StreamTime frames = lastGroup ? std::max<StreamTime>(1, (gap + timePerFrame / 2) / timePerFrame) : 1;
        return std::abs(gap - frames * timePerFrame) <= slack;
    };
    bool steady = timePerFrame > 0;
    for (std::size_t i = 1; steady && i < times.size(); ++i)
        steady = steadyGap(times[i] - times[i - 1], times[i - 1] >= lastKey);
    if (!steady) t.pictures = std::move(times);
    return t;
}

}  // namespace media
