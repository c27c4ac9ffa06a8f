#pragma once

#include "machine/pay_table.h"

#include <QString>

namespace jackwell::history {

// The hint for a first draw (symbol codes, as the card shows them): which reels the best holds
// keep and what they are worth a game on average, beside the holds the card shows now and no
// holds at all, all from the machine's exact table. Several lines for the player; a line saying
// so when the codes are no first draw.
QString holdHint(const machine::ReelCodes& firstDraw, const machine::HoldMask& cardHolds);

} // namespace jackwell::history
