#pragma once
// Stretches sound in time with its pitch kept, through FFmpeg's atempo
// filter, loaded the first time a rate other than 1 is asked for.

extern "C" {
#include <libavutil/frame.h>
}

struct AVFilterContext;
struct AVFilterGraph;

namespace media {

class TempoFilter {
public:
    TempoFilter() = default;
    ~TempoFilter();
    TempoFilter(const TempoFilter&) = delete;
    TempoFilter& operator=(const TempoFilter&) = delete;

    // A filter for float samples at `rate` in `channels`, stretching by
    // `tempo`. False when it cannot be made (nor the library loaded): the
    // sound then goes unstretched.
    bool Build(double tempo, int rate, int channels);
    void Reset();
    bool Built() const { return m_graph != nullptr; }
    // Takes `frame` (float samples); false when the filter refuses it.
    bool Push(AVFrame* frame);
    // The next stretched piece into `out`; false when none is ready.
    bool Pull(AVFrame* out);

private:
    AVFilterGraph* m_graph = nullptr;
    AVFilterContext* m_in = nullptr;
    AVFilterContext* m_out = nullptr;
};

}  // namespace media
