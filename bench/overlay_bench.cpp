// The subtitle overlay alone: the CPU that laying out and blending a script
// costs per 1080p picture, with no movie, window or decoder around it. Plays
// the script's pictures at 30 fps from FROM seconds for SECONDS seconds over
// a grey picture and prints the CPU per picture (every thread of the
// process) and the wall time per picture. With OUT.ppm, the picture at FROM
// seconds is written out, to compare two builds' drawing.
//
// Usage: reelscope-overlay-bench SCRIPT.ass [FROM SECONDS [OUT.ppm]]

#include <time.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/media/SubtitleFile.h"
#include "engine/media/SubtitleOverlay.h"

namespace {

double CpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

media::StreamTime FrameStart(long long frame)
{
    return frame * media::kUnitsPerSecond / 30;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: reelscope-overlay-bench SCRIPT.ass [FROM SECONDS [OUT.ppm]]\n");
        return 2;
    }
    const double from = argc > 2 ? std::atof(argv[2]) : 2.0;
    const double seconds = argc > 3 ? std::atof(argv[3]) : 10.0;
    media::SubtitleScript script;
    if (media::ReadSubtitleFile(argv[1], script) != media::kOk) {
        std::fprintf(stderr, "overlay_bench: %s holds no subtitles\n", argv[1]);
        return 1;
    }
    static constexpr int kWidth = 1920, kHeight = 1080;
    media::SubtitleOverlay overlay([] { return std::pair<int, int>{kWidth, kHeight}; }, kWidth, kHeight);
    overlay.AddTextTrack(script.header, script.fileReadOrder).Add(script.cues);
    overlay.Select(0);

    std::vector<std::uint8_t> grey(std::size_t{kWidth} * kHeight * 4, 0x80), bits(grey.size());
    const media::PixelBuffer target{bits.data(), kWidth * 4, kWidth, kHeight};
    const media::FrameRect rect{0, 0, kWidth, kHeight};
    const long long first = static_cast<long long>(from * 30), count = static_cast<long long>(seconds * 30);

    const double cpu0 = CpuSeconds();
    const auto wall0 = std::chrono::steady_clock::now();
    for (long long frame = first; frame < first + count; ++frame) {
        bits = grey;
        overlay.Draw(FrameStart(frame), FrameStart(frame + 1) - FrameStart(frame), target, rect);
        if (frame == first && argc > 4) {
            FILE* out = std::fopen(argv[4], "wb");
            if (!out) return 1;
            std::fprintf(out, "P6\n%d %d\n255\n", kWidth, kHeight);
            for (std::size_t i = 0; i < bits.size(); i += 4) {
                const unsigned char rgb[3] = {bits[i + 2], bits[i + 1], bits[i]};
                std::fwrite(rgb, 1, 3, out);
            }
            std::fclose(out);
        }
    }
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();
    // The copy of the grey picture is the movie's part, not the overlay's.
    const double cpu0Copy = CpuSeconds();
    for (long long frame = 0; frame < count; ++frame) bits = grey;
    const double copy = CpuSeconds() - cpu0Copy;
    std::printf("%lld pictures: %.3f ms CPU, %.3f ms wall a picture\n", count,
                (cpu0Copy - cpu0 - copy) * 1000 / static_cast<double>(count), wall * 1000 / static_cast<double>(count));
    return 0;
}
