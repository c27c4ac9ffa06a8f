// The card's four timers: three spin the reels, the fourth evaluates the final draw.

#include "card/card.h"

#include "clock/clock.h"
#include "reels/evaluation.h"
#include "reels/spin.h"
#include "settings/options.h"
#include "sound/sound_player.h"

#include <utility>

namespace jackwell {

namespace {
constexpr int kEvaluationWaitMs = int(kEvaluationWaitSeconds * 1000);
} // namespace

void Card::spinTick(int reel) {
    EventScope scope(*this);
    jackwell::spinTick(state, reel, fx_.clock.timeOfDay(), draws_, fx_.beeper);
    const auto& [a, b, c] = state.reels;
    if (revealAtRest_ && !a.timer.enabled && !b.timer.enabled && !c.timer.enabled) {
        const auto [line, finalDraw] = *std::exchange(revealAtRest_, std::nullopt);
        emit drawShown(line, finalDraw);
    }
}

// Runs once per start of the evaluation timer: seven seconds after FINISH the
// holds go back to HOLD and the outcome is announced, with its sound and in
// words, from the final draw and the credits the card shows. The timer stays enabled
// during the wait but delivers no tick, so a FINISH meanwhile adds nothing. The
// wait is a continuation on the clock: the card takes clicks meanwhile.
void Card::evaluate() {
    EventScope scope(*this);
    if (evaluating_ || !state.evaluationTimer.enabled)
        return;
    evaluating_ = true;
    fx_.clock.callAfter(kEvaluationWaitMs, this, [this] {
        EventScope scope(*this);
        evaluating_ = false;
        for (int reel = 0; reel < 3; ++reel)
            setHeld(state, reel, false);
        const auto& [a, b, c] = state.reels;
        const bool won = isWinningDraw(a.finalCode, b.finalCode, c.finalCode);
        const Options& options = fx_.options;
        if (won && options.playWinSound == CheckState::Ticked)
            fx_.sound.playSound(options.winSoundFile, false);
        else if (!won && options.playLoseSound == CheckState::Ticked)
            fx_.sound.playSound(options.loseSoundFile, false);
        state.evaluationTimer.enabled = false;
        emit told(outcomeInWords(a.finalCode, b.finalCode, c.finalCode, state.credits));
    });
}

} // namespace jackwell
