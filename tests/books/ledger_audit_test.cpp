// The ledger's rows as any store reads them: the balance rule and its faults, --players, --report.
#include "books/ledger_audit.h"
#include "keeper/player_list.h"
#include "keeper/return_report.h"

#include "support/qt_printers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <tuple>

using namespace jackwell::books;
using namespace jackwell::keeper;
namespace machine = jackwell::machine;

namespace {

// alice: 100 free credits, a win on oranges held (500 tokens: 10 credits), a loss; bob: 100 free.
Ledger balanced() {
    return {
        {{"alice", 108, 2, 500, 100}, {"bob", 100, 0, 0, 100}},
        {{"alice", 1, 100, 1, 500, 109, {12, 12, 3}, {true, true, false}, {12, 12, 12}},
         {"alice", 2, 109, 1, 0, 108, {1, 2, 3}, {false, false, false}, {4, 5, 6}}},
        {{"alice", 0, 100}, {"bob", 0, 100}},
    };
}

// Alice's second game booked with another cost, win or hold, sums balanced (grants: keeper_books).
void setGame2(Ledger& l, qint64 cost, qint64 tokens, bool held) {
    LedgerGame& game = l.games[1];
    std::tie(game.cost, game.tokensWon) = std::tie(cost, tokens);
    game.holds = {held, false, false}; // the first reel alone
    l.players[0].credits = game.creditsAfter = 109 - cost + tokens / machine::kTokensPerCredit;
    l.players[0].tokensWon = 500 + tokens;
}

TEST(LedgerAudit, NamesEachFaultInTheBooks) {
    const QString longName(100, u'x');
    const struct {
        const char* what;
        std::function<void(Ledger&)> change;
        QStringList faults;
        qint64 games = 2;
    } cases[] = {
        {"balanced books", [](Ledger&) {}, {}},
        {"games in any order", [](Ledger& l) { std::ranges::reverse(l.games); }, {}},
        {"a grant split in two rows",
         [](Ledger& l) {
             l.grants[0].credits = 60;
             l.grants.push_back({"alice", 0, 40});
         },
         {}},
        {"a gap in the game numbers",
         [](Ledger& l) { l.games[1].game = 3; },
         {"alice: game 3 is booked where game 2 belongs",
          "alice: credits 108, the ledger gives 109"}},
        {"a game not starting from the credits before it",
         [](Ledger& l) {
             l.games[1].creditsBefore = 160;
             l.games[1].creditsAfter = 159;
         },
         {"alice: game 2 does not follow from the credits before it",
          "alice: credits 108, the ledger gives 109"}},
        {"a game not ending on its own cost and win",
         [](Ledger& l) { l.games[0].creditsAfter = 110; },
         {"alice: game 1 does not follow from the credits before it",
          "alice: 2 games and 0 tokens booked, 2 and 500 counted",
          "alice: credits 108, the ledger gives 100"}},
        {"credits not matching the ledger",
         [](Ledger& l) { l.players[0].credits = 200; },
         {"alice: credits 200, the ledger gives 108"}},
        {"games miscounted",
         [](Ledger& l) { l.players[0].gamesPlayed = 3; },
         {"alice: 2 games and 500 tokens booked, 3 and 500 counted"}},
        {"a grant miscounted",
         [](Ledger& l) { l.players[1].freeCreditsGranted = 120; },
         {"bob: 100 free credits granted, 120 counted", "bob: credits 100, the ledger gives 120"}},
        {"a no-win draw booked as a jackpot",
         [](Ledger& l) { setGame2(l, 1, 25000, false); },
         {"alice: game 2 draws 04,05,06, which pays 0 tokens, not 25000"}},
        {"a game that cost -500",
         [](Ledger& l) { setGame2(l, -500, 0, false); },
         {"alice: game 2 costs -500 credits, not 1"}},
        {"holds 1,0,0 ending on another draw",
         [](Ledger& l) { setGame2(l, 1, 0, true); },
         {"alice: game 2 ends on 04,05,06, which its holds do not allow after 01,02,03"}},
        {"games for a player without a record, the name cut short",
         [&](Ledger& l) {
             l.games.push_back({longName, 1, 100, 1, 500, 109});
             l.games.push_back({longName, 2, 109, 1, 0, 108});
         },
         {longName.left(64) + ": games booked for a player without a record"},
         4},
        {"a grant while one credit is left, enough for a game",
         [](Ledger& l) {
             for (qint64 game = 1; game <= 99; ++game)
                 l.games.push_back(
                     {"dave", game, 101 - game, 1, 0, 100 - game, {1, 2, 3}, {}, {4, 5, 6}});
             l.grants.push_back({"dave", 0, 100});
             l.grants.push_back({"dave", 99, 100});
             l.players.push_back({"dave", 101, 99, 0, 200});
         },
         {"dave: 100 free credits granted after game 99 with 1 credits left"},
         101},
        {"a long name cut short",
         [&](Ledger& l) {
             l.players.push_back({longName, 5, 0, 0, 0});
         },
         {longName.left(64) + ": credits 5, the ledger gives 0"}},
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
    return {.player = player, .game = number, .cost = 1, .tokensWon = tokensWon, .playedAt = at};
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
// holds they played. Two sevens held pay 25000 one time in 14, so a win is far above its band, no
// win without holds is within it, and a game whose draw cannot be read leaves no verdict or total.
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
    EXPECT_TRUE(lines[1].contains("best-holds=233.74% no-holds=55.43%")) << lines[1];
    const QString alice = "alice games=1 staked=50 paid=25000 return=50000.00% as-played=3578.57%±";
    EXPECT_TRUE(lines[2].startsWith(alice) && lines[2].endsWith("verdict=high"));
    EXPECT_TRUE(lines[3].startsWith("bob ") && lines[3].endsWith("as-played=- best-holds=233.74%"
                                                                 "±5235.93 no-holds=55.43%±2060.41 "
                                                                 "verdict=unknown"))
        << lines[3];
    EXPECT_TRUE(
        lines[4].startsWith("carol games=1 staked=50 paid=0 return=0.00% as-played=55.43%") &&
        lines[4].endsWith("verdict=as-expected"))
        << lines[4];
    EXPECT_TRUE(
        lines[5].startsWith("machine:total games=3 staked=150 paid=25000 return=16666.67%") &&
        lines[5].endsWith("verdict=unknown"))
        << lines[5];
    rows.games.pop_back(); // the total's band is theirs added: √(25235.03² + 2060.41²) / 2
    EXPECT_PRED2(textContains, returnReport(rows).back(), "as-played=1817.00%±12659.50 ");
    rows.games = {played("dave", {4, 4, 9}, {true, true, true}, 0)}; // nothing left to chance
    for (const QString& line : returnReport(rows).mid(2)) // dave's, and the total of his one game
        EXPECT_PRED2(textContains, line, "±0.00 best-holds=");
}

} // namespace
