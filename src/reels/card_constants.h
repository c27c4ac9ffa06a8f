#pragma once

#include "machine/pay_table.h"

#include <QtGlobal>

namespace jackwell {

// Colours are 0x00BBGGRR values, as the card has always stored them.
constexpr quint32 kColourNotHeld = 0x00FFFF00; // cyan: "HOLD"
constexpr quint32 kColourHeld = 0x0000FFFF;    // yellow: "HELD"
constexpr quint32 kColourWhite = 0x00FFFFFF;
constexpr quint32 kColourRed = 0x000000FF;
constexpr quint32 kColourBlack = 0x00000000;

constexpr int kRestingReelImage = 4;   // what the reels show at start and after RESET CARD
constexpr int kInitialResultImage = 3; // what the result pictures show before any draw
constexpr int kNoImage = 0;            // a result picture with no symbol

constexpr int kSpinStartIntervalMs = 100;
constexpr int kSpinStepMs = 100;
constexpr int kSpinStopAboveMs = 600; // a reel stops once its interval passes this
constexpr int kFollowAboveMs = 500;   // a reel slows once its left neighbour passes this
constexpr int kEvaluationIntervalMs = 100;
constexpr double kEvaluationWaitSeconds = 7.0;

constexpr int kTwipsPerPixel = 15;

} // namespace jackwell
