// The player under a long run of everything a person does: open, play,
// seek at random, drag, switch sizes, speeds, the strip and full screen.
// After the first minute resident memory must stay flat, and when the movie
// is closed again no thread may be left over.
// Usage: soak_test [--minutes N | --seconds N]

#include <malloc.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QSettings>
#include <QThread>
#include <chrono>
#include <cstdio>
#include <random>

#include "app/CommandUi.h"
#include "app/MainFrame.h"
#include "app/MoviePlayerApp.h"
#include "engine/Notifier.h"
#include "resources/UiResources.h"

namespace {

// Growth of resident memory after the first minute that is still "flat":
// allocator caches and Qt's image caches settle within it.
constexpr long kAllowedGrowthKb = 8 * 1024;

// Resident memory once the allocator has handed back what it only keeps
// cached: what is left is what the program holds.
long ResidentKb()
{
    ::malloc_trim(0);
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').first().toLong();
    return 0;
}

int Threads()
{
    return static_cast<int>(QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size());
}

class Silent : public engine::Notifier {
public:
    void Show(const QString&) override {}
};

void Pump(int ms)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < until) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(2);
    }
}

}  // namespace

int main(int argc, char** argv)
{
    long seconds = 600;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::string(argv[i]) == "--minutes") seconds = std::atol(argv[i + 1]) * 60;
        if (std::string(argv[i]) == "--seconds") seconds = std::atol(argv[i + 1]);
    }
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    ::setenv("SDL_AUDIODRIVER", "dummy", 0);
    QApplication application(argc, argv);
    QTemporaryDir config;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, config.path());
    Silent silent;
    engine::SetNotifier(&silent);

    app::MoviePlayerApp player;
    player.InitInstance({});
    app::CMainFrame* frame = player.MainFrame();
    view::PlayerView& view = frame->View();
    engine::MovieEngine& engine = view.Engine();
    auto command = [&](int id) { frame->Commands().Execute(id); };

    const char* movies[] = {"mjpeg.avi", "h264.mp4", "mpeg1.mpg", "wmv2.asf", "h264.mkv", "frames1000.avi", "odd.avi"};
    const int commands[] = {ID_PLAY,       ID_PAUSE,        ID_STOP,        ID_GO_START,   ID_GO_END,
                            ID_SIZE_HALF,  ID_SIZE_NORMAL,  ID_SIZE_DOUBLE, ID_SPEED_HALF, ID_SPEED_NORMAL,
                            ID_SPEED_DOUBLE, ID_VOLUME_UP,  ID_VOLUME_DOWN, ID_VOLUME_MUTE, ID_VIEW_SCROLL,
                            ID_VIEW_SCROLLBAR, ID_TIME_DISPLAY, ID_AUTO_REPLAY, ID_EDIT_COPY, ID_FULL_SCREEN};
    std::mt19937 random(7);
    auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };

    const auto start = std::chrono::steady_clock::now();
    auto elapsed = [&] { return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start).count(); };
    long baselineKb = 0, peakKb = 0;
    long nextSample = std::min<long>(60, seconds / 2);
    int baselineThreads = -1;
    long actions = 0;
    auto closeMovie = [&] { view.OpenMovieFile(QByteArray(TEST_MOVIE_DIR "/random.avi")); };

    while (elapsed() < seconds) {
        switch (pick(10)) {
        case 0:
            view.OpenMovieFile(QByteArray(TEST_MOVIE_DIR "/") + movies[pick(std::size(movies))]);
            break;
        case 1:
        case 2: {  // a burst of seeks, as a drag on the seek bar makes
            const int total = engine.GetTotalFrames();
            for (int i = 0; i < 8 && total > 0; ++i) {
                view.OnHScroll(view::PlayerView::SB_THUMBTRACK, pick(total + 1));
                Pump(15);
            }
            view.OnHScroll(view::PlayerView::SB_THUMBPOSITION, engine.GetCurrentFrame());
            break;
        }
        default:
            command(commands[pick(std::size(commands))]);
            break;
        }
        ++actions;
        Pump(50 + pick(250));

        // Each minute, with no movie open, how much is resident.
        if (elapsed() >= nextSample) {
            closeMovie();
            Pump(300);
            const long kb = ResidentKb();
            if (baselineThreads < 0) {
                baselineKb = kb;
                baselineThreads = Threads();
            }
            std::printf("after %3ld s: %ld kB resident, %d threads\n", static_cast<long>(elapsed()), kb, Threads());
            std::fflush(stdout);
            nextSample += 60;
        }
        if (baselineThreads >= 0) peakKb = std::max(peakKb, ResidentKb());
    }
    if (engine.IsFullScreen()) command(ID_FULL_SCREEN);
    closeMovie();
    Pump(300);
    const long endKb = ResidentKb();
    const int endThreads = Threads();
    std::printf("%ld actions in %ld s; resident %ld kB at the baseline, %ld kB peak, %ld kB at the end; threads "
                "%d, then %d\n",
                actions, static_cast<long>(elapsed()), baselineKb, peakKb, endKb, baselineThreads, endThreads);
    bool ok = endThreads <= baselineThreads;
    if (!ok) std::printf("FAILED: threads were left over\n");
    // Memory is judged only on a run long enough for the first minute to be
    // the warm-up.
    if (seconds >= 120 && endKb - baselineKb > kAllowedGrowthKb) {
        std::printf("FAILED: resident memory grew by %ld kB\n", endKb - baselineKb);
        ok = false;
    }
    engine::SetNotifier(nullptr);
    return ok ? 0 : 1;
}
