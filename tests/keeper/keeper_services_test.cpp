// The robot and the card on a network with services (InspIRCd, Anope): the card logs in with SASL
// and plays, books follow an account across nicknames (not a nickname's next owner), a refused
// login stops a start saying why, the robot takes its nickname back, --players lists who played.
#include "irc/irc_connection.h"

#include "support/irc_card.h"
#include "support/keeper_process.h"
#include "support/keeper_robot_rig.h"
#include "support/services_network.h"

namespace jackwell {
namespace {

using namespace jackwell::testing;
using machine::announcementLine;

class KeeperServicesTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        network = new ServicesNetwork;
        QString error;
        if (!network->start(&error)) {
            startError = error;
            return;
        }
        for (const char* account : {"alice", "cardplayer", "dora"}) {
            if (!network->registerAccount(account, "s3cretpw", &error)) {
                startError = error + "\n" + network->output();
                return;
            }
        }
    }
    static void TearDownTestSuite() {
        delete network;
        network = nullptr;
    }

    void SetUp() override { ASSERT_TRUE(startError.isEmpty()) << startError; }

    // The robot as its own program on the network, books kept as the server allows (auto).
    std::unique_ptr<KeeperProcess> startRobot(const QByteArray& extra = {}, quint16 port = 0) {
        auto keeper = std::make_unique<KeeperProcess>(port ? port : network->port());
        QString output;
        if (!keeper->writeConfig(extra) ||
            keeper->run({"--init", keeper->configPath()}, &output) != 0 || !keeper->start())
            return nullptr;
        return keeper;
    }

    // The card's chat configuration: `nick` on the network, logged in with SASL PLAIN.
    static IrcConfig cardLogin(const QByteArray& nick, const QByteArray& account,
                               const QByteArray& password) {
        IrcConfig card;
        card.server = ServicesNetwork::kHost;
        card.port = network->port();
        card.nick = nick;
        card.channel = kChannel;
        card.sasl = IrcConfig::Sasl::Plain;
        card.saslAccount = account;
        card.saslPassword = password;
        return card;
    }

    // A player logged in to `account` under `nick`, in the robot's channel.
    std::unique_ptr<IrcTestPeer> loggedIn(const QByteArray& nick, const QByteArray& account) {
        auto peer = std::make_unique<IrcTestPeer>(nick);
        if (!peer->connectWithLogin(network->port(), account, "s3cretpw") || !peer->join(kChannel))
            return nullptr;
        return peer;
    }

    // Sends holds until the final result comes (an unconfirmed first draw may be told again first).
    static bool playHolds(IrcTestPeer& peer, const char* holds) {
        for (int attempt = 0; attempt < 3; ++attempt) {
            const qsizetype before = toldTo(peer).size();
            const auto toldSince = [&](const QByteArray& head) {
                return std::ranges::any_of(toldTo(peer).mid(before), [&](const QByteArray& text) {
                    return text.startsWith(head);
                });
            };
            peer.privmsg(kKeeper, holdsLine(holds));
            waitUntil([&] { return toldSince(kFinalHead) || toldSince(kFirstHead); });
            if (toldSince(kFinalHead))
                return true;
        }
        return false;
    }

    // Stops the robot; the one line --players lists (all it lists, when not one).
    static QString onlyPlayer(KeeperProcess& keeper) {
        keeper.stop();
        QString output;
        if (keeper.run({"--players", keeper.booksPath()}, &output) != 0)
            return QStringLiteral("--players failed: ") + output;
        const QStringList listed = output.split(u'\n', Qt::SkipEmptyParts);
        EXPECT_EQ(listed.size(), 1) << output;
        return listed.join(u'\n');
    }

    static inline ServicesNetwork* network = nullptr;
    static inline QString startError;
};

