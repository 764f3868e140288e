#pragma once
// The main frame's client: hosts the movie engine, turns commands, timer
// ticks, seek-bar and mouse input into engine calls, writes the status bar,
// keeps the picture at the movie's aspect ratio and draws the thumbnail
// strip along its bottom. Everything here runs on the interface thread.
//
// The view's widget is its client area exactly; its seek bar (a horizontal
// scroll bar) and its sunken border sit in the pane around it, which the
// main frame places.

#include <QByteArray>
#include <QImage>
#include <QStringList>
#include <QWidget>
#include <functional>
#include <memory>

#include "engine/MovieEngine.h"
#include "view/CommandTarget.h"
#include "view/StripGeometry.h"
#include "view/ViewHost.h"

class QScrollBar;

namespace view {

class PlayerView : public QWidget, public CommandTarget {
public:
    // Scroll codes of the seek bar, as its messages carry them.
    enum ScrollCode : int {
        SB_LINELEFT = 0,
        SB_LINERIGHT = 1,
        SB_PAGELEFT = 2,
        SB_PAGERIGHT = 3,
        SB_THUMBPOSITION = 4,
        SB_THUMBTRACK = 5,
        SB_LEFT = 6,
        SB_RIGHT = 7,
        SB_ENDSCROLL = 8,
    };

    // Puts an image on the clipboard; false when the clipboard could not be
    // taken. Tests replace it.
    using ClipboardWriter = std::function<bool(const QImage&)>;

    explicit PlayerView(engine::MovieEngine::Services services = engine::MovieEngine::DefaultServices());
    ~PlayerView() override;

    // Creation in `pane`, which also holds the seek bar; false when the
    // engine window could not be made.
    bool Create(QWidget* pane, ViewHost* host);
    QScrollBar* ScrollBar() const { return m_scrollBar; }

    int OpenMovieFile(const QByteArray& path);
    void UpdateSeekBar();
    void FitFrameToMovie();
    void LayoutStrip(bool discard);
    bool OnCmdMsg(int id, CommandState* state) override;
    void OnHScroll(int code, int position);
    void OnTimer();

    // The four persisted switches, which the main frame loads before the
    // view's window exists.
    bool m_bAutoReplay = false;
    bool m_bScrollBar = false;
    bool m_bShowTime = false;
    bool m_bStrip = false;
    // What the viewer chose last of sound and subtitles, loaded likewise:
    // whether subtitles are shown, and the languages preferred (ISO 639
    // codes, the most preferred first).
    bool m_bSubtitles = true;
    media::Deinterlace m_deinterlace = media::Deinterlace::Auto;
    QStringList m_soundLanguages;
    QStringList m_subtitleLanguages;

    // Adds a subtitle file to the open movie and shows it (a file chosen or
    // dropped); the engine tells the user when it cannot be read.
    bool OpenSubtitleFile(const QByteArray& path);
    static bool IsSubtitleFile(const QByteArray& path);
    // A track's menu label: its number, language, "外部" for a file, and
    // what it is.
    static QString TrackLabel(int number, const media::TrackInfo& track);

    engine::MovieEngine& Engine() { return m_wndEngine; }
    void SetClipboardWriter(ClipboardWriter writer) { m_clipboard = std::move(writer); }

    // Read-only looks for the status of the view (tests and the full
    // window's checks).
    bool IsMuted() const { return m_bMute; }
    bool PlayRequested() const { return m_bPlayRequested; }
    int TotalFrames() const { return m_nTotalFrames; }
    // The path of the open movie as it was opened; empty without one.
    QByteArray MoviePath() const { return m_wndEngine.GetPlayState() >= 0 ? m_moviePath : QByteArray(); }
    const StripGeometry& Strip() const { return m_strip; }
    bool HasStrip() const { return m_pStripBitmap != nullptr; }
    const QImage* StripBitmap() const { return m_pStripBitmap.get(); }
    int SlotFrame(int slot) const { return m_nSlotFrame[slot]; }
    engine::Rect CurrentSlot() const { return m_rcCurrentSlot; }
    engine::Rect PositionMarker() const { return m_rcPosMarker; }
    engine::Rect DragMarkerRect() const { return m_rcDragMarker; }
    bool Dragging() const { return m_bDragging; }

    // The counter text for a position, as the status bar shows it.
    static QString TimeText(int ms);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    void OnSize(int cx, int cy);
    // The pictures changed size mid-stream: room made for them, the window
    // fitted anew.
    void FollowPictureSize();
    void OnFileOpen();
    void OnEditCopy();
    void OnPlayCommand(int id);
    void OnStep(int id);
    void OnSpeed(int id);
    void OnDisplaySize(int id);
    void OnVolume(int id);
    void TogglePlay();
    // Sound tracks and subtitles (PlayerViewTracks.cpp).
    bool OnTrackCmdMsg(int id, CommandState* state);
    bool OnTrack(media::TrackKind kind, int index, CommandState* state);
    void OnSubtitleOpen();
    void RememberChoice(media::TrackKind kind, int index);
    media::TrackPreferences TrackPreferences() const;
    void WriteFlag(const char* key, bool& flag);
    bool OnStrip() const;
    void StripStep(int frame);
    void PaintStrip(QPainter& painter);
    void InvalidateClient(const engine::Rect& rect);

    engine::MovieEngine m_wndEngine;
    ViewHost* m_host = nullptr;
    QScrollBar* m_scrollBar = nullptr;  // owned by the pane
    int m_timerId = 0;

    bool m_bMute = false;
    bool m_bPlayRequested = false;
    int m_nSavedVolume = 0;
    int m_nTotalFrames = 0;
    bool m_bNumberedByPictures = false;  // how the frames were numbered when the seek bar was set up
    int m_cxMovie = 0;
    int m_cyMovie = 0;
    int m_nSizePercent = 100;  // the display size last chosen (or set by an open)

    // The thumbnail strip: its bitmap exists exactly while the strip does.
    std::unique_ptr<QImage> m_pStripBitmap;
    StripGeometry m_strip;
    bool m_bDragging = false;
    int m_nSlotFrame[kMaxSlots];
    engine::Rect m_rcCurrentSlot;
    engine::Rect m_rcDragMarker;
    engine::Rect m_rcPosMarker;

    ClipboardWriter m_clipboard;
    QByteArray m_moviePath;
};

}  // namespace view
