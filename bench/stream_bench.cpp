// Measures the stream on a 1080p H.264 movie against FFmpeg alone doing the
// same work, in one run:
//  - unpaced throughput: frames per second into a 32-bit RGB picture;
//  - exact-seek latency to 20 random frames (median, 95th percentile);
//  - open time and peak resident memory.
// Usage: reelscope-stream-bench MOVIE

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include "engine/media/MediaStream.h"

using Clock = std::chrono::steady_clock;

namespace {

double Ms(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

double Percentile(std::vector<double> v, double p)
{
    std::sort(v.begin(), v.end());
    const std::size_t i = std::min(v.size() - 1, static_cast<std::size_t>(p * static_cast<double>(v.size() - 1) + 0.5));
    return v[i];
}

// FFmpeg alone: demux, decode with the same threads, convert to BGRA.
struct Reference {
    AVFormatContext* fmt = nullptr;
    AVCodecContext* codec = nullptr;
    SwsContext* sws = nullptr;
    AVPacket* pkt = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    int stream = -1;
    std::vector<std::uint8_t> rgb;

    explicit Reference(const char* path)
    {
        avformat_open_input(&fmt, path, nullptr, nullptr);
        avformat_find_stream_info(fmt, nullptr);
        const AVCodec* decoder = nullptr;
        stream = av_find_best_stream(fmt, AVMEDIA_TYPE_VIDEO, -1, -1, &decoder, 0);
        codec = avcodec_alloc_context3(decoder);
        avcodec_parameters_to_context(codec, fmt->streams[stream]->codecpar);
        codec->thread_count = 0;
        codec->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
        avcodec_open2(codec, decoder, nullptr);
        rgb.resize(static_cast<std::size_t>(codec->width) * codec->height * 4);
    }
    ~Reference()
    {
        sws_freeContext(sws);
        av_frame_free(&frame);
        av_packet_free(&pkt);
        avcodec_free_context(&codec);
        avformat_close_input(&fmt);
    }
    void Convert()
    {
        sws = sws_getCachedContext(sws, frame->width, frame->height, static_cast<AVPixelFormat>(frame->format),
                                   frame->width, frame->height, AV_PIX_FMT_BGRA, SWS_BILINEAR, nullptr, nullptr,
                                   nullptr);
        std::uint8_t* dst[4] = {rgb.data()};
        const int stride[4] = {frame->width * 4};
        sws_scale(sws, frame->data, frame->linesize, 0, frame->height, dst, stride);
    }
    // Decodes from where the file stands; calls `take` with each frame's pts
    // until it answers false or the file ends.
    template <typename Take>
    void Decode(Take&& take)
    {
        bool draining = false;
        for (;;) {
            while (avcodec_receive_frame(codec, frame) == 0) {
                const bool more = take(frame->best_effort_timestamp);
                av_frame_unref(frame);
                if (!more) return;
            }
            if (draining) return;
            if (av_read_frame(fmt, pkt) < 0) {
                avcodec_send_packet(codec, nullptr);
                draining = true;
                continue;
            }
            if (pkt->stream_index == stream) avcodec_send_packet(codec, pkt);
            av_packet_unref(pkt);
        }
    }
};

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s MOVIE\n", argv[0]);
        return 2;
    }
    const char* path = argv[1];
    using namespace media;

