#pragma once

// The options window's controls: each one's design name (also its objectName),
// caption and place in twips, in tab order.

#include "shell/card_layout.h"

namespace jackwell::options {

// The window's design name, also its objectName.
inline constexpr const char* kFormName = "frmOptions";

inline constexpr int kClientTwips = 2010; // square

struct Control {
    const char* designName;
    const char* caption;
    Twips place;
};

inline constexpr Control kStayOnTop{"Check1", "Stay On Top", {120, 1320, 1335, 255}};
inline constexpr Control kPlayWinSound{"Check2", "Play Winning Sound", {120, 120, 1815, 255}};
inline constexpr Control kPlayLoseSound{"Check3", "Play Lossing Sound", {120, 720, 1815, 255}};
inline constexpr Control kClose{"Command1", "Close", {120, 1680, 1815, 255}};
inline constexpr Control kChooseWinSound{"Command2", "Select Sound", {120, 400, 1815, 255}};
inline constexpr Control kChooseLoseSound{"Command3", "Select Sound", {120, 1000, 1815, 255}};
// The sound paths lie beyond the right edge, out of sight: the player sets them
// through "Select Sound".
inline constexpr Control kWinSoundPath{"Text1", "", {2160, 360, 5295, 285}};
inline constexpr Control kLoseSoundPath{"Text2", "", {2160, 960, 5295, 285}};

} // namespace jackwell::options
