#include "reels/evaluation.h"

namespace jackwell {

bool isWinningDraw(const QString& a, const QString& b, const QString& c) {
    const QString cherries = QStringLiteral("14");
    if (a == cherries || b == cherries || c == cherries)
        return true;
    for (int symbol = 1; symbol <= 13; ++symbol) {
        const QString code = QString::number(symbol);
        if (a == code && b == code && c == code)
            return true;
    }
    return false;
}

} // namespace jackwell
