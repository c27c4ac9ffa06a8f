// The ledger's rows as any store reads them: the rule that the books balance (what it accepts and
// how it names each fault), and the operator's --players listing.
#include "books/ledger_audit.h"
#include "keeper/player_list.h"
#include "keeper/return_report.h"

#include "support/qt_printers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

using namespace jackwell::keeper;
using namespace jackwell::books;

namespace {

// alice: 100 free credits, a game won (500 tokens: 10 credits), 50 more free credits, a game
// lost. bob: 100 free credits, no game yet.
Ledger balanced() {
    return {
        {{"alice", 158, 2, 500, 150}, {"bob", 100, 0, 0, 100}},
        {{"alice", 1, 100, 1, 500, 109}, {"alice", 2, 159, 1, 0, 158}},
        {{"alice", 0, 100}, {"alice", 1, 50}, {"bob", 0, 100}},
    };
}

TEST(LedgerAudit, NamesEachFaultInTheBooks) {
    const QString longName(100, u'x');
    const struct {
        const char* what;
        std::function<void(Ledger&)> change;
        QStringList faults;
        qint64 games;
    } cases[] = {
        {"balanced books", [](Ledger&) {}, {}, 2},
        {"games in any order", [](Ledger& l) { std::ranges::reverse(l.games); }, {}, 2},
        {"a grant split in two rows",
         [](Ledger& l) {
             l.grants[0].credits = 60;
             l.grants.push_back({"alice", 0, 40});
         },
         {},
         2},
        {"a gap in the game numbers",
         [](Ledger& l) { l.games[1].game = 3; },
         {"alice: game 3 is booked where game 2 belongs",
          "alice: credits 158, the ledger gives 159"},
         2},
        {"a game not starting from the credits before it",
         [](Ledger& l) {
             l.games[1].creditsBefore = 160;
             l.games[1].creditsAfter = 159;
         },
         {"alice: game 2 does not follow from the credits before it",
          "alice: credits 158, the ledger gives 159"},
         2},
        {"a game not ending on its own cost and win",
         [](Ledger& l) { l.games[0].creditsAfter = 110; },
         {"alice: game 1 does not follow from the credits before it",
          "alice: 2 games and 0 tokens booked, 2 and 500 counted",
          "alice: 100 free credits granted, 150 counted",
          "alice: credits 158, the ledger gives 150"},
         2},
        {"credits not matching the ledger",
         [](Ledger& l) { l.players[0].credits = 200; },
         {"alice: credits 200, the ledger gives 158"},
         2},
        {"games miscounted",
         [](Ledger& l) { l.players[0].gamesPlayed = 3; },
         {"alice: 2 games and 500 tokens booked, 3 and 500 counted"},
         2},
        {"a grant miscounted",
         [](Ledger& l) { l.players[1].freeCreditsGranted = 120; },
         {"bob: 100 free credits granted, 120 counted", "bob: credits 100, the ledger gives 120"},
         2},
        {"games for a player without a record",
         [](Ledger& l) {
             l.games.push_back({"carol", 1, 100, 1, 500, 109});
             l.games.push_back({"carol", 2, 109, 1, 0, 108});
         },
         {"carol: games booked for a player without a record"},
         4},
        {"a long name cut short",
         [&](Ledger& l) {
             l.players.push_back({longName, 5, 0, 0, 0});
         },
         {longName.left(64) + ": credits 5, the ledger gives 0"},
         2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Ledger ledger = balanced();
        c.change(ledger);
        const BooksAudit audit = auditLedger(ledger.players, ledger.games, ledger.grants);
        EXPECT_EQ(audit.faults.join(u'\n'), c.faults.join(u'\n'));
        EXPECT_EQ(audit.balanced(), c.faults.isEmpty());
        EXPECT_EQ(audit.players, qint64(ledger.players.size()));
        EXPECT_EQ(audit.games, c.games);
    }
}

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

// The operator's report: each player's measured return against the exact expectation of the
// holds they played. Two sevens held pay 25000 one time in 14, so a win is far above its band,
// no win of a game without holds is within its band, and a game whose draw cannot be read has no
// verdict, nor then has the machine's total.
TEST(ReturnReport, MeasuredAgainstExactPerPlayerAndInAll) {
    const auto played = [](const QString& player, jackwell::machine::ReelCodes first,
                           jackwell::machine::HoldMask holds, qint64 tokensWon) {
        LedgerGame played = game(player, 1, tokensWon, kThen);
        played.firstDraw = first;
        played.holds = holds;
        return played;
    };
    Ledger rows;
    rows.games = {played("carol", {1, 2, 3}, {}, 0),
                  played("alice", {4, 4, 9}, {true, true}, 25000), played("bob", {0, 0, 0}, {}, 0)};
    const QStringList lines = returnReport(rows);
    ASSERT_EQ(lines.size(), 6);
    EXPECT_TRUE(lines[1].contains("best-holds=233.74% no-holds=55.43%")) << lines[1].toStdString();
    const QString alice = "alice games=1 staked=50 paid=25000 return=50000.00% as-played=3578.57%±";
    EXPECT_TRUE(lines[2].startsWith(alice) && lines[2].endsWith("verdict=high"));
    EXPECT_TRUE(lines[3].startsWith("bob ") && lines[3].endsWith("as-played=- best-holds=233.74%"
                                                                 "±5235.93 no-holds=55.43%±2060.41 "
                                                                 "verdict=unknown"))
        << lines[3].toStdString();
    EXPECT_TRUE(
        lines[4].startsWith("carol games=1 staked=50 paid=0 return=0.00% as-played=55.43%") &&
        lines[4].endsWith("verdict=as-expected"))
        << lines[4].toStdString();
    EXPECT_TRUE(
        lines[5].startsWith("machine:total games=3 staked=150 paid=25000 return=16666.67%") &&
        lines[5].endsWith("verdict=unknown"))
        << lines[5].toStdString();
}

} // namespace
