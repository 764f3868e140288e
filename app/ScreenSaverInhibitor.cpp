#include "app/ScreenSaverInhibitor.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QVariantMap>

#include "resources/UiResources.h"

namespace app {
namespace {

const QString kSaverService = QStringLiteral("org.freedesktop.ScreenSaver");
const QString kSaverPath = QStringLiteral("/org/freedesktop/ScreenSaver");
const QString kPortalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPortalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kPortalInhibit = QStringLiteral("org.freedesktop.portal.Inhibit");
const QString kPortalRequest = QStringLiteral("org.freedesktop.portal.Request");

// The portal's flag for "the session must not go idle": no blanking, no
// lock, no suspend on idle. Logging out stays the user's choice.
constexpr uint kPortalIdle = 8;

// A desktop that has not answered by then is taken to have nothing to ask.
constexpr int kCallTimeoutMs = 5000;
// How long leaving may wait for the release to be heard.
constexpr int kLeaveTimeoutMs = 1000;

}  // namespace

ScreenSaverInhibitor::ScreenSaverInhibitor(const QDBusConnection& bus, QString window)
    : m_bus(bus), m_window(std::move(window))
{
}

ScreenSaverInhibitor::~ScreenSaverInhibitor()
{
    m_leaving = true;
    m_wanted = false;
    // A request still on its way may yet be granted: wait for its answer so
    // what it grants is given back.
    if (m_call) {
        m_call->waitForFinished();
        OnReply();
    }
    Sync();
}

void ScreenSaverInhibitor::SetWanted(bool wanted)
{
    if (!wanted) m_refused = false;
    m_wanted = wanted;
    Sync();
}

void ScreenSaverInhibitor::Sync()
{
    if (m_pending != Via::None) return;  // its answer calls back here
    if (m_wanted && m_held == Via::None && !m_refused && !m_leaving) Request(Via::ScreenSaver);
    else if (!m_wanted && m_held != Via::None) Release();
}

void ScreenSaverInhibitor::Request(Via via)
{
    const QString application = QString::fromLatin1(ui::kAppName);
    const QString reason = QString::fromUtf8(ui::kInhibitReason);
    QDBusMessage message;
    if (via == Via::ScreenSaver) {
        message = QDBusMessage::createMethodCall(kSaverService, kSaverPath, kSaverService, QStringLiteral("Inhibit"));
        message << application << reason;
    } else {
        message = QDBusMessage::createMethodCall(kPortalService, kPortalPath, kPortalInhibit, QStringLiteral("Inhibit"));
        message << m_window << kPortalIdle << QVariantMap{{QStringLiteral("reason"), reason}};
    }
    m_pending = via;
    m_call = m_bus.asyncCall(message, kCallTimeoutMs);
    auto* watcher = new QDBusPendingCallWatcher(*m_call, this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* finished) {
        finished->deleteLater();
        if (m_call) OnReply();
    });
}

void ScreenSaverInhibitor::OnReply()
{
    const QDBusMessage reply = m_call->reply();
    const Via via = m_pending;
    m_pending = Via::None;
    m_call.reset();
    const bool granted = reply.type() == QDBusMessage::ReplyMessage &&
                         reply.signature() == (via == Via::ScreenSaver ? QLatin1String("u") : QLatin1String("o"));
    if (granted) {
        m_held = via;
        if (via == Via::ScreenSaver) m_cookie = reply.arguments().value(0).toUInt();
        else m_request = reply.arguments().value(0).value<QDBusObjectPath>();
    } else if (via == Via::ScreenSaver && m_wanted && !m_leaving) {
        Request(Via::Portal);  // a desktop without the screen saver's service, or a sandbox
        return;
    } else if (m_wanted) {
        m_refused = true;
    }
    Sync();
}

void ScreenSaverInhibitor::Release()
{
    QDBusMessage message;
    if (m_held == Via::ScreenSaver) {
        message = QDBusMessage::createMethodCall(kSaverService, kSaverPath, kSaverService, QStringLiteral("UnInhibit"));
        message << m_cookie;
    } else {
        message = QDBusMessage::createMethodCall(kPortalService, m_request.path(), kPortalRequest, QStringLiteral("Close"));
    }
    m_held = Via::None;
    // Only the way out waits: the connection closes right after, and what
    // is still unsent would go with it. Otherwise the answer tells nothing
    // worth waiting for; a service that has gone has let go by itself.
    if (m_leaving) m_bus.call(message, QDBus::Block, kLeaveTimeoutMs);
    else m_bus.send(message);
}

}  // namespace app
