#include "engine/media/TempoFilter.h"

#include <cstdio>

#include "engine/media/FilterLibrary.h"

extern "C" {
#include <libavutil/channel_layout.h>
}

namespace media {

TempoFilter::~TempoFilter()
{
    Reset();
}

void TempoFilter::Reset()
{
    if (m_graph) FilterLibrary::Get().graphFree(&m_graph);
    m_graph = nullptr;
    m_in = m_out = nullptr;
}

bool TempoFilter::Build(double tempo, int rate, int channels)
{
    Reset();
    AVChannelLayout layout{};
    av_channel_layout_default(&layout, channels);
    char layoutName[64] = {};
    av_channel_layout_describe(&layout, layoutName, sizeof layoutName);
    av_channel_layout_uninit(&layout);

    char args[256];
    std::snprintf(args, sizeof args, "sample_rate=%d:sample_fmt=flt:channel_layout=%s:time_base=1/%d", rate,
                  layoutName, rate);
    char tempoArgs[64];
    std::snprintf(tempoArgs, sizeof tempoArgs, "tempo=%.6f", tempo);
    const FilterLibrary::Link chain[] = {{"atempo", tempoArgs}};
    m_graph = FilterLibrary::Get().Build("abuffer", args, chain, 1, "abuffersink", m_in, m_out);
    return m_graph != nullptr;
}

bool TempoFilter::Push(AVFrame* frame)
{
    return m_graph && FilterLibrary::Get().addFrame(m_in, frame) >= 0;
}

bool TempoFilter::Pull(AVFrame* out)
{
    return m_graph && FilterLibrary::Get().getFrame(m_out, out) >= 0;
}

}  // namespace media
