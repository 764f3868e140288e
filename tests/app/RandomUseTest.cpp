// The player used at random: commands from the menus and the toolbar,
// picks from the context menus in the window and in full screen, drops,
// seeks, drags on the strip, full-screen switches and closes, failed opens
// and the messages they raise, all in any order, with the event loop
// running between them and under every message. After every step the
// program must stand in one of its states, and at the end a good movie must
// still play. REELSCOPE_SEED replays a run; REELSCOPE_STEPS sets its length.

#include <QApplication>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <random>

#include "PlayerFixture.h"
#include "engine/FullScreenWindow.h"
#include "resources/UiResources.h"

namespace playertest {
namespace {

using engine::MovieEngine;

unsigned EnvOr(const char* name, unsigned fallback)
{
    bool ok = false;
    const unsigned value = qEnvironmentVariable(name).toUInt(&ok);
    return ok ? value : fallback;
}

class RandomUse : public PlayerFixture {
protected:
    std::mt19937 random;
    int Pick(int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); }

    void Mouse(QWidget* window, QEvent::Type type, Qt::MouseButton button)
    {
        const QPoint at(Pick(window->width() + 40) - 20, Pick(window->height() + 40) - 20);
        const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(button);
        QMouseEvent event(type, QPointF(at), QPointF(window->mapToGlobal(at)), button, held, Qt::NoModifier);
        QApplication::sendEvent(window, &event);
    }
};

TEST_F(RandomUse, EverythingInAnyOrderLeavesAPlayerThatPlays)
{
    const unsigned seed = EnvOr("REELSCOPE_SEED", std::random_device{}());
    const unsigned steps = EnvOr("REELSCOPE_STEPS", 2000);
    SCOPED_TRACE("replay with REELSCOPE_SEED=" + std::to_string(seed));
    random.seed(seed);

    Start();
    CancelDialogs();
    std::vector<int> commands;
    for (const ui::Command& c : ui::Commands())
        if (c.id != ID_APP_EXIT) commands.push_back(c.id);
    for (int i = 1; i < 4; ++i) commands.push_back(ID_FILE_MRU_FILE1 + i);
    const std::vector<std::string> movies = {"mjpeg.avi", "h264.mp4", "short.avi", "one.avi", "frames250.avi",
                                             "audioonly.avi", "random.avi", "videoonly.avi", "odd.avi"};
    auto movie = [&] { return MovieBytes(movies[static_cast<std::size_t>(Pick(int(movies.size())))]); };

    QElapsedTimer clock;
    clock.start();
    for (unsigned step = 0; step < steps && clock.elapsed() < 120'000; ++step) {
        // Most messages come and go quickly; some stay up past a tick.
        messages.upMs = Pick(20) == 0 ? CapturedMessages::kUpMs : Pick(30);
        engine::FullScreenWindow* popup = engine->FullScreenWnd();
        QWidget* window = popup ? static_cast<QWidget*>(popup) : view;
        const int action = Pick(12);
        switch (action) {
        case 0: case 1: case 2: Command(commands[static_cast<std::size_t>(Pick(int(commands.size())))]); break;
        case 3: ChooseFromContextMenu(window, commands[static_cast<std::size_t>(Pick(int(commands.size())))]); break;
        case 4: Drop(frame, {QUrl::fromLocalFile(QString::fromUtf8(movie()))}); break;
        case 5: view->OpenMovieFile(movie()); break;
        case 6: view->OnHScroll(Pick(9), Pick(engine->GetTotalFrames() + 2)); break;
        case 7: Mouse(window, QEvent::MouseButtonPress, Qt::LeftButton); break;
        case 8: Mouse(view, Pick(2) ? QEvent::MouseMove : QEvent::MouseButtonRelease, Qt::LeftButton); break;
        case 9: if (popup) popup->close(); break;
        case 10: view->OnTimer(); break;
        default: WaitFor([] { return false; }, Pick(40)); break;
        }
        QCoreApplication::processEvents();
        const int state = engine->GetPlayState();
        ASSERT_TRUE(state >= -1 && state <= MovieEngine::Seeking) << "step " << step << ", action " << action;
    }
    if (engine->IsFullScreen()) Command(ID_FULL_SCREEN);
    messages.upMs = 0;
    ASSERT_TRUE(Open("mjpeg.avi"));
    Command(ID_PLAY);
    EXPECT_TRUE(WaitFor([&] { return Kept() >= 5; }));
}

}  // namespace
}  // namespace playertest
