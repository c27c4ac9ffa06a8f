#pragma once

#include "reels/payouts_state.h"
#include "shell/card_layout.h"

#include <QWidget>

#include <array>

namespace jackwell {

class CardLabel;

// The pay table: sixteen rows of count, symbol picture and amount on black.
// It has no logic; the main window creates, shows and destroys it. The card's keys work here
// as on the card (once per press); Esc closes it.
class PayoutsWindow : public QWidget {
    Q_OBJECT

public:
    // Its amounts stand empty until setAmounts() gives them.
    explicit PayoutsWindow(QWidget* parent = nullptr);

    // The sixteen amounts, row by row; only those that differ are repainted.
    void setAmounts(const std::array<QString, PayoutsState::kRows>& amounts);
    QString amount(int row) const;

signals:
    // The player closed the window with its close box or Esc.
    void closedByPlayer();
    void cardKeyPressed(CardAction action);

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    std::array<CardLabel*, PayoutsState::kRows> amounts_{};
};

} // namespace jackwell
