// The view as a person uses it: what the engine window shows and what is
// copied from it; the commands (play, pause, stop, volume and mute, full
// screen and the ways out of it, the context menus); clicks on the picture;
// the thumbnail strip, its geometry, how it fills in and follows the width,
// clicks and drags on it; the position timer, the status panes, the seek
// bar's steps and continuous play.

#include <QClipboard>
#include <QPainter>
#include <QPointer>
#include <QScrollBar>
#include <QTest>
#include <functional>

#include "PlayerFixture.h"
#include "engine/FullScreenWindow.h"
#include "view/StripGeometry.h"

namespace playertest {
namespace {

using view::PlayerView;
using view::StripGeometry;

class Picture : public PlayerFixture {
protected:
    void SetUp() override
    {
        PlayerFixture::SetUp();
        Start();
        QGuiApplication::clipboard()->setText(QStringLiteral("kept"));
    }
    static QImage Copied() { return QGuiApplication::clipboard()->image(); }
};

TEST_F(Picture, WithoutAMovieTheIdlePictureSitsCentredOnBlackAndThereIsNothingToCopy)
{
    const QImage idle = QImage(QString::fromLatin1(ui::kIdlePicture)).convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(idle.size(), QSize(73, 63));
    frame->FitClientToSize(400, 300);
    ASSERT_EQ(engine->size(), QSize(400, 300));
    EXPECT_TRUE(ShowsIdlePicture());
    for (const QPoint black : {QPoint(162, 150), QPoint(399, 299)}) EXPECT_EQ(Painted().pixel(black), qRgb(0, 0, 0));
    // x = (50 - 73) / 2 = -11, truncated toward zero: columns 11 .. 60 show.
    engine->resize(50, 100);
    EXPECT_EQ(Painted().copy(0, (100 - 63) / 2, 50, 63), idle.copy(11, 0, 50, 63));
    // No frame is drawn, and none is copied.
    QImage target(64, 48, QImage::Format_RGB32);
    target.fill(Qt::white);
    QPainter painter(&target);
    EXPECT_FALSE(engine->DrawFrame(painter, engine::Rect{0, 0, 64, 48}));
    painter.end();
    EXPECT_EQ(target.pixel(10, 10), qRgb(255, 255, 255));
    Command(ID_EDIT_COPY);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "kept");
    EXPECT_TRUE(messages.texts.empty());
}

TEST_F(Picture, TheKeptFrameFillsTheWindowAndTheCopyAtEverySizeAndIsLetterBoxedInAnyOtherShape)
{
    ASSERT_TRUE(Open("odd.avi"));
    At(10);
    // 321 x 241 at 50 %, truncated, at 200 % and at 100 %.
    for (const auto& [id, size] : {std::pair{ID_SIZE_HALF, QSize(160, 120)}, {ID_SIZE_DOUBLE, QSize(642, 482)},
                                   {ID_SIZE_NORMAL, QSize(321, 241)}}) {
        Command(id);
        EXPECT_EQ(engine->geometry(), QRect(QPoint(0, 0), size));
        EXPECT_EQ(view->size(), size);
        EXPECT_EQ(ReadFrameNumber(Painted()), 10) << "size command " << id;
        Command(ID_EDIT_COPY);
        EXPECT_EQ(Copied().size(), size);
        EXPECT_EQ(ReadFrameNumber(Copied()), 10) << "size command " << id;
    }
    // A second copy replaces the first.
    At(20);
    Command(ID_EDIT_COPY);
    EXPECT_EQ(ReadFrameNumber(Copied()), 20);
    // Drawn wider and lower than the movie: stretched one way, shrunk the other.
    QImage odd(400, 200, QImage::Format_RGB32);
    odd.fill(Qt::white);
    QPainter painter(&odd);
    ASSERT_TRUE(engine->DrawFrame(painter, engine::Rect{0, 0, 400, 200}));
    painter.end();
    EXPECT_EQ(ReadFrameNumber(odd), 20);
    // A wider, lower client centres the picture; a narrower, higher one
    // letter-boxes it; the copy has the picture's size.
    Command(ID_SIZE_DOUBLE);
    for (const auto& [client, picture] : {std::pair{QSize(800, 482), QRect(79, 0, 642, 482)},
                                          {QSize(642, 600), QRect(0, 59, 642, 482)}}) {
        frame->FitClientToSize(client.width(), client.height());
        EXPECT_EQ(view->size(), client);
        EXPECT_EQ(engine->geometry(), picture);
        Command(ID_EDIT_COPY);
        EXPECT_EQ(Copied().size(), picture.size());
    }
    EXPECT_TRUE(messages.texts.empty());
}

TEST_F(Picture, WhatThePlayingWorkerBlitsReachesTheWindowAndAClipboardThatCannotBeHadIsReported)
{
    ASSERT_TRUE(Open("mjpeg.avi"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return ReadFrameNumber(engine->ScreenSnapshot()) >= 5; }));
    Command(ID_SIZE_DOUBLE);
    ASSERT_TRUE(QTest::qWaitFor([&] { return engine->ScreenSnapshot().size() == QSize(640, 480); }));
    ASSERT_TRUE(QTest::qWaitFor([&] { return ReadFrameNumber(engine->ScreenSnapshot()) >= 20; }));
    view->SetClipboardWriter([](const QImage&) { return false; });
    Command(ID_EDIT_COPY);
    EXPECT_EQ(messages.texts, std::vector<QString>{"Can't open Cipborad"});
}


