#pragma once

#include <QString>

namespace jackwell {

// The machinekeeper's message markers, and how many characters of a line from
// the marker's position on each message keeps for its body.
inline const QString kKeeperMarker = QStringLiteral(": Your machinekeeper is");
inline const QString kFirstMarker = QStringLiteral(": FIRST:");
inline const QString kFirstBodyStart = QStringLiteral(" FIRST:");
inline const QString kFinalMarker = QStringLiteral(": FINAL:");
inline const QString kFinalBodyStart = QStringLiteral(" FINAL:");
inline const QString kPayoutsMarker = QStringLiteral(": Payouts");
inline const QString kOfferMarker = QStringLiteral(
    ": The slotmachine is programmed for free games! Click 'Free Game' to activate your "
    "Free-Game-Mode! Amount of credits you get");

constexpr qsizetype kFirstKept = 30;
constexpr qsizetype kOfferKept = 200;
constexpr qsizetype kPayoutsKept = 300;
constexpr qsizetype kFinalKept = 50;

} // namespace jackwell