// Two games with reels 1 and 3 held: what the card shows is what the robot booked and lists.
TEST_F(KeeperServicesTest, ACardLogsInWithSaslAndPlaysGames) {
    const auto keeper = startRobot();
    ASSERT_TRUE(keeper);
    ASSERT_TRUE(keeper->waitForLog("joined #casino")) << keeper->log();
    // The card closed and started again between games: greeted each join, GET HOST finds the robot.
    QString credits;
    for (int game = 1; game <= 2; ++game) {
        SCOPED_TRACE(game);
        IrcCard player(cardLogin("Carla", "cardplayer", "s3cretpw"));
        ASSERT_TRUE(waitUntil([&] { return player.transport.open() == 0; }));
        ASSERT_EQ(player.backend->connection().account(), "cardplayer");
        Card& card = player.card;
        ASSERT_TRUE(waitUntil([&] {
            return player.logged("ESP from Rivet: " + wire(announcementLine("Rivet"))) == 1;
        }));
        ASSERT_TRUE(player.clickAndSettle(&Card::findHost));
        ASSERT_EQ(card.state.machineKeeperName, "Rivet");
        card.askToRegister();
        ASSERT_TRUE(waitUntil([&] { return player.logged("ESP from Rivet: FIRST:") == 1; }));
        ASSERT_TRUE(player.clickAndSettle(&Card::start));
        for (int reel = 0; reel < 3; ++reel) {
            if (isHeld(card.state, reel) != (reel != 1))
                card.toggleHold(reel);
        }
        card.sendHolds();
        ASSERT_TRUE(waitUntil([&] { return player.logged("ESP from Rivet: FIRST:") == 2; }));
        ASSERT_TRUE(player.clickAndSettle(&Card::finish));
        EXPECT_TRUE(keeper->waitForLog(QStringLiteral("game %1 of account:cardplayer (Carla): "
                                                      "holds 1,0,1, draw %2, won ")
                                           .arg(game)
                                           .arg(player.shown(&Reel::finalCode, u','))))
            << keeper->log();
        credits = card.state.credits;
        player.library.KillDDE();
    }

    const QString listed = onlyPlayer(*keeper);
    EXPECT_PRED2(textStartsWith, listed, "account:cardplayer credits=" + credits + " games=2 ");
    EXPECT_FALSE(listed.endsWith("last=-"));
}

TEST_F(KeeperServicesTest, CreditsFollowTheAccountAndNotTheNickname) {
    const auto keeper = startRobot("sasl = cardplayer s3cretpw\n"); // the robot logged in too
    ASSERT_TRUE(keeper);
    ASSERT_TRUE(keeper->waitForLog("joined #casino")) << keeper->log();
    EXPECT_TRUE(keeper->log().contains("; the robot is logged in to one)")) << keeper->log();

    auto alice = loggedIn("alice", "alice");
    ASSERT_TRUE(alice);
    alice->privmsg(kKeeper, kRegister);
    ASSERT_TRUE(waitUntil([&] { return countTold(*alice, kFirstHead) == 1; }));
    // A new nickname in the middle of the game: the holds still play on her books.
    ASSERT_TRUE(alice->changeNick("alice_away"));
    ASSERT_TRUE(playHolds(*alice, "1,1,1")) << toldTo(*alice).join('\n');

    // Her old nickname, taken by someone not logged in: no game, on anybody's books.
    IrcTestPeer mallory("alice");
    ASSERT_TRUE(mallory.connectTo(network->port()));
    mallory.privmsg(kKeeper, kRegister);
    mallory.privmsg(kKeeper, holdsLine("0,0,0"));
    ASSERT_TRUE(waitUntil([&] { return toldTo(mallory).size() == 2; }));
    EXPECT_EQ(toldTo(mallory), QList<QByteArray>(2, wire(machine::kLogInFirst)));

    // Back under a third nickname on a new connection: the game waiting is hers to finish.
    alice.reset();
    auto again = loggedIn("alice3", "alice");
    ASSERT_TRUE(again);
    ASSERT_TRUE(playHolds(*again, "0,1,0"));

    const QString listed = onlyPlayer(*keeper);
    EXPECT_TRUE(listed.startsWith("account:alice credits=")) << listed;
    EXPECT_TRUE(listed.contains(" games=2 ")) << listed;
    QString output;
    EXPECT_EQ(keeper->run({"--audit", keeper->booksPath()}, &output), 0) << output;
}

