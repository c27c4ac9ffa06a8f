// The player's program (card, chat transport, chat library over IRC) against the network
// machinekeeper on a real server: it finds the robot, registers and plays whole games, and
// what the card shows is what the books say.
#include "chat/dapi.h"
#include "chat/irc_backend.h"
#include "chat/transport.h"
#include "card/card.h"
#include "settings/options.h"

#include "support/fakes.h"
#include "support/keeper_robot_rig.h"

namespace jackwell {
namespace {

using testing::kWaitMs;
using testing::NgircdServer;
using testing::waitUntil;

QString twoDigits(int code) {
    return QStringLiteral("%1").arg(code, 2, 10, QLatin1Char('0'));
}

class KeeperCardGameTest : public testing::KeeperRobotRig {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(KeeperRobotRig::SetUp());
        keeper::KeeperConfig config = robotConfig();
        config.operName.clear(); // at the ordinary pace
        robot = startRobot(clock, config, 11);
        ASSERT_TRUE(robot->isSpeaking());

        player.server = NgircdServer::kHost;
        player.port = server.port();
        player.nick = "Player";
        player.channel = "#casino";
        ASSERT_EQ(transport.open(), 0);
    }

    int logged(const QString& start) const {
        int count = 0;
        for (const QByteArray& line : backend->log().lines().split('\n'))
            count += QString::fromUtf8(line.trimmed()).startsWith(start) ? 1 : 0;
        return count;
    }

    bool clickAndSettle(void (Card::*click)()) {
        (card.*click)();
        return waitUntil([&] { return !card.isWaitingForChat(); }, kWaitMs);
    }

    QString shown(QString Reel::*code) const {
        QStringList codes;
        for (const Reel& reel : card.state.reels)
            codes << reel.*code;
        return codes.join(u' ');
    }

    static QString codes(const machine::ReelCodes& reels) {
        return twoDigits(reels[0]) + u' ' + twoDigits(reels[1]) + u' ' + twoDigits(reels[2]);
    }

    std::unique_ptr<keeper::KeeperRobot> robot;
    IrcConfig player;
    IrcBackend* backend = nullptr;
    testing::FakeSound sound;
    Options options;
    ChatLibrary library{clock, [this] {
                            auto made = std::make_unique<IrcBackend>(clock, player);
                            backend = made.get();
                            return made;
                        }};
    ChatTransport transport{library, clock, "Jackwell"};
    Card card{Card::Effects{transport, clock, sound, sound, options}};
};

TEST_F(KeeperCardGameTest, ThePlayersProgramPlaysWholeGamesAgainstTheRobot) {
    // The robot greets the player privately as they join; GET HOST finds it.
    ASSERT_TRUE(waitUntil(
        [&] { return logged("ESP from Rivet: Your machinekeeper is Rivet.") > 0; }, kWaitMs));
    ASSERT_TRUE(clickAndSettle(&Card::findHost));
    ASSERT_EQ(card.state.machineKeeperName, "Rivet");

    card.askToRegister(); // REGISTER
    ASSERT_TRUE(waitUntil([&] { return logged("ESP from Rivet: FIRST:") == 1; }, kWaitMs));
    ASSERT_TRUE(clickAndSettle(&Card::start)); // START
    EXPECT_EQ(card.state.freeGame, "Free Game");
    EXPECT_EQ(card.payouts.amounts[0].trimmed(), "25000");

    for (int game = 1; game <= 3; ++game) {
        SCOPED_TRACE(game);
        const machine::PlayerRecord before = books->load("player").value();
        EXPECT_EQ(shown(&Reel::firstCode), codes(*before.pendingFirstDraw));
        // Reels 1 and 3 held (the card lets go of holds by itself a while after FINISH).
        if (!isHeld(card.state, 0))
            card.toggleHold(0);
        if (isHeld(card.state, 1))
            card.toggleHold(1);
        if (!isHeld(card.state, 2))
            card.toggleHold(2);
        card.sendHolds(); // ESP HOLD
        ASSERT_TRUE(
            waitUntil([&] { return logged("ESP from Rivet: FIRST:") == game + 1; }, kWaitMs));
        ASSERT_TRUE(clickAndSettle(&Card::finish)); // FINISH

        const auto delivery = books->delivery("player");
        ASSERT_TRUE(delivery && delivery->lastOutcome);
        EXPECT_EQ(delivery->lastGame, game);
        EXPECT_EQ(delivery->lastOutcome->holds, (machine::HoldMask{true, false, true}));
        EXPECT_EQ(shown(&Reel::finalCode), codes(delivery->lastOutcome->finalDraw));
        EXPECT_EQ(card.state.credits, QString::number(books->load("player")->credits));
        ASSERT_TRUE(clickAndSettle(&Card::start)); // START the next game
    }
    const keeper::BooksAudit audit = books->audit();
    EXPECT_TRUE(audit.balanced()) << audit.faults.join('\n').toStdString();
}

} // namespace
} // namespace jackwell
