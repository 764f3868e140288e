// The player beside mpv, on this display:
//  steps:  frame by frame forward and backward from the middle of a movie,
//          200 steps each way, from the request to the frame shown;
//  seeks:  exact seeks while paused to 20 random places, the same for both;
//  first:  process start to the movie's first picture on screen, seen by
//          polling a patch of the screen where the picture appears;
//  busy:   (ours only; run it beside other work) pause and stop while
//          playing, from the command until the picture stands still, and
//          how late the interface's own 10 ms timer fires meanwhile;
//  end:    (ours only) the end command, and a seek into the last group of
//          pictures, at once after the open and again once the file has
//          been read through, from the command to the picture shown;
//  reopen: (ours only) the movies given opened one after another, each
//          played for a moment, four rounds, as the desktop's media controls
//          open them: the resident memory after each round.
// The player runs in this process in a real window (steps, seeks) or as its
// own program (first); mpv through its JSON IPC, timed to its new position
// (forward steps) or its playback-restart event (seeks, backward steps).
// Usage: reelscope-player-bench steps|seeks|busy|end --ours|--mpv MOVIE
//        reelscope-player-bench reopen --ours MOVIE...
//        reelscope-player-bench first PROGRAM [ARGUMENTS...]

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "BenchWait.h"
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QProcess>
#include <QThread>
#include <QTimer>
#include <QEventLoop>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "app/CommandUi.h"
#include "app/MainFrame.h"
#include "app/MoviePlayerApp.h"

namespace {

constexpr int kSteps = 200;
constexpr int kSeeks = 20;
constexpr double kMiddleSeconds = 10.0;    // the generated movies are 20 s long or more
constexpr double kSeekSpanSeconds = 20.0;  // seeks go to places in the first 20 s

double Percentile(std::vector<double> v, double p)
{
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<std::size_t>(p * static_cast<double>(v.size() - 1) + 0.5))];
}

double MsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

long StatusKb(const QString& pid, const char* field)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly)) return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(field)) return line.mid(6).trimmed().split(' ').first().toLong();
    return 0;
}

void Report(const char* who, const char* what, const std::vector<double>& a, const std::vector<double>& b = {})
{
    std::printf("%-10s %s median %7.1f ms p95 %7.1f ms", who, what, Percentile(a, 0.5), Percentile(a, 0.95));
    if (!b.empty()) std::printf(" | backward median %7.1f ms p95 %7.1f ms", Percentile(b, 0.5), Percentile(b, 0.95));
    std::printf("\n");
}

// The same 20 places for both players, in seconds.
std::vector<double> SeekTargets(double seconds)
{
    std::mt19937 random(20261207);
    std::vector<double> targets;
    for (int i = 0; i < kSeeks; ++i) targets.push_back(std::uniform_real_distribution<double>(0.5, seconds - 0.5)(random));
    return targets;
}

int Reopen(const std::vector<QByteArray>& movies)
{
    app::MoviePlayerApp player;
    player.InitInstance({});
    engine::MovieEngine& engine = player.MainFrame()->View().Engine();
    double first = 0;
    for (int round = 1; round <= 4; ++round) {
        for (const QByteArray& movie : movies) {
            if (!player.OpenDocumentFile(movie)) return 1;
            const int at = engine.GetCurrentFrame();
            WaitUntil([&] { return engine.GetCurrentFrame() >= at + 10 || engine.IsAtEnd(); }, 5000);
        }
        const double mb = StatusKb(QStringLiteral("self"), "VmRSS:") / 1024.0;
        if (round == 1) first = mb;
        std::printf("reelscope  round %d: %6.1f MB resident (%+.1f %% of the first round)\n", round, mb,
                    100.0 * (mb - first) / first);
    }
    return 0;
}

