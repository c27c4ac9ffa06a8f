#pragma once

#include <QMargins>
#include <QObject>
#include <QRect>

class QScreen;
class QWidget;

namespace jackwell {

class Preferences;

// The card and the chat window as one pair on the card's screen: each where it stood last time
// when that still fits, else the chat beside the card (window_placement.h), never over it.
// A window manager tells a window's frame only once it is shown, so the pair is placed with the
// frames guessed and, should the real ones make them overlap or leave the screen, placed once
// more when they are known. Both places are kept in the preferences.
class WindowPair : public QObject {
public:
    // The windows and the preferences must outlive the pair.
    WindowPair(QWidget& card, QWidget& chat, Preferences& preferences);

    // Before the card is shown: where it stood last time if it still fits a screen there; else
    // where the program moved it; else in the middle of the main screen, with room beside it
    // for the chat window when that opens too.
    void placeCard(bool withChat);
    // Before the chat window is shown: where it stood last time if that is on the card's screen
    // and clear of the card; else beside the card, which moves too when the pair must.
    void placeChat();
    // Keeps both places, and whether the chat window is open, in the preferences. A window not
    // shown in this run keeps the place it had.
    void remember();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QMargins frameMargins(const QWidget& window) const;
    QRect frameOf(const QWidget& window, const QRect& geometry) const;
    QRect frameOf(const QWidget& window) const;
    QRect availableBesideCard() const;
    void moveFrame(QWidget& window, const QRect& frame);
    void settle();

    QWidget& card_;
    QWidget& chat_;
    Preferences& preferences_;
    bool cardPlaced_ = false;
    bool chatPlaced_ = false;
    int settleChances_ = 0; // moves still to watch for the real frames
};

} // namespace jackwell
