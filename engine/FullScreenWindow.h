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
    draw::ScreenTarget m_screen;
};

}  // namespace engine
