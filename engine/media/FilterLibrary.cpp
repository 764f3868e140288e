#include "engine/media/FilterLibrary.h"

#include <dlfcn.h>

#include <mutex>
#include <type_traits>

namespace media {

#define REELSCOPE_STRINGIFY2(x) #x
#define REELSCOPE_STRINGIFY(x) REELSCOPE_STRINGIFY2(x)

const FilterLibrary& FilterLibrary::Get()
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
            find(l.addFrame, "av_buffersrc_add_frame") && find(l.getFrame, "av_buffersink_get_frame") &&
            find(l.sinkTimeBase, "av_buffersink_get_time_base"))
            library = l;
        // The handle stays: the library lives as long as the program.
    });
    return library;
}

AVFilterGraph* FilterLibrary::Build(const char* source, const char* sourceArgs, const Link* chain, int length,
                                    const char* sink, AVFilterContext*& in, AVFilterContext*& out) const
{
    in = out = nullptr;
    AVFilterGraph* graph = Loaded() ? graphAlloc() : nullptr;
    if (!graph) return nullptr;
    bool made = createFilter(&in, getByName(source), "in", sourceArgs, nullptr, graph) >= 0;
    AVFilterContext* last = in;
    for (int i = 0; made && i < length; ++i) {
        AVFilterContext* next = nullptr;
        const AVFilter* filter = getByName(chain[i].name);
        made = filter && createFilter(&next, filter, chain[i].name, chain[i].options, nullptr, graph) >= 0 &&
               link(last, 0, next, 0) >= 0;
        last = next;
    }
    made = made && createFilter(&out, getByName(sink), "out", nullptr, nullptr, graph) >= 0 &&
           link(last, 0, out, 0) >= 0 && config(graph, nullptr) >= 0;
    if (!made) {
        graphFree(&graph);
        in = out = nullptr;
    }
    return graph;
}

}  // namespace media
