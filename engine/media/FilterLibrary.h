#pragma once
// FFmpeg's filter library, loaded the first time a filter is needed rather
// than linked: it brings some forty libraries of its own (speech synthesis,
// 3D audio, GPU filters) that a player showing progressive pictures at
// normal speed would otherwise carry in memory from its start.

#include "engine/media/FfmpegUtil.h"

extern "C" {
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
}

namespace media {

struct FilterLibrary {
    decltype(&avfilter_graph_alloc) graphAlloc = nullptr;
    decltype(&avfilter_graph_free) graphFree = nullptr;
    decltype(&avfilter_get_by_name) getByName = nullptr;
    decltype(&avfilter_graph_create_filter) createFilter = nullptr;
    decltype(&avfilter_link) link = nullptr;
    decltype(&avfilter_graph_config) config = nullptr;
    decltype(&av_buffersrc_add_frame) addFrame = nullptr;
    decltype(&av_buffersink_get_frame) getFrame = nullptr;
    decltype(&av_buffersink_get_time_base) sinkTimeBase = nullptr;

    bool Loaded() const { return getFrame != nullptr; }

    // The library the headers were built against; not Loaded when it is
    // missing or lacks a function.
    static const FilterLibrary& Get();

    // A graph of `source`, the filters named in `chain` in order (each
    // "name" or "name=options"), and the sink whose name `sink` gives;
    // its ends into `in` and `out`. Null when any part cannot be made.
    struct Link {
        const char* name;
        const char* options;
    };
    AVFilterGraph* Build(const char* source, const char* sourceArgs, const Link* chain, int length,
                         const char* sink, AVFilterContext*& in, AVFilterContext*& out) const;
};

}  // namespace media
