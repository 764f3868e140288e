// The sound as the device gets it, captured by SDL's disk driver: the tone
// is there, and the volume scale is in hundredths of a decibel.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <vector>
#include <filesystem>
#include <fstream>
#include <unistd.h>

#include "MediaTestSupport.h"
#include "engine/media/FfmpegUtil.h"
#include "engine/media/TempoFilter.h"

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

namespace media {
namespace {

// The filter library is loaded on first use: a tone stretched to double
// speed comes out half as long at the same pitch.
TEST(Tempo, DoubleSpeedHalvesTheSoundAndKeepsItsPitch)
{
    constexpr int kRate = 44100;
    TempoFilter tempo;
    ASSERT_TRUE(tempo.Build(2.0, kRate, 1));
    FramePtr in(av_frame_alloc());
    in->format = AV_SAMPLE_FMT_FLT;
    in->sample_rate = kRate;
    av_channel_layout_default(&in->ch_layout, 1);
    in->nb_samples = kRate;
    ASSERT_EQ(av_frame_get_buffer(in.get(), 0), 0);
    auto* tone = reinterpret_cast<float*>(in->data[0]);
    for (int i = 0; i < kRate; ++i) tone[i] = static_cast<float>(0.5 * std::sin(2 * M_PI * 440.0 * i / kRate));
    ASSERT_TRUE(tempo.Push(in.get()));
    ASSERT_TRUE(tempo.Push(nullptr));  // the end: out with what is left
    std::vector<float> out;
    FramePtr piece(av_frame_alloc());
    while (tempo.Pull(piece.get())) {
        const auto* data = reinterpret_cast<const float*>(piece->data[0]);
        out.insert(out.end(), data, data + piece->nb_samples);
        av_frame_unref(piece.get());
    }
    EXPECT_NEAR(static_cast<double>(out.size()), kRate / 2.0, kRate / 20.0);
    int crossings = 0;
    for (std::size_t i = 1; i < out.size(); ++i) crossings += (out[i - 1] < 0) != (out[i] < 0);
    EXPECT_NEAR(crossings / 2.0 / (static_cast<double>(out.size()) / kRate), 440.0, 10.0);
}

}  // namespace
}  // namespace media
