// The return is what players and operators judge a machine by: the pay rule decides every credit
// won, checked against the published amounts written out here apart from the code's table; the
// enumeration agrees with small tables worked by hand and with millions of games played.
#include "machine/exact_return.h"
#include "machine/pay_table.h"
#include "support/qt_printers.h"
#include "support/test_files.h"

#include <QRegularExpression>
#include <QString>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <random>

using namespace jackwell::machine;

namespace {

// Three of a kind, a row each; cherries anywhere, also by another pair; nothing for pairs or junk.
TEST(PayTable, tokensWonFollowsThePublishedAmounts) {
    const std::pair<ReelCodes, qint64> rows[] = {
        {{4, 4, 4}, 25000},  {{9, 9, 9}, 10000},  {{3, 3, 3}, 5000},   {{8, 8, 8}, 2500},
        {{5, 5, 5}, 1000},   {{12, 12, 12}, 500}, {{1, 1, 1}, 500},    {{13, 13, 13}, 400},
        {{11, 11, 11}, 400}, {{7, 7, 7}, 400},    {{10, 10, 10}, 300}, {{6, 6, 6}, 300},
        {{2, 2, 2}, 300},    {{14, 14, 14}, 200}, {{14, 14, 3}, 100},  {{14, 3, 14}, 100},
        {{3, 14, 14}, 100},  {{14, 1, 2}, 50},    {{1, 14, 2}, 50},    {{1, 2, 14}, 50},
        {{4, 4, 14}, 50},    {{4, 4, 9}, 0},      {{9, 4, 4}, 0},      {{1, 2, 3}, 0},
        {{13, 12, 11}, 0},   {{0, 0, 0}, 0},      {{15, 15, 15}, 0}};
    for (const auto& [reels, tokens] : rows)
        EXPECT_EQ(tokensWon(reels), tokens) << reels[0] << "," << reels[1] << "," << reels[2];
}

// README's pay table is what players read before they play: it must be the machine's own. Its
// rows come two to a line ("| sevens | 25000 | | lemons | 400 |"), named by the symbols' names.
TEST(PayTable, readmeShowsTheMachinesTable) {
    const QString text =
        QString::fromUtf8(jackwell::testing::fileBytes(JACKWELL_SOURCE_DIR "/README.md"));
    std::map<QString, qint64> shown;
    static const QRegularExpression cell("\\| *([a-z][a-z ]*[a-z]) *\\| *(\\d+) *\\|");
    for (auto match = cell.globalMatch(text); match.hasNext();) {
        const auto found = match.next();
        shown[found.captured(1)] = found.captured(2).toLongLong();
    }
    std::map<QString, qint64> table;
    for (const PayRow& row : kPayTable) {
        const QString name = QString::fromLatin1(kSymbolNames[row.symbol]);
        if (row.count == kReelCount)
            table[name] = row.tokens;
        else
            table[row.count == 2 ? QStringLiteral("two cherries") : QStringLiteral("one cherry")] =
                row.tokens;
    }
    EXPECT_EQ(shown, table);
}

struct HandChecked {
    const char* name;
    DrawRules rules;
    double bestMean, bestVariance, noneMean, noneVariance; // tokens
};

qint64 threeOfFirst(const ReelCodes& reels, qint64 tokens) {
    return reels == ReelCodes{1, 1, 1} ? tokens : 0;
}

// Each row's figures are worked out in its comment.
TEST(ExactReturn, agreesWithPayTablesWorkedOutByHand) {
    const HandChecked rows[] = {
        // Two symbols alike, three 1s pay 8. No holds: 8/8. Best: hold the k 1s showing, worth
        // 8/2^(3-k) (k = 3, 2, 1 with 1, 3, 3 chances in 8; k = 0 holds nothing, worth 1):
        // (8 + 12 + 6 + 1)/8; squares (64 + 96 + 48 + 8)/8 = 27.
        {"two symbols, three 1s pay 8",
         {{1, 1}, [](const ReelCodes& r) { return threeOfFirst(r, 8); }, 1},
         27.0 / 8,
         27 - 729.0 / 64,
         1,
         8 - 1},
        // Symbol 1 comes up one time in four; three 1s pay 64. No holds: 64/64, squares 4096/64.
        // Best: k 1s showing (27, 27, 9, 1 in 64) are worth 1, 4, 16, 64; squares 64 to 4096.
        {"a rare symbol, three pay 64",
         {{1, 3}, [](const ReelCodes& r) { return threeOfFirst(r, 64); }, 4},
         343.0 / 64,
         343 - 343.0 * 343 / 4096,
         1,
         64 - 1},
        // Every 1 pays 3 on its own: reels are independent. A reel let go is worth 1 (variance
        // 2), a held 1 is worth 3; best per reel 1/3*3 + 2/3*1 = 5/3, squares 1/3*9 + 2/3*3 = 5.
        {"each 1 pays 3, three symbols",
         {{1, 1, 1}, [](const ReelCodes& r) { return 3 * qint64(std::ranges::count(r, 1)); }, 3},
         5,
         3 * (5 - 25.0 / 9),
         3,
         6},
        // This machine without holds: the 14 rows of three (46800 tokens together), two
        // cherries 39 ways at 100, one cherry 507 ways at 50, out of 2744 draws. With the best
        // holds, from an exact enumeration in rational numbers made apart from this program.
        {"this machine", machineDrawRules(), 439995825.0 / 3764768, 1784084.2339113639,
         (46800 + 3900 + 25350) / 2744.0, 276271.7832147957},
    };
    for (const HandChecked& row : rows) {
        const ExactReturn exact = exactReturn(row.rules);
        EXPECT_EQ(exact.stakeTokens, row.rules.stakeTokens) << row.name;
        EXPECT_NEAR(exact.bestHolds.meanTokens, row.bestMean, 1e-9 * row.bestMean) << row.name;
        EXPECT_NEAR(exact.bestHolds.varianceTokens, row.bestVariance, 1e-7 * row.bestVariance)
            << row.name;
        EXPECT_NEAR(exact.noHolds.meanTokens, row.noneMean, 1e-9 * row.noneMean) << row.name;
        EXPECT_NEAR(exact.noHolds.varianceTokens, row.noneVariance, 1e-7 * row.noneVariance)
            << row.name;
    }
}

// The hint's order: the best choice first, a tie going to fewer holds; no draw, no choices.
TEST(ExactReturn, choicesComeBestFirst) {
    const HoldValueTable& table = machineHoldValues();
    const auto sevens = table.choices({4, 4, 9});
    ASSERT_TRUE(sevens);
    EXPECT_EQ(sevens->front().holds, (HoldMask{true, true, false}));
    EXPECT_DOUBLE_EQ(sevens->front().pays.meanTokens, (25000.0 + 50) / 14); // a seven or a cherry
    // A lone dollar is worth keeping: 5000/196 + 50 * 26/196 + 100/196 = 32.7; redrawing all, 27.7.
    const auto lone = table.choices({1, 2, 3});
    EXPECT_EQ(lone->front().holds, (HoldMask{false, false, true}));
    for (const HoldValue& choice : *lone) // each found again by its holds
        EXPECT_EQ(table.value({1, 2, 3}, choice.holds)->pays.meanTokens, choice.pays.meanTokens);
    EXPECT_FALSE(table.choices({0, 4, 4}));
    EXPECT_EQ(returnBand({50, 4}, 1, 0).low(), 50.0) << "no games, no band";
    EXPECT_GT(returnBand({50, 4}, 1, 1).halfWidth, 0.0) << "one game, a band";
    EXPECT_EQ(returnBand({50, 4}, 0, 9).expected, 0.0) << "no stake, no return";
    EXPECT_EQ(table.value({4, 15, 4}, {}), nullptr);
    const HoldValueTable even({{1, 1}, [](const ReelCodes&) { return qint64(5); }, 5});
    EXPECT_EQ(even.choices({1, 2, 1})->front().holds, (HoldMask{}));
    EXPECT_EQ(even.choices({1, 2, 1})->back().holds, (HoldMask{true, true, true}));
}

// A quick simulation of the rules without the engine: first draw, chosen holds, redraws, pay table.
struct Simulation {
    std::mt19937_64 random{20260131};
    int symbol() { return int(random() % kSymbolCount) + 1; }
    ReelCodes draw() { return {symbol(), symbol(), symbol()}; }
    qint64 play(const ReelCodes& first, const HoldMask& holds) {
        ReelCodes final = first;
        for (int reel = 0; reel < kReelCount; ++reel)
            final[reel] = holds[reel] ? first[reel] : symbol();
        return tokensWon(final);
    }
};

void expectWithinBand(const char* what, double paid, qint64 games, const PayDistribution& exact) {
    const ReturnBand band = returnBand(exact, kTokensPerCredit, games);
    const double measured = paid / double(games) / double(kTokensPerCredit);
    std::printf("%s: %lld games returned %.4f; exact %.4f, 95 %% band %.4f..%.4f\n", what, games,
                measured, band.expected, band.low(), band.high());
    EXPECT_TRUE(band.holds(measured)) << what;
}

// Three million games each: never holding, holding the best, and holding at random (judged
// against the exact worth of the very holds chosen, so every choice of every draw is tried).
TEST(ExactReturn, agreesWithMillionsOfSimulatedGames) {
    constexpr qint64 kGames = 3'000'000;
    const HoldValueTable& table = machineHoldValues();
    const ExactReturn exact = table.exactReturn();
    Simulation simulation;
    double none = 0, best = 0, random = 0, randomMean = 0, randomVariance = 0;
    for (qint64 game = 0; game < kGames; ++game) {
        none += double(simulation.play(simulation.draw(), {}));
        const ReelCodes first = simulation.draw();
        best += double(simulation.play(first, table.choices(first)->front().holds));
        const ReelCodes drawn = simulation.draw();
        const auto bits = simulation.random();
        const HoldMask holds{(bits & 1) != 0, (bits & 2) != 0, (bits & 4) != 0};
        random += double(simulation.play(drawn, holds));
        randomMean += table.value(drawn, holds)->pays.meanTokens;
        randomVariance += table.value(drawn, holds)->pays.varianceTokens;
    }
    expectWithinBand("no holds", none, kGames, exact.noHolds);
    expectWithinBand("best holds", best, kGames, exact.bestHolds);
    expectWithinBand("random holds", random, kGames,
                     {randomMean / double(kGames), randomVariance / double(kGames)});
}

} // namespace
