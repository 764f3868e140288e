// The lock-free ring between the audio decoder and the device callback.

#include <gtest/gtest.h>

#include <vector>

#include "engine/media/AudioRing.h"

namespace media {
namespace {

std::vector<float> Ramp(int frames, int channels, float start)
{
    std::vector<float> v(static_cast<std::size_t>(frames) * channels);
    for (std::size_t i = 0; i < v.size(); ++i) v[i] = start + static_cast<float>(i);
    return v;
}

TEST(AudioRing, ReadsBackWhatWasWrittenWithTheStreamTimeOfEachSample)
{
    AudioRing ring(100, 2);
    const auto a = Ramp(30, 2, 0);
    const auto b = Ramp(20, 2, 1000);
    ring.Write(a.data(), 30, 1000, 10.0, 1);
    ring.Write(b.data(), 20, 5000, 20.0, 1);
    EXPECT_EQ(ring.Writable(), 50);

    std::vector<float> out(80, -1);
    AudioRing::Span span = ring.Read(out.data(), 40, 1);
    EXPECT_EQ(span.frames, 40);
    ASSERT_TRUE(span.timed);
    EXPECT_EQ(span.startTime, 1000);
    EXPECT_EQ(span.endTime, 5000 + 10 * 20);  // ten frames into the second chunk
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(out[59], 59);
    EXPECT_EQ(out[60], 1000);

    span = ring.Read(out.data(), 40, 1);
    EXPECT_EQ(span.frames, 10);
    EXPECT_EQ(span.startTime, 5000 + 10 * 20);
    EXPECT_EQ(ring.Queued(), 0);
}

TEST(AudioRing, WrapsAroundTheEndOfItsBuffer)
{
    AudioRing ring(10, 1);
    std::vector<float> out(10);
    for (int round = 0; round < 5; ++round) {
        const auto data = Ramp(7, 1, static_cast<float>(round * 100));
        ASSERT_GE(ring.Writable(), 7);
        ring.Write(data.data(), 7, round * 70, 10.0, 3);
        const AudioRing::Span span = ring.Read(out.data(), 10, 3);
        ASSERT_EQ(span.frames, 7);
        for (int i = 0; i < 7; ++i) EXPECT_EQ(out[i], data[i]);
    }
}

TEST(AudioRing, SoundFromBeforeASeekIsSkippedNotPlayed)
{
    AudioRing ring(100, 1);
    const auto old = Ramp(40, 1, 0);
    const auto fresh = Ramp(10, 1, 500);
    ring.Write(old.data(), 40, 0, 10.0, 1);
    ring.Write(fresh.data(), 10, 90000, 10.0, 2);
    std::vector<float> out(50, -1);
    const AudioRing::Span span = ring.Read(out.data(), 50, 2);
    EXPECT_EQ(span.frames, 10);
    EXPECT_EQ(span.startTime, 90000);
    EXPECT_EQ(out[0], 500);
    EXPECT_EQ(out[10], -1);  // untouched beyond what was read
    EXPECT_EQ(ring.Queued(), 0);
}

TEST(AudioRing, RunningOutOfChunkSlotsStopsTheWriterBeforeItOverwrites)
{
    AudioRing ring(1000, 1, 4);
    const auto one = Ramp(1, 1, 0);
    for (int i = 0; i < 4; ++i) ring.Write(one.data(), 1, i, 1.0, 0);
    EXPECT_EQ(ring.Writable(), 0);
    std::vector<float> out(4);
    ring.Read(out.data(), 1, 0);
    EXPECT_GT(ring.Writable(), 0);
}

}  // namespace
}  // namespace media
