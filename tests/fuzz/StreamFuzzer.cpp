// Feeds arbitrary bytes to the stream, the way the engine drives it, with
// no sound device and no pacing: open, the format, a few frames, a seek and
// a few more. Nothing may crash, hang or leak.
//
// An input whose first byte is 1 to 4 is a subtitle file (the rest of it),
// named .srt, .ass, .vtt or nothing the readers know, added to a small test
// movie; any other input is a movie file, whose own subtitle stream is then
// chosen. Either way the subtitles are drawn over the frames shown.

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/media/MediaStream.h"

using namespace media;

namespace {

// Frames larger than this are opened but not decoded into a buffer, so one
// input cannot make every run allocate hundreds of megabytes.
constexpr long long kMaxFuzzPixels = 4096LL * 2160LL;

// The movie subtitle files are added to: 2 s of 320x240 at 25 frames a
// second, every frame a key frame, so its seeks cost next to nothing.
constexpr const char* kSubtitledMovie = FUZZ_MOVIE_DIR "/mjpeg.avi";
constexpr const char* kSubtitleNames[] = {"fuzz.srt", "fuzz.ass", "fuzz.vtt", "fuzz.sub"};

bool WriteAll(int fd, const std::uint8_t* data, std::size_t size)
{
    std::size_t written = 0;
    while (written < size) {
        const ssize_t n = write(fd, data + written, size - written);
        if (n <= 0) return false;
        written += static_cast<std::size_t>(n);
    }
    return true;
}

// `subtitles`: a subtitle file to add to the movie, or empty. `choice`
// picks which of the movie's own subtitle tracks is shown.
void Exercise(const std::string& path, const std::string& subtitles, std::size_t choice)
{
    static const std::shared_ptr<MediaFactory> factory = CreateMediaFactory(MediaOptions{false, false});
    std::shared_ptr<MultiMediaStream> stream;
    if (Failed(factory->CreateMultiMediaStream(stream))) return;
    stream->Initialize();
    stream->AddMediaStream(StreamPurpose::PrimaryVideo, false);
    stream->AddMediaStream(StreamPurpose::PrimaryAudio, true);
    if (Failed(stream->OpenFile(path))) return;
    std::shared_ptr<StreamTracks> tracks;
    int subtitleTracks = 0;
    if (Succeeded(stream->QueryTracks(tracks))) {
        if (!subtitles.empty() && Failed(tracks->AddSubtitleFile(subtitles))) return;
        subtitleTracks = static_cast<int>(tracks->Tracks(TrackKind::Subtitle).size());
        // The file added is the last track.
        if (!subtitles.empty()) choice = static_cast<std::size_t>(subtitleTracks - 1);
        if (subtitleTracks > 0) tracks->Select(TrackKind::Subtitle, static_cast<int>(choice % subtitleTracks));
    }
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
    if (subtitleTracks > 0) {
        // Where cues are likelier to be (the test files' lie in the first and
        // the last quarter of the test movie), the second time with the next
        // track, each drawn again at another size, as a repaint of a window
        // of another size draws them.
        const int smallWidth = (width + 1) / 2, smallHeight = (height + 1) / 2;
        std::vector<std::uint8_t> small(static_cast<std::size_t>(smallWidth) * smallHeight * 4);
        for (int quarter = 1; quarter <= 3; quarter += 2) {
            if (quarter == 3) tracks->Select(TrackKind::Subtitle, static_cast<int>((choice + 1) % subtitleTracks));
            stream->SetState(StreamState::Stop);
            stream->Seek(duration / 4 * quarter);
            stream->SetState(StreamState::Run);
            sample->Update();
            draw->RenderShown(PixelBuffer{small.data(), smallWidth * 4, smallWidth, smallHeight},
                              FrameRect{0, 0, smallWidth, smallHeight}, true);
        }
        tracks->Select(TrackKind::Subtitle, -1);
    }
    stream->Seek(0);
    sample->Update();
    stream->SetState(StreamState::Stop);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size > 0 && data[0] >= 1 && data[0] <= 4) {
        // A subtitle file needs its name, for the reader its extension
        // chooses: written to a folder of its own, gone again afterwards.
        char folder[] = "/tmp/reelscope-fuzz-XXXXXX";
        if (!mkdtemp(folder)) return 0;
        const std::string path = std::string(folder) + "/" + kSubtitleNames[data[0] - 1];
        if (std::FILE* file = std::fopen(path.c_str(), "wb")) {
            const bool whole = std::fwrite(data + 1, 1, size - 1, file) == size - 1;
            if (std::fclose(file) == 0 && whole) Exercise(kSubtitledMovie, path, 0);
            unlink(path.c_str());
        }
        rmdir(folder);
        return 0;
    }
    // A file in memory, named through /proc so the stream opens it by path
    // as it would any movie.
    const int fd = memfd_create("fuzz-movie", 0);
    if (fd < 0) return 0;
    if (WriteAll(fd, data, size)) Exercise("/proc/self/fd/" + std::to_string(fd), {}, size);
    close(fd);
    return 0;
}
