// Switching the engine's surfaces between the windowed and the full-screen
// form: the letter box, the picture and the playing state carried across,
// the taskbar rule, and a switch that fails.

#include <gtest/gtest.h>

#include "EngineTestSupport.h"
#include "FrameCode.h"
#include "engine/FullScreenWindow.h"
#include "engine/Taskbar.h"

namespace enginetest {
namespace {

using engine::LetterBoxRect;
using engine::MovieEngine;
using engine::Rect;
using engine::FullScreenWindow;

TEST(LetterBox, FitsTheWidthFirstAndSplitsTheBarsEvenly)
{
    EXPECT_EQ(LetterBoxRect(1024, 768, 320, 240), (Rect{0, 0, 1024, 768}));
    EXPECT_EQ(LetterBoxRect(1024, 768, 352, 240), (Rect{0, 35, 1024, 733}));
    EXPECT_EQ(LetterBoxRect(1280, 1024, 320, 240), (Rect{0, 32, 1280, 992}));
    EXPECT_EQ(LetterBoxRect(640, 480, 720, 480), (Rect{0, 27, 640, 453}));
    EXPECT_EQ(LetterBoxRect(800, 600, 176, 144), (Rect{33, 0, 766, 600}));
    EXPECT_EQ(LetterBoxRect(1024, 768, 1000, 1000), (Rect{128, 0, 896, 768}));
    // Truncation makes 321 x 241 fill 800 x 600 exactly.
    EXPECT_EQ(LetterBoxRect(800, 600, 321, 241), (Rect{0, 0, 800, 600}));
}

// A taskbar the test can see.
class FakeTaskbar : public engine::Taskbar {
public:
    explicit FakeTaskbar(bool visible) : visible(visible) { engine::SetTaskbar(this); }
    ~FakeTaskbar() override { engine::SetTaskbar(nullptr); }
    bool Exists() override { return true; }
    bool Show(bool show) override
    {
        const bool was = visible;
        visible = show;
        return was;
    }
    bool visible;
};

class FullScreen : public ::testing::Test {
protected:
    EngineWindow w;
    MovieEngine& e = w.engine;

