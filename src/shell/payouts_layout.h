#pragma once

// The pay table's sixteen rows, two columns of eight: a count label, a symbol
// picture and an amount label side by side. Places are in twips.

#include "shell/card_layout.h"

#include <array>

namespace jackwell::payouts {

inline constexpr QSize kClientSize{309, 333}; // 4635 by 4995 twips

struct Row {
    const char* count; // caption of the count label
    int symbol;        // symbol picture shown
    bool large;        // 50 by 50 (the symbol list's own size) rather than 40 by 40
};

// Rows 1..16; their amounts are PayoutsState::designAmounts() in the same order.
inline constexpr std::array<Row, 16> kRows{{
    {"3 X", 4, false},  // seven
    {"3 X", 9, true},   // BAR
    {"3 X", 3, false},  // dollar sign
    {"3 X", 8, true},   // jewel
    {"3 X", 5, false},  // gold bar
    {"3 X", 12, false}, // orange
    {"3 X", 1, false},  // bell
    {"3 X", 13, false}, // star
    {"3 X", 11, false}, // lemon
    {"3 X", 7, true},   // heart with arrow
    {"3 X", 10, true},  // sun
    {"3 X", 6, true},   // diamond
    {"3 X", 2, false},  // grapes
    {"3 X", 14, false}, // cherries
    {"2 X", 14, false},
    {"1 X", 14, false},
}};

inline constexpr int kRowsPerColumn = 8;
inline constexpr int kRowStep = 600;
inline constexpr std::array<int, 2> kCountLeft{120, 2520};
inline constexpr std::array<int, 2> kPictureLeft{600, 3000};
inline constexpr int kFirstPictureLeft = 720; // Image1 stands a little further in
inline constexpr std::array<int, 2> kAmountLeft{1560, 3840};
inline constexpr std::array<std::array<int, kRowsPerColumn>, 2> kPictureTop{{
    {240, 720, 1320, 1920, 2520, 3120, 3720, 4320},
    {240, 720, 1320, 1920, 2640, 3240, 3840, 4440},
}};

// Control numbers: row r (0..15) has count label Label(31 + r), picture
// Image(1 + r) and amount label Label(1 + r).
inline constexpr int kFirstCountLabel = 31;
inline constexpr std::array<int, 2> kHeadingLabels{47, 48};
inline constexpr const char* kHeadingCaption = "Pay Out Amount";

constexpr int column(int row) {
    return row / kRowsPerColumn;
}
constexpr int rowInColumn(int row) {
    return row % kRowsPerColumn;
}

constexpr Twips countPlace(int row) {
    return {kCountLeft[column(row)], 360 + kRowStep * rowInColumn(row), 495, 375};
}

constexpr Twips picturePlace(int row) {
    const int size = kRows[row].large ? 750 : 600;
    const int left = row == 0 ? kFirstPictureLeft : kPictureLeft[column(row)];
    return {left, kPictureTop[column(row)][rowInColumn(row)], size, size};
}

constexpr Twips amountPlace(int row) {
    const int k = rowInColumn(row);
    return {kAmountLeft[column(row)], k == 0 ? 480 : 960 + kRowStep * (k - 1), 855, 255};
}

constexpr Twips headingPlace(int column) {
    return {kAmountLeft[column], 0, 735, 375};
}

} // namespace jackwell::payouts
