#include "reels/spin.h"

#include "sound/beeper.h"

#include <cmath>
#include <cstdint>

namespace jackwell {

namespace {

// SplitMix64's output function: spreads every bit of its input over the whole word.
std::uint64_t mixBits(std::uint64_t z) {
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

// SplitMix64: a generator whose whole state is one 64-bit word, so seeding it
// afresh for every draw costs nothing, and whose output is well spread even
// for seeds one apart.
class SplitMix64 {
public:
    explicit SplitMix64(std::uint64_t seed)
        : state_(seed) {}
    std::uint64_t next() { return mixBits(state_ += 0x9E3779B97F4A7C15ull); }
    // Uniform in [0, 1), from the top 53 bits.
    double nextUnit() { return double(next() >> 11) * 0x1.0p-53; }

private:
    std::uint64_t state_;
};

} // namespace

int drawSymbol(double timeOfDay, std::uint64_t drawNumber) {
    // The time of day in microseconds, then the draw's number mixed in, so that
    // neither a clock that only moves in whole milliseconds nor draws made in
    // the same instant give two draws the same seed.
    const double micros = std::fabs(timeOfDay) * 1e6;
    const std::uint64_t time = std::isfinite(micros) ? std::uint64_t(std::llround(micros)) : 0;
    SplitMix64 generator(mixBits(time) ^ mixBits(drawNumber + 0x632BE59BD9B4E019ull));
    const int k = int(generator.nextUnit() * machine::kSymbolCount); // 0..13
    return k == 0 ? 1 : k;
}

void spinTick(CardState& state, int reel, double timeOfDay, SymbolDraws& draws, Beeper& beeper) {
    if (reel == 0)
        normaliseCodes(state);
    Reel& r = state.reels[reel];
    const bool held = isHeld(state, reel);
    if (held) {
        r.reelPicture.visible = false;
        r.resultPicture.visible = true;
    } else {
        r.reelPicture.image = draws.next(timeOfDay);
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
