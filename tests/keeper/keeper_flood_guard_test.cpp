// What of each player's writing the robot takes, whom it holds gone: a few messages a second each,
// one warning, a flooder dropped unread awhile, tables bounded whatever players do; who is in its
// channel and whose account it knows, as the server says until it says they are gone.
#include "clock/virtual_clock.h"
#include "irc/irc_connection.h"
#include "keeper/keeper_flood_guard.h"
#include "keeper/keeper_flood_screen.h"
#include "keeper/keeper_presence.h"
#include "keeper/keeper_resent_holds.h"
#include "keeper/keeper_roster.h"
#include "keeper/keeper_send_queue.h"

#include <gtest/gtest.h>

using namespace jackwell;
using namespace jackwell::keeper;
using Verdict = KeeperFloodGuard::Verdict;

namespace {

TEST(KeeperFloodGuard, APlayerGetsABurstThenAFewASecondAndOneWarning) {
    VirtualClock clock;
    KeeperFloodGuard guard(clock);
    for (int i = 0; i < 8; ++i) // a burst of eight
        ASSERT_EQ(guard.admit("flood"), Verdict::Take) << i;
    EXPECT_EQ(guard.admit("flood"), Verdict::DropAndWarn);
    EXPECT_EQ(guard.admit("flood"), Verdict::Drop) << "one warning, not one per message";
    EXPECT_EQ(guard.admit("alice"), Verdict::Take) << "others are not affected";

    // Sixty seconds of a message every 10 ms: about four a second get through.
    int taken = 0, warned = 0;
    for (int i = 0; i < 6000; ++i) {
        clock.advance(10);
        const Verdict verdict = guard.admit("flood");
        taken += verdict == Verdict::Take ? 1 : 0;
        warned += verdict == Verdict::DropAndWarn ? 1 : 0;
    }
    EXPECT_NEAR(taken, 60 * 4, 2);
    EXPECT_NEAR(warned, 60'000 / KeeperFloodGuard::kWarnEveryMs, 1);

    // A player who keeps to the pace is never held back.
    for (int i = 0; i < 200; ++i) {
        clock.advance(1000 / KeeperFloodGuard::kPerSecond);
        ASSERT_EQ(guard.admit("alice"), Verdict::Take) << i;
    }
}

TEST(KeeperFloodGuard, ItForgetsPlayersWhoWentQuietAndFollowsABoundedNumberKeepingWarnings) {
    VirtualClock clock;
    KeeperFloodGuard guard(clock);
    for (int i = 0; i < 1000; ++i)
        guard.admit(QStringLiteral("p%1").arg(i));
    EXPECT_EQ(guard.followed(), 1000);
    clock.advance(KeeperFloodGuard::kWarnEveryMs + 1000);
    guard.admit("late");
    EXPECT_EQ(guard.followed(), 1) << "everyone else's bucket is full again";

    // New names without end: the table stays within its bound, and newcomers wait for room.
    for (qsizetype i = 0; i < KeeperFloodGuard::kMaxPlayers + 500; ++i) {
        for (int message = 0; message <= KeeperFloodGuard::kBurst; ++message)
            guard.admit(QStringLiteral("n%1").arg(i));
    }
    EXPECT_EQ(guard.followed(), 50'000);
    EXPECT_EQ(guard.admit("newcomer"), Verdict::Drop);
    clock.advance(KeeperFloodGuard::kWarnEveryMs + 1000);
    EXPECT_EQ(guard.admit("newcomer"), Verdict::Take) << "room again once the others went quiet";

    // A late guard forgets full buckets when making room, not recent warnings: none given twice.
    KeeperFloodGuard later(clock);
    for (int i = 0; i <= KeeperFloodGuard::kBurst; ++i)
        later.admit("flood");
    for (qsizetype i = 1; i < KeeperFloodGuard::kMaxPlayers; ++i)
        later.admit(QStringLiteral("p%1").arg(i));
    clock.advance(999); // every bucket full again, but the last sweep was under a second ago
    EXPECT_EQ(later.admit("newcomer"), Verdict::Drop);
    clock.advance(1);
    EXPECT_TRUE(later.admit("newcomer") == Verdict::Take && later.followed() == 2);
    clock.advance(1000);
    for (int i = 0; i < 8; ++i) // a burst of eight
        ASSERT_EQ(later.admit("flood"), Verdict::Take) << i;
    EXPECT_EQ(later.admit("flood"), Verdict::Drop) << "warned two seconds ago";
}

// To the millisecond: how long a player waits, a message the moment a whole one is back, the
// warning again after ten seconds, idle players forgotten every ten seconds (full, every second).
TEST(KeeperFloodGuard, KeepsItsTimesToTheMillisecond) {
    VirtualClock clock;
    KeeperFloodGuard guard(clock);
    EXPECT_EQ(guard.msUntilNext("nobody"), 0);
    for (int i = 0; i < KeeperFloodGuard::kBurst; ++i)
        guard.admit("flood");
    EXPECT_EQ(guard.msUntilNext("flood"), 250);
    clock.advance(100);
    EXPECT_EQ(guard.msUntilNext("flood"), 150);
    clock.advance(149);
    EXPECT_EQ(guard.admit("flood"), Verdict::DropAndWarn); // warned at 249
    clock.advance(1);
    EXPECT_EQ(guard.msUntilNext("flood"), 0);
    EXPECT_EQ(guard.admit("flood"), Verdict::Take);
    clock.advance(9998);
    while (guard.admit("flood") == Verdict::Take) {
    }
    clock.advance(1);
    EXPECT_EQ(guard.admit("flood"), Verdict::DropAndWarn) << "ten seconds after the last warning";

    // Swept at 10 s, not at 9999 ms: alice, warned at the start, is forgotten then, and bob's
    // bucket, not full again, is kept. A second later, with room enough, nobody is swept.
    KeeperFloodGuard sweeping(clock); // a guard of its own
    for (int i = 0; i <= KeeperFloodGuard::kBurst; ++i)
        sweeping.admit("alice");
    clock.advance(9999);
    sweeping.admit("bob");
    clock.advance(1);
    sweeping.admit("bob");
    EXPECT_EQ(sweeping.followed(), 1);
    clock.advance(1000);
    sweeping.admit("carol");
    EXPECT_EQ(sweeping.followed(), 2);
}

// Holds read again before their result left and once just after crossed it: passed over. Later,
// from one who never resent them, or other holds: played. Past its bound it forgets all.
TEST(KeeperResentHolds, OnlyACopyThatCrossedItsResultIsPassedOver) {
    KeeperResentHolds resent;
    const machine::HoldMask some{true, false, true}, other{false, true, true};
    constexpr int kCrossing = 250; // a quarter of a second
    resent.resultOut("nobody", 0);
    for (const QString player : {"alice", "bob", "carol", "dave"}) {
        EXPECT_FALSE(resent.isCrossingCopy(player, some, 0));
        if (player != "bob") {
            EXPECT_FALSE(resent.isCrossingCopy(player, some, 0)); // sent again, unanswered
        }
        resent.resultOut(player, 0);
        resent.resultOut(player, 100); // the first time out counts
    }
    EXPECT_TRUE(resent.isCrossingCopy("alice", some, kCrossing - 1));
    EXPECT_FALSE(resent.isCrossingCopy("alice", some, kCrossing));
    EXPECT_FALSE(resent.isCrossingCopy("bob", some, 100));
    EXPECT_FALSE(resent.isCrossingCopy("carol", other, 100));
    resent.isCrossingCopy("erin", some, 1000);
    resent.isCrossingCopy("erin", some, 1000);
    resent.resultOut("erin", 1000);
    EXPECT_TRUE(resent.isCrossingCopy("erin", some, 1000 + kCrossing - 1));
    for (qsizetype i = 5; i < 50'000; ++i) // five followed so far, of fifty thousand
        resent.isCrossingCopy(QString::number(i), some, 0);
    EXPECT_TRUE(resent.isCrossingCopy("dave", some, kCrossing - 1)) << "still followed";
    resent.isCrossingCopy("newcomer", some, 0);
    EXPECT_FALSE(resent.isCrossingCopy("dave", some, kCrossing - 1)) << "forgotten";
}

TEST(KeeperFloodScreen, DropsAFloodersLinesUnreadUntilTheirTimeIsUp) {
    VirtualClock clock;
    KeeperFloodScreen screen(clock);
    const QByteArray line = ":flood!f@h PRIVMSG Rivet :I hold 1,0,1";
    EXPECT_FALSE(screen.screensOut(line));
    screen.screen(":flood!f@h PRIVMSG ", 500);
    EXPECT_TRUE(screen.screensOut(line));
    EXPECT_TRUE(screen.screensOut("@account=f " + line)) << "the tags stand first";
    EXPECT_FALSE(screen.screensOut(":alice!a@h PRIVMSG Rivet :I hold 1,0,1"));
    clock.advance(500);
    EXPECT_FALSE(screen.screensOut(line));

    // A new flood takes the place of the one whose time is up first.
    for (int i = 0; i < KeeperFloodScreen::kScreenedAtMost + 1; ++i)
        screen.screen(":f" + QByteArray::number(i) + "!f@h PRIVMSG ", 1000 + i);
    EXPECT_FALSE(screen.screensOut(":f0!f@h PRIVMSG Rivet :x"));
    EXPECT_TRUE(screen.screensOut(":f1!f@h PRIVMSG Rivet :x"));
    EXPECT_TRUE(screen.screensOut(":f8!f@h PRIVMSG Rivet :x"));
}

TEST(KeeperPresence, RemembersWhoLeftUntilTheyAreBackWithinABound) {
    KeeperPresence presence;
    presence.markGone("alice");
    presence.markGone("bob");
    EXPECT_TRUE(presence.isGone("alice"));
    presence.markHere("alice");
    EXPECT_TRUE(!presence.isGone("alice") && presence.isGone("bob"));

    for (int i = 0; i < 60'000; ++i) {
        presence.markGone(QStringLiteral("g%1").arg(i));
        if (i % 3 == 2 && i < 40'000) // back again: skipped over when the oldest are forgotten
            presence.markHere(QStringLiteral("g%1").arg(i));
    }
    EXPECT_EQ(presence.remembered(), 20'000);
    EXPECT_TRUE(presence.isGone("g40000") && !presence.isGone("g39999"))
        << "the latest 20,000 departures are kept";
    presence.markHere("g59999");
    presence.markGone("late"); // the oldest goes, though one of the latest came back
    EXPECT_FALSE(presence.isGone("g40000"));
    presence.clear();
    EXPECT_EQ(presence.remembered(), 0);
}

TEST(KeeperRosterTest, MembersAreWhomTheServerNamesInTheChannelUntilItSaysTheyAreGone) {
    VirtualClock clock;
    IrcConnection connection(
        clock, *parseIrcConfig("server=s\nnick=Rivet\nchannel=#casino", "-").config, {});
    KeeperSendQueue queue(clock, [](const QByteArray&) {});
    KeeperRoster roster(clock, connection, queue, {{}, {}, [](auto&) {}, {}, [](auto, auto&) {}});
    const auto take = [&](const QByteArray& line) { roster.take(*parseIrcLine(line)); };
    const auto state = [&] { // members capitalised, others not; "-": seen to go; "@": account
        QByteArrayList in;
        for (const QByteArray nick : {"Owner", "Op", "Voiced", "Plain", "Renamed", "Stranger"}) {
            const QString key = roster.keyOf(nick);
            in << QByteArray(roster.presence().isGone(key) ? "-" : "") +
                      (roster.accounts().accountOf(key) ? "@" : "") +
                      (roster.isMember(key) ? nick : nick.toLower());
        }
        return in.join(' ').toStdString();
    };
    take(":s 401 Rivet Op :No such nick"); // before the names came
    take(":s 353 Rivet = #Casino :~Owner @Op +Voiced Plain");
    take(":s 353 Rivet = #other :Stranger");
    for (const QByteArray nick : {"Owner", "Op", "Voiced", "Plain"}) // account-notify's news
        take(":" + nick + "!u@h ACCOUNT " + nick.toLower());
    EXPECT_EQ(state(), "@Owner @Op @Voiced @Plain renamed stranger");
    take(":s 401 Rivet Voiced :No such nick");
    take(":Plain!u@h NICK Renamed");
    take(":Op!o@h KICK #casino Owner :out");
    EXPECT_EQ(state(), "-owner @Op -voiced -plain Renamed stranger");
    roster.reset(); // a new connection: nobody known to be here, or gone, or by account
    EXPECT_EQ(state(), "owner op voiced plain renamed stranger");
}

} // namespace
