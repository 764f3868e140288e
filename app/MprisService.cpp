#include "app/MprisService.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDir>
#include <QFile>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <cmath>

#include "app/CommandUi.h"
#include "app/MainFrame.h"
#include "resources/UiResources.h"

namespace app {
namespace {

using engine::MovieEngine;

const QString kObjectPath = QStringLiteral("/org/mpris/MediaPlayer2");
const QString kServiceName = QStringLiteral("org.mpris.MediaPlayer2.reelscope");
const QString kPlayerInterface = QStringLiteral("org.mpris.MediaPlayer2.Player");
const QString kTrackPrefix = QStringLiteral("/reelscope/movie/");

// The engine's volume is linear in decibels: 0 dB at 1000, -100 dB at 0.
// The desktop's sliders are cubic in amplitude (so that their middle sounds
// about half as loud), which puts 1.0 at 0 dB and 0.5 at -18 dB: 60 dB per
// decade of the desktop's volume. What lies below the engine's floor is
// silence.
constexpr double kDecibelsPerDecade = 60.0;

// Engine states, as GetPlayState answers them.
constexpr int kNoMovie = -1;
// A movie opens at the engine's full volume.
constexpr int kFullVolume = 1000;
const QString kRootInterface = QStringLiteral("org.mpris.MediaPlayer2");

QString FileUrl(QByteArray path)
{
    if (!path.startsWith('/')) path = QFile::encodeName(QDir::currentPath()) + '/' + path;
    // The path's own bytes, percent-encoded: names that are not UTF-8 survive.
    return QStringLiteral("file://") + QString::fromLatin1(path.toPercentEncoding("/"));
}

// Microseconds from the engine's 100 ns units, rounded up: the first whole
// microsecond of a frame lies inside it, so that the position told of a
// frame seeks back to that frame.
qlonglong Microseconds(engine::StreamTime time)
{
    return (time + 9) / 10;
}

}  // namespace

bool PlaysOn(view::PlayerView& view)
{
    MovieEngine& engine = view.Engine();
    if (engine.GetPlayState() == MovieEngine::Playing) return true;
    // The view starts the movie over on its next tick.
    return engine.IsAtEnd() && view.PlayRequested() && view.m_bAutoReplay;
}

// ---- The service

MprisService::MprisService(CMainFrame& frame)
    : m_frame(frame), m_player(new MprisPlayer(this, frame)), m_bus(QString())
{
    new MprisRoot(this, frame, *m_player);  // a child, like the player's interface
    m_frame.SetMovieOpenedHandler([this] { OnMovieOpened(); });
}

MprisService::~MprisService()
{
    m_frame.SetMovieOpenedHandler(nullptr);
    if (!m_name.isEmpty()) m_bus.unregisterObject(kObjectPath);
}

void MprisService::OnMovieOpened()
{
    // At once, not on the next poll: the movie already plays.
    if (!m_player->m_nextVolume) return;
    m_frame.View().Engine().SetVolume(*m_player->m_nextVolume);
    m_player->m_nextVolume.reset();
}

bool MprisService::Register(QDBusConnection bus)
{
    // The object first: a control that sees the name appear asks it at once.
    if (!bus.registerObject(kObjectPath, this, QDBusConnection::ExportAdaptors)) return false;
    QString name = kServiceName;
    if (!bus.registerService(name)) {
        name += QStringLiteral(".instance") + QString::number(QCoreApplication::applicationPid());
        if (!bus.registerService(name)) {
            bus.unregisterObject(kObjectPath);
            return false;
        }
    }
    m_bus = bus;
    m_name = name;
    m_last = Take();
    m_seekGeneration = m_frame.View().Engine().SeekGeneration();
    return true;
}

MprisService::Snapshot MprisService::Take() const
{
    MovieEngine& engine = m_frame.View().Engine();
    Snapshot now;
    now.status = m_player->PlaybackStatus();
    now.open = engine.GetPlayState() != kNoMovie;
    now.movie = engine.MovieGeneration();
    now.title = now.open ? m_frame.Caption() : QString();
    now.volume = m_player->EngineVolume();
    now.rate = engine.GetPlaybackRate();
    now.canSeek = m_player->CanSeek();
    now.loop = m_player->LoopStatus();
    now.fullScreen = m_player->Checked(ID_FULL_SCREEN);
    now.canFullScreen = m_player->Enabled(ID_FULL_SCREEN);
    return now;
}

void MprisService::Announce(const QString& interface, const QVariantMap& changed)
{
    if (changed.isEmpty()) return;
    QDBusMessage signal = QDBusMessage::createSignal(kObjectPath, QStringLiteral("org.freedesktop.DBus.Properties"),
                                                     QStringLiteral("PropertiesChanged"));
    signal << interface << changed << QStringList();
    m_bus.send(signal);
}

void MprisService::Poll()
{
    if (m_name.isEmpty()) return;
    const Snapshot now = Take();
    QVariantMap changed;
    if (now.status != m_last.status) changed.insert(QStringLiteral("PlaybackStatus"), now.status);
    const bool newMovie = now.open != m_last.open || now.movie != m_last.movie || now.title != m_last.title;
    if (newMovie) {
        changed.insert(QStringLiteral("Metadata"), m_player->Metadata());
        changed.insert(QStringLiteral("CanPlay"), m_player->CanPlay());
        changed.insert(QStringLiteral("CanPause"), m_player->CanPause());
    }
    if (newMovie || now.canSeek != m_last.canSeek) changed.insert(QStringLiteral("CanSeek"), now.canSeek);
    if (now.volume != m_last.volume) changed.insert(QStringLiteral("Volume"), m_player->Volume());
    if (now.rate != m_last.rate) changed.insert(QStringLiteral("Rate"), m_player->Rate());
    if (now.loop != m_last.loop) changed.insert(QStringLiteral("LoopStatus"), now.loop);
    QVariantMap rootChanged;
    if (now.fullScreen != m_last.fullScreen) rootChanged.insert(QStringLiteral("Fullscreen"), now.fullScreen);
    if (now.canFullScreen != m_last.canFullScreen)
        rootChanged.insert(QStringLiteral("CanSetFullscreen"), now.canFullScreen);

    // A jump is announced once the picture has settled where it went.
    MovieEngine& engine = m_frame.View().Engine();
    const unsigned seeks = engine.SeekGeneration();
    if (seeks != m_seekGeneration && engine.GetPlayState() != MovieEngine::Seeking) {
        m_seekGeneration = seeks;
        emit m_player->Seeked(m_player->Position());
    }
    m_last = now;
    Announce(kPlayerInterface, changed);
    Announce(kRootInterface, rootChanged);
}

// ---- org.mpris.MediaPlayer2

MprisRoot::MprisRoot(MprisService* service, CMainFrame& frame, MprisPlayer& player)
    : QDBusAbstractAdaptor(service), m_frame(frame), m_player(player)
{
}

QString MprisRoot::Identity() const
{
    return QString::fromLatin1(ui::kAppName);
}

QString MprisRoot::DesktopEntry() const
{
    return QStringLiteral("reelscope");
}

QStringList MprisRoot::SupportedUriSchemes() const
{
    return {QStringLiteral("file")};
}

QStringList MprisRoot::SupportedMimeTypes() const
{
    // The desktop entry's list, taken from it when the program was built.
    return QString::fromLatin1(REELSCOPE_MIME_TYPES).split(QLatin1Char(','), Qt::SkipEmptyParts);
}

bool MprisRoot::Fullscreen() const
{
    return m_player.Checked(ID_FULL_SCREEN);
}

bool MprisRoot::CanSetFullscreen() const
{
    return m_player.Enabled(ID_FULL_SCREEN);
}

void MprisRoot::SetFullscreen(bool on)
{
    if (on != Fullscreen()) m_player.Run(ID_FULL_SCREEN);  // a toggle, under its rule
}

void MprisRoot::Raise()
{
    m_frame.setWindowState(m_frame.windowState() & ~Qt::WindowMinimized);
    m_frame.show();
    m_frame.raise();
    m_frame.activateWindow();
}

void MprisRoot::Quit()
{
    m_frame.close();  // as the close box: the program ends with its window
}

// ---- org.mpris.MediaPlayer2.Player

MprisPlayer::MprisPlayer(MprisService* service, CMainFrame& frame)
    : QDBusAbstractAdaptor(service), m_service(service), m_frame(frame)
{
}

bool MprisPlayer::Enabled(int id) const
{
    view::CommandState state;
    return m_frame.OnCmdMsg(id, &state) && state.enabled;
}

bool MprisPlayer::Checked(int id) const
{
    view::CommandState state;
    return m_frame.OnCmdMsg(id, &state) && state.checked;
}

void MprisPlayer::Run(int id)
{
    m_frame.Commands().Execute(id);
    m_service->Poll();  // the desktop hears of it now, not on the next poll
}

int MprisPlayer::State() const
{
    return m_frame.View().Engine().GetPlayState();
}

bool MprisPlayer::AtEitherEnd() const
{
    // Where a seek on its way goes, so that Stop (a seek to the start) is
    // told as Stopped at once, not as Paused on the way there.
    MovieEngine& engine = m_frame.View().Engine();
    const int frame = engine.GetSeekTargetFrame();
    return frame <= 0 || frame >= engine.GetTotalFrames() - 1;
}

QString MprisPlayer::PlaybackStatus() const
{
    // "Stopped" is where Play starts the movie from its beginning: without
    // a movie, and standing at either end of one (after Stop, Go to Start or
    // the end of the movie). Standing anywhere else is "Paused": Play goes
    // on from there.
    if (PlaysOn(m_frame.View())) return QStringLiteral("Playing");
    if (State() == kNoMovie || AtEitherEnd()) return QStringLiteral("Stopped");
    return QStringLiteral("Paused");
}

bool MprisPlayer::CanPlay() const
{
    return Enabled(ID_PLAY);
}

bool MprisPlayer::CanPause() const
{
    return Enabled(ID_PAUSE);
}

bool MprisPlayer::CanSeek() const
{
    return Enabled(ID_GO_START);  // the seek bar's rule: a movie that can seek
}

void MprisPlayer::Play()
{
    if (!Enabled(ID_PLAY)) return;
    const QString status = PlaybackStatus();
    if (status == QLatin1String("Playing")) return;
    // The menu's Play always starts from the first frame; a paused movie
    // goes on where it stands, through Pause's toggle.
    Run(status == QLatin1String("Stopped") ? ID_PLAY : ID_PAUSE);
}

void MprisPlayer::Pause()
{
    if (State() == MovieEngine::Playing) Run(ID_PAUSE);
    // At the end, about to start over: Pause's toggle would play; the movie
    // stays at its end instead.
    else if (PlaysOn(m_frame.View())) Run(ID_STOP);
}

void MprisPlayer::PlayPause()
{
    if (PlaysOn(m_frame.View())) Pause();
    else Play();
}

void MprisPlayer::Stop()
{
    // The menu's Stop only pauses. The desktop's Stop also goes back to the
    // first frame, so that the next Play starts the movie over as the
    // desktop expects; a movie that cannot seek stays paused where it is.
    // The desktop hears of both as one: Stopped, never Paused on the way.
    if (!Enabled(ID_STOP)) return;
    m_frame.Commands().Execute(ID_STOP);
    Run(ID_GO_START);
}

qlonglong MprisPlayer::Length() const
{
    return m_frame.View().Engine().GetDuration() / 10;  // 100 ns units to microseconds
}

qlonglong MprisPlayer::Position() const
{
    // The start of the frame on screen, so that a position read back after
    // a seek is the one sought to. While playing, the frame due by the
    // movie's clock: right after a jump into play (Play, continuous play
    // starting over, a seek) that picture is not out yet, and the desktop is
    // to hear where playing goes on from, not where it was.
    MovieEngine& engine = m_frame.View().Engine();
    const int state = State();
    if (state == kNoMovie) return 0;
    const int frame = state == MovieEngine::Playing
                          ? std::clamp(engine.FrameAtTime(engine.StreamPosition()), 0, engine.GetLastFrame())
                          : engine.GetCurrentFrame();
    return Microseconds(engine.TimeOfFrame(frame));
}

void MprisPlayer::SeekTo(qlonglong position)
{
    MovieEngine& engine = m_frame.View().Engine();
    // No further than the last frame's start: past it the stream runs into
    // its end, which the engine then reports as position 0.
    const int frame = std::clamp(engine.FrameAtTime(position * 10), 0, std::max(0, engine.GetTotalFrames() - 1));
    if (State() == MovieEngine::Playing) {
        // Playing goes on from the new place, as it does from the first frame
        // after the menu's Play.
        engine.Seek(frame, MovieEngine::SeekOnly);
        engine.Play();
    } else {
        engine.Seek(frame, MovieEngine::SeekAndShow);
    }
    m_service->Poll();
}

void MprisPlayer::Seek(qlonglong Offset)
{
    if (!CanSeek()) return;
    // Compared against the distances left, so that no offset can overflow.
    // Past the end goes to the last frame: there is no next movie to go on
    // to, and a jump that does nothing would look broken.
    const qlonglong position = Position();
    const qlonglong length = Length();
    if (Offset > length - position) SeekTo(length);
    else if (Offset < -position) SeekTo(0);
    else SeekTo(position + Offset);
}

void MprisPlayer::SetPosition(const QDBusObjectPath& TrackId, qlonglong Position)
{
    // A request for another movie than the one open is stale: ignored, as
    // are positions outside the movie.
    if (!CanSeek() || TrackId != this->TrackId() || Position < 0 || Position > Length()) return;
    SeekTo(Position);
}

void MprisPlayer::OpenUri(const QString& Uri)
{
    const QUrl url(Uri, QUrl::StrictMode);
    const bool local = url.isValid() && url.scheme() == QLatin1String("file") &&
                       (url.host().isEmpty() || url.host() == QLatin1String("localhost"));
    const QByteArray path = QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
    if (!local || !path.startsWith('/')) {
        if (m_service->calledFromDBus())
            m_service->sendErrorReply(QDBusError::InvalidArgs, QStringLiteral("Only file:// addresses open"));
        return;
    }
    // Opened like a drop, once the caller has its answer: a movie that fails
    // to open shows a message box, which the caller must not wait for.
    CMainFrame* frame = &m_frame;
    QTimer::singleShot(0, frame, [frame, path] { frame->View().OpenMovieFile(path); });
}

double MprisPlayer::ToDesktopVolume(int engineVolume)
{
    if (engineVolume <= 0) return 0.0;
    return std::pow(10.0, (std::min(engineVolume, 1000) - 1000) / (10.0 * kDecibelsPerDecade));
}

int MprisPlayer::ToEngineVolume(double desktopVolume)
{
    if (!(desktopVolume > 0.0)) return 0;  // NaN too
    if (desktopVolume >= 1.0) return 1000;
    const double volume = 1000.0 + 10.0 * kDecibelsPerDecade * std::log10(desktopVolume);
    return std::clamp(static_cast<int>(std::lround(volume)), 0, 1000);
}

int MprisPlayer::EngineVolume() const
{
    if (State() == kNoMovie) return m_nextVolume.value_or(kFullVolume);
    return m_frame.View().Engine().GetVolume();
}

double MprisPlayer::Volume() const
{
    return ToDesktopVolume(EngineVolume());
}

void MprisPlayer::SetVolume(double volume)
{
    const int level = ToEngineVolume(volume);
    // Without a movie the desktop's slider still moves: what it says is kept
    // for the next movie, so that it does not start at full volume.
    if (State() == kNoMovie) {
        m_nextVolume = level;
        m_service->Poll();
        return;
    }
    if (!Enabled(ID_VOLUME_UP)) return;  // the volume commands' rule: a movie open
    // A volume given while muted ends the mute, as a volume step from the
    // menu does.
    if (m_frame.View().IsMuted() && level > 0) m_frame.Commands().Execute(ID_VOLUME_MUTE);
    m_frame.View().Engine().SetVolume(level);
    m_service->Poll();
}

QString MprisPlayer::LoopStatus() const
{
    return Checked(ID_AUTO_REPLAY) ? QStringLiteral("Track") : QStringLiteral("None");
}

void MprisPlayer::SetLoopStatus(const QString& status)
{
    // One movie and no list: "Playlist" has nothing to loop through.
    if (status != QLatin1String("Track") && status != QLatin1String("None")) {
        if (m_service->calledFromDBus())
            m_service->sendErrorReply(QDBusError::InvalidArgs, QStringLiteral("LoopStatus is None or Track"));
        return;
    }
    // Through the command, as the menu goes: its rule, and the setting saved.
    if (status != LoopStatus()) Run(ID_AUTO_REPLAY);
}

double MprisPlayer::Rate() const
{
    return m_frame.View().Engine().GetPlaybackRate() / 1000.0;
}

void MprisPlayer::SetRate(double rate)
{
    // Zero is the desktop's way of asking for a pause; any other rate picks
    // the nearest of the three speeds (nearest by ratio: 0.7 is closer to
    // half speed than to normal).
    if (rate == 0.0) {
        Pause();
        return;
    }
    if (!(rate > 0.0)) return;  // NaN, or backwards
    Run(rate < std::sqrt(0.5) ? ID_SPEED_HALF : rate < std::sqrt(2.0) ? ID_SPEED_NORMAL : ID_SPEED_DOUBLE);
}

QDBusObjectPath MprisPlayer::TrackId() const
{
    return QDBusObjectPath(kTrackPrefix + QString::number(m_frame.View().Engine().MovieGeneration()));
}

QVariantMap MprisPlayer::Metadata() const
{
    if (State() == kNoMovie) return {};
    return {
        {QStringLiteral("mpris:trackid"), QVariant::fromValue(TrackId())},
        {QStringLiteral("mpris:length"), Length()},
        {QStringLiteral("xesam:title"), m_frame.Caption()},
        {QStringLiteral("xesam:url"), FileUrl(m_frame.View().MoviePath())},
    };
}

}  // namespace app
