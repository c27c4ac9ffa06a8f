#pragma once

#include <QString>

namespace jackwell {

// The player's five options, held for the whole run as the controls of frmOptions hold them.
// A box value is 0 (clear), 1 (ticked) or 2 (greyed); every user of the options treats only 1
// as ticked. The values here are the ones in force before Settings.txt is read.
struct Options {
    QString text1;  // Text1: the winning sound's file
    QString text2;  // Text2: the losing sound's file
    int check1 = 0; // Check1 "Stay On Top"
    int check2 = 0; // Check2 "Play Winning Sound"
    int check3 = 0; // Check3 "Play Lossing Sound"

    bool operator==(const Options&) const = default;
};

} // namespace jackwell