class ViewCommands : public PlayerFixture {
protected:
    void SetUp() override
    {
        PlayerFixture::SetUp();
        Start();
        ASSERT_TRUE(Open("mjpeg.avi"));
    }
    // The full-screen window, or the view when there is none.
    QWidget* Window() { return engine->FullScreenWnd() ? static_cast<QWidget*>(engine->FullScreenWnd()) : view; }
};

TEST_F(ViewCommands, PlayStartsFromTheFirstFramePauseTogglesAndStopDropsThePlayRequest)
{
    ASSERT_TRUE(QTest::qWaitFor([&] { return Kept() >= 20; }));
    Command(ID_PLAY);
    EXPECT_EQ(engine->GetPlayState(), MovieEngine::Playing);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Kept() >= 0 && Kept() < 10; }));
    EXPECT_TRUE(view->PlayRequested());
    ASSERT_TRUE(QTest::qWaitFor([&] { return Kept() >= 10; }));
    Command(ID_PAUSE);
    EXPECT_EQ(engine->GetPlayState(), MovieEngine::Idle);
    EXPECT_FALSE(view->PlayRequested());
    const int paused = Kept();
    EXPECT_EQ(engine->GetCurrentFrame(), paused) << "it stands where it shows";
    QElapsedTimer since;
    since.start();
    Command(ID_PAUSE);
    EXPECT_EQ(engine->GetPlayState(), MovieEngine::Playing);
    EXPECT_TRUE(view->PlayRequested());
    ASSERT_TRUE(QTest::qWaitFor([&] { return Kept() > paused; }));
    const int resumed = Kept();
    EXPECT_LE(resumed, testsupport::AtMost(paused, since.elapsed())) << "on from where it paused";
    for (int twice = 0; twice < 2; ++twice) {
        Command(ID_STOP);
        EXPECT_EQ(engine->GetPlayState(), MovieEngine::Idle);
        EXPECT_FALSE(view->PlayRequested());
    }
}

TEST_F(ViewCommands, AClickOnThePictureTogglesAndADoubleClickTogglesOnce)
{
    const QPoint picture(100, 100);
    Mouse(view, QEvent::MouseButtonPress, picture);
    Mouse(view, QEvent::MouseButtonRelease, picture);
    EXPECT_EQ(engine->GetPlayState(), MovieEngine::Idle);
    EXPECT_FALSE(view->PlayRequested());
    for (const auto type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease, QEvent::MouseButtonDblClick,
                            QEvent::MouseButtonRelease})
        Mouse(view, type, picture);
    EXPECT_EQ(engine->GetPlayState(), MovieEngine::Playing);
    EXPECT_TRUE(view->PlayRequested());
}

