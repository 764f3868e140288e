// The sound as the device gets it, captured by SDL's disk driver: the tone
// is there, and the volume scale is in hundredths of a decibel.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <unistd.h>

#include "MediaTestSupport.h"

namespace media {
namespace {

struct Capture {
    double rmsDb = -200;
    double hz = 0;
    std::size_t frames = 0;
};

// Plays the first second of the tone movie at `volume` and measures what
// reached the device (44.1 kHz float stereo, the driver takes what it gets).
Capture PlayAt(long volume)
{
    const auto file = std::filesystem::temp_directory_path() / ("reelscope-sound-" + std::to_string(::getpid()) + ".raw");
    ::setenv("SDL_DISKAUDIOFILE", file.c_str(), 1);
    {
        testing::OpenedStream s;
        EXPECT_EQ(testing::Open("mjpeg.avi", s), kOk);
        EXPECT_EQ(s.audio->PutVolume(volume), kOk);
        long read = 1;
        s.audio->GetVolume(read);
        EXPECT_EQ(read, volume);
        s.stream->SetState(StreamState::Run);
        while (s.sample->Update() == kOk && s.Shown() < 30) {
        }
        s.stream->SetState(StreamState::Stop);
    }  // closing the device flushes the file
    std::vector<float> data(std::filesystem::file_size(file) / sizeof(float));
    std::ifstream(file, std::ios::binary)
        .read(reinterpret_cast<char*>(data.data()), static_cast<std::streamsize>(data.size() * sizeof(float)));
    std::filesystem::remove(file);

    Capture c;
    c.frames = data.size() / 2;
    // Skip the start (device silence before the first sound) and measure
    // half a second of the left channel.
    const std::size_t from = 44100 / 5, count = 44100 / 2;
    if (c.frames < from + count) return c;
    double sum = 0;
    int crossings = 0;
    for (std::size_t i = from; i < from + count; ++i) {
        const double v = data[i * 2];
        sum += v * v;
        if (i > from && (data[(i - 1) * 2] < 0) != (v < 0)) ++crossings;
    }
    c.rmsDb = 10 * std::log10(sum / count + 1e-30);
    c.hz = crossings / 2.0 / (count / 44100.0);
    return c;
}

TEST(Sound, TheToneReachesTheDeviceAndHalfTheScaleIsFiftyDecibelsDown)
{
    const Capture full = PlayAt(0);
    ASSERT_GT(full.frames, 44100u / 2) << "sound was played";
    EXPECT_NEAR(full.rmsDb, -9.03, 1.0);  // a sine peaking at -6 dBFS
    EXPECT_NEAR(full.hz, 440.0, 5.0);
    const Capture half = PlayAt(-5000);
    EXPECT_NEAR(half.rmsDb - full.rmsDb, -50.0, 1.0);
    EXPECT_NEAR(half.hz, 440.0, 5.0);
    EXPECT_LT(PlayAt(-10000).rmsDb, -150.0);
}

}  // namespace
}  // namespace media
