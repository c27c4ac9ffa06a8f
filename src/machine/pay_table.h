#pragma once

#include <QtGlobal>

#include <array>

namespace jackwell::machine {

// The machine's reels and what they pay. A symbol code is the number of the symbol's
// picture on the player's card (1 to 14). Amounts are tokens; 50 tokens make one credit.

inline constexpr int kReelCount = 3;
inline constexpr int kSymbolCount = 14;

using ReelCodes = std::array<int, kReelCount>; // symbol codes of reels 1, 2, 3
using HoldMask = std::array<bool, kReelCount>; // true: the reel keeps its first-draw symbol

namespace symbol {
inline constexpr int Bell = 1;
inline constexpr int Grapes = 2;
inline constexpr int Dollar = 3;
inline constexpr int Seven = 4;
inline constexpr int GoldBar = 5;
inline constexpr int Diamond = 6;
inline constexpr int Heart = 7;
inline constexpr int Jewel = 8;
inline constexpr int Bar = 9;
inline constexpr int Sun = 10;
inline constexpr int Lemon = 11;
inline constexpr int Orange = 12;
inline constexpr int Star = 13;
inline constexpr int Cherries = 14;
} // namespace symbol

// What players call each symbol, many of them ("three sevens"), by code; index 0 is no symbol.
inline constexpr std::array<const char*, kSymbolCount + 1> kSymbolNames{
    "",       "bells", "grapes", "dollars", "sevens",  "gold bars", "diamonds", "hearts",
    "jewels", "bars",  "suns",   "lemons",  "oranges", "stars",     "cherries"};

// One row of the pay table: `count` reels showing `symbol` pay `tokens`.
struct PayRow {
    int symbol;
    int count;
    qint64 tokens;
};

// In the order of the player's payouts window, which the payout table message fills row by row.
// The card's payouts window, its win table and the machine's engine all read this one table.
inline constexpr std::array<PayRow, 16> kPayTable{{
    {symbol::Seven, 3, 25000},
    {symbol::Bar, 3, 10000},
    {symbol::Dollar, 3, 5000},
    {symbol::Jewel, 3, 2500},
    {symbol::GoldBar, 3, 1000},
    {symbol::Orange, 3, 500},
    {symbol::Bell, 3, 500},
    {symbol::Star, 3, 400},
    {symbol::Lemon, 3, 400},
    {symbol::Heart, 3, 400},
    {symbol::Sun, 3, 300},
    {symbol::Diamond, 3, 300},
    {symbol::Grapes, 3, 300},
    {symbol::Cherries, 3, 200},
    {symbol::Cherries, 2, 100},
    {symbol::Cherries, 1, 50},
}};

inline constexpr qint64 kTokensPerCredit = 50;
inline constexpr qint64 kGameCost = 1;          // credits per game
inline constexpr qint64 kFreeGameCredits = 100; // credits a player with none gets on registering

// Every amount must come to whole credits.
static_assert([] {
    for (const PayRow& row : kPayTable) {
        if (row.tokens % kTokensPerCredit != 0)
            return false;
    }
    return true;
}());

bool isSymbol(int code);

// Tokens a final draw wins: three equal symbols pay their row; otherwise two cherries
// pay the two-cherries row and one cherry the one-cherry row; anything else pays nothing.
qint64 tokensWon(const ReelCodes& reels);

} // namespace jackwell::machine
