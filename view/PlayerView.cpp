#include "view/PlayerView.h"

#include <cstdint>

#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QFileDialog>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>

#include "engine/Notifier.h"
#include "resources/UiResources.h"

namespace view {
namespace {

// The engine window's size before any movie lays it out.
constexpr int kEngineInitialSize = 400;
constexpr int kTimerIntervalMs = 500;
constexpr int kVolumeStep = 50;
constexpr int kVolumeMax = 1000;

// The wait cursor for as long as it lives.
struct WaitCursor {
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

bool WriteClipboard(const QImage& image)
{
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!clipboard) return false;
    clipboard->setImage(image);
    // Another program may keep the clipboard: then what it holds is not ours.
    return clipboard->image().size() == image.size();
}

}  // namespace

PlayerView::PlayerView(engine::MovieEngine::Services services)
    : m_wndEngine(this, std::move(services)), m_clipboard(WriteClipboard)
{
    std::fill(std::begin(m_nSlotFrame), std::end(m_nSlotFrame), -1);
}

PlayerView::~PlayerView()
{
    if (m_timerId != 0) killTimer(m_timerId);
}

bool PlayerView::Create(QWidget* pane, ViewHost* host)
{
    setParent(pane);
    m_host = host;
    setAttribute(Qt::WA_OpaquePaintEvent);  // the paint fills everything
    setCursor(Qt::ArrowCursor);

    // The seek bar exists from the start; it is shown when switched on.
    m_scrollBar = new QScrollBar(Qt::Horizontal, pane);
    m_scrollBar->setFocusPolicy(Qt::NoFocus);
    // Its own menu ("Scroll here" and the rest) would move the thumb
    // without seeking; the player's context menu is the only one.
    m_scrollBar->setContextMenuPolicy(Qt::NoContextMenu);
    m_scrollBar->setRange(0, 0);
    m_scrollBar->setVisible(m_bScrollBar);
    connect(m_scrollBar, &QAbstractSlider::actionTriggered, this, [this](int action) {
        // The thumb moves on the next tick, to where the engine stands; only
        // a dragged thumb follows the pointer.
        const int keep = m_scrollBar->value();
        switch (action) {
        case QAbstractSlider::SliderSingleStepSub: OnHScroll(SB_LINELEFT, 0); break;
        case QAbstractSlider::SliderSingleStepAdd: OnHScroll(SB_LINERIGHT, 0); break;
        case QAbstractSlider::SliderPageStepSub: OnHScroll(SB_PAGELEFT, 0); break;
        case QAbstractSlider::SliderPageStepAdd: OnHScroll(SB_PAGERIGHT, 0); break;
        case QAbstractSlider::SliderToMinimum: OnHScroll(SB_LEFT, 0); break;
        case QAbstractSlider::SliderToMaximum: OnHScroll(SB_RIGHT, 0); break;
        case QAbstractSlider::SliderMove: OnHScroll(SB_THUMBTRACK, m_scrollBar->sliderPosition()); return;
        default: return;
        }
        m_scrollBar->setSliderPosition(keep);
    });
    connect(m_scrollBar, &QAbstractSlider::sliderReleased, this, [this] {
        OnHScroll(SB_THUMBPOSITION, m_scrollBar->sliderPosition());
        OnHScroll(SB_ENDSCROLL, 0);
    });

    m_wndEngine.setGeometry(0, 0, kEngineInitialSize, kEngineInitialSize);
    m_wndEngine.show();
    m_wndEngine.Create();  // a drawing failure has shown its message; the window exists
    m_wndEngine.SetDeinterlace(m_deinterlace);
    m_timerId = startTimer(kTimerIntervalMs);
    return true;
}

void PlayerView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    OnSize(width(), height());
}

void PlayerView::OnSize(int cx, int cy)
{
    if (m_wndEngine.GetPlayState() < 0) {
        m_wndEngine.setGeometry(0, 0, cx, cy);
        m_wndEngine.show();
        LayoutStrip(false);
        return;
    }
    const int aw = cx;
    const int ah = cy - (HasStrip() ? kStripHeight : 0);
    const int mw = m_cxMovie > 0 ? m_cxMovie : 1;
    const int mh = m_cyMovie > 0 ? m_cyMovie : 1;
    // Centred above the strip at the movie's aspect ratio; the products come
    // before the truncating divisions.
    const int fh = static_cast<int>(static_cast<long long>(aw) * mh / mw);
    int x = 0, y = 0, w = aw, h = fh;
    if (fh > ah) {
        h = ah;
        w = static_cast<int>(static_cast<long long>(mw) * ah / mh);
        x = w < aw ? (aw - w) / 2 : 0;
    } else if (fh < ah) {
        y = (ah - fh) / 2;
    }
    m_wndEngine.setGeometry(x, y, w, h);
    m_wndEngine.show();
    LayoutStrip(false);
}