// Without account tags (and without extended-join, so that only SASL and account-notify show the
// network has accounts) the robot still keeps books by account: it asks WHOIS, and what it learns
// serves while the server would say so: who takes the nickname next, or logs out, plays nothing.
TEST_F(KeeperServicesTest, WithoutAccountTagsOnlyACurrentLoginPlays) {
    for (const bool extendedJoin : {true, false}) {
        SCOPED_TRACE(extendedJoin ? "extended-join" : "no extended-join");
        ServicesNetwork untagged({.accountTags = false, .extendedJoin = extendedJoin});
        QString error;
        ASSERT_TRUE(untagged.start(&error) && untagged.registerAccount("acct1", "s3cretpw", &error))
            << error;
        const auto keeper = startRobot({}, untagged.port());
        ASSERT_TRUE(keeper && keeper->waitForLog("joined #casino"));
        EXPECT_TRUE(keeper->log().contains("books kept by services account (the network has "
                                           "accounts: the server offers sasl, account-notify"))
            << keeper->log();
        IrcTestPeer owner("p1");
        ASSERT_TRUE(owner.connectWithLogin(untagged.port(), "acct1", "s3cretpw") &&
                    owner.join(kChannel));
        owner.privmsg(kKeeper, kRegister);
        ASSERT_TRUE(waitUntil([&] { return countTold(owner, wire(machine::kStartHint)) == 1; }));
        owner.sendRaw("QUIT :bye\r\n");

        IrcTestPeer stranger("p1");
        ASSERT_TRUE(waitUntil([&] { return stranger.connectTo(untagged.port(), 1000); }));
        ASSERT_TRUE(stranger.join(kChannel));
        stranger.privmsg(kKeeper, kRegister);
        stranger.privmsg(kKeeper, holdsLine("1,1,1"));
        const QByteArray logInFirst = wire(machine::kLogInFirst);
        EXPECT_TRUE(waitUntil([&] { return countTold(stranger, logInFirst) == 2; }));
        EXPECT_EQ(toldTo(stranger).size(), 3) << toldTo(stranger).join('\n');

        IrcTestPeer player("p2");
        ASSERT_TRUE(player.connectWithLogin(untagged.port(), "acct1", "s3cretpw"));
        ASSERT_TRUE(playHolds(player, "1,1,1")) << toldTo(player).join('\n');
        player.privmsg("NickServ", "LOGOUT");
        ASSERT_TRUE(player.waitForMessage({}, "NickServ", {}));
        const int finals = countTold(player, kFinalHead);
        player.privmsg(kKeeper, holdsLine("1,1,1"));
        EXPECT_TRUE(waitUntil([&] { return countTold(player, wire(machine::kLogInFirst)) == 1; }));
        EXPECT_EQ(countTold(player, kFinalHead), finals);

        const QString listed = onlyPlayer(*keeper);
        EXPECT_TRUE(listed.startsWith("account:acct1 ")) << listed;
        EXPECT_TRUE(listed.contains(" games=1 ")) << listed;
    }
}

