#pragma once

#include "machine/pay_table.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace jackwell::machine {

// The lines the machinekeeper speaks, built from the texts of texts.h, and the one
// request of a player that carries data, the holds.

QString announcementLine(const QString& keeperName);
QString freeGameOfferLine(qint64 credits);
// What a returning player has, told on registering: "CREDITS: (98)".
QString balanceLine(qint64 credits);
QString payoutTableLine();
// Codes are written with two digits ("07"); they must be symbol codes.
QString firstDrawLine(const ReelCodes& codes);
// `credits` must lie in 0..kMaxShownCredits so that the line keeps the length the
// player's program reads.
QString finalDrawLine(const ReelCodes& codes, qint64 credits);

// The outcome of a final draw in words, then the credits after the game: "Three grapes: you
// win 300 tokens (6 credits). Credits: 105.", "No win this time. Credits: 98." The card says it
// once it has shown the draw; `creditsAfter` is the credits as shown. Codes that are no symbol
// (0) count as no symbol.
QString outcomeSentence(const ReelCodes& finalDraw, const QString& creditsAfter);
// What a player is told on registering, from the first draw on: the first-result line, then a
// line with the next steps on the card.
QStringList firstDrawLines(const ReelCodes& firstDraw);
// What a player is told once their holds have played a game: the final-result line, a line with
// the next step on the card (never the outcome, which the card shows and tells once it has
// spun onto the draw), then the next game's first draw (or that the credits are used up when
// there is none).
QStringList gameResultLines(const ReelCodes& finalDraw, qint64 creditsAfter,
                            const std::optional<ReelCodes>& nextFirstDraw);

// The largest credits a final-result line can carry: the player's program reads at most 43
// characters after " FINAL:", and with 13 digits the text comes to 42.
inline constexpr qint64 kMaxShownCredits = 9'999'999'999'999;

// "I hold a,b,c" with a, b, c each 0 or 1 and nothing else: the holds of reels 1, 2, 3.
std::optional<HoldMask> parseHolds(const QString& text);
// Whether the text looks like a try at sending holds (for the help it gets when malformed).
bool looksLikeHolds(const QString& text);
// Whether the text is one a machinekeeper says: another machinekeeper's greeting or answer is no
// request, and answering it would start two of them answering each other for good.
bool isMachinekeeperText(const QString& text);

} // namespace jackwell::machine
