// The player from the keyboard: every key to its command with the command's
// rules, the design's dead keys still dead, frame-exact steps both ways
// across key frames and at both ends, and a held key that builds no
// backlog.

#include <QApplication>
#include <QScrollBar>
#include <QTest>
#include <QWheelEvent>
#include <functional>

#include "PlayerFixture.h"

namespace playertest {
namespace {

class Keys : public PlayerFixture {
protected:
    void SetUp() override
    {
        PlayerFixture::SetUp();
        Start();
        QApplication::setActiveWindow(frame);
    }
    void Key(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QTest::keyClick(QApplication::activeWindow() ? QApplication::activeWindow() : frame, key, modifiers);
    }
    // Steps with `key` and expects the picture, the counter and the seek bar
    // on frame `expected`.
    void ExpectStep(Qt::Key key, int expected, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        const int from = Kept();
        Key(key, modifiers);
        ASSERT_TRUE(Idle());
        EXPECT_EQ(Kept(), expected) << "from " << from << " by key " << key;
        EXPECT_EQ(engine->GetCurrentFrame(), expected);
        view->OnTimer();
        EXPECT_EQ(view->ScrollBar()->value(), expected);
    }
};

TEST_F(Keys, EachKeyCarriesOutItsCommandUnderItsRules)
{
    // Without a movie every player key is off, as its command is.
    for (const ui::Accelerator& k : ui::PlayerKeys()) QTest::keySequence(frame, k.keys);
    EXPECT_EQ(engine->GetPlayState(), -1);
    EXPECT_FALSE(engine->IsFullScreen());

    ASSERT_TRUE(Open("mjpeg.avi"));  // 50 frames at 25 a second
    At(20);
    ExpectStep(Qt::Key_Right, 21);
    ExpectStep(Qt::Key_Left, 20);
    ExpectStep(Qt::Key_Right, 45, Qt::ShiftModifier);  // a second
    ExpectStep(Qt::Key_Left, 20, Qt::ShiftModifier);
    ExpectStep(Qt::Key_PageDown, 25);  // the seek bar's page: a tenth
    ExpectStep(Qt::Key_PageUp, 20);
    Key(Qt::Key_Space);
    ASSERT_TRUE(view->PlayRequested());
    Key(Qt::Key_End);  // the last position, which shows the last picture, paused
    ASSERT_TRUE(Idle());
    EXPECT_EQ(Kept(), 49);
    EXPECT_EQ(engine->GetCurrentFrame(), 50);
    EXPECT_FALSE(view->PlayRequested());
    ExpectStep(Qt::Key_Home, 0);

    Key(Qt::Key_Space);
    EXPECT_EQ(engine->GetPlayState(), MovieEngine::Playing);
    Key(Qt::Key_Space);
    EXPECT_EQ(engine->GetPlayState(), MovieEngine::Idle);

    const int volume = engine->GetVolume();
    Key(Qt::Key_Down);
    EXPECT_EQ(engine->GetVolume(), volume - 50);
    Key(Qt::Key_Up);
    EXPECT_EQ(engine->GetVolume(), volume);
    Key(Qt::Key_M);
    EXPECT_TRUE(view->IsMuted());
    Key(Qt::Key_M);
    EXPECT_FALSE(view->IsMuted());
    // The wheel over the picture turns the volume by the same steps.
    QWheelEvent wheel(QPointF(20, 20), view->mapToGlobal(QPointF(20, 20)), {}, QPoint(0, -120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(view, &wheel);
    EXPECT_EQ(engine->GetVolume(), volume - 50);

    Key(Qt::Key_Escape);  // nothing in the window
    EXPECT_FALSE(engine->IsFullScreen());
    for (const Qt::Key enter : {Qt::Key_F, Qt::Key_Return}) {
        Key(enter);
        EXPECT_TRUE(engine->IsFullScreen());
        Key(enter);
        EXPECT_FALSE(engine->IsFullScreen());
    }
    Key(Qt::Key_F);
    Key(Qt::Key_Escape);
    EXPECT_FALSE(engine->IsFullScreen());

    // The design's dead keys stay dead.
    At(10);
    for (const auto& [key, modifiers] :
         {std::pair{Qt::Key_V, Qt::ControlModifier}, {Qt::Key_X, Qt::ControlModifier}, {Qt::Key_Z, Qt::ControlModifier},
          {Qt::Key_Backspace, Qt::AltModifier}, {Qt::Key_Delete, Qt::ShiftModifier},
          {Qt::Key_Insert, Qt::ShiftModifier}, {Qt::Key_F6, Qt::NoModifier}, {Qt::Key_F6, Qt::ShiftModifier}})
        Key(key, modifiers);
    EXPECT_EQ(Kept(), 10);
    EXPECT_EQ(engine->GetVolume(), volume - 50);
    EXPECT_TRUE(messages.texts.empty());
}

TEST_F(Keys, StepsAreExactBothWaysAcrossKeyFramesAndStopAtTheEnds)
{
    ASSERT_TRUE(Open("h264.mp4"));  // a key frame every 12, with B-frames
    At(3);
    for (int n = 2; n >= 0; --n) ExpectStep(Qt::Key_Left, n);
    ExpectStep(Qt::Key_Left, 0);  // the first frame: nothing
    At(27);
    for (int n = 26; n >= 9; --n) ExpectStep(Qt::Key_Left, n);  // back across 24 and 12
    for (int n = 10; n <= 30; ++n) ExpectStep(Qt::Key_Right, n);
    // A playing movie stops first, then steps from the picture on screen.
    engine->Play();
    ASSERT_TRUE(WaitFor([&] { return Kept() >= 35; }));
    Key(Qt::Key_Right);
    ASSERT_TRUE(Idle());
    const int shown = Kept();
    ExpectStep(Qt::Key_Left, shown - 1);
    At(48);
    ExpectStep(Qt::Key_Right, 49);
    ExpectStep(Qt::Key_Right, 49);  // the last frame: nothing
}

TEST_F(Keys, AHeldKeyReplacesTheStepBeingDecodedInsteadOfQueueingIt)
{
    ASSERT_TRUE(Open("onekey.mp4"));  // 100 frames from one key frame: each first step back decodes far
    At(90);
    for (int i = 1; i <= 30; ++i) {
        QTest::keyEvent(QTest::Press, frame, Qt::Key_Left, Qt::NoModifier);
        // One target pending at any moment, never a queue of them.
        if (engine->GetPlayState() == MovieEngine::Seeking) {
            EXPECT_EQ(engine->GetSeekTargetFrame(), 90 - i);
        }
    }
    QTest::keyEvent(QTest::Release, frame, Qt::Key_Left, Qt::NoModifier);
    ASSERT_TRUE(Idle());
    EXPECT_EQ(Kept(), 60);
    EXPECT_EQ(engine->GetCurrentFrame(), 60);
}

}  // namespace
}  // namespace playertest
