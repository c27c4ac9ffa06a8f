// The card's four timers: three spin the reels, the fourth evaluates the final draw.

#include "controls/card.h"

#include "chat/transport.h"
#include "clock/clock.h"
#include "reels/evaluation.h"
#include "reels/spin.h"
#include "settings/options.h"
#include "settings/sound_player.h"

namespace jackwell {

void Card::Timer1_Timer() {
    EventScope scope(*this);
    spinTick(state, 0, fx_.clock.timeOfDay(), fx_.beeper);
}

void Card::Timer2_Timer() {
    EventScope scope(*this);
    spinTick(state, 1, fx_.clock.timeOfDay(), fx_.beeper);
}

void Card::Timer3_Timer() {
    EventScope scope(*this);
    spinTick(state, 2, fx_.clock.timeOfDay(), fx_.beeper);
}

// Runs once per start of the evaluation timer: seven seconds after FINISH the
// holds go back to HOLD and the outcome is announced. The timer stays enabled
// during the wait but delivers no tick, so a FINISH meanwhile adds nothing.
void Card::Timer4_Timer() {
    EventScope scope(*this);
    if (evaluating_ || !state.timer4.enabled)
        return;
    evaluating_ = true;
    fx_.chat.Pause(kEvaluationWaitSeconds, this, [this] {
        EventScope scope(*this);
        evaluating_ = false;
        for (int reel = 0; reel < 3; ++reel)
            setHeld(state, reel, false);
        const bool won = isWinningDraw(state.reels[0].finalCode, state.reels[1].finalCode,
                                       state.reels[2].finalCode);
        const Options& options = fx_.options;
        if (won && options.check2 == 1)
            fx_.sound.PlaySound(options.text1, false);
        else if (!won && options.check3 == 1)
            fx_.sound.PlaySound(options.text2, false);
        state.timer4.enabled = false;
    });
}

} // namespace jackwell
