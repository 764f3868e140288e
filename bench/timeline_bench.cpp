// The reading of a whole file that numbers the frames of a movie whose
// pictures do not come at one rate, and exact seeks by that numbering:
//  - MOVIE_LONG: time from the open until the timeline is ready, the
//    pictures it holds and the resident memory it adds (per hour of movie);
//  - MOVIE_VFR: exact-seek latency to 20 random frames by the numbering,
//    beside FFmpeg alone seeking to the same pictures' timestamps, and
//    whether each seek showed its own frame (the picture's painted number).
// Usage: reelscope-timeline-bench MOVIE_LONG MOVIE_VFR

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include "FrameCode.h"
#include "engine/media/MediaStream.h"

using Clock = std::chrono::steady_clock;
using namespace media;

namespace {

double Ms(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

double Percentile(std::vector<double> v, double p)
{
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<std::size_t>(p * static_cast<double>(v.size() - 1) + 0.5))];
}

long ResidentKb()
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    return 0;
}

struct Opened {
    std::shared_ptr<MultiMediaStream> stream;
    std::shared_ptr<StreamSample> sample;
    std::vector<std::uint8_t> pixels;
    int width = 0, height = 0;
};

bool OpenStream(const char* path, Opened& o)
{
    CreateMediaFactory(MediaOptions{false, false})->CreateMultiMediaStream(o.stream);
    o.stream->Initialize();
    o.stream->AddMediaStream(StreamPurpose::PrimaryVideo, false);
    o.stream->AddMediaStream(StreamPurpose::PrimaryAudio, true);
    if (Failed(o.stream->OpenFile(path))) return false;
    std::shared_ptr<MediaStream> video;
    std::shared_ptr<DrawMediaStream> draw;
    o.stream->GetMediaStream(StreamPurpose::PrimaryVideo, video);
    video->QueryDrawMediaStream(draw);
    draw->GetFormat(o.width, o.height);
    o.pixels.assign(static_cast<std::size_t>(o.width) * o.height * 4, 0);
    return Succeeded(draw->CreateSample(PixelBuffer{o.pixels.data(), o.width * 4, o.width, o.height},
                                        FrameRect{0, 0, o.width, o.height}, o.sample));
}

std::shared_ptr<const Timeline> WaitForTimeline(Opened& o)
{
    std::shared_ptr<const Timeline> timeline;
    while (o.stream->GetTimeline(timeline) != kOk) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    return timeline;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s MOVIE_LONG MOVIE_VFR\n", argv[0]);
        return 2;
    }
    {
        const long before = ResidentKb();
        Opened o;
        const auto start = Clock::now();
        if (!OpenStream(argv[1], o)) return 1;
        const auto timeline = WaitForTimeline(o);
        const double seconds = Ms(Clock::now() - start) / 1000.0;
        const double hours = static_cast<double>(timeline->end) / kUnitsPerSecond / 3600.0;
        std::printf("timeline of %s: %.2f h, %d pictures kept, ready %.2f s after the open\n", argv[1], hours,
                    timeline->Count(), seconds);
        std::printf("  resident memory added with the stream: %.1f MB; the pictures' times %.2f MB per hour\n",
                    (ResidentKb() - before) / 1024.0, timeline->Count() * 8.0 / (1 << 20) / std::max(hours, 1e-9));
    }

    Opened o;
    if (!OpenStream(argv[2], o)) return 1;
    const auto timeline = WaitForTimeline(o);
    if (!timeline->Numbers()) {
        std::fprintf(stderr, "%s comes at one steady rate\n", argv[2]);
        return 1;
    }
    std::mt19937 random(20261207);
    std::vector<int> targets;
    for (int i = 0; i < 20; ++i) targets.push_back(static_cast<int>(random() % static_cast<unsigned>(timeline->Count())));
    std::vector<double> ours, theirs;
    int wrong = 0;
    for (const int frame : targets) {
        o.stream->SetState(StreamState::Stop);
        const auto start = Clock::now();
        o.stream->Seek(timeline->TimeOf(frame));
        o.stream->SetState(StreamState::Run);
        o.sample->Update();
        ours.push_back(Ms(Clock::now() - start));
        if (ReadFrameNumber(o.pixels.data(), o.width * 4, o.width, o.height) != frame) ++wrong;
    }
    {
        AVFormatContext* fmt = nullptr;
        avformat_open_input(&fmt, argv[2], nullptr, nullptr);
        avformat_find_stream_info(fmt, nullptr);
        const AVCodec* decoder = nullptr;
        const int index = av_find_best_stream(fmt, AVMEDIA_TYPE_VIDEO, -1, -1, &decoder, 0);
        AVCodecContext* codec = avcodec_alloc_context3(decoder);
        avcodec_parameters_to_context(codec, fmt->streams[index]->codecpar);
        codec->thread_count = 0;
        codec->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
        avcodec_open2(codec, decoder, nullptr);
        AVPacket* pkt = av_packet_alloc();
        AVFrame* picture = av_frame_alloc();
        const AVRational tb = fmt->streams[index]->time_base;
        for (const int frame : targets) {
            const auto start = Clock::now();
            const std::int64_t ts = av_rescale_q(timeline->TimeOf(frame), AVRational{1, int(kUnitsPerSecond)}, tb);
            av_seek_frame(fmt, index, ts, AVSEEK_FLAG_BACKWARD);
            avcodec_flush_buffers(codec);
            bool found = false;
            while (!found && av_read_frame(fmt, pkt) >= 0) {
                if (pkt->stream_index == index) avcodec_send_packet(codec, pkt);
                av_packet_unref(pkt);
                while (!found && avcodec_receive_frame(codec, picture) == 0) found = picture->best_effort_timestamp >= ts;
            }
            av_frame_unref(picture);
            theirs.push_back(Ms(Clock::now() - start));
        }
        av_frame_free(&picture);
        av_packet_free(&pkt);
        avcodec_free_context(&codec);
        avformat_close_input(&fmt);
    }
    std::printf("exact seek by the pictures' numbering in %s (%d pictures): stream median %.1f ms, p95 %.1f ms; "
                "FFmpeg alone (decode only) median %.1f ms, p95 %.1f ms; ratio %.2f; wrong frames %d of %zu\n",
                argv[2], timeline->Count(), Percentile(ours, 0.5), Percentile(ours, 0.95), Percentile(theirs, 0.5),
                Percentile(theirs, 0.95), Percentile(ours, 0.5) / Percentile(theirs, 0.5), wrong, targets.size());
    return wrong == 0 ? 0 : 1;
}
