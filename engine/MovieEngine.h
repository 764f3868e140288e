#pragma once
// The child window that turns a movie file into pictures. It owns the
// drawing surfaces, the open movie's stream and the worker thread that
// pulls frames out of it, presents frames in its window or full screen, and
// sets volume and speed. The player view holds one for its whole life.
//
// Threads: everything runs on the interface thread except the worker (the
// play or the seek worker, one at a time), which runs PlayThreadProc or
// SeekThreadProc and through them StepFrame. Fields shared with the worker
// say so where they are declared.

#include <QTimer>
#include <QWidget>
#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/DrawSurface.h"
#include "engine/Rect.h"
#include "engine/ScreenTarget.h"
#include "engine/WorkerEvent.h"
#include "engine/media/FrameTiming.h"
#include "engine/media/MediaStream.h"

class QPainter;

namespace engine {

class FullScreenWindow;

using media::StreamTime;
using MovieRect = Rect;

class MovieEngine : public QWidget {
public:
    enum PlayState : int { Idle = 0, Playing = 1, Seeking = 2 };
    enum SeekMode : int { SeekOnly = 0, SeekTrack = 1, SeekAndShow = 2 };

    // Where the engine gets its media and drawing objects; tests put
    // stand-ins here.
    struct Services {
        std::shared_ptr<media::MediaFactory> media;
        std::shared_ptr<draw::DrawFactory> draw;
    };
    static Services DefaultServices();

    explicit MovieEngine(QWidget* parent = nullptr, Services services = DefaultServices());
    ~MovieEngine() override;

    // The window's creation: makes the drawing objects. False when they
    // could not all be made (the message has been shown); the window exists
    // either way.
    bool Create();

    // Opening and releasing.
    bool OpenMovie(const std::string& path);
    void ReleaseMedia();
    void ReleaseSurfaces();
    void ReleaseAll();
    void DestroyFullScreenWindow();

    // Queries.
    int GetCurrentMs();
    int GetCurrentFrame();
    int GetTotalFrames();
    MovieRect& GetMovieRect(MovieRect& rect) const;
    int GetPlayState() const;
    int CanSeek() const;
    int IsAtEnd() const;
    bool IsFullScreen() const { return m_bFullScreen; }
    // The movie's length, and the link between its frame numbers and its
    // times, for the desktop's media controls; 0 without a movie.
    StreamTime GetDuration();
    // Whether the frames are the movie's own pictures one by one (they do
    // not come at one steady rate), rather than frame times of its rate.
    bool NumberedByPictures() const;
    StreamTime TimeOfFrame(int frame);
    int FrameAtTime(StreamTime time);
    // The frame a running seek is on its way to, else the current frame.
    int GetSeekTargetFrame();
    // The last frame that has a picture of its own (the last position, the
    // frame count, only repeats the picture before it).
    int GetLastFrame();

    // Playing and seeking.
    int Play();
    void Pause();
    int Seek(int frame, int mode);
    void StopWorker();
    void StartPlayWorker();
    void StartSeekWorker();
    bool StepFrame();
    // Has the stream decode the picture at `target` anew and show it.
    void ShowDecoded(StreamTime target);

    // Drawing surfaces.
    bool InitDirectDraw();
    void UpdateScreenRect();

    // Presentation and sizing.
    bool DrawFrame(QPainter& dc, const Rect& rect);
    // Draws the picture that stands anew from the stream, with what is drawn
    // over it: for a change of the subtitles while paused. Playing, the next
    // picture shows it.
    void RefreshPicture();
    // Moves the surfaces to the size the pictures are drawn at now, once a
    // resize has settled (the view and the size commands call it at once).
    void RebindToScreen();
    bool RestoreFrame(const QImage& source, const Rect& rect);
    // Which pictures are woven into whole ones, for this movie and the next.
    // Paused, the picture that stands is decoded anew to show the change.
    void SetDeinterlace(media::Deinterlace mode);
    void SetSizePercent(int percent);
    bool SetFullScreen(bool on);
    // Makes room for pictures that changed size mid-stream, as the stream
    // now tells it: true when the movie's rectangle changed (or, failing
    // that, the movie had to be closed).
    bool FollowPictureSize();

