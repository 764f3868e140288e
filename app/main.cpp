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
#include "engine/Notifier.h"
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
// A quit signal has come: the program ends as soon as what runs now has
// given control back. Interface thread only.
bool g_quitting = false;

void OnQuitSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[1], &byte, 1);
}

// Nothing more is shown once the program is ending.
class Silence final : public engine::Notifier {
public:
    void Show(const QString&) override {}
};

// SIGINT and SIGTERM end the program the way closing its window does: the
// windows go, the workers stop, the sound device closes, whatever is up at
// the time (a message box, a dialog, full screen), even before the main
// loop has started. The handler only writes a byte; the event loop does
// the rest.
void QuitCleanlyOnSignals(QApplication& application)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalPipe) != 0) return;
    auto* notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, &application);
    QObject::connect(notifier, &QSocketNotifier::activated, &application, [] {
        char byte = 0;
        [[maybe_unused]] const ssize_t n = ::read(g_signalPipe[0], &byte, 1);  // or it wakes the loop for ever
        if (g_quitting) return;
        g_quitting = true;
        static Silence silence;
        engine::SetNotifier(&silence);
        QApplication::closeAllWindows();
        // Every loop that runs now ends, a modal box's or dialog's too.
        QCoreApplication::exit(0);
    });
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
    // A signal under a message box of the start-up: done before the loop.
    if (g_quitting) return 0;
    return application.exec();
}
