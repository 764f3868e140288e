// The player's place on the desktop, driven as the desktop drives it: by
// playerctl, a client people use, over a private session bus that this
// program starts, and against a stand-in for the screen saver and the
// portal. Nothing of the machine's desktop is on that bus, and nothing is
// started on demand.

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QFile>
#include <QProcess>
#include <csignal>
#include <sys/prctl.h>
#include <QTemporaryDir>
#include <QThread>
#include <QUrl>
#include <functional>
#include <map>
#include <mutex>
#include <set>

#include "PlayerFixture.h"

namespace playertest {
namespace {

const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");
const QString kPlayer = QStringLiteral("org.mpris.MediaPlayer2.Player");
const QString kRequests = QStringLiteral("/org/freedesktop/portal/desktop/request/r");

// The bus and playerctl go with the test program even when it crashes: left
// behind they would hold whatever it holds open (the build lock, say).
void DiesWithTheTest(QProcess& process)
{
    process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
}

// One bus for the whole program, in place before anything connects: libdbus
// reads the session's address once per process.
class PrivateSessionBus : public ::testing::Environment {
public:
    void SetUp() override
    {
        m_dir = std::make_unique<QTemporaryDir>();  // made now: Qt objects want the application
        m_daemon = std::make_unique<QProcess>();
        DiesWithTheTest(*m_daemon);
        QFile config(m_dir->filePath(QStringLiteral("bus.conf")));
        ASSERT_TRUE(config.open(QIODevice::WriteOnly));
        config.write(QStringLiteral("<busconfig><type>session</type><listen>unix:dir=%1</listen><auth>EXTERNAL</auth>"
                                    "<policy context='default'><allow send_destination='*' eavesdrop='true'/>"
                                    "<allow eavesdrop='true'/><allow own='*'/></policy></busconfig>")
                         .arg(m_dir->path())
                         .toUtf8());
        config.close();
        m_daemon->start(QStringLiteral("dbus-daemon"), {"--config-file=" + config.fileName(), "--nofork", "--print-address"});
        ASSERT_TRUE(WaitFor([&] { return m_daemon->canReadLine(); })) << "dbus-daemon: scripts/setup.sh installs it";
        qputenv("DBUS_SESSION_BUS_ADDRESS", m_daemon->readLine().trimmed());
    }
    void TearDown() override
    {
        m_daemon->terminate();
        if (!m_daemon->waitForFinished(5000)) m_daemon->kill();
        m_daemon.reset();
        m_dir.reset();
    }

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<QProcess> m_daemon;
};

[[maybe_unused]] ::testing::Environment* const g_bus = ::testing::AddGlobalTestEnvironment(new PrivateSessionBus);

// Grants every inhibition, the screen saver's (a cookie) and the portal's (a
// request object, closed to end it), and counts what is still held. It
// answers from a thread of its own, as a desktop answers from its process.
class InhibitStandIn : public QDBusVirtualObject {
public:
    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& bus) override
    {
        std::lock_guard lock(mutex);
        const QVariantList arguments = message.arguments();
        if (message.member() == "Inhibit") {
            held.insert(++granted);
            const bool portal = message.interface() == "org.freedesktop.portal.Inhibit";
            if (portal) portalFlags = arguments.value(1).toUInt();
            bus.send(message.createReply(portal ? QVariant::fromValue(QDBusObjectPath(kRequests + QString::number(granted)))
                                                : QVariant(granted)));
            return true;
        }
        if (message.member() != "UnInhibit" && message.member() != "Close") return false;
        const uint token = message.member() == "Close" ? message.path().mid(kRequests.size()).toUInt() : arguments.value(0).toUInt();
        strangers += held.erase(token) == 0 ? 1 : 0;  // given back, but never granted
        bus.send(message.createReply());
        return true;
    }

    std::mutex mutex;
    std::set<uint> held;
    uint granted = 0;
    int strangers = 0;
    uint portalFlags = 0;
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

class DesktopFixture : public PlayerFixture {
protected:
    void SetUp() override
    {
        PlayerFixture::SetUp();
        m_client = QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("test"));
        ASSERT_TRUE(m_client.isConnected());
    }
    void TearDown() override
    {
        PlayerFixture::TearDown();
        for (QDBusConnection* bus : {&m_client, &m_standInBus}) *bus = QDBusConnection(QString());
        QDBusConnection::disconnectFromBus(QStringLiteral("test"));
        QDBusConnection::disconnectFromBus(QStringLiteral("stand-in"));
        m_thread.quit();
        m_thread.wait();
    }

