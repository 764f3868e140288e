// The player's place on the desktop, driven as the desktop drives it: by
// playerctl, a client people use, and by D-Bus calls and signals, on a
// session bus of the test's own (CTest runs the program under
// dbus-run-session with bus.conf beside this file), against a stand-in for
// the screen saver and the portal. Nothing of the machine's desktop is on
// that bus, and nothing is started on demand.

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QFile>
#include <QMimeDatabase>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <QUrl>
#include <csignal>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <sys/prctl.h>

#include "PlayerFixture.h"

namespace playertest {
namespace {

const QString kService = QStringLiteral("org.mpris.MediaPlayer2.reelscope");
const QString kPath = QStringLiteral("/org/mpris/MediaPlayer2");
const QString kRoot = QStringLiteral("org.mpris.MediaPlayer2");
const QString kPlayer = QStringLiteral("org.mpris.MediaPlayer2.Player");
const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");
const QString kRequests = QStringLiteral("/org/freedesktop/portal/desktop/request/r");

// The bus dbus-run-session started, read before the tests' main takes every
// test program off the session bus.
const QByteArray g_sessionBus = qgetenv("DBUS_SESSION_BUS_ADDRESS");

// playerctl goes with the test program even when it crashes: left behind it
// would hold whatever it holds open (the build lock, say).
void DiesWithTheTest(QProcess& process)
{
    process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
}

class PrivateSessionBus : public ::testing::Environment {
public:
    void SetUp() override
    {
        // Before anything connects: libdbus reads the address once per process.
        qputenv("DBUS_SESSION_BUS_ADDRESS", g_sessionBus);
        // A desktop's bus starts services on demand; the test's own, none.
        ASSERT_EQ(QDBusConnection::sessionBus().interface()->activatableServiceNames().value(), QStringList{"org.freedesktop.DBus"})
            << "not a bus of the test's own: run through ctest, or under "
               "dbus-run-session --config-file=tests/desktop/bus.conf";
    }
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
        m_seeked.reset();
        m_changed.reset();
        m_signals.clear();
        PlayerFixture::TearDown();
        for (QDBusConnection* bus : {&m_client, &m_standInBus}) *bus = QDBusConnection(QString());
        QDBusConnection::disconnectFromBus(QStringLiteral("test"));
        QDBusConnection::disconnectFromBus(QStringLiteral("stand-in"));
        m_thread.quit();
        m_thread.wait();
    }

    // The bus adds a round trip or two to everything: a longer wait.
    static bool Eventually(const std::function<bool()>& condition, int timeoutMs = 10000)
    {
        return QTest::qWaitFor(condition, timeoutMs);
    }

    // playerctl run to its end while the player answers: its output, trimmed,
    // and its exit code (-1 when it did not end).
    std::pair<QString, int> Playerctl(const QStringList& args)
    {
        QProcess process;
        DiesWithTheTest(process);
        process.start(QStringLiteral("playerctl"), args);
        const bool ended = Eventually([&] { return process.state() == QProcess::NotRunning; }, 20000);
        if (!ended) process.kill();
        process.waitForFinished();
        const bool ok = ended && process.exitStatus() == QProcess::NormalExit;
        return {QString::fromUtf8(process.readAllStandardOutput()).trimmed(), ok ? process.exitCode() : -1};
    }
    QString Ctl(const QStringList& args) { return Playerctl(QStringList{"-p", "reelscope"} + args).first; }

    // A method of the player called from the test's connection, answered
    // while the player runs on (a blocking call would wait on this thread,
    // which the player answers from).
    QDBusMessage Call(const QString& interface, const QString& method, const QVariantList& arguments = {})
    {
        QDBusMessage message = QDBusMessage::createMethodCall(kService, kPath, interface, method);
        message.setArguments(arguments);
        const QDBusPendingCall call = m_client.asyncCall(message, 15000);
        Eventually([&] { return call.isFinished(); }, 20000);
        return call.reply();
    }
    // A property of the player, read, or written when `value` is given.
    QVariant Property(const QString& interface, const QString& name, const QVariant& value = {})
    {
        if (value.isValid()) return Call(kProperties, "Set", {interface, name, QVariant::fromValue(QDBusVariant(value))}).arguments().value(0);
        return Call(kProperties, "Get", {interface, name}).arguments().value(0).value<QDBusVariant>().variant();
    }
    QDBusObjectPath TrackId()
    {
        return qdbus_cast<QVariantMap>(Property(kPlayer, "Metadata")).value("mpris:trackid").value<QDBusObjectPath>();
    }

