#pragma once

#include <QString>

namespace jackwell {

// The player's five options, held for the whole run as the controls of OptionsWindow hold them
// (Settings.txt stores them under the keys "Text1", "Text2", "Check1", "Check2" and "Check3").
// A box value is 0 (clear), 1 (ticked) or 2 (greyed); every user of the options treats only 1
// as ticked. The values here are the ones in force before Settings.txt is read.
struct Options {
    QString winSoundFile;
    QString loseSoundFile;
    int stayOnTop = 0;     // "Stay On Top"
    int playWinSound = 0;  // "Play Winning Sound"
    int playLoseSound = 0; // "Play Lossing Sound"

    bool operator==(const Options&) const = default;
};

} // namespace jackwell
