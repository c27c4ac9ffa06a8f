#include "card/card.h"

#include "clock/clock.h"

namespace jackwell {

Card::Card(Effects effects)
    : fx_(effects) {
    for (int i = 0; i < 4; ++i) {
        alarms_[i] = fx_.clock.createAlarm([this, i] {
            if (i < 3)
                spinTick(i);
            else
                evaluate();
        });
    }
    syncTimers();
}

Card::~Card() = default;

Card::EventScope::~EventScope() {
    if (--card_.eventDepth_ == 0) {
        card_.syncTimers();
        emit card_.changed();
    }
}

// A running timer whose interval changed restarts its countdown; enabling a
// running timer changes nothing. A timer that has just ticked counts its next
// interval, old or new, from the moment its tick was due rather than from the
// moment the tick was handled, so the event loop's small delays do not add up
// over a spin (a tick missed altogether is not made up). The evaluation timer
// delivers no tick while an evaluation is under way, though it stays enabled.
void Card::syncTimers() {
    const qint64 now = fx_.clock.monotonicMs();
    for (int i = 0; i < 4; ++i) {
        const TimerState& timer = i < 3 ? state.reels[i].timer : state.evaluationTimer;
        const bool deliver = timer.enabled && !(i == 3 && evaluating_);
        Alarm& alarm = *alarms_[i];
        if (!deliver) {
            alarm.stop();
            dueAt_[i] = -1;
            continue;
        }
        if (alarm.isActive() && armedInterval_[i] == timer.interval)
            continue;
        const bool justTicked = !alarm.isActive() && dueAt_[i] >= 0;
        const bool keepsRhythm = justTicked && dueAt_[i] + timer.interval >= now;
        dueAt_[i] = (keepsRhythm ? dueAt_[i] : now) + timer.interval;
        armedInterval_[i] = timer.interval;
        alarm.start(int(dueAt_[i] - now));
    }
}

void Card::bringToRest() {
    EventScope scope(*this);
    for (Reel& reel : state.reels)
        reel.timer.enabled = false;
    state.evaluationTimer.enabled = false;
    for (Reel& reel : state.reels)
        reel.resultPicture.visible = false;
    state.startEnabled = true;
    state.finishEnabled = false;
    for (Reel& reel : state.reels)
        reel.reelPicture.visible = true;
}

void Card::showPayouts() {
    EventScope scope(*this);
    payouts.show();
}

void Card::payoutsClosed() {
    EventScope scope(*this);
    payouts.closed();
}

void Card::nameBoxEdited(const QString& text) {
    EventScope scope(*this);
    state.nameBox = text;
}

} // namespace jackwell
