#pragma once

// The player's games and what they come to: the figures of the statistics window, beside the
// machine's exact return with its band for as many games.

#include "machine/exact_return.h"

#include <QString>
#include <QStringList>

#include <span>
#include <vector>

namespace jackwell::history {

// One game as the history keeps it.
struct PlayedGame {
    qint64 tokensWon = 0;
    qint64 creditsAfter = 0;
    qint64 cost = machine::kGameCost; // credits

    bool operator==(const PlayedGame&) const = default;
};

struct HistoryFigures {
    qint64 games = 0;
    qint64 wins = 0;
    qint64 biggestWinTokens = 0;
    qint64 tokensWon = 0;
    qint64 creditsSpent = 0;
    // Tokens won over tokens staked; 0 before the first game.
    double measuredReturn() const;
    // The machine's exact return (best holds, no holds) with its 95 % band for these games.
    machine::ReturnBand bestHolds;
    machine::ReturnBand noHolds;
};

HistoryFigures summarize(std::span<const PlayedGame> games, const machine::ExactReturn& exact);

// The figures as the statistics window shows them, one row each: a name and its value.
struct FigureRow {
    QString name;
    QString value;
};
std::vector<FigureRow> figureRows(const HistoryFigures& figures);
// "233.74 %"
QString percent(double fraction);

} // namespace jackwell::history