    // playerctl run to its end while the player answers: its output, trimmed,
    // and its exit code (-1 when it did not end).
    std::pair<QString, int> Playerctl(const QStringList& args)
    {
        QProcess process;
        DiesWithTheTest(process);
        process.start(QStringLiteral("playerctl"), args);
        const bool ended = WaitFor([&] { return process.state() == QProcess::NotRunning; }, 10000);
        if (!ended) process.kill();
        process.waitForFinished();
        const bool ok = ended && process.exitStatus() == QProcess::NormalExit;
        return {QString::fromUtf8(process.readAllStandardOutput()).trimmed(), ok ? process.exitCode() : -1};
    }
    QString Ctl(const QStringList& args) { return Playerctl(QStringList{"-p", "reelscope"} + args).first; }

    // A property of the player, read or written from the test's connection
    // while the player runs on.
    QVariant Property(const QString& interface, const QString& name, const QVariant& value = {})
    {
        QDBusMessage message = QDBusMessage::createMethodCall(
            QStringLiteral("org.mpris.MediaPlayer2.reelscope"), QStringLiteral("/org/mpris/MediaPlayer2"), kProperties,
            value.isValid() ? QStringLiteral("Set") : QStringLiteral("Get"));
        message << interface << name;
        if (value.isValid()) message << QVariant::fromValue(QDBusVariant(value));
        const QDBusPendingCall call = m_client.asyncCall(message, 5000);
        WaitFor([&] { return call.isFinished(); }, 6000);
        return call.reply().arguments().value(0).value<QDBusVariant>().variant();
    }

    // The inhibitor's stand-in under the screen saver's name, or only the portal's.
    void Serve(const QString& name)
    {
        m_standInBus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("stand-in"));
        ASSERT_TRUE(m_standInBus.registerVirtualObject("/org/freedesktop", &m_standIn, QDBusConnection::SubPath));
        m_standIn.moveToThread(&m_thread);
        m_thread.start();
        ASSERT_TRUE(m_standInBus.registerService(name));
    }
    int Held()
    {
        std::lock_guard lock(m_standIn.mutex);
        return static_cast<int>(m_standIn.held.size());
    }

    static QString Seconds(engine::StreamTime time) { return QString::number(time / 1e7, 'f', 6); }
    void ExpectStatus(const char* command, int state, const char* status)
    {
        Ctl({command});
        EXPECT_TRUE(WaitFor([&] { return engine->GetPlayState() == state; })) << command;
        EXPECT_EQ(Ctl({"status"}), status) << command;
    }
    // Plays a movie and leaves it each way in turn.
    void ExpectHeldOnlyWhilePlaying(const std::vector<std::string>& ways)
    {
        const std::map<std::string, std::function<void()>> leave = {
            {"pause", [this] { Command(ID_PAUSE); }},
            {"stop", [this] { Command(ID_STOP); }},
            {"the end", [] {}},
            {"a failed open", [this] { view->OpenMovieFile("/nonexistent/movie.avi"); }},
            {"exit", [this] { player.reset(); }},
        };
        for (const std::string& way : ways) {
            Start();
            ASSERT_TRUE(Open("h264.mp4"));
            ASSERT_TRUE(WaitFor([&] { return Held() == 1; })) << way;
            leave.at(way)();
            EXPECT_TRUE(WaitFor([&] { return Held() == 0; }, 8000)) << way;
        }
        std::lock_guard lock(m_standIn.mutex);
        EXPECT_EQ(m_standIn.granted, ways.size());  // asked once per play
        EXPECT_EQ(m_standIn.strangers, 0);
    }

    QDBusConnection m_client{QString()};
    QDBusConnection m_standInBus{QString()};
    InhibitStandIn m_standIn;
    QThread m_thread;
};

using Mpris = DesktopFixture;

