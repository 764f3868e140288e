#pragma once
// Decoded sound on its way from the audio decoder (the one producer) to the
// sound device's callback (the one consumer), without a lock: the callback
// must never block. Each written chunk carries the stream time of its first
// sample, the stream time per sample (which the tempo changes) and the seek
// serial it belongs to; the reader skips chunks of an old serial, so a seek
// never has to stop the device to discard what was queued before it.

#include <atomic>
#include <cstdint>
#include <vector>

#include "engine/media/MediaTypes.h"

namespace media {

class AudioRing {
public:
    AudioRing(int capacityFrames, int channels, int maxChunks = 256);

    int Channels() const { return m_channels; }
    int CapacityFrames() const { return m_capacity; }

    // Producer side.
    // Frames that can be written now (also limited by free chunk slots).
    int Writable() const;
    // Writes `frames` interleaved frames; the caller checked Writable().
    void Write(const float* data, int frames, StreamTime startTime, double unitsPerFrame, int serial);

    // Consumer side.
    struct Span {
        int frames = 0;               // frames written to `out` from the ring
        bool timed = false;           // startTime and endTime are valid
        StreamTime startTime = 0;     // stream time of the first frame read
        StreamTime endTime = 0;       // stream time just after the last frame read
    };
    // Reads up to `frames` frames of serial `serial` into `out`, skipping
    // anything of another serial. Does not touch `out` beyond what it reads.
    Span Read(float* out, int frames, int serial);

    // Frames queued (of any serial); approximate from the producer's side.
    int Queued() const;

private:
    struct Chunk {
        std::uint64_t index = 0;  // ring position of its first frame
        StreamTime startTime = 0;
        double unitsPerFrame = 0;
        int serial = 0;
        int frames = 0;
    };

    const int m_channels;
    const int m_capacity;  // frames
    std::vector<float> m_data;
    std::vector<Chunk> m_chunks;
    // Positions grow without wrapping; the slot is position % capacity.
    // m_writePos and m_chunkWrite are written by the producer only,
    // m_readPos and m_chunkRead by the consumer only.
    std::atomic<std::uint64_t> m_writePos{0};
    std::atomic<std::uint64_t> m_readPos{0};
    std::atomic<std::uint64_t> m_chunkWrite{0};
    std::atomic<std::uint64_t> m_chunkRead{0};
};

}  // namespace media
