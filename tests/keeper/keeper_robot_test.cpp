// The network machinekeeper on ngircd: whole games, several at once, restarts, a robot killed.
#include "clock/virtual_clock.h"
#include "keeper/keeper_accounts.h"

#include "support/keeper_robot_rig.h"
#include "support/troubled_books.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QTimer>

namespace jackwell::keeper {
namespace {

using namespace jackwell::books;
using namespace jackwell::machine;
using namespace jackwell::testing;

class KeeperRobotTest : public KeeperRobotRig {
protected:
    // Sends `text` and waits until `start` has been told `count` times in all.
    static bool ask(IrcTestPeer& peer, const QByteArray& text, QByteArrayView start, int count) {
        peer.privmsg(kKeeper, text);
        return waitUntil([&] { return countTold(peer, start) >= count; });
    }

    // Plays `games` games, each answered with its result and the next first draw.
    static void playGames(IrcTestPeer& peer, int games, const char* holds = "1,0,1") {
        for (int i = 0; i < games; ++i) {
            const int firsts = countTold(peer, kFirstHead);
            ASSERT_TRUE(ask(peer, holdsLine(holds), kFinalHead, countTold(peer, kFinalHead) + 1))
                << peer.nick().data();
            ASSERT_TRUE(waitUntil([&] { return countTold(peer, kFirstHead) > firsts; }));
        }
    }
};

// Two players, one hostile, holding before either is answered: neither changes the other's books.
TEST_F(KeeperRobotTest, StrangeAndHostileMessagesChangeNoOneElsesBooks) {
    auto robot = startRobot(clock, robotConfig(), 2);
    auto alice = connectPlayer("alice");
    auto mallory = connectPlayer("mallory");
    ASSERT_TRUE(ask(*alice, kRegister, kFirstHead, 1));
    EXPECT_TRUE(toldTo(*alice).first().startsWith(wire(kFreeGameOfferHead)));
    playGames(*alice, 2);

    for (const char* text :
         {"I hold 1,1,1,1", "i hold 1,0,1", "\x01VERSION\x01", "alice",
          "FINAL: | 07 | 07 | 07 | Credits: (99999)", "I hold 1,0,1 for alice", "\xFF\xFE\xC3"})
        mallory->privmsg(kKeeper, text);
    mallory->privmsg(kKeeper, QByteArray(400, 'x'));
    mallory->privmsg(kChannel, holdsLine("1,1,1"));
    mallory->privmsg(kKeeper, holdsLine("0,0,0")); // no game of mallory's is waiting
    ASSERT_TRUE(waitUntil([&] { return toldTo(*mallory).contains(wire(kNoGameWaiting)); }));
    // Holds sent as fast as the server takes them, each played at most once.
    ASSERT_TRUE(ask(*mallory, kRegister, kFirstHead, 1));
    const QByteArray help = wire(kUnknownRequestHelp);
    const int understood = countTold(*mallory, help); // all answered before the draw
    for (int i = 0; i < 8; ++i)
        mallory->privmsg(kKeeper, holdsLine("0,1,0"));
    playGames(*alice, 2);
    // Answers keep mallory's order (this one sent on an empty queue, not dropped as a flood).
    ASSERT_TRUE(waitUntil([&] { return robot->waitingLines() == 0; }));
    ASSERT_TRUE(ask(*mallory, "done", help, understood + 1));

    EXPECT_EQ(recordOf("alice").gamesPlayed, 4);
    EXPECT_EQ(recordOf("alice").freeCreditsGranted, kFreeGameCredits);
    expectToldAsBooked(*alice, "alice", HoldMask{true, false, true});
    // Every game mallory played was answered, and no answer was made up.
    EXPECT_LE(countTold(*mallory, kFinalHead), 8);
    expectToldAsBooked(*mallory, "mallory", HoldMask{false, true, false});
    for (const IrcMessage& m : mallory->received())
        EXPECT_FALSE(m.command == "NOTICE" && nickOf(m.prefix) == kKeeper);
}

// Another machinekeeper greets and answers anything: answered here, the two would talk for good.
TEST_F(KeeperRobotTest, AnotherRobotsWordsGetNoAnswer) {
    auto robot = startRobot(clock, robotConfig(), 3);
    auto twin = connectPlayer("Twin");
    for (const QByteArray& text : {wire(announcementLine("Twin")), wire(kUnknownRequestHelp),
                                   wire(firstDrawLine({1, 2, 3})), QByteArray("done")})
        twin->privmsg(kKeeper, text);
    // Answers keep the order of the messages: once "done" is answered, so would the others be.
    ASSERT_TRUE(waitUntil([&] { return !toldTo(*twin).isEmpty(); }));
    runEventsFor(200);
    EXPECT_EQ(toldTo(*twin), QList<QByteArray>{wire(kUnknownRequestHelp)});
}

// A game the books did not take is not told: the player hears the machine is out of order.
TEST_F(KeeperRobotTest, AGameTheBooksDidNotTakeIsNotTold) {
    TroubledBooks troubled(*books);
    auto robot = startRobot(clock, robotConfig(), 10, kWaitMs, &troubled);
    auto alice = connectPlayer("alice");
    ASSERT_TRUE(ask(*alice, kRegister, kFirstHead, 1));
    troubled.failing = true;
    ASSERT_TRUE(ask(*alice, holdsLine("1,0,1"), wire(kOutOfOrder), 1));
    EXPECT_EQ(robotLog.filter("disk trouble").size(), 1) << robotLog.join('\n'); // said once
    troubled.failing = false;
    playGames(*alice, 1);
    expectToldAsBooked(*alice, "alice");
}

// Holds that come while another robot sharing the books still tells the player's last result wait,
// and are played once that result is seen delivered, when the player asked to play here after it
// (as one coming over from the other robot does). Holds that did not (sent across a network split
// before that result reached them) were for the draw before it: the waiting draw is told instead.
TEST_F(KeeperRobotTest, HoldsWaitForTheLastResultOnItsWayFromAnotherRobot) {
    TroubledBooks troubled(*books);
    auto robot = startRobot(clock, robotConfig(), 11, kWaitMs, &troubled);
    auto alice = connectPlayer("alice");
    ASSERT_TRUE(ask(*alice, kRegister, kFirstHead, 1));
    for (const bool askedHere : {true, false}) {
        playGames(*alice, 1);
        const int finals = countTold(*alice, kFinalHead);
        troubled.elsewhere = true;
        ASSERT_TRUE(!askedHere ||
                    ask(*alice, kRegister, kFirstHead, countTold(*alice, kFirstHead) + 1));
        alice->privmsg(kKeeper, holdsLine("0,1,0"));
        runEventsFor(10 * TurnTeller::kElsewhereRecheckMs);
        EXPECT_EQ(countTold(*alice, kFinalHead), finals) << "played before it was delivered";
        const int firsts = countTold(*alice, kFirstHead);
        troubled.elsewhere = false;
        ASSERT_TRUE(waitUntil([&] { return countTold(*alice, kFirstHead) > firsts; }));
        runEventsFor(10 * TurnTeller::kElsewhereRecheckMs);
        EXPECT_EQ(countTold(*alice, kFinalHead), finals + (askedHere ? 1 : 0)) << askedHere;
    }
    expectToldAsBooked(*alice, "alice", std::nullopt, true);
}

// A program that heard nothing for a while sends its holds again. Copies read before the result
// went out are not played; one sent as it went out reaches the robot after it and would be played
// on the next first draw, a game nobody chose. It is not; the holds sent again later are.
TEST_F(KeeperRobotTest, HoldsSentAgainThatCrossTheirResultAreNotPlayed) {
    auto robot = startRobot(clock, robotConfig(), 12);
    auto alice = connectPlayer("alice");
    ASSERT_TRUE(ask(*alice, kRegister, kFirstHead, 1));
    alice->sendRaw("PRIVMSG Rivet :I hold 1,0,1\r\nPRIVMSG Rivet :I hold 1,0,1\r\n");
    ASSERT_TRUE(waitUntil([&] { return countTold(*alice, kFirstHead) == 2; }));
    alice->privmsg(kKeeper, holdsLine("1,0,1")); // sent before the result came in, say
    runEventsFor(KeeperResentHolds::kCrossingMs);
    EXPECT_EQ(countTold(*alice, kFinalHead), 1) << "a copy was played";
    runEventsFor(KeeperResentHolds::kCrossingMs);
    ASSERT_TRUE(ask(*alice, holdsLine("1,0,1"), kFinalHead, 2)) << "the same holds meant anew";
    EXPECT_EQ(recordOf("alice").gamesPlayed, 2);
    expectToldAsBooked(*alice, "alice");
}

// Books another process keeps locked: a game that cannot be booked is answered that nothing was
// booked, and meanwhile the robot's event loop (this test's too) never waits for the books.
TEST_F(KeeperRobotTest, BooksLockedByAnotherProcessStallNobody) {
    auto robot = startRobot(clock, robotConfig(), 12);
    auto alice = connectPlayer("alice");
    auto bob = connectPlayer("bob");
    ASSERT_TRUE(ask(*alice, kRegister, kFirstHead, 1));
    QProcess locker;
    locker.start("sqlite3", {dir.filePath("books.sqlite")});
    locker.write("BEGIN IMMEDIATE;\nSELECT 'locked';\n");
    ASSERT_TRUE(waitUntil([&] { return locker.readAllStandardOutput().contains("locked"); }));
    qint64 longestPause = 0;
    QElapsedTimer sinceTick;
    sinceTick.start();
    QTimer tick;
    tick.callOnTimeout([&] { longestPause = std::max(longestPause, sinceTick.restart()); });
    tick.start(10);
    alice->privmsg(kKeeper, holdsLine("1,0,1"));
    for (int i = 0; i < 3; ++i)
        bob->privmsg(kKeeper, kRegister);
    const QByteArray outOfOrder = wire(kOutOfOrder);
    ASSERT_TRUE(waitUntil(
        [&] { return countTold(*alice, outOfOrder) == 1 && countTold(*bob, outOfOrder) == 3; }));
    // SQLite gave up after its own short wait: no statement hung long enough to be cut short.
    EXPECT_TRUE(robotLog.filter("cut short").isEmpty()) << robotLog.join('\n');
    EXPECT_LT(longestPause, 900) << "the event loop waited for the books";
    locker.closeWriteChannel();
    ASSERT_TRUE(locker.waitForFinished());
    playGames(*alice, 1);
    expectToldAsBooked(*alice, "alice");
    EXPECT_FALSE(recordOf("bob").pendingFirstDraw);
}

TEST_F(KeeperRobotTest, RefusedFloodExemptionItServesAtItsOwnPace) {
    KeeperConfig config = robotConfig();
    config.operPassword = "wrong";
    // The server makes it wait about ten seconds for having tried.
    auto robot = startRobot(clock, config, 8, 25'000);
    EXPECT_FALSE(robot->isFloodExempt());
    auto alice = connectPlayer("alice", true);
    // The greeting as it goes over the wire, pinned here: players' programs look for it.
    ASSERT_TRUE(alice->waitForPrivmsg(kKeeper,
                                      "Your machinekeeper is Rivet. Send 'Register me!' to play."));
    ASSERT_TRUE(ask(*alice, kRegister, kFirstHead, 1));
    playGames(*alice, 1);
    expectToldAsBooked(*alice, "alice");
}

// A robot started again is written to at once by everyone who wrote to it while it was away,
// before the server answered its request for flood exemption (ngircd holds a new client's lines
// for a second). It may not speak yet; every message is answered once it may, up to the thousand
// it keeps (the test's own server answers once they are in). Its own, echoed back, is no player's.
TEST_F(KeeperRobotTest, EveryMessageReadBeforeItMaySpeakIsAnswered) {
    ScriptedIrcServer fake;
    fake.isonAnswer = ":irc.test 303 Rivet :\r\n";  // its output's probes answered
    auto robot = welcomedBy(fake, clock, "RivetF"); // F in its name is no mode
    ASSERT_TRUE(robot);
    constexpr int kPlayers = 1001;
    fake.send(":RivetF!u@127.0.0.1 PRIVMSG RivetF :" + kRegister + "\r\n"); // its own, echoed
    for (int i = 0; i < kPlayers; ++i)
        fake.send(":p" + QByteArray::number(i) + "!u@127.0.0.1 PRIVMSG RivetF :" + kRegister +
                  "\r\n");
    // Modes the server sets on a new client (+i-F) are not the exemption, nor is a channel's +F.
    fake.send(":RivetF MODE RivetF :+i-F\r\n:ChanServ!s@h MODE #casino +F\r\n");
    runEventsFor(300);
    EXPECT_FALSE(fake.heard().contains("PRIVMSG p0 ")) << "it spoke before it was exempt";
    EXPECT_FALSE(robot->isFloodExempt());
    fake.send(":RivetF MODE RivetF :+F\r\n");
    const auto told = [](int i) { return "PRIVMSG p" + QByteArray::number(i) + " :" + kFirstHead; };
    for (int i = 0; i < kPlayers - 1; ++i)
        ASSERT_TRUE(waitUntil([&] { return fake.heard().contains(told(i)); })) << i;
    runEventsFor(500);
    EXPECT_FALSE(fake.heard().contains(told(kPlayers - 1))) << "one more than it keeps";
    EXPECT_FALSE(fake.heard().contains("PRIVMSG RivetF ")) << "it answered itself";
}

// However the server refuses the exemption, the robot speaks at once at its ordinary pace (not
// waiting out the 20 s it gives an answer); a server that says nothing is waited out (the "" row).
// However it refuses the channel, or kicks the robot out, the robot asks again five seconds later.
TEST_F(KeeperRobotTest, EveryRefusalOfTheExemptionOrTheChannelIsAnswered) {
    for (const QByteArray refusal :
         {":s 472 Rivet :No", ":s 481 Rivet :No", ":s 501 Rivet :No", ":s 502 Rivet :No",
          ":s 464 Rivet :No\r\n:s 481 Rivet :No", ":s 491 Rivet :No\r\n:s 481 Rivet :No", // OPER
          ":s 471 Rivet #casino :No", ":s 473 Rivet #casino :No", ":s 474 Rivet #casino :No",
          ":s 475 Rivet #casino :No", ":s 405 Rivet #casino :No",
          ":Rivet!r@h JOIN #casino\r\n:op!o@h KICK #casino Rivet :out", ""}) {
        const bool ofExemption = !refusal.contains("#casino");
        SCOPED_TRACE(refusal.toStdString());
        ScriptedIrcServer fake;
        VirtualClock still;
        auto robot = welcomedBy(fake, still);
        ASSERT_TRUE(robot);
        fake.send((ofExemption ? "" : ":Rivet MODE Rivet :+F\r\n") + refusal + "\r\n");
        if (refusal.isEmpty())
            still.advance(KeeperFloodExemption::kExemptionWaitMs);
        ASSERT_TRUE(waitUntil(
            [&] { return robot->isSpeaking() && robot->isFloodExempt() != ofExemption; }));
        const QString oper = "operator login refused (" + QString::fromLatin1(refusal.mid(3, 3));
        EXPECT_EQ(refusal.isEmpty() ? 0 : robotLog.filter(oper).size(), refusal.count("No\r\n"));
        if (ofExemption)
            continue;
        testing::runEventsFor(100);
        still.advance(4999);
        testing::runEventsFor(100);
        EXPECT_EQ(fake.received.count("JOIN #casino"), 1);
        still.advance(1);
        EXPECT_TRUE(waitUntil([&] { return fake.received.count("JOIN #casino") == 2; }));
    }
}

// What the robot wrote unseen by the server goes with the connection it was written on: on the
// next, it speaks at once, not after answers that never come, and asks a refusing channel again.
TEST_F(KeeperRobotTest, OutputUnconfirmedOnALostConnectionHoldsNothingBackOnTheNext) {
    ScriptedIrcServer fake; // it answers no probe, at first
    VirtualClock still;
    auto robot = welcomedBy(fake, still);
    ASSERT_TRUE(robot);
    fake.send(":Rivet MODE Rivet :+F\r\n:Rivet!r@h JOIN #casino\r\n");
    for (int i = 0; i < 200; ++i)
        fake.send(":p" + QByteArray::number(i) + "!u@h PRIVMSG Rivet :" + kRegister + "\r\n");
    const auto paced = [&](auto until) { // the robot's time runs while it is waited for
        return waitUntil([&] { return still.advance(10), until(); }, 2 * kWaitMs);
    };
    const auto written = [&] { return fake.heard().size() + fake.received.size() + 1; }; // CR LF
    ASSERT_TRUE(paced([&] { return written() >= KeeperProbeWindow::kUnconfirmedBytes; }));
    EXPECT_FALSE(waitUntil([&] { return still.advance(10), written() > 16'896; }, 300))
        << "more than 16 KiB and a line out unconfirmed";
    ASSERT_TRUE(reconnected(fake, still, *robot));
    fake.isonAnswer = ":irc.test 303 Rivet :Rivet\r\n";
    fake.send(":irc.test 001 Rivet :Welcome\r\n:Rivet MODE Rivet :+F\r\n:q!u@h PRIVMSG Rivet :" +
              kRegister + "\r\n:s 474 Rivet #casino :No\r\n"); // in the channel no more
    EXPECT_TRUE(paced([&] { return fake.heard().contains("PRIVMSG q :" + kFirstHead); }));
    const auto untold = [&](const QString& player) {
        return readBooks().delivery(player).value_or(Delivery{}).firstDrawUntold;
    }; // q's first draw is known told at last; those of the lost connection are not
    EXPECT_TRUE(paced([&] { return !untold("q") && untold("p0"); }));
    still.advance(KeeperRoster::kRejoinMs);
    EXPECT_TRUE(waitUntil([&] { return fake.received.count("JOIN #casino") == 3; }));
}

// The robot follows the server away and back, flood exemption and all; books ignore a nick's case.
TEST_F(KeeperRobotTest, ComesBackAfterTheServerWentAwayToEachPlayersBooks) {
    auto robot = startRobot(clock, robotConfig(), 9);
    auto alice = connectPlayer("alice");
    ASSERT_TRUE(ask(*alice, kRegister, kFirstHead, 1));
    playGames(*alice, 2);
    ASSERT_TRUE(waitUntil([&] { return readBooks().delivery("alice")->deliveredGame == 2; }));

    server.stop();
    ASSERT_TRUE(waitUntil([&] { return !robot->isSpeaking(); }));
    QString error;
    ASSERT_TRUE(server.start(&error)) << error;
    ASSERT_TRUE(waitUntil([&] { return robot->isSpeaking(); }, 2 * kWaitMs));
    EXPECT_TRUE(robot->isFloodExempt());
    // Her holds play the first draw she was told before, on her books.
    alice = connectPlayer("ALICE");
    playGames(*alice, 1);
    const PlayerRecord record = recordOf("alice");
    EXPECT_EQ(record.gamesPlayed, 3);
    const GameOutcome last = *readBooks().delivery("alice")->lastOutcome;
    EXPECT_EQ(
        QString::fromUtf8(toldTo(*alice).join('\n')),
        gameResultLines(last.finalDraw, last.creditsAfter, record.pendingFirstDraw).join('\n'));
}

// Under a fallback nickname it asks after its own (with probes, without MONITOR), taking it back.
TEST_F(KeeperRobotTest, UnderAFallbackNicknameItTakesItsOwnBackOnceFree) {
    auto squatter = connectPlayer(kKeeper);
    auto robot = startRobot(clock, robotConfig(), 3);
    ASSERT_EQ(robot->connection().nick(), "Rivet_");
    auto alice = connectPlayer("alice", true);
    alice->privmsg("Rivet_", kRegister);
    ASSERT_TRUE(waitUntil([&] { return alice->privmsgsFrom("Rivet_").size() >= 3; }));
    squatter->sendRaw("QUIT :leaving\r\n");
    alice->privmsg("Rivet_", holdsLine("1,0,1"));
    // It announces itself anew in the channel, and players write to it under its own name.
    ASSERT_TRUE(
        alice->waitForMessage("PRIVMSG", kKeeper, {kChannel, wire(announcementLine(kKeeper))}));
    EXPECT_TRUE(robotLog.contains("took back the nickname Rivet")) << robotLog.join('\n');
    ASSERT_TRUE(ask(*alice, holdsLine("0,0,0"), kFinalHead, 1));
}

// Its own nickname taken when it connects, on a server without MONITOR, the robot asks every
// half minute whether it is free and claims it once an answer leaves it out. Renamed by a server
// with MONITOR, it claims its own back at once, told when it is free; back, it watches no more.
TEST_F(KeeperRobotTest, UnderAFallbackNicknameItWatchesItsOwnByTheServersMeans) {
    for (const bool monitor : {true, false}) {
        SCOPED_TRACE(monitor);
        ScriptedIrcServer fake;
        VirtualClock still;
        auto robot = welcomedBy(fake, still, monitor ? "Rivet" : "Rivet_");
        ASSERT_TRUE(robot);
        const auto claims = [&] { return fake.received.count("NICK Rivet") - 1; }; // 1: registering
        fake.isonAnswer = ":s 303 Rivet_ :Rivet_ Rivet\r\n";
        if (monitor) {
            fake.send(":s 005 Rivet MONITOR=100 :are supported\r\n:Rivet MODE Rivet :+F\r\n"
                      ":Rivet!u@h NICK :Rivet__\r\n:Rivet__!u@h NICK :Rivet_\r\n"); // watched once
            ASSERT_TRUE(fake.waitForLine("MONITOR + Rivet"));
            // A game handed over is covered by a probe, answered as asked: without Rivet.
            fake.isonAnswer = ":s 303 Rivet_ :Rivet_\r\n";
            fake.send(":q!u@h PRIVMSG Rivet_ :" + kRegister + "\r\n");
            ASSERT_TRUE(
                waitUntil([&] { return fake.heard().contains("PRIVMSG q :" + kFirstHead); }));
            still.advance(KeeperProbeWindow::kProbeDelayMs);
            ASSERT_TRUE(fake.waitForLine("ISON Rivet_"));
            runEventsFor(100);
            EXPECT_EQ(claims(), 2);
            fake.send(":s 731 Rivet_ :Rivet\r\n");
        } else {
            fake.send(":Rivet_ MODE Rivet_ :+F\r\n");
            ASSERT_TRUE(waitUntil([&] { return robot->isFloodExempt(); }));
            still.advance(29999); // half a minute
            runEventsFor(100);
            EXPECT_FALSE(fake.received.contains("ISON Rivet_ Rivet"));
            still.advance(1);
            ASSERT_TRUE(fake.waitForLine("ISON Rivet_ Rivet"));
            runEventsFor(100);
            EXPECT_EQ(claims(), 0) << "claimed while taken";
            fake.isonAnswer = ":s 303 Rivet_ :Rivet_\r\n";
            still.advance(30'000); // looked at every half minute
        }
        const qsizetype claimed = monitor ? 3 : 1;
        ASSERT_TRUE(waitUntil([&] { return claims() == claimed; }));
        fake.send(":Rivet_!u@h NICK :Rivet\r\n");
        EXPECT_EQ(fake.waitForLine("MONITOR - Rivet", monitor ? kWaitMs : 100), monitor);
        const qsizetype asked = fake.heard().count("ISON");
        still.advance(2 * KeeperNickReclaim::kNickWatchMs);
        runEventsFor(100);
        EXPECT_EQ(fake.heard().count("ISON"), asked);
        fake.send(":Rivet!u@h NICK :Rivet_\r\n"); // renamed again: watched again
        EXPECT_TRUE(waitUntil([&] { return claims() == claimed + 1; }));
        const auto watching = [&] { return fake.received.count("MONITOR + Rivet") == 2; };
        EXPECT_EQ(waitUntil(watching, monitor ? kWaitMs : 100), monitor);
        EXPECT_EQ(robotLog.join('\n').contains("the nickname Rivet is taken"), !monitor);
        if (!monitor) // the rig's books serve one robot: the first
            continue;
        // Its own lines count against its pace, reloaded now as three lines a tenth of a second.
        KeeperConfig slow = robotConfig();
        slow.fastPace = 30;
        robot->reconfigure(slow);
        for (int i = 0; i < 3; ++i)
            fake.send(":p!u@h PRIVMSG Rivet_ :hi\r\n");
        const auto told = [&] { return fake.heard().count("PRIVMSG p :"); };
        const auto metric = [&](const char* line) { return robot->metricsText().contains(line); };
        EXPECT_TRUE(waitUntil([&] { return told() == 1 && metric("_send_queue_lines 2\n"); }));
        EXPECT_TRUE((still.advance(50), metric("_send_queue_oldest_seconds 0.05\n")));
        EXPECT_TRUE((still.advance(50), waitUntil([&] { return told() == 3; })));
        fake.send(":s 900 Rivet_ Rivet_!u@h acct :You are now logged in as acct\r\n");
        EXPECT_TRUE(waitUntil([&] { return metric("_logged_in 1\n"); }));
        ASSERT_TRUE(reconnected(fake, still, *robot)); // greeted under its fallback: watched anew
        fake.send(":s 433 * Rivet :In use\r\n:s 001 Rivet_ :Hi\r\n:s 005 Rivet_ MONITOR=9 :ok\r\n"
                  ":s 376 Rivet_ :End\r\n");
        EXPECT_TRUE(waitUntil([&] { return fake.received.count("MONITOR + Rivet") == 3; }));
    }
}

// The channel hears the banner and the announcement on the robot's arrival and then at most every
// ten minutes, not on every join; each joining player is told privately whom to write to, twice a
// minute at most (a card started again must find the robot). The robot's time runs no faster than
// the real one, and the minutes pass in steps shorter than its patience with a quiet server, each
// ended by a word it answers: its connection never looks dead, however slow this machine is.
TEST_F(KeeperRobotTest, GreetsTheChannelSparinglyAndEachJoiningPlayerPrivately) {
    VirtualClock virtualClock;
    auto watcher = connectPlayer("watcher", true);
    auto robot = startRobot(virtualClock, robotConfig(), 5);
    auto drive = [&](const std::function<bool()>& done, int realMs = kWaitMs) {
        return waitUntil(
            [&] {
                virtualClock.advance(5);
                return done();
            },
            realMs);
    };
    auto banners = [&] {
        return std::ranges::count_if(watcher->received(), [](const IrcMessage& m) {
            return m.command == "PRIVMSG" && m.param(0) == kChannel &&
                   m.param(1) == wire(kWelcomeBanner);
        });
    };
    const QByteArray announcement = wire(announcementLine("Rivet"));
    auto greetings = [&](const IrcTestPeer& peer) { return toldTo(peer).count(announcement); };
    ASSERT_TRUE(drive([&] { return watcher->hasReceived("JOIN", "Rivet"); }));
    const qint64 firstBanner = virtualClock.monotonicMs(); // said on arrival, though paced
    ASSERT_TRUE(drive([&] { return banners() == 1; }));

    auto alice = connectPlayer("alice", true);
    auto rejoin = [&] {
        alice->sendRaw("PART #casino\r\n");
        return alice->join(kChannel);
    };
    ASSERT_TRUE(drive([&] { return greetings(*alice) == 1; }));
    ASSERT_TRUE(rejoin());
    ASSERT_TRUE(drive([&] { return greetings(*alice) == 2; }));
    ASSERT_TRUE(rejoin());
    drive([] { return false; }, 1500);
    EXPECT_EQ(greetings(*alice), 2);
    EXPECT_EQ(banners(), 1);

    // Ten minutes after the banner, and not half a second before, the channel hears it again.
    const auto passUntil = [&](qint64 at) {
        while (virtualClock.monotonicMs() < at) {
            virtualClock.advance(std::min<qint64>(90'000, at - virtualClock.monotonicMs()));
            const int answers = countTold(*watcher, {});
            watcher->privmsg(kKeeper, "still there?");
            ASSERT_TRUE(waitUntil([&] { return countTold(*watcher, {}) > answers; }));
        }
    };
    passUntil(firstBanner + 599'500);
    ASSERT_TRUE(rejoin());
    ASSERT_TRUE(drive([&] { return greetings(*alice) == 3; }));
    EXPECT_EQ(banners(), 1);
    passUntil(firstBanner + 600'000);
    ASSERT_TRUE(rejoin());
    ASSERT_TRUE(drive([&] { return greetings(*alice) == 4 && banners() == 2; }))
        << greetings(*alice) << " " << banners();
    EXPECT_TRUE(robotLog.filter("cut short").isEmpty()) << "idle books taken for stalled";
    KeeperConfig quiet = robotConfig(); // reloaded with greet = no: nobody is greeted any more
    quiet.greet = false;
    robot->reconfigure(quiet);
    passUntil(firstBanner + 1'300'000);
    ASSERT_TRUE(rejoin());
    drive([] { return false; }, 1500);
    EXPECT_EQ(greetings(*alice), 4);
    EXPECT_EQ(banners(), 2);
    robot->stop(); // with a goodbye the channel hears, in the server's quotes
    const QByteArray goodbye = "\"Jackwell closed\"";
    EXPECT_TRUE(watcher->waitFor([&](auto& m) { return m.param(0) == goodbye; }));
}

// Accounts required on a server that reports none with its messages: the robot warns, and asks
// WHOIS who a player is; a player WHOIS names no account for is asked to log in and plays nothing.
TEST_F(KeeperRobotTest, WithAccountsRequiredAPlayerWithoutOneIsAskedToLogIn) {
    KeeperConfig config = robotConfig();
    config.identity = Identity::Account;
    auto robot = startRobot(clock, config, 4);
    EXPECT_EQ(robotLog.filter("the server offers nothing for accounts").size(), 1);
    EXPECT_TRUE(usesAccounts(config.identity, robot->connection()));
    EXPECT_FALSE(usesAccounts(Identity::Nick, robot->connection())); // as configured, either way
    auto alice = connectPlayer("alice");
    alice->privmsg(kKeeper, kRegister);
    alice->privmsg(kKeeper, holdsLine("1,0,1"));
    ASSERT_TRUE(waitUntil([&] { return toldTo(*alice).size() == 2; }));
    EXPECT_EQ(toldTo(*alice), QList<QByteArray>(2, wire(kLogInFirst)));
    EXPECT_EQ(recordOf("alice"), PlayerRecord{});
}

} // namespace
} // namespace jackwell::keeper
