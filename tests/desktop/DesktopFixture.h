#pragma once
// The player on a private session bus that the test starts: nothing of the
// machine's desktop is on it and nothing is started on demand. playerctl,
// a client people use, talks to the player over it.

#include <QDBusConnection>
#include <QDBusMessage>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

#include "PlayerFixture.h"

namespace playertest {

class DesktopFixture : public PlayerFixture {
protected:
    void SetUp() override;
    void TearDown() override;

    // Runs playerctl with `args`, letting the player answer meanwhile: its
    // standard output, trimmed, and its exit code (-1 when it did not end).
    struct Output {
        QString text;
        int code = -1;
    };
    Output Playerctl(const QStringList& args);
    // playerctl on the first player's name.
    QString Ctl(const QStringList& args) { return Playerctl(QStringList{"-p", "reelscope"} + args).text; }
    // A call to the player from the test's own connection, without blocking
    // the player's thread.
    QDBusMessage Call(const QString& interface, const QString& method, const QVariantList& args = {});

    QString m_address;
    QDBusConnection m_client{QString()};

private:
    QTemporaryDir m_busDir;
    QProcess m_daemon;
    QByteArray m_previousAddress;
};

}  // namespace playertest