    // From now on, what the player announces: its jumps and its properties'
    // changes. Each interface first asks the player to describe itself, with
    // a blocking call that the player could not answer on this thread: they
    // are made on another, and come back here.
    [[nodiscard]] bool Listen()
    {
        QThread* here = QThread::currentThread();
        std::unique_ptr<QThread> maker(QThread::create([&] {
            for (const QString& interface : {kPlayer, kProperties})
                m_signals.emplace_back(new QDBusInterface(kService, kPath, interface, m_client))->moveToThread(here);
        }));
        maker->start();
        Eventually([&] { return maker->wait(QDeadlineTimer(0)); }, 60000);
        maker->wait();
        m_seeked = std::make_unique<QSignalSpy>(m_signals[0].get(), SIGNAL(Seeked(qlonglong)));
        m_changed = std::make_unique<QSignalSpy>(m_signals[1].get(), SIGNAL(PropertiesChanged(QString, QVariantMap, QStringList)));
        return m_seeked->isValid() && m_changed->isValid();
    }
    // The values `property` of `interface` was announced to take, in order.
    QStringList Told(const QString& property, const QString& interface = kPlayer)
    {
        QStringList values;
        for (const QList<QVariant>& signal : *m_changed) {
            const QVariantMap changed = signal.value(1).toMap();
            if (signal.value(0).toString() == interface && changed.contains(property))
                values << changed.value(property).toString();
        }
        return values;
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
    std::pair<int, uint> HeldAndGranted()
    {
        std::lock_guard lock(m_standIn.mutex);
        return {static_cast<int>(m_standIn.held.size()), m_standIn.granted};
    }
    int Held() { return HeldAndGranted().first; }

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
            ASSERT_TRUE(Eventually([&] { return Held() == 1; })) << way;
            leave.at(way)();
            EXPECT_TRUE(Eventually([&] { return Held() == 0; }, 15000)) << way;
        }
        std::lock_guard lock(m_standIn.mutex);
        EXPECT_EQ(m_standIn.granted, ways.size());  // asked once per play
        EXPECT_EQ(m_standIn.strangers, 0);
    }

    QDBusConnection m_client{QString()};
    QDBusConnection m_standInBus{QString()};
    InhibitStandIn m_standIn;
    QThread m_thread;
    std::vector<std::unique_ptr<QDBusInterface>> m_signals;
    std::unique_ptr<QSignalSpy> m_seeked;
    std::unique_ptr<QSignalSpy> m_changed;
};

using Mpris = DesktopFixture;

