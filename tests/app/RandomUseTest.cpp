// The player used at random: commands from the menus and the toolbar,
// picks from the context menus in the window and in full screen, drops,
// seeks, drags on the strip, full-screen switches and closes, failed opens
// and the messages they raise, all in any order, with the event loop
// running between them and under every message. Real menus are opened (the
// menu bar's, both context menus, their submenus) and, while one is up,
// other things happen inside its loop: the window manager closes a window,
// the desktop opens a movie or sends a command, a key is pressed. After every
// step the program must stand in one of its states (a closed main window
// ends it; it is started again); once it has warmed up, closing the movie
// must leave no thread behind it; at the end a good movie must still play.
//
// The run is a number of steps, not a time: the same on a busy machine and
// under the sanitizers. The seed is fixed and printed; REELSCOPE_SEED picks
// another, REELSCOPE_STEPS another length.
//
// The soak (scripts/test.sh --soak) is the same run for REELSCOPE_SOAK_MINUTES
// minutes: resident memory, sampled each minute with no movie open, must stay
// flat after the first.

#include <malloc.h>

#include <QElapsedTimer>
#include <QMenuBar>
#include <QTest>
#include <QThreadPool>
#include <random>

#include "PlayerFixture.h"
#include "engine/FullScreenWindow.h"

namespace playertest {
namespace {

unsigned EnvOr(const char* name, unsigned fallback)
{
    bool ok = false;
    const unsigned value = qEnvironmentVariable(name).toUInt(&ok);
    return ok ? value : fallback;
}

// Growth of resident memory after the first minute that is still "flat":
// allocator caches and Qt's image caches settle within it.
constexpr long kAllowedGrowthKb = 8 * 1024;

class RandomUse : public PlayerFixture {
protected:
    std::mt19937 random;
    int Pick(int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); }
    template <typename T>
    const T& PickOf(const std::vector<T>& v) { return v[static_cast<std::size_t>(Pick(int(v.size())))]; }

    std::vector<int> commands;
    const std::vector<std::string> movies = {"mjpeg.avi",     "h264.mp4",       "short.avi", "one.avi",
                                             "frames250.avi", "audioonly.avi",  "random.avi", "videoonly.avi",
                                             "odd.avi",       "frames1000.avi", "mpeg1.mpg",  "wmv2.asf"};
    QByteArray Movie() { return MovieBytes(PickOf(movies)); }

    // Closes the movie (a failed open does) and lets the workers go: the
    // threads left, and the resident memory once the allocator has handed
    // back what it only keeps cached.
    std::pair<int, long> Closed()
    {
        if (engine->IsFullScreen()) Command(ID_FULL_SCREEN);
        messages.upMs = 0;
        view->OpenMovieFile(MovieBytes("random.avi"));
        EXPECT_TRUE(QTest::qWaitFor([] { return QThreadPool::globalInstance()->activeThreadCount() == 0; }));
        ::malloc_trim(0);
        return {Threads(), ResidentKb()};
    }

    // Something that may happen while a menu is up, inside its loop.
    void Meanwhile()
    {
        if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget()); menu && Pick(2)) {
            for (QAction* action : menu->actions())
                if (action->menu() && Pick(2)) {
                    action->menu()->popup(menu->geometry().topRight());
                    break;
                }
        }
        static const std::vector<Qt::Key> keys = {Qt::Key_Left, Qt::Key_Right, Qt::Key_Escape, Qt::Key_Return,
                                                  Qt::Key_Space, Qt::Key_F, Qt::Key_Down, Qt::Key_End};
        switch (Pick(6)) {
        case 0: if (auto* popup = engine->FullScreenWnd()) popup->close(); break;
        case 1: frame->close(); break;  // the program ends with its window
        case 2: player->OpenDocumentFile(Movie()); break;
        case 3: frame->PostCommand(PickOf(commands)); break;
        case 4: QTest::keyClick(QApplication::activePopupWidget() ? QApplication::activePopupWidget() : frame, PickOf(keys)); break;
        default: break;
        }
        // What is still up is closed in a while, as a person would.
        QTimer::singleShot(Pick(30), [] {
            while (QWidget* popup = QApplication::activePopupWidget()) popup->close();
        });
    }

    // A real menu, with things happening while it is up.
    void MenuUp(QWidget* window)
    {
        QTimer::singleShot(Pick(20), [this] { Meanwhile(); });
        if (Pick(3) == 0) {
            QMenuBar* bar = frame->menuBar();
            bar->setActiveAction(bar->actions().at(Pick(int(bar->actions().size()))));
            EXPECT_TRUE(QTest::qWaitFor([] { return !QApplication::activePopupWidget(); }));
        } else {
            // Its loop runs until it closes.
            Mouse(window, QEvent::MouseButtonPress, QPoint(Pick(window->width()), Pick(window->height())), Qt::RightButton);
        }
    }
};

