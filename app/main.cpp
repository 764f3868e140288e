// Reelscope: a single-window movie player.

#include <QApplication>
#include <cstdlib>

#include "app/MainFrame.h"
#include "app/MoviePlayerApp.h"

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
    app::MoviePlayerApp player;
    player.InitInstance(commandLine);
    return application.exec();
}
