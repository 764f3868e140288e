// Full screen on a desktop of two displays whose primary is not at the
// origin and is scaled twice: the movie goes to the primary and is drawn at
// that display's own pixels.

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QScreen>

#include "PlayerTestSupport.h"
#include "engine/FullScreenWindow.h"

namespace {

using engine::MovieEngine;

TEST(ScaledPrimaryDisplay, FullScreenCoversItAtItsOwnPixels)
{
    const QScreen* primary = QGuiApplication::primaryScreen();
    ASSERT_EQ(QGuiApplication::screens().size(), 2);
    ASSERT_EQ(primary->geometry(), QRect(640, 0, 800, 600));
    ASSERT_EQ(primary->devicePixelRatio(), 2.0);

    MovieEngine e;
    e.resize(320, 240);
    ASSERT_TRUE(e.Create());
    ASSERT_TRUE(e.OpenMovie(testsupport::MoviePath("mjpeg.avi")));
    e.Pause();
    e.Seek(12, MovieEngine::SeekAndShow);
    ASSERT_TRUE(QTest::qWaitFor([&] { return e.GetPlayState() == MovieEngine::Idle; }));
    ASSERT_TRUE(e.SetFullScreen(true));
    engine::FullScreenWindow* popup = e.FullScreenWnd();
    ASSERT_NE(popup, nullptr);
    EXPECT_EQ(popup->geometry(), primary->geometry());
    // 1600 x 1200 pixels from (1280, 0): the 4:3 movie fills them all.
    EXPECT_EQ(e.ScreenRect(), (engine::Rect{1280, 0, 2880, 1200}));
    const QImage shown = popup->Target().Snapshot();
    EXPECT_EQ(shown.size(), QSize(1600, 1200));
    EXPECT_EQ(ReadFrameNumber(shown), 12);
    ASSERT_TRUE(e.SetFullScreen(false));
}

}  // namespace
