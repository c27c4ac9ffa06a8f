// The pay rule decides every credit a player wins: it is checked against the machine's
// published amounts, written out here independently of the table in the code.
#include "machine/pay_table.h"
#include "support/qt_printers.h"
#include "support/test_files.h"

#include <QRegularExpression>
#include <QString>

#include <gtest/gtest.h>

#include <map>

using namespace jackwell::machine;

namespace {

// Three of a kind, one row each; cherries anywhere, also beside a pair of another symbol;
// nothing for a pair, all different, or codes that are no symbols.
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

} // namespace
