// The player on the desktop's media controls, driven as the desktop drives
// it: by playerctl over the session bus, while the player keeps running.

#include <QDBusArgument>
#include <QDBusVariant>
#include <QUrl>

#include "DesktopFixture.h"
#include "resources/CommandIds.h"

namespace playertest {
namespace {

using engine::MovieEngine;

const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");
const QString kPlayer = QStringLiteral("org.mpris.MediaPlayer2.Player");

class Mpris : public DesktopFixture {
protected:
    // A position as playerctl writes it, in seconds.
    static QString Seconds(engine::StreamTime time) { return QString::number(time / 1e7, 'f', 6); }
    // The middle of a frame's time on screen: no rounding of the seconds
    // can move it to a neighbour.
    QString Middle(int frame) { return Seconds(engine->TimeOfFrame(frame) + engine->TimeOfFrame(1) / 2); }
    bool Shows(int frame)
    {
        return WaitFor([&] { return engine->GetPlayState() == MovieEngine::Idle && Kept() == frame; });
    }
    void ExpectStatus(const char* command, int state, const char* status)
    {
        Ctl({command});
        EXPECT_TRUE(WaitFor([&] { return engine->GetPlayState() == state; })) << command;
        EXPECT_EQ(Ctl({"status"}), status) << command;
    }
};

}  // namespace

// Collects the positions the player announces after seeks.
class SeekedLog : public QObject {
    Q_OBJECT
public:
    std::vector<qlonglong> positions;
public slots:
    void Seeked(qlonglong position) { positions.push_back(position); }
};

TEST_F(Mpris, PlayPauseAndStopDriveTheEngine)
{
    Start();
    ASSERT_TRUE(Open("frames1000.avi"));
    EXPECT_EQ(Ctl({"status"}), "Playing");
    ASSERT_TRUE(WaitFor([&] { return engine->GetCurrentFrame() >= 5; }));
    ExpectStatus("play-pause", MovieEngine::Idle, "Paused");
    ExpectStatus("play-pause", MovieEngine::Playing, "Playing");
    ExpectStatus("pause", MovieEngine::Idle, "Paused");
    const int paused = engine->GetCurrentFrame();
    ExpectStatus("play", MovieEngine::Playing, "Playing");
    EXPECT_GE(engine->GetCurrentFrame(), paused);  // went on, did not start over
    ExpectStatus("stop", MovieEngine::Idle, "Stopped");
    EXPECT_TRUE(Shows(0));
    ExpectStatus("play", MovieEngine::Playing, "Playing");
}

TEST_F(Mpris, PositionsAndSeeksAreExactToTheFrame)
{
    Start();
    ASSERT_TRUE(Open("frames1000.avi"));
    Ctl({"pause"});
    ASSERT_TRUE(Idle());
    SeekedLog seeked;
    ASSERT_TRUE(m_client.connect(QString(), QStringLiteral("/org/mpris/MediaPlayer2"), kPlayer, QStringLiteral("Seeked"),
                                 &seeked, SLOT(Seeked(qlonglong))));
    const QString tenAndAHalfFrames = Seconds(engine->TimeOfFrame(21) / 2);
    const int last = engine->GetTotalFrames() - 1;
    const struct {
        QString position;
        int frame;
        bool moves;
    } cases[] = {
        {Middle(250), 250, true},
        {tenAndAHalfFrames + "-", 239, true},
        {tenAndAHalfFrames + "+", 249, true},
        {"9999", 249, false},  // past the end: not a place in the movie
        {"9999+", last, true},  // a step past the end goes to the end
        {"9999-", 0, true},
    };
    for (const auto& c : cases) {
        const std::size_t announced = seeked.positions.size();
        Ctl({"position", c.position});
        EXPECT_TRUE(Shows(c.frame)) << c.position.toStdString() << " shows " << Kept();
        // Read as the property: playerctl shows 0 for a stopped player, and
        // both ends of the movie count as stopped.
        const QDBusMessage position = Call(kProperties, QStringLiteral("Get"), {kPlayer, QStringLiteral("Position")});
        EXPECT_EQ(position.arguments().value(0).value<QDBusVariant>().variant().toLongLong(),
                  engine->TimeOfFrame(c.frame) / 10)
            << c.position.toStdString();
        if (!c.moves) continue;
        ASSERT_TRUE(WaitFor([&] { return seeked.positions.size() > announced; })) << c.position.toStdString();
        EXPECT_EQ(seeked.positions.back(), engine->TimeOfFrame(c.frame) / 10) << c.position.toStdString();
    }
    // While playing, playing goes on from the new place.
    Ctl({"play"});
    ASSERT_TRUE(WaitFor([&] { return engine->GetPlayState() == MovieEngine::Playing; }));
    Ctl({"position", Middle(500)});
    EXPECT_TRUE(WaitFor([&] { return engine->GetCurrentFrame() > 500; }));
    EXPECT_EQ(engine->GetPlayState(), MovieEngine::Playing);
}

TEST_F(Mpris, VolumeAndRateMapOntoTheEnginesScales)
{
    Start();
    ASSERT_TRUE(Open("frames1000.avi"));
    // Cubic in amplitude: 0.5 is 18 dB down, 0.1 is 60 dB down.
    const struct {
        const char* volume;
        int engine;
        double readBack;
    } volumes[] = {{"1", 1000, 1.0}, {"0.5", 819, 0.4993}, {"0.1", 400, 0.1}, {"0", 0, 0.0}, {"7", 1000, 1.0}};
    for (const auto& v : volumes) {
        Ctl({"volume", v.volume});
        EXPECT_EQ(engine->GetVolume(), v.engine) << v.volume;
        EXPECT_NEAR(Ctl({"volume"}).toDouble(), v.readBack, 0.0005) << v.volume;
    }
    Command(ID_VOLUME_MUTE);
    EXPECT_EQ(Ctl({"volume"}), "0.000000");
    Ctl({"volume", "0.5"});  // ends the mute, as a volume step from the menu does
    EXPECT_FALSE(view->IsMuted());
    EXPECT_EQ(engine->GetVolume(), 819);

    // Rates pick the nearest of the three speeds; zero pauses.
    const struct {
        double rate;
        int engine;
    } rates[] = {{0.5, 500}, {2.0, 2000}, {1.2, 1000}, {0.6, 500}, {8.0, 2000}};
    for (const auto& r : rates) {
        Call(kProperties, QStringLiteral("Set"), {kPlayer, QStringLiteral("Rate"), QVariant::fromValue(QDBusVariant(r.rate))});
        EXPECT_EQ(engine->GetPlaybackRate(), r.engine) << r.rate;
    }
    Call(kProperties, QStringLiteral("Set"), {kPlayer, QStringLiteral("Rate"), QVariant::fromValue(QDBusVariant(0.0))});
    EXPECT_EQ(engine->GetPlayState(), MovieEngine::Idle);
}

TEST_F(Mpris, MetadataNamesTheMovieAndOnlyFilesOpen)
{
    Start();
    const QString format = QStringLiteral("{{mpris:trackid}}|{{mpris:length}}|{{xesam:title}}|{{xesam:url}}");
    EXPECT_NE(Playerctl({"-p", "reelscope", "metadata"}).code, 0);  // no movie, no metadata
    ASSERT_TRUE(Open("h264.mp4"));
    const QString first = Ctl({"metadata", "--format", format}).section('|', 0, 0);

    // A name a URL has to escape.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("a b#1.avi"));
    ASSERT_TRUE(QFile::copy(QString::fromStdString(MoviePath("mjpeg.avi")), path));
    const QString url = QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded);
    EXPECT_EQ(Playerctl({"-p", "reelscope", "open", url}).code, 0);
    ASSERT_TRUE(WaitFor([&] { return view->MoviePath() == QFile::encodeName(path); }));
    const QStringList fields = Ctl({"metadata", "--format", format}).split('|');
    ASSERT_EQ(fields.size(), 4);
    EXPECT_NE(fields[0], first);
    EXPECT_EQ(fields.mid(1), QStringList({"2000000", "a b#1.avi", url}));

