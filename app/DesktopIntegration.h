#pragma once
// The player's place in the desktop session: its media controls (MPRIS)
// and the screen kept on while a movie plays. It watches the player by
// polling, as the engine calls out to nobody. Made by the application once
// the main frame shows, and gone before the frame.

#include <QDBusConnection>
#include <QObject>
#include <QTimer>
#include <memory>

namespace app {

class CMainFrame;
class MprisService;
class ScreenSaverInhibitor;

class DesktopIntegration : public QObject {
public:
    // Null when there is no session bus: the player then runs on its own,
    // without a word about it.
    static std::unique_ptr<DesktopIntegration> Connect(CMainFrame& frame);
    ~DesktopIntegration() override;

private:
    DesktopIntegration(CMainFrame& frame, const QDBusConnection& bus, QString connectionName);
    void Poll();

    CMainFrame& m_frame;
    QString m_connectionName;
    QDBusConnection m_bus;
    std::unique_ptr<MprisService> m_mpris;  // null when the player's names were all taken
    std::unique_ptr<ScreenSaverInhibitor> m_inhibitor;
    QTimer m_poll;
};

}  // namespace app
