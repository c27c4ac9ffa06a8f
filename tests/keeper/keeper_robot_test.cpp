// The network machinekeeper on a real IRC server (ngircd on loopback, with its flood limits):
// players who play whole games, several at once, books that survive restarts, and a robot
// killed between a hold and its result.
#include "clock/virtual_clock.h"
#include "irc/irc_numerics.h"
#include "keeper/keeper_accounts.h"
#include "machine/messages.h"
#include "machine/texts.h"

#include "support/keeper_robot_rig.h"

namespace jackwell::keeper {
namespace {

using namespace jackwell::machine;
using namespace jackwell::testing;

QByteArray lastTold(const IrcTestPeer& peer, const char* start) {
    QByteArray last;
    for (const QByteArray& text : toldTo(peer)) {
        if (text.startsWith(start))
            last = text;
    }
    return last;
}

// "FINAL: | 14 | 09 | 06 | Credits: (100)" -> 100
qint64 creditsIn(const QByteArray& finalLine) {
    return finalLine.mid(finalLine.lastIndexOf('(') + 1).chopped(1).toLongLong();
}

// "FIRST: | 14 | 09 | 06 |" -> 14 09 06
ReelCodes codesIn(const QByteArray& line) {
    const QList<QByteArray> parts = line.split('|');
    return {parts.value(1).trimmed().toInt(), parts.value(2).trimmed().toInt(),
            parts.value(3).trimmed().toInt()};
}

// Every result told to `peer` kept the held reels of the first draw told to them before it.
void expectHoldsKept(const IrcTestPeer& peer, const HoldMask& holds) {
    std::optional<ReelCodes> first;
    int finals = 0;
    for (const QByteArray& text : toldTo(peer)) {
        if (text.startsWith("FIRST:"))
            first = codesIn(text);
        if (!text.startsWith("FINAL:"))
            continue;
        ASSERT_TRUE(first) << "a result before any first draw";
        const ReelCodes final = codesIn(text);
        for (int reel = 0; reel < kReelCount; ++reel) {
            if (holds[reel]) {
                EXPECT_EQ(final[reel], (*first)[reel]) << peer.nick().toStdString() << finals;
            }
        }
        ++finals;
    }
}

// Until the server no longer knows the machinekeeper (its connection is gone).
bool keeperGone(IrcTestPeer& peer) {
    for (int attempt = 0; attempt < 40; ++attempt) {
        const std::size_t before = peer.received().size();
        peer.sendRaw("ISON " + kKeeper + "\r\n");
        QByteArray online;
        const bool answered = waitUntil(
            [&] {
                const auto& got = peer.received();
                for (std::size_t i = before; i < got.size(); ++i) {
                    if (got[i].command == irc_numeric::isOn) {
                        online = got[i].last().trimmed();
                        return true;
                    }
                }
                return false;
            },
            1000);
        if (answered && online.isEmpty())
            return true;
        testing::runEventsFor(100);
    }
    return false;
}

class KeeperRobotTest : public KeeperRobotRig {
protected:
    std::unique_ptr<IrcTestPeer> connectPlayer(const QByteArray& nick) {
        auto peer = std::make_unique<IrcTestPeer>(nick);
        EXPECT_TRUE(peer->connectTo(server.port()));
        return peer;
    }

    // Sends `text` and waits until `start` has been told `count` times in all.
    static bool ask(IrcTestPeer& peer, const QByteArray& text, const char* start, int count) {
        peer.privmsg(kKeeper, text);
        return waitUntil([&] { return countTold(peer, start) >= count; }, kWaitMs);
    }

    // Plays `games` games and checks each result against the books.
    void playGames(IrcTestPeer& peer, int games, const QByteArray& holds = "I hold 1,0,1") {
        const int before = countTold(peer, "FINAL:");
        for (int i = 1; i <= games; ++i) {
            ASSERT_TRUE(ask(peer, holds, "FINAL:", before + i)) << peer.nick().toStdString();
            ASSERT_TRUE(waitUntil([&] { return countTold(peer, "FIRST:") > before + i; }, kWaitMs));
        }
    }

    PlayerRecord recordOf(const QByteArray& nick) {
        return books->load(QString::fromLatin1(nick).toLower()).value();
    }

