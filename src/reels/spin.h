#pragma once

#include "reels/card_state.h"

#include <cstdint>

namespace jackwell {

class Beeper;

// A symbol for a spinning reel: 1..13, symbol 1 twice as likely as each other,
// cherries (14) never. The generator is seeded afresh for every draw from the
// time of day mixed with the draw's own number, so two draws made in the same
// instant still fall independently.
int drawSymbol(double timeOfDay, std::uint64_t drawNumber);

// The draws of one card's reels, numbered as they are made. The three spin
// timers fall due in the same millisecond again and again; numbering the draws
// keeps the reels from showing the same symbols in step.
class SymbolDraws {
public:
    int next(double timeOfDay) { return drawSymbol(timeOfDay, made_++); }

private:
    std::uint64_t made_ = 0;
};

// One tick of the spin timer of reel 0, 1 or 2; a reel that is not held shows
// the next of `draws`, seeded with `timeOfDay`.
// Reel 0 also normalises the six code captions first. A reel's interval grows
// by 100 per tick (reels 1 and 2 only once their left neighbour's interval has
// passed 500); it stops above 600, showing its result and beeping unless held.
// The last reel puts all three intervals back to 100 as it stops.
void spinTick(CardState& state, int reel, double timeOfDay, SymbolDraws& draws, Beeper& beeper);

} // namespace jackwell
