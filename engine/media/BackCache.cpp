#include "engine/media/BackCache.h"

#include <sys/mman.h>

#include <cstdint>

extern "C" {
#include <libavutil/imgutils.h>
}

namespace media {

namespace {

// A copy of `frame` in a mapping of its own. Pictures of this size taken
// from the heap stay resident after they are let go (malloc keeps what it
// once held for the next ones), so a few seconds of stepping back would
// cost the rest of the run; a mapping goes back to the system at once. A
// copy rather than a reference: a reference would keep the decoder's buffer
// pool grown to the cache's size for as long as the decoder lives.
FramePtr CopyIntoMapping(const AVFrame* frame)
{
    constexpr int kAlign = 64;
    const auto format = static_cast<AVPixelFormat>(frame->format);
    const int size = av_image_get_buffer_size(format, frame->width, frame->height, kAlign);
    if (size <= 0) return nullptr;
    void* memory = ::mmap(nullptr, static_cast<std::size_t>(size), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED) return nullptr;
    auto unmap = [](void* length, std::uint8_t* data) { ::munmap(data, reinterpret_cast<std::uintptr_t>(length)); };
    AVBufferRef* buffer = av_buffer_create(static_cast<std::uint8_t*>(memory), static_cast<std::size_t>(size), unmap,
                                           reinterpret_cast<void*>(static_cast<std::uintptr_t>(size)), 0);
    if (!buffer) {
        ::munmap(memory, static_cast<std::size_t>(size));
        return nullptr;
    }
    FramePtr kept(av_frame_alloc());
    if (!kept) {
        av_buffer_unref(&buffer);
        return nullptr;
    }
    kept->buf[0] = buffer;  // owned by the frame from here on
    kept->format = frame->format;
    kept->width = frame->width;
    kept->height = frame->height;
    if (av_image_fill_arrays(kept->data, kept->linesize, buffer->data, format, frame->width, frame->height, kAlign) < 0 ||
        av_frame_copy(kept.get(), frame) < 0 || av_frame_copy_props(kept.get(), frame) < 0)
        return nullptr;
    return kept;
}

}  // namespace

void BackCache::Begin(int serial)
{
    std::lock_guard lock(m_mutex);
    m_serial = serial;
    m_run.clear();
    m_bytes = 0;
}

void BackCache::Clear()
{
    Begin(-1);
}

void BackCache::Add(int serial, const AVFrame* frame, StreamTime time)
{
    {
        std::lock_guard lock(m_mutex);
        if (serial != m_serial) return;
    }
    FramePtr kept = CopyIntoMapping(frame);
    if (!kept) return;
    std::size_t bytes = 0;
    for (const AVBufferRef* buf : kept->buf)
        if (buf) bytes += buf->size;
    std::lock_guard lock(m_mutex);
    if (serial != m_serial || (!m_run.empty() && time <= m_run.back().time)) return;
    m_run.push_back(Entry{time, std::move(kept), bytes});
    m_bytes += bytes;
    while (m_bytes > m_maxBytes && m_run.size() > 1) {
        m_bytes -= m_run.front().bytes;
        m_run.pop_front();
    }
}

BackCache::Found BackCache::Find(const std::function<Placement(StreamTime)>& place) const
{
    std::lock_guard lock(m_mutex);
    for (std::size_t i = 0; i < m_run.size(); ++i) {
        const Entry& e = m_run[i];
        const Placement p = place(e.time);
        if (!p.atOrBefore) break;
        const bool nextAfter = i + 1 < m_run.size() && !place(m_run[i + 1].time).atOrBefore;
        if (p.holds || nextAfter) return Found{FramePtr(av_frame_clone(e.frame.get())), e.time};
    }
    return {};
}

std::size_t BackCache::Bytes() const
{
    std::lock_guard lock(m_mutex);
    return m_bytes;
}

}  // namespace media