TEST_F(Mpris, PlayPauseAndStopDriveTheEngine)
{
    Start();
    ASSERT_TRUE(Open("frames1000.avi"));
    ASSERT_TRUE(WaitFor([&] { return engine->GetCurrentFrame() >= 5; }));
    ExpectStatus("play-pause", MovieEngine::Idle, "Paused");
    ExpectStatus("play-pause", MovieEngine::Playing, "Playing");
    ExpectStatus("pause", MovieEngine::Idle, "Paused");
    const int paused = engine->GetCurrentFrame();
    ExpectStatus("play", MovieEngine::Playing, "Playing");
    EXPECT_GE(engine->GetCurrentFrame(), paused);  // went on, did not start over
    ExpectStatus("stop", MovieEngine::Idle, "Stopped");
    EXPECT_EQ(Kept(), 0);
    ExpectStatus("play", MovieEngine::Playing, "Playing");
}

TEST_F(Mpris, TheDesktopHearsOfAPauseFromTheMenu)
{
    Start(MovieBytes("frames1000.avi"));
    ASSERT_TRUE(WaitFor([&] { return engine->GetCurrentFrame() >= 5; }));
    QProcess follow;
    DiesWithTheTest(follow);
    follow.start(QStringLiteral("playerctl"), {"-p", "reelscope", "--follow", "status"});
    QString lines;
    auto last = [&](const QString& status) {
        return WaitFor([&] { return (lines += follow.readAllStandardOutput()).endsWith(status + '\n'); });
    };
    EXPECT_TRUE(last("Playing"));
    Command(ID_PAUSE);
    EXPECT_TRUE(last("Paused")) << lines.toStdString();
    follow.kill();
    follow.waitForFinished();
}

TEST_F(Mpris, PositionsAndSeeksAreExactToTheFrame)
{
    Start();
    ASSERT_TRUE(Open("frames1000.avi"));
    Command(ID_PAUSE);
    ASSERT_TRUE(Idle());
    SeekedLog seeked;
    ASSERT_TRUE(m_client.connect(QString(), "/org/mpris/MediaPlayer2", kPlayer, "Seeked", &seeked, SLOT(Seeked(qlonglong))));
    // Middles of frames' times on screen: no rounding moves them to a neighbour.
    auto middle = [&](int frame) { return Seconds(engine->TimeOfFrame(frame) + engine->TimeOfFrame(1) / 2); };
    const QString tenAndAHalfFrames = Seconds(engine->TimeOfFrame(21) / 2);
    const std::pair<QString, int> cases[] = {
        {middle(250), 250},
        {tenAndAHalfFrames + "-", 239},
        {tenAndAHalfFrames + "+", 249},
        {"9999", 249},  // past the end: not a place in the movie, ignored
        {"9999+", engine->GetTotalFrames() - 1},  // a step past the end stops at the last frame
        {"9999-", 0},
    };
    for (const auto& [position, frame] : cases) {
        const std::size_t announced = seeked.positions.size();
        Ctl({"position", position});
        const qlonglong at = engine->TimeOfFrame(frame) / 10;
        EXPECT_TRUE(WaitFor([&] { return engine->GetPlayState() == MovieEngine::Idle && Kept() == frame; }))
            << position.toStdString() << " shows " << Kept();
        // Read as the property: playerctl shows 0 for a stopped player.
        EXPECT_EQ(Property(kPlayer, QStringLiteral("Position")).toLongLong(), at) << position.toStdString();
        if (position == "9999") continue;
        EXPECT_TRUE(WaitFor([&] { return seeked.positions.size() > announced && seeked.positions.back() == at; }))
            << position.toStdString();
    }
    // While playing, playing goes on from the new place.
    Ctl({"play"});
    ASSERT_TRUE(WaitFor([&] { return engine->GetPlayState() == MovieEngine::Playing; }));
    Ctl({"position", middle(500)});
    EXPECT_TRUE(WaitFor([&] { return engine->GetCurrentFrame() > 500; }));
    EXPECT_EQ(engine->GetPlayState(), MovieEngine::Playing);
}

