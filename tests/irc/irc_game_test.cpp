// Whole games through the card, the chat transport and the chat library over a real IRC server,
// with a scripted machinekeeper on the other side; the server goes away mid-game and comes back.
#include "irc/irc_connection.h"
#include "support/irc_card.h"
#include "support/irc_test_peer.h"
#include "support/ngircd_server.h"
#include "support/qt_printers.h"

#include <gtest/gtest.h>

namespace jackwell {
namespace {

using namespace testing;

constexpr int kReconnectWaitMs = 15000;

IrcConfig playerConfig() {
    IrcConfig config;
    config.server = NgircdServer::kHost;
    config.nick = "Player";
    config.channel = "#casino";
    return config;
}

class IrcGameTest : public ::testing::Test {
protected:
    void SetUp() override {
        QString error;
        ASSERT_TRUE(server.start(&error)) << error;
        player.config.port = server.port();
        keeper = connectKeeper();
        ASSERT_TRUE(keeper);
        ASSERT_EQ(player.transport.open(), 0);
        ASSERT_TRUE(keeper->waitForMessage("JOIN", "Player", {}));
    }

    std::unique_ptr<IrcTestPeer> connectKeeper() {
        auto peer = std::make_unique<IrcTestPeer>("Keeper");
        if (!peer->connectTo(server.port()) || !peer->join("#casino"))
            return nullptr;
        return peer;
    }

    bool logged(const QByteArray& line) {
        return waitUntil([&] { return player.logged(line) > 0; });
    }

    // REGISTER; the machinekeeper answers with the first draw; START reads it.
    void startGame(const QByteArray& firstDraw, const QString& codes) {
        card.askToRegister();
        ASSERT_TRUE(keeper->waitForPrivmsg("Player", "Register me!"));
        keeper->privmsg("Player", "FIRST:" + firstDraw);
        ASSERT_TRUE(logged("ESP from Keeper: FIRST:" + firstDraw));
        ASSERT_TRUE(player.clickAndSettle(&Card::start));
        EXPECT_EQ(player.shown(&Reel::firstCode), codes);
    }

    // The machinekeeper receives the holds, answers with the final draw; FINISH reads it.
    void finishGame(const QByteArray& holds, const QByteArray& finalDraw, const QString& codes,
                    const QString& credits) {
        ASSERT_TRUE(keeper->waitForPrivmsg("Player", holds, kReconnectWaitMs));
        keeper->privmsg("Player", "FINAL:" + finalDraw);
        ASSERT_TRUE(logged("ESP from Keeper: FINAL:" + finalDraw));
        ASSERT_TRUE(player.clickAndSettle(&Card::finish));
        EXPECT_EQ(player.shown(&Reel::finalCode), codes);
        EXPECT_TRUE(card.state.credits == credits && card.state.startEnabled) << card.state.credits;
    }

    NgircdServer server;
    testing::IrcCard player{playerConfig()};
    Card& card = player.card;
    std::unique_ptr<IrcTestPeer> keeper;
};

TEST_F(IrcGameTest, gamesCompleteAcrossAServerRestartInTheMiddleOfOne) {
    keeper->privmsg("#casino", "Your machinekeeper is Keeper");
    ASSERT_TRUE(logged("Keeper: Your machinekeeper is Keeper"));
    ASSERT_TRUE(player.clickAndSettle(&Card::findHost)); // GET HOST
    ASSERT_EQ(card.state.machineKeeperName, "Keeper");

    startGame(" [ 07 | 03 | 11 ]", "07 03 11");
    card.toggleHold(0);
    card.toggleHold(2);

    // The server goes away; ESP HOLD waits for it, re-registering. The log stays readable.
    IrcBackend& backend = *player.backend;
    const QByteArray logBefore = backend.log().lines();
    server.stop();
    ASSERT_TRUE(waitUntil([&] { return !backend.connection().isRegistered(); }));
    card.sendHolds();
    EXPECT_EQ(player.transport.lastStatus(), "10");
    EXPECT_EQ(player.transport.pendingRequests(), 1);
    EXPECT_EQ(backend.registerAgain(), ChatStatus::NotRegistered);
    EXPECT_EQ(backend.requestText(), ChatStatus::Done);
    QString error;
    ASSERT_TRUE(server.start(&error)) << error;
    keeper = connectKeeper(); // before the program can act again
    ASSERT_TRUE(keeper);
    finishGame("I hold 1,0,1", " [ 07 | 07 | 07 ]: (150)", "07 07 07", "150");
    EXPECT_EQ(card.state.tokens, "(7500)");

    EXPECT_TRUE(backend.log().lines().startsWith(logBefore)); // kept across the restart
    EXPECT_EQ(backend.log().lines().count("Connection to 127.0.0.1:"), 1);
    EXPECT_TRUE(logged("<system>: Reconnected to 127.0.0.1:" + QByteArray::number(server.port()) +
                       " as Player"));
    EXPECT_TRUE(waitUntil([&] { return player.logged("<system>: Player joined #casino") == 2; }));

    // The next game, on the new connection: the holds as the card shows them.
    startGame(" [ 12 | 12 | 04 ]", "12 12 04");
    card.toggleHold(1);
    card.sendHolds();
    EXPECT_EQ(player.transport.lastStatus(), "0");
    QByteArray holds = "I hold ";
    for (int reel = 0; reel < 3; ++reel)
        holds += QByteArray(isHeld(card.state, reel) ? "1" : "0") + (reel < 2 ? "," : "");
    finishGame(holds, " [ 12 | 12 | 12 ]: (300)", "12 12 12", "300");
}

TEST_F(IrcGameTest, unsafeRecipientsAreRefusedAndLineBreaksNeverReachTheServer) {
    const QStringList refused = {"Keeper\r\nQUIT :gone",
                                 "Keeper\n",
                                 "#casino",
                                 "Keeper Two",
                                 QString("Kee") + QChar(u'\0') + "per",
                                 QString(31, u'k'),
                                 ""};
    for (const QString& name : refused) {
        SCOPED_TRACE(name.toStdString());
        card.state.machineKeeperName = name;
        card.sendHolds(); // ESP HOLD goes to whatever name stands there
        EXPECT_EQ(player.transport.lastStatus(), "-1");
        EXPECT_EQ(player.transport.pendingRequests(), 0);
    }
    player.transport.sendPrivateMessage("Keeper", QStringLiteral("one\r\nQUIT :injected") +
                                                      QChar(u'\0') + "two");
    EXPECT_EQ(player.transport.lastStatus(), "0");
    ASSERT_TRUE(keeper->waitForPrivmsg("Player", "one  QUIT :injected two"));
    EXPECT_EQ(keeper->privmsgsFrom("Player").size(), 1);
    EXPECT_FALSE(keeper->waitFor([](const IrcMessage& m) { return m.command == "QUIT"; }, 300));
    EXPECT_TRUE(player.backend->connection().isRegistered());
}

} // namespace
} // namespace jackwell
