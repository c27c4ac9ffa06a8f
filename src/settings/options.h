#pragma once

#include <QString>

namespace jackwell {

// A box of the options window. Settings.txt stores it as 0, 1 or 2 (the enumerators' values);
// only a settings file brings Greyed, and every user of the options treats only Ticked as
// ticked.
enum class CheckState { Clear = 0, Ticked = 1, Greyed = 2 };

// The player's five options, held for the whole run as the controls of OptionsWindow hold them
// (Settings.txt stores them under the keys "Text1", "Text2", "Check1", "Check2" and "Check3").
// The values here are the ones in force before Settings.txt is read.
struct Options {
    QString winSoundFile;
    QString loseSoundFile;
    CheckState stayOnTop = CheckState::Clear;     // "Stay On Top"
    CheckState playWinSound = CheckState::Clear;  // "Play Winning Sound"
    CheckState playLoseSound = CheckState::Clear; // "Play Lossing Sound"

    bool operator==(const Options&) const = default;
};

} // namespace jackwell
