#pragma once
// Opening the generated test movies through the stream, as the engine does.

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "engine/media/MediaStream.h"

namespace media::testing {

std::string MoviePath(const std::string& name);

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
    int Shown() const;
    StreamTime Time() const;
};

// Opens `name` from the test movie folder; the result of the first failing
// step, or kOk with everything set up (the sample over a buffer of the
// movie's size).
Result Open(const std::string& name, OpenedStream& out, const MediaOptions& options = {});

// Polls `condition` until it holds or `timeout` passes.
bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout);

}  // namespace media::testing
