#pragma once
// Where the readers of a file hand the packets of its subtitle streams: the
// demuxer as it reads ahead of the picture, and the reading of the whole
// file behind it (which finds the subtitles that began before a seek's
// landing point). Each reader calls only from its own thread.

extern "C" {
#include <libavcodec/packet.h>
}

namespace media {

class SubtitleFeed {
public:
    enum class Reader { Demuxer = 0, Whole = 1 };
    static constexpr int kReaders = 2;

    virtual ~SubtitleFeed() = default;
    // Whether packets of stream `index` are wanted at all.
    virtual bool Carries(int index) const = 0;
    virtual void Take(Reader reader, const AVPacket& packet) = 0;
    // The reader jumped elsewhere in the file: what its decoders held of a
    // subtitle being put together belongs to the old place.
    virtual void Restart(Reader reader) = 0;
};

}  // namespace media
