// Full screen from the player's side: the command, a click on the
// full-screen window to leave it, its context menu, and the display sizes.

#include <QApplication>
#include <QMenu>
#include <functional>
#include <QMouseEvent>
#include <QTimer>

#include "PlayerFixture.h"
#include "engine/FullScreenWindow.h"
#include "resources/UiResources.h"

namespace playertest {
namespace {

using engine::MovieEngine;

class FullScreenView : public PlayerFixture {
protected:
    void SetUp() override
    {
        PlayerFixture::SetUp();
        Start();
        ASSERT_TRUE(Open("mjpeg.avi"));
    }
    // A press on the full-screen window, or on the view when there is none.
    void Click(Qt::MouseButton button)
    {
        QWidget* window = engine->FullScreenWnd() ? static_cast<QWidget*>(engine->FullScreenWnd()) : view;
        const QPoint at(40, 40);
        QMouseEvent press(QEvent::MouseButtonPress, QPointF(at), QPointF(window->mapToGlobal(at)), button, button,
                          Qt::NoModifier);
        QApplication::sendEvent(window, &press);
    }
};

TEST_F(FullScreenView, TheCommandTogglesAndAsksForPlayback)
{
    Command(ID_STOP);
    ASSERT_FALSE(view->PlayRequested());
    Command(ID_FULL_SCREEN);
    EXPECT_TRUE(engine->IsFullScreen());
    EXPECT_TRUE(State(ID_FULL_SCREEN).checked);
    EXPECT_TRUE(view->PlayRequested());
    Command(ID_FULL_SCREEN);
    EXPECT_FALSE(engine->IsFullScreen());
    EXPECT_FALSE(State(ID_FULL_SCREEN).checked);
}

TEST_F(FullScreenView, ALeftClickLeavesFullScreenAfterItsOwnHandlerReturned)
{
    const QRect before = frame->geometry();
    Command(ID_FULL_SCREEN);
    ASSERT_NE(engine->FullScreenWnd(), nullptr);
    Click(Qt::LeftButton);
    // Posted, not carried out inside the click: still full screen here.
    EXPECT_TRUE(engine->IsFullScreen());
    ASSERT_TRUE(WaitFor([&] { return !engine->IsFullScreen(); }));
    EXPECT_EQ(engine->FullScreenWnd(), nullptr);
    EXPECT_EQ(frame->geometry(), before);
    EXPECT_EQ(engine->size(), QSize(320, 240));
}

TEST_F(FullScreenView, ARightClickOffersTheContextMenuWithFullScreenChecked)
{
    Command(ID_FULL_SCREEN);
    bool checked = false;
    bool seen = false;
    QTimer::singleShot(200, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu) return;
        seen = true;
        for (QAction* action : menu->actions())
            if (action->data().toInt() == ID_FULL_SCREEN) checked = action->isChecked();
        menu->close();
    });
    Click(Qt::RightButton);
    EXPECT_TRUE(seen);
    EXPECT_TRUE(checked);
    EXPECT_TRUE(engine->IsFullScreen());  // the menu alone changes nothing
}

TEST_F(FullScreenView, ClosingTheWindowLeavesFullScreenAsTheCommandDoes)
{
    Command(ID_FULL_SCREEN);
    ASSERT_NE(engine->FullScreenWnd(), nullptr);
    engine->FullScreenWnd()->close();  // the window manager's close, as Alt+F4
    ASSERT_TRUE(WaitFor([&] { return !engine->IsFullScreen(); }));
    EXPECT_EQ(engine->FullScreenWnd(), nullptr);
    EXPECT_EQ(engine->GetPlayState(), MovieEngine::Playing);
    const int kept = Kept();
    EXPECT_TRUE(WaitFor([&] { return Kept() > kept; }));  // the picture moves on in the window
}

// Every command of both context menus, chosen through the menu itself: the
// command may take away the very window whose handler opened the menu.
TEST_F(FullScreenView, EveryContextMenuItemCanBeChosenInTheWindowAndInFullScreen)
{
    std::vector<int> ids;
    std::function<void(const ui::MenuItem&)> collect = [&](const ui::MenuItem& item) {
        if (item.kind == ui::MenuItem::Item) ids.push_back(item.id);
        for (const ui::MenuItem& child : item.children) collect(child);
    };
    collect(ui::ContextMenu());
    ASSERT_EQ(ids.size(), 20u);
    CancelDialogs();  // the open command's file dialog
    for (const bool fullScreen : {false, true}) {
        for (const int id : ids) {
            if (engine->GetPlayState() < 0) {
                ASSERT_TRUE(Open("mjpeg.avi"));
            }
            if (fullScreen && !engine->IsFullScreen()) Command(ID_FULL_SCREEN);
            QWidget* window = fullScreen ? static_cast<QWidget*>(engine->FullScreenWnd()) : view;
            EXPECT_EQ(ChooseFromContextMenu(window, id), State(id).enabled) << id;
            WaitFor([] { return false; }, 30);  // the posted command runs
            EXPECT_GE(engine->GetPlayState(), -1) << id;
            EXPECT_LE(engine->GetPlayState(), MovieEngine::Seeking) << id;
        }
    }
    Command(ID_PLAY);
    EXPECT_TRUE(WaitFor([&] { return Kept() >= 5; }));
}

TEST_F(FullScreenView, ADisplaySizeLeavesFullScreenThenSizesThePicture)
{
    Command(ID_FULL_SCREEN);
    Command(ID_SIZE_DOUBLE);
    EXPECT_FALSE(engine->IsFullScreen());
    EXPECT_EQ(engine->size(), QSize(640, 480));
    EXPECT_EQ(view->size(), QSize(640, 480));
}

}  // namespace
}  // namespace playertest