void PlayerView::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    painter.fillRect(event->rect(), Qt::black);
    if (HasStrip()) PaintStrip(painter);
}

void PlayerView::InvalidateClient(const engine::Rect& rect)
{
    update(engine::ToQRect(rect));
}

int PlayerView::OpenMovieFile(const QByteArray& path)
{
    WaitCursor wait;
    if (!m_host || !m_host->HasMainWindow()) return 1;
    m_wndEngine.SetTrackPreferences(TrackPreferences());
    if (!m_wndEngine.OpenMovie(path.toStdString())) return 1;  // the engine has told the user
    m_bPlayRequested = true;
    m_bMute = false;
    m_moviePath = path;
    UpdateSeekBar();
    m_host->AddToRecentFileList(path);
    // On Linux only '/' separates directories: "Live: Tokyo.mp4" is a name.
    m_host->SetCaption(QFile::decodeName(path.mid(path.lastIndexOf('/') + 1)));
    engine::MovieRect rect;
    m_wndEngine.GetMovieRect(rect);
    m_nSizePercent = 100;
    m_wndEngine.SetSizePercent(m_nSizePercent);
    m_cxMovie = rect.Width();
    m_cyMovie = rect.Height();
    LayoutStrip(true);
    FitFrameToMovie();
    m_wndEngine.ReportUnreadSubtitles();  // the movie plays on
    return 0;
}

void PlayerView::FollowPictureSize()
{
    const QSize chosen(m_nSizePercent * m_cxMovie / 100, m_nSizePercent * m_cyMovie / 100);
    if (!m_wndEngine.FollowPictureSize()) return;
    if (m_wndEngine.GetPlayState() < 0) {
        OnSize(width(), height());  // the movie could not go on
        return;
    }
    engine::MovieRect rect;
    m_wndEngine.GetMovieRect(rect);
    m_cxMovie = rect.Width();
    m_cyMovie = rect.Height();
    // The window fits the new size as an open fits it, at the size the user
    // chose, unless the user has sized it by hand (or full screen is on):
    // then the picture takes the new shape inside it.
    if (m_wndEngine.size() == chosen && !m_wndEngine.IsFullScreen()) {
        m_wndEngine.SetSizePercent(m_nSizePercent);
        LayoutStrip(false);
        FitFrameToMovie();
    } else {
        OnSize(width(), height());
    }
}

void PlayerView::FitFrameToMovie()
{
    if (!m_host) return;
    const int w = m_wndEngine.width();
    const int h = m_wndEngine.height() + (HasStrip() ? kStripHeight : 0);
    m_host->FitClientToSize(w, h);
}

void PlayerView::OnFileOpen()
{
    QFileDialog dialog(this);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setDefaultSuffix(QStringLiteral("avi"));
    // The dialog shows the filters by their names; the patterns stay hidden.
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setNameFilters(ui::MovieNameFilters());
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    OpenMovieFile(QFile::encodeName(dialog.selectedFiles().first()));
}

void PlayerView::WriteFlag(const char* key, bool& flag)
{
    flag = !flag;
    if (m_host) m_host->WriteProfileInt("MCI", key, flag ? 1 : 0);
}