// At 30 frames a second a frame starts between two microseconds: the first
// whole one inside it is the frame's position, and seeks back to it.
TEST_F(Mpris, PositionsAndSeeksAreExactToTheFrame)
{
    Start();
    ASSERT_TRUE(Open("thirty.avi"));
    Command(ID_PAUSE);
    ASSERT_TRUE(Idle());
    ASSERT_TRUE(Listen());
    const std::tuple<const char*, qlonglong, int, qlonglong> rows[] = {
        // method, its argument, the frame shown, the position read back
        {"SetPosition", 5'000'000, 150, 5'000'000},
        {"SetPosition", 33'334, 1, 33'334},
        {"SetPosition", 33'333, 0, 0},
        {"SetPosition", 9'966'667, 299, 9'966'667},
        {"SetPosition", 10'000'001, 299, 9'966'667},  // past the end: not a place in the movie, ignored
        {"Seek", -4'966'667, 150, 5'000'000},
        {"Seek", -350'000, 139, 4'633'334},
        {"Seek", 99'000'000, 299, 9'966'667},  // a step past the end stops at the last frame
        {"Seek", -99'000'000, 0, 0},
    };
    for (const auto& [method, argument, frame, reads] : rows) {
        m_seeked->clear();
        const QVariantList track = method == std::string("Seek") ? QVariantList{} : QVariantList{QVariant::fromValue(TrackId())};
        Call(kPlayer, method, track + QVariantList{argument});
        EXPECT_TRUE(Eventually([&] { return engine->GetPlayState() == MovieEngine::Idle && Kept() == frame; })) << argument;
        EXPECT_EQ(Property(kPlayer, "Position").toLongLong(), reads) << argument;
        if (argument != 10'000'001) {
            EXPECT_TRUE(!m_seeked->isEmpty() || m_seeked->wait(10000)) << argument;
            EXPECT_EQ(m_seeked->value(0).value(0).toLongLong(), reads) << argument;
        }
    }
}

// One action, one change of status, and none when continuous play starts
// the movie over, nor a new hold on the screen saver; a jump is told with
// where it went, not where it was.
TEST_F(Mpris, EachActionIsToldOnceAndEachJumpWhereItWent)
{
    Serve(QStringLiteral("org.freedesktop.ScreenSaver"));
    Start();
    ASSERT_TRUE(Open("frames250.avi"));  // 10 s
    ASSERT_TRUE(Eventually([&] { return Kept() >= 5; }));  // away from the start: pausing is no stop
    ASSERT_TRUE(Listen());
    const qlonglong half = engine->TimeOfFrame(125) / 10;
    const auto nearTheEndAndOver = [&] {
        Call(kPlayer, "SetPosition", {QVariant::fromValue(TrackId()), qlonglong{engine->TimeOfFrame(240) / 10}});
        // Between the end and the view's next tick, which starts it over.
        if (Eventually([&] { return engine->IsAtEnd() != 0; }, 3000)) {
            EXPECT_EQ(Property(kPlayer, "PlaybackStatus").toString(), "Playing");
        }
    };
    const std::tuple<const char*, std::function<void()>, QStringList, std::vector<bool>> rows[] = {
        // the action, the statuses told, each jump told: to the first half?
        {"pause from the menu", [&] { Command(ID_PAUSE); }, {"Paused"}, {}},
        {"play on", [&] { Call(kPlayer, "PlayPause"); }, {"Playing"}, {}},
        {"stop while playing", [&] { Call(kPlayer, "Stop"); }, {"Stopped"}, {true}},
        {"to the end, stopped still", [&] { Command(ID_GO_END); }, {}, {false}},
        {"play at the end", [&] { Call(kPlayer, "Play"); }, {"Playing"}, {true}},
        {"continuous play", [&] { Property(kPlayer, "LoopStatus", QStringLiteral("Track")); }, {}, {}},
        {"near the end, and over", nearTheEndAndOver, {}, {false, true}},
    };
    for (const auto& [action, act, statuses, jumps] : rows) {
        const bool playing = engine->GetPlayState() == MovieEngine::Playing;
        EXPECT_TRUE(Eventually([&] { return Held() == (playing ? 1 : 0); })) << action;
        const auto inhibited = HeldAndGranted();
        Property(kPlayer, "PlaybackStatus");  // what was sent before its answer has come
        m_seeked->clear();
        m_changed->clear();
        act();
        EXPECT_TRUE(Eventually([&] { return Told("PlaybackStatus").size() >= statuses.size(); })) << action;
        EXPECT_TRUE(Eventually([&] { return m_seeked->size() >= qsizetype(jumps.size()); }, 20000)) << action;
        Property(kPlayer, "PlaybackStatus");
        EXPECT_EQ(Told("PlaybackStatus"), statuses) << action;
        ASSERT_EQ(m_seeked->size(), qsizetype(jumps.size())) << action;
        for (std::size_t i = 0; i < jumps.size(); ++i)
            EXPECT_EQ(m_seeked->at(i).at(0).toLongLong() < half, jumps[i]) << action << ": " << m_seeked->at(i).at(0).toLongLong();
        if (statuses.isEmpty()) {
            EXPECT_EQ(HeldAndGranted(), inhibited) << action;
        }
    }
}

// Continuous play and full screen, from the desktop and back from the menu;
// the volume a movie not yet open will get.
TEST_F(Mpris, LoopFullScreenAndVolumeFollowThePlayer)
{
    Start();
    ASSERT_TRUE(Listen());
    EXPECT_EQ(Property(kPlayer, "Volume").toDouble(), 1.0);
    Property(kPlayer, "Volume", 0.5);
    EXPECT_NEAR(Property(kPlayer, "Volume").toDouble(), 0.4993, 0.0005);
    EXPECT_FALSE(Property(kRoot, "CanSetFullscreen").toBool());
    ASSERT_TRUE(Open("h264.mp4"));
    EXPECT_EQ(engine->GetVolume(), 819);

    const auto set = [&](const QString& interface, const char* name, const QVariant& value) {
        return [=, this] { Property(interface, name, value); };
    };
    const std::tuple<std::function<void()>, QString, QString, bool> rows[] = {
        {set(kPlayer, "LoopStatus", "Track"), "LoopStatus", "Track", true},
        {[&] { Command(ID_AUTO_REPLAY); }, "LoopStatus", "None", false},
        {set(kRoot, "Fullscreen", true), "Fullscreen", "true", true},
        {[&] { Command(ID_LEAVE_FULL_SCREEN); }, "Fullscreen", "false", false},
    };
    for (const auto& [act, property, value, on] : rows) {
        act();
        const bool loop = property == "LoopStatus";
        const QString interface = loop ? kPlayer : kRoot;
        EXPECT_TRUE(Eventually([&] { return Told(property, interface).endsWith(value); })) << value.toStdString();
        EXPECT_EQ(Property(interface, property).toString(), value);
        EXPECT_EQ(loop ? view->m_bAutoReplay : engine->IsFullScreen(), on) << value.toStdString();
        if (loop) {
            EXPECT_EQ(ReadSettings().contains("AutoReplay=1"), on);  // saved, as from the menu
        }
    }
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
    // Types the desktop knows, and among them those of every kind of file
    // that plays.
    const QMimeDatabase mime;
    QStringList types;
    for (const QString& type : Property(kRoot, "SupportedMimeTypes").toStringList())
        types << (mime.mimeTypeForName(type).isValid() ? mime.mimeTypeForName(type).name() : "unknown " + type);
    for (const char* extension : {"avi", "asf", "wmv", "mpg", "mp4", "mov", "mkv", "webm", "ogv", "flv", "3gp", "3g2", "ts", "dv", "mxf"})
        EXPECT_TRUE(std::ranges::any_of(mime.mimeTypesForFileName(QStringLiteral("movie.") + extension),
                                        [&](const QMimeType& kind) { return types.contains(kind.name()); }))
            << extension;
    EXPECT_FALSE(types.join(' ').contains("unknown")) << types.join(' ').toStdString();
    EXPECT_NE(Playerctl({"-p", "reelscope", "metadata"}).second, 0);  // no movie, no metadata

    const QString format = QStringLiteral("{{mpris:trackid}}|{{mpris:length}}|{{xesam:title}}|{{xesam:url}}");
    ASSERT_TRUE(Open("h264.mp4"));
    const QString first = Ctl({"metadata", "--format", format}).section('|', 0, 0);
    const QString path = QFile::decodeName(CopyMovie("mjpeg.avi", "a b#1.avi"));  // a name a URL has to escape
    const QString url = QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded);
    EXPECT_EQ(Playerctl({"-p", "reelscope", "open", url}).second, 0);
    ASSERT_TRUE(Eventually([&] { return view->MoviePath() == QFile::encodeName(path); }));
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
    EXPECT_TRUE(Eventually([&] { return secondEngine.GetPlayState() == MovieEngine::Idle; }));
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
