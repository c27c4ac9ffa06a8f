#pragma once

#include "shell/card_layout.h"

#include <QPointer>
#include <QString>
#include <QWidget>

#include <array>

class QLineEdit;

namespace jackwell {

class Card;
class CardLabel;
class SymbolBox;
class PayoutsWindow;

// The main window: the card. It renders the card's state after every event and
// forwards clicks on its hot spots to the card. It also keeps the payouts
// window in step with the card's payouts state: created, shown and destroyed
// as that state says.
//
// Every button has a key (card_keys.h) that acts as a click on it; the name box
// takes the keyboard only when clicked, and Esc gives it back to the card. A
// right click or the Menu key asks for the card's menu.
class CardWindow : public QWidget {
    Q_OBJECT

public:
    explicit CardWindow(Card& card, QWidget* parent = nullptr);
    ~CardWindow() override;

    // Keeps the card above other windows, or lets it go back among them, without moving,
    // hiding or resizing it.
    void setStayOnTop(bool onTop);

    // Shutdown: closes the payouts window if it exists.
    void unloadPayouts();
    // The payouts window, or null while it does not exist.
    PayoutsWindow* payoutsWindow() const;

    // What a click on the button of `action`, or its key, does: nothing while the button is
    // disabled.
    void trigger(CardAction action);

signals:
    void optionsRequested(); // OPTIONS
    void chatWindowToggleRequested();
    void statisticsRequested();
    void hintRequested();
    // A right click or the Menu key, at this point of the screen.
    void menuRequested(const QPoint& globalPos);
    void closing();
    // Docked (the card no window of its own): `window` asks to be shown beside the card, in the
    // docked window, where the program's windows cannot be placed.
    void openInDock(QWidget& window);

protected:
    void closeEvent(QCloseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildControls();
    // What a click on one of the card's labels does.
    void act(CardAction action);
    CardLabel* label(CardLabelRole role) const;
    void render();
    void renderReel(int reel);
    void describeReel(int reel);
    void renderIdle(const CardLabelControl& control);
    void renderPayouts();
    void showPayouts();

    Card& card_;
    std::array<CardLabel*, kCardLabelCount> labels_{}; // by role
    std::array<SymbolBox*, 3> reelPictures_{};
    std::array<SymbolBox*, 3> resultPictures_{};
    QLineEdit* nameBox_ = nullptr;
    CardLabel* notice_ = nullptr;
    QPointer<PayoutsWindow> payouts_; // top-level, no owner window; deleted by this window
};

} // namespace jackwell
