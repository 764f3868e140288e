#include "engine/DrawSurface.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>

#include "engine/PixelStore.h"
#include "engine/ScreenTarget.h"

namespace draw {
namespace {

using media::kFail;
using media::kOk;
using media::kOutOfMemory;

Rect WholeOf(Surface* surface, const QSize& fallback)
{
    const media::PixelBuffer pixels = surface->Pixels();
    if (pixels.bits) return Rect{0, 0, pixels.width, pixels.height};
    return Rect{0, 0, fallback.width(), fallback.height()};
}

// An off-screen surface: pixels in memory.
class MemorySurface final : public Surface {
public:
    bool Allocate(int width, int height) { return m_pixels.Allocate(width, height); }

    Result Blt(const Rect* dstRect, Surface* source, const Rect* srcRect, std::uint32_t) override
    {
        if (!source) return kInvalidParams;
        const media::PixelBuffer src = source->Pixels();
        const Rect s = srcRect ? *srcRect : Rect{0, 0, src.width, src.height};
        const Rect d = dstRect ? *dstRect : Rect{0, 0, m_pixels.Width(), m_pixels.Height()};
        if (!media::RectInside(s, src) || !media::RectInside(d, m_pixels.Buffer())) return kInvalidParams;
        return m_scaler.Blit(m_pixels.Buffer(), d, src, s) ? kOk : kFail;
    }

    Result GetSurfaceDesc(SurfaceDesc& desc) override
    {
        desc = SurfaceDesc{kDescCaps | kDescWidth | kDescHeight | kDescPixelFormat, kCapsOffscreenPlain,
                           m_pixels.Width(), m_pixels.Height(), 0, PixelFormat{}};
        return kOk;
    }

    Result GetAttachedSurface(std::uint32_t, std::shared_ptr<Surface>&) override { return kNotFound; }
    Result SetClipper(std::shared_ptr<Clipper>) override { return kNoClipper; }
    Result Restore() override { return kOk; }

    Result GetDC(QPainter*& dc) override
    {
        if (m_dc) return kFail;  // one device context at a time
        m_dc = std::make_unique<QPainter>(&m_pixels.Image());
        dc = m_dc.get();
        return kOk;
    }

    Result ReleaseDC(QPainter* dc) override
    {
        if (!m_dc || dc != m_dc.get()) return kInvalidParams;
        m_dc.reset();
        return kOk;
    }

    media::PixelBuffer Pixels() override { return m_pixels.Buffer(); }
    QImage Image() override { return m_pixels.Image(); }

private:
    engine::PixelStore m_pixels;
    media::ImageScaler m_scaler;
    std::unique_ptr<QPainter> m_dc;
};

// The screen. Its pixels are the windows' own; a blit goes to the window
// the clipper is bound to.
class PrimarySurface final : public Surface {
public:
    PrimarySurface(QSize display, std::shared_ptr<Surface> backBuffer)
        : m_display(display), m_backBuffer(std::move(backBuffer))
    {
    }

    Result Blt(const Rect* dstRect, Surface* source, const Rect* srcRect, std::uint32_t) override
    {
        if (!source) return kInvalidParams;
        const media::PixelBuffer src = source->Pixels();
        const Rect s = srcRect ? *srcRect : Rect{0, 0, src.width, src.height};
        const Rect d = dstRect ? *dstRect : WholeOf(this, m_display);
        if (!media::RectInside(s, src) || d.Width() <= 0 || d.Height() <= 0) return kInvalidParams;
        ScreenTarget* window = m_clipper ? m_clipper->Window() : nullptr;
        if (!window) return kOk;  // drawn onto the bare desktop, which nobody sees
        return window->Present(d, src, s, m_scaler) ? kOk : kFail;
    }

    Result GetSurfaceDesc(SurfaceDesc& desc) override
    {
        desc = SurfaceDesc{kDescCaps | kDescWidth | kDescHeight | kDescPixelFormat,
                           kCapsPrimarySurface | (m_backBuffer ? kCapsFlip | kCapsComplex : 0u), m_display.width(),
                           m_display.height(), m_backBuffer ? 1 : 0, PixelFormat{}};
        if (m_backBuffer) desc.flags |= kDescBackBufferCount;
        return kOk;
    }

