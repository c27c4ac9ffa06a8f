#include "keeper/return_report.h"

#include "machine/exact_return.h"
#include "platform/key_value_file.h"

#include <QMap>

#include <cmath>

namespace jackwell::keeper {

namespace {

using machine::kTokensPerCredit;

// One player's games, or the whole machine's.
struct Tally {
    qint64 games = 0;
    qint64 staked = 0; // tokens
    qint64 paid = 0;
    double expected = 0; // tokens the second draws should pay for the holds played
    double variance = 0;
    bool readable = true;

    void add(const books::LedgerGame& game, const machine::HoldValueTable& table) {
        games += 1;
        staked += game.cost * kTokensPerCredit;
        paid += game.tokensWon;
        const machine::HoldValue* value = table.value(game.firstDraw, game.holds);
        readable = readable && value;
        if (value) {
            expected += value->pays.meanTokens;
            variance += value->pays.varianceTokens;
        }
    }
    void add(const Tally& other) {
        games += other.games;
        staked += other.staked;
        paid += other.paid;
        expected += other.expected;
        variance += other.variance;
        readable = readable && other.readable;
    }
};

QString percent(double fraction) {
    return QString::number(fraction * 100, 'f', 2) + u'%';
}

QString withBand(const machine::ReturnBand& band) {
    return percent(band.expected) + QStringLiteral("±") +
           QString::number(band.halfWidth * 100, 'f', 2);
}

QString reportLine(const QString& who, const Tally& tally, const machine::ExactReturn& exact) {
    const double measured = tally.staked > 0 ? double(tally.paid) / double(tally.staked) : 0;
    // The band of the holds played: the variance of the sum over games is the sum of theirs.
    const machine::ReturnBand asPlayed{tally.expected / double(tally.staked),
                                       machine::ReturnBand::kZ * std::sqrt(tally.variance) /
                                           double(tally.staked)};
    QString verdict = QStringLiteral("unknown");
    if (tally.readable)
        verdict = asPlayed.holds(measured)    ? QStringLiteral("as-expected")
                  : measured < asPlayed.low() ? QStringLiteral("low")
                                              : QStringLiteral("high");
    return QStringLiteral("%1 games=%2 staked=%3 paid=%4 return=%5 as-played=%6 best-holds=%7 "
                          "no-holds=%8 verdict=%9")
        .arg(who)
        .arg(tally.games)
        .arg(tally.staked)
        .arg(tally.paid)
        .arg(percent(measured), tally.readable ? withBand(asPlayed) : QStringLiteral("-"),
             withBand(machine::returnBand(exact.bestHolds, exact.stakeTokens, tally.games)),
             withBand(machine::returnBand(exact.noHolds, exact.stakeTokens, tally.games)), verdict);
}

} // namespace

QStringList returnReport(const books::Ledger& ledger) {
    const machine::HoldValueTable& table = machine::machineHoldValues();
    const machine::ExactReturn exact = table.exactReturn();
    QMap<QString, Tally> players; // sorted by name
    for (const books::LedgerGame& game : ledger.games)
        players[game.player].add(game, table);
    QStringList lines{
        QStringLiteral("# returns are tokens paid over tokens staked (a game stakes 1 credit, %1 "
                       "tokens); ± is the 95 % band, 1.96 σ/√n in percentage points, for the "
                       "games counted")
            .arg(kTokensPerCredit),
        QStringLiteral("# exact: best-holds=%1 no-holds=%2 (every first draw, hold choice and "
                       "second draw); as-played: the exact expectation for the holds played")
            .arg(percent(exact.bestHolds.meanTokens / double(exact.stakeTokens)),
                 percent(exact.noHolds.meanTokens / double(exact.stakeTokens)))};
    Tally whole;
    for (auto player = players.cbegin(); player != players.cend(); ++player) {
        lines << reportLine(KeyValueFile::escaped(player.key()), player.value(), exact);
        whole.add(player.value());
    }
    if (whole.games > 0)
        lines << reportLine(QStringLiteral("machine:total"), whole, exact);
    else
        lines << QStringLiteral("machine:total games=0");
    return lines;
}

} // namespace jackwell::keeper
