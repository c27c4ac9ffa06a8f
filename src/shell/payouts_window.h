#pragma once

#include "reels/payouts_state.h"

#include <QWidget>

#include <array>

namespace jackwell {

class CardLabel;

// The pay table: sixteen rows of count, symbol picture and amount on black.
// It has no logic; the main window creates, shows and destroys it.
class PayoutsWindow : public QWidget {
    Q_OBJECT

public:
    explicit PayoutsWindow(QWidget* parent = nullptr);

    // The sixteen amounts, row by row; only those that differ are repainted.
    void setAmounts(const std::array<QString, PayoutsState::kRows>& amounts);
    QString amount(int row) const;

signals:
    // The player closed the window with its close box.
    void closedByPlayer();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    std::array<CardLabel*, PayoutsState::kRows> amounts_{};
};

} // namespace jackwell
