#pragma once

#include <QString>

namespace jackwell {

struct Options {            // the controls of frmOptions
    QString text1;          // Text1: winning sound file
    QString text2;          // Text2: losing sound file
    int check1 = 0;         // Check1 "Stay On Top"  (0 clear, 1 ticked, 2 greyed) — unticked before the file is read
    int check2 = 0;         // Check2 "Play Winning Sound"
    int check3 = 0;         // Check3 "Play Lossing Sound"
};

} // namespace jackwell
