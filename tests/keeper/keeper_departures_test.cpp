// Players who leave, on a real IRC server (ngircd on loopback, with its flood limits): a result
// counts as told only when its player was there, one who came back is told what they missed
// before anything is played, and a crowd leaving at once costs those who stay nothing.
#include "clock/virtual_clock.h"
#include "support/keeper_robot_rig.h"
#include "support/scripted_irc_server.h"

#include <QElapsedTimer>

#include <cstdio>

namespace jackwell::keeper {
namespace {

using namespace jackwell::machine;
using namespace jackwell::testing;

class KeeperDeparturesTest : public KeeperRobotRig {
protected:
    void startRobot(bool exempt = true, int fastPace = 200) {
        KeeperConfig config = robotConfig();
        config.fastPace = fastPace;
        config.logLevel = LogLevel::Debug; // every line to a player is logged
        if (!exempt)
            config.operName.clear();
        robot = KeeperRobotRig::startRobot(clock, config, 11, 2 * kWaitMs);
        ASSERT_TRUE(robot->isSpeaking());
    }

    // Sends the text and the QUIT after it in one write; waits until the server lets them go.
    static void sayAndQuit(IrcTestPeer& peer, const QByteArray& text) {
        peer.sendRaw("PRIVMSG " + kKeeper + " :" + text + "\r\nQUIT :gone\r\n");
        ASSERT_TRUE(peer.waitForMessage("ERROR", {}, {}));
    }

    // `player` registers, then sends holds and quits in one write: what they played, once booked.
    GameOutcome playAndDrop(const QString& player, bool inChannel) {
        auto first = connectPlayer(player.toLatin1(), inChannel);
        first->privmsg(kKeeper, kRegister);
        EXPECT_TRUE(waitUntil([&] { return countTold(*first, kFirstHead) == 1; }));
        sayAndQuit(*first, holdsLine("1,0,1"));
        EXPECT_TRUE(waitUntil([&] { return recordOf(player).gamesPlayed == 1; }));
        const auto delivery = readBooks().delivery(player); // none when nothing was booked
        return delivery ? delivery->lastOutcome.value_or(GameOutcome{}) : GameOutcome{};
    }

