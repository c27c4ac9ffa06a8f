#pragma once

#include "machine/texts.h"

#include <QString>

namespace jackwell {

// The machinekeeper's message markers: each message's head as it stands behind the speaker's
// name and ": ". A draw's body starts behind a blank and the draw's head.
inline const QString kKeeperMarker =
    machine::joined({QLatin1StringView(": "), machine::kKeeperHead});
inline const QString kFirstMarker =
    machine::joined({QLatin1StringView(": "), machine::kFirstDrawHead});
inline const QString kFirstBodyStart =
    machine::joined({QLatin1StringView(" "), machine::kFirstDrawHead});
inline const QString kFinalMarker =
    machine::joined({QLatin1StringView(": "), machine::kFinalDrawHead});
inline const QString kFinalBodyStart =
    machine::joined({QLatin1StringView(" "), machine::kFinalDrawHead});
inline const QString kPayoutsMarker =
    machine::joined({QLatin1StringView(": "), machine::kPayoutsWord});
inline const QString kBalanceMarker =
    machine::joined({QLatin1StringView(": "), machine::kBalanceHead});
// What the player sends, as it stands in the chat text behind the recipient's name.
inline const QString kHoldsMarker =
    machine::joined({QLatin1StringView(": "), machine::kHoldPrefix});
inline const QString kRegisterMarker =
    machine::joined({QLatin1StringView(": "), machine::kRegisterRequest});
inline const QString kOfferMarker =
    machine::joined({QLatin1StringView(": "), machine::kFreeGameOfferHead});

// How many characters of a line from the marker's position on each message keeps for its body.
constexpr qsizetype kFirstKept = 30;
constexpr qsizetype kOfferKept = 200;
constexpr qsizetype kPayoutsKept = 300;
constexpr qsizetype kFinalKept = 50;

} // namespace jackwell
