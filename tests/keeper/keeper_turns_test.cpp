// Messages worked on the books' thread when the books or the deliveries are not what they seem.
#include "books/sqlite_books.h"
#include "clock/virtual_clock.h"
#include "keeper/books_worker.h"
#include "keeper/keeper_turns.h"
#include "machine/texts.h"
#include "support/book_entries.h"
#include "support/troubled_books.h"
#include "support/wait_until.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace jackwell::keeper {
namespace {

class KeeperTurnsTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString error;
    std::unique_ptr<books::SqliteBooks> sqlite =
        books::SqliteBooks::create(dir.filePath("books.sqlite"), &error);
    books::TroubledBooks books{*sqlite};
    KeeperTurns turns{books, "Rivet", 5};
    BooksTurn turn;
};

// A change another machine sharing the books beats every time is worked anew from what the books
// then hold, three times in all, then refused (the machine out of order), not worked on for ever.
TEST_F(KeeperTurnsTest, AChangeRacedEveryTimeIsTriedThreeTimesThenRefused) {
    books.racing = books.forGood = true;
    turns.work(turn, "alice", machine::kRegisterRequest, {});
    EXPECT_EQ(books.raced, 3);
    EXPECT_TRUE(turn.refusedWhy.has_value() && turn.failedForGood) << "as the books say";
}

// Holds after a first draw gone astray, from a player the books hold no draw for: nothing to tell
// again, and they are answered, not left unanswered. A first draw told then is not told again next.
TEST_F(KeeperTurnsTest, HoldsAfterALostDrawTheBooksDoNotHoldAreAnswered) {
    KeeperDeliveries lost;
    lost.firstDrawQueued("alice", 1);
    lost.recipientGone("alice");
    turns.work(turn, "alice", machine::kHoldPrefix + QStringLiteral("1,1,0"), lost);
    EXPECT_TRUE(!turn.told.empty() && !turn.told[0].replies.empty()) << "left unanswered";
    BooksTurn registering, next;
    registering.number = 1, next.number = 2;
    turns.work(registering, "alice", machine::kRegisterRequest, lost);
    turns.work(next, "alice", "hello", lost);
    EXPECT_TRUE(isFirstDrawTold(registering.told.at(0).replies) &&
                !isFirstDrawTold(next.told.at(0).replies));
}

// A result that left no credits is told again, with the draw after it once, though lost too.
TEST_F(KeeperTurnsTest, AResultThatLeftNoCreditsIsToldAgain) {
    machine::PlayerRecord start = testing::registeredPlayer();
    start.credits = start.freeCreditsGranted = machine::kGameCost;
    const auto [game, after] =
        testing::nextGame(start, {false, false, false}, {1, 2, 3}, {4, 4, 4});
    ASSERT_EQ(after.credits, 0);
    ASSERT_TRUE(books.save("alice", start) && books.commitGame("alice", game, after));
    KeeperDeliveries gone;
    gone.firstDrawQueued("alice", 2);
    gone.recipientGone("alice");
    turns.work(turn, "alice", "hello", gone);
    EXPECT_TRUE(turn.toldAgain);
    EXPECT_EQ(turn.told.size(), 2) << "the result and its draw, then the answer to hello";
}

// A statement the books are stuck on is cut short once the worker has seen it going for six
// seconds (it looks every fifth of a second); work not begun within eight seconds never is.
TEST_F(KeeperTurnsTest, StalledBooksAreCutShortAndWorkWaitingTooLongIsDropped) {
    VirtualClock clock;
    std::optional<BooksWorker> worker(
        std::in_place, clock, books, [](QtMsgType, const QString&) {}, nullptr);
    std::atomic<bool> began = false, release = false;
    std::vector<BooksWorker::Outcome> ended;
    const auto answered = [&](const BooksWorker::Ending& e) { ended.push_back(e.outcome); };
    const auto stuck = [&](books::KeeperBooks&) {
        for (began = true; !release;)
            QThread::msleep(1);
    };
    worker->submit(stuck, answered);
    worker->submit({}, answered);
    ASSERT_TRUE(testing::waitUntil([&] { return began.load(); }));
    clock.advance(1);
    worker->submit({}, answered); // a millisecond later: it is given up one look later
    // The time it has run, and then how often the books were interrupted and work given up.
    for (const auto& [at, cut, dropped] :
         {std::tuple{6199, 0, 0}, {6200, 1, 0}, {7999, 1, 0}, {8000, 1, 1}, {8200, 1, 2}}) {
        clock.advance(at - clock.monotonicMs());
        EXPECT_EQ(books.interrupted, cut) << at;
        EXPECT_EQ(std::ranges::count(ended, BooksWorker::Outcome::Expired), dropped) << at;
    }
    release = true;
    EXPECT_TRUE(testing::waitUntil([&] { return ended.size() == 3; }));
    EXPECT_EQ(ended.back(), BooksWorker::Outcome::Booked);
    books.failing = books.unknown = true; // a commit whose fate the books cannot tell
    worker->submit({}, answered);
    EXPECT_TRUE(testing::waitUntil([&] { return ended.size() == 4; }));
    EXPECT_EQ(ended.back(), BooksWorker::Outcome::Unknown) << "told as not booked";
    // Each message of a batch has its own six seconds: two of five are no stall.
    std::atomic<int> begun = 0, released = 0;
    const auto held = [&](books::KeeperBooks&) {
        for (const int mine = ++begun; released < mine;)
            QThread::msleep(1);
    };
    worker->submit(held, answered);
    ASSERT_TRUE(testing::waitUntil([&] { return begun == 1; }));
    worker->submit(held, answered), worker->submit(held, answered); // one batch, behind the first
    for (released = 1; released < 3; ++released) {
        ASSERT_TRUE(testing::waitUntil([&] { return begun == released + 1; }));
        clock.advance(5000);
    }
    EXPECT_TRUE(testing::waitUntil([&] { return ended.size() == 7; }));
    EXPECT_EQ(books.interrupted, 1);
    clock.advance(BooksWorker::kCheckMs);
    EXPECT_EQ(clock.nextDueIn(), -1) << "with nothing to do, it looks no more";
    worker.reset();
    EXPECT_EQ(books.interrupted, 1) << "ended idle, with nothing to cut short";
}

} // namespace
} // namespace jackwell::keeper