TEST_F(RandomUse, EverythingInAnyOrderLeavesAPlayerThatPlays)
{
    const unsigned seed = EnvOr("REELSCOPE_SEED", 20261207);
    const unsigned soakMinutes = EnvOr("REELSCOPE_SOAK_MINUTES", 0);
    const unsigned steps = soakMinutes ? UINT_MAX : EnvOr("REELSCOPE_STEPS", 1500);
    std::printf("seed %u (REELSCOPE_SEED replays it), %u steps\n", seed, steps);
    SCOPED_TRACE("replay with REELSCOPE_SEED=" + std::to_string(seed));
    random.seed(seed);

    Start();
    CancelDialogs();
    for (const ui::Command& c : ui::Commands())
        if (c.id != ID_APP_EXIT) commands.push_back(c.id);
    for (int i = 1; i < 4; ++i) commands.push_back(ID_FILE_MRU_FILE1 + i);

    // The threads and memory of the warmed-up player: after half the steps,
    // or in the soak after the first minute and then each minute. Qt's pool
    // threads leave as soon as they are idle, so as not to be counted.
    QThreadPool::globalInstance()->setExpiryTimeout(0);
    std::pair<int, long> baseline{-1, 0};
    qint64 nextSampleMs = 60'000;
    QElapsedTimer clock;
    clock.start();
    for (unsigned step = 0; step < steps && (!soakMinutes || clock.elapsed() < soakMinutes * 60'000LL); ++step) {
        if (soakMinutes ? clock.elapsed() >= nextSampleMs : step == steps / 2) {
            nextSampleMs += 60'000;
            const auto now = Closed();
            if (baseline.first < 0) baseline = now;
            std::printf("after %lld s: %ld kB resident, %d threads\n", clock.elapsed() / 1000, now.second, now.first);
        }
        if (!frame->isVisible()) Start();  // closed: the program is started again
        // Most messages come and go quickly; some stay up past a tick.
        messages.upMs = Pick(20) == 0 ? 550 : Pick(30);
        engine::FullScreenWindow* popup = engine->FullScreenWnd();
        QWidget* window = popup ? static_cast<QWidget*>(popup) : view;
        const QPoint anywhere(Pick(window->width() + 40) - 20, Pick(window->height() + 40) - 20);
        const int action = Pick(13);
        switch (action) {
        case 0: case 1: case 2: Command(PickOf(commands)); break;
        case 3: ContextMenu(window, PickOf(commands)); break;
        case 4: Drop(frame, {QUrl::fromLocalFile(QString::fromUtf8(Movie()))}); break;
        case 5: view->OpenMovieFile(Movie()); break;
        case 6: view->OnHScroll(Pick(9), Pick(engine->GetTotalFrames() + 2)); break;
        case 7: Mouse(window, QEvent::MouseButtonPress, anywhere); break;
        case 8: Mouse(view, Pick(2) ? QEvent::MouseMove : QEvent::MouseButtonRelease, anywhere); break;
        case 9: if (popup) popup->close(); break;
        case 10: view->OnTimer(); break;
        case 11: MenuUp(window); break;
        default:
            // Time passes, as between two things a person does: here it is
            // an input of the run, not a wait for anything.
            QTest::qWait(Pick(40));
            break;
        }
        QCoreApplication::processEvents();
    }
    const auto end = Closed();
    std::printf("at the end: %ld kB resident, %d threads; at the baseline %ld kB, %d threads\n", end.second, end.first,
                baseline.second, baseline.first);
    EXPECT_TRUE(baseline.first < 0 || end.first <= baseline.first) << "threads were left over";
    // Memory is judged only on a run long enough for the first minute to be
    // the warm-up.
    EXPECT_TRUE(soakMinutes < 2 || end.second - baseline.second <= kAllowedGrowthKb) << "resident memory grew";
    ASSERT_TRUE(Open("mjpeg.avi"));
    Command(ID_PLAY);
    EXPECT_TRUE(QTest::qWaitFor([&] { return Kept() >= 5; }));
}

}  // namespace
}  // namespace playertest
