#include "shell/window_placement.h"

#include <algorithm>

namespace jackwell {

namespace {

// `low` when the range is empty (a window larger than the screen keeps its top left on it).
int clampTo(int value, int low, int high) {
    return std::max(low, std::min(value, high));
}

QRect keptOn(QRect frame, const QRect& available) {
    frame.moveLeft(clampTo(frame.left(), available.left(), available.right() + 1 - frame.width()));
    frame.moveTop(clampTo(frame.top(), available.top(), available.bottom() + 1 - frame.height()));
    return frame;
}

} // namespace

QPoint placeBeside(const QRect& card, QSize size, const QRect& available) {
    const int rightOfCard = card.right() + 1 + kGapBesideCard;
    const QRect right = keptOn(QRect(QPoint(rightOfCard, card.top()), size), available);
    if (right.left() == rightOfCard)
        return right.topLeft();
    const int leftOfCard = card.left() - kGapBesideCard - size.width();
    const QRect left = keptOn(QRect(QPoint(leftOfCard, card.top()), size), available);
    return left.left() == leftOfCard ? left.topLeft() : right.topLeft();
}

bool fitsOn(const QRect& frame, const QRect& available) {
    return available.contains(frame);
}

PairPlacement placePair(QRect card, QSize chat, const QRect& available) {
    card = keptOn(card, available);
    chat = chat.boundedTo(available.size());
    // Level with the card's top where the screen lets it be.
    const auto besideCard = [&](int left, int width) {
        return keptOn(QRect(QPoint(left, card.top()), QSize(width, chat.height())), available);
    };
    const QRect right = besideCard(card.right() + 1 + kGapBesideCard, chat.width());
    if (right.left() == card.right() + 1 + kGapBesideCard)
        return {card, right};
    const QRect left = besideCard(card.left() - kGapBesideCard - chat.width(), chat.width());
    if (left.right() == card.left() - 1 - kGapBesideCard)
        return {card, left};
    const int roomBeside = available.width() - card.width() - kGapBesideCard;
    if (roomBeside >= kReadableChatSize.width()) {
        const int width = std::min(chat.width(), roomBeside);
        card.moveLeft(clampTo(card.left(), available.left(),
                              available.right() + 1 - (card.width() + kGapBesideCard + width)));
        return {card, besideCard(card.right() + 1 + kGapBesideCard, width)};
    }
    const int roomBelow = available.height() - card.height() - kGapBesideCard;
    if (roomBelow >= kReadableChatSize.height()) {
        const int height = std::min(chat.height(), roomBelow);
        card.moveTop(clampTo(card.top(), available.top(),
                             available.bottom() + 1 - (card.height() + kGapBesideCard + height)));
        const QRect below(QPoint(card.left(), card.bottom() + 1 + kGapBesideCard),
                          QSize(chat.width(), height));
        return {card, keptOn(below, available)};
    }
    return {card,
            keptOn(QRect(QPoint(card.right() + 1 + kGapBesideCard, card.top()), chat), available)};
}

} // namespace jackwell
