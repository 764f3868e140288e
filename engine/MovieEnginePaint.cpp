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

bool MovieEngine::DrawFrame(QPainter& dc, const Rect& rect)
{
    const Rect r = rect;
    const int dw = r.Width();
    const int dh = r.Height();
    if (!m_pFrame[1] || !m_bFrameReady) return false;
    const int mw = m_rcMovie.Width();
    const int mh = m_rcMovie.Height();

    // At the movie's own size the painter copies the kept frame straight
    // from its surface, under the lock, as the surface blit would have.
    if (dw == mw && dh == mh) {
        std::lock_guard lock(m_semSurface);
        const QImage kept = m_pFrame[0] ? m_pFrame[0]->Image() : QImage();
        if (kept.isNull()) return false;
        dc.drawImage(QPoint(r.left, r.top), kept, ToQRect(m_rcMovie));
        return true;
    }
    // Smaller in both directions: the surface blit shrinks the frame to the
    // destination's size and the painter copies it. Larger in either
    // direction: the blit copies it 1:1 and the painter stretches.
    const bool copy = dw <= mw && dh <= mh;
    const Rect scratch = copy ? Rect{m_rcMovie.left, m_rcMovie.top, dw, dh} : m_rcMovie;
    // The scratch surface grows to the largest picture drawn: a thumbnail
    // costs a thumbnail's memory, not a frame's.
    if (!Covers(m_pFrame[1], scratch)) {
        draw::SurfaceDesc desc;
        m_pFrame[1]->GetSurfaceDesc(desc);
        desc.width = std::max(desc.width, scratch.Width());
        desc.height = std::max(desc.height, scratch.Height());
        std::shared_ptr<draw::Surface> grown;
        if (!m_pDD3 || media::Failed(m_pDD3->CreateSurface(desc, grown))) return false;
        m_pFrame[1] = grown;
    }
    media::Result blit;
    {
        // Held for this one blit only; the worker trades the kept frame's
        // surface under it.
        std::lock_guard lock(m_semSurface);
        if (!m_pFrame[0]) return false;
        blit = m_pFrame[1]->Blt(&scratch, m_pFrame[0].get(), &m_rcMovie, draw::kBltWait);
    }
    if (media::Failed(blit)) return false;
    const QImage image = m_pFrame[1]->Image();
    if (image.isNull()) return false;
    if (copy) {
        dc.drawImage(QPoint(r.left, r.top), image, QRect(0, 0, dw, dh));
    } else {
        dc.save();
        dc.setRenderHint(QPainter::SmoothPixmapTransform);
        dc.drawImage(QRect(r.left, r.top, dw, dh), image, QRect(0, 0, mw, mh));
        dc.restore();
    }
    return true;
}

bool MovieEngine::RestoreFrame(const QImage& source, const Rect& rect)
{
    if (!m_pFrame[0] || !m_bFrameReady) return false;
    QPainter* dc = nullptr;
    if (media::Failed(m_pFrame[0]->GetDC(dc))) return false;
    dc->setRenderHint(QPainter::SmoothPixmapTransform);
    dc->drawImage(ToQRect(m_rcMovie), source, ToQRect(rect));
    m_pFrame[0]->ReleaseDC(dc);
    if (!m_pPrimary) return false;
    const Rect screen = ScreenRect();
    return media::Succeeded(m_pPrimary->Blt(&screen, m_pFrame[0].get(), &m_rcMovie, draw::kBltWait));
}

void MovieEngine::RefreshPicture()
{
    // A running worker shows the change with its next picture.
    if (!MovieOpen() || !m_bFrameReady || m_nPlayState != Idle || !m_pPrimary || !m_pFrame[0]) return;
    if (m_pDDStream->RenderShown(m_pFrame[0]->Pixels(), m_rcMovie, true) != media::kOk) return;
    const Rect screen = ScreenRect();
    m_pPrimary->Blt(&screen, m_pFrame[0].get(), &m_rcMovie, draw::kBltWait);
}

QImage MovieEngine::KeptFrame()
{
    std::lock_guard lock(m_semSurface);
    if (!m_pFrame[0] || !m_bFrameReady) return {};
    return m_pFrame[0]->Image().copy(ToQRect(m_rcMovie));
}

void MovieEngine::OnPaint(QPainter& dc, const QRect& invalid)
{
    const Rect client{0, 0, width(), height()};
    if (DrawFrame(dc, client)) return;
    dc.fillRect(invalid, Qt::black);
    const QImage idle(QString::fromLatin1(kIdlePicture));
    // Centred at its natural size; the halvings truncate toward zero.
    const int x = ((client.right - idle.width()) - client.left) / 2;
    const int y = ((client.bottom - client.top) - idle.height()) / 2;
    dc.drawImage(QPoint(x, y), idle);
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
}

}  // namespace engine