TEST_F(KeeperServicesTest, TheRobotTakesItsNicknameBack) {
    IrcTestPeer squatter(kKeeper);
    ASSERT_TRUE(squatter.connectTo(network->port()));
    IrcTestPeer watcher("watcher");
    ASSERT_TRUE(watcher.connectTo(network->port()) && watcher.join(kChannel));

    const auto keeper = startRobot();
    ASSERT_TRUE(keeper);
    ASSERT_TRUE(keeper->waitForLog("serving as Rivet_")) << keeper->log();
    ASSERT_TRUE(watcher.waitForMessage("JOIN", "Rivet_", {}));
    squatter.sendRaw("QUIT :leaving\r\n");

    ASSERT_TRUE(keeper->waitForLog("took back the nickname Rivet")) << keeper->log();
    EXPECT_TRUE(watcher.waitForMessage("NICK", "Rivet_", {kKeeper}));
    // The cards in the channel learn the name anew.
    EXPECT_TRUE(
        watcher.waitForMessage("PRIVMSG", kKeeper, {kChannel, wire(announcementLine("Rivet"))}));

    // Renamed by the network, it says so and takes its name back at once.
    watcher.sendRaw(QByteArray("OPER ") + ServicesNetwork::kOperName + " " +
                    ServicesNetwork::kOperPassword + "\r\nSANICK Rivet Renamed42\r\n");
    EXPECT_TRUE(keeper->waitForLog("the server renamed the robot to Renamed42"));
    EXPECT_TRUE(watcher.waitForMessage("NICK", "Renamed42", {kKeeper})) << keeper->log();
}

// A wrong password is never a plain connection: the card's start fails with the server's reason,
// the robot logs it and ends with status 1, neither showing it. Changed while the card is
// connected, the next connect is refused: the card stays offline saying why, not retrying.
TEST_F(KeeperServicesTest, ARefusedLoginStopsTheCardAndTheRobotWithTheReason) {
    RealClock clock;
    IrcBackend refused(clock, cardLogin("Carla", "cardplayer", "wrongpass"));
    EXPECT_FALSE(refused.open({}));
    EXPECT_EQ(refused.openError(),
              QStringLiteral("Cannot log in to the chat network 127.0.0.1:%1: the server refused "
                             "the login as cardplayer: SASL authentication failed")
                  .arg(network->port()));
    const auto keeper = startRobot("sasl = alice wrongpass\n");
    ASSERT_TRUE(keeper);
    EXPECT_EQ(keeper->waitForEnd(kWaitMs), 1) << keeper->log();
    const QString log = keeper->log();
    EXPECT_TRUE(log.contains("login refused: the server refused the login as alice: SASL "
                             "authentication failed"))
        << log;
    EXPECT_TRUE(log.contains("holds a password and other users may read it")) << log;
    EXPECT_FALSE(log.contains("warning: warning:") || log.contains("wrongpass"));

    IrcBackend backend(clock, cardLogin("Dora", "dora", "s3cretpw"));
    ASSERT_TRUE(backend.open({})) << backend.openError();
    // Dora changes her password from another client logged in to her account.
    IrcTestPeer other("DoraPhone");
    ASSERT_TRUE(other.connectWithLogin(network->port(), "dora", "s3cretpw"));
    other.privmsg("NickServ", "SET PASSWORD n3wsecret");
    ASSERT_TRUE(other.waitFor([](const IrcMessage& m) {
        return nickOf(m.prefix) == "NickServ" && m.last().contains("changed");
    })) << other.rawLines().join("\n");
    // The server drops the card; it connects again with the old password.
    backend.connection().send("QUIT :back soon\r\n");
    ASSERT_TRUE(waitUntil([&] { return backend.connection().loginRefused(); }));
    EXPECT_TRUE(backend.log().lines().contains(
        "Cannot log in to the chat network 127.0.0.1:" + QByteArray::number(network->port()) +
        ": the server refused the login as dora"))
        << backend.log().lines();
    EXPECT_EQ(backend.linkStatus().state, ChatLinkStatus::State::Offline);
    EXPECT_NEAR(backend.linkStatus().offlineSince.value_or(0), clock.timeOfDay(), 5.0);
    EXPECT_FALSE(backend.linkStatus().nextTryInMs.has_value());
    EXPECT_FALSE(backend.connection().isRegistered());
}

} // namespace
} // namespace jackwell