    // Sound tracks and subtitles (MovieEngineTracks.cpp). The preferences
    // choose the tracks of the movies opened from now on; a choice while
    // paused shows on the picture standing at once.
    void SetTrackPreferences(const media::TrackPreferences& preferences);
    std::vector<media::TrackInfo> GetTracks(media::TrackKind kind);
    int GetSelectedTrack(media::TrackKind kind);  // -1: none
    bool SelectTrack(media::TrackKind kind, int index);
    // Reads a subtitle file into the open movie and shows it; false, the
    // user told why, when it cannot be read.
    bool OpenSubtitleFile(const std::string& path);
    // Tells the user of the subtitle files beside the movie just opened
    // that could not be read.
    void ReportUnreadSubtitles();

    // Volume (0 silent .. 1000 full) and rate (thousandths of normal speed).
    int SetPlaybackRate(int rate);
    int SetVolume(int volume);
    int GetVolume();
    // The rate the stream plays at, in thousandths; 1000 without a movie.
    int GetPlaybackRate() const;
    // Counters that move with every movie opened and every seek asked for,
    // so an observer that polls can tell a new movie or a jump from play.
    unsigned MovieGeneration() const { return m_nMovieGeneration; }
    unsigned SeekGeneration() const { return m_nSeekGeneration; }