int Ours(const QByteArray& movie, const std::string& mode)
{
    app::MoviePlayerApp player;
    player.InitInstance(movie);
    app::CMainFrame* frame = player.MainFrame();
    engine::MovieEngine& engine = frame->View().Engine();
    auto idle = [&] { return engine.GetPlayState() == engine::MovieEngine::Idle; };
    // From the request until the worker has shown the frame and the window
    // has painted it.
    auto shown = [&](const std::function<void()>& request) {
        const auto start = std::chrono::steady_clock::now();
        request();
        if (!WaitUntil(idle)) std::exit(1);
        QCoreApplication::processEvents();
        return MsSince(start);
    };
    auto frameAt = [&](double seconds) {
        return engine.FrameAtTime(static_cast<media::StreamTime>(seconds * media::kUnitsPerSecond));
    };
    if (mode == "end") {
        for (const char* when : {"at once", "once read"}) {
            if (std::string(when) == "once read") WaitUntil([] { return false; }, 30000);
            else WaitUntil([&] { return engine.GetCurrentFrame() > 0; });
            engine.Pause();
            const double end = shown([&] { frame->Commands().Execute(ID_GO_END); });
            shown([&] { frame->Commands().Execute(ID_GO_START); });
            const double group = shown([&] { engine.Seek(engine.GetLastFrame() - 5, engine::MovieEngine::SeekAndShow); });
            shown([&] { frame->Commands().Execute(ID_GO_START); });
            std::printf("reelscope  %-9s end %7.1f ms, into the last group %7.1f ms\n", when, end, group);
        }
        return 0;
    }
    if (mode == "busy") {
        // Twenty pauses and stops from play, a second apart; the command
        // returns once the worker has stopped, after which no picture moves.
        std::vector<double> pauses, stops, late;
        QElapsedTimer sinceTick;
        QTimer tick;
        QObject::connect(&tick, &QTimer::timeout, [&] {
            late.push_back(std::max(0.0, static_cast<double>(sinceTick.nsecsElapsed()) / 1e6 - 10.0));
            sinceTick.restart();
        });
        sinceTick.start();
        tick.start(10);
        for (int i = 0; i < kSteps / 10; ++i) {
            WaitUntil([] { return false; }, 1000);
            const auto start = std::chrono::steady_clock::now();
            frame->Commands().Execute(i % 2 ? ID_STOP : ID_PAUSE);
            (i % 2 ? stops : pauses).push_back(MsSince(start));
            if (engine.GetPlayState() != engine::MovieEngine::Idle) std::exit(1);
            frame->Commands().Execute(ID_PAUSE);  // plays on from there
        }
        Report("reelscope", "pause", pauses);
        Report("reelscope", "stop", stops);
        Report("reelscope", "timer late", late);
        std::printf("           worst: pause %.1f ms, stop %.1f ms, timer %.1f ms late\n",
                    *std::max_element(pauses.begin(), pauses.end()), *std::max_element(stops.begin(), stops.end()),
                    *std::max_element(late.begin(), late.end()));
        return 0;
    }
    engine.Pause();
    if (mode == "seeks") {
        std::vector<double> times;
        for (const double at : SeekTargets(kSeekSpanSeconds))
            times.push_back(shown([&] { engine.Seek(frameAt(at), engine::MovieEngine::SeekAndShow); }));
        Report("reelscope", "exact seek", times);
        return 0;
    }
    std::vector<double> times[2];
    for (const int id : {ID_STEP_FORWARD, ID_STEP_BACK}) {
        shown([&] { engine.Seek(frameAt(kMiddleSeconds), engine::MovieEngine::SeekAndShow); });
        for (int i = 0; i < kSteps; ++i) times[id == ID_STEP_BACK].push_back(shown([&] { frame->Commands().Execute(id); }));
    }
    Report("reelscope", "forward step", times[0], times[1]);
    std::printf("           peak resident %.0f MB", StatusKb(QStringLiteral("self"), "VmHWM:") / 1024.0);
    // What stepping keeps is let go once the movie plays again.
    engine.Play();
    WaitUntil([] { return false; }, 2000);
    std::printf(", %.0f MB after playing on for 2 s\n", StatusKb(QStringLiteral("self"), "VmRSS:") / 1024.0);
    return 0;
}

