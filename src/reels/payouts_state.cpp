#include "reels/payouts_state.h"

namespace jackwell {

std::array<QString, PayoutsState::kRows> PayoutsState::publishedAmounts() {
    std::array<QString, kRows> amounts;
    for (int row = 0; row < kRows; ++row)
        amounts[row] = QString::number(machine::kPayTable[row].tokens);
    return amounts;
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
