#pragma once
// The player on the desktop's media controls (MPRIS 2 over D-Bus): media
// keys, the desktop's panels, playerctl and remote-control programs see
// the movie and carry out the menus' commands through it, under the
// menus' enable rules.
//
// The engine never calls out, so the service looks at the player on each
// poll and announces only what changed since it last did; everything runs
// on the interface thread.

#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusObjectPath>
#include <QObject>
#include <QStringList>
#include <QVariantMap>
#include <optional>

namespace view {
class PlayerView;
}

namespace app {

class CMainFrame;
class MprisPlayer;

// Playing as the desktop sees it: the movie plays, or it stands at its end
// for the moment before continuous play starts it over. That moment is no
// stop: neither the desktop's controls nor the screen saver hear of it.
bool PlaysOn(view::PlayerView& view);

// The object at the player's path. D-Bus gives the calls' context to the
// object the interfaces belong to: that is here, not in the interfaces.
class MprisService : public QObject, public QDBusContext {
    Q_OBJECT

public:
    explicit MprisService(CMainFrame& frame);
    ~MprisService() override;

    // Puts the service on `bus` under the player's name, or, with another
    // Reelscope already there, under one carrying this process's id. False
    // when neither name could be had.
    bool Register(QDBusConnection bus);
    QString ServiceName() const { return m_name; }

    // Announces what changed in the player since the last poll.
    void Poll();

private:
    struct Snapshot {
        QString status;
        bool open = false;
        unsigned movie = 0;
        QString title;
        int volume = 0;
        int rate = 0;
        bool canSeek = false;
        QString loop;
        bool fullScreen = false;
        bool canFullScreen = false;
        bool operator==(const Snapshot&) const = default;
    };
    Snapshot Take() const;
    void Announce(const QString& interface, const QVariantMap& changed);
    void OnMovieOpened();

    CMainFrame& m_frame;
    MprisPlayer* m_player;  // owned as a child
    QDBusConnection m_bus;
    QString m_name;
    Snapshot m_last;
    unsigned m_seekGeneration = 0;
};

// org.mpris.MediaPlayer2: the program itself.
class MprisRoot : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2")
    Q_PROPERTY(bool CanQuit READ CanQuit)
    Q_PROPERTY(bool CanRaise READ CanRaise)
    Q_PROPERTY(bool HasTrackList READ HasTrackList)
    Q_PROPERTY(QString Identity READ Identity)
    Q_PROPERTY(QString DesktopEntry READ DesktopEntry)
    Q_PROPERTY(QStringList SupportedUriSchemes READ SupportedUriSchemes)
    Q_PROPERTY(QStringList SupportedMimeTypes READ SupportedMimeTypes)
    Q_PROPERTY(bool Fullscreen READ Fullscreen WRITE SetFullscreen)
    Q_PROPERTY(bool CanSetFullscreen READ CanSetFullscreen)

public:
    // Commands go through `player`, under its enable rules.
    MprisRoot(MprisService* service, CMainFrame& frame, MprisPlayer& player);

    bool CanQuit() const { return true; }
    bool CanRaise() const { return true; }
    bool HasTrackList() const { return false; }
    QString Identity() const;
    QString DesktopEntry() const;
    QStringList SupportedUriSchemes() const;
    QStringList SupportedMimeTypes() const;
    // The full-screen command's state and rule.
    bool Fullscreen() const;
    void SetFullscreen(bool on);
    bool CanSetFullscreen() const;

public slots:
    void Raise();
    void Quit();

private:
    CMainFrame& m_frame;
    MprisPlayer& m_player;
};

// org.mpris.MediaPlayer2.Player: the movie and its playback. Positions are
// microseconds, as the desktop counts them.
class MprisPlayer : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
    Q_PROPERTY(QString PlaybackStatus READ PlaybackStatus)
    Q_PROPERTY(double Rate READ Rate WRITE SetRate)
    Q_PROPERTY(QVariantMap Metadata READ Metadata)
    Q_PROPERTY(double Volume READ Volume WRITE SetVolume)
    Q_PROPERTY(QString LoopStatus READ LoopStatus WRITE SetLoopStatus)
    Q_PROPERTY(qlonglong Position READ Position)
    Q_PROPERTY(double MinimumRate READ MinimumRate)
    Q_PROPERTY(double MaximumRate READ MaximumRate)
    Q_PROPERTY(bool CanGoNext READ CanGoNext)
    Q_PROPERTY(bool CanGoPrevious READ CanGoPrevious)
    Q_PROPERTY(bool CanPlay READ CanPlay)
    Q_PROPERTY(bool CanPause READ CanPause)
    Q_PROPERTY(bool CanSeek READ CanSeek)
    Q_PROPERTY(bool CanControl READ CanControl)

public:
    MprisPlayer(MprisService* service, CMainFrame& frame);

    QString PlaybackStatus() const;
    double Rate() const;
    void SetRate(double rate);
    QVariantMap Metadata() const;
    double Volume() const;
    void SetVolume(double volume);
    // Continuous play: "Track" while it is on, else "None".
    QString LoopStatus() const;
    void SetLoopStatus(const QString& status);
    qlonglong Position() const;
    double MinimumRate() const { return 0.5; }
    double MaximumRate() const { return 2.0; }
    bool CanGoNext() const { return false; }
    bool CanGoPrevious() const { return false; }
    bool CanPlay() const;
    bool CanPause() const;
    bool CanSeek() const;
    bool CanControl() const { return true; }

    // The engine's volume (0..1000, linear in decibels) and the desktop's
    // (0.0..1.0), both ways.
    static double ToDesktopVolume(int engineVolume);
    static int ToEngineVolume(double desktopVolume);

public slots:
    void Next() {}
    void Previous() {}
    void Play();
    void Pause();
    void PlayPause();
    void Stop();
    void Seek(qlonglong Offset);
    void SetPosition(const QDBusObjectPath& TrackId, qlonglong Position);
    void OpenUri(const QString& Uri);

signals:
    void Seeked(qlonglong Position);

private:
    friend class MprisService;
    friend class MprisRoot;
    bool Enabled(int id) const;
    bool Checked(int id) const;
    void Run(int id);
    int State() const;
    bool AtEitherEnd() const;
    QDBusObjectPath TrackId() const;
    qlonglong Length() const;
    void SeekTo(qlonglong position);
    // The engine's volume, or without a movie the one the next will get.
    int EngineVolume() const;

    MprisService* m_service;
    CMainFrame& m_frame;
    // Given while no movie was open, for the next one to open.
    std::optional<int> m_nextVolume;
};

}  // namespace app
