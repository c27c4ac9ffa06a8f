// Messages worked on the books' thread when the books or the deliveries are not what they seem.
#include "books/sqlite_books.h"
#include "keeper/keeper_turns.h"
#include "machine/texts.h"
#include "support/book_entries.h"
#include "support/troubled_books.h"

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

// A change another machine sharing the books beats every time is worked anew from what the
// books then hold, three times in all, and then refused (the player is told the machine is out
// of order), not worked on for ever.
TEST_F(KeeperTurnsTest, AChangeRacedEveryTimeIsTriedThreeTimesThenRefused) {
    books.racing = true;
    turns.work(turn, "alice", machine::kRegisterRequest, {});
    EXPECT_EQ(books.raced, 3);
    EXPECT_TRUE(turn.refusedWhy.has_value());
}

// Holds after a first draw that went astray, from a player the books hold no draw for: there is
// nothing to tell again, and they are answered as the machinekeeper answers them, not left
// without an answer. A first draw told then is not told again by a message worked next.
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

// A last result that left the player no credits is told again like any other, with the first
// draw after it once, though that draw went astray too.
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

} // namespace
} // namespace jackwell::keeper