TEST_F(ViewCommands, VolumeStepsStopAtTheEndsMuteKeepsTheLevelAndAnotherMovieEndsTheMute)
{
    // A level set first (-1: none), the command, and the level and mute after it.
    struct Step {
        int set, id, volume;
        bool muted;
    };
    for (const Step& s : {Step{980, ID_VOLUME_UP, 1000, false}, Step{-1, ID_VOLUME_UP, 1000, false},
                          Step{30, ID_VOLUME_DOWN, 0, false}, Step{600, ID_VOLUME_MUTE, 0, true},
                          Step{-1, ID_VOLUME_UP, 650, false},  // a step from mute starts at the saved level
                          Step{-1, ID_VOLUME_MUTE, 0, true}, Step{-1, ID_VOLUME_MUTE, 650, false},
                          Step{-1, ID_VOLUME_MUTE, 0, true}, Step{-1, ID_VOLUME_DOWN, 600, false}}) {
        if (s.set >= 0) engine->SetVolume(s.set);
        Command(s.id);
        EXPECT_EQ(engine->GetVolume(), s.volume) << s.set << " " << s.id;
        EXPECT_EQ(State(ID_VOLUME_MUTE).checked, s.muted) << s.set << " " << s.id;
    }
    // Opening while muted clears the mute; the new movie plays at its own
    // initial level, not the saved one.
    engine->SetVolume(700);
    Command(ID_VOLUME_MUTE);
    ASSERT_TRUE(view->IsMuted());
    ASSERT_TRUE(Open("short.avi"));
    EXPECT_FALSE(view->IsMuted());
    EXPECT_FALSE(State(ID_VOLUME_MUTE).checked);
    EXPECT_EQ(engine->GetVolume(), 1000);
}

class FullScreenView : public ViewCommands {};

// Every way out of full screen, taken plainly and while the full-screen
// window's own context menu (and a submenu of it) is up: the menu runs an
// event loop inside that window's click handler, and commands run inside
// it. The window must outlive the handler, and the player must go on.
struct WayOut {
    const char* name;
    std::function<void(FullScreenView&)> take;
    QSize picture;  // the engine window's size after it
};

class EveryWayOut : public FullScreenView, public ::testing::WithParamInterface<std::tuple<WayOut, bool>> {};

TEST_P(EveryWayOut, LeavesFullScreenAndThePlayerGoesOn)
{
    const auto& [way, menuUp] = GetParam();
    ASSERT_TRUE(Open("frames1000.avi"));  // 40 s of 160 x 120
    const QRect before = frame->geometry();
    Command(ID_FULL_SCREEN);
    EXPECT_EQ(engine->GetPlayState(), MovieEngine::Playing);
    QPointer<QWidget> window = engine->FullScreenWnd();
    ASSERT_TRUE(window);
    bool inHandler = false;
    if (menuUp) {
        QTimer::singleShot(0, [&] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            ASSERT_NE(menu, nullptr);
            for (QAction* action : menu->actions())
                if (action->menu()) action->menu()->popup(menu->geometry().topRight());  // a submenu too
            way.take(*this);
            // Whatever the way leaves up is closed in a while, as a person would.
            QTimer::singleShot(50, [] {
                while (QWidget* popup = QApplication::activePopupWidget()) popup->close();
            });
        });
        // The window must outlive the handler that opened the menu.
        inHandler = true;
        QObject::connect(window, &QObject::destroyed, [&] { EXPECT_FALSE(inHandler) << "deleted under its own handler"; });
        Mouse(window, QEvent::MouseButtonPress, QPoint(40, 40), Qt::RightButton);
        inHandler = false;
    } else {
        way.take(*this);
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return !engine->IsFullScreen() && !window; })) << way.name;
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
    EXPECT_EQ(engine->size(), way.picture) << way.name;
    if (way.picture == QSize(160, 120)) {
        EXPECT_EQ(frame->geometry(), before);
    }
    // The movie plays on in the window, and a click there still toggles it.
    const int kept = Kept();
    EXPECT_TRUE(QTest::qWaitFor([&] { return Kept() != kept; })) << way.name;
    Mouse(view, QEvent::MouseButtonPress, QPoint(20, 20));
    Mouse(view, QEvent::MouseButtonRelease, QPoint(20, 20));
    EXPECT_EQ(engine->GetPlayState(), MovieEngine::Idle) << way.name;
}

