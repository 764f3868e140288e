#pragma once
// FFmpeg objects owned by std::unique_ptr with their matching free
// functions, and the conversions between FFmpeg time bases and StreamTime.

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/frame.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include "engine/media/MediaTypes.h"

namespace media {

struct FormatContextCloser {
    void operator()(AVFormatContext* p) const { avformat_close_input(&p); }
};
struct CodecContextFree {
    void operator()(AVCodecContext* p) const { avcodec_free_context(&p); }
};
struct FrameFree {
    void operator()(AVFrame* p) const { av_frame_free(&p); }
};
struct PacketFree {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct SwsFree {
    void operator()(SwsContext* p) const { sws_freeContext(p); }
};
struct SwrFree {
    void operator()(SwrContext* p) const { swr_free(&p); }
};

using FormatContextPtr = std::unique_ptr<AVFormatContext, FormatContextCloser>;
using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextFree>;
using FramePtr = std::unique_ptr<AVFrame, FrameFree>;
using PacketPtr = std::unique_ptr<AVPacket, PacketFree>;
using SwsPtr = std::unique_ptr<SwsContext, SwsFree>;
using SwrPtr = std::unique_ptr<SwrContext, SwrFree>;

inline constexpr AVRational kStreamTimeBase{1, static_cast<int>(kUnitsPerSecond)};

// A file may carry any 64-bit number as a time, and av_rescale_q answers an
// overflow with INT64_MIN. Times are held within about 3,600 years either
// way, so the sums and differences of a few of them (an origin, a duration,
// a frame's length) can never overflow, whatever the file says.
inline constexpr StreamTime kTimeLimit = StreamTime{1} << 60;

inline StreamTime ToStreamTime(std::int64_t ts, AVRational tb)
{
    return std::clamp<StreamTime>(av_rescale_q(ts, tb, kStreamTimeBase), -kTimeLimit, kTimeLimit);
}

// The sum of two times in a file's own units, held at the ends of the range
// rather than overflowing.
inline std::int64_t SaturatingAdd(std::int64_t a, std::int64_t b)
{
    std::int64_t sum;
    if (!__builtin_add_overflow(a, b, &sum)) return sum;
    return b > 0 ? INT64_MAX : INT64_MIN;
}

inline std::int64_t FromStreamTime(StreamTime t, AVRational tb)
{
    return av_rescale_q(t, kStreamTimeBase, tb);
}

inline std::string AvError(int err)
{
    char buf[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(err, buf, sizeof buf);
    return buf;
}

}  // namespace media
