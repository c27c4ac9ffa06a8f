// The operator's --players listing, from the rows any store reads.
#include "keeper/player_list.h"

#include "support/qt_printers.h"

#include <gtest/gtest.h>

using namespace jackwell::keeper;

namespace {

// 2026-01-31T17:02:03Z and an hour later.
const QDateTime kThen = QDateTime::fromSecsSinceEpoch(1769878923, Qt::UTC);
const QDateTime kLater = kThen.addSecs(3600);

LedgerGame game(const QString& player, qint64 number, qint64 tokensWon, const QDateTime& at) {
    LedgerGame game;
    game.player = player;
    game.game = number;
    game.cost = 1;
    game.tokensWon = tokensWon;
    game.playedAt = at;
    return game;
}

TEST(PlayerList, OneLinePerPlayerSortedWithTheirLastGame) {
    Ledger rows;
    rows.players = {
        {"zoe", 100, 0, 0, 100},
        {"account:alice", 97, 3, 50, 100},
        {"bob", 99, 1, 0, 100},
        {"eve\x1B[2J", 5, 0, 0, 5},
    };
    rows.games = {
        game("account:alice", 2, 0, kLater),
        game("account:alice", 1, 0, kThen),
        game("account:alice", 3, 50, {}),
        game("bob", 1, 0, {}),
    };
    EXPECT_EQ(listPlayers(rows),
              QStringList({
                  "account:alice credits=97 games=3 tokens=50 last=2026-01-31T18:02:03Z",
                  "bob credits=99 games=1 tokens=0 last=unknown",
                  "eve\\x1B[2J credits=5 games=0 tokens=0 last=-",
                  "zoe credits=100 games=0 tokens=0 last=-",
              }));
    EXPECT_TRUE(listPlayers({}).isEmpty());
}

} // namespace
