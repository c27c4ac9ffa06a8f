#pragma once

#include "machine/pay_table.h"

#include <QString>

#include <array>

namespace jackwell {

// The payouts window's sixteen amounts and whether the window exists and is
// shown. The window exists from the first PAYOUTS click or the first payout
// table, whichever comes first; closing it forgets the amounts it was sent.
struct PayoutsState {
    static constexpr int kRows = int(machine::kPayTable.size());
    // The pay table's amounts, row by row: what the window shows before the machinekeeper
    // sends its own.
    static std::array<QString, kRows> publishedAmounts();

    bool exists = false;
    bool shown = false;
    std::array<QString, kRows> amounts = publishedAmounts(); // row by row

    bool operator==(const PayoutsState&) const = default;

    // Writing an amount (row 0..15) creates the window, hidden, if it does not
    // exist yet. A row outside the table is ignored.
    void setAmount(int row, const QString& amount);
    // PAYOUTS: creates the window if needed and shows it (or brings it forward).
    void show();
    // The player closed the window: the next one starts from the published amounts.
    void closed();
};

} // namespace jackwell
