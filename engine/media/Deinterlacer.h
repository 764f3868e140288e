#pragma once
// Weaves interlaced pictures into whole ones with FFmpeg's bwdif filter,
// one picture out for each picture in, at its time: frame numbers, steps
// and the counter stay as they are. The filter looks one picture ahead, so
// a picture comes out when the next has gone in, or when Finish is called.

#include <deque>

#include "engine/media/FfmpegUtil.h"
#include "engine/media/MediaTypes.h"

struct AVFilterContext;
struct AVFilterGraph;

namespace media {

class Deinterlacer {
public:
    Deinterlacer() = default;
    ~Deinterlacer();
    Deinterlacer(const Deinterlacer&) = delete;
    Deinterlacer& operator=(const Deinterlacer&) = delete;

    // Takes `frame` (shown at `time`) when it goes through the filter under
    // `mode`, and leaves it with the caller otherwise, to be shown as it
    // is, after what Pull gives now. Under Auto the filter starts at the
    // first picture marked interlaced; from then on every picture passes
    // through it (it weaves only the marked ones), so that none overtakes
    // the one it holds. Progressive movies never reach it.
    bool Push(FramePtr& frame, StreamTime time, Deinterlace mode);
    // The next picture ready to be shown, in order.
    bool Pull(FramePtr& frame, StreamTime& time);
    // No more pictures follow for now (the end of the file, or a decoder
    // that gives out what it holds): the one held back comes out.
    void Finish();
    // Drops everything, for a seek.
    void Reset();

private:
    bool Start(const AVFrame* frame, Deinterlace mode);
    bool Fits(const AVFrame* frame, Deinterlace mode) const;
    void Collect();
    void Close();

    AVFilterGraph* m_graph = nullptr;
    AVFilterContext* m_in = nullptr;
    AVFilterContext* m_out = nullptr;
    // What the running graph was made for.
    int m_width = 0;
    int m_height = 0;
    int m_format = -1;
    Deinterlace m_mode = Deinterlace::Off;
    bool m_failed = false;  // the filter cannot be made for this run of pictures
    std::deque<FramePtr> m_ready;
};

}  // namespace media
