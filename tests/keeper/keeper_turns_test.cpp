// A message whose change another machine sharing the books beats every time.
#include "books/sqlite_books.h"
#include "keeper/keeper_turns.h"
#include "machine/texts.h"
#include "support/troubled_books.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace jackwell::keeper {
namespace {

// It is worked anew from what the books then hold, three times in all, and then refused (the
// player is told the machine is out of order), not worked on for ever.
TEST(KeeperTurns, AChangeRacedEveryTimeIsTriedThreeTimesThenRefused) {
    QTemporaryDir dir;
    QString error;
    auto sqlite = books::SqliteBooks::create(dir.filePath("books.sqlite"), &error);
    ASSERT_TRUE(sqlite) << error.toStdString();
    books::TroubledBooks books(*sqlite);
    books.racing = true;
    KeeperTurns turns(books, "Rivet", 5);
    BooksTurn turn;
    turns.work(turn, "alice", machine::kRegisterRequest, {});
    EXPECT_EQ(books.raced, 3);
    EXPECT_TRUE(turn.refusedWhy.has_value());
}

} // namespace
} // namespace jackwell::keeper
