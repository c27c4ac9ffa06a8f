#pragma once

// The payouts window: the pay table's sixteen rows in two columns of eight, each
// a count label ("3 X"), a symbol picture and an amount label side by side.
// What each row shows comes from the pay table; this is where it shows, in
// twips. Row r (0..15) has the design names "Label<31 + r>" (count), "Image<1 + r>"
// (picture) and "Label<1 + r>" (amount), which are also the objectNames.

#include "machine/pay_table.h"
#include "shell/card_layout.h"

#include <array>

namespace jackwell::payouts {

// The window's design name, also its objectName.
inline constexpr const char* kFormName = "frmPayouts";

inline constexpr QSize kClientSize{309, 333}; // 4635 by 4995 twips
inline constexpr int kRowCount = int(machine::kPayTable.size());

// Which rows' pictures are 50 by 50 (the symbol list's own size) rather than 40 by 40.
inline constexpr std::array<bool, kRowCount> kLargePicture{false, true,  false, true, false, false,
                                                           false, false, false, true, true,  true,
                                                           false, false, false, false};

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
    const int size = kLargePicture[row] ? 750 : 600;
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
