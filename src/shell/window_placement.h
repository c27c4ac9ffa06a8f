#pragma once

#include <QRect>
#include <QSize>

namespace jackwell {

// How far apart the card and the chat window stand.
inline constexpr int kGapBesideCard = 8;
// The chat window is never made narrower or lower than this to fit beside the card.
inline constexpr QSize kReadableChatSize{300, 200};

// Where the card and the chat window stand, as their frames.
struct PairPlacement {
    QRect card;
    QRect chat;
};

// The card's frame where it stands (moved onto the screen if it is not) and the chat window's
// frame of `chat` size beside it, on a screen whose free area is `available`: the chat right
// of the card where it fits, else left of it, else the pair moved (the chat narrowed to the
// room left, never below a readable width), else the chat below the card. Neither leaves the
// screen, and the chat is never taller or wider than it; only a screen too small for both
// lets them overlap.
PairPlacement placePair(QRect card, QSize chat, const QRect& available);

// Where a window of frame `size` opens beside the card's frame `card`: right of it where it
// fits, else left of it, else wherever on the screen (free area `available`) is nearest.
QPoint placeBeside(const QRect& card, QSize size, const QRect& available);

// Whether a window's frame lies wholly in the free area of a screen.
bool fitsOn(const QRect& frame, const QRect& available);

} // namespace jackwell
