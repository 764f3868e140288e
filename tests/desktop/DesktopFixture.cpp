#include "DesktopFixture.h"

#include <QDBusPendingCall>
#include <QFile>

namespace playertest {

void DesktopFixture::SetUp()
{
    PlayerFixture::SetUp();
    ASSERT_TRUE(m_busDir.isValid());
    QFile config(m_busDir.filePath(QStringLiteral("bus.conf")));
    ASSERT_TRUE(config.open(QIODevice::WriteOnly));
    config.write(QStringLiteral("<busconfig><type>session</type><listen>unix:dir=%1</listen><auth>EXTERNAL</auth>"
                                "<policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/>"
                                "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>")
                     .arg(m_busDir.path())
                     .toUtf8());
    config.close();
    m_daemon.start(QStringLiteral("dbus-daemon"),
                   {QStringLiteral("--config-file=") + config.fileName(), "--nofork", "--print-address"});
    ASSERT_TRUE(m_daemon.waitForStarted(5000)) << "dbus-daemon is missing: scripts/setup.sh installs it";
    ASSERT_TRUE(WaitFor([&] { return m_daemon.canReadLine(); }, 5000));
    m_address = QString::fromUtf8(m_daemon.readLine().trimmed());
    m_previousAddress = qgetenv("DBUS_SESSION_BUS_ADDRESS");
    qputenv("DBUS_SESSION_BUS_ADDRESS", m_address.toUtf8());
    m_client = QDBusConnection::connectToBus(m_address, QStringLiteral("test-client"));
    ASSERT_TRUE(m_client.isConnected());
}

void DesktopFixture::TearDown()
{
    PlayerFixture::TearDown();
    m_client = QDBusConnection(QString());
    QDBusConnection::disconnectFromBus(QStringLiteral("test-client"));
    qputenv("DBUS_SESSION_BUS_ADDRESS", m_previousAddress);
    m_daemon.terminate();
    if (!m_daemon.waitForFinished(5000)) m_daemon.kill();
}

DesktopFixture::Output DesktopFixture::Playerctl(const QStringList& args)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_address);
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral("playerctl"), args);
    const bool ended = WaitFor([&] { return process.state() == QProcess::NotRunning; }, 10000);
    if (!ended) {
        process.kill();
        process.waitForFinished();
    }
    const bool ok = ended && process.exitStatus() == QProcess::NormalExit;
    return {QString::fromUtf8(process.readAllStandardOutput()).trimmed(), ok ? process.exitCode() : -1};
}

QDBusMessage DesktopFixture::Call(const QString& interface, const QString& method, const QVariantList& args)
{
    QDBusMessage message = QDBusMessage::createMethodCall(QStringLiteral("org.mpris.MediaPlayer2.reelscope"),
                                                          QStringLiteral("/org/mpris/MediaPlayer2"), interface, method);
    message.setArguments(args);
    const QDBusPendingCall call = m_client.asyncCall(message, 5000);
    WaitFor([&] { return call.isFinished(); }, 6000);
    return call.reply();
}

}  // namespace playertest
