#include "engine/ScreenTarget.h"

#include <QCoreApplication>
#include <QEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QWidget>
#include <cmath>

namespace draw {
namespace {

const QEvent::Type kPresentedEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

}  // namespace

ScreenTarget::ScreenTarget(QWidget* window) : QObject(window), m_window(window) {}

engine::Rect ScreenTarget::ScreenRect() const
{
    const qreal ratio = m_window->devicePixelRatioF();
    const QPoint origin = m_window->mapToGlobal(QPoint(0, 0)) * ratio;
    const QSize size = m_window->size() * ratio;
    return engine::Rect{origin.x(), origin.y(), origin.x() + size.width(), origin.y() + size.height()};
}

void ScreenTarget::SyncGeometry()
{
    const engine::Rect screen = ScreenRect();
    const qreal ratio = m_window->devicePixelRatioF();
    std::lock_guard lock(m_mutex);
    m_origin = QPoint(screen.left, screen.top);
    if (screen.Width() != m_pixels.Width() || screen.Height() != m_pixels.Height() || ratio != m_ratio) {
        if (screen.Width() <= 0 || screen.Height() <= 0)
            m_pixels.Release();
        else
            m_pixels.Allocate(screen.Width(), screen.Height());
        m_pixels.Image().setDevicePixelRatio(ratio);
        m_ratio = ratio;
        m_invalid = QRegion(m_window->rect());
    }
}

void ScreenTarget::ValidateScreen(const engine::Rect& screen)
{
    // Only whole window units inside it: a unit half over a bar is still
    // the window's to blacken.
    const QRect device = engine::ToQRect(screen).translated(-m_origin);
    const QPoint topLeft(int(std::ceil(device.left() / m_ratio)), int(std::ceil(device.top() / m_ratio)));
    const QPoint end(int(std::floor((device.left() + device.width()) / m_ratio)),
                     int(std::floor((device.top() + device.height()) / m_ratio)));
    Validate(QRect(topLeft, QSize(end.x() - topLeft.x(), end.y() - topLeft.y())));
}

void ScreenTarget::Invalidate(const QRect& local)
{
    m_invalid += local;
    m_window->update(local);
}

void ScreenTarget::Validate(const QRect& local)
{
    m_invalid -= local;
}

void ScreenTarget::Paint(QPaintEvent* event, const std::function<void(QPainter&, const QRect&)>& paintOwn)
{
    const QRegion own = m_invalid.intersected(event->region());
    m_invalid -= own;
    std::lock_guard lock(m_mutex);
    if (m_pixels.IsNull()) return;
    if (!own.isEmpty()) {
        QPainter painter(&m_pixels.Image());
        painter.setClipRegion(own);
        paintOwn(painter, own.boundingRect());
    }
    QPainter window(m_window);
    for (const QRect& r : event->region())
        window.drawImage(QRectF(r), m_pixels.Image(), QRectF(QPointF(r.topLeft()) * m_ratio, QSizeF(r.size()) * m_ratio));
}

QImage ScreenTarget::Snapshot()
{
    std::lock_guard lock(m_mutex);
    return m_pixels.Image().copy();
}

bool ScreenTarget::Present(const engine::Rect& screenRect, const media::PixelBuffer& src,
                           const engine::Rect& srcRect, media::ImageScaler& scaler)
{
    std::lock_guard lock(m_mutex);
    if (m_pixels.IsNull()) return true;  // nothing of the window is on screen
    const QRect local = engine::ToQRect(screenRect).translated(-m_origin);
    const QRect visible = local.intersected(QRect(0, 0, m_pixels.Width(), m_pixels.Height()));
    if (visible.isEmpty()) return true;
    bool ok;
    if (visible == local) {
        ok = scaler.Blit(m_pixels.Buffer(), engine::FromQRect(local), src, srcRect);
    } else {
        // The frame goes partly off the window: stretch it whole, show the part.
        if (m_scratch.Width() < local.width() || m_scratch.Height() < local.height())
            m_scratch.Allocate(local.width(), local.height());
        const engine::Rect whole{0, 0, local.width(), local.height()};
        ok = !m_scratch.IsNull() && scaler.Blit(m_scratch.Buffer(), whole, src, srcRect) &&
             scaler.Blit(m_pixels.Buffer(), engine::FromQRect(visible), m_scratch.Buffer(),
                         engine::FromQRect(visible.translated(-local.topLeft())));
    }
    m_presented |= visible;
    if (!m_requestPending) {
        m_requestPending = true;
        QCoreApplication::postEvent(this, new QEvent(kPresentedEvent));
    }
    return ok;
}

void ScreenTarget::customEvent(QEvent* event)
{
    if (event->type() != kPresentedEvent) return;
    QRect presented;
    {
        std::lock_guard lock(m_mutex);
        presented = m_presented;
        m_presented = QRect();
        m_requestPending = false;
    }
    m_window->update(presented);
}

}  // namespace draw
