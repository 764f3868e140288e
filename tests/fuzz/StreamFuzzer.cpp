// Feeds arbitrary bytes to the stream as a movie file: open, the format,
// a few frames, a seek and a few more, the way the engine drives it, with
// no sound device and no pacing. Nothing may crash, hang or leak.

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "engine/media/MediaStream.h"

using namespace media;

namespace {

// Frames larger than this are opened but not decoded into a buffer, so one
// input cannot make every run allocate hundreds of megabytes.
constexpr long long kMaxFuzzPixels = 4096LL * 2160LL;

void Exercise(const std::string& path)
{
    static const std::shared_ptr<MediaFactory> factory = CreateMediaFactory(MediaOptions{false, false});
    std::shared_ptr<MultiMediaStream> stream;
    if (Failed(factory->CreateMultiMediaStream(stream))) return;
    stream->Initialize();
    stream->AddMediaStream(StreamPurpose::PrimaryVideo, false);
    stream->AddMediaStream(StreamPurpose::PrimaryAudio, true);
    if (Failed(stream->OpenFile(path))) return;
    StreamTime duration = 0;
    stream->GetDuration(duration);
    std::shared_ptr<MediaStream> video;
    std::shared_ptr<DrawMediaStream> draw;
    if (Failed(stream->GetMediaStream(StreamPurpose::PrimaryVideo, video)) ||
        Failed(video->QueryDrawMediaStream(draw)))
        return;
    int width = 0, height = 0;
    if (Failed(draw->GetFormat(width, height))) return;
    if (static_cast<long long>(width) * height > kMaxFuzzPixels) return;
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(width) * height * 4);
    std::shared_ptr<StreamSample> sample;
    if (Failed(draw->CreateSample(PixelBuffer{pixels.data(), width * 4, width, height},
                                  FrameRect{0, 0, width, height}, sample)))
        return;
    StreamTime timePerFrame = 0;
    draw->GetTimePerFrame(timePerFrame);

    stream->SetState(StreamState::Run);
    for (int i = 0; i < 4 && sample->Update() == kOk; ++i) {
    }
    stream->SetState(StreamState::Stop);
    stream->Seek(duration > 0 ? duration / 2 : 10 * timePerFrame);
    stream->SetState(StreamState::Run);
    for (int i = 0; i < 3 && sample->Update() == kOk; ++i) {
    }
    stream->Seek(0);
    sample->Update();
    stream->SetState(StreamState::Stop);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // A file in memory, named through /proc so the stream opens it by path
    // as it would any movie.
    const int fd = memfd_create("fuzz-movie", 0);
    if (fd < 0) return 0;
    std::size_t written = 0;
    while (written < size) {
        const ssize_t n = write(fd, data + written, size - written);
        if (n <= 0) break;
        written += static_cast<std::size_t>(n);
    }
    Exercise("/proc/self/fd/" + std::to_string(fd));
    close(fd);
    return 0;
}
