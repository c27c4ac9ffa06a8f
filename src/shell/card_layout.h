#pragma once

// Where every control of the card sits and how its caption looks, in twips
// (15 to a pixel) as the card was designed. The background picture paints the
// button words exactly under the hot spots listed here.

#include "reels/card_constants.h"

#include <QRect>

#include <array>

namespace jackwell {

struct Twips {
    int left;
    int top;
    int width;
    int height;
};

constexpr int toPixels(int twips) {
    return (twips + kTwipsPerPixel / 2) / kTwipsPerPixel;
}
constexpr QRect toPixels(Twips t) {
    return QRect(toPixels(t.left), toPixels(t.top), toPixels(t.width), toPixels(t.height));
}

// How a label of the card looks.
enum class LabelLook {
    HotSpot,  // transparent, no caption: the painted word beneath is the button
    StyleA,   // transparent, white, 8.25 point bold, centred
    StyleB,   // cyan, window-text colour, 8.25 point bold, centred, single border
    StyleC,   // transparent, white, 12 point bold, centred
    CoinSlot, // opaque black, single border, no caption
};

struct LabelPlace {
    int number; // LabelN
    Twips place;
    LabelLook look;
    const char* caption; // design caption
};

namespace card {

inline constexpr QSize kClientSize{197, 302}; // 2955 by 4530 twips
inline constexpr Twips kText1{120, 120, 1575, 285};

// Top to bottom, in the order the controls are stacked.
inline constexpr LabelPlace kLabels[] = {
    {4, {1800, 60, 975, 255}, LabelLook::HotSpot, ""},   // GET HOST
    {3, {120, 420, 1215, 255}, LabelLook::HotSpot, ""},  // RESET CARD
    {2, {1680, 420, 1095, 255}, LabelLook::HotSpot, ""}, // REGISTER
    {1, {120, 710, 1095, 255}, LabelLook::StyleA, "One game"},
    {9, {1200, 705, 735, 255}, LabelLook::StyleA, "Credits"},
    {17, {1920, 705, 855, 255}, LabelLook::StyleA, "Tokens"},
    {10, {120, 960, 1095, 255}, LabelLook::StyleA, "Free Game"}, // free-game caption
    {11, {1200, 960, 735, 255}, LabelLook::StyleA, "0"},         // credits
    {12, {1920, 960, 855, 255}, LabelLook::StyleA, "(0)"},       // tokens
    {13, {2450, 1500, 135, 615}, LabelLook::CoinSlot, ""},       // COINS
    {6, {120, 2040, 735, 255}, LabelLook::StyleB, "HOLD"},       // hold, reel 1
    {7, {840, 2040, 735, 255}, LabelLook::StyleB, "HOLD"},       // hold, reel 2
    {8, {1560, 2040, 735, 255}, LabelLook::StyleB, "HOLD"},      // hold, reel 3
    {14, {120, 2400, 735, 450}, LabelLook::HotSpot, ""},         // START
    {15, {840, 2400, 735, 450}, LabelLook::HotSpot, ""},         // ESP HOLD
    {16, {1560, 2400, 735, 450}, LabelLook::HotSpot, ""},        // FINISH
    {24, {120, 3000, 975, 330}, LabelLook::HotSpot, ""},         // PAYOUTS
    {25, {120, 3360, 975, 330}, LabelLook::HotSpot, ""},         // OPTIONS
    {18, {1155, 3840, 195, 300}, LabelLook::StyleC, "0"},        // 1ST SPIN, reel 1
    {19, {1635, 3840, 195, 300}, LabelLook::StyleC, "0"},
    {20, {2115, 3840, 195, 300}, LabelLook::StyleC, "0"},
    {21, {1155, 4200, 195, 300}, LabelLook::StyleC, "0"}, // 2ND SPIN, reel 1
    {22, {1635, 4200, 195, 300}, LabelLook::StyleC, "0"},
    {23, {2115, 4200, 195, 300}, LabelLook::StyleC, "0"},
};

// Each reel's picture pair, Picture1(n) and its result picture, share one place.
inline constexpr std::array<Twips, 3> kReelPictures{{
    {120, 1320, 735, 735},
    {840, 1320, 735, 735},
    {1560, 1320, 735, 735},
}};

// Label numbers by reel.
inline constexpr std::array<int, 3> kHoldLabels{6, 7, 8};
inline constexpr std::array<int, 3> kFirstCodeLabels{18, 19, 20};
inline constexpr std::array<int, 3> kFinalCodeLabels{21, 22, 23};
inline constexpr int kFreeGameLabel = 10;
inline constexpr int kCreditsLabel = 11;
inline constexpr int kTokensLabel = 12;
inline constexpr int kStartLabel = 14;
inline constexpr int kEspHoldLabel = 15;
inline constexpr int kFinishLabel = 16;
inline constexpr int kPayoutsLabel = 24;
inline constexpr int kOptionsLabel = 25;
inline constexpr int kHighestLabel = 25;

} // namespace card
} // namespace jackwell
