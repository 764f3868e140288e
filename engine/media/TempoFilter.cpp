#include "engine/media/TempoFilter.h"

#include <dlfcn.h>

#include <cstdio>
#include <mutex>
#include <type_traits>

extern "C" {
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavutil/channel_layout.h>
}

namespace media {
namespace {

#define REELSCOPE_STRINGIFY2(x) #x
#define REELSCOPE_STRINGIFY(x) REELSCOPE_STRINGIFY2(x)

// The library the headers were built against, loaded once, on first use.
struct FilterLibrary {
    decltype(&avfilter_graph_alloc) graphAlloc = nullptr;
    decltype(&avfilter_graph_free) graphFree = nullptr;
    decltype(&avfilter_get_by_name) getByName = nullptr;
    decltype(&avfilter_graph_create_filter) createFilter = nullptr;
    decltype(&avfilter_link) link = nullptr;
    decltype(&avfilter_graph_config) config = nullptr;
    decltype(&av_buffersrc_add_frame) addFrame = nullptr;
    decltype(&av_buffersink_get_frame) getFrame = nullptr;

    bool Loaded() const { return getFrame != nullptr; }

    static const FilterLibrary& Get()
    {
        static FilterLibrary library;
        static std::once_flag once;
        std::call_once(once, [] {
            void* handle = dlopen("libavfilter.so." REELSCOPE_STRINGIFY(LIBAVFILTER_VERSION_MAJOR), RTLD_NOW | RTLD_LOCAL);
            if (!handle) return;
            FilterLibrary l;
            auto find = [&](auto& fn, const char* name) {
                fn = reinterpret_cast<std::remove_reference_t<decltype(fn)>>(dlsym(handle, name));
                return fn != nullptr;
            };
            if (find(l.graphAlloc, "avfilter_graph_alloc") && find(l.graphFree, "avfilter_graph_free") &&
                find(l.getByName, "avfilter_get_by_name") && find(l.createFilter, "avfilter_graph_create_filter") &&
                find(l.link, "avfilter_link") && find(l.config, "avfilter_graph_config") &&
                find(l.addFrame, "av_buffersrc_add_frame") && find(l.getFrame, "av_buffersink_get_frame"))
                library = l;
            // The handle stays: the library lives as long as the program.
        });
        return library;
    }
};

}  // namespace

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
    const FilterLibrary& f = FilterLibrary::Get();
    if (!f.Loaded() || !(m_graph = f.graphAlloc())) return false;
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
    AVFilterContext* stretch = nullptr;
    if (f.createFilter(&m_in, f.getByName("abuffer"), "in", args, nullptr, m_graph) < 0 ||
        f.createFilter(&stretch, f.getByName("atempo"), "tempo", tempoArgs, nullptr, m_graph) < 0 ||
        f.createFilter(&m_out, f.getByName("abuffersink"), "out", nullptr, nullptr, m_graph) < 0 ||
        f.link(m_in, 0, stretch, 0) < 0 || f.link(stretch, 0, m_out, 0) < 0 || f.config(m_graph, nullptr) < 0) {
        Reset();
        return false;
    }
    return true;
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
