#pragma once

#include "history/history_figures.h"

#include <span>
#include <vector>

namespace jackwell::history {

// The credits after each game, reduced to what a chart `columns` pixels wide can show, so that
// painting costs the same for ten games as for a hundred thousand: each column holds the least
// and the most credits after its games and the credits after its last one.
struct CreditsChart {
    struct Column {
        qint64 low = 0;
        qint64 high = 0;
        qint64 last = 0;
    };
    std::vector<Column> columns; // one per game when there are fewer games than columns
    qint64 low = 0;              // over all games
    qint64 high = 0;
    qint64 games = 0;
};

CreditsChart creditsChart(std::span<const PlayedGame> games, int columns);

} // namespace jackwell::history