    // What is on the screen in this window, and the kept frame at native
    // size (null when no frame is kept): for the clipboard's and the tests'
    // eyes.
    QImage ScreenSnapshot() { return m_screen.Snapshot(); }
    QImage KeptFrame();
    // The stream's own position, in stream time; 0 without a movie.
    StreamTime StreamPosition();
    Rect ScreenRect() const;
    FullScreenWindow* FullScreenWnd() const { return m_pFullScreenWnd; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void moveEvent(QMoveEvent* event) override;

private:
    // Steps of OpenMovie, InitDirectDraw and SetFullScreen; their failures
    // are reported when the operation has ended (see Report).
    bool OpenMediaStream(const std::string& path);
    bool InitRenderToSurface();
    bool InitDirectDrawSurface(bool fullScreen);
    // A failure's message waits until the operation that failed has put the
    // engine back in order: a message box runs the event loop, and the ticks,
    // paints and commands that run under it must find either no movie or a
    // wholly opened one, never one half made or half released.
    void Report(const char* text);
    bool Fails(media::Result result, const char* message);  // reports a failed result
    void ShowReports();

    static void PlayThreadProc(MovieEngine* engine);
    static void SeekThreadProc(MovieEngine* engine);
    void OnPaint(QPainter& dc, const QRect& invalid);
    void PostNcDestroy();
    void LeaveWorker();
    bool MakeSurfaces(bool fullScreen);
    static bool Covers(const std::shared_ptr<draw::Surface>& surface, const Rect& rect);
    bool EnsureSurfaceSize(int width, int height);
    bool BindSamples();
    bool MovieOpen() const { return m_pMMStream != nullptr; }
    // The rectangle the pictures are made in: the screen's size of this
    // window (or of full screen's letter box).
    Rect DrawnRect() const;
    // The picture standing made anew into the scratch surface at `rect`'s
    // size; into the kept frame and onto the screen.
    bool Render(const Rect& rect, bool overlay);
    bool ShowPictureAnew();
    bool PaintPicture(QPainter& dc);
    // Takes in what the stream's reading of the whole file found, once it
    // has: the pictures' own numbering and the true length.
    void FollowTimeline();
    // And the length a recording still being written grows to.
    void FollowLength();
    // How many frames a movie numbered by its pictures has.
    int NumberedFrames() const;
    // Where the movie stands, by the queries' rule.
    StreamTime CurrentTime();
    void SetScreenRect(const Rect& rect);
    // The letter box of full screen for the movie's rectangle; the display.
    draw::Display SetFullScreenRect();

    Services m_services;

    // -- Shared with the worker.
    WorkerEvent m_workerDone;           // set by a worker as it leaves
    // Guards which surface is the kept frame (m_pFrame[0]) and which the
    // render surface (m_pBack) while a worker runs, the kept frame's pixels,
    // and m_bFrameReady's rise.
    std::mutex m_semSurface;
    std::atomic<int> m_nPlayState{Idle};  // interface thread: start and stop request; worker: Idle as it leaves
    std::atomic<bool> m_bFrameReady{false};
    std::atomic<bool> m_bEndOfStream{false};

    // -- Interface thread only.
    bool m_bFullScreen = false;
    media::Deinterlace m_deinterlace = media::Deinterlace::Auto;
    FullScreenWindow* m_pFullScreenWnd = nullptr;  // owned while full screen is on
    MovieRect m_rcMovie;
    // Where on their surfaces the pictures are made: at the size they are
    // drawn at on the screen (the window's client area or full screen's
    // letter box, in device pixels), so each is made in one pass from the
    // decoded picture. Changes only while no worker runs; the worker reads it.
    Rect m_rcDrawn;
    QTimer m_rebindTimer;  // a resize settles before the surfaces follow it

    // Read by the worker for every frame, written by the interface thread.
    mutable std::mutex m_screenMutex;
    Rect m_rcScreen;  // guarded by m_screenMutex

    // Drawing objects; made and released by the interface thread only while
    // no worker runs.
    std::shared_ptr<draw::DrawDevice> m_pDD;
    std::shared_ptr<draw::DrawDevice> m_pDD3;  // the same device, as the surfaces' maker
    std::shared_ptr<draw::DrawFactory> m_pDDFactory;
    std::shared_ptr<draw::Surface> m_pPrimary;
    std::shared_ptr<draw::Surface> m_pBack;
    std::shared_ptr<draw::Surface> m_pFrame[2];
    std::shared_ptr<draw::Clipper> m_pClipper;

    // Media objects of the open movie; like the surfaces, they change only
    // while no worker runs.
    std::shared_ptr<media::MultiMediaStream> m_pMMStream;
    std::shared_ptr<media::MediaStream> m_pVideoStream;
    std::shared_ptr<media::DrawMediaStream> m_pDDStream;
    std::shared_ptr<media::StreamSample> m_pSample;      // bound to m_pBack
    std::shared_ptr<media::StreamSample> m_pKeptSample;  // bound to m_pFrame[0]; the two swap each frame
    std::shared_ptr<media::FilterGraph> m_pGraph;
    std::shared_ptr<media::BasicAudio> m_pBasicAudio;
    std::shared_ptr<media::MediaSeeking> m_pMediaSeeking;
    std::uint32_t m_dwSeekCaps = 0;

    StreamTime m_tTimePerFrame = 0;
    // The rate m_tTimePerFrame was rounded from: every frame number and
    // time of a steady-rate movie is converted through it.
    media::FrameTiming m_timing;
    std::atomic<StreamTime> m_tCurrent{0};     // worker: each frame; interface thread: while Idle
    StreamTime m_tDuration = 0;
    bool m_bDurationSaid = false;  // the header said how long the movie is
    StreamTime m_tFollowed = -1;   // the position the length last grew to follow; -1 never
    // The pictures' own numbering, when they do not come at one steady
    // rate, and where the movie really ends; null until the stream has read
    // the file through. Interface thread only.
    std::shared_ptr<const media::Timeline> m_timeline;
    std::atomic<StreamTime> m_tSeekShown{0};   // seek worker; interface thread before it starts
    std::atomic<StreamTime> m_tSeekTarget{0};  // interface thread; seek worker reads once per frame
    // A new target is handed to the seek worker only while it will still
    // look at it: its last look and its decision to leave are made under
    // this lock, and m_bSeekClosing then turns later targets away.
    std::mutex m_seekLock;
    bool m_bSeekClosing = false;  // guarded by m_seekLock

    std::thread m_worker;  // joined by StopWorker and before the next worker starts
    draw::ScreenTarget m_screen;
    bool m_destroyed = false;
    std::vector<QString> m_reports;  // failures not shown yet
    unsigned m_nMovieGeneration = 0;  // interface thread only, like the two below
    unsigned m_nSeekGeneration = 0;
};

// The full-screen letter box of a movie on a display, by the engine's
// truncating integer rule.
Rect LetterBoxRect(int displayWidth, int displayHeight, int movieWidth, int movieHeight);

}  // namespace engine
