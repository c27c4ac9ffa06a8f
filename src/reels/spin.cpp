#include "reels/spin.h"

#include "reels/beeper.h"

#include <cmath>
#include <random>

namespace jackwell {

int drawSymbol(double timeOfDay) {
    // Seeded from the time of day in microseconds, so ticks a few milliseconds
    // apart draw independently while the same moment always draws the same.
    const auto micros = static_cast<std::uint64_t>(std::llround(std::fabs(timeOfDay) * 1e6));
    std::seed_seq seed{std::uint32_t(micros), std::uint32_t(micros >> 32)};
    std::mt19937 generator(seed);
    const double r = std::generate_canonical<double, 53>(generator); // [0, 1)
    const int k = std::min(kSymbolCount - 1, int(std::floor(r * kSymbolCount)));
    return k == 0 ? 1 : k;
}

void spinTick(CardState& state, int reel, double timeOfDay, Beeper& beeper) {
    if (reel == 0)
        normaliseCodes(state);
    Reel& r = state.reels[reel];
    const bool held = isHeld(state, reel);
    if (held) {
        r.reelPicture.visible = false;
        r.resultPicture.visible = true;
    } else {
        r.reelPicture.image = drawSymbol(timeOfDay);
    }
    if (reel == 0 || state.reels[reel - 1].timer.interval > kFollowAboveMs)
        r.timer.interval += kSpinStepMs;
    if (r.timer.interval <= kSpinStopAboveMs)
        return;
    r.reelPicture.visible = false;
    r.resultPicture.visible = true;
    if (!held)
        beeper.beep();
    if (reel == 2) {
        for (Reel& each : state.reels)
            each.timer.interval = kSpinStartIntervalMs;
    }
    r.timer.enabled = false;
}

} // namespace jackwell
