// Reelscope: a single-window movie player.

#include <QApplication>
#include <QSocketNotifier>
#include <csignal>
#include <cstdlib>
#include <sys/socket.h>
#include <unistd.h>

#include "app/MainFrame.h"
#include "app/MoviePlayerApp.h"

namespace {

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
    // On Wayland a window can neither keep itself on top nor place itself,
    // which the always-on-top switch and the frame's fitting need: where X11
    // is there too (XWayland), it is preferred.
    if (!std::getenv("QT_QPA_PLATFORM") && std::getenv("WAYLAND_DISPLAY") && std::getenv("DISPLAY"))
        ::setenv("QT_QPA_PLATFORM", "xcb", 1);

    // Taken before Qt sees the arguments: Qt removes the ones it knows, and a
    // movie may be named like one of them.
    const QByteArray commandLine = app::MoviePlayerApp::CommandLineTail(argc, argv);
    QApplication application(argc, argv);
    QuitCleanlyOnSignals(application);
    app::MoviePlayerApp player;
    player.InitInstance(commandLine);
    return application.exec();
}
