#pragma once
// The on-screen pixels of one window, as the primary surface sees them. A
// blit onto the primary lands here (from any thread, usually the engine's
// worker) and the window is asked, through the interface thread's event
// queue, to repaint that part; the worker never touches the widget. What
// the window paints itself (its paint handler, for the parts that were
// invalidated) is drawn into the same pixels, so whichever came last is on
// screen, as on a real screen.

#include <QObject>
#include <QRegion>
#include <functional>
#include <mutex>

#include "engine/PixelStore.h"
#include "engine/Rect.h"
#include "engine/media/ImageScaler.h"

class QPaintEvent;
class QPainter;
class QWidget;

namespace draw {

class ScreenTarget : public QObject {
public:
    explicit ScreenTarget(QWidget* window);

    QWidget* Window() const { return m_window; }

    // Interface thread. Follows the window's size and screen position; the
    // pixels of a new size start invalid.
    void SyncGeometry();
    // The window's client area in screen coordinates.
    engine::Rect ScreenRect() const;
    // The surface last blitted is about to go: what it shows is kept.
    void DropSource();
    // Parts the window must paint itself at its next paint (in the window's
    // own coordinates, or in screen coordinates).
    void Invalidate(const QRect& local);
    void Validate(const QRect& local);
    void ValidateScreen(const engine::Rect& screen);
    // The window's paintEvent: `paintOwn` paints the invalid part into the
    // pixels (the painter is clipped to it; the rectangle is its bounds),
    // then the pixels are shown.
    void Paint(QPaintEvent* event, const std::function<void(QPainter&, const QRect&)>& paintOwn);
    // What the window shows.
    QImage Snapshot();

    // Any thread: the blit of `srcRect` of `src` onto the screen at
    // `screenRect`, clipped to the window.
    bool Present(const engine::Rect& screenRect, const media::PixelBuffer& src, const engine::Rect& srcRect,
                 media::ImageScaler& scaler);

protected:
    void customEvent(QEvent* event) override;

private:
    // Caller holds m_mutex. The window's own pixels, made (with what it
    // shows) when they are not there; false when the memory cannot be had.
    bool EnsurePixels();
    QImage Shown();  // caller holds m_mutex

    QWidget* m_window;
    QRegion m_invalid;  // interface thread only
    std::mutex m_mutex;
    // -- All the following fields are guarded by m_mutex.
    QSize m_size;                  // the window's size in screen pixels
    qreal m_ratio = 1.0;           // device pixels per window unit; the interface thread, which alone writes it, also reads it unlocked
    engine::PixelStore m_pixels;   // only while needed, see above
    media::PixelBuffer m_direct;   // the frame shown as it lies, or none
    engine::PixelStore m_scratch;  // a stretched frame that only partly shows
    QPoint m_origin;               // the window's top-left in screen coordinates
    QRect m_presented;             // blitted since the last repaint request
    bool m_requestPending = false;
};

}  // namespace draw
