// Switching between the windowed and the full-screen form of the surfaces,
// carrying the picture and the playing state across.

#include <QPainter>

#include "engine/FullScreenWindow.h"
#include "engine/MovieEngine.h"

namespace engine {
namespace {

const char* const kMsgFullScreen = "Can't Change FullScreen Mode";

}  // namespace

Rect LetterBoxRect(int displayWidth, int displayHeight, int movieWidth, int movieHeight)
{
    const int w = displayWidth;
    const int h = displayHeight;
    // Fit the width first; the products come before the truncating divisions.
    Rect r{0, 0, w, movieHeight * w / movieWidth};
    if (r.bottom > h) {
        r.bottom = h;
        const int fitted = movieWidth * h / movieHeight;
        r.right = fitted;
        if (fitted < w) {
            const int off = (w - fitted) / 2;
            r.left = off;
            r.right = fitted + off;
        }
    } else if (r.bottom < h) {
        const int off = (h - r.bottom) / 2;
        r.top = off;
        r.bottom += off;
    }
    return r;
}

draw::Display MovieEngine::SetFullScreenRect()
{
    // The primary display at its own pixels: the letter box is worked out
    // and drawn at the device's resolution, so a scaled display shows the
    // movie sharp, and it lands on the primary wherever that lies.
    const draw::Display display = draw::PrimaryDisplay();
    const Rect box = LetterBoxRect(display.pixels.width(), display.pixels.height(), m_rcMovie.Width(), m_rcMovie.Height());
    SetScreenRect(Rect{box.left + display.origin.x(), box.top + display.origin.y(), box.right + display.origin.x(),
                       box.bottom + display.origin.y()});
    if (m_pFullScreenWnd) m_pFullScreenWnd->Target().Invalidate(m_pFullScreenWnd->rect());  // the bars anew
    return display;
}

bool MovieEngine::SetFullScreen(bool on)
{
    const bool wasPlaying = m_nPlayState == Playing;  // a running seek is not resumed
    if (!MovieOpen() || on == m_bFullScreen) return true;

    StopWorker();
    m_pMMStream->SetState(media::StreamState::Stop);
    m_pSample.reset();
    m_pKeptSample.reset();
    ReleaseSurfaces();  // while m_bFullScreen still names the old form
    DestroyFullScreenWindow();
    m_bFullScreen = on;

    bool ok = true;
    if (on) {
        m_pFullScreenWnd = new FullScreenWindow(this);
        ok = m_pFullScreenWnd->Create(SetFullScreenRect().geometry);
        // Its first paint then blackens only the bars.
        if (ok) m_pFullScreenWnd->Target().ValidateScreen(ScreenRect());
    } else {
        UpdateScreenRect();
    }
    ok = ok && InitDirectDrawSurface(on) && BindSamples();
    if (!ok) {
        ReleaseMedia();
        ReleaseSurfaces();
        Report(kMsgFullScreen);
        // The player must not be left without surfaces, nor with a popup over
        // the display: back to the windowed form, ready for the next movie.
        DestroyFullScreenWindow();
        m_bFullScreen = false;
        UpdateScreenRect();
        InitDirectDrawSurface(false);
        ShowReports();
        return false;
    }

    ShowPictureAnew();  // a paused movie shows its frame in the new form at once
    if (wasPlaying) {
        m_pMMStream->SetState(media::StreamState::Run);
        StartPlayWorker();
    }
    return true;
}

}  // namespace engine