    for (const char* refused : {"http://example.com/movie.avi", "file://elsewhere/movie.avi"})
        EXPECT_NE(Playerctl({"-p", "reelscope", "open", refused}).code, 0) << refused;
    EXPECT_EQ(view->MoviePath(), QFile::encodeName(path));
}

TEST_F(Mpris, TheProgramNamesItselfAndQuitsOnRequest)
{
    Start();
    const QDBusMessage reply = Call(kProperties, QStringLiteral("GetAll"), {QStringLiteral("org.mpris.MediaPlayer2")});
    const QVariantMap root = qdbus_cast<QVariantMap>(reply.arguments().value(0));
    EXPECT_EQ(root.value("Identity").toString(), "Reelscope");
    EXPECT_EQ(root.value("DesktopEntry").toString(), "reelscope");
    // The desktop entry's types, all of them.
    const QStringList types = root.value("SupportedMimeTypes").toStringList();
    EXPECT_EQ(types.size(), 15) << types.join(' ').toStdString();
    EXPECT_TRUE(types.contains("video/x-msvideo") && types.contains("video/dv"));
    Call(QStringLiteral("org.mpris.MediaPlayer2"), QStringLiteral("Quit"));
    EXPECT_FALSE(frame->isVisible());
}

TEST_F(Mpris, TheDesktopHearsOfChangesFromAnyCommand)
{
    Start();
    ASSERT_TRUE(Open("frames1000.avi"));
    QProcess follow;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_address);
    follow.setProcessEnvironment(environment);
    follow.start(QStringLiteral("playerctl"), {"-p", "reelscope", "--follow", "status"});
    QStringList lines;
    auto shown = [&](const QString& status) {
        return WaitFor([&] {
            lines += QString::fromUtf8(follow.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
            return !lines.isEmpty() && lines.last() == status;
        });
    };
    EXPECT_TRUE(shown("Playing"));
    ASSERT_TRUE(WaitFor([&] { return engine->GetCurrentFrame() >= 5; }));
    Command(ID_PAUSE);  // from the menu: the desktop learns of it all the same
    EXPECT_TRUE(shown("Paused")) << lines.join(' ').toStdString();
    Command(ID_PAUSE);
    EXPECT_TRUE(shown("Playing")) << lines.join(' ').toStdString();
    follow.kill();
    follow.waitForFinished();
}

