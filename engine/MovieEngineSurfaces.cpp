// Making the drawing objects and the two forms of surfaces, and keeping the
// rectangle that frames are drawn to in step with the window.

#include "engine/FullScreenWindow.h"
#include "engine/MovieEngine.h"

namespace engine {
namespace {

const char* const kMsgDirectDraw = "Initialization failure in DirectDraw";
const char* const kMsgDirectDrawSurface = "Initialization failure in DirectDrawSurface";

}  // namespace

bool MovieEngine::InitDirectDraw()
{
    bool ok = m_services.draw && media::Succeeded(m_services.draw->CreateDirectDraw(m_pDD)) && m_pDD;
    if (ok) {
        m_pDDFactory = m_services.draw;
        m_pDD3 = m_pDD;
        ok = InitDirectDrawSurface(false);
    }
    if (!ok) Report(kMsgDirectDraw);
    ShowReports();
    return ok;
}

bool MovieEngine::InitDirectDrawSurface(bool fullScreen)
{
    if (!MakeSurfaces(fullScreen)) {
        // What was made stays in its member until the caller releases it.
        Report(kMsgDirectDrawSurface);
        return false;
    }
    m_bFullScreen = fullScreen;
    return true;
}

bool MovieEngine::MakeSurfaces(bool fullScreen)
{
    using media::Failed;
    if (!m_pDD3) return false;
    const std::uint32_t level = fullScreen ? draw::kLevelExclusive | draw::kLevelFullScreen : draw::kLevelNormal;
    if (Failed(m_pDD3->SetCooperativeLevel(level))) return false;

    draw::SurfaceDesc primary;
    primary.flags = draw::kDescCaps;
    primary.caps = draw::kCapsPrimarySurface;
    if (fullScreen) {
        primary.flags |= draw::kDescBackBufferCount;
        primary.caps |= draw::kCapsFlip | draw::kCapsComplex | draw::kCaps3DDevice;
        primary.backBufferCount = 1;
    }
    if (Failed(m_pDD3->CreateSurface(primary, m_pPrimary))) return false;
    if (fullScreen && Failed(m_pPrimary->GetAttachedSurface(draw::kCapsBackBuffer, m_pBack))) return false;
    draw::SurfaceDesc display;
    if (Failed(m_pPrimary->GetSurfaceDesc(display))) return false;

    // Off-screen surfaces have the display's format and the movie's size
    // (see EnsureSurfaceSize): a movie larger than the display plays, and a
    // large display costs no memory of its own.
    draw::SurfaceDesc offscreen;
    offscreen.flags = draw::kDescCaps | draw::kDescWidth | draw::kDescHeight | draw::kDescPixelFormat;
    offscreen.caps = draw::kCapsOffscreenPlain;
    m_rcDrawn = DrawnRect();
    offscreen.width = m_rcDrawn.Width();
    offscreen.height = m_rcDrawn.Height();
    offscreen.pixelFormat = display.pixelFormat;
    if (!fullScreen || !Covers(m_pBack, m_rcDrawn)) {
        if (Failed(m_pDD3->CreateSurface(offscreen, m_pBack))) return false;
    }
    if (Failed(m_pDD3->CreateSurface(offscreen, m_pFrame[0]))) return false;
    offscreen.width = offscreen.height = 1;  // grown by DrawFrame to what it needs
    if (Failed(m_pDD3->CreateSurface(offscreen, m_pFrame[1]))) return false;
    if (Failed(m_pDD3->CreateClipper(m_pClipper))) return false;
    if (Failed(m_pPrimary->SetClipper(m_pClipper))) return false;
    return !Failed(m_pClipper->SetHWnd(fullScreen ? &m_pFullScreenWnd->Target() : &m_screen));
}

bool MovieEngine::Covers(const std::shared_ptr<draw::Surface>& surface, const Rect& rect)
{
    draw::SurfaceDesc desc;
    return surface && media::Succeeded(surface->GetSurfaceDesc(desc)) && desc.width >= rect.right &&
           desc.height >= rect.bottom;
}

void MovieEngine::UpdateScreenRect()
{
    m_screen.SyncGeometry();
    m_screen.Invalidate(rect());
    SetScreenRect(m_screen.ScreenRect());
    // Meanwhile the pictures are stretched to the new size.
    if (!m_bFullScreen && MovieOpen() && DrawnRect() != m_rcDrawn) m_rebindTimer.start();
}

}  // namespace engine
