// The mouse on the view: clicks on the picture, clicks and drags on the
// strip, double clicks and the context menu.

#include <QApplication>
#include <QMenu>
#include <QMouseEvent>
#include <QTimer>

#include "PlayerFixture.h"
#include "resources/UiResources.h"

namespace playertest {
namespace {

using engine::MovieEngine;

class Mouse : public PlayerFixture {
protected:
    void Send(QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons held)
    {
        QMouseEvent event(type, QPointF(at), QPointF(view->mapToGlobal(at)), button, held, Qt::NoModifier);
        QApplication::sendEvent(view, &event);
    }
    void Press(QPoint at, Qt::MouseButton b = Qt::LeftButton) { Send(QEvent::MouseButtonPress, at, b, b); }
    void Move(QPoint at) { Send(QEvent::MouseMove, at, Qt::NoButton, Qt::LeftButton); }
    void Release(QPoint at) { Send(QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton); }
    void StripWithAThousandFrames()
    {
        Start();
        Command(ID_VIEW_SCROLL);
        ASSERT_TRUE(Open("frames1000.avi"));
        engine->Pause();
        frame->FitClientToSize(640, 510);
        ASSERT_TRUE(view->HasStrip());
        ASSERT_EQ(view->Strip().cxStrip, 640);
    }
    int StripY() { return view->Strip().yStrip + 10; }
};

TEST_F(Mouse, AClickOnTheStripSeeksThereAndMarksIt)
{
    StripWithAThousandFrames();
    Press({320, StripY()});
    EXPECT_TRUE(view->Dragging());
    EXPECT_EQ(view->DragMarkerRect().left, 319);
    ASSERT_TRUE(Idle());
    EXPECT_EQ(engine->GetCurrentFrame(), 500);
    EXPECT_EQ(Kept(), 500);
    EXPECT_FALSE(view->PlayRequested());
    // Dragging past the edges keeps to the movie.
    Move({700, StripY()});
    ASSERT_TRUE(Idle());
    EXPECT_EQ(engine->GetCurrentFrame(), 1000);
    Move({-40, StripY()});
    ASSERT_TRUE(Idle());
    EXPECT_EQ(engine->GetCurrentFrame(), 0);
    // Letting go plays from there.
    Release({64, StripY()});
    EXPECT_FALSE(view->Dragging());
    EXPECT_EQ(engine->GetPlayState(), MovieEngine::Playing);
    EXPECT_TRUE(view->PlayRequested());
    ASSERT_TRUE(WaitFor([&] { return Kept() >= 100; }));
    EXPECT_LE(Kept(), 110);
}

TEST_F(Mouse, TheStripsTopRowBelongsToThePicture)
{
    StripWithAThousandFrames();
    Press({320, view->Strip().yStrip});
    EXPECT_FALSE(view->Dragging());
    EXPECT_EQ(engine->GetPlayState(), MovieEngine::Playing);  // it was paused: the click plays
}

TEST_F(Mouse, AClickOnThePictureTogglesAndADoubleClickTogglesOnce)
{
    Start();
    ASSERT_TRUE(Open("mjpeg.avi"));
    const QPoint picture(100, 100);
    Press(picture);
    Release(picture);
    EXPECT_EQ(engine->GetPlayState(), MovieEngine::Idle);
    EXPECT_FALSE(view->PlayRequested());
    Press(picture);
    Release(picture);
    Send(QEvent::MouseButtonDblClick, picture, Qt::LeftButton, Qt::LeftButton);
    Release(picture);
    EXPECT_EQ(engine->GetPlayState(), MovieEngine::Playing);
    EXPECT_TRUE(view->PlayRequested());
}

TEST_F(Mouse, ARightClickShowsTheContextMenuWithTheFramesStates)
{
    Start();
    ASSERT_TRUE(Open("mjpeg.avi"));
    Command(ID_AUTO_REPLAY);
    int items = 0;
    bool playEnabled = false, replayChecked = false;
    // The menu runs its own loop; look at it from inside, then close it.
    QTimer::singleShot(200, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu) return;
        for (QAction* action : menu->actions()) {
            ++items;
            if (action->data().toInt() == ID_PLAY) playEnabled = action->isEnabled();
            if (action->data().toInt() == ID_AUTO_REPLAY) replayChecked = action->isChecked();
        }
        menu->close();
    });
    Press({100, 100}, Qt::RightButton);
    EXPECT_EQ(items, 18);
    EXPECT_TRUE(playEnabled);
    EXPECT_TRUE(replayChecked);
    // A right click does not pause a playing movie.
    EXPECT_EQ(engine->GetPlayState(), MovieEngine::Playing);
}

TEST_F(Mouse, StripClicksWithoutASeekableMovieDoNothing)
{
    StripWithAThousandFrames();
    // A failed open leaves the strip drawn but no movie to seek in.
    ASSERT_FALSE(Open("random.avi"));
    ASSERT_TRUE(view->HasStrip());
    Press({320, StripY()});
    EXPECT_FALSE(view->Dragging());
    EXPECT_EQ(engine->GetPlayState(), -1);
}

}  // namespace
}  // namespace playertest
