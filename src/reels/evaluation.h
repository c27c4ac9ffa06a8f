#pragma once

#include <QString>

namespace jackwell {

// The win table, compared as text: any reel on cherries ("14"), or all three
// reels on the same symbol "1".."13". Anything else, "0" and "07" included, loses.
bool isWinningDraw(const QString& a, const QString& b, const QString& c);

// The final draw the card shows, in the player's words, with the credits it shows: "Three
// grapes: you win 300 tokens (6 credits). Credits: 105." Codes are read as the win table reads
// them, so the words always agree with the sound.
QString outcomeInWords(const QString& a, const QString& b, const QString& c,
                       const QString& credits);

} // namespace jackwell
