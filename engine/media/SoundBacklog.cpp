#include "engine/media/SoundBacklog.h"

namespace media {

void SoundBacklog::Add(PacketPtr packet, StreamTime time)
{
    Track& track = m_tracks[packet->stream_index];
    track.bytes += static_cast<std::size_t>(std::max(packet->size, 0));
    track.packets.push_back(Kept{std::move(packet), time});
    // The oldest go once the track spans more than it needs to, or holds
    // too much. A time that jumps back (damage, a wrap) clears the rest.
    while (!track.packets.empty()) {
        const Kept& oldest = track.packets.front();
        const bool stale = time - oldest.time > kSpan || oldest.time > time;
        if (!stale && track.bytes <= kMaxBytes) break;
        if (track.packets.size() == 1) break;
        track.bytes -= static_cast<std::size_t>(std::max(oldest.packet->size, 0));
        track.packets.pop_front();
    }
}

std::vector<PacketPtr> SoundBacklog::Take(int stream)
{
    std::vector<PacketPtr> packets;
    const auto it = m_tracks.find(stream);
    if (it == m_tracks.end()) return packets;
    packets.reserve(it->second.packets.size());
    for (Kept& kept : it->second.packets) packets.push_back(std::move(kept.packet));
    m_tracks.erase(it);
    return packets;
}

}  // namespace media
