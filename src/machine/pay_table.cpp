#include "machine/pay_table.h"

#include <algorithm>

namespace jackwell::machine {

namespace {

qint64 rowAmount(int symbolCode, int count) {
    for (const PayRow& row : kPayTable) {
        if (row.symbol == symbolCode && row.count == count)
            return row.tokens;
    }
    return 0;
}

} // namespace

bool isSymbol(int code) {
    return code >= 1 && code <= kSymbolCount;
}

qint64 tokensWon(const ReelCodes& reels) {
    if (reels[0] == reels[1] && reels[1] == reels[2])
        return rowAmount(reels[0], kReelCount);
    const auto cherries = std::count(reels.begin(), reels.end(), symbol::Cherries);
    return rowAmount(symbol::Cherries, static_cast<int>(cherries));
}

} // namespace jackwell::machine
