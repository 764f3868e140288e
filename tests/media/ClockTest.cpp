// The stream's clock, driven by a hand-turned monotonic time.

#include <gtest/gtest.h>

#include "engine/media/Clock.h"

namespace media {
namespace {

struct ClockTest : ::testing::Test {
    std::int64_t now = 1'000'000'000;  // ns
    Clock clock{[this] { return now; }};
    void Advance(std::int64_t ms) { now += ms * 1'000'000; }
};

TEST_F(ClockTest, StandsStillUntilRunAndKeepsItsPositionWhenStopped)
{
    clock.Set(5 * kUnitsPerSecond);
    Advance(300);
    EXPECT_EQ(clock.Now(), 5 * kUnitsPerSecond);
    clock.Run();
    Advance(250);
    EXPECT_EQ(clock.Now(), 5 * kUnitsPerSecond + 250 * kUnitsPerMs);
    clock.Stop();
    Advance(1000);
    EXPECT_EQ(clock.Now(), 5 * kUnitsPerSecond + 250 * kUnitsPerMs);
    clock.Run();
    Advance(100);
    EXPECT_EQ(clock.Now(), 5 * kUnitsPerSecond + 350 * kUnitsPerMs);
}

TEST_F(ClockTest, SetJumpsAndARunningClockGoesOnFromThere)
{
    clock.Run();
    Advance(400);
    clock.Set(kUnitsPerSecond);
    EXPECT_EQ(clock.Now(), kUnitsPerSecond);
    Advance(40);
    EXPECT_EQ(clock.Now(), kUnitsPerSecond + 40 * kUnitsPerMs);
}

TEST_F(ClockTest, RateScalesTheTimeFromTheMomentItChanges)
{
    clock.Run();
    Advance(100);
    clock.SetRate(2.0);
    Advance(100);
    EXPECT_EQ(clock.Now(), 300 * kUnitsPerMs);
    clock.SetRate(0.5);
    Advance(100);
    EXPECT_EQ(clock.Now(), 350 * kUnitsPerMs);
    // Waiting for a time ahead takes real time divided by the rate.
    EXPECT_EQ(clock.NsUntil(400 * kUnitsPerMs), 100'000'000);
    EXPECT_EQ(clock.NsUntil(300 * kUnitsPerMs), 0);
}

TEST_F(ClockTest, NothingIsDueOnAStoppedClock)
{
    EXPECT_EQ(clock.NsUntil(kUnitsPerSecond), 0);
}

TEST_F(ClockTest, FollowsTheSoundButIgnoresJitterAndReportsFromBeforeAJump)
{
    clock.Run();
    Advance(100);
    // The sound is 20 ms behind: the clock follows it and runs on from there.
    clock.SyncTo(80 * kUnitsPerMs, now);
    EXPECT_EQ(clock.Now(), 80 * kUnitsPerMs);
    Advance(10);
    EXPECT_EQ(clock.Now(), 90 * kUnitsPerMs);
    // A report within a couple of milliseconds is callback jitter.
    clock.SyncTo(92 * kUnitsPerMs, now);
    EXPECT_EQ(clock.Now(), 90 * kUnitsPerMs);
    // A report made before the last seek describes sound from before it.
    const std::int64_t before = now;
    Advance(5);
    clock.Set(10 * kUnitsPerSecond);
    clock.SyncTo(kUnitsPerSecond, before);
    EXPECT_EQ(clock.Now(), 10 * kUnitsPerSecond);
    // And a stopped clock is not moved by sound.
    clock.Stop();
    Advance(5);
    clock.SyncTo(kUnitsPerSecond, now);
    EXPECT_EQ(clock.Now(), 10 * kUnitsPerSecond);
}

}  // namespace
}  // namespace media