INSTANTIATE_TEST_SUITE_P(
    Ways, EveryWayOut,
    ::testing::Combine(
        ::testing::Values(
            WayOut{"Command", [](FullScreenView& t) { t.Command(ID_FULL_SCREEN); }, QSize(160, 120)},
            WayOut{"Posted", [](FullScreenView& t) { t.frame->PostCommand(ID_FULL_SCREEN); }, QSize(160, 120)},
            WayOut{"SizeCommand", [](FullScreenView& t) { t.frame->PostCommand(ID_SIZE_DOUBLE); }, QSize(320, 240)},
            WayOut{"Click",
                   [](FullScreenView& t) {
                       Mouse(t.engine->FullScreenWnd(), QEvent::MouseButtonPress, QPoint(40, 40));
                       // Posted, not carried out inside the click.
                       EXPECT_TRUE(t.engine->IsFullScreen());
                   },
                   QSize(160, 120)},
            WayOut{"WindowManagersClose", [](FullScreenView& t) { t.engine->FullScreenWnd()->close(); }, QSize(160, 120)},
            // The desktop's media controls open another movie.
            WayOut{"OpenUri", [](FullScreenView& t) { t.player->OpenDocumentFile(MovieBytes("mjpeg.avi")); },
                   QSize(320, 240)}),
        ::testing::Bool()),
    [](const auto& info) { return std::string(std::get<0>(info.param).name) + (std::get<1>(info.param) ? "UnderItsMenu" : ""); });

TEST_F(FullScreenView, ClosingTheMainWindowEndsTheProgramAsWithoutIt)
{
    // The window manager closes the main window with full screen on: no
    // window is left, so the program ends.
    Command(ID_FULL_SCREEN);
    frame->close();
    EXPECT_FALSE(engine->IsFullScreen());
    EXPECT_TRUE(QTest::qWaitFor([] {
        const QWidgetList windows = QApplication::topLevelWidgets();
        return std::none_of(windows.begin(), windows.end(), [](QWidget* w) { return w->isVisible(); });
    }));
}

// Every command of both context menus, shown enabled and checked as the
// command is and chosen through the menu itself: the command may take away
// the very window whose handler opened the menu.
TEST_F(FullScreenView, EveryContextMenuItemCanBeChosenInTheWindowAndInFullScreen)
{
    std::vector<int> ids;
    std::function<void(const ui::MenuItem&)> collect = [&](const ui::MenuItem& item) {
        if (item.kind == ui::MenuItem::Item) ids.push_back(item.id);
        for (const ui::MenuItem& child : item.children) collect(child);
    };
    collect(ui::ContextMenu());
    ASSERT_EQ(ids.size(), 20u);
    EXPECT_EQ(ContextMenu(view).size(), 20u);
    EXPECT_EQ(engine->GetPlayState(), MovieEngine::Playing);  // a right click alone does not pause
    CancelDialogs();  // the open command's file dialog
    for (const bool fullScreen : {false, true}) {
        for (const int id : ids) {
            if (engine->GetPlayState() < 0) {
                ASSERT_TRUE(Open("mjpeg.avi"));
            }
            if (fullScreen && !engine->IsFullScreen()) Command(ID_FULL_SCREEN);
            const view::CommandState before = State(id);
            const Item item = ContextMenu(Window(), id)[id];
            EXPECT_EQ(item.enabled, before.enabled) << id;
            EXPECT_EQ(item.checked, before.checked) << id;
            QCoreApplication::processEvents();  // the posted command runs
        }
    }
    Command(ID_PLAY);
    EXPECT_TRUE(QTest::qWaitFor([&] { return Kept() >= 5; }));
}



