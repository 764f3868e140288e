#include "MediaTestSupport.h"

#include <thread>

#include "FrameCode.h"

namespace media::testing {

std::string MoviePath(const std::string& name)
{
    return std::string(TEST_MOVIE_DIR) + "/" + name;
}

int OpenedStream::Shown() const
{
    return ReadFrameNumber(buffer.bits, buffer.stride, buffer.width, buffer.height);
}

StreamTime OpenedStream::Time() const
{
    StreamTime t = -1;
    stream->GetTime(t);
    return t;
}

Result Open(const std::string& name, OpenedStream& out, const MediaOptions& options)
{
    auto factory = CreateMediaFactory(options);
    Result r = factory->CreateMultiMediaStream(out.stream);
    if (Failed(r)) return r;
    if (Failed(r = out.stream->Initialize())) return r;
    if (Failed(r = out.stream->AddMediaStream(StreamPurpose::PrimaryVideo, false))) return r;
    if (Failed(r = out.stream->AddMediaStream(StreamPurpose::PrimaryAudio, true))) return r;
    if (Failed(r = out.stream->OpenFile(MoviePath(name)))) return r;
    std::shared_ptr<FilterGraph> graph;
    if (Failed(r = out.stream->GetFilterGraph(graph))) return r;
    graph->QueryBasicAudio(out.audio);
    graph->QueryMediaSeeking(out.seeking);
    std::shared_ptr<MediaStream> video;
    if (Failed(r = out.stream->GetMediaStream(StreamPurpose::PrimaryVideo, video))) return r;
    if (Failed(r = video->QueryDrawMediaStream(out.video))) return r;
    if (Failed(r = out.video->GetFormat(out.width, out.height))) return r;
    out.pixels.assign(static_cast<std::size_t>(out.width) * out.height * 4, 0);
    out.buffer = PixelBuffer{out.pixels.data(), out.width * 4, out.width, out.height};
    if (Failed(r = out.video->CreateSample(out.buffer, FrameRect{0, 0, out.width, out.height}, out.sample)))
        return r;
    out.video->GetTimePerFrame(out.timePerFrame);
    out.stream->GetDuration(out.duration);
    return kOk;
}

bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

}  // namespace media::testing
