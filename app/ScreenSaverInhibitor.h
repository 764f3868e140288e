#pragma once
// Keeps the desktop from blanking or locking the screen while it is wanted:
// through the screen saver's own Inhibit where the desktop offers one,
// otherwise through the desktop portal's. Nothing here blocks the interface
// except the release on the way out, which waits a moment for its answer so
// that it is not lost with the connection.

#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QObject>
#include <QString>
#include <optional>

namespace app {

class ScreenSaverInhibitor : public QObject {
public:
    // `window` names the asking window to the portal ("x11:<id>"), or is
    // empty where there is no such name.
    ScreenSaverInhibitor(const QDBusConnection& bus, QString window);
    ~ScreenSaverInhibitor() override;

    // Asks for the screen to stay on, or lets it go. Cheap when nothing
    // changes, so it may be called on every poll.
    void SetWanted(bool wanted);

private:
    enum class Via { None, ScreenSaver, Portal };

    void Sync();
    void Request(Via via);
    void OnReply();
    void Release();

    QDBusConnection m_bus;
    QString m_window;
    bool m_wanted = false;
    bool m_leaving = false;
    // Neither service granted it since it was last wanted: not asked again
    // until the next time it is wanted, so a desktop without either is not
    // asked on every poll.
    bool m_refused = false;
    Via m_pending = Via::None;
    std::optional<QDBusPendingCall> m_call;
    Via m_held = Via::None;
    uint m_cookie = 0;           // the screen saver's
    QDBusObjectPath m_request;   // the portal's
};

}  // namespace app