TEST(StripGeometry, SlotsTakeTheMoviesAspectRatioAndFillTheViewsWidth)
{
    const StripGeometry g = StripGeometry::Make(640, 300, 320, 240, 1000);
    EXPECT_EQ(g.cxThumb, 29);
    EXPECT_EQ(g.slotCount, 20);  // a pitch of 31
    EXPECT_EQ(StripGeometry::Make(10000, 300, 320, 240, 1000).slotCount, 256);
    // Too narrow for one thumbnail, or no frames: no slots.
    for (const auto& [width, frames, some] : {std::tuple{30, 100, false}, {31, 100, true}, {640, 0, false}})
        EXPECT_EQ(StripGeometry::Make(width, 300, 320, 240, frames).HasSlots(), some) << width << ", " << frames;
}

TEST(StripGeometry, FramesSlotsAndPositionsMapBothWaysWithoutOverflow)
{
    // Six hours at 60 frames per second across a 7680-pixel view: the
    // products pass 2^31 long before the results do.
    const int frames = 6 * 3600 * 60;
    const StripGeometry small = StripGeometry::Make(640, 300, 320, 240, 1000);
    const StripGeometry wide = StripGeometry::Make(7680, 1000, 1920, 1080, frames);
    // The last position goes to the last slot.
    for (const auto& [g, frame, slot] : {std::tuple{&small, 0, 0}, {&small, 50, 1}, {&small, 999, 19}, {&small, 1000, 19},
                                         {&wide, frames - 1, wide.slotCount - 1}, {&wide, frames / 2, wide.slotCount / 2}})
        EXPECT_EQ(g->SlotOf(frame), slot) << frame;
    for (const auto& [g, frame, x] : {std::tuple{&small, 500, 319}, {&wide, frames, 7678}, {&wide, frames / 2, 3839}})
        EXPECT_EQ(g->PositionMarker(frame).left, x) << frame;
    for (const auto& [g, x, frame] : {std::tuple{&small, 320, 500}, {&wide, 7680, frames}}) EXPECT_EQ(g->FrameAt(x), frame) << x;
}

// A thousand frames of 160 x 120 paused, the strip under the picture of a
// 640 x 510 view.
class Strip : public PlayerFixture {
protected:
    void SetUp() override
    {
        PlayerFixture::SetUp();
        Start();
        Command(ID_VIEW_SCROLL);
        ASSERT_TRUE(Open("frames1000.avi"));
        engine->Pause();
        frame->FitClientToSize(640, 510);
        ASSERT_TRUE(view->HasStrip());
        ASSERT_EQ(view->Strip().cxStrip, 640);
    }
    void ShowAndTick(int n)
    {
        At(n);
        view->OnTimer();
    }
    // The frame number the thumbnail in `slot` shows.
    int Thumbnail(int slot)
    {
        const auto& g = view->Strip();
        return ReadFrameNumber(*view->StripBitmap(), QRect(g.SlotX(slot), view::kThumbTop, g.cxThumb, g.cyThumb));
    }
    int StripY() { return view->Strip().yStrip + 10; }
};

TEST_F(Strip, IsReservedBelowThePictureAndFillsInFromTheFramesShown)
{
    EXPECT_EQ(view->Strip().slotCount, 20);
    EXPECT_EQ(engine->geometry(), QRect(0, 0, 640, 480));  // above the strip
    for (int slot = 0; slot < 20; ++slot) EXPECT_EQ(view->SlotFrame(slot), -1);
    ShowAndTick(50);
    EXPECT_EQ(view->SlotFrame(1), 50);
    EXPECT_EQ(Thumbnail(1), 50);
    EXPECT_EQ(view->CurrentSlot(), view->Strip().SlotRect(1));
    ShowAndTick(999);
    EXPECT_EQ(view->SlotFrame(19), 999);
    EXPECT_EQ(Thumbnail(19), 999);
    EXPECT_EQ(view->PositionMarker(), view->Strip().PositionMarker(999));
}