    // Open time: the engine's steps up to a sample bound to a picture.
    std::vector<double> opens;
    std::shared_ptr<MultiMediaStream> stream;
    std::shared_ptr<StreamSample> sample;
    std::vector<std::uint8_t> pixels;
    int width = 0, height = 0;
    StreamTime tpf = 0, duration = 0;
    auto factory = CreateMediaFactory(MediaOptions{false, false});
    for (int round = 0; round < 5; ++round) {
        sample.reset();
        stream.reset();
        const auto start = Clock::now();
        factory->CreateMultiMediaStream(stream);
        stream->Initialize();
        stream->AddMediaStream(StreamPurpose::PrimaryVideo, false);
        stream->AddMediaStream(StreamPurpose::PrimaryAudio, true);
        if (Failed(stream->OpenFile(path))) {
            std::fprintf(stderr, "cannot open %s\n", path);
            return 1;
        }
        std::shared_ptr<MediaStream> video;
        std::shared_ptr<DrawMediaStream> draw;
        stream->GetMediaStream(StreamPurpose::PrimaryVideo, video);
        video->QueryDrawMediaStream(draw);
        draw->GetFormat(width, height);
        pixels.assign(static_cast<std::size_t>(width) * height * 4, 0);
        draw->CreateSample(PixelBuffer{pixels.data(), width * 4, width, height}, FrameRect{0, 0, width, height},
                           sample);
        draw->GetTimePerFrame(tpf);
        stream->GetDuration(duration);
        opens.push_back(Ms(Clock::now() - start));
    }
    const int frames = static_cast<int>(duration / tpf);
    std::printf("movie: %s, %dx%d, %d frames\n", path, width, height, frames);
    std::printf("open: median %.1f ms\n", Percentile(opens, 0.5));

    // Throughput.
    stream->SetState(StreamState::Run);
    auto start = Clock::now();
    int delivered = 0;
    while (sample->Update() == kOk) ++delivered;
    const double oursFps = delivered / (Ms(Clock::now() - start) / 1000.0);
    stream->SetState(StreamState::Stop);

    int referenceFrames = 0;
    double referenceFps = 0;
    {
        Reference ref(path);
        start = Clock::now();
        ref.Decode([&](std::int64_t) {
            ref.Convert();
            ++referenceFrames;
            return true;
        });
        referenceFps = referenceFrames / (Ms(Clock::now() - start) / 1000.0);
    }
    std::printf("throughput: stream %.1f fps (%d frames), FFmpeg alone %.1f fps (%d frames), ratio %.2f "
                "(target >= 0.90)\n",
                oursFps, delivered, referenceFps, referenceFrames, oursFps / referenceFps);

    // Exact seeks to the same 20 random frames.
    std::mt19937 random(20261206);
    std::vector<int> targets;
    for (int i = 0; i < 20; ++i) targets.push_back(static_cast<int>(random() % static_cast<unsigned>(frames)));
    std::vector<double> ours, theirs;
    for (const int frame : targets) {
        stream->SetState(StreamState::Stop);
        start = Clock::now();
        stream->Seek(frame * tpf);
        stream->SetState(StreamState::Run);
        sample->Update();
        ours.push_back(Ms(Clock::now() - start));
    }
    {
        Reference ref(path);
        const AVRational tb = ref.fmt->streams[ref.stream]->time_base;
        const AVRational rate = ref.fmt->streams[ref.stream]->avg_frame_rate;
        for (const int frame : targets) {
            start = Clock::now();
            const std::int64_t ts = av_rescale_q(frame, av_inv_q(rate), tb);
            av_seek_frame(ref.fmt, ref.stream, ts, AVSEEK_FLAG_BACKWARD);
            avcodec_flush_buffers(ref.codec);
            ref.Decode([&](std::int64_t pts) {
                if (pts < ts) return true;
                ref.Convert();
                return false;
            });
            theirs.push_back(Ms(Clock::now() - start));
        }
    }
    std::printf("exact seek: stream median %.1f ms, p95 %.1f ms; FFmpeg alone median %.1f ms, p95 %.1f ms; "
                "median ratio %.2f (target <= 1.20)\n",
                Percentile(ours, 0.5), Percentile(ours, 0.95), Percentile(theirs, 0.5), Percentile(theirs, 0.95),
                Percentile(ours, 0.5) / Percentile(theirs, 0.5));

    sample.reset();
    stream.reset();
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("peak resident memory: %.1f MB\n", usage.ru_maxrss / 1024.0);
    return 0;
}
