#pragma once

#include "machine/pay_table.h"

#include <QString>

#include <optional>

namespace jackwell::machine {

// The lines the machinekeeper speaks, built from the texts of keeper_texts.h, and the one
// request of a player that carries data, the holds.

QString announcementLine(const QString& keeperName);
QString freeGameOfferLine(qint64 credits);
QString payoutTableLine();
// Codes are written with two digits ("07"); they must be symbol codes.
QString firstDrawLine(const ReelCodes& codes);
// `credits` must lie in 0..kMaxShownCredits so that the line keeps the length the
// player's program reads.
QString finalDrawLine(const ReelCodes& codes, qint64 credits);

// The largest credits a final-result line can carry: the player's program reads at most 43
// characters after " FINAL:", and with 13 digits the text comes to 42.
inline constexpr qint64 kMaxShownCredits = 9'999'999'999'999;

// "I hold a,b,c" with a, b, c each 0 or 1 and nothing else: the holds of reels 1, 2, 3.
std::optional<HoldMask> parseHolds(const QString& text);
// Whether the text looks like a try at sending holds (for the help it gets when malformed).
bool looksLikeHolds(const QString& text);

} // namespace jackwell::machine
