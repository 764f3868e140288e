// Showing the kept frame: drawing it into any painter at any size, writing
// a picture back, the window's own paint with the idle picture, and sizing
// the window to the movie.

#include <QImage>
#include <QMoveEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QResizeEvent>

#include "engine/MovieEngine.h"

namespace engine {
namespace {

// Shown while there is no frame: the program's emblem above its name.
const char* const kIdlePicture = ":/reelscope/idle.xpm";

}  // namespace

bool MovieEngine::Render(const Rect& rect, bool overlay)
{
    // The scratch surface grows to the largest picture made: a thumbnail
    // costs a thumbnail's memory, not a frame's.
    const Rect size{0, 0, rect.Width(), rect.Height()};
    if (!m_pFrame[1] || size.Width() <= 0 || size.Height() <= 0) return false;
    if (!Covers(m_pFrame[1], size)) {
        draw::SurfaceDesc desc;
        m_pFrame[1]->GetSurfaceDesc(desc);
        desc.width = std::max(desc.width, size.Width());
        desc.height = std::max(desc.height, size.Height());
        std::shared_ptr<draw::Surface> grown;
        if (!m_pDD3 || media::Failed(m_pDD3->CreateSurface(desc, grown))) return false;
        m_pFrame[1] = grown;
    }
    return m_pDDStream->RenderShown(m_pFrame[1]->Pixels(), size, overlay) == media::kOk;
}

bool MovieEngine::DrawFrame(QPainter& dc, const Rect& rect)
{
    // The movie's own picture (no subtitles: the strip and the clipboard
    // take it), made anew from the decoded picture at the size asked for.
    if (!MovieOpen() || !m_bFrameReady || !Render(rect, false)) return false;
    dc.drawImage(QPoint(rect.left, rect.top), m_pFrame[1]->Image(), QRect(0, 0, rect.Width(), rect.Height()));
    return true;
}

bool MovieEngine::RestoreFrame(const QImage& source, const Rect& rect)
{
    if (!m_pFrame[0] || !m_bFrameReady) return false;
    QPainter* dc = nullptr;
    if (media::Failed(m_pFrame[0]->GetDC(dc))) return false;
    dc->setRenderHint(QPainter::SmoothPixmapTransform);
    dc->drawImage(ToQRect(m_rcDrawn), source, ToQRect(rect));
    m_pFrame[0]->ReleaseDC(dc);
    if (!m_pPrimary) return false;
    const Rect screen = ScreenRect();
    return media::Succeeded(m_pPrimary->Blt(&screen, m_pFrame[0].get(), &m_rcDrawn, draw::kBltWait));
}

bool MovieEngine::ShowPictureAnew()
{
    if (!MovieOpen() || !m_bFrameReady || !m_pPrimary || !m_pFrame[0]) return false;
    {
        std::lock_guard lock(m_semSurface);
        if (m_pDDStream->RenderShown(m_pFrame[0]->Pixels(), m_rcDrawn, true) != media::kOk) return false;
    }
    const Rect screen = ScreenRect();
    return media::Succeeded(m_pPrimary->Blt(&screen, m_pFrame[0].get(), &m_rcDrawn, draw::kBltWait));
}

void MovieEngine::RefreshPicture()
{
    // A running worker shows the change with its next picture.
    if (m_nPlayState == Idle) ShowPictureAnew();
}

QImage MovieEngine::KeptFrame()
{
    std::lock_guard lock(m_semSurface);
    if (!m_pFrame[0] || !m_bFrameReady) return {};
    return m_pFrame[0]->Image().copy(ToQRect(m_rcDrawn));
}

void MovieEngine::OnPaint(QPainter& dc, const QRect& invalid)
{
    const Rect client{0, 0, width(), height()};
    if (PaintPicture(dc)) return;
    dc.fillRect(invalid, Qt::black);
    const QImage idle(QString::fromLatin1(kIdlePicture));
    // Centred at its natural size; the halvings truncate toward zero.
    const int x = ((client.right - idle.width()) - client.left) / 2;
    const int y = ((client.bottom - client.top) - idle.height()) / 2;
    dc.drawImage(QPoint(x, y), idle);
}

bool MovieEngine::PaintPicture(QPainter& dc)
{
    // What the worker made, when it is this window's size (subtitles and
    // all); otherwise the picture standing made anew at the window's size.
    if (!MovieOpen() || !m_bFrameReady) return false;
    const QRectF window(0, 0, width(), height());
    const Rect device = DrawnRect();
    {
        std::lock_guard lock(m_semSurface);
        if (m_pFrame[0] && m_rcDrawn == device) {
            dc.drawImage(window, m_pFrame[0]->Image(), ToQRect(m_rcDrawn));
            return true;
        }
    }
    if (!Render(device, true)) return false;
    dc.drawImage(window, m_pFrame[1]->Image(), ToQRect(device));
    return true;
}

void MovieEngine::paintEvent(QPaintEvent* event)
{
    m_screen.Paint(event, [this](QPainter& dc, const QRect& invalid) { OnPaint(dc, invalid); });
}

void MovieEngine::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    UpdateScreenRect();
}

void MovieEngine::moveEvent(QMoveEvent* event)
{
    QWidget::moveEvent(event);
    UpdateScreenRect();
}

void MovieEngine::SetSizePercent(int percent)
{
    if (!MovieOpen()) return;
    SetFullScreen(false);
    const int width = percent * m_rcMovie.Width() / 100;
    const int height = percent * m_rcMovie.Height() / 100;
    resize(width, height);  // the position stays
    show();
    raise();
    UpdateScreenRect();
    RebindToScreen();  // at once: no picture of the old size in between
}

}  // namespace engine
