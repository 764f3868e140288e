#pragma once
// The borderless, top-most window over the whole primary display while full
// screen is on. It has no picture of its own: the engine blits the movie
// into its letter box, and it paints black wherever it has to paint, which
// gives the bars. A left click leaves full screen (through a posted
// command), a right click opens the player's context menu.

#include <QWidget>

#include "engine/ScreenTarget.h"

namespace engine {

class FullScreenWindow : public QWidget {
public:
    explicit FullScreenWindow(QWidget* owner);
    ~FullScreenWindow() override;

    // Hides the taskbar, then shows the window over the primary display,
    // whose place among the screens is `geometry`, in the window manager's
    // full-screen state.
    bool Create(const QRect& geometry);
    // Answers whether the taskbar was visible before when hiding; the
    // platform's answer to showing it again, or false when nothing was done.
    bool HideTaskbar(bool hide);
    // Takes the window away: hidden and the taskbar back at once, a menu it
    // opened closed. The object goes once no handler of its own that runs an
    // event loop (its context menu) is on the stack any more; commands run
    // inside that loop, and one may be what ends full screen.
    void Dispose();

    draw::ScreenTarget& Target() { return m_screen; }

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void moveEvent(QMoveEvent* event) override;

private:
    bool m_bTaskbarHidden = false;  // this window hid a taskbar that was visible
    int m_nLoops = 0;                // handlers of this window running an event loop now
    bool m_bDisposed = false;        // to go once they have returned
    draw::ScreenTarget m_screen;
};

}  // namespace engine
