#include "engine/media/AudioRing.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace media {

AudioRing::AudioRing(int capacityFrames, int channels, int maxChunks)
    : m_channels(channels),
      m_capacity(capacityFrames),
      m_data(static_cast<std::size_t>(capacityFrames) * channels),
      m_chunks(static_cast<std::size_t>(maxChunks))
{
}

int AudioRing::Writable() const
{
    const std::uint64_t chunksUsed = m_chunkWrite.load(std::memory_order_relaxed) -
                                     m_chunkRead.load(std::memory_order_acquire);
    if (chunksUsed >= m_chunks.size()) return 0;
    const std::uint64_t used = m_writePos.load(std::memory_order_relaxed) -
                               m_readPos.load(std::memory_order_acquire);
    return m_capacity - static_cast<int>(used);
}

int AudioRing::Queued() const
{
    return static_cast<int>(m_writePos.load(std::memory_order_acquire) -
                            m_readPos.load(std::memory_order_acquire));
}

void AudioRing::Write(const float* data, int frames, StreamTime startTime, double unitsPerFrame, int serial)
{
    if (frames <= 0) return;
    const std::uint64_t pos = m_writePos.load(std::memory_order_relaxed);
    const std::uint64_t chunkPos = m_chunkWrite.load(std::memory_order_relaxed);
    m_chunks[chunkPos % m_chunks.size()] = Chunk{pos, startTime, unitsPerFrame, serial, frames};

    int done = 0;
    while (done < frames) {
        const int slot = static_cast<int>((pos + done) % m_capacity);
        const int n = std::min(frames - done, m_capacity - slot);
        std::memcpy(&m_data[static_cast<std::size_t>(slot) * m_channels],
                    data + static_cast<std::size_t>(done) * m_channels,
                    sizeof(float) * static_cast<std::size_t>(n) * m_channels);
        done += n;
    }
    m_chunkWrite.store(chunkPos + 1, std::memory_order_release);
    m_writePos.store(pos + frames, std::memory_order_release);
}

AudioRing::Span AudioRing::Read(float* out, int frames, int serial)
{
    Span span;
    std::uint64_t readPos = m_readPos.load(std::memory_order_relaxed);
    std::uint64_t chunkRead = m_chunkRead.load(std::memory_order_relaxed);
    const std::uint64_t chunkWrite = m_chunkWrite.load(std::memory_order_acquire);

    while (span.frames < frames && chunkRead < chunkWrite) {
        const Chunk& chunk = m_chunks[chunkRead % m_chunks.size()];
        const std::uint64_t chunkEnd = chunk.index + static_cast<std::uint64_t>(chunk.frames);
        if (readPos >= chunkEnd) {
            ++chunkRead;
            continue;
        }
        const int offset = static_cast<int>(readPos - chunk.index);
        int n = std::min(frames - span.frames, chunk.frames - offset);
        if (chunk.serial == serial) {
            const StreamTime at =
                chunk.startTime + static_cast<StreamTime>(std::llround(offset * chunk.unitsPerFrame));
            if (!span.timed) {
                span.timed = true;
                span.startTime = at;
            }
            for (int done = 0; done < n;) {
                const int slot = static_cast<int>((readPos + done) % m_capacity);
                const int k = std::min(n - done, m_capacity - slot);
                std::memcpy(out + static_cast<std::size_t>(span.frames + done) * m_channels,
                            &m_data[static_cast<std::size_t>(slot) * m_channels],
                            sizeof(float) * static_cast<std::size_t>(k) * m_channels);
                done += k;
            }
            span.frames += n;
            span.endTime = at + static_cast<StreamTime>(std::llround(n * chunk.unitsPerFrame));
        } else {
            // Sound from before a seek: drop it whole.
            n = chunk.frames - offset;
        }
        readPos += static_cast<std::uint64_t>(n);
        if (readPos >= chunkEnd) ++chunkRead;
    }
    m_readPos.store(readPos, std::memory_order_release);
    m_chunkRead.store(chunkRead, std::memory_order_release);
    return span;
}

}  // namespace media