// One JSON line each way over mpv's IPC socket.
class MpvIpc {
public:
    bool Connect(const std::string& path)
    {
        for (int tries = 0; tries < 200; ++tries) {
            m_fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
            sockaddr_un addr{};
            addr.sun_family = AF_UNIX;
            std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", path.c_str());
            if (::connect(m_fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) return true;
            ::close(m_fd);
            QThread::msleep(20);
        }
        return false;
    }
    void Send(const std::string& json)
    {
        const std::string line = json + "\n";
        [[maybe_unused]] const ssize_t n = ::write(m_fd, line.data(), line.size());
    }
    // Reads lines until one contains `needle`; false after 20 s.
    bool WaitFor(const std::string& needle)
    {
        for (;;) {
            const auto newline = m_buffer.find('\n');
            if (newline != std::string::npos) {
                const std::string line = m_buffer.substr(0, newline);
                m_buffer.erase(0, newline + 1);
                if (line.find(needle) != std::string::npos) return true;
                continue;
            }
            pollfd p{m_fd, POLLIN, 0};
            if (::poll(&p, 1, 20000) <= 0) return false;
            char chunk[4096];
            const ssize_t n = ::read(m_fd, chunk, sizeof chunk);
            if (n <= 0) return false;
            m_buffer.append(chunk, static_cast<std::size_t>(n));
        }
    }

private:
    int m_fd = -1;
    std::string m_buffer;
};

int Mpv(const QString& movie, bool steps)
{
    const std::string socket = "/tmp/reelscope-player-bench-" + std::to_string(::getpid());
    QProcess mpv;
    mpv.start(QStringLiteral("mpv"), {QStringLiteral("--pause"), QStringLiteral("--idle=no"),
                                      QStringLiteral("--vo=x11"), QStringLiteral("--ao=null"),
                                      QStringLiteral("--hwdec=no"), QStringLiteral("--really-quiet"),
                                      QStringLiteral("--input-ipc-server=") + QString::fromStdString(socket), movie});
    MpvIpc ipc;
    if (!mpv.waitForStarted() || !ipc.Connect(socket)) return 1;
    ipc.Send(R"({"command":["observe_property",1,"time-pos"]})");
    auto seek = [&](double seconds) {
        ipc.Send(R"({"command":["seek",)" + std::to_string(seconds) + R"(,"absolute+exact"]})");
        return ipc.WaitFor("playback-restart");
    };
    if (!seek(kMiddleSeconds)) return 1;
    auto timed = [&](const std::string& command, const char* until) {
        const auto start = std::chrono::steady_clock::now();
        ipc.Send(command);
        if (!ipc.WaitFor(until)) std::exit(1);
        return MsSince(start);
    };
    if (!steps) {
        std::vector<double> times;
        for (const double at : SeekTargets(kSeekSpanSeconds))
            times.push_back(timed(R"({"command":["seek",)" + std::to_string(at) + R"(,"absolute+exact"]})",
                                  "playback-restart"));
        Report("mpv", "exact seek", times);
    } else {
        std::vector<double> times[2];
        for (const bool back : {false, true}) {
            if (!seek(kMiddleSeconds)) return 1;
            for (int i = 0; i < kSteps; ++i)
                times[back].push_back(back ? timed(R"({"command":["frame-back-step"]})", "playback-restart")
                                           : timed(R"({"command":["frame-step"]})", "\"time-pos\""));
        }
        Report("mpv", "forward step", times[0], times[1]);
        std::printf("           peak resident %.0f MB\n", StatusKb(QString::number(mpv.processId()), "VmHWM:") / 1024.0);
    }
    ipc.Send(R"({"command":["quit"]})");
    mpv.waitForFinished();
    return 0;
}

// Starts the program and watches a patch of the screen inside where either
// player shows the picture (mpv at the top-left corner, the player below its
// menu and toolbar) until it shows neither black nor a window's grey.
int FirstPicture(const QString& program, const QStringList& arguments)
{
    const QRect patch(160, 320, 24, 24);
    QScreen* screen = QGuiApplication::primaryScreen();
    auto showsPicture = [&] {
        const QImage image = screen->grabWindow(0, patch.x(), patch.y(), patch.width(), patch.height()).toImage();
        long sum[3] = {};
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) {
                const QRgb p = image.pixel(x, y);
                sum[0] += qRed(p), sum[1] += qGreen(p), sum[2] += qBlue(p);
            }
        const long n = std::max(1LL, static_cast<long long>(image.width()) * image.height());
        const long r = sum[0] / n, g = sum[1] / n, b = sum[2] / n;
        const bool black = r + g + b < 60;
        const bool grey = std::abs(r - g) < 8 && std::abs(g - b) < 8 && r > 150;
        return !black && !grey;
    };
    if (showsPicture()) {
        std::fprintf(stderr, "the patch already shows a picture before the start\n");
        return 1;
    }
    QProcess player;
    const auto start = std::chrono::steady_clock::now();
    player.start(program, arguments);
    if (!player.waitForStarted()) return 1;
    while (!showsPicture()) {
        if (MsSince(start) > 20000) return 1;
    }
    std::printf("%-10s first picture %7.1f ms\n", QFileInfo(program).fileName().toLocal8Bit().constData(),
                MsSince(start));
    player.terminate();
    player.waitForFinished();
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s steps|seeks|busy|end --ours|--mpv MOVIE | first PROGRAM [ARGUMENTS...]\n", argv[0]);
        return 2;
    }
    const std::string mode = argv[1];
    int qtArgc = 1;
    QApplication application(qtArgc, argv);
    if (mode == "first") {
        QStringList arguments;
        for (int i = 3; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
        return FirstPicture(QString::fromLocal8Bit(argv[2]), arguments);
    }
    if (argc < 4) return 2;
    if (mode == "reopen") {
        std::vector<QByteArray> movies(argv + 3, argv + argc);
        return Reopen(movies);
    }
    const QByteArray movie = argv[3];
    return std::string(argv[2]) == "--ours" ? Ours(movie, mode) : Mpv(QString::fromLocal8Bit(movie), mode == "steps");
}
