// The workers against a scripted stream, for what a real file cannot be
// made to do on cue: an Update held while targets pile up, an error
// status, a stream that never delivers.

#include <gtest/gtest.h>

#include "EngineTestSupport.h"

namespace enginetest {
namespace {

using engine::MovieEngine;
constexpr media::StreamTime kFrame = 400'000;

class EngineWorker : public ::testing::Test {
protected:
    StreamScript script;
    std::shared_ptr<ScriptedMedia> media = std::make_shared<ScriptedMedia>(script);
    EngineWindow w{MovieEngine::Services{media, draw::CreateDrawFactory()}};
    MovieEngine& e = w.engine;

    void SetUp() override
    {
        ASSERT_TRUE(e.OpenMovie("scripted"));
        e.Pause();
        script.seeks.clear();
    }
    bool Idle() { return WaitFor([&] { return e.GetPlayState() == MovieEngine::Idle; }); }
};

TEST_F(EngineWorker, TargetsThatArriveDuringOneFrameAreCoalescedToTheLast)
{
    script.holdUpdates = true;
    e.Seek(10, MovieEngine::SeekAndShow);
    ASSERT_TRUE(media->WaitForHeldUpdate());
    e.Seek(20, MovieEngine::SeekTrack);
    e.Seek(21, MovieEngine::SeekTrack);
    e.Seek(22, MovieEngine::SeekTrack);
    EXPECT_EQ(e.GetPlayState(), MovieEngine::Seeking);
    ASSERT_TRUE(media->Release());  // the frame at 10
    ASSERT_TRUE(media->Release());  // the frame at 22
    ASSERT_TRUE(Idle());
    // Sought to the target, retargeted once to the last request, and left
    // standing at it.
    EXPECT_EQ(script.seeks, (std::vector<media::StreamTime>{10 * kFrame, 22 * kFrame, 22 * kFrame}));
    EXPECT_EQ(script.states.back(), media::StreamState::Stop);
    EXPECT_EQ(e.GetCurrentFrame(), 22);
}

TEST_F(EngineWorker, ATargetThatArrivesAsTheSeekWorkerLeavesIsStillShown)
{
    script.holdWorkerStops = true;
    e.Seek(10, MovieEngine::SeekAndShow);
    ASSERT_TRUE(media->WaitForHeldStop());  // frame 10 shown, the worker on its way out
    e.Seek(20, MovieEngine::SeekTrack);
    media->ReleaseStops();
    ASSERT_TRUE(Idle());
    EXPECT_EQ(script.seeks.back(), 20 * kFrame);
    EXPECT_EQ(e.GetCurrentFrame(), 20);
}

TEST_F(EngineWorker, StoppingWakesAWorkerThatWaitsInTheStream)
{
    script.holdUpdates = true;
    e.Play();
    ASSERT_TRUE(media->WaitForHeldUpdate());
    const auto start = std::chrono::steady_clock::now();
    e.Pause();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
    EXPECT_EQ(e.GetPlayState(), MovieEngine::Idle);
    EXPECT_EQ(e.IsAtEnd(), 0);
}

TEST_F(EngineWorker, AnErrorStatusEndsPlayingQuietlyWithoutTheEndFlag)
{
    CapturedMessages messages;
    script.frames = script.updates + 3;
    script.endStatus = media::kFail;
    e.Play();
    ASSERT_TRUE(Idle());
    EXPECT_EQ(e.IsAtEnd(), 0);
    EXPECT_EQ(script.states.back(), media::StreamState::Stop);
    EXPECT_TRUE(messages.texts.empty());
}

TEST_F(EngineWorker, TheEndOfTheStreamSetsTheEndFlag)
{
    script.frames = script.updates + 2;
    e.Play();
    ASSERT_TRUE(WaitFor([&] { return e.IsAtEnd() == 1; }));
    EXPECT_EQ(script.states.back(), media::StreamState::Stop);
}

TEST_F(EngineWorker, SeekTrackWhenIdleActsAsSeekAndShow)
{
    e.Seek(7, MovieEngine::SeekTrack);
    ASSERT_TRUE(Idle());
    EXPECT_EQ(script.seeks, (std::vector<media::StreamTime>{7 * kFrame, 7 * kFrame}));
}

TEST_F(EngineWorker, VolumeAndRateMapToTheStreamScales)
{
    e.SetVolume(0);
    EXPECT_EQ(script.volume, -10000);
    e.SetVolume(500);
    EXPECT_EQ(script.volume, -5000);
    e.SetVolume(1000);
    EXPECT_EQ(script.volume, 0);
    script.volume = -2505;
    EXPECT_EQ(e.GetVolume(), 750);
    script.volume = -5;
    EXPECT_EQ(e.GetVolume(), 1000);

    e.SetPlaybackRate(2000);
    EXPECT_EQ(script.rate, 2.0);
    e.SetPlaybackRate(500);
    EXPECT_EQ(script.rate, 0.5);
    // A movie that cannot seek keeps its speed.
    script.caps = 0;
    ASSERT_TRUE(e.OpenMovie("again"));
    EXPECT_EQ(e.CanSeek(), 0);
    script.rate = 0;
    e.SetPlaybackRate(2000);
    EXPECT_EQ(script.rate, 0);
}

}  // namespace
}  // namespace enginetest
