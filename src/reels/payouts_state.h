#pragma once

#include <QString>

#include <array>

namespace jackwell {

// The payouts window's sixteen amounts and whether the window exists and is
// shown. The window exists from the first PAYOUTS click or the first payout
// table, whichever comes first; closing it forgets the amounts it was sent.
struct PayoutsState {
    static constexpr int kRows = 16;
    static std::array<QString, kRows> designAmounts();

    bool exists = false;
    bool shown = false;
    std::array<QString, kRows> amounts = designAmounts(); // Label1..Label16

    // Writing an amount (row 0..15) creates the window, hidden, if it does not
    // exist yet. A row outside the table is ignored.
    void setAmount(int row, const QString& amount);
    // PAYOUTS: creates the window if needed and shows it (or brings it forward).
    void show();
    // The player closed the window: the next one starts from the design amounts.
    void closed();
};

} // namespace jackwell
