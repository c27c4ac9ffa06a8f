#include "history/history_figures.h"

#include <algorithm>

namespace jackwell::history {

namespace {

using machine::kTokensPerCredit;

QString tokensAndCredits(qint64 tokens) {
    return QStringLiteral("%1 tokens (%2 credits)").arg(tokens).arg(tokens / kTokensPerCredit);
}

QString bandRow(const machine::ReturnBand& band, qint64 games) {
    if (games == 0)
        return percent(band.expected);
    return QStringLiteral("%1, for %2 games %3 to %4")
        .arg(percent(band.expected))
        .arg(games)
        // No machine pays back less than nothing, however wide the band of a few games.
        .arg(percent(std::max(0.0, band.low())), percent(band.high()));
}

} // namespace

double HistoryFigures::measuredReturn() const {
    return creditsSpent > 0 ? double(tokensWon) / double(creditsSpent * kTokensPerCredit) : 0;
}

HistoryFigures summarize(std::span<const PlayedGame> games, const machine::ExactReturn& exact) {
    HistoryFigures figures;
    for (const PlayedGame& game : games) {
        figures.games += 1;
        figures.wins += game.tokensWon > 0 ? 1 : 0;
        figures.biggestWinTokens = std::max(figures.biggestWinTokens, game.tokensWon);
        figures.tokensWon += game.tokensWon;
        figures.creditsSpent += game.cost;
    }
    // The band is for the tokens staked; a game of this machine stakes exact.stakeTokens.
    figures.bestHolds = machine::returnBand(exact.bestHolds, exact.stakeTokens, figures.games);
    figures.noHolds = machine::returnBand(exact.noHolds, exact.stakeTokens, figures.games);
    return figures;
}

QString percent(double fraction) {
    return QStringLiteral("%1 %").arg(fraction * 100, 0, 'f', 2);
}

std::vector<FigureRow> figureRows(const HistoryFigures& figures) {
    const bool played = figures.games > 0;
    const QString none = QStringLiteral("-");
    return {
        {QStringLiteral("Games played"), QString::number(figures.games)},
        {QStringLiteral("Games won"),
         played ? QStringLiteral("%1 (%2)")
                      .arg(figures.wins)
                      .arg(percent(double(figures.wins) / double(figures.games)))
                : none},
        {QStringLiteral("Biggest win"), played ? tokensAndCredits(figures.biggestWinTokens) : none},
        {QStringLiteral("Tokens won"), tokensAndCredits(figures.tokensWon)},
        {QStringLiteral("Credits spent"), QStringLiteral("%1 (%2 tokens)")
                                              .arg(figures.creditsSpent)
                                              .arg(figures.creditsSpent * kTokensPerCredit)},
        {QStringLiteral("Your return"), played ? percent(figures.measuredReturn()) : none},
        {QStringLiteral("Machine, best holds"), bandRow(figures.bestHolds, figures.games)},
        {QStringLiteral("Machine, no holds"), bandRow(figures.noHolds, figures.games)},
    };
}

} // namespace jackwell::history