    // The frame number in the letter box of the full-screen window.
    int ShownFullScreen()
    {
        const QImage screen = e.FullScreenWnd()->Target().Snapshot();
        return ReadFrameNumber(screen.copy(engine::ToQRect(e.ScreenRect())));
    }
    bool Idle() { return WaitFor([&] { return e.GetPlayState() == MovieEngine::Idle; }); }
};

TEST_F(FullScreen, NothingToDoAnswersTrue)
{
    EXPECT_TRUE(e.SetFullScreen(true));  // no movie
    EXPECT_EQ(e.FullScreenWnd(), nullptr);
    ASSERT_TRUE(e.OpenMovie(MoviePath("mjpeg.avi")));
    EXPECT_TRUE(e.SetFullScreen(false));  // already windowed
    EXPECT_FALSE(e.IsFullScreen());
    ASSERT_TRUE(e.SetFullScreen(true));
    FullScreenWindow* window = e.FullScreenWnd();
    EXPECT_TRUE(e.SetFullScreen(true));  // already full screen: nothing rebuilt
    EXPECT_EQ(e.FullScreenWnd(), window);
}

TEST_F(FullScreen, APausedMovieStaysPausedWithItsFrameInEachForm)
{
    ASSERT_TRUE(e.OpenMovie(MoviePath("mjpeg.avi")));
    e.Pause();
    e.Seek(15, MovieEngine::SeekAndShow);
    ASSERT_TRUE(Idle());
    ASSERT_TRUE(e.SetFullScreen(true));
    ASSERT_TRUE(e.IsFullScreen());
    ASSERT_NE(e.FullScreenWnd(), nullptr);
    EXPECT_TRUE(e.FullScreenWnd()->isVisible());
    const QSize display = draw::DisplaySize();
    EXPECT_EQ(e.ScreenRect(), LetterBoxRect(display.width(), display.height(), 320, 240));
    EXPECT_EQ(e.GetPlayState(), MovieEngine::Idle);
    EXPECT_EQ(ShownFullScreen(), 15);

    ASSERT_TRUE(e.SetFullScreen(false));
    EXPECT_EQ(e.FullScreenWnd(), nullptr);
    EXPECT_EQ(e.GetPlayState(), MovieEngine::Idle);
    EXPECT_EQ(KeptFrameNumber(e), 15);
    EXPECT_EQ(e.size(), QSize(320, 240));  // the window is as it was
}

TEST_F(FullScreen, APlayingMovieGoesOnPlayingFromWhereItWas)
{
    ASSERT_TRUE(e.OpenMovie(MoviePath("mjpeg.avi")));
    ASSERT_TRUE(WaitFor([&] { return KeptFrameNumber(e) >= 8; }));
    ASSERT_TRUE(e.SetFullScreen(true));
    const int at = KeptFrameNumber(e);
    EXPECT_EQ(e.GetPlayState(), MovieEngine::Playing);
    ASSERT_TRUE(WaitFor([&] { return ShownFullScreen() > at; }));
    EXPECT_LE(ShownFullScreen(), at + 5);
    ASSERT_TRUE(e.SetFullScreen(false));
    EXPECT_EQ(e.GetPlayState(), MovieEngine::Playing);
}

TEST_F(FullScreen, ATaskbarIsHiddenWhileFullScreenLastsUnlessItWasHiddenBefore)
{
    ASSERT_TRUE(e.OpenMovie(MoviePath("mjpeg.avi")));
    {
        FakeTaskbar taskbar(true);
        ASSERT_TRUE(e.SetFullScreen(true));
        EXPECT_FALSE(taskbar.visible);
        ASSERT_TRUE(e.SetFullScreen(false));
        EXPECT_TRUE(taskbar.visible);
    }
    {
        FakeTaskbar taskbar(false);
        ASSERT_TRUE(e.SetFullScreen(true));
        ASSERT_TRUE(e.SetFullScreen(false));
        EXPECT_FALSE(taskbar.visible);
    }
}

TEST_F(FullScreen, OpeningAnotherMovieLeavesFullScreenFirst)
{
    FakeTaskbar taskbar(true);
    ASSERT_TRUE(e.OpenMovie(MoviePath("mjpeg.avi")));
    ASSERT_TRUE(e.SetFullScreen(true));
    ASSERT_TRUE(e.OpenMovie(MoviePath("short.avi")));
    EXPECT_FALSE(e.IsFullScreen());
    EXPECT_EQ(e.FullScreenWnd(), nullptr);
    EXPECT_TRUE(taskbar.visible);
}

TEST_F(FullScreen, DestroyingTheEngineInFullScreenBringsTheTaskbarBack)
{
    FakeTaskbar taskbar(true);
    {
        EngineWindow other;
        ASSERT_TRUE(other.engine.OpenMovie(MoviePath("mjpeg.avi")));
        ASSERT_TRUE(other.engine.SetFullScreen(true));
        EXPECT_FALSE(taskbar.visible);
    }
    EXPECT_TRUE(taskbar.visible);
}

TEST(FullScreenSeeking, ARunningSeekIsStoppedAndNotResumed)
{
    StreamScript script;
    auto media = std::make_shared<ScriptedMedia>(script);
    EngineWindow w(MovieEngine::Services{media, draw::CreateDrawFactory()});
    ASSERT_TRUE(w.engine.OpenMovie("scripted"));
    w.engine.Pause();
    script.holdUpdates = true;
    w.engine.Seek(10, MovieEngine::SeekAndShow);
    ASSERT_TRUE(media->WaitForHeldUpdate());
    ASSERT_TRUE(w.engine.SetFullScreen(true));
    EXPECT_EQ(w.engine.GetPlayState(), MovieEngine::Idle);
    EXPECT_EQ(script.states.back(), media::StreamState::Stop);
}

TEST(FullScreenFailure, ASwitchThatFailsLeavesNoMovieNoPopupAndAPlayerThatStillPlays)
{
    FakeTaskbar taskbar(true);
    CapturedMessages messages;
    // The windowed form takes four surfaces and the movie's size three more;
    // the eighth, the full-screen primary, cannot be made.
    EngineWindow w(MovieEngine::Services{media::CreateMediaFactory(), std::make_shared<FailingDraw>(8)});
    ASSERT_TRUE(messages.texts.empty());
    ASSERT_TRUE(w.engine.OpenMovie(MoviePath("mjpeg.avi")));
    EXPECT_FALSE(w.engine.SetFullScreen(true));
    ASSERT_EQ(messages.texts.size(), 2u);
    EXPECT_EQ(messages.texts[0], "Initialization failure in DirectDrawSurface");
    EXPECT_EQ(messages.texts[1], "Can't Change FullScreen Mode");
    EXPECT_EQ(w.engine.GetPlayState(), -1);
    EXPECT_EQ(w.engine.FullScreenWnd(), nullptr);
    EXPECT_FALSE(w.engine.IsFullScreen());
    EXPECT_TRUE(taskbar.visible);
    EXPECT_TRUE(testsupport::ShowsIdlePicture(w.engine));
    // The windowed surfaces were made again: the next movie plays.
    ASSERT_TRUE(w.engine.OpenMovie(MoviePath("short.avi")));
    EXPECT_TRUE(WaitFor([&] { return KeptFrameNumber(w.engine) >= 3; }));
    EXPECT_EQ(messages.texts.size(), 2u);
}

}  // namespace
}  // namespace enginetest
