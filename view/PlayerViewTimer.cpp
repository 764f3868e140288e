// The position timer: twice a second the status bar, the seek bar's thumb,
// the strip and the end of the movie; and the seek bar's own messages.

#include <cstdint>

#include <QScrollBar>
#include <QTimerEvent>

#include "view/PlayerView.h"

namespace view {

using engine::MovieEngine;

QString PlayerView::TimeText(int ms)
{
    const int s = ms / 1000;
    const int m = s / 60;
    // The hours field widens past 99 by itself.
    return QString::asprintf("%02d:%02d:%02d", m / 60, m % 60, s % 60);
}

void PlayerView::timerEvent(QTimerEvent*)
{
    OnTimer();
}

void PlayerView::OnTimer()
{
    if (!m_host || !m_host->HasMainWindow()) return;
    FollowPictureSize();
    // Once the movie's file has been read through, its frames may be
    // numbered by its own pictures, or its length known at last; a
    // recording still being written grows. Thumbnails keep their frames'
    // numbers and move to their new slots, unless the numbering itself
    // changed.
    if (m_wndEngine.GetPlayState() >= 0 && m_wndEngine.GetTotalFrames() != m_nTotalFrames) {
        const bool renumbered = m_wndEngine.NumberedByPictures() != m_bNumberedByPictures;
        UpdateSeekBar();
        LayoutStrip(renumbered);
    }
    m_host->SetPaneText(2, m_bShowTime ? TimeText(m_wndEngine.GetCurrentMs())
                                       : QString::number(m_wndEngine.GetCurrentFrame()));
    const int frame = m_wndEngine.GetCurrentFrame();
    // A thumb the user is dragging stays under the pointer.
    if (m_scrollBar && !m_scrollBar->isSliderDown()) m_scrollBar->setValue(frame);

    const int state = m_wndEngine.GetPlayState();
    m_host->SetPaneText(0, state == MovieEngine::Idle      ? QStringLiteral("Stop")
                           : state == MovieEngine::Playing ? QStringLiteral("Play")
                           : state == MovieEngine::Seeking ? QStringLiteral("Seek")
                                                           : QStringLiteral("Ready"));
    if (state >= 0 && HasStrip() && m_nTotalFrames > 0) StripStep(frame);

    if (m_wndEngine.IsAtEnd()) {
        if (m_bPlayRequested && m_bAutoReplay) {
            m_wndEngine.Seek(0, MovieEngine::SeekOnly);
            m_wndEngine.Play();
        } else {
            m_wndEngine.Pause();  // clears the end, so it is handled once
            m_bPlayRequested = false;
        }
    }
}

void PlayerView::UpdateSeekBar()
{
    if (!m_host || !m_host->HasMainWindow()) return;
    FollowPictureSize();
    m_nTotalFrames = m_wndEngine.GetTotalFrames();
    m_bNumberedByPictures = m_wndEngine.NumberedByPictures();
    m_host->SetPaneText(1, m_bShowTime ? QStringLiteral("Time") : QStringLiteral("Frame"));
    if (!m_scrollBar) return;
    // Positions are frame numbers, 0 to the last position inclusive.
    m_scrollBar->setRange(0, m_nTotalFrames);
    m_scrollBar->setPageStep(std::max(1, m_nTotalFrames / 10));
    m_scrollBar->setEnabled(m_wndEngine.CanSeek() != 0);
    m_scrollBar->setVisible(m_bScrollBar);
}

void PlayerView::OnHScroll(int code, int position)
{
    if (!m_wndEngine.CanSeek()) return;
    int step = 0;
    switch (code) {
    case SB_LINELEFT: step = -1; break;
    case SB_LINERIGHT: step = 1; break;
    case SB_PAGELEFT: step = -std::max(1, m_nTotalFrames / 10); break;
    case SB_PAGERIGHT: step = std::max(1, m_nTotalFrames / 10); break;
    case SB_THUMBPOSITION: m_wndEngine.Seek(position, MovieEngine::SeekAndShow); break;
    case SB_THUMBTRACK: m_wndEngine.Seek(position, MovieEngine::SeekTrack); break;
    case SB_LEFT: m_wndEngine.Seek(0, MovieEngine::SeekAndShow); break;
    case SB_RIGHT: m_wndEngine.Seek(m_nTotalFrames, MovieEngine::SeekAndShow); break;
    default: break;
    }
    if (step != 0) {
        const auto target = static_cast<int>(
            std::clamp<std::int64_t>(std::int64_t{m_wndEngine.GetCurrentFrame()} + step, 0, m_nTotalFrames));
        m_wndEngine.Seek(target, MovieEngine::SeekAndShow);
    }
    // Seeking is not asking for playback: continuous play must not restart.
    m_bPlayRequested = false;
}

}  // namespace view
