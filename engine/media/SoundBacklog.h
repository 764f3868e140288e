#pragma once
// The packets of the sound tracks not being played, kept for the stretch
// the demuxer reads ahead of the picture: a switch to one of them then
// starts where the picture is, at once, rather than where the demuxer has
// got to. The demuxer's thread alone uses it.

#include <deque>
#include <map>
#include <vector>

#include "engine/media/FfmpegUtil.h"

namespace media {

class SoundBacklog {
public:
    // The demuxer runs at most a few seconds ahead of the picture (its
    // queues bound it), and some files carry their sound well ahead of the
    // pictures: this much covers both.
    static constexpr StreamTime kSpan = 15 * kUnitsPerSecond;
    // Per track; 15 s of the richest sound (DTS-HD, some 6 Mbit/s) is less.
    static constexpr std::size_t kMaxBytes = 12u << 20;

    // `time`: where the packet's sound is, in its own track's stream time.
    void Add(PacketPtr packet, StreamTime time);
    // The packets kept for `stream`, oldest first; the stream's backlog is
    // empty afterwards.
    std::vector<PacketPtr> Take(int stream);
    void Clear() { m_tracks.clear(); }

private:
    struct Kept {
        PacketPtr packet;
        StreamTime time;
    };
    struct Track {
        std::deque<Kept> packets;
        std::size_t bytes = 0;
    };
    std::map<int, Track> m_tracks;
};

}  // namespace media
