#include "shell/window_pair.h"

#include "platform/preferences.h"
#include "shell/window_placement.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <QWindow>

#include <algorithm>
#include <array>

namespace jackwell {

namespace {

// A title bar and thin borders: a frame no smaller than most window managers draw, so that
// windows placed by the guess do not overlap before the real frames are known.
constexpr QMargins kGuessedFrame{4, 30, 4, 4};
// The window manager's first moves of a window just shown, which bring its real frame.
constexpr int kSettleMoves = 4;

QRect availableAt(const QPoint& point) {
    QScreen* screen = QGuiApplication::screenAt(point);
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect();
}

} // namespace

WindowPair::WindowPair(QWidget& card, QWidget& chat, Preferences& preferences)
    : QObject(&card)
    , card_(card)
    , chat_(chat)
    , preferences_(preferences) {
    card_.installEventFilter(this);
    chat_.installEventFilter(this);
}

QMargins WindowPair::frameMargins(const QWidget& window) const {
    for (const QWidget* known : std::array<const QWidget*, 3>{&window, &card_, &chat_}) {
        if (known->windowHandle() && known->isVisible() &&
            !known->windowHandle()->frameMargins().isNull())
            return known->windowHandle()->frameMargins();
    }
    return kGuessedFrame;
}

QRect WindowPair::frameOf(const QWidget& window, const QRect& geometry) const {
    return geometry.marginsAdded(frameMargins(window));
}

QRect WindowPair::frameOf(const QWidget& window) const {
    return frameOf(window, window.geometry());
}

void WindowPair::moveFrame(QWidget& window, const QRect& frame) {
    window.resize(frame.marginsRemoved(frameMargins(window)).size());
    window.move(frame.topLeft()); // a top-level window's position is its frame's
}

QRect WindowPair::availableBesideCard() const {
    return availableAt(frameOf(card_).center());
}

namespace {

// A place kept in the preferences is taken back only when it could be a window on these screens:
// a size no larger than the whole desktop, a corner not far off it. Anything else (a damaged or
// hostile file) is forgotten before any window is given it.
std::optional<QRect> sane(const std::optional<QRect>& saved) {
    if (!saved) // the preferences give only valid rectangles
        return std::nullopt;
    QRect desktop;
    for (const QScreen* screen : QGuiApplication::screens())
        desktop |= screen->geometry();
    if (desktop.isEmpty() || saved->width() > desktop.width() ||
        saved->height() > desktop.height() ||
        !desktop.adjusted(-desktop.width(), -desktop.height(), desktop.width(), desktop.height())
             .contains(saved->topLeft()))
        return std::nullopt;
    return saved;
}

} // namespace

void WindowPair::placeCard(bool withChat) {
    cardPlaced_ = true;
    if (const std::optional<QRect> saved = sane(preferences_.cardGeometry())) {
        for (QScreen* screen : QGuiApplication::screens()) {
            if (fitsOn(frameOf(card_, *saved), screen->availableGeometry())) {
                card_.setGeometry(*saved);
                return;
            }
        }
    }
    if (card_.testAttribute(Qt::WA_Moved))
        return;
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect available = screen->availableGeometry();
    QRect card = frameOf(card_);
    card.moveCenter(available.center());
    if (withChat) {
        const QSize chat = frameOf(chat_).size();
        card.moveLeft(available.center().x() - (card.width() + kGapBesideCard + chat.width()) / 2);
        card.moveTop(available.center().y() - std::max(card.height(), chat.height()) / 2);
        card = placePair(card, chat, available).card;
    }
    card_.move(card.topLeft());
}

void WindowPair::placeChat() {
    chatPlaced_ = true;
    const QRect card = frameOf(card_);
    const QRect available = availableBesideCard();
    const std::optional<QRect> saved = sane(preferences_.chatWindow().geometry);
    if (saved) {
        const QRect frame = frameOf(chat_, *saved);
        if (fitsOn(frame, available) && !frame.intersects(card)) {
            chat_.setGeometry(*saved);
            return;
        }
    }
    const QSize wanted = frameOf(chat_, saved.value_or(chat_.geometry())).size();
    const PairPlacement placed = placePair(card, wanted, available);
    if (placed.card != card)
        card_.move(placed.card.topLeft());
    moveFrame(chat_, placed.chat);
    settleChances_ = kSettleMoves;
}

// Once the window manager has framed both windows, the pair is placed again if the real frames
// overlap or leave the screen.
void WindowPair::settle() {
    const auto framed = [](const QWidget& window) {
        return window.isVisible() && window.windowHandle() &&
               !window.windowHandle()->frameMargins().isNull();
    };
    if (settleChances_ == 0 || !chat_.isVisible() || !card_.isVisible())
        return;
    --settleChances_;
    if (!framed(card_) || !framed(chat_))
        return;
    settleChances_ = 0;
    const QRect card = card_.frameGeometry();
    const QRect chat = chat_.frameGeometry();
    const QRect available = availableBesideCard();
    if (!card.intersects(chat) && fitsOn(card, available) && fitsOn(chat, available))
        return;
    const PairPlacement placed = placePair(card, chat.size(), available);
    card_.move(placed.card.topLeft());
    moveFrame(chat_, placed.chat);
}

bool WindowPair::eventFilter(QObject*, QEvent* event) {
    if (event->type() == QEvent::Move || event->type() == QEvent::Show)
        settle();
    return false;
}

void WindowPair::remember() {
    Preferences::ChatWindow chat = preferences_.chatWindow();
    chat.open = chat_.isVisible();
    if (chatPlaced_)
        chat.geometry = chat_.geometry();
    preferences_.setChatWindow(chat);
    if (cardPlaced_)
        preferences_.setCardGeometry(card_.geometry());
}

} // namespace jackwell