bool PlayerView::OnCmdMsg(int id, CommandState* state)
{
    const bool open = m_wndEngine.GetPlayState() >= 0;
    const bool seekable = open && m_wndEngine.CanSeek() != 0;
    switch (id) {
    case ID_FILE_OPEN:
        if (!state) OnFileOpen();
        return true;
    case ID_EDIT_COPY:
        if (!state) OnEditCopy();
        return true;
    case ID_TIME_DISPLAY:
        if (!state) {
            WriteFlag("FrameTime", m_bShowTime);
            UpdateSeekBar();
        }
        return true;
    case ID_PLAY:
    case ID_PAUSE:
    case ID_STOP:
        if (state) state->Enable(open);
        else OnPlayCommand(id);
        return true;
    case ID_GO_START:
    case ID_GO_END:
        if (state) state->Enable(seekable);
        else OnPlayCommand(id);
        return true;
    case ID_AUTO_REPLAY:
        if (state) state->SetCheck(m_bAutoReplay);
        else WriteFlag("AutoReplay", m_bAutoReplay);
        return true;
    case ID_VIEW_SCROLL:
        if (state) {
            state->SetCheck(m_bStrip);
        } else {
            WriteFlag("PreViewFlag", m_bStrip);
            LayoutStrip(false);
            FitFrameToMovie();
        }
        return true;
    case ID_VIEW_SCROLLBAR:
        if (state) {
            state->SetCheck(m_bScrollBar);
        } else {
            // The bar takes its height from the view at once and the layout
            // shrinks the picture to match; the frame is fitted around the
            // picture as it was, so switching the bar never resizes it.
            const QSize picture = m_wndEngine.size();
            WriteFlag("ScrollBar", m_bScrollBar);
            UpdateSeekBar();
            m_wndEngine.resize(picture);
            FitFrameToMovie();
        }
        return true;
    case ID_FULL_SCREEN:
        if (state) {
            state->Enable(open);
            state->SetCheck(m_wndEngine.IsFullScreen());
        } else {
            m_wndEngine.SetFullScreen(!m_wndEngine.IsFullScreen());
            m_bPlayRequested = true;
        }
        return true;
    case ID_SPEED_HALF:
    case ID_SPEED_NORMAL:
    case ID_SPEED_DOUBLE:
        if (state) state->Enable(seekable);
        else OnSpeed(id);
        return true;
    case ID_STEP_FORWARD:
    case ID_STEP_BACK:
    case ID_SKIP_FORWARD:
    case ID_SKIP_BACK:
    case ID_PAGE_FORWARD:
    case ID_PAGE_BACK:
        if (state) state->Enable(seekable);
        else OnStep(id);
        return true;
    case ID_LEAVE_FULL_SCREEN:
        // Leaves as the full-screen command does; in the window it is off.
        if (state) state->Enable(m_wndEngine.IsFullScreen());
        else OnCmdMsg(ID_FULL_SCREEN, nullptr);
        return true;
    case ID_SIZE_HALF:
    case ID_SIZE_NORMAL:
    case ID_SIZE_DOUBLE:
        if (state) state->Enable(open);
        else OnDisplaySize(id);
        return true;
    case ID_DEINTERLACE_AUTO:
    case ID_DEINTERLACE_ON:
    case ID_DEINTERLACE_OFF: {
        // The ids follow the modes' order. Open or not: the choice is the
        // viewer's, for this movie and the next.
        const auto mode = static_cast<media::Deinterlace>(id - ID_DEINTERLACE_AUTO);
        if (state) {
            state->SetCheck(m_deinterlace == mode);
        } else if (mode != m_deinterlace) {
            m_deinterlace = mode;
            m_wndEngine.SetDeinterlace(mode);
            if (m_host) m_host->WriteProfileInt("MCI", "Deinterlace", static_cast<int>(mode));
        }
        return true;
    }
    case ID_VOLUME_UP:
    case ID_VOLUME_DOWN:
    case ID_VOLUME_MUTE:
        if (state) {
            state->Enable(open);
            state->SetCheck(id == ID_VOLUME_MUTE && m_bMute);
        } else {
            OnVolume(id);
        }
        return true;
    default:
        return OnTrackCmdMsg(id, state);
    }
}

void PlayerView::TogglePlay()
{
    switch (m_wndEngine.GetPlayState()) {
    case engine::MovieEngine::Idle:
    case engine::MovieEngine::Seeking:
        m_wndEngine.Play();
        m_bPlayRequested = true;
        break;
    case engine::MovieEngine::Playing:
        m_wndEngine.Pause();
        m_bPlayRequested = false;
        break;
    default:
        break;
    }
}

