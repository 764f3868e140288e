#pragma once
// The drawing layer the engine draws with: a drawing device that makes
// surfaces and clippers, surfaces that blit (stretching) between each
// other, and the primary surface, which is the screen as the program sees
// it. Surfaces are 32-bit RGB images in memory (the layout of
// QImage::Format_RGB32); a blit onto the primary lands in the window its
// clipper is bound to (see ScreenTarget). The device and factory are
// interfaces so a test can make a surface fail to be made.

#include <QImage>
#include <memory>
#include <mutex>

#include "engine/Rect.h"
#include "engine/media/ImageScaler.h"

class QPainter;

namespace draw {

using Result = media::Result;
using engine::Rect;

// Surface capability bits.
inline constexpr std::uint32_t kCapsBackBuffer = 0x4;
inline constexpr std::uint32_t kCapsComplex = 0x8;
inline constexpr std::uint32_t kCapsFlip = 0x10;
inline constexpr std::uint32_t kCapsOffscreenPlain = 0x40;
inline constexpr std::uint32_t kCapsPrimarySurface = 0x200;
inline constexpr std::uint32_t kCaps3DDevice = 0x2000;

// Which fields of a surface description are set.
inline constexpr std::uint32_t kDescCaps = 0x1;
inline constexpr std::uint32_t kDescHeight = 0x2;
inline constexpr std::uint32_t kDescWidth = 0x4;
inline constexpr std::uint32_t kDescBackBufferCount = 0x20;
inline constexpr std::uint32_t kDescPixelFormat = 0x1000;

// Cooperative levels.
inline constexpr std::uint32_t kLevelFullScreen = 0x1;
inline constexpr std::uint32_t kLevelNormal = 0x8;
inline constexpr std::uint32_t kLevelExclusive = 0x10;

inline constexpr std::uint32_t kBltWait = 0x1000000;

inline constexpr Result kSurfaceLost = static_cast<Result>(0x887601C2);
inline constexpr Result kInvalidParams = static_cast<Result>(0x80070057);
inline constexpr Result kNoClipper = static_cast<Result>(0x887600B4);
inline constexpr Result kNotFound = static_cast<Result>(0x887600FF);

struct PixelFormat {
    int bitsPerPixel = 32;
    std::uint32_t redMask = 0x00ff0000;
    std::uint32_t greenMask = 0x0000ff00;
    std::uint32_t blueMask = 0x000000ff;
    friend bool operator==(const PixelFormat&, const PixelFormat&) = default;
};

struct SurfaceDesc {
    std::uint32_t flags = 0;
    std::uint32_t caps = 0;
    int width = 0;
    int height = 0;
    int backBufferCount = 0;
    PixelFormat pixelFormat;
};

class ScreenTarget;

// Confines blits onto the primary surface to one window.
class Clipper {
public:
    Result SetHWnd(ScreenTarget* window);
    ScreenTarget* Window() const { return m_window; }

private:
    ScreenTarget* m_window = nullptr;
};

class Surface {
public:
    virtual ~Surface() = default;

    // Copies `srcRect` of `source` into `dstRect` of this surface, stretching
    // when the sizes differ. Null rectangles mean the whole surface.
    virtual Result Blt(const Rect* dstRect, Surface* source, const Rect* srcRect, std::uint32_t flags) = 0;
    virtual Result GetSurfaceDesc(SurfaceDesc& desc) = 0;
    virtual Result GetAttachedSurface(std::uint32_t caps, std::shared_ptr<Surface>& attached) = 0;
    virtual Result SetClipper(std::shared_ptr<Clipper> clipper) = 0;
    virtual Result Restore() = 0;
    // A painter onto the surface's pixels, until ReleaseDC.
    virtual Result GetDC(QPainter*& dc) = 0;
    virtual Result ReleaseDC(QPainter* dc) = 0;

    // The surface's memory; empty for the primary, whose pixels are the
    // screen's.
    virtual media::PixelBuffer Pixels() = 0;
    // The pixels as an image sharing the memory (null for the primary).
    virtual QImage Image() = 0;
};

class DrawDevice {
public:
    virtual ~DrawDevice() = default;
    virtual Result SetCooperativeLevel(std::uint32_t flags) = 0;
    virtual Result CreateSurface(const SurfaceDesc& desc, std::shared_ptr<Surface>& surface) = 0;
    virtual Result CreateClipper(std::shared_ptr<Clipper>& clipper) = 0;
};

class DrawFactory {
public:
    virtual ~DrawFactory() = default;
    virtual Result CreateDirectDraw(std::shared_ptr<DrawDevice>& device) = 0;
};

// Surfaces in memory, the primary standing for the primary screen.
std::shared_ptr<DrawFactory> CreateDrawFactory();

// The primary display: where it lies among the screens in the units
// windows are placed in, and its top-left and size in its own pixels, the
// screen coordinates blits use.
struct Display {
    QRect geometry;
    QPoint origin;
    QSize pixels;
};
Display PrimaryDisplay();
inline QSize DisplaySize()
{
    return PrimaryDisplay().pixels;
}

}  // namespace draw