    Result GetAttachedSurface(std::uint32_t caps, std::shared_ptr<Surface>& attached) override
    {
        if (!(caps & kCapsBackBuffer) || !m_backBuffer) return kNotFound;
        attached = m_backBuffer;
        return kOk;
    }

    Result SetClipper(std::shared_ptr<Clipper> clipper) override
    {
        m_clipper = std::move(clipper);
        return kOk;
    }

    Result Restore() override { return kOk; }
    Result GetDC(QPainter*&) override { return kFail; }  // nobody paints the whole screen
    Result ReleaseDC(QPainter*) override { return kInvalidParams; }
    media::PixelBuffer Pixels() override { return {}; }
    QImage Image() override { return {}; }

private:
    QSize m_display;
    std::shared_ptr<Surface> m_backBuffer;  // full-screen form: the flip chain's back buffer
    std::shared_ptr<Clipper> m_clipper;
    media::ImageScaler m_scaler;
};

class MemoryDrawDevice final : public DrawDevice {
public:
    Result SetCooperativeLevel(std::uint32_t flags) override
    {
        const bool exclusive = (flags & kLevelExclusive) != 0;
        const bool fullScreen = (flags & kLevelFullScreen) != 0;
        if (exclusive != fullScreen) return kInvalidParams;  // exclusive only together with full screen
        m_level = flags;
        return kOk;
    }

    Result CreateSurface(const SurfaceDesc& desc, std::shared_ptr<Surface>& surface) override
    {
        if (!(desc.flags & kDescCaps)) return kInvalidParams;
        if (desc.caps & kCapsPrimarySurface) {
            const bool flip = (desc.caps & kCapsFlip) && (desc.flags & kDescBackBufferCount) &&
                              desc.backBufferCount >= 1;
            // A flip chain needs the exclusive full-screen level.
            if (flip && !(m_level & kLevelExclusive)) return kInvalidParams;
            const QSize display = DisplaySize();
            std::shared_ptr<Surface> back;
            if (flip) {
                auto buffer = std::make_shared<MemorySurface>();
                if (!buffer->Allocate(display.width(), display.height())) return kOutOfMemory;
                back = buffer;
            }
            surface = std::make_shared<PrimarySurface>(display, std::move(back));
            return kOk;
        }
        if (desc.caps & kCapsOffscreenPlain) {
            if ((desc.flags & (kDescWidth | kDescHeight)) != (kDescWidth | kDescHeight)) return kInvalidParams;
            if ((desc.flags & kDescPixelFormat) && !(desc.pixelFormat == PixelFormat{})) return kInvalidParams;
            auto plain = std::make_shared<MemorySurface>();
            if (!plain->Allocate(desc.width, desc.height)) return kOutOfMemory;
            surface = plain;
            return kOk;
        }
        return kInvalidParams;
    }

    Result CreateClipper(std::shared_ptr<Clipper>& clipper) override
    {
        clipper = std::make_shared<Clipper>();
        return kOk;
    }

private:
    std::uint32_t m_level = 0;
};

class MemoryDrawFactory final : public DrawFactory {
public:
    Result CreateDirectDraw(std::shared_ptr<DrawDevice>& device) override
    {
        device = std::make_shared<MemoryDrawDevice>();
        return kOk;
    }
};

}  // namespace

Result Clipper::SetHWnd(ScreenTarget* window)
{
    m_window = window;
    return kOk;
}

std::shared_ptr<DrawFactory> CreateDrawFactory()
{
    return std::make_shared<MemoryDrawFactory>();
}

Display PrimaryDisplay()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) return Display{QRect(0, 0, 1024, 768), QPoint(0, 0), QSize(1024, 768)};
    const qreal ratio = screen->devicePixelRatio();
    const QRect geometry = screen->geometry();
    return Display{geometry, geometry.topLeft() * ratio, geometry.size() * ratio};
}

}  // namespace draw
