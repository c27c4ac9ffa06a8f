#include "reels/evaluation.h"

#include "machine/messages.h"
#include "machine/pay_table.h"

namespace jackwell {

namespace {

// A code as the win table reads it: a symbol only when written exactly as its number.
int symbolShown(const QString& code) {
    for (int symbol = 1; symbol <= machine::kSymbolCount; ++symbol) {
        if (code == QString::number(symbol))
            return symbol;
    }
    return 0;
}

} // namespace

// The pay table read as text: a row for three of one symbol wins when all three
// reels show that symbol's code; a row for fewer (the cherries) wins when at
// least that many reels show it.
bool isWinningDraw(const QString& a, const QString& b, const QString& c) {
    for (const machine::PayRow& row : machine::kPayTable) {
        const QString code = QString::number(row.symbol);
        const int showing = int(a == code) + int(b == code) + int(c == code);
        if (showing >= row.count)
            return true;
    }
    return false;
}

QString outcomeInWords(const QString& a, const QString& b, const QString& c,
                       const QString& credits) {
    return machine::outcomeSentence({symbolShown(a), symbolShown(b), symbolShown(c)}, credits);
}

} // namespace jackwell
