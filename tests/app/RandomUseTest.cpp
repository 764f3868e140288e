// The player used at random: commands from the menus and the toolbar,
// picks from the context menus in the window and in full screen, drops,
// seeks, drags on the strip, full-screen switches and closes, failed opens
// and the messages they raise, all in any order, with the event loop
// running between them and under every message. After every step the
// program must stand in one of its states; once it has warmed up, closing
// the movie must leave no thread behind it; at the end a good movie must
// still play. REELSCOPE_SEED replays a run; REELSCOPE_STEPS sets its length.
//
// The soak (scripts/test.sh --soak) is the same run for REELSCOPE_SOAK_MINUTES
// minutes: resident memory, sampled each minute with no movie open, must stay
// flat after the first.

#include <malloc.h>

#include <QElapsedTimer>
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

    // Closes the movie (a failed open does) and lets the workers go: the
    // threads left, and the resident memory once the allocator has handed
    // back what it only keeps cached.
    std::pair<int, long> Closed()
    {
        if (engine->IsFullScreen()) Command(ID_FULL_SCREEN);
        messages.upMs = 0;
        view->OpenMovieFile(MovieBytes("random.avi"));
        WaitFor([] { return false; }, 300);
        ::malloc_trim(0);
        return {Threads(), ResidentKb()};
    }
};

TEST_F(RandomUse, EverythingInAnyOrderLeavesAPlayerThatPlays)
{
    const unsigned seed = EnvOr("REELSCOPE_SEED", std::random_device{}());
    const unsigned soakMinutes = EnvOr("REELSCOPE_SOAK_MINUTES", 0);
    const unsigned steps = soakMinutes ? UINT_MAX : EnvOr("REELSCOPE_STEPS", 2000);
    const qint64 limitMs = soakMinutes ? soakMinutes * 60'000LL : 120'000;
    SCOPED_TRACE("replay with REELSCOPE_SEED=" + std::to_string(seed));
    random.seed(seed);

    Start();
    CancelDialogs();
    std::vector<int> commands;
    for (const ui::Command& c : ui::Commands())
        if (c.id != ID_APP_EXIT) commands.push_back(c.id);
    for (int i = 1; i < 4; ++i) commands.push_back(ID_FILE_MRU_FILE1 + i);
    const std::vector<std::string> movies = {"mjpeg.avi",     "h264.mp4",      "short.avi",  "one.avi",
                                             "frames250.avi", "audioonly.avi", "random.avi", "videoonly.avi",
                                             "odd.avi",       "frames1000.avi", "mpeg1.mpg",  "wmv2.asf"};
    auto movie = [&] { return MovieBytes(movies[static_cast<std::size_t>(Pick(int(movies.size())))]); };

    // The threads and memory of the warmed-up player: after half the steps,
    // or in the soak after the first minute and then each minute. Qt's pool
    // threads leave as soon as they are idle, so as not to be counted.
    QThreadPool::globalInstance()->setExpiryTimeout(0);
    std::pair<int, long> baseline{-1, 0};
    qint64 nextSampleMs = 60'000;
    QElapsedTimer clock;
    clock.start();
    for (unsigned step = 0; step < steps && clock.elapsed() < limitMs; ++step) {
        if (soakMinutes ? clock.elapsed() >= nextSampleMs : step == steps / 2) {
            nextSampleMs += 60'000;
            const auto now = Closed();
            if (baseline.first < 0) baseline = now;
            std::printf("after %lld s: %ld kB resident, %d threads\n", clock.elapsed() / 1000, now.second, now.first);
        }
        // Most messages come and go quickly; some stay up past a tick.
        messages.upMs = Pick(20) == 0 ? CapturedMessages::kUpMs : Pick(30);
        engine::FullScreenWindow* popup = engine->FullScreenWnd();
        QWidget* window = popup ? static_cast<QWidget*>(popup) : view;
        const QPoint anywhere(Pick(window->width() + 40) - 20, Pick(window->height() + 40) - 20);
        const int action = Pick(12);
        switch (action) {
        case 0: case 1: case 2: Command(commands[static_cast<std::size_t>(Pick(int(commands.size())))]); break;
        case 3: ContextMenu(window, commands[static_cast<std::size_t>(Pick(int(commands.size())))]); break;
        case 4: Drop(frame, {QUrl::fromLocalFile(QString::fromUtf8(movie()))}); break;
        case 5: view->OpenMovieFile(movie()); break;
        case 6: view->OnHScroll(Pick(9), Pick(engine->GetTotalFrames() + 2)); break;
        case 7: Mouse(window, QEvent::MouseButtonPress, anywhere); break;
        case 8: Mouse(view, Pick(2) ? QEvent::MouseMove : QEvent::MouseButtonRelease, anywhere); break;
        case 9: if (popup) popup->close(); break;
        case 10: view->OnTimer(); break;
        default: WaitFor([] { return false; }, Pick(40)); break;
        }
        QCoreApplication::processEvents();
        const int state = engine->GetPlayState();
        ASSERT_TRUE(state >= -1 && state <= MovieEngine::Seeking) << "step " << step << ", action " << action;
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
    EXPECT_TRUE(WaitFor([&] { return Kept() >= 5; }));
}

}  // namespace
}  // namespace playertest
