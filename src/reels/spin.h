#pragma once

#include "reels/card_state.h"

namespace jackwell {

class Beeper;

// A symbol for a spinning reel, from a generator seeded afresh with the time of
// day: 1..13, symbol 1 twice as likely as each other, cherries (14) never.
int drawSymbol(double timeOfDay);

// One tick of the spin timer of reel 0, 1 or 2. `timeOfDay` seeds the draw.
// Reel 0 also normalises the six code captions first. A reel's interval grows
// by 100 per tick (reels 1 and 2 only once their left neighbour's interval has
// passed 500); it stops above 600, showing its result and beeping unless held.
// The last reel puts all three intervals back to 100 as it stops.
void spinTick(CardState& state, int reel, double timeOfDay, Beeper& beeper);

} // namespace jackwell
