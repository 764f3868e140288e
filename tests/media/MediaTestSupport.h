#pragma once
// Opening the generated test movies through the stream, as the engine does.

#include <vector>

#include "FrameCode.h"
#include "TestSupport.h"
#include "engine/media/MediaStream.h"

namespace media::testing {

using testsupport::MoviePath;

struct OpenedStream {
    std::shared_ptr<MultiMediaStream> stream;
    std::shared_ptr<DrawMediaStream> video;
    std::shared_ptr<StreamSample> sample;
    std::shared_ptr<BasicAudio> audio;
    std::shared_ptr<MediaSeeking> seeking;
    std::vector<std::uint8_t> pixels;
    PixelBuffer buffer;
    int width = 0;
    int height = 0;
    StreamTime timePerFrame = 0;
    StreamTime duration = 0;

    // The frame number the last Update left in the pixels, -1 if unreadable.
    int Shown() const { return ReadFrameNumber(buffer.bits, buffer.stride, buffer.width, buffer.height); }
    StreamTime Time() const
    {
        StreamTime t = -1;
        stream->GetTime(t);
        return t;
    }
};

// Opens `name` from the test movie folder (or a file by its whole path);
// the result of the first failing step, or kOk with everything set up (the
// sample over a buffer of the movie's size).
inline Result Open(const std::string& name, OpenedStream& out, const MediaOptions& options = {})
{
    Result r = CreateMediaFactory(options)->CreateMultiMediaStream(out.stream);
    if (Failed(r)) return r;
    if (Failed(r = out.stream->Initialize())) return r;
    if (Failed(r = out.stream->AddMediaStream(StreamPurpose::PrimaryVideo, false))) return r;
    if (Failed(r = out.stream->AddMediaStream(StreamPurpose::PrimaryAudio, true))) return r;
    if (Failed(r = out.stream->OpenFile(name[0] == '/' ? name : MoviePath(name)))) return r;
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
    if (Failed(r = out.video->CreateSample(out.buffer, FrameRect{0, 0, out.width, out.height}, out.sample))) return r;
    out.video->GetTimePerFrame(out.timePerFrame);
    out.stream->GetDuration(out.duration);
    return kOk;
}

}  // namespace media::testing
