// Reelscope: a single-window movie player.

#include <QApplication>
#include <QSocketNotifier>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/socket.h>
#include <unistd.h>

#include "app/MainFrame.h"
#include "app/MoviePlayerApp.h"
#include "resources/UiResources.h"

namespace {

constexpr const char* kUsage =
    "Usage: reelscope [--] [MOVIE]\n"
    "Plays MOVIE in a window, or opens the window without a movie.\n"
    "Everything after the program's name is the movie's path: several\n"
    "arguments are one path, joined by single spaces.\n"
    "\n"
    "  --help     show this help and exit\n"
    "  --version  show the version and exit\n"
    "  --         end of options: what follows is the path, even \"--help\"\n";

int g_signalPipe[2] = {-1, -1};

void OnQuitSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[1], &byte, 1);
}

// SIGINT and SIGTERM end the program the way closing its window does: the
// window goes, the workers stop, the sound device closes. The handler only
// writes a byte; the event loop does the rest.
void QuitCleanlyOnSignals(QApplication& application)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalPipe) != 0) return;
    auto* notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, &application);
    QObject::connect(notifier, &QSocketNotifier::activated, &application, [] { QApplication::closeAllWindows(); });
    struct sigaction action {};
    action.sa_handler = OnQuitSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
}

}  // namespace

int main(int argc, char** argv)
{
    // Answered before Qt starts: they need no display, and print where a
    // terminal reads them.
    if (argc > 1 && std::strcmp(argv[1], "--help") == 0) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (argc > 1 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("%s %s\n", ui::kAppName, REELSCOPE_VERSION);
        return 0;
    }

    // On Wayland a window can neither keep itself on top nor place itself,
    // which the always-on-top switch and the frame's fitting need: where X11
    // is there too (XWayland), it is preferred.
    if (!std::getenv("QT_QPA_PLATFORM") && std::getenv("WAYLAND_DISPLAY") && std::getenv("DISPLAY"))
        ::setenv("QT_QPA_PLATFORM", "xcb", 1);

    // Every argument is the movie's: Qt sees none of them, or it would take
    // a movie named like one of its own options (-reverse, -style) for one.
    const QByteArray commandLine = app::MoviePlayerApp::CommandLineTail(argc, argv);
    int qtArgc = 1;
    QApplication application(qtArgc, argv);
    QuitCleanlyOnSignals(application);
    app::MoviePlayerApp player;
    player.InitInstance(commandLine);
    return application.exec();
}
