// The card's four timers: three spin the reels, the fourth evaluates the final draw.

#include "card/card.h"

#include "clock/clock.h"
#include "reels/evaluation.h"
#include "reels/spin.h"
#include "settings/options.h"
#include "sound/sound_player.h"

namespace jackwell {

namespace {
constexpr int kEvaluationWaitMs = int(kEvaluationWaitSeconds * 1000);
} // namespace

void Card::spinTick(int reel) {
    EventScope scope(*this);
    jackwell::spinTick(state, reel, fx_.clock.timeOfDay(), draws_, fx_.beeper);
}

// Runs once per start of the evaluation timer: seven seconds after FINISH the
// holds go back to HOLD and the outcome is announced. The timer stays enabled
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
        const bool won = isWinningDraw(state.reels[0].finalCode, state.reels[1].finalCode,
                                       state.reels[2].finalCode);
        const Options& options = fx_.options;
        if (won && options.playWinSound == CheckState::Ticked)
            fx_.sound.playSound(options.winSoundFile, false);
        else if (!won && options.playLoseSound == CheckState::Ticked)
            fx_.sound.playSound(options.loseSoundFile, false);
        state.evaluationTimer.enabled = false;
    });
}

} // namespace jackwell
