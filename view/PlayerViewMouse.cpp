// The mouse: a click on the picture plays or pauses, a click or drag on
// the strip seeks and plays from where the button is let go, a right click
// opens the context menu.

#include <QMouseEvent>

#include "view/PlayerView.h"

namespace view {

void PlayerView::mousePressEvent(QMouseEvent* event)
{
    const QPoint p = event->position().toPoint();
    if (event->button() == Qt::RightButton) {
        QWidget::mousePressEvent(event);
        if (m_host) m_host->ShowContextMenu(event->globalPosition().toPoint());
        return;
    }
    if (event->button() == Qt::LeftButton) {
        // The strip's top row belongs to the picture above it.
        if (HasStrip() && p.y() > m_strip.yStrip) {
            if (m_wndEngine.CanSeek()) {
                // Qt keeps the pointer's events with this widget until the
                // button is let go, positions outside it included.
                const int frame = m_strip.FrameAt(p.x());
                OnHScroll(SB_THUMBTRACK, frame);
                m_rcDragMarker = m_strip.DragMarker(frame);
                m_bDragging = true;
                InvalidateClient(m_rcDragMarker);
            }
        } else {
            TogglePlay();
        }
    }
    QWidget::mousePressEvent(event);
}

void PlayerView::mouseMoveEvent(QMouseEvent* event)
{
    if (m_bDragging) {
        const int frame = std::clamp(m_strip.FrameAt(event->position().toPoint().x()), 0, m_nTotalFrames);
        OnHScroll(SB_THUMBTRACK, frame);
        InvalidateClient(m_rcDragMarker);
        m_rcDragMarker = m_strip.DragMarker(frame);
        InvalidateClient(m_rcDragMarker);
    }
    QWidget::mouseMoveEvent(event);
}

void PlayerView::mouseReleaseEvent(QMouseEvent* event)
{
    if (m_bDragging && event->button() == Qt::LeftButton) {
        m_bDragging = false;
        const int frame = std::clamp(m_strip.FrameAt(event->position().toPoint().x()), 0, m_nTotalFrames);
        OnHScroll(SB_THUMBTRACK, frame);
        InvalidateClient(m_rcDragMarker);
        // Playback goes on from the released position.
        m_wndEngine.Play();
        m_bPlayRequested = true;
    }
    QWidget::mouseReleaseEvent(event);
}

void PlayerView::mouseDoubleClickEvent(QMouseEvent* event)
{
    // The second click of a double click toggles nothing: one toggle per
    // double click. (QWidget's own handler would treat it as a press.)
    event->accept();
}

}  // namespace view
