// The position timer, the status counter and the seek bar.

#include <QScrollBar>

#include "PlayerFixture.h"
#include "resources/UiResources.h"

namespace playertest {
namespace {

using engine::MovieEngine;
using view::PlayerView;

TEST(Counter, HoursMinutesSecondsWithAWideningHoursField)
{
    EXPECT_EQ(PlayerView::TimeText(3'725'000), "01:02:05");
    EXPECT_EQ(PlayerView::TimeText(0), "00:00:00");
    EXPECT_EQ(PlayerView::TimeText(999), "00:00:00");
    EXPECT_EQ(PlayerView::TimeText(100 * 3'600'000), "100:00:00");
}

class Timer : public PlayerFixture {
protected:
    void SetUp() override
    {
        PlayerFixture::SetUp();
        Start();
    }
    // Shows frame n and waits until it is there.
    void ShowFrame(int n)
    {
        engine->Seek(n, MovieEngine::SeekAndShow);
        ASSERT_TRUE(Idle());
        ASSERT_EQ(engine->GetCurrentFrame(), n);
    }
    int After(int code)
    {
        view->OnHScroll(code, 0);
        EXPECT_TRUE(Idle());
        return engine->GetCurrentFrame();
    }
};

TEST_F(Timer, PageStepsAreATenthOfTheMovieAndAtLeastOneFrame)
{
    ASSERT_TRUE(Open("seven.avi"));
    engine->Pause();
    ShowFrame(0);
    EXPECT_EQ(After(PlayerView::SB_PAGERIGHT), 1);
    ShowFrame(3);
    EXPECT_EQ(After(PlayerView::SB_PAGELEFT), 2);

    ASSERT_TRUE(Open("frames250.avi"));
    engine->Pause();
    ShowFrame(240);
    EXPECT_EQ(After(PlayerView::SB_PAGERIGHT), 250);  // the last position, not beyond
    EXPECT_EQ(After(PlayerView::SB_PAGELEFT), 225);
    EXPECT_EQ(After(PlayerView::SB_LINERIGHT), 226);
    EXPECT_EQ(After(PlayerView::SB_LEFT), 0);
    EXPECT_EQ(After(PlayerView::SB_RIGHT), 250);
    view->OnHScroll(PlayerView::SB_THUMBPOSITION, 77);
    ASSERT_TRUE(Idle());
    EXPECT_EQ(Kept(), 77);
}

TEST_F(Timer, ALineStepAtTheStartStaysThereAndStillDropsThePlayRequest)
{
    ASSERT_TRUE(Open("mjpeg.avi"));
    ASSERT_TRUE(view->PlayRequested());
    engine->Pause();
    ShowFrame(0);
    EXPECT_EQ(After(PlayerView::SB_LINELEFT), 0);
    EXPECT_FALSE(view->PlayRequested());
}

TEST_F(Timer, EachTickWritesStateCounterAndThumb)
{
    ASSERT_TRUE(Open("mjpeg.avi"));
    engine->Pause();
    ShowFrame(17);
    view->OnTimer();
    EXPECT_EQ(frame->PaneText(0), "Stop");
    EXPECT_EQ(frame->PaneText(2), "17");
    EXPECT_EQ(view->ScrollBar()->value(), 17);
    EXPECT_EQ(view->ScrollBar()->maximum(), 50);
    // The label changes at once, the number at the next tick.
    Command(ID_TIME_DISPLAY);
    EXPECT_EQ(frame->PaneText(1), "Time");
    EXPECT_EQ(frame->PaneText(2), "17");
    view->OnTimer();
    EXPECT_EQ(frame->PaneText(2), "00:00:00");
    ShowFrame(49);
    view->OnTimer();
    EXPECT_EQ(frame->PaneText(2), "00:00:01");
}

TEST_F(Timer, ContinuousPlayRestartsAtEveryEnd)
{
    Command(ID_AUTO_REPLAY);
    ASSERT_TRUE(Open("short.avi"));  // 10 frames, 0.4 s
    for (int round = 0; round < 2; ++round) {
        ASSERT_TRUE(WaitFor([&] { return Kept() == 9; }));
        // Within a tick of the end it plays again from the start.
        ASSERT_TRUE(WaitFor([&] { return Kept() >= 0 && Kept() < 5; }, 1500));
    }
    EXPECT_TRUE(view->PlayRequested());
}

TEST_F(Timer, WithoutContinuousPlayTheEndStopsAndStays)
{
    ASSERT_TRUE(Open("short.avi"));
    ASSERT_TRUE(WaitFor([&] { return frame->PaneText(0) == "Stop"; }));
    EXPECT_FALSE(view->PlayRequested());
    EXPECT_EQ(Kept(), 9);
    // Switching continuous play on only now does not restart it...
    Command(ID_AUTO_REPLAY);
    EXPECT_FALSE(WaitFor([&] { return engine->GetPlayState() == MovieEngine::Playing; }, 1200));
    // ...the next play does, and then it repeats.
    Command(ID_PLAY);
    ASSERT_TRUE(WaitFor([&] { return Kept() >= 0 && Kept() < 5; }));
}

TEST_F(Timer, TheSeekBarFollowsTheSwitchAndTheMoviesSeekability)
{
    ASSERT_TRUE(Open("mjpeg.avi"));
    EXPECT_TRUE(view->ScrollBar()->isHidden());
    const QSize before = view->size();
    Command(ID_VIEW_SCROLLBAR);
    EXPECT_FALSE(view->ScrollBar()->isHidden());
    EXPECT_TRUE(view->ScrollBar()->isEnabled());
    // The frame grew so the picture kept its size, and switching the bar
    // off and on again keeps it too.
    EXPECT_EQ(view->size(), before);
    EXPECT_EQ(engine->size(), before);
    Command(ID_VIEW_SCROLLBAR);
    EXPECT_TRUE(view->ScrollBar()->isHidden());
    Command(ID_VIEW_SCROLLBAR);
    EXPECT_EQ(engine->size(), before);
}

}  // namespace
}  // namespace playertest
