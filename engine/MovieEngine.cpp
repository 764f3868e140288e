#include "engine/MovieEngine.h"

#include <malloc.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include <QPainter>

#include "engine/FullScreenWindow.h"
#include "engine/Notifier.h"

namespace engine {
namespace {

// The fixed texts of the failures of opening a movie.
const char* const kMsgCreateStream =
    "Could not create a CLSID_MultiMediaStream object\nCheck you have run regsvr32 amstream.dll\n";
const char* const kMsgInitialize = "Initialize failed.";
const char* const kMsgAddMediaStream = "AddMediaStream failed.";
const char* const kMsgOpenFile = "Could not Open format not supported. ?";
const char* const kMsgGraphBuilder = "Could not Get GraphBuilder";
const char* const kMsgBasicAudio = "Could not get BasicAudio";
const char* const kMsgMediaSeeking = "Could not get MediaSeeking";
const char* const kMsgRenderToSurface = "Initialization failure in InitRenderToSurface";

// How long a window's size must stand before the surfaces follow it: a
// drag that resizes it makes one change, not one per step of the mouse.
constexpr int kRebindDelayMs = 150;

// What a movie that does not say its length or frame time is taken to have.
constexpr StreamTime kDefaultDuration = 1'000'000'000;  // 100 seconds
constexpr StreamTime kDefaultTimePerFrame = 1'000'000;  // 10 frames per second

}  // namespace

void MovieEngine::Report(const char* text)
{
    m_reports.push_back(QString::fromLatin1(text));
}

bool MovieEngine::Fails(media::Result result, const char* message)
{
    if (media::Succeeded(result)) return false;
    Report(message);
    return true;
}

void MovieEngine::ShowReports()
{
    // Taken out first: another operation may fail while a message is up.
    const std::vector<QString> reports = std::exchange(m_reports, {});
    for (const QString& text : reports) ShowMessage(text);
}

MovieEngine::Services MovieEngine::DefaultServices()
{
    return Services{media::CreateMediaFactory(), draw::CreateDrawFactory()};
}

MovieEngine::MovieEngine(QWidget* parent, Services services)
    : QWidget(parent), m_services(std::move(services)), m_screen(this)
{
    // Every pixel comes from the screen target, so Qt need not clear first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    // Clicks over the picture belong to the view behind it.
    setAttribute(Qt::WA_TransparentForMouseEvents);
    m_rebindTimer.setSingleShot(true);
    m_rebindTimer.setInterval(kRebindDelayMs);
    connect(&m_rebindTimer, &QTimer::timeout, this, &MovieEngine::RebindToScreen);
}

MovieEngine::~MovieEngine()
{
    PostNcDestroy();
}

bool MovieEngine::Create()
{
    m_screen.SyncGeometry();
    return InitDirectDraw();
}

void MovieEngine::PostNcDestroy()
{
    if (m_destroyed) return;
    m_destroyed = true;
    StopWorker();
    ReleaseAll();
    DestroyFullScreenWindow();
}

bool MovieEngine::OpenMovie(const std::string& path)
{
    SetFullScreen(false);
    StopWorker();
    if (MovieOpen()) m_pMMStream->SetState(media::StreamState::Stop);
    ReleaseMedia();  // the previous movie is gone from here on, whatever follows
    if (!OpenMediaStream(path) || !InitRenderToSurface()) {
        ReleaseMedia();
        m_screen.Invalidate(rect());  // back to the idle picture
        ShowReports();
        return false;
    }
    ++m_nMovieGeneration;
    Play();
    return true;
}

bool MovieEngine::OpenMediaStream(const std::string& path)
{
    // Linux paths are bytes; they go to the stream as they are. One that is
    // too long or names nothing is refused by the open below.
    std::shared_ptr<media::MultiMediaStream> stream;
    const media::Result made = m_services.media ? m_services.media->CreateMultiMediaStream(stream) : media::kFail;
    if (Fails(stream ? made : media::kFail, kMsgCreateStream)) return false;
    if (Fails(stream->Initialize(), kMsgInitialize)) return false;
    if (Fails(stream->AddMediaStream(media::StreamPurpose::PrimaryVideo, false), kMsgAddMediaStream)) return false;
    if (Fails(stream->AddMediaStream(media::StreamPurpose::PrimaryAudio, true), kMsgAddMediaStream)) return false;
    stream->SetDeinterlace(m_deinterlace);
    if (Fails(stream->OpenFile(path), kMsgOpenFile)) return false;
    if (Fails(stream->GetFilterGraph(m_pGraph), kMsgGraphBuilder)) return false;
    if (Fails(m_pGraph->QueryBasicAudio(m_pBasicAudio), kMsgBasicAudio)) return false;
    if (Fails(m_pGraph->QueryMediaSeeking(m_pMediaSeeking), kMsgMediaSeeking)) return false;
    m_pMMStream = std::move(stream);
    return true;
}

bool MovieEngine::InitRenderToSurface()
{
    int width = 0;
    int height = 0;
    if (Fails(m_pMMStream->GetMediaStream(media::StreamPurpose::PrimaryVideo, m_pVideoStream), kMsgRenderToSurface) ||
        Fails(m_pVideoStream->QueryDrawMediaStream(m_pDDStream), kMsgRenderToSurface) ||
        Fails(m_pDDStream->GetFormat(width, height), kMsgRenderToSurface))
        return false;
    m_rcMovie = MovieRect{0, 0, width, height};
    m_rcDrawn = DrawnRect();
    const bool surfaces = EnsureSurfaceSize(m_rcDrawn.Width(), m_rcDrawn.Height());
    if (Fails(surfaces && BindSamples() ? media::kOk : media::kFail, kMsgRenderToSurface)) return false;
    m_bFrameReady = false;

    // A query that fails leaves 0, which counts as "not said".
    m_dwSeekCaps = 0;
    m_pMediaSeeking->GetCapabilities(m_dwSeekCaps);
    m_tDuration = 0;
    m_pMMStream->GetDuration(m_tDuration);
    m_bDurationSaid = m_tDuration > 0;
    if (!m_bDurationSaid) m_tDuration = kDefaultDuration;
    m_tTimePerFrame = 0;
    m_pDDStream->GetTimePerFrame(m_tTimePerFrame);
    if (m_tTimePerFrame <= 0) m_tTimePerFrame = kDefaultTimePerFrame;
    std::int64_t num = 0, den = 0;
    m_timing = m_pDDStream->GetFrameRate(num, den) == media::kOk ? media::FrameTiming(num, den) : media::FrameTiming();
    if (!m_timing.Known() || m_timing.TimePerFrame() != m_tTimePerFrame)
        m_timing = media::FrameTiming::OfTimePerFrame(m_tTimePerFrame);
    m_tCurrent = 0;
    m_tFollowed = -1;
    return true;
}

bool MovieEngine::FollowPictureSize()
{
    if (!MovieOpen()) return false;
    int width = 0, height = 0;
    if (media::Failed(m_pDDStream->GetFormat(width, height)) ||
        (width == m_rcMovie.Width() && height == m_rcMovie.Height()))
        return false;
    // The pictures changed size mid-stream. They go on being drawn at the
    // window's size, which the view now fits to them; full screen is
    // letter-boxed anew at once.
    m_rcMovie = MovieRect{0, 0, width, height};
    if (m_bFullScreen) {
        SetFullScreenRect();
        RebindToScreen();
    }
    return true;
}

Rect MovieEngine::DrawnRect() const
{
    const Rect screen = ScreenRect();
    if (screen.Width() > 0 && screen.Height() > 0) return Rect{0, 0, screen.Width(), screen.Height()};
    return Rect{0, 0, std::max(1, m_rcMovie.Width()), std::max(1, m_rcMovie.Height())};
}

void MovieEngine::RebindToScreen()
{
    if (!MovieOpen() || !m_pDD3) return;
    const Rect drawn = DrawnRect();
    if (drawn == m_rcDrawn) return;
    // A seek on its way shows its picture first.
    if (m_nPlayState == Seeking) {
        m_rebindTimer.start();
        return;
    }
    const bool wasPlaying = m_nPlayState == Playing;
    StopWorker();
    m_rcDrawn = drawn;
    if (!EnsureSurfaceSize(drawn.Width(), drawn.Height()) || !BindSamples()) {
        ReleaseMedia();
        m_screen.Invalidate(rect());
        Report(kMsgRenderToSurface);
        ShowReports();
        return;
    }
    ShowPictureAnew();
    if (wasPlaying) {
        m_pMMStream->SetState(media::StreamState::Run);
        StartPlayWorker();
    }
}

bool MovieEngine::EnsureSurfaceSize(int width, int height)
{
    if (!m_pDD3 || !m_pBack || !m_pFrame[0] || !m_pFrame[1]) return false;
    // The render surface and the kept frame are the size the pictures are
    // drawn at: each is converted from the decoded picture to the screen in
    // one pass. DrawFrame sizes its scratch surface to what it draws.
    auto fits = [&](const std::shared_ptr<draw::Surface>& surface) {
        draw::SurfaceDesc desc;
        return media::Succeeded(surface->GetSurfaceDesc(desc)) && desc.width == width && desc.height == height;
    };
    if (fits(m_pBack) && fits(m_pFrame[0])) return true;
    draw::SurfaceDesc desc;
    if (media::Failed(m_pBack->GetSurfaceDesc(desc))) return false;
    desc.flags = draw::kDescCaps | draw::kDescWidth | draw::kDescHeight | draw::kDescPixelFormat;
    desc.caps = draw::kCapsOffscreenPlain;
    desc.width = width;
    desc.height = height;
    std::shared_ptr<draw::Surface> made[2];
    for (auto& surface : made)
        if (media::Failed(m_pDD3->CreateSurface(desc, surface))) return false;
    m_screen.DropSource();  // it may show one of the surfaces that go now
    m_pBack = made[0];
    m_pFrame[0] = made[1];
    return true;
}

bool MovieEngine::BindSamples()
{
    // One sample for each of the two surfaces that take turns as the render
    // surface and the kept frame (see StepFrame).
    return media::Succeeded(m_pDDStream->CreateSample(m_pBack->Pixels(), m_rcDrawn, m_pSample)) &&
           media::Succeeded(m_pDDStream->CreateSample(m_pFrame[0]->Pixels(), m_rcDrawn, m_pKeptSample));
}

void MovieEngine::ReleaseMedia()
{
    // The kept frame belongs to the movie: without one there is nothing to
    // draw, paint or copy.
    m_bFrameReady = false;
    m_timeline.reset();
    m_pMMStream.reset();
    m_pSample.reset();
    m_pKeptSample.reset();
    m_pDDStream.reset();
    m_pVideoStream.reset();
    m_pGraph.reset();
    m_pBasicAudio.reset();
    m_pMediaSeeking.reset();
    // The decoders' memory, freed with the movie, goes back to the system
    // rather than staying in the allocator's pools, which grew with every
    // movie opened.
    malloc_trim(0);
}

void MovieEngine::ReleaseSurfaces()
{
    // The windows may show one of the surfaces that go now.
    m_screen.DropSource();
    if (m_pFullScreenWnd) m_pFullScreenWnd->Target().DropSource();
    m_pPrimary.reset();
    // In full-screen form the render surface is the primary's back buffer and
    // went with it; the reference is dropped all the same.
    m_pBack.reset();
    m_pFrame[0].reset();
    m_pFrame[1].reset();
    m_pClipper.reset();
}

void MovieEngine::ReleaseAll()
{
    ReleaseMedia();
    ReleaseSurfaces();
    m_pDDFactory.reset();
    m_pDD3.reset();
    m_pDD.reset();
}

void MovieEngine::DestroyFullScreenWindow()
{
    if (!m_pFullScreenWnd) return;
    // Gone from the screen and the taskbar back now; the object itself goes
    // later, since the switch may run inside one of its own handlers.
    m_pFullScreenWnd->Dispose();
    m_pFullScreenWnd = nullptr;
}

void MovieEngine::FollowTimeline()
{
    if (!MovieOpen() || m_timeline) return;
    std::shared_ptr<const media::Timeline> timeline;
    if (m_pMMStream->GetTimeline(timeline) != media::kOk || !timeline) return;
    m_timeline = std::move(timeline);
    // A header that did not say how long the movie is: now that is known.
    if (!m_bDurationSaid && m_timeline->end > 0) m_tDuration = m_timeline->end;
}

StreamTime MovieEngine::CurrentTime()
{
    const int state = m_nPlayState;
    StreamTime now = 0;
    if (state == Idle) {
        if (media::Succeeded(m_pMMStream->GetTime(now))) m_tCurrent = now;
        return m_tCurrent;
    }
    // A picture that stands for longer than a frame (a still over its sound,
    // the sound running on past the last picture) keeps the worker waiting
    // in the stream, and the position it stored standing with it; the
    // stream's clock moves on, and so does the counter.
    if (state == Playing && media::Succeeded(m_pMMStream->GetTime(now)) && now - m_tCurrent > m_tTimePerFrame)
        return now;
    return m_tCurrent;
}

int MovieEngine::GetCurrentMs()
{
    if (!MovieOpen()) return 0;
    return static_cast<int>(CurrentTime() / media::kUnitsPerMs);
}

// A header may claim thousands of years: the seek bar and the counter hold
// an int, so such a length counts as many frames as they can show rather
// than wrapping round to a negative count.
static int FrameNumber(StreamTime frames)
{
    return static_cast<int>(std::clamp<StreamTime>(frames, 0, std::numeric_limits<int>::max()));
}

int MovieEngine::GetCurrentFrame()
{
    if (!MovieOpen()) return 0;
    return FrameAtTime(CurrentTime());
}

void MovieEngine::FollowLength()
{
    FollowTimeline();
    // A recording still being written plays on past the length it had when
    // it was opened (or read through): the length follows the position, up
    // to the frame after the one that stands. (A clock that only overshoots
    // the end while the last sound plays out is no such recording.)
    const StreamTime now = m_tCurrent;
    if (now - m_tTimePerFrame > m_tDuration) {
        m_tDuration = m_timing.Start(m_timing.FrameAt(now) + 1);
        m_tFollowed = now;
    }
}

int MovieEngine::NumberedFrames() const
{
    // The timeline was read while the file was shorter when play has gone
    // on past its last picture.
    const int count = m_timeline->Count();
    return m_tFollowed > m_timeline->lastPicture ? std::max(count, m_timeline->FrameAt(m_tFollowed) + 1) : count;
}

bool MovieEngine::NumberedByPictures() const
{
    return m_timeline && m_timeline->Numbers();
}

int MovieEngine::GetTotalFrames()
{
    if (!MovieOpen()) return 0;
    FollowLength();
    // Numbered by its pictures, a movie has as many frames as pictures;
    // otherwise as many frame times as fit in its length.
    return NumberedByPictures() ? NumberedFrames() : FrameNumber(m_timing.FrameAt(m_tDuration));
}

StreamTime MovieEngine::GetDuration()
{
    if (!MovieOpen()) return 0;
    FollowLength();
    return m_tDuration;
}

StreamTime MovieEngine::TimeOfFrame(int frame)
{
    if (!MovieOpen()) return 0;
    FollowTimeline();
    if (m_timeline && m_timeline->Numbers()) return m_timeline->TimeOf(frame);
    return m_timing.Start(frame);
}

int MovieEngine::FrameAtTime(StreamTime time)
{
    if (!MovieOpen()) return 0;
    FollowTimeline();
    // The clock runs on past the last picture while the sound plays out;
    // the counter stays on the last frame.
    if (m_timeline && m_timeline->Numbers()) return std::min(m_timeline->FrameAt(time), NumberedFrames() - 1);
    return FrameNumber(m_timing.FrameAt(time));
}

int MovieEngine::GetSeekTargetFrame()
{
    if (!MovieOpen()) return 0;
    return m_nPlayState == Seeking ? FrameAtTime(m_tSeekTarget.load()) : GetCurrentFrame();
}

int MovieEngine::GetLastFrame()
{
    return std::max(GetTotalFrames() - 1, 0);
}

MovieRect& MovieEngine::GetMovieRect(MovieRect& rect) const
{
    rect = m_rcMovie;
    return rect;
}

int MovieEngine::GetPlayState() const
{
    if (!MovieOpen()) return -1;
    const int state = m_nPlayState;
    return state == Playing ? 1 : state == Seeking ? 2 : 0;
}

int MovieEngine::CanSeek() const
{
    return MovieOpen() && (m_dwSeekCaps & media::kCanSeekAbsolute) ? 1 : 0;
}

int MovieEngine::IsAtEnd() const
{
    return MovieOpen() && m_nPlayState == Idle && m_bEndOfStream ? 1 : 0;
}

StreamTime MovieEngine::StreamPosition()
{
    StreamTime now = 0;
    if (MovieOpen()) m_pMMStream->GetTime(now);
    return now;
}

int MovieEngine::SetPlaybackRate(int rate)
{
    if (!MovieOpen() || !(m_dwSeekCaps & media::kCanSeekAbsolute)) return 0;
    return m_pMediaSeeking->SetRate(static_cast<double>(rate) * 0.001);
}

int MovieEngine::GetPlaybackRate() const
{
    double rate = 1.0;
    if (MovieOpen()) m_pMediaSeeking->GetRate(rate);
    return static_cast<int>(std::lround(rate * 1000.0));
}

int MovieEngine::SetVolume(int volume)
{
    if (!MovieOpen()) return 0;
    return m_pBasicAudio->PutVolume(10 * volume - 10000);
}

int MovieEngine::GetVolume()
{
    if (!MovieOpen()) return 0;
    long level = 0;
    m_pBasicAudio->GetVolume(level);
    return static_cast<int>(level / 10 + 1000);
}

}  // namespace engine
