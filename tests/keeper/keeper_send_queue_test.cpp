// The robot's send queue: never more lines than the pace allows in any window, lanes taking
// turns, order kept within a lane, a flooding lane capped, nothing out while closed; greetings.
#include "clock/virtual_clock.h"
#include "irc/irc_connection.h"
#include "keeper/keeper_flood_exemption.h"
#include "keeper/keeper_greeter.h"
#include "keeper/keeper_send_queue.h"

#include <gtest/gtest.h>

#include <QList>

using namespace jackwell;
using namespace jackwell::keeper;

namespace {

struct Sent {
    qint64 atMs;
    QByteArray line;
};

class KeeperSendQueueTest : public ::testing::Test {
protected:
    // The largest number of lines sent within any `windowMs`.
    int busiestWindow(int windowMs) const {
        int most = 0;
        for (qsizetype i = 0; i < sent.size(); ++i) {
            int inside = 0;
            for (qsizetype j = i; j < sent.size() && sent[j].atMs - sent[i].atMs < windowMs; ++j)
                ++inside;
            most = std::max(most, inside);
        }
        return most;
    }

    QList<QByteArray> lines() const {
        QList<QByteArray> out;
        for (const Sent& s : sent)
            out << s.line;
        return out;
    }

    VirtualClock clock;
    QList<Sent> sent;
    KeeperSendQueue queue{clock, [this](const QByteArray& line) {
                              sent.push_back({clock.monotonicMs(), line});
                          }};
};

TEST_F(KeeperSendQueueTest, NoWindowEverCarriesMoreLinesThanThePace) {
    const std::pair<KeeperSendQueue::Pace, int> cases[] = {
        {{3, 1100}, 0}, {{3, 1100}, 3}, {{1, 500}, 0}, {{50, 1000}, 10}};
    for (const auto& [pace, alreadySent] : cases) {
        sent.clear();
        queue.clear();
        clock.advance(10'000); // earlier cases' sends are long out of the window
        const qint64 start = clock.monotonicMs();
        queue.setPace(pace);
        queue.setOpen(true);
        queue.noteSentElsewhere(alreadySent);
        for (int i = 0; i < 120; ++i) {
            queue.push(QStringLiteral("p%1").arg(i % 7), QByteArray::number(i), {}, false);
            if (i % 5 == 0)
                clock.advance(37);
        }
        ASSERT_TRUE(clock.advanceUntil([&] { return queue.waitingLines() == 0; }, 600'000));
        EXPECT_EQ(sent.size(), 120);
        EXPECT_LE(busiestWindow(pace.windowMs), pace.lines) << pace.lines;
        // Lines sent elsewhere count: the first queued line waits until they leave the window.
        if (alreadySent >= pace.lines)
            EXPECT_EQ(sent.front().atMs, start + pace.windowMs);
        else
            EXPECT_EQ(sent.front().atMs, start);
        // And the pace is used, not wasted: the whole batch takes about its share of windows.
        const qint64 span = sent.back().atMs - sent.front().atMs;
        EXPECT_LE(span, (120 / pace.lines + 1) * qint64(pace.windowMs) + 5 * 37);
    }
}

TEST_F(KeeperSendQueueTest, LanesTakeTurnsAndKeepTheirOwnOrder) {
    queue.setPace({1, 100});
    for (int i = 0; i < 6; ++i)
        queue.push("flood", "flood" + QByteArray::number(i));
    queue.push("alice", "alice0");
    queue.push("alice", "alice1");
    queue.push("bob", "bob0");
    queue.setOpen(true);
    ASSERT_TRUE(clock.advanceUntil([&] { return queue.waitingLines() == 0; }, 10'000));
    EXPECT_EQ(lines(), (QList<QByteArray>{"flood0", "alice0", "bob0", "flood1", "alice1", "flood2",
                                          "flood3", "flood4", "flood5"}));
}

// No flooding lane nor many players' droppable lines grow the queue for ever; games' lines go in.
TEST_F(KeeperSendQueueTest, FullLanesDropWhatMayBeDroppedAndNothingElse) {
    for (int i = 0; i < 24; ++i) // a lane holds back 24 lines, all lanes 20,000
        EXPECT_TRUE(queue.push("flood", "help"));
    EXPECT_TRUE(!queue.push("flood", "more help") && queue.push("flood", "FINAL", {}, false));
    EXPECT_TRUE(queue.push("alice", "help")) << "other lanes are not affected";
    EXPECT_EQ(queue.waitingIn("flood"), 25);

    while (queue.waitingLines() < 20'000)
        ASSERT_TRUE(queue.push(QString::number(queue.waitingLines() / 10), "help"));
    EXPECT_TRUE(!queue.push("newcomer", "help") && queue.push("newcomer", "FINAL", {}, false));
    EXPECT_EQ(queue.waitingLines(), 20'001);
}

TEST_F(KeeperSendQueueTest, NothingLeavesWhileClosedOrGatedAndCallbacksFollowTheirLine) {
    QList<QByteArray> written;
    queue.setPace({100, 1000});
    queue.push("alice", "one", [&] { written << sent.back().line; });
    queue.push("alice", "two", [&] {
        queue.push("alice", "three"); // from inside a callback: it goes once the callback ends
        written << sent.back().line;
    });
    clock.advance(5000);
    EXPECT_TRUE(sent.isEmpty());
    queue.setOpen(true);
    EXPECT_EQ(lines(), (QList<QByteArray>{"one", "two", "three"}));
    EXPECT_EQ(written, (QList<QByteArray>{"one", "two"}));

    queue.setOpen(false);
    queue.push("bob", "later");
    clock.advance(5000);
    EXPECT_EQ(sent.size(), 3);
    queue.setOpen(true);
    EXPECT_EQ(sent.back().line, "later");

    // The gate holds every line back until it opens and the queue is poked.
    bool mayWrite = false;
    queue.setGate([&] { return mayWrite; });
    queue.push("alice", "four");
    clock.advance(5000);
    EXPECT_EQ(sent.size(), 4);
    mayWrite = true;
    queue.poke();
    EXPECT_EQ(sent.back().line, "four");
}

// A player who left gets nothing more: their waiting lines go, the others keep their turns.
TEST_F(KeeperSendQueueTest, ADroppedLaneLeavesTheOthersTheirTurns) {
    queue.setPace({1, 100});
    bool written = false;
    queue.push("gone", "gone0", [&] { written = true; });
    queue.push("alice", "alice0");
    queue.push("gone", "gone1");
    queue.push("alice", "alice1");
    EXPECT_EQ(queue.dropLane("gone"), 2);
    EXPECT_EQ(queue.dropLane("nobody"), 0);
    EXPECT_EQ(queue.waitingLines(), 2);
    queue.setOpen(true);
    ASSERT_TRUE(clock.advanceUntil([&] { return queue.waitingLines() == 0; }, 10'000));
    EXPECT_EQ(lines(), (QList<QByteArray>{"alice0", "alice1"}));
    EXPECT_FALSE(written);
}

// What an operator's figures read of the queue: how many lines wait, where, and for how long;
// a lane dropped or a queue cleared holds nothing, and what comes after goes out alone.
TEST_F(KeeperSendQueueTest, CountsWhatWaitsAndForHowLong) {
    EXPECT_EQ(queue.oldestWaitingMs(), 0);
    queue.push("alice", "a0");
    clock.advance(300);
    queue.push("bob", "b0");
    queue.push("alice", "a1");
    clock.advance(200);
    EXPECT_EQ(queue.oldestWaitingMs(), 500);
    EXPECT_EQ(queue.waitingIn("alice"), 2);
    EXPECT_EQ(queue.waitingIn("carol"), 0);
    EXPECT_EQ(queue.dropLane("alice"), 2);
    EXPECT_EQ(queue.waitingIn("alice"), 0);
    EXPECT_EQ(queue.oldestWaitingMs(), 200);
    queue.clear();
    EXPECT_EQ(queue.waitingLines() + queue.waitingIn("bob") + queue.oldestWaitingMs(), 0);
    queue.push("alice", "a2");
    queue.setOpen(true);
    EXPECT_EQ(lines(), QList<QByteArray>{"a2"});
}

// A new pace counts from the lines already sent and takes effect at once; a pace of no lines or
// no time still lets a line a millisecond out. Held, nothing leaves until released.
TEST_F(KeeperSendQueueTest, ANewPaceHoldingAndReleaseTakeEffectAtOnce) {
    queue.setPace({1, 10'000});
    queue.setOpen(true);
    queue.push("alice", "a0");
    queue.push("alice", "a1");
    clock.advance(50);
    queue.setPace({1, 100});
    clock.advance(49);
    EXPECT_EQ(lines().size(), 1);
    clock.advance(1);
    EXPECT_EQ(sent.back().atMs, 100);
    for (const KeeperSendQueue::Pace pace : {KeeperSendQueue::Pace{0, 100}, {1, 0}}) {
        sent.clear();
        queue.setPace(pace);
        clock.advance(1000);
        queue.push("bob", "b0");
        queue.push("bob", "b1");
        clock.advance(pace.windowMs == 0 ? 1 : 100);
        EXPECT_EQ(lines().size(), 2);
        EXPECT_EQ(sent[1].atMs - sent[0].atMs, pace.windowMs == 0 ? 1 : 100);
    }
    queue.hold();
    queue.push("carol", "c0");
    clock.advance(1000);
    EXPECT_EQ(sent.back().line, "b1");
    queue.release();
    EXPECT_EQ(sent.back().line, "c0");

    // Waiting for room wakes the queue once, when the room comes, not every millisecond.
    int asked = 0;
    queue.setGate([&] { return ++asked > 0; });
    queue.setPace({1, 1000});
    queue.push("dave", "d0");
    queue.push("dave", "d1");
    clock.advance(2000); // c0 went just now: d0 at one second, d1 at two
    EXPECT_EQ(sent.back().line, "d1");
    EXPECT_LE(asked, 8);
}

// OPER and MODE count against its pace, refused or not; exempt at 30 a second: 3 per 100 ms.
TEST_F(KeeperSendQueueTest, TheRequestForFloodExemptionCountsAgainstThePace) {
    KeeperConfig config;
    config.irc.nick = "Rivet";
    IrcConnection connection(clock, config.irc, {});
    std::tie(config.operName, config.operPassword, config.pace) = std::tuple("op", "pw", 3);
    config.fastPace = 30;
    KeeperFloodExemption exemption(clock, connection, queue, config, [](auto, auto) {}, {});
    for (const char* answer : {":s 472 Rivet :No", ":s MODE Rivet +F"}) {
        clock.advance(10'000); // the last round's lines long gone
        sent.clear();
        exemption.registered();
        exemption.take(*parseIrcLine(answer));
        for (const char* line : {"a", "b", "c", "d"})
            queue.push("alice", line);
        EXPECT_EQ(lines(), QList<QByteArray>{"a"}) << answer;
    }
    clock.advance(99);
    EXPECT_EQ(sent.size(), 1);
    clock.advance(1);
    EXPECT_EQ(lines(), (QList<QByteArray>{"a", "b", "c", "d"}));
    config.operName.clear(); // without operator credentials it speaks at once, not exempt
    KeeperFloodExemption plain(clock, connection, queue, config, [](auto, auto) {}, {});
    queue.setOpen(false);
    plain.registered();
    EXPECT_TRUE(queue.isOpen() && !plain.isAwaiting() && !plain.isExempt());
}

// Past the greetings it keeps, nobody new is greeted until one is a minute old, making room.
TEST_F(KeeperSendQueueTest, PastItsBoundTheGreeterGreetsNobodyNewUntilAGreetingIsDue) {
    queue.setPace({1 << 30, 1});
    queue.setOpen(true);
    IrcConnection connection(clock, IrcConfig{}, {});
    KeeperGreeter greeter(clock, queue, connection, true);
    clock.advance(10'000);
    for (int i = 0; i < 20'000; ++i)
        greeter.greetJoining(QByteArray::number(i), QString::number(i));
    const qsizetype all = sent.size();
    EXPECT_EQ(all, 20'002) << "and the channel, never greeted before, once: banner and name";
    clock.advance(60'000 - 1); // a minute
    greeter.greetJoining("late", "late");
    EXPECT_EQ(sent.size(), all) << "nobody new before a greeting is due";
    EXPECT_TRUE(sent.back().line.startsWith("PRIVMSG 19999 :")) << "the 20,000th was greeted";
    clock.advance(1);
    greeter.greetJoining("late", "late");
    EXPECT_EQ(sent.size(), all + 1);
    // The channel, greeted at ten seconds, is greeted again ten minutes after, to the millisecond.
    clock.advance(KeeperGreeter::kChannelGreetingMs - 60'000);
    greeter.greetJoining("late", "late");
    EXPECT_EQ(sent.size(), all + 4) << "banner and name, and the player";
}

} // namespace
