#pragma once

#include "chat/window_pin.h"

#include <QWidget>

namespace jackwell {

class Card;

// The main window: the card. It renders the card's state after every event and
// forwards clicks on its hot spots to the card.
class frmJackwell : public QWidget, public WindowPin {
    Q_OBJECT

public:
    explicit frmJackwell(Card& card, QWidget* parent = nullptr);

    void SetStayOnTop(bool onTop) override;

signals:
    void optionsRequested(); // OPTIONS (Label25)
    void closing();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void render();

    Card& card_;
};

} // namespace jackwell
