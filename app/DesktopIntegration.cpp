#include "app/DesktopIntegration.h"

#include <QGuiApplication>

#include "app/MainFrame.h"
#include "app/MprisService.h"
#include "app/ScreenSaverInhibitor.h"

namespace app {
namespace {

// Often enough that the desktop's controls follow a pause or a new movie
// at once to the eye; the position is read by the desktop when it wants it.
constexpr int kPollMs = 250;

}  // namespace

std::unique_ptr<DesktopIntegration> DesktopIntegration::Connect(CMainFrame& frame)
{
    // A connection of its own rather than the process's shared one, so its
    // objects are this player's alone. Found the session's usual way, not by
    // address: Qt 6.4 aborts the process when a bus reached by address
    // refuses the greeting.
    static unsigned connections = 0;
    const QString name = QStringLiteral("reelscope-desktop-%1").arg(++connections);
    QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, name);
    if (!bus.isConnected()) {
        QDBusConnection::disconnectFromBus(name);
        return nullptr;
    }
    return std::unique_ptr<DesktopIntegration>(new DesktopIntegration(frame, bus, name));
}

DesktopIntegration::DesktopIntegration(CMainFrame& frame, const QDBusConnection& bus, QString connectionName)
    : m_frame(frame), m_connectionName(std::move(connectionName)), m_bus(bus)
{
    m_mpris = std::make_unique<MprisService>(frame);
    if (!m_mpris->Register(m_bus)) m_mpris.reset();
    // The portal names the window that asks by its X11 id where it has one.
    QString window;
    if (QGuiApplication::platformName() == QLatin1String("xcb"))
        window = QStringLiteral("x11:") + QString::number(frame.winId(), 16);
    m_inhibitor = std::make_unique<ScreenSaverInhibitor>(m_bus, window);
    connect(&m_poll, &QTimer::timeout, this, [this] { Poll(); });
    m_poll.start(kPollMs);
    Poll();
}

DesktopIntegration::~DesktopIntegration()
{
    m_poll.stop();
    m_mpris.reset();
    m_inhibitor.reset();  // gives the screen back before the connection goes
    m_bus = QDBusConnection(QString());
    QDBusConnection::disconnectFromBus(m_connectionName);
}

void DesktopIntegration::Poll()
{
    if (m_mpris) m_mpris->Poll();
    m_inhibitor->SetWanted(PlaysOn(m_frame.View()));
}

}  // namespace app
