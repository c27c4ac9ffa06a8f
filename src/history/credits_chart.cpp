#include "history/credits_chart.h"

#include <algorithm>

namespace jackwell::history {

CreditsChart creditsChart(std::span<const PlayedGame> games, int columns) {
    CreditsChart chart;
    chart.games = qint64(games.size());
    if (games.empty() || columns <= 0)
        return chart;
    const qint64 count = std::min<qint64>(columns, chart.games);
    chart.columns.reserve(std::size_t(count));
    chart.low = chart.high = games.front().creditsAfter;
    for (qint64 column = 0; column < count; ++column) {
        const auto first = games.begin() + column * chart.games / count;
        const auto end = games.begin() + (column + 1) * chart.games / count;
        const auto [low, high] =
            std::ranges::minmax_element(first, end, {}, &PlayedGame::creditsAfter);
        chart.columns.push_back({low->creditsAfter, high->creditsAfter, (end - 1)->creditsAfter});
        chart.low = std::min(chart.low, low->creditsAfter);
        chart.high = std::max(chart.high, high->creditsAfter);
    }
    return chart;
}

} // namespace jackwell::history
