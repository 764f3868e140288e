// The screen kept on exactly while a movie plays, against stand-ins for the
// desktop's screen saver and portal on the private bus. They answer from a
// thread of their own, as a desktop answers from its own process, so the
// player may wait for them.

#include <QDBusObjectPath>
#include <QThread>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>

#include "DesktopFixture.h"
#include "resources/CommandIds.h"

namespace playertest {

// What the stand-ins granted and were given back, across threads.
struct Ledger {
    std::mutex mutex;
    std::set<uint> held;
    uint granted = 0;
    int strangers = 0;  // releases of something never granted
    uint portalFlags = 0;

    int Held()
    {
        std::lock_guard lock(mutex);
        return static_cast<int>(held.size());
    }
    uint Grant(uint flags = 0)
    {
        std::lock_guard lock(mutex);
        portalFlags = flags;
        held.insert(++granted);
        return granted;
    }
    uint Granted()
    {
        std::lock_guard lock(mutex);
        return granted;
    }
    void Release(uint token)
    {
        std::lock_guard lock(mutex);
        if (held.erase(token) == 0) ++strangers;
    }
};

class ScreenSaverStandIn : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.ScreenSaver")
public:
    explicit ScreenSaverStandIn(Ledger& ledger) : m_ledger(ledger) {}
public slots:
    uint Inhibit(const QString&, const QString&) { return m_ledger.Grant(); }
    void UnInhibit(uint cookie) { m_ledger.Release(cookie); }

private:
    Ledger& m_ledger;
};

// The portal grants each inhibition as a request object; closing that ends it.
class PortalRequestStandIn : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Request")
public:
    PortalRequestStandIn(Ledger& ledger, uint token, QObject* parent)
        : QObject(parent), m_ledger(ledger), m_token(token)
    {
    }
public slots:
    void Close() { m_ledger.Release(m_token); }

private:
    Ledger& m_ledger;
    uint m_token;
};

class PortalStandIn : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Inhibit")
public:
    PortalStandIn(Ledger& ledger, const QDBusConnection& bus) : m_ledger(ledger), m_bus(bus) {}
public slots:
    QDBusObjectPath Inhibit(const QString&, uint flags, const QVariantMap&)
    {
        const uint token = m_ledger.Grant(flags);
        const QString path = QStringLiteral("/org/freedesktop/portal/desktop/request/r%1").arg(token);
        m_bus.registerObject(path, new PortalRequestStandIn(m_ledger, token, this), QDBusConnection::ExportAllSlots);
        return QDBusObjectPath(path);
    }

private:
    Ledger& m_ledger;
    QDBusConnection m_bus;
};

namespace {

class ScreenSaver : public DesktopFixture {
protected:
    void TearDown() override
    {
        player.reset();
        m_bus = QDBusConnection(QString());
        QDBusConnection::disconnectFromBus(QStringLiteral("stand-in"));
        m_thread.quit();
        m_thread.wait();
        m_service.reset();
        DesktopFixture::TearDown();
    }

    // Puts the screen saver's stand-in, or only the portal's, on the bus.
    void Serve(bool screenSaver)
    {
        m_bus = QDBusConnection::connectToBus(m_address, QStringLiteral("stand-in"));
        if (screenSaver) m_service = std::make_unique<ScreenSaverStandIn>(m_ledger);
        else m_service = std::make_unique<PortalStandIn>(m_ledger, m_bus);
        m_service->moveToThread(&m_thread);
        m_thread.start();
        ASSERT_TRUE(m_bus.registerObject(screenSaver ? "/org/freedesktop/ScreenSaver" : "/org/freedesktop/portal/desktop",
                                         m_service.get(), QDBusConnection::ExportAllSlots));
        ASSERT_TRUE(m_bus.registerService(screenSaver ? "org.freedesktop.ScreenSaver" : "org.freedesktop.portal.Desktop"));
    }

    // Plays a movie and leaves it each way in turn: held while playing,
    // given back after.
    void ExpectHeldOnlyWhilePlaying(const std::vector<const char*>& ways)
    {
        const std::map<std::string, std::function<void()>> leave = {
            {"pause", [this] { Command(ID_PAUSE); }},
            {"stop", [this] { Command(ID_STOP); }},
            {"the end", [] {}},
            {"a failed open", [this] { view->OpenMovieFile("/nonexistent/movie.avi"); }},
            {"exit", [this] { player.reset(); }},
        };
        for (const char* way : ways) {
            Start();
            ASSERT_TRUE(Open("h264.mp4"));
            ASSERT_TRUE(WaitFor([&] { return m_ledger.Held() == 1; })) << way;
            leave.at(way)();
            EXPECT_TRUE(WaitFor([&] { return m_ledger.Held() == 0; }, 8000)) << way;
        }
        EXPECT_EQ(m_ledger.Granted(), ways.size());  // asked once per play
        std::lock_guard lock(m_ledger.mutex);
        EXPECT_EQ(m_ledger.strangers, 0);
    }

    Ledger m_ledger;
    QThread m_thread;
    QDBusConnection m_bus{QString()};
    std::unique_ptr<QObject> m_service;
};

}  // namespace

TEST_F(ScreenSaver, HeldWhilePlayingAndGivenBackOnEveryWayOut)
{
    Serve(true);
    ExpectHeldOnlyWhilePlaying({"pause", "stop", "the end", "a failed open", "exit"});
}

TEST_F(ScreenSaver, ThePortalStandsInWhereThereIsNoScreenSaver)
{
    Serve(false);
    ExpectHeldOnlyWhilePlaying({"pause", "exit"});
    std::lock_guard lock(m_ledger.mutex);
    EXPECT_EQ(m_ledger.portalFlags, 8u);  // idle: no blanking, no lock
}

}  // namespace playertest

#include "ScreenSaverTest.moc"
