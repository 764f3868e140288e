#include "engine/media/BackCache.h"

namespace media {

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
    // A copy in buffers of its own: a reference would keep the decoder's
    // buffer pool grown to the cache's size for as long as the decoder lives.
    FramePtr kept(av_frame_alloc());
    if (!kept) return;
    kept->format = frame->format;
    kept->width = frame->width;
    kept->height = frame->height;
    if (av_frame_get_buffer(kept.get(), 0) < 0 || av_frame_copy(kept.get(), frame) < 0 ||
        av_frame_copy_props(kept.get(), frame) < 0)
        return;
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

BackCache::Found BackCache::Find(StreamTime target, const std::function<bool(StreamTime)>& holds) const
{
    std::lock_guard lock(m_mutex);
    for (std::size_t i = 0; i < m_run.size(); ++i) {
        const Entry& e = m_run[i];
        if (e.time > target) break;
        const bool nextAfter = i + 1 < m_run.size() && m_run[i + 1].time > target;
        if (holds(e.time) || nextAfter) return Found{FramePtr(av_frame_clone(e.frame.get())), e.time};
    }
    return {};
}

std::size_t BackCache::Bytes() const
{
    std::lock_guard lock(m_mutex);
    return m_bytes;
}

}  // namespace media
