#include "engine/ScreenTarget.h"

#include <QCoreApplication>
#include <QEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QWidget>
#include <algorithm>
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
    const QSize size(std::max(screen.Width(), 0), std::max(screen.Height(), 0));
    std::lock_guard lock(m_mutex);
    m_origin = QPoint(screen.left, screen.top);
    if (size != m_size || ratio != m_ratio) {
        // Everything is painted anew at the new size.
        m_size = size;
        m_ratio = ratio;
        m_pixels.Release();
        m_direct = {};
        m_invalid = QRegion(m_window->rect());
    }
}

bool ScreenTarget::EnsurePixels()
{
    if (!m_pixels.IsNull()) return true;
    if (m_size.isEmpty() || !m_pixels.Allocate(m_size.width(), m_size.height())) return false;
    m_pixels.Image().setDevicePixelRatio(m_ratio);
    if (m_direct.bits) {
        const engine::Rect whole{0, 0, m_size.width(), m_size.height()};
        media::ImageScaler copier;
        copier.Blit(m_pixels.Buffer(), whole, m_direct, whole);
        m_direct = {};
    }
    return true;
}

QImage ScreenTarget::Shown()
{
    if (!m_direct.bits) return m_pixels.Image();
    QImage direct(m_direct.bits, m_direct.width, m_direct.height, m_direct.stride, QImage::Format_RGB32);
    direct.setDevicePixelRatio(m_ratio);
    return direct;
}

void ScreenTarget::DropSource()
{
    std::lock_guard lock(m_mutex);
    if (m_direct.bits) EnsurePixels();
    m_direct = {};
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
    if (m_size.isEmpty()) return;
    if (!own.isEmpty()) {
        if (!EnsurePixels()) return;
        QPainter painter(&m_pixels.Image());
        painter.setClipRegion(own);
        paintOwn(painter, own.boundingRect());
    }
    const QImage shown = Shown();
    if (shown.isNull()) return;
    QPainter window(m_window);
    for (const QRect& r : event->region())
        window.drawImage(QRectF(r), shown, QRectF(QPointF(r.topLeft()) * m_ratio, QSizeF(r.size()) * m_ratio));
}

QImage ScreenTarget::Snapshot()
{
    std::lock_guard lock(m_mutex);
    return Shown().copy();
}

bool ScreenTarget::Present(const engine::Rect& screenRect, const media::PixelBuffer& src,
                           const engine::Rect& srcRect, media::ImageScaler& scaler)
{
    std::lock_guard lock(m_mutex);
    const QRect window(QPoint(0, 0), m_size);
    const QRect local = engine::ToQRect(screenRect).translated(-m_origin);
    const QRect visible = local.intersected(window);
    bool ok = true;
    if (visible.isEmpty()) {
        // Nothing of it is on screen; what was shown as it lay is kept, as
        // its surface is about to be written again.
        if (m_direct.bits) ok = EnsurePixels();
        return ok;
    }
    if (local == window && srcRect.Width() == local.width() && srcRect.Height() == local.height()) {
        m_direct = media::PixelBuffer{src.bits + static_cast<std::ptrdiff_t>(srcRect.top) * src.stride + srcRect.left * 4,
                                      src.stride, srcRect.Width(), srcRect.Height()};
        m_pixels.Release();
    } else if (!EnsurePixels()) {
        return false;
    } else if (visible == local) {
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
