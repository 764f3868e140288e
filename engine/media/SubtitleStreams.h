#pragma once
// The movie's own subtitle streams: a track in the overlay for each that
// FFmpeg can decode, and a decoder per stream for each of the two readers
// that feed it (the demuxer and the reading of the whole file), so that
// neither disturbs what the other has half put together.

#include <array>
#include <memory>
#include <vector>

#include "engine/media/MediaStream.h"
#include "engine/media/SubtitleFeed.h"
#include "engine/media/SubtitleOverlay.h"

namespace media {

class SubtitleStreams final : public SubtitleFeed {
public:
    // At most this many streams are taken, as the menu can list them.
    static constexpr int kMaxStreams = 48;

    // Gives `overlay` the fonts attached to the file and a track for each
    // subtitle stream; `origin` is the movie's stream time 0.
    SubtitleStreams(const AVFormatContext* format, StreamTime origin, SubtitleOverlay& overlay);

    struct Stream {
        int index;  // in the file
        TrackInfo info;
    };
    // In the order of their tracks in the overlay (the first is track 0).
    std::vector<Stream> Streams() const;
    std::vector<int> Indices() const;

    bool Carries(int index) const override;
    void Take(Reader reader, const AVPacket& packet) override;
    void Restart(Reader reader) override;

private:
    struct Decoding {
        int index = -1;
        TrackInfo info;
        std::array<SubtitleDecoder, kReaders> decoders;
        TextTrack* text = nullptr;
        BitmapTrack* bitmap = nullptr;
    };
    // Made before the readers start and not changed after: each reader uses
    // only its own decoders and scratch.
    std::vector<std::unique_ptr<Decoding>> m_streams;
    std::vector<int> m_byIndex;  // stream index -> place in m_streams, or -1
    std::array<std::vector<TextCue>, kReaders> m_text;
    std::array<std::vector<BitmapCue>, kReaders> m_bitmaps;
};

// The information a menu shows of a stream: language, title, coding,
// channels, default mark.
TrackInfo TrackInfoOf(const AVStream* stream);

}  // namespace media
