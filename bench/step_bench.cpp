// Stepping frame by frame, forward and backward, from the middle of a
// movie: the time from the request to the frame shown in the window, 200
// steps each way, and the peak resident memory. Either the player itself
// (in this process, in a real window), or mpv through its JSON IPC, timed to
// the frame shown (forward: its new position; backward: playback-restart).
// Usage: reelscope-step-bench --ours MOVIE | --mpv MOVIE

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QThread>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "app/CommandUi.h"
#include "app/MainFrame.h"
#include "app/MoviePlayerApp.h"

namespace {

constexpr int kSteps = 200;
constexpr double kMiddleSeconds = 10.0;  // the generated movies are 20 s long

double Percentile(std::vector<double> v, double p)
{
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<std::size_t>(p * static_cast<double>(v.size() - 1) + 0.5))];
}

long StatusKb(const QString& pid, const char* field)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly)) return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(field)) return line.mid(6).trimmed().split(' ').first().toLong();
    return 0;
}

long PeakKb(const QString& pid)
{
    return StatusKb(pid, "VmHWM:");
}

long ResidentKb()
{
    return StatusKb(QStringLiteral("self"), "VmRSS:");
}

void Report(const char* who, const std::vector<double>& forward, const std::vector<double>& backward, long peakKb)
{
    std::printf("%-10s forward median %6.1f ms p95 %6.1f ms | backward median %6.1f ms p95 %6.1f ms | peak %5.0f MB\n",
                who, Percentile(forward, 0.5), Percentile(forward, 0.95), Percentile(backward, 0.5),
                Percentile(backward, 0.95), peakKb / 1024.0);
}

bool WaitUntil(const std::function<bool()>& done, int ms = 20000)
{
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    }
    return true;
}

int Ours(const QByteArray& movie)
{
    app::MoviePlayerApp player;
    player.InitInstance(movie);
    app::CMainFrame* frame = player.MainFrame();
    engine::MovieEngine& engine = frame->View().Engine();
    auto idle = [&] { return engine.GetPlayState() == engine::MovieEngine::Idle; };
    std::vector<double> times[2];
    for (const int id : {ID_STEP_FORWARD, ID_STEP_BACK}) {
        engine.Pause();
        engine.Seek(engine.FrameAtTime(static_cast<media::StreamTime>(kMiddleSeconds * media::kUnitsPerSecond)),
                    engine::MovieEngine::SeekAndShow);
        if (!WaitUntil(idle)) return 1;
        for (int i = 0; i < kSteps; ++i) {
            const auto start = std::chrono::steady_clock::now();
            frame->Commands().Execute(id);
            if (!WaitUntil(idle)) return 1;
            QCoreApplication::processEvents();  // the paint that shows it
            times[id == ID_STEP_BACK].push_back(
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
        }
    }
    Report("reelscope", times[0], times[1], PeakKb(QStringLiteral("self")));
    // What stepping keeps is let go once the movie plays again.
    engine.Play();
    WaitUntil([] { return false; }, 2000);
    std::printf("           resident after playing on for 2 s: %.0f MB\n", ResidentKb() / 1024.0);
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

int Mpv(const QString& movie)
{
    const std::string socket = "/tmp/reelscope-step-bench-" + std::to_string(::getpid());
    QProcess mpv;
    mpv.start(QStringLiteral("mpv"), {QStringLiteral("--pause"), QStringLiteral("--idle=no"),
                                      QStringLiteral("--vo=x11"), QStringLiteral("--ao=null"),
                                      QStringLiteral("--hwdec=no"), QStringLiteral("--really-quiet"),
                                      QStringLiteral("--input-ipc-server=") + QString::fromStdString(socket), movie});
    MpvIpc ipc;
    if (!mpv.waitForStarted() || !ipc.Connect(socket)) return 1;
    ipc.Send(R"({"command":["observe_property",1,"time-pos"]})");
    std::vector<double> times[2];
    for (const bool back : {false, true}) {
        ipc.Send(R"({"command":["seek",)" + std::to_string(kMiddleSeconds) + R"(,"absolute+exact"]})");
        if (!ipc.WaitFor("playback-restart")) return 1;
        for (int i = 0; i < kSteps; ++i) {
            const auto start = std::chrono::steady_clock::now();
            ipc.Send(back ? R"({"command":["frame-back-step"]})" : R"({"command":["frame-step"]})");
            if (!ipc.WaitFor(back ? "playback-restart" : "\"time-pos\"")) return 1;
            times[back].push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
        }
    }
    const long peak = PeakKb(QString::number(mpv.processId()));
    ipc.Send(R"({"command":["quit"]})");
    mpv.waitForFinished();
    Report("mpv", times[0], times[1], peak);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s --ours MOVIE | --mpv MOVIE\n", argv[0]);
        return 2;
    }
    const std::string mode = argv[1];
    const QByteArray movie = argv[2];
    int qtArgc = 1;
    QApplication application(qtArgc, argv);
    return mode == "--ours" ? Ours(movie) : Mpv(QString::fromLocal8Bit(movie));
}
