// What the statistics window and the hint tell a player: their games' figures (winning nothing is
// no win), their credits' chart and a first draw's best holds, each worked out by hand here.

#include "history/credits_chart.h"
#include "history/history_figures.h"
#include "history/hold_hint.h"
#include "support/qt_printers.h"

#include <gtest/gtest.h>

namespace jackwell::history {
namespace {

using machine::ReelCodes;
namespace sym = machine::symbol;

std::vector<std::pair<QString, QString>> shown(const HistoryFigures& figures) {
    std::vector<std::pair<QString, QString>> rows;
    for (const FigureRow& row : figureRows(figures))
        rows.emplace_back(row.name, row.value);
    return rows;
}

// The machine's exact return is 2.3374 (best holds) and 0.5543 (no holds) of the stake; four
// games are far too few to narrow its band, which never reaches below nothing; ten thousand are.
TEST(HistoryFigures, theRowsOfTheStatisticsWindowBeforeAndAfterFourGamesAndTenThousand) {
    const std::vector<PlayedGame> games{{300, 105}, {0, 104}, {50, 104}, {0, 103}};
    // Each row as it reads before any game and after the four.
    const std::tuple<QString, QString, QString> rows[] = {
        {"Games played", "0", "4"},
        {"Games won", "-", "2 (50.00 %)"},
        {"Biggest win", "-", "300 tokens (6 credits)"},
        {"Tokens won", "0 tokens (0 credits)", "350 tokens (7 credits)"},
        {"Credits spent", "0 (0 tokens)", "4 (200 tokens)"},
        {"Your return", "-", "175.00 %"},
        {"Machine, best holds", "233.74 %", "233.74 %, for 4 games 0.00 % to 2851.71 %"},
        {"Machine, no holds", "55.43 %", "55.43 %, for 4 games 0.00 % to 1085.64 %"}};
    std::vector<std::pair<QString, QString>> beforeAny, afterFour;
    for (const auto& [name, before, after] : rows) {
        beforeAny.emplace_back(name, before);
        afterFour.emplace_back(name, after);
    }
    const machine::ExactReturn exact = machine::machineHoldValues().exactReturn();
    EXPECT_EQ(shown(summarize(games, exact)), afterFour);
    EXPECT_EQ(shown(summarize({}, exact)), beforeAny);
    EXPECT_EQ(summarize({}, exact).measuredReturn(), 0);
    EXPECT_DOUBLE_EQ(summarize(std::vector{PlayedGame{50, 99}}, exact).measuredReturn(), 1.0);

    // A game staking two credits counts them; the band narrows with the games played.
    const HistoryFigures figures = summarize(std::vector(10000, PlayedGame{50, 10, 2}), exact);
    EXPECT_EQ(figures.creditsSpent, 20000);
    EXPECT_DOUBLE_EQ(figures.measuredReturn(), 0.5);
    EXPECT_EQ(figureRows(figures)[6].value, "233.74 %, for 10000 games 181.38 % to 286.10 %");
}

// Credits [5, 3, 8, 1, 4] charted in at most one column a game: each its games' least, most, last.
TEST(CreditsChart, columnsHoldTheLeastTheMostAndTheLastOfTheirGames) {
    const std::vector<PlayedGame> games{{0, 5}, {0, 3}, {0, 8}, {0, 1}, {0, 4}};
    const std::tuple<int, std::vector<std::array<qint64, 3>>> rows[] = {
        {10, {{5, 5, 5}, {3, 3, 3}, {8, 8, 8}, {1, 1, 1}, {4, 4, 4}}},
        {2, {{3, 5, 3}, {1, 8, 4}}},
        {1, {{1, 8, 4}}},
        {0, {}},
    };
    for (const auto& [count, expected] : rows) {
        const CreditsChart chart = creditsChart(games, count);
        std::vector<std::array<qint64, 3>> columns;
        for (const CreditsChart::Column& c : chart.columns)
            columns.push_back({c.low, c.high, c.last});
        EXPECT_EQ(columns, expected) << count << " columns";
        EXPECT_EQ(chart.games, 5);
        if (count > 0) {
            EXPECT_EQ(std::pair(chart.low, chart.high), std::pair(qint64(1), qint64(8)));
        }
    }
    EXPECT_TRUE(creditsChart({}, 10).columns.empty());
}

// By hand over the 196 or 14 draws let go: two cherries held make (200 + 13 * 100) / 14 tokens; a
// cherry (200 + 26 * 100 + 169 * 50) / 196; a bell (500 + 100 + 26 * 50) / 196; none 76050/2744.
TEST(HoldHint, namesTheBestHoldsTheCardsHoldsAndNoHoldsWithTheirWorth) {
    const std::tuple<ReelCodes, machine::HoldMask, const char*> rows[] = {
        {{sym::Cherries, sym::Cherries, sym::Bell},
         {false, false, false},
         "First draw: cherries, cherries, bells\n"
         "Best holds: the left and middle reels, worth 107.14 tokens (2.14 credits) a game on "
         "average\nYour holds: none, worth 27.72 tokens (0.55 credits)\n"},
        {{sym::Bell, sym::Grapes, sym::Cherries},
         {true, false, false},
         "First draw: bells, grapes, cherries\n"
         "Best holds: the right reel, worth 57.40 tokens (1.15 credits) a game on average\n"
         "Your holds: the left reel, worth 9.69 tokens (0.19 credits)\n"},
        {{sym::Seven, sym::Seven, sym::Seven},
         {true, true, true},
         "First draw: sevens, sevens, sevens\n"
         "Best holds: all three reels, worth 25000.00 tokens (500.00 credits) a game on "
         "average\nYour holds: all three reels, worth 25000.00 tokens (500.00 credits)\n"},
    };
    for (const auto& [draw, holds, hint] : rows)
        EXPECT_EQ(holdHint(draw, holds), QString::fromLatin1(hint) +
                                             "No holds: worth 27.72 tokens (0.55 credits)\n\n"
                                             "The hint only shows; the holds are yours to choose.");
    EXPECT_EQ(holdHint({0, 0, 0}, {}), "No first draw on the card yet: click START to see one.");
}

} // namespace
} // namespace jackwell::history
