// The thumbnail strip: a film-strip band along the bottom of the view that
// fills in with the frames shown, one slot per share of the movie.

#include <QPainter>

#include "view/PlayerView.h"

namespace view {
namespace {

const QColor kSprocket(128, 128, 128);
const QColor kCurrentSlot(255, 0, 0);
const QColor kMarker(255, 127, 0);

QRect StripRect(int slotX, const StripGeometry& g)
{
    return QRect(slotX, kThumbTop, g.cxThumb, g.cyThumb);
}

}  // namespace

bool PlayerView::OnStrip() const
{
    return m_bStrip && m_wndEngine.GetPlayState() >= 0 && m_cxMovie > 0 && m_cyMovie > 0 && m_nTotalFrames > 0;
}

void PlayerView::LayoutStrip(bool discard)
{
    const StripGeometry g = StripGeometry::Make(width(), height(), m_cxMovie, m_cyMovie, m_nTotalFrames);
    // A view too narrow for one thumbnail has no strip: nothing divides by
    // zero and no slot is ever addressed.
    if (!OnStrip() || !g.HasSlots()) {
        if (m_pStripBitmap) update(0, m_strip.yStrip, m_strip.cxStrip, kStripHeight);
        m_pStripBitmap.reset();
        return;
    }

    std::unique_ptr<QImage> old = std::move(m_pStripBitmap);
    const StripGeometry before = m_strip;
    m_strip = g;

    auto strip = std::make_unique<QImage>(g.cxStrip, kStripHeight, QImage::Format_RGB32);
    strip->fill(Qt::black);
    {
        QPainter painter(strip.get());
        for (int x = 0; x < g.cxStrip; x += kSprocketPitch) {
            painter.fillRect(x, 1, kSprocketSize, kSprocketSize, kSprocket);
            painter.fillRect(x, kStripHeight - 3, kSprocketSize, kSprocketSize, kSprocket);
        }
    }
    update(0, g.yStrip, g.cxStrip, kStripHeight);

    const int current = m_wndEngine.GetCurrentFrame();
    // The slot of the current frame is not limited here, as it never was.
    const int slot = static_cast<int>(static_cast<std::int64_t>(current) * g.slotCount / g.totalFrames);
    m_rcCurrentSlot = g.SlotRect(slot);
    m_rcPosMarker = g.PositionMarker(current);

    int saved[kMaxSlots];
    std::copy(std::begin(m_nSlotFrame), std::end(m_nSlotFrame), std::begin(saved));
    std::fill(m_nSlotFrame, m_nSlotFrame + g.slotCount, -1);
    if (old && !discard) {
        // Thumbnails move to the slotCount of their frames by copying pixels;
        // nothing is decoded again. Of several landing in one slot, the one
        // from the highest old slot stays.
        QPainter painter(strip.get());
        for (int i = 0; i < before.slotCount; ++i) {
            const int frame = saved[i];
            if (frame == -1) continue;
            const int j = g.SlotOf(frame);
            m_nSlotFrame[j] = frame;
            painter.drawImage(QPoint(g.SlotX(j), kThumbTop), *old, StripRect(before.SlotX(i), before));
        }
    }
    m_pStripBitmap = std::move(strip);
}

void PlayerView::StripStep(int frame)
{
    const int j = m_strip.SlotOf(frame);
    m_nSlotFrame[j] = frame;
    {
        QPainter painter(m_pStripBitmap.get());
        const QRect r = StripRect(m_strip.SlotX(j), m_strip);
        // When no frame is ready the slot keeps its pixels, recorded as f.
        m_wndEngine.DrawFrame(painter, engine::FromQRect(r));
    }
    const engine::Rect slot = m_strip.SlotRect(j);
    InvalidateClient(slot);
    InvalidateClient(m_rcCurrentSlot);
    m_rcCurrentSlot = slot;
    InvalidateClient(m_rcPosMarker);
    m_rcPosMarker = m_strip.PositionMarker(frame);
    InvalidateClient(m_rcPosMarker);
}

void PlayerView::PaintStrip(QPainter& painter)
{
    painter.drawImage(QPoint(0, height() - kStripHeight), *m_pStripBitmap);
    const QRect slot = engine::ToQRect(m_rcCurrentSlot);
    painter.setPen(kCurrentSlot);
    painter.setBrush(Qt::NoBrush);
    if (slot.width() > 0 && slot.height() > 0)
        painter.drawRect(slot.adjusted(0, 0, -1, -1));  // a one-pixel frame inside the slot
    painter.fillRect(engine::ToQRect(m_rcPosMarker), kMarker);
    if (m_bDragging) painter.fillRect(engine::ToQRect(m_rcDragMarker), kMarker);
}

}  // namespace view