    std::unique_ptr<KeeperRobot> robot;
};

// A player sends the holds and quits in one write, comes back under the same name and sends
// the holds again (as a program that lost its connection would): they get the result of the game
// they played, on the first draw they were told, and nothing is played twice, whether the robot
// saw them leave its channel or learnt it from "no such nick", and whatever they write when back.
TEST_F(KeeperDeparturesTest, APlayerWhoDroppedIsToldTheResultNotGivenAnUnseenGame) {
    const std::tuple<const char*, bool, QByteArray> cases[] = {
        {"in the channel, holds again", true, holdsLine("1,0,1")},
        {"not in the channel, holds again", false, holdsLine("1,0,1")},
        {"in the channel, anything else", true, "hello?"},
        {"not in the channel, registering", false, kRegister},
    };
    // Not a result the player moved on from: played to none, granted more, results never marked.
    MachineKeeper earlier(QString::fromLatin1(kKeeper), *books, 5);
    ASSERT_TRUE(books->beginBatch());
    earlier.onPrivateMessage("granted", kRegisterRequest);
    while (books->load("granted")->pendingFirstDraw)
        earlier.onPrivateMessage("granted", QString::fromLatin1(holdsLine("0,0,0")));
    earlier.onPrivateMessage("granted", kRegisterRequest);
    ASSERT_TRUE(books->commitBatch());
    startRobot();
    int round = 0;
    for (const auto& [name, inChannel, whenBack] : cases) {
        SCOPED_TRACE(name);
        const QByteArray nick = "drop" + QByteArray::number(++round);
        const QString player = QString::fromLatin1(nick);
        const GameOutcome played = playAndDrop(player, inChannel);
        runEventsFor(500); // the robot has heard of the departure by now, one way or the other
        EXPECT_EQ(readBooks().delivery(player)->deliveredGame, 0) << "a result nobody received";

        auto back = connectPlayer(nick, inChannel);
        back->privmsg(kKeeper, whenBack);
        // The result, its words, the first draw waiting; maybe after the first answer held back.
        const QByteArray result = wire(finalDrawLine(played.finalDraw, played.creditsAfter));
        ASSERT_TRUE(waitUntil([&] {
            const QList<QByteArray> told = toldTo(*back);
            return told.indexOf(result) >= 0 && told.indexOf(result) + 2 < told.size();
        }));
        const PlayerRecord record = recordOf(player);
        EXPECT_EQ(record.gamesPlayed, 1) << "told again, not played again";
        const QList<QByteArray> told = toldTo(*back);
        EXPECT_EQ(told[told.indexOf(result) + 2], wire(firstDrawLine(*record.pendingFirstDraw)));
        ASSERT_TRUE(waitUntil([&] { return readBooks().delivery(player)->deliveredGame == 1; }));

        // The next holds play the first draw they were just told.
        back->privmsg(kKeeper, holdsLine("1,1,1"));
        ASSERT_TRUE(waitUntil([&] { return recordOf(player).gamesPlayed == 2; }));
        EXPECT_EQ(readBooks().delivery(player)->lastOutcome->firstDraw, *record.pendingFirstDraw);
    }
    auto back = connectPlayer("granted");
    back->privmsg(kKeeper, "hello?");
    const QByteArray help = wire(kUnknownRequestHelp);
    ASSERT_TRUE(waitUntil([&] { return countTold(*back, help) == 1; }));
    EXPECT_EQ(countTold(*back, kFinalHead), 0);
    const books::BooksAudit audit = readBooks().audit();
    EXPECT_TRUE(audit.balanced()) << audit.faults.join('\n');
}

// A card whose connection dropped right after its holds does not ask again once back: the robot
// tells it the result as soon as it is on the network (before the server lets it speak or join),
// and the first draw after it once it has been quiet a moment; its next holds play that draw.
TEST_F(KeeperDeparturesTest, APlayerBackAfterADropIsToldWithoutAsking) {
    startRobot();
    const QString player = "quiet";
    const GameOutcome played = playAndDrop(player, true);

    auto back = connectPlayer("quiet");
    back->sendRaw("JOIN " + kChannel + "\r\n"); // the server holds it back for a second
    ASSERT_TRUE(waitUntil([&] { return countTold(*back, kFirstHead) == 1; }));
    EXPECT_EQ(toldTo(*back, kFinalHead),
              QList<QByteArray>{wire(finalDrawLine(played.finalDraw, played.creditsAfter))});
    EXPECT_EQ(toldTo(*back, kFirstHead)[0],
              wire(firstDrawLine(*recordOf(player).pendingFirstDraw)));
    ASSERT_TRUE(waitUntil([&] { return readBooks().delivery(player)->deliveredGame == 1; }));

    ASSERT_NO_FATAL_FAILURE(sayAndQuit(*back, holdsLine("1,1,1")));
    ASSERT_TRUE(waitUntil([&] { return recordOf(player).gamesPlayed == 2; }));

    // A program that sends its holds again as soon as it is back (the server holds them back a
    // second) gets the first draw for them: they are not played on a draw it has not seen.
    auto again = connectPlayer("quiet");
    again->privmsg(kKeeper, holdsLine("1,1,1"));
    ASSERT_TRUE(waitUntil([&] { return countTold(*again, kFirstHead) == 1; }));
    runEventsFor(1500);
    EXPECT_EQ(countTold(*again, kFinalHead), 1);
    EXPECT_EQ(recordOf(player).gamesPlayed, 2);
}

// One who dropped after their holds is told the result on joining, before the robot asks.
TEST_F(KeeperDeparturesTest, APlayerSeenJoiningIsToldWhatTheyMissed) {
    VirtualClock still;
    const auto onStill = KeeperRobotRig::startRobot(still, robotConfig(), 12);
    playAndDrop("joiner", true);
    auto back = connectPlayer("joiner", true);
    EXPECT_TRUE(waitUntil([&] { return countTold(*back, kFinalHead) == 1; }));
}

// A player who left while their result was on its way (not known to have reached them) is asked
// after until back, and then told it again.
TEST_F(KeeperDeparturesTest, APlayerGoneWhileTheirResultWasOnItsWayIsToldItOnReturning) {
    ScriptedIrcServer fake;
    fake.isonAnswer = ":s 303 Rivet :\r\n"; // the first draw is known to have arrived
    auto rivet = welcomedBy(fake, clock);
    ASSERT_TRUE(rivet);
    fake.send(":Rivet MODE Rivet :+F\r\n:p!u@h PRIVMSG Rivet :" + kRegister + "\r\n");
    ASSERT_TRUE(fake.waitForLine("ISON Rivet"));
    runEventsFor(100);       // its answer read
    fake.isonAnswer.clear(); // and the result is not
    fake.send(":p!u@h PRIVMSG Rivet :" + holdsLine("1,0,1") + "\r\n");
    const QByteArray result = "PRIVMSG p :" + wire(kFinalHead);
    ASSERT_TRUE(waitUntil([&] { return fake.heard().count(result) == 1; }));
    fake.send(":p!u@h QUIT :gone\r\n"); // asked after: is p back?
    ASSERT_TRUE(waitUntil([&] { return fake.received.contains("ISON Rivet :p"); }));
    fake.send(":p!u@h PRIVMSG Rivet :hello?\r\n"); // back: told it, and asked after no more
    EXPECT_TRUE(waitUntil([&] { return fake.heard().count(result) == 2; }));
    const qsizetype asked = fake.received.count("ISON Rivet :p");
    EXPECT_EQ((runEventsFor(500), fake.received.count("ISON Rivet :p")), asked);
}

// Who joins and leaves at once is not greeted: the robot reads the departure before writing.
TEST_F(KeeperDeparturesTest, NobodyIsGreetedAfterLeavingInTheSameBreath) {
    startRobot();
    auto ghost = connectPlayer("ghost");
    ghost->sendRaw("JOIN " + kChannel + "\r\nQUIT :boo\r\n");
    ASSERT_TRUE(waitUntil([&] { return robot->presence().isGone("ghost"); }, 3 * kWaitMs));
    auto honest = connectPlayer("honest", true);
    honest->privmsg(kKeeper, kRegister);
    ASSERT_TRUE(waitUntil([&] { return countTold(*honest, kFirstHead) == 1; }));
    EXPECT_FALSE(robotLog.join('\n').contains("to ghost:")) << robotLog.join('\n');
}

// A registration's first draw is followed too: holds of a player gone before it got it, unplayed.
TEST_F(KeeperDeparturesTest, HoldsOnAFirstDrawThatNeverArrivedAreNotPlayed) {
    startRobot();
    for (const bool inChannel : {true, false}) {
        SCOPED_TRACE(inChannel ? "in the channel" : "not in the channel");
        const QByteArray nick = inChannel ? "early1" : "early2";
        const QString player = QString::fromLatin1(nick);
        auto first = connectPlayer(nick, inChannel);
        ASSERT_NO_FATAL_FAILURE(sayAndQuit(*first, kRegister));
        ASSERT_TRUE(waitUntil([&] { return recordOf(player).pendingFirstDraw.has_value(); }));
        runEventsFor(500);

        auto back = connectPlayer(nick, inChannel);
        back->privmsg(kKeeper, holdsLine("1,0,1"));
        const QByteArray waiting = wire(firstDrawLine(*recordOf(player).pendingFirstDraw));
        // Told once more (a line of the first answer the server still held may come too).
        ASSERT_TRUE(waitUntil([&] { return toldTo(*back).count(waiting) >= (inChannel ? 1 : 2); }));
        EXPECT_EQ(recordOf(player).gamesPlayed, 0);
        back->privmsg(kKeeper, holdsLine("1,0,1"));
        ASSERT_TRUE(waitUntil([&] { return countTold(*back, kFinalHead) == 1; }));
        EXPECT_EQ(recordOf(player).gamesPlayed, 1);
    }
}

// Thirty players register and quit at once. Every line the robot would send them costs it two
// seconds here (the ordinary pace, not exempt); it sends none, and one who stays is answered.
TEST_F(KeeperDeparturesTest, ACrowdLeavingAtOnceDelaysNobody) {
    ASSERT_NO_FATAL_FAILURE(startRobot(false));
    auto honest = connectPlayer("honest", true);
    std::vector<std::unique_ptr<IrcTestPeer>> crowd;
    for (int i = 0; i < 30; ++i)
        crowd.push_back(connectPlayer("leaver" + QByteArray::number(i)));
    // All join at once: one by one, the server's pause after each login adds up.
    for (auto& peer : crowd)
        peer->sendRaw("JOIN " + kChannel + "\r\n");
    ASSERT_TRUE(waitUntil(
        [&] {
            return std::ranges::all_of(
                crowd, [](const auto& peer) { return peer->hasReceived("JOIN", peer->nick()); });
        },
        3 * kWaitMs));
    honest->privmsg(kKeeper, kRegister);
    ASSERT_TRUE(waitUntil([&] { return countTold(*honest, kFirstHead) == 1; }, 3 * kWaitMs));
    runEventsFor(2500); // everyone's penalties from joining are over

    for (auto& peer : crowd)
        peer->sendRaw("PRIVMSG " + kKeeper + " :" + kRegister + "\r\nQUIT :bye\r\n");
    runEventsFor(100);
    QElapsedTimer answered;
    answered.start();
    honest->privmsg(kKeeper, holdsLine("1,1,0"));
    ASSERT_TRUE(waitUntil([&] { return countTold(*honest, kFinalHead) == 1; }, 60'000));
    EXPECT_LT(answered.elapsed(), 2000);
    std::printf("the player who stayed was answered in %lld ms\n", answered.elapsed());
    // Nothing waits for the players who left, and their books kept their waiting draws.
    EXPECT_TRUE(waitUntil([&] { return robot->waitingLines() == 0; }));
    EXPECT_TRUE(robot->presence().isGone("leaver7") && recordOf("leaver7").pendingFirstDraw);
}

// A robot that cannot say what it has to say (the server holds it back) stops taking new games
// rather than pile up answers: past ten seconds of output, messages go unanswered and unbooked.
TEST_F(KeeperDeparturesTest, ARobotThatCannotSpeakTakesNoMoreGames) {
    startRobot(true, 1); // one line a second: the queue fills at once
    std::vector<std::unique_ptr<IrcTestPeer>> players;
    for (int i = 0; i < 60; ++i) {
        players.push_back(connectPlayer("busy" + QByteArray::number(i)));
        players.back()->privmsg(kKeeper, kRegister);
    }
    auto registered = [&] {
        int count = 0;
        for (int i = 0; i < 60; ++i)
            count += recordOf(QStringLiteral("busy%1").arg(i)).pendingFirstDraw ? 1 : 0;
        return count;
    };
    // About 25 registrations fill a hundred lines.
    ASSERT_TRUE(waitUntil([&] { return registered() >= 20; }));
    runEventsFor(1000);
    EXPECT_LT(registered(), 60) << "every message was taken";
    EXPECT_LE(robot->waitingLines(), 100 + 3);
}

} // namespace
} // namespace jackwell::keeper