    void expectBalanced() {
        const BooksAudit audit = books->audit();
        EXPECT_TRUE(audit.balanced()) << audit.faults.join('\n').toStdString();
    }
};

TEST_F(KeeperRobotTest, TwoPlayersAtOnceKeepSeparateBooks) {
    auto robot = startRobot(clock, robotConfig(), 1);
    EXPECT_TRUE(robot->isFloodExempt());
    auto alice = connectPlayer("alice");
    auto bob = connectPlayer("bob");
    ASSERT_TRUE(ask(*alice, "Register me!", "FIRST:", 1));
    ASSERT_TRUE(ask(*bob, "Register me!", "FIRST:", 1));
    EXPECT_EQ(toldTo(*alice).first(),
              "The slotmachine is programmed for free games! Click 'Free Game' to activate your "
              "Free-Game-Mode! Amount of credits you get: 100");

    // Holds from both, sent before either has an answer.
    for (int game = 1; game <= 6; ++game) {
        alice->privmsg(kKeeper, "I hold 1,1,0");
        bob->privmsg(kKeeper, "I hold 0,0,0");
        ASSERT_TRUE(waitUntil(
            [&] { return countTold(*alice, "FIRST:") > game && countTold(*bob, "FIRST:") > game; },
            kWaitMs))
            << game;
    }
    for (IrcTestPeer* peer : {alice.get(), bob.get()}) {
        const PlayerRecord record = recordOf(peer->nick());
        EXPECT_EQ(record.gamesPlayed, 6);
        EXPECT_EQ(countTold(*peer, "FINAL:"), 6);
        EXPECT_EQ(record.credits, creditsIn(lastTold(*peer, "FINAL:")));
        EXPECT_EQ(record.pendingFirstDraw, codesIn(lastTold(*peer, "FIRST:")));
    }
    // Each one's holds shaped only their own games.
    expectHoldsKept(*alice, {true, true, false});
    const auto aliceGame = books->delivery("alice")->lastOutcome;
    const auto bobGame = books->delivery("bob")->lastOutcome;
    EXPECT_EQ(aliceGame->holds, (HoldMask{true, true, false}));
    EXPECT_EQ(bobGame->holds, (HoldMask{false, false, false}));
    expectBalanced();
}

TEST_F(KeeperRobotTest, StrangeAndHostileMessagesChangeNoOneElsesBooks) {
    auto robot = startRobot(clock, robotConfig(), 2);
    auto alice = connectPlayer("alice");
    auto mallory = connectPlayer("mallory");
    ASSERT_TRUE(ask(*alice, "Register me!", "FIRST:", 1));
    playGames(*alice, 2);
    const PlayerRecord aliceBefore = recordOf("alice");

    const QByteArray hostile[] = {
        "I hold 1,1,1,1",
        "i hold 1,0,1",
        "\x01VERSION\x01",
        QByteArray(400, 'x'),
        "FINAL: | 07 | 07 | 07 | Credits: (99999)",
        "alice",
        "I hold 1,0,1 for alice",
        "\xFF\xFE\xC3",
    };
    for (const QByteArray& text : hostile)
        mallory->privmsg(kKeeper, text);
    mallory->privmsg("#casino", "I hold 1,1,1");
    mallory->privmsg(kKeeper, "I hold 0,0,0"); // no game of mallory's is waiting
    ASSERT_TRUE(waitUntil(
        [&] { return toldTo(*mallory).contains(QString(kNoGameWaiting).toUtf8()); }, kWaitMs));
    // Holds sent as fast as the server takes them, each played at most once.
    ASSERT_TRUE(ask(*mallory, "Register me!", "FIRST:", 1));
    const int understood = countTold(*mallory, "I understand"); // all answered before the draw
    for (int i = 0; i < 8; ++i)
        mallory->privmsg(kKeeper, "I hold 0,1,0");
    playGames(*alice, 2);
    // Answers keep the order of mallory's messages: when this one is answered, all are. It goes
    // once the robot's queue is empty, so that its answer is not dropped as a flood.
    ASSERT_TRUE(waitUntil([&] { return robot->waitingLines() == 0; }, kWaitMs));
    ASSERT_TRUE(ask(*mallory, "done", "I understand", understood + 1));

    EXPECT_EQ(recordOf("alice").gamesPlayed, aliceBefore.gamesPlayed + 2);
    EXPECT_EQ(recordOf("alice").credits, creditsIn(lastTold(*alice, "FINAL:")));
    EXPECT_EQ(books->load("alice")->freeCreditsGranted, 100);
    expectHoldsKept(*alice, {true, false, true});
    // Every game mallory played was answered, and no answer was made up.
    EXPECT_EQ(recordOf("mallory").gamesPlayed, countTold(*mallory, "FINAL:"));
    EXPECT_LE(countTold(*mallory, "FINAL:"), 8);
    expectHoldsKept(*mallory, {false, true, false});
    for (const IrcMessage& m : mallory->received())
        EXPECT_FALSE(m.command == "NOTICE" && nickOf(m.prefix) == kKeeper);
    expectBalanced();
}

TEST_F(KeeperRobotTest, PlayersKeepTheirCreditsAcrossRestartsWhateverTheirNicknamesCase) {
    qint64 credits = 0;
    {
        auto robot = startRobot(clock, robotConfig(), 3);
        auto alice = connectPlayer("alice");
        ASSERT_TRUE(ask(*alice, "Register me!", "FIRST:", 1));
        playGames(*alice, 3);
        credits = creditsIn(lastTold(*alice, "FINAL:"));
        robot->stop();
        ASSERT_TRUE(keeperGone(*alice));
    }
    auto robot = startRobot(clock, robotConfig(), 4);
    auto alice = connectPlayer("ALICE");
    ASSERT_TRUE(ask(*alice, "Register me!", "FIRST:", 1));
    EXPECT_FALSE(toldTo(*alice).first().startsWith("The slotmachine")) << "no second free game";
    playGames(*alice, 1);
    const qint64 after = creditsIn(lastTold(*alice, "FINAL:"));
    const GameOutcome last = *books->delivery("alice")->lastOutcome;
    EXPECT_EQ(last.creditsBefore, credits);
    EXPECT_EQ(after, last.creditsAfter);
    EXPECT_EQ(recordOf("alice").gamesPlayed, 4);
    expectBalanced();
}

// The robot runs on virtual time here, so that its send queue lets a line out only when the
// test says: the result of a booked game can be made to wait in the queue when the robot dies.
TEST_F(KeeperRobotTest, KilledBetweenAHoldAndItsResultThenStartedAgain) {
    VirtualClock robotClock;
    KeeperConfig config = robotConfig();
    config.fastPace = 1; // one line a second of the robot's time
    auto robot = startRobot(robotClock, config, 5);
    // Lets the robot's time run while it has lines waiting, until `done`.
    auto pumpUntil = [&](const std::function<bool()>& done) {
        return waitUntil(
            [&] {
                if (robot && robot->waitingLines() > 0)
                    robotClock.advance(1000);
                return done();
            },
            kWaitMs);
    };
    auto alice = connectPlayer("alice");
    alice->privmsg(kKeeper, "Register me!");
    ASSERT_TRUE(pumpUntil([&] { return countTold(*alice, "Click START") == 1; }));

    // The last line took the whole second: the result of these holds cannot go out.
    alice->privmsg(kKeeper, "I hold 0,1,1");
    // (Its lines join the queue once the books are synced to the disk.)
    ASSERT_TRUE(waitUntil(
        [&] {
            // The result, the next step, the next draw.
            return !books->inBatch() && recordOf("alice").gamesPlayed == 1 &&
                   robot->waitingLines() == 3;
        },
        kWaitMs));
    robot.reset(); // no goodbye, nothing more sent
    const PlayerRecord booked = recordOf("alice");
    const GameOutcome outcome = *books->delivery("alice")->lastOutcome;

    // Holds sent while no robot is there are lost.
    ASSERT_TRUE(keeperGone(*alice));
    alice->privmsg(kKeeper, "I hold 0,1,1");
    ASSERT_TRUE(alice->waitFor(
        [](const IrcMessage& m) { return m.command == irc_numeric::noSuchNick; }, kWaitMs));

    // Started again, it tells the booked result when the player, having waited, asks again.
    robot = startRobot(clock, robotConfig(), 6);
    ASSERT_TRUE(ask(*alice, "I hold 0,1,1", "FINAL:", 1));
    ASSERT_TRUE(waitUntil([&] { return countTold(*alice, "FIRST:") == 2; }, kWaitMs));
    EXPECT_EQ(recordOf("alice"), booked) << "told again, not played again";
    EXPECT_EQ(creditsIn(lastTold(*alice, "FINAL:")), outcome.creditsAfter);
    EXPECT_EQ(lastTold(*alice, "FIRST:"), QStringLiteral("FIRST: | %1 | %2 | %3 |")
                                              .arg((*booked.pendingFirstDraw)[0], 2, 10, QChar('0'))
                                              .arg((*booked.pendingFirstDraw)[1], 2, 10, QChar('0'))
                                              .arg((*booked.pendingFirstDraw)[2], 2, 10, QChar('0'))
                                              .toLatin1());
    // The next step comes with the result told again.
    const QString outcomeLine =
        gameResultLines(outcome.finalDraw, outcome.creditsAfter, booked.pendingFirstDraw)[1];
    EXPECT_EQ(toldTo(*alice).count(outcomeLine.toUtf8()), 1);

    // The next holds play the next game, and once the server has confirmed its result, a
    // restart does not tell it again.
    playGames(*alice, 1, "I hold 1,1,1");
    EXPECT_EQ(recordOf("alice").gamesPlayed, 2);
    ASSERT_TRUE(waitUntil([&] { return books->delivery("alice")->deliveredGame == 2; }, kWaitMs));
    robot.reset();
    ASSERT_TRUE(keeperGone(*alice));
    robot = startRobot(clock, robotConfig(), 7);
    playGames(*alice, 1);
    EXPECT_EQ(recordOf("alice").gamesPlayed, 3);
    EXPECT_EQ(creditsIn(lastTold(*alice, "FINAL:")), recordOf("alice").credits);
    expectBalanced();
}

TEST_F(KeeperRobotTest, RefusedFloodExemptionItServesAtItsOwnPace) {
    KeeperConfig config = robotConfig();
    config.operPassword = "wrong";
    // The server makes it wait about ten seconds for having tried.
    auto robot = startRobot(clock, config, 8, 25'000);
    EXPECT_FALSE(robot->isFloodExempt());
    auto alice = connectPlayer("alice");
    ASSERT_TRUE(alice->join("#casino"));
    ASSERT_TRUE(alice->waitForPrivmsg(
        kKeeper, "Your machinekeeper is Rivet. Send 'Register me!' to play.", kWaitMs));
    ASSERT_TRUE(ask(*alice, "Register me!", "FIRST:", 1));
    playGames(*alice, 1);
    EXPECT_EQ(recordOf("alice").credits, creditsIn(lastTold(*alice, "FINAL:")));
}

TEST_F(KeeperRobotTest, ComesBackAfterTheServerWentAway) {
    auto robot = startRobot(clock, robotConfig(), 9);
    auto alice = connectPlayer("alice");
    ASSERT_TRUE(ask(*alice, "Register me!", "FIRST:", 1));
    playGames(*alice, 1);

    server.stop();
    ASSERT_TRUE(waitUntil([&] { return !robot->isSpeaking(); }, kWaitMs));
    QString error;
    ASSERT_TRUE(server.start(&error)) << error.toStdString();
    ASSERT_TRUE(waitUntil([&] { return robot->isSpeaking(); }, 2 * kWaitMs));
    EXPECT_TRUE(robot->isFloodExempt());
    alice = connectPlayer("alice");
    ASSERT_TRUE(ask(*alice, "Register me!", "FIRST:", 1));
    playGames(*alice, 1);
    EXPECT_EQ(recordOf("alice").gamesPlayed, 2);
    EXPECT_EQ(recordOf("alice").credits, creditsIn(lastTold(*alice, "FINAL:")));
    expectBalanced();
}

// Under a fallback nickname the robot once served for good. Now it asks after its own (with
// every probe, on a server without MONITOR) and takes it back as soon as it is free.
TEST_F(KeeperRobotTest, UnderAFallbackNicknameItTakesItsOwnBackOnceFree) {
    auto squatter = connectPlayer(kKeeper);
    auto robot = startRobot(clock, robotConfig(), 3);
    ASSERT_EQ(robot->connection().nick(), "Rivet_");
    auto alice = connectPlayer("alice");
    auto toldByFallback = [&] {
        return std::ranges::count_if(alice->received(), [](const IrcMessage& m) {
            return m.command == "PRIVMSG" && nickOf(m.prefix) == "Rivet_";
        });
    };
    alice->privmsg("Rivet_", "Register me!");
    ASSERT_TRUE(waitUntil([&] { return toldByFallback() >= 3; }, kWaitMs));

    squatter->sendRaw("QUIT :leaving\r\n");
    alice->privmsg("Rivet_", "I hold 1,0,1");
    ASSERT_TRUE(waitUntil([&] { return robot->connection().nick() == kKeeper; }, kWaitMs));
    EXPECT_TRUE(robotLog.contains("took back the nickname Rivet"))
        << robotLog.join('\n').toStdString();
    // Players write to it under its own name again.
    ASSERT_TRUE(ask(*alice, "I hold 0,0,0", "FINAL:", 1));
}

// The robot once greeted its channel with the banner and the announcement on every join, which
// buried a busy channel's talk. The channel hears them on its arrival and then at most every ten
// minutes; each joining player is told privately whom to write to, at most once an hour.
TEST_F(KeeperRobotTest, GreetsTheChannelSparinglyAndEachJoiningPlayerPrivately) {
    VirtualClock virtualClock;
    auto watcher = connectPlayer("watcher");
    ASSERT_TRUE(watcher->join("#casino"));
    auto robot = std::make_unique<KeeperRobot>(virtualClock, robotConfig(), *books, 5,
                                               [this](const QString& t) { robotLog << t; });
    robot->start();
    // Virtual time runs ten times as fast as the real, in steps that let the socket keep up.
    auto drive = [&](const std::function<bool()>& done, int realMs = kWaitMs) {
        return waitUntil(
            [&] {
                virtualClock.advance(50);
                return done();
            },
            realMs);
    };
    auto banners = [&] {
        return std::ranges::count_if(watcher->received(), [](const IrcMessage& m) {
            return m.command == "PRIVMSG" && m.param(0) == "#casino" &&
                   m.param(1).startsWith("--- Welcome");
        });
    };
    const QByteArray announcement = "Your machinekeeper is Rivet. Send 'Register me!' to play.";
    auto greetings = [&](const IrcTestPeer& peer) {
        return std::ranges::count(toldTo(peer), announcement);
    };
    ASSERT_TRUE(drive([&] { return banners() == 1; }));

    auto alice = connectPlayer("alice");
    ASSERT_TRUE(alice->join("#casino"));
    ASSERT_TRUE(drive([&] { return greetings(*alice) == 1; }));
    alice->sendRaw("PART #casino\r\n");
    ASSERT_TRUE(alice->join("#casino"));
    drive([] { return false; }, 1500);
    EXPECT_EQ(greetings(*alice), 1);
    EXPECT_EQ(banners(), 1);

    // An hour later (the connection kept alive meanwhile), both are due again.
    for (int step = 0; step < 61 * 2; ++step) {
        virtualClock.advance(30000);
        testing::runEventsFor(5);
    }
    ASSERT_TRUE(robot->isSpeaking());
    alice->sendRaw("PART #casino\r\n");
    ASSERT_TRUE(alice->join("#casino"));
    ASSERT_TRUE(drive([&] { return greetings(*alice) == 2 && banners() == 2; }))
        << greetings(*alice) << " " << banners();
}

// With accounts required on a server that reports none with its messages, the robot asks WHOIS
// who a player is; a player WHOIS names no account for is asked to log in and plays nothing.
TEST_F(KeeperRobotTest, WithAccountsRequiredAPlayerWithoutOneIsAskedToLogIn) {
    KeeperConfig config = robotConfig();
    config.identity = Identity::Account;
    auto robot = startRobot(clock, config, 4);
    EXPECT_TRUE(usesAccounts(config.identity, robot->connection()));
    auto alice = connectPlayer("alice");
    alice->privmsg(kKeeper, "Register me!");
    alice->privmsg(kKeeper, "I hold 1,0,1");
    ASSERT_TRUE(waitUntil([&] { return toldTo(*alice).size() == 2; }, kWaitMs));
    for (const QByteArray& text : toldTo(*alice))
        EXPECT_TRUE(text.startsWith("Please log in to your account")) << text.toStdString();
    EXPECT_EQ(books->load("alice")->gamesPlayed, 0);
    EXPECT_FALSE(books->load("alice")->pendingFirstDraw);
}

} // namespace
} // namespace jackwell::keeper
