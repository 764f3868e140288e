#include "engine/media/Deinterlacer.h"

#include <cstdio>

#include "engine/media/FilterLibrary.h"

namespace media {
namespace {

bool MarkedInterlaced(const AVFrame* frame)
{
#if LIBAVUTIL_VERSION_INT >= AV_VERSION_INT(58, 7, 100)
    return (frame->flags & AV_FRAME_FLAG_INTERLACED) != 0;
#else
    return frame->interlaced_frame != 0;
#endif
}

}  // namespace

Deinterlacer::~Deinterlacer()
{
    Close();
}

bool Deinterlacer::Push(FramePtr& frame, StreamTime time, Deinterlace mode)
{
    const bool weave = mode == Deinterlace::On || (mode == Deinterlace::Auto && (m_graph || MarkedInterlaced(frame.get())));
    // A graph made for another size, format or mode gives out what it holds
    // first; so does one the user has just switched off.
    if (m_graph && (!weave || !Fits(frame.get(), mode))) Finish();
    if (!weave || (!m_graph && !Start(frame.get(), mode))) return false;
    frame->pts = time;
    if (FilterLibrary::Get().addFrame(m_in, frame.get()) < 0) {
        // Refused: shown as it is, after what the filter held.
        Finish();
        m_failed = true;
        return false;
    }
    frame.reset();
    Collect();
    return true;
}

bool Deinterlacer::Pull(FramePtr& frame, StreamTime& time)
{
    if (m_ready.empty()) return false;
    frame = std::move(m_ready.front());
    m_ready.pop_front();
    time = frame->pts;
    return true;
}

void Deinterlacer::Finish()
{
    if (!m_graph) return;
    // Refused only when the graph is already ended; what it holds comes out either way.
    [[maybe_unused]] const int ended = FilterLibrary::Get().addFrame(m_in, nullptr);
    Collect();
    Close();
}

void Deinterlacer::Reset()
{
    Close();
    m_ready.clear();
    m_failed = false;
}

bool Deinterlacer::Fits(const AVFrame* frame, Deinterlace mode) const
{
    return frame->width == m_width && frame->height == m_height && frame->format == m_format && mode == m_mode;
}

bool Deinterlacer::Start(const AVFrame* frame, Deinterlace mode)
{
    if (m_failed) return false;
    char args[160];
    const AVRational aspect = frame->sample_aspect_ratio.num > 0 ? frame->sample_aspect_ratio : AVRational{0, 1};
    std::snprintf(args, sizeof args, "video_size=%dx%d:pix_fmt=%d:time_base=1/%lld:pixel_aspect=%d/%d",
                  frame->width, frame->height, frame->format, static_cast<long long>(kUnitsPerSecond), aspect.num,
                  aspect.den);
    // One picture out per picture in; the field order from each picture.
    // Under Auto only the pictures marked interlaced are woven.
    const FilterLibrary::Link chain[] = {
        {"bwdif", mode == Deinterlace::On ? "mode=send_frame:parity=auto:deint=all"
                                          : "mode=send_frame:parity=auto:deint=interlaced"}};
    m_graph = FilterLibrary::Get().Build("buffer", args, chain, 1, "buffersink", m_in, m_out);
    if (!m_graph) {
        m_failed = true;  // no library, or a format the filter does not take
        return false;
    }
    m_width = frame->width;
    m_height = frame->height;
    m_format = frame->format;
    m_mode = mode;
    return true;
}

void Deinterlacer::Collect()
{
    for (;;) {
        FramePtr out(av_frame_alloc());
        if (!out || FilterLibrary::Get().getFrame(m_out, out.get()) < 0) return;
        // The filter counts in half its input's units (it can also give one
        // picture per field); back to the stream's.
        out->pts = ToStreamTime(out->pts, FilterLibrary::Get().sinkTimeBase(m_out));
        m_ready.push_back(std::move(out));
    }
}

void Deinterlacer::Close()
{
    if (m_graph) FilterLibrary::Get().graphFree(&m_graph);
    m_graph = nullptr;
    m_in = m_out = nullptr;
}

}  // namespace media