void PlayerView::OnPlayCommand(int id)
{
    using engine::MovieEngine;
    switch (id) {
    case ID_PLAY:  // always from the first frame
        m_wndEngine.Seek(0, MovieEngine::SeekOnly);
        m_wndEngine.Play();
        m_bPlayRequested = true;
        break;
    case ID_PAUSE:
        TogglePlay();
        break;
    case ID_STOP:
        if (m_wndEngine.GetPlayState() == MovieEngine::Playing) m_wndEngine.Pause();
        m_bPlayRequested = false;
        break;
    case ID_GO_START:
        m_wndEngine.Seek(0, MovieEngine::SeekAndShow);
        m_bPlayRequested = false;
        break;
    case ID_GO_END:
        m_wndEngine.Seek(m_wndEngine.GetTotalFrames(), MovieEngine::SeekAndShow);
        m_bPlayRequested = false;
        break;
    default:
        break;
    }
}

void PlayerView::OnStep(int id)
{
    using engine::MovieEngine;
    if (id == ID_PAGE_FORWARD || id == ID_PAGE_BACK) return OnHScroll(id == ID_PAGE_FORWARD ? SB_PAGERIGHT : SB_PAGELEFT, 0);
    // A playing movie stops first. A step goes from the picture on screen,
    // or from the target of a step still being decoded: the new step then
    // replaces it, so a held key never builds up a backlog.
    if (m_wndEngine.GetPlayState() == MovieEngine::Playing) m_wndEngine.Pause();
    m_bPlayRequested = false;
    const int from = m_wndEngine.GetSeekTargetFrame();
    std::int64_t to = std::int64_t{from} + (id == ID_STEP_FORWARD ? 1 : -1);
    if (id == ID_SKIP_FORWARD || id == ID_SKIP_BACK) {
        const media::StreamTime second = id == ID_SKIP_FORWARD ? media::kUnitsPerSecond : -media::kUnitsPerSecond;
        to = m_wndEngine.FrameAtTime(std::max<media::StreamTime>(m_wndEngine.TimeOfFrame(from) + second, 0));
    }
    to = std::clamp<std::int64_t>(to, 0, m_wndEngine.GetLastFrame());
    if (to != from) m_wndEngine.Seek(static_cast<int>(to), MovieEngine::SeekTrack);
}

void PlayerView::OnSpeed(int id)
{
    m_wndEngine.SetPlaybackRate(id == ID_SPEED_HALF ? 500 : id == ID_SPEED_NORMAL ? 1000 : 2000);
}

void PlayerView::OnDisplaySize(int id)
{
    m_nSizePercent = id == ID_SIZE_HALF ? 50 : id == ID_SIZE_NORMAL ? 100 : 200;
    m_wndEngine.SetSizePercent(m_nSizePercent);
    FitFrameToMovie();
}

void PlayerView::OnVolume(int id)
{
    const int current = m_wndEngine.GetVolume();
    if (id == ID_VOLUME_MUTE) {
        m_bMute = !m_bMute;
        if (m_bMute) {
            m_nSavedVolume = current;
            m_wndEngine.SetVolume(0);
        } else {
            m_wndEngine.SetVolume(m_nSavedVolume);
        }
        return;
    }
    // A step from mute starts at the volume that muting saved.
    int base = current;
    if (m_bMute) {
        base = m_nSavedVolume;
        m_bMute = false;
    }
    const int next = id == ID_VOLUME_UP ? std::min(base + kVolumeStep, kVolumeMax) : std::max(base - kVolumeStep, 0);
    m_wndEngine.SetVolume(next);
}

void PlayerView::wheelEvent(QWheelEvent* event)
{
    // The wheel over the picture turns the volume, by the commands' steps
    // and rules.
    const int id = event->angleDelta().y() > 0 ? ID_VOLUME_UP : ID_VOLUME_DOWN;
    CommandState state;
    if (event->angleDelta().y() != 0 && OnCmdMsg(id, &state) && state.enabled) OnCmdMsg(id, nullptr);
    event->accept();
}

void PlayerView::OnEditCopy()
{
    // The frame as displayed: the engine window's size, without the black
    // margins and the strip.
    QImage frame(m_wndEngine.size(), QImage::Format_RGB32);
    if (frame.isNull()) return;
    {
        QPainter painter(&frame);
        if (!m_wndEngine.DrawFrame(painter, engine::Rect{0, 0, frame.width(), frame.height()})) return;
    }
    if (!m_clipboard(frame)) engine::ShowMessage(QStringLiteral("Can't open Cipborad"));
}

}  // namespace view
