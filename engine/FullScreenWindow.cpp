#include "engine/FullScreenWindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QMouseEvent>
#include <QWheelEvent>
#include <QPainter>
#include <QScreen>

#include "engine/MainWindowLink.h"
#include "engine/Taskbar.h"
#include "resources/CommandIds.h"

namespace engine {
namespace {

Taskbar* g_taskbar = nullptr;

}  // namespace

Taskbar* GetTaskbar()
{
    return g_taskbar;
}

void SetTaskbar(Taskbar* taskbar)
{
    g_taskbar = taskbar;
}

FullScreenWindow::FullScreenWindow(QWidget* owner)
    : QWidget(owner, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint), m_screen(this)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    // No pointer shape of its own: the pointer stays as it is.
}

FullScreenWindow::~FullScreenWindow()
{
    // The window is gone with this object: bring the taskbar back.
    HideTaskbar(false);
}

bool FullScreenWindow::Create(const QRect& geometry)
{
    HideTaskbar(true);
    if (QScreen* primary = QGuiApplication::primaryScreen()) setScreen(primary);
    setGeometry(geometry);
    // The player's keys act here as in the main window.
    if (MainWindowLink* link = GetMainWindowLink()) link->BindKeys(this);
    showFullScreen();
    activateWindow();  // the keys go where the picture is
    m_screen.SyncGeometry();
    return isVisible();
}

void FullScreenWindow::Dispose()
{
    HideTaskbar(false);
    hide();
    if (m_nLoops == 0) {
        deleteLater();
        return;
    }
    // Its context menu is up: closed now, and the window deleted when the
    // handler that opened it has returned (see mousePressEvent).
    m_bDisposed = true;
    while (QWidget* popup = QApplication::activePopupWidget()) popup->close();
}

bool FullScreenWindow::HideTaskbar(bool hide)
{
    Taskbar* taskbar = GetTaskbar();
    if (!taskbar || !taskbar->Exists()) return false;
    if (hide) {
        m_bTaskbarHidden = taskbar->Show(false);
        return m_bTaskbarHidden;
    }
    // A taskbar that was hidden before full screen stays hidden after it.
    // Shown once: the engine brings it back as it takes the window away,
    // before the object itself goes.
    if (!m_bTaskbarHidden) return false;
    m_bTaskbarHidden = false;
    return taskbar->Show(true);
}

void FullScreenWindow::mousePressEvent(QMouseEvent* event)
{
    MainWindowLink* link = GetMainWindowLink();
    if (event->button() == Qt::LeftButton) {
        // Posted: the switch destroys this window, so it must not run inside
        // this window's own handler.
        if (link) link->PostCommand(ID_FULL_SCREEN);
    } else if (event->button() == Qt::RightButton && link) {
        ++m_nLoops;
        link->ShowContextMenu(event->globalPosition().toPoint());
        --m_nLoops;
        if (m_bDisposed) {
            // Full screen ended while the menu was up: this is the outermost
            // of this window's handlers, and the loop below it deletes it.
            if (m_nLoops == 0) deleteLater();
            return;
        }
    }
    QWidget::mousePressEvent(event);
}

void FullScreenWindow::closeEvent(QCloseEvent* event)
{
    // Closed by the window manager (Alt+F4): leave full screen the way the
    // full-screen command does, which takes this window away.
    event->ignore();
    if (MainWindowLink* link = GetMainWindowLink()) link->PostCommand(ID_FULL_SCREEN);
}

void FullScreenWindow::wheelEvent(QWheelEvent* event)
{
    // The volume, as the wheel over the picture in the window turns it.
    MainWindowLink* link = GetMainWindowLink();
    if (link && event->angleDelta().y() != 0) link->PostCommand(event->angleDelta().y() > 0 ? ID_VOLUME_UP : ID_VOLUME_DOWN);
    event->accept();
}

void FullScreenWindow::paintEvent(QPaintEvent* event)
{
    m_screen.Paint(event, [](QPainter& dc, const QRect& invalid) { dc.fillRect(invalid, Qt::black); });
}

void FullScreenWindow::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    m_screen.SyncGeometry();
}

void FullScreenWindow::moveEvent(QMoveEvent* event)
{
    QWidget::moveEvent(event);
    m_screen.SyncGeometry();
}

}  // namespace engine