TEST_F(Mpris, ASecondPlayerTakesAnInstanceName)
{
    Start(MovieBytes("frames1000.avi"));
    app::MoviePlayerApp second;
    second.InitInstance(MovieBytes("frames1000.avi"));
    const QString instance = QStringLiteral("reelscope.instance%1").arg(QCoreApplication::applicationPid());
    QStringList players = Playerctl({"-l"}).text.split('\n');
    players.sort();
    EXPECT_EQ(players, QStringList({"reelscope", instance}));
    Playerctl({"-p", instance, "pause"});
    MovieEngine& secondEngine = second.MainFrame()->View().Engine();
    EXPECT_TRUE(WaitFor([&] { return secondEngine.GetPlayState() == MovieEngine::Idle; }));
    EXPECT_EQ(engine->GetPlayState(), MovieEngine::Playing);
}

TEST_F(Mpris, WithoutASessionBusThePlayerRunsSilently)
{
    QTemporaryDir nowhere;
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + QFile::encodeName(nowhere.filePath("bus")));
    Start();
    ASSERT_TRUE(Open("h264.mp4"));
    EXPECT_TRUE(WaitFor([&] { return engine->GetCurrentFrame() >= 5; }));
    EXPECT_TRUE(messages.texts.empty());
    const Output players = Playerctl({"-l"});
    EXPECT_EQ(players.code, 0);
    EXPECT_FALSE(players.text.contains("reelscope"));
}

}  // namespace playertest

#include "MprisTest.moc"
