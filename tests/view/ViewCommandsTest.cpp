// The player's commands as the view carries them out: play, pause, stop,
// first and last frame, the volume steps and mute.

#include "PlayerFixture.h"
#include "resources/UiResources.h"

namespace playertest {
namespace {

using engine::MovieEngine;

class ViewCommands : public PlayerFixture {
protected:
    void SetUp() override
    {
        PlayerFixture::SetUp();
        Start();
    }
};

TEST_F(ViewCommands, PlayAlwaysStartsFromTheFirstFrame)
{
    ASSERT_TRUE(Open("mjpeg.avi"));
    ASSERT_TRUE(WaitFor([&] { return Kept() >= 20; }));
    Command(ID_PLAY);
    EXPECT_EQ(engine->GetPlayState(), MovieEngine::Playing);
    ASSERT_TRUE(WaitFor([&] { return Kept() >= 0 && Kept() < 10; }));
    EXPECT_TRUE(view->PlayRequested());
}

TEST_F(ViewCommands, PauseTogglesAndResumesFromWhereItWas)
{
    ASSERT_TRUE(Open("mjpeg.avi"));
    ASSERT_TRUE(WaitFor([&] { return Kept() >= 10; }));
    Command(ID_PAUSE);
    EXPECT_EQ(engine->GetPlayState(), MovieEngine::Idle);
    EXPECT_FALSE(view->PlayRequested());
    const int paused = Kept();
    Command(ID_PAUSE);
    EXPECT_EQ(engine->GetPlayState(), MovieEngine::Playing);
    EXPECT_TRUE(view->PlayRequested());
    ASSERT_TRUE(WaitFor([&] { return Kept() > paused; }));
    EXPECT_LE(Kept(), paused + 3);
}

TEST_F(ViewCommands, StopPausesAPlayingMovieAndAlwaysDropsThePlayRequest)
{
    ASSERT_TRUE(Open("mjpeg.avi"));
    Command(ID_STOP);
    EXPECT_EQ(engine->GetPlayState(), MovieEngine::Idle);
    EXPECT_FALSE(view->PlayRequested());
    Command(ID_STOP);
    EXPECT_EQ(engine->GetPlayState(), MovieEngine::Idle);
}

TEST_F(ViewCommands, FirstAndLastFrame)
{
    ASSERT_TRUE(Open("mpeg4.avi"));
    Command(ID_GO_END);
    ASSERT_TRUE(Idle());
    EXPECT_EQ(Kept(), 49);
    EXPECT_EQ(engine->GetCurrentFrame(), 50);
    EXPECT_FALSE(view->PlayRequested());
    Command(ID_GO_START);
    ASSERT_TRUE(Idle());
    EXPECT_EQ(Kept(), 0);
    EXPECT_EQ(engine->GetCurrentFrame(), 0);
}

TEST_F(ViewCommands, VolumeStepsStopAtTheEndsAndMuteRemembersTheLevel)
{
    ASSERT_TRUE(Open("mjpeg.avi"));
    engine->SetVolume(980);
    Command(ID_VOLUME_UP);
    EXPECT_EQ(engine->GetVolume(), 1000);
    Command(ID_VOLUME_UP);
    EXPECT_EQ(engine->GetVolume(), 1000);
    engine->SetVolume(30);
    Command(ID_VOLUME_DOWN);
    EXPECT_EQ(engine->GetVolume(), 0);

    engine->SetVolume(600);
    Command(ID_VOLUME_MUTE);
    EXPECT_EQ(engine->GetVolume(), 0);
    EXPECT_TRUE(State(ID_VOLUME_MUTE).checked);
    // A step from mute starts at the saved level.
    Command(ID_VOLUME_UP);
    EXPECT_EQ(engine->GetVolume(), 650);
    EXPECT_FALSE(State(ID_VOLUME_MUTE).checked);
    // Mute and unmute gives the level back.
    Command(ID_VOLUME_MUTE);
    Command(ID_VOLUME_MUTE);
    EXPECT_EQ(engine->GetVolume(), 650);
    Command(ID_VOLUME_MUTE);
    Command(ID_VOLUME_DOWN);
    EXPECT_EQ(engine->GetVolume(), 600);
}

TEST_F(ViewCommands, OpeningWhileMutedClearsTheMuteWithoutRestoringTheLevel)
{
    ASSERT_TRUE(Open("mjpeg.avi"));
    engine->SetVolume(700);
    Command(ID_VOLUME_MUTE);
    ASSERT_TRUE(view->IsMuted());
    ASSERT_TRUE(Open("short.avi"));
    EXPECT_FALSE(view->IsMuted());
    EXPECT_FALSE(State(ID_VOLUME_MUTE).checked);
    // The new movie plays at its own initial level.
    EXPECT_EQ(engine->GetVolume(), 1000);
}

}  // namespace
}  // namespace playertest
