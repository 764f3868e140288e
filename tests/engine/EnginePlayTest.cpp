// Playing, pausing and seeking a real movie through the workers; what is
// kept is read back from the pictures' own frame codes.

#include <gtest/gtest.h>

#include "EngineTestSupport.h"

namespace enginetest {
namespace {

using engine::MovieEngine;
constexpr media::StreamTime kFrame = 400'000;

class EnginePlay : public ::testing::Test {
protected:
    EngineWindow w;
    MovieEngine& e = w.engine;

    void Open(const char* movie)
    {
        ASSERT_TRUE(e.OpenMovie(MoviePath(movie)));
        e.Pause();
    }
    bool Idle() { return WaitFor([&] { return e.GetPlayState() == MovieEngine::Idle; }); }
};

TEST_F(EnginePlay, SeekAndShowKeepsThatFrameAndLeavesTheStreamStoppedThere)
{
    Open("h264.mp4");
    for (const int frame : {0, 25, 49, 50, 13}) {
        e.Seek(frame, MovieEngine::SeekAndShow);
        ASSERT_TRUE(Idle());
        EXPECT_EQ(KeptFrameNumber(e), std::min(frame, 49)) << "frame " << frame;
        EXPECT_EQ(e.StreamPosition(), frame * kFrame);
        EXPECT_EQ(e.GetCurrentFrame(), frame);
        EXPECT_EQ(e.IsAtEnd(), 0);
    }
}

TEST_F(EnginePlay, SeekingToWhereTheStreamStandsStartsNoWorker)
{
    Open("mjpeg.avi");
    e.Seek(20, MovieEngine::SeekAndShow);
    ASSERT_TRUE(Idle());
    e.Seek(20, MovieEngine::SeekAndShow);
    EXPECT_EQ(e.GetPlayState(), MovieEngine::Idle);
    e.Seek(20, MovieEngine::SeekTrack);
    EXPECT_EQ(e.GetPlayState(), MovieEngine::Idle);
    EXPECT_EQ(KeptFrameNumber(e), 20);
}

TEST_F(EnginePlay, SeekOnlyMovesThePositionAndDrawsNothing)
{
    Open("mjpeg.avi");
    e.Seek(10, MovieEngine::SeekAndShow);
    ASSERT_TRUE(Idle());
    e.Seek(30, MovieEngine::SeekOnly);
    EXPECT_EQ(e.GetPlayState(), MovieEngine::Idle);
    EXPECT_EQ(e.StreamPosition(), 30 * kFrame);
    EXPECT_EQ(KeptFrameNumber(e), 10);
    // Playing starts at the new position.
    e.Play();
    EXPECT_TRUE(WaitFor([&] { return KeptFrameNumber(e) >= 30; }));
    EXPECT_LE(KeptFrameNumber(e), 34);
}

TEST_F(EnginePlay, SeekTrackWhilePlayingStopsPlayingAndShowsTheFrame)
{
    Open("mpeg1.mpg");
    e.Play();
    ASSERT_TRUE(WaitFor([&] { return KeptFrameNumber(e) >= 3; }));
    e.Seek(40, MovieEngine::SeekTrack);
    ASSERT_TRUE(Idle());
    EXPECT_EQ(KeptFrameNumber(e), 40);
    EXPECT_EQ(e.StreamPosition(), 40 * kFrame);
}

TEST_F(EnginePlay, PauseThenPlayGoesOnFromThePause)
{
    Open("mjpeg.avi");
    e.Play();
    ASSERT_TRUE(WaitFor([&] { return KeptFrameNumber(e) >= 10; }));
    e.Pause();
    const int paused = KeptFrameNumber(e);
    EXPECT_EQ(e.GetPlayState(), MovieEngine::Idle);
    EXPECT_NEAR(e.GetCurrentFrame(), paused, 1);
    e.Play();
    ASSERT_TRUE(WaitFor([&] { return KeptFrameNumber(e) > paused; }));
    EXPECT_LE(KeptFrameNumber(e), paused + 3);
}

TEST_F(EnginePlay, PlayWhilePlayingGoesOnFromWhereItWas)
{
    Open("mpeg4.avi");
    e.Play();
    ASSERT_TRUE(WaitFor([&] { return KeptFrameNumber(e) >= 15; }));
    const int before = KeptFrameNumber(e);
    e.Play();
    EXPECT_EQ(e.GetPlayState(), MovieEngine::Playing);
    ASSERT_TRUE(WaitFor([&] { return KeptFrameNumber(e) > before; }));
    EXPECT_LE(KeptFrameNumber(e), before + 3);
}

TEST_F(EnginePlay, TheEndIsReportedUntilPlayPauseOrSeek)
{
    Open("short.avi");
    e.Play();
    ASSERT_TRUE(WaitFor([&] { return e.IsAtEnd() == 1; }));
    EXPECT_EQ(e.GetPlayState(), MovieEngine::Idle);
    EXPECT_EQ(KeptFrameNumber(e), 9);
    EXPECT_EQ(e.IsAtEnd(), 1);  // it stays
    // A mode that is none of the three changes nothing but the flag.
    e.Seek(3, 3);
    EXPECT_EQ(e.IsAtEnd(), 0);
    EXPECT_EQ(e.GetPlayState(), MovieEngine::Idle);
    EXPECT_EQ(KeptFrameNumber(e), 9);

    e.Seek(0, MovieEngine::SeekOnly);
    e.Play();
    ASSERT_TRUE(WaitFor([&] { return e.IsAtEnd() == 1; }));
    e.Pause();
    EXPECT_EQ(e.IsAtEnd(), 0);

    e.Seek(0, MovieEngine::SeekOnly);
    e.Play();
    ASSERT_TRUE(WaitFor([&] { return e.IsAtEnd() == 1; }));
    e.Seek(0, MovieEngine::SeekOnly);
    EXPECT_EQ(e.IsAtEnd(), 0);
    e.Play();
    EXPECT_EQ(e.IsAtEnd(), 0);
    EXPECT_EQ(e.GetPlayState(), MovieEngine::Playing);
}

TEST_F(EnginePlay, PausingASlowMovieReturnsAtOnce)
{
    // One frame a second at a quarter speed: the worker waits four seconds
    // inside the stream for each frame. Pause must not wait with it.
    Open("slow.avi");
    e.SetPlaybackRate(500);
    e.Play();
    ASSERT_TRUE(WaitFor([&] { return KeptFrameNumber(e) == 0; }));
    const auto start = std::chrono::steady_clock::now();
    e.Pause();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
    EXPECT_EQ(e.GetPlayState(), MovieEngine::Idle);
}

}  // namespace
}  // namespace enginetest
