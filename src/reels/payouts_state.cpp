#include "reels/payouts_state.h"

namespace jackwell {

std::array<QString, PayoutsState::kRows> PayoutsState::designAmounts() {
    return {QStringLiteral("25000"), QStringLiteral("10000"), QStringLiteral("5000"),
            QStringLiteral("2500"),  QStringLiteral("1000"),  QStringLiteral("500"),
            QStringLiteral("500"),   QStringLiteral("400"),   QStringLiteral("400"),
            QStringLiteral("400"),   QStringLiteral("300"),   QStringLiteral("300"),
            QStringLiteral("300"),   QStringLiteral("200"),   QStringLiteral("100"),
            QStringLiteral("50")};
}

void PayoutsState::setAmount(int row, const QString& amount) {
    if (row < 0 || row >= kRows)
        return; // there is no such row: nothing is created or changed
    exists = true;
    amounts[row] = amount;
}

void PayoutsState::show() {
    exists = true;
    shown = true;
}

void PayoutsState::closed() {
    *this = PayoutsState();
}

} // namespace jackwell
