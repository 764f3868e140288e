// The player from the keyboard: every key to its command with the command's
// rules, the design's dead keys still dead; and at every rate, steps,
// seconds, the seek bar's arrows and the ends leave the picture, the counter
// and the seek bar on one frame.

#include <QApplication>
#include <QScrollBar>
#include <QTest>
#include <QWheelEvent>

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
    // The picture, the counter and the seek bar, which must agree.
    void ExpectOn(int expected, const std::string& how)
    {
        ASSERT_TRUE(Idle());
        EXPECT_EQ(Kept(), expected) << how;
        EXPECT_EQ(engine->GetCurrentFrame(), expected) << how;
        view->OnTimer();
        EXPECT_EQ(view->ScrollBar()->value(), expected) << how;
    }
    void ExpectStep(Qt::Key key, int expected, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        Key(key, modifiers);
        ExpectOn(expected, QKeySequence(key | modifiers).toString().toStdString());
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
    const int volume = engine->GetVolume();
    // Each key in turn, and what it leaves to be seen.
    enum What { Frame, State, Volume, Muted, Full };
    struct Press {
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        What what;
        int expected;
    };
    const Qt::KeyboardModifiers none = Qt::NoModifier;
    for (const Press& p : {Press{Qt::Key_Right, none, Frame, 21}, {Qt::Key_Left, none, Frame, 20},
                           {Qt::Key_Right, Qt::ShiftModifier, Frame, 45},  // a second
                           {Qt::Key_Left, Qt::ShiftModifier, Frame, 20}, {Qt::Key_PageDown, none, Frame, 25},  // a tenth
                           {Qt::Key_PageUp, none, Frame, 20}, {Qt::Key_End, none, Frame, 49},  // the last picture
                           {Qt::Key_Home, none, Frame, 0}, {Qt::Key_Space, none, State, MovieEngine::Playing},
                           {Qt::Key_Space, none, State, MovieEngine::Idle}, {Qt::Key_Down, none, Volume, volume - 50},
                           {Qt::Key_Up, none, Volume, volume}, {Qt::Key_M, none, Muted, 1}, {Qt::Key_M, none, Muted, 0},
                           {Qt::Key_Escape, none, Full, 0},  // nothing in the window
                           {Qt::Key_F, none, Full, 1}, {Qt::Key_F, none, Full, 0}, {Qt::Key_Return, none, Full, 1},
                           {Qt::Key_Return, none, Full, 0}, {Qt::Key_Enter, none, Full, 1}, {Qt::Key_Escape, none, Full, 0}}) {
        Key(p.key, p.modifiers);
        const int seen = p.what == Frame    ? (Idle(), Kept())
                         : p.what == State  ? engine->GetPlayState()
                         : p.what == Volume ? engine->GetVolume()
                         : p.what == Muted  ? int(view->IsMuted())
                                            : int(engine->IsFullScreen());
        EXPECT_EQ(seen, p.expected) << QKeySequence(p.key | p.modifiers).toString().toStdString();
        if (p.what == Frame) {
            EXPECT_EQ(engine->GetCurrentFrame(), p.expected);
        }
    }

    // The wheel over the picture turns the volume by the same steps.
    QWheelEvent wheel(QPointF(20, 20), view->mapToGlobal(QPointF(20, 20)), {}, QPoint(0, -120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(view, &wheel);
    EXPECT_EQ(engine->GetVolume(), volume - 50);

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

struct Rate {
    const char* movie;
    int frames;
    int from;          // a frame some way in, after the movie's first key frame
    int secondAhead;   // the frame a second after `from`'s start, at most the last
    int secondBefore;  // and a second before it
};

class EveryRate : public Keys, public ::testing::WithParamInterface<Rate> {};

TEST_P(EveryRate, ThePictureTheCounterAndTheSeekBarNameOneFrameAfterEveryMove)
{
    const Rate& r = GetParam();
    ASSERT_TRUE(Open(r.movie));
    // A movie numbered by its pictures is counted once its file is read.
    ASSERT_TRUE(QTest::qWaitFor([&] { return engine->GetTotalFrames() == r.frames; }));
    At(r.from);
    ExpectOn(r.from, "sought");
    // One at a time, settling between, forward and back across the frames
    // decoded on the way.
    for (int n = r.from + 1; n <= r.from + 2; ++n) ExpectStep(Qt::Key_Right, n);
    for (int n = r.from + 1; n >= r.from - 5; --n) ExpectStep(Qt::Key_Left, n);
    // Held down: each repeat replaces the step still being decoded, so the
    // picture lands as many frames back as there were presses, no more.
    for (const auto& [key, presses, to] : {std::tuple{Qt::Key_Left, 12, r.from - 17}, {Qt::Key_Right, 7, r.from - 10}}) {
        for (int i = 0; i < presses; ++i) QTest::keyEvent(QTest::Press, frame, key, Qt::NoModifier);
        QTest::keyEvent(QTest::Release, frame, key, Qt::NoModifier);
        ExpectOn(to, "held");
    }
    At(r.from);
    ExpectStep(Qt::Key_Right, r.secondAhead, Qt::ShiftModifier);
    At(r.from);
    ExpectStep(Qt::Key_Left, r.secondBefore, Qt::ShiftModifier);
    // The seek bar's own arrows.
    view->ScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    ExpectOn(r.secondBefore + 1, "seek bar right");
    view->ScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepSub);
    ExpectOn(r.secondBefore, "seek bar left");
    // The ends: the last picture and the one before it, the first and the
    // one after it; nothing past either.
    ExpectStep(Qt::Key_End, r.frames - 1);
    ExpectStep(Qt::Key_Right, r.frames - 1);
    ExpectStep(Qt::Key_Left, r.frames - 2);
    ExpectStep(Qt::Key_End, r.frames - 1);
    ExpectStep(Qt::Key_Left, r.frames - 2);
    ExpectStep(Qt::Key_Home, 0);
    ExpectStep(Qt::Key_Left, 0);
    ExpectStep(Qt::Key_Right, 1);
    // Played to its end, it stands on its last picture too.
    engine->Seek(r.frames - 4, MovieEngine::SeekOnly);
    engine->Play();
    ASSERT_TRUE(QTest::qWaitFor([&] { return engine->GetPlayState() == MovieEngine::Idle; }));
    ExpectOn(r.frames - 1, "played to the end");
}

INSTANTIATE_TEST_SUITE_P(
    Movies, EveryRate,
    ::testing::Values(Rate{"h264.mp4", 50, 30, 49, 5},  // 25 a second, a key frame every 12
                      Rate{"rate30.mp4", 150, 100, 130, 70}, Rate{"rate2997.mp4", 150, 100, 129, 70},
                      Rate{"rate23976.mkv", 150, 100, 123, 76}, Rate{"rate50.mkv", 150, 100, 149, 50},
                      Rate{"rate60.mp4", 150, 100, 149, 40},
                      // 40 ms, then 20 ms from frame 30, then 40 ms from 60 on.
                      Rate{"vfrsteps.mkv", 90, 45, 77, 12}),
    [](const auto& info) {
        std::string name = info.param.movie;
        return name.substr(0, name.find('.'));
    });

}  // namespace
}  // namespace playertest