TEST_F(Strip, WideningAndNarrowingMoveEachThumbnailToItsFramesSlot)
{
    for (const int f : {0, 100, 150, 500, 950}) ShowAndTick(f);  // slots 0, 2, 3, 10, 19
    frame->FitClientToSize(1280, 510);                          // 41 slots
    ASSERT_EQ(view->Strip().slotCount, 41);
    for (const auto& [slot, f] : {std::pair{0, 0}, {4, 100}, {6, 150}, {20, 500}, {38, 950}}) {
        EXPECT_EQ(view->SlotFrame(slot), f) << "slot " << slot;
        EXPECT_EQ(Thumbnail(slot), f) << "slot " << slot;
    }
    frame->FitClientToSize(320, 510);  // 10 slots: 100 and 150 both land in slot 1
    ASSERT_EQ(view->Strip().slotCount, 10);
    for (const auto& [slot, f] : {std::pair{1, 150}, {2, -1}, {5, 500}, {9, 950}})
        EXPECT_EQ(view->SlotFrame(slot), f) << "slot " << slot;
    EXPECT_EQ(Thumbnail(1), 150);
}

TEST_F(Strip, StartsEmptyForAnotherMovieOrWhenSwitchedAndNeedsAMovieAndRoom)
{
    ShowAndTick(500);
    ASSERT_EQ(view->SlotFrame(10), 500);
    Command(ID_VIEW_SCROLL);
    EXPECT_FALSE(view->HasStrip());
    Command(ID_VIEW_SCROLL);
    ASSERT_TRUE(view->HasStrip());
    EXPECT_EQ(view->SlotFrame(10), -1);
    ShowAndTick(500);
    ASSERT_TRUE(Open("frames250.avi"));
    ASSERT_TRUE(view->HasStrip());
    for (int slot = 0; slot < view->Strip().slotCount; ++slot) EXPECT_EQ(view->SlotFrame(slot), -1);
    // The frame may not get as narrow as asked; narrow the view itself.
    view->resize(20, 200);
    EXPECT_FALSE(view->HasStrip());
    view->OnTimer();  // nothing divides by zero
    frame->FitClientToSize(640, 510);
    EXPECT_TRUE(view->HasStrip());
    // A failed open leaves the strip drawn but no movie to seek in.
    ASSERT_FALSE(Open("random.avi"));
    ASSERT_TRUE(view->HasStrip());
    Mouse(view, QEvent::MouseButtonPress, {320, StripY()});
    EXPECT_FALSE(view->Dragging());
    EXPECT_EQ(engine->GetPlayState(), -1);
    // No movie at all, no strip.
    Start();
    EXPECT_FALSE(view->HasStrip());
    const QSize before = view->size();
    view->LayoutStrip(false);
    EXPECT_EQ(view->size(), before);
}

TEST_F(Strip, AClickSeeksThereAndMarksItADragKeepsToTheMovieAndLettingGoPlays)
{
    // The strip's top row belongs to the picture: a click there plays.
    Mouse(view, QEvent::MouseButtonPress, {320, view->Strip().yStrip});
    EXPECT_FALSE(view->Dragging());
    EXPECT_EQ(engine->GetPlayState(), MovieEngine::Playing);
    engine->Pause();
    Mouse(view, QEvent::MouseButtonPress, {320, StripY()});
    EXPECT_TRUE(view->Dragging());
    EXPECT_EQ(view->DragMarkerRect().left, 319);
    ASSERT_TRUE(Idle());
    EXPECT_EQ(engine->GetCurrentFrame(), 500);
    EXPECT_EQ(Kept(), 500);
    EXPECT_FALSE(view->PlayRequested());
    for (const auto& [x, f] : {std::pair{700, 999}, {-40, 0}}) {
        Mouse(view, QEvent::MouseMove, {x, StripY()});
        ASSERT_TRUE(Idle());
        EXPECT_EQ(engine->GetCurrentFrame(), f) << x;
    }
    QElapsedTimer since;
    since.start();
    Mouse(view, QEvent::MouseButtonRelease, {64, StripY()});
    EXPECT_FALSE(view->Dragging());
    EXPECT_EQ(engine->GetPlayState(), MovieEngine::Playing);
    EXPECT_TRUE(view->PlayRequested());
    ASSERT_TRUE(QTest::qWaitFor([&] { return Kept() >= 100; }));
    const int kept = Kept();
    EXPECT_LE(kept, testsupport::AtMost(100, since.elapsed()));
}



using Timer = Picture;

