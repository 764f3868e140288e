// These tests run without a session bus (tests/CMakeLists.txt), where the
// player's place on the desktop is simply missing, without a word.

#include <QDBusConnection>

#include "PlayerFixture.h"

namespace playertest {

class NoSessionBus : public PlayerFixture {};

TEST_F(NoSessionBus, ThePlayerPlaysAndSaysNothing)
{
    ASSERT_FALSE(QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("probe")).isConnected());
    QDBusConnection::disconnectFromBus(QStringLiteral("probe"));
    Start(MovieBytes("h264.mp4"));
    EXPECT_TRUE(WaitFor([&] { return engine->GetCurrentFrame() >= 5; }));
    player.reset();  // and leaves as quietly
    EXPECT_TRUE(messages.texts.empty());
}

}  // namespace playertest