TEST_F(Mpris, VolumeAndRateMapOntoTheEnginesScales)
{
    Start();
    ASSERT_TRUE(Open("frames1000.avi"));
    // Cubic in amplitude: 0.5 is 18 dB down, 0.1 is 60 dB down.
    const std::tuple<const char*, int, double> volumes[] = {
        {"1", 1000, 1.0}, {"0.5", 819, 0.4993}, {"0.1", 400, 0.1}, {"0", 0, 0.0}, {"7", 1000, 1.0}};
    for (const auto& [volume, level, readBack] : volumes) {
        Ctl({"volume", volume});
        EXPECT_EQ(engine->GetVolume(), level) << volume;
        EXPECT_NEAR(Ctl({"volume"}).toDouble(), readBack, 0.0005) << volume;
    }
    Command(ID_VOLUME_MUTE);
    EXPECT_EQ(Ctl({"volume"}), "0.000000");
    Ctl({"volume", "0.5"});  // ends the mute, as a volume step from the menu does
    EXPECT_FALSE(view->IsMuted());
    EXPECT_EQ(engine->GetVolume(), 819);
    // The nearest of the three speeds; zero pauses.
    for (const auto& [rate, expected] : {std::pair{0.5, 500}, {2.0, 2000}, {1.2, 1000}, {0.6, 500}, {8.0, 2000}}) {
        Property(kPlayer, QStringLiteral("Rate"), rate);
        EXPECT_EQ(engine->GetPlaybackRate(), expected) << rate;
    }
    Property(kPlayer, QStringLiteral("Rate"), 0.0);
    EXPECT_EQ(engine->GetPlayState(), MovieEngine::Idle);
}

TEST_F(Mpris, MetadataNamesTheMovieAndOnlyFilesOpen)
{
    Start();
    const QStringList types = Property("org.mpris.MediaPlayer2", "SupportedMimeTypes").toStringList();
    EXPECT_EQ(types.size(), 15) << types.join(' ').toStdString();  // all of the desktop entry's
    EXPECT_NE(Playerctl({"-p", "reelscope", "metadata"}).second, 0);  // no movie, no metadata

    const QString format = QStringLiteral("{{mpris:trackid}}|{{mpris:length}}|{{xesam:title}}|{{xesam:url}}");
    ASSERT_TRUE(Open("h264.mp4"));
    const QString first = Ctl({"metadata", "--format", format}).section('|', 0, 0);
    const QString path = QFile::decodeName(CopyMovie("mjpeg.avi", "a b#1.avi"));  // a name a URL has to escape
    const QString url = QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded);
    EXPECT_EQ(Playerctl({"-p", "reelscope", "open", url}).second, 0);
    ASSERT_TRUE(WaitFor([&] { return view->MoviePath() == QFile::encodeName(path); }));
    const QStringList fields = Ctl({"metadata", "--format", format}).split('|');
    ASSERT_EQ(fields.size(), 4);
    EXPECT_NE(fields[0], first);
    EXPECT_EQ(fields.mid(1), QStringList({"2000000", "a b#1.avi", url}));
    for (const char* refused : {"http://example.com/movie.avi", "file://elsewhere/movie.avi"})
        EXPECT_NE(Playerctl({"-p", "reelscope", "open", refused}).second, 0) << refused;
}

TEST_F(Mpris, ASecondPlayerTakesAnInstanceName)
{
    Start(MovieBytes("frames1000.avi"));
    app::MoviePlayerApp second;
    second.InitInstance(MovieBytes("frames1000.avi"));
    const QString instance = QStringLiteral("reelscope.instance%1").arg(QCoreApplication::applicationPid());
    QStringList players = Playerctl({"-l"}).first.split('\n');
    players.sort();
    EXPECT_EQ(players, QStringList({"reelscope", instance}));
    Playerctl({"-p", instance, "pause"});
    MovieEngine& secondEngine = second.MainFrame()->View().Engine();
    EXPECT_TRUE(WaitFor([&] { return secondEngine.GetPlayState() == MovieEngine::Idle; }));
    EXPECT_EQ(engine->GetPlayState(), MovieEngine::Playing);
}

using ScreenSaver = DesktopFixture;

TEST_F(ScreenSaver, HeldWhilePlayingAndGivenBackOnEveryWayOut)
{
    Serve(QStringLiteral("org.freedesktop.ScreenSaver"));
    ExpectHeldOnlyWhilePlaying({"pause", "stop", "the end", "a failed open", "exit"});
}

TEST_F(ScreenSaver, ThePortalStandsInWhereThereIsNoScreenSaver)
{
    Serve(QStringLiteral("org.freedesktop.portal.Desktop"));
    ExpectHeldOnlyWhilePlaying({"pause", "exit"});
    std::lock_guard lock(m_standIn.mutex);
    EXPECT_EQ(m_standIn.portalFlags, 8u);  // idle: no blanking, no lock
}

}  // namespace playertest

#include "DesktopTest.moc"