TEST_F(Timer, TheSeekBarsStepsAreAFrameATenthAtLeastOneFrameAndKeepToTheMovie)
{
    struct Step {
        const char* movie;
        int from, code, to;
    };
    for (const Step& s : {Step{"mjpeg.avi", 0, PlayerView::SB_LINELEFT, 0}, Step{"seven.avi", 0, PlayerView::SB_PAGERIGHT, 1},
                          Step{"seven.avi", 3, PlayerView::SB_PAGELEFT, 2},
                          Step{"frames250.avi", 240, PlayerView::SB_PAGERIGHT, 249},  // the last frame, not beyond
                          Step{"frames250.avi", 249, PlayerView::SB_PAGELEFT, 224},
                          Step{"frames250.avi", 224, PlayerView::SB_LINERIGHT, 225},
                          Step{"frames250.avi", 225, PlayerView::SB_LEFT, 0},
                          Step{"frames250.avi", 0, PlayerView::SB_RIGHT, 249}}) {
        if (view->MoviePath() != MovieBytes(s.movie)) {
            ASSERT_TRUE(Open(s.movie));
        }
        At(s.from);
        ASSERT_EQ(engine->GetCurrentFrame(), s.from);
        view->OnHScroll(s.code, 0);
        ASSERT_TRUE(Idle());
        EXPECT_EQ(engine->GetCurrentFrame(), s.to) << s.movie << " from " << s.from << " by " << s.code;
        // Even a step that stays where it is drops the request to play.
        EXPECT_FALSE(view->PlayRequested());
    }
    view->OnHScroll(PlayerView::SB_THUMBPOSITION, 77);
    ASSERT_TRUE(Idle());
    EXPECT_EQ(Kept(), 77);
}

TEST_F(Timer, EachTickWritesStateCounterAndThumbAndTheLabelChangesAtOnce)
{
    // Empty until the first tick.
    EXPECT_EQ(frame->PaneText(0), "");
    EXPECT_EQ(frame->PaneText(1), "Frame");
    EXPECT_EQ(frame->PaneText(2), "");
    view->OnTimer();
    EXPECT_EQ(frame->PaneText(0), "Ready");
    EXPECT_EQ(frame->PaneText(2), "0");
    ASSERT_TRUE(Open("mjpeg.avi"));
    view->OnTimer();
    EXPECT_EQ(frame->PaneText(0), "Play");
    At(17);
    view->OnTimer();
    EXPECT_EQ(frame->PaneText(0), "Stop");
    EXPECT_EQ(frame->PaneText(2), "17");
    EXPECT_EQ(view->ScrollBar()->value(), 17);
    EXPECT_EQ(view->ScrollBar()->maximum(), 50);
    Command(ID_TIME_DISPLAY);
    EXPECT_EQ(frame->PaneText(1), "Time");
    EXPECT_EQ(frame->PaneText(2), "17");
    view->OnTimer();
    EXPECT_EQ(frame->PaneText(2), "00:00:00");
    At(49);
    view->OnTimer();
    EXPECT_EQ(frame->PaneText(2), "00:00:01");
}

TEST_F(Timer, WithoutContinuousPlayTheEndStaysAndWithItEveryEndAfterThatRestarts)
{
    ASSERT_TRUE(Open("short.avi"));  // 10 frames, 0.4 s
    ASSERT_TRUE(QTest::qWaitFor([&] { return frame->PaneText(0) == "Stop"; }));
    EXPECT_FALSE(view->PlayRequested());
    EXPECT_EQ(Kept(), 9);
    // Switching continuous play on only now does not restart it...
    Command(ID_AUTO_REPLAY);
    EXPECT_FALSE(QTest::qWaitFor([&] { return engine->GetPlayState() == MovieEngine::Playing; }, 1200));
    // ...the next play does, and then, within a tick of every end, it plays
    // again from the start.
    Command(ID_PLAY);
    for (int round = 0; round < 2; ++round) {
        ASSERT_TRUE(QTest::qWaitFor([&] { return Kept() == 9; }));
        ASSERT_TRUE(QTest::qWaitFor([&] { return Kept() >= 0 && Kept() < 5; }, 1500));
    }
    EXPECT_TRUE(view->PlayRequested());
}

TEST_F(Timer, TheSeekBarFollowsItsSwitchAndThePictureKeepsItsSize)
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
