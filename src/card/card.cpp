#include "card/card.h"

#include "chat/transport.h"
#include "clock/clock.h"

#include <QPointer>

namespace jackwell {

Card::Card(Effects effects)
    : fx_(effects) {
    for (int reel = 0; reel < 3; ++reel)
        spinAlarms_[reel].alarm = fx_.clock.createAlarm([this, reel] { spinTick(reel); });
    evaluationAlarm_.alarm = fx_.clock.createAlarm([this] { evaluate(); });
    // Heard while the chat link is in the middle of a request: dealt with once it is done.
    fx_.chat.setPeerGoneHandler([card = QPointer<Card>(this)](const QString& name) {
        if (card)
            card->fx_.clock.callAfter(0, card, [card, name] {
                EventScope scope(*card);
                card->peerGone(name);
            });
    });
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
    for (int reel = 0; reel < 3; ++reel) {
        const TimerState& timer = state.reels[reel].timer;
        syncTimer(spinAlarms_[reel], timer, timer.enabled, now);
    }
    syncTimer(evaluationAlarm_, state.evaluationTimer,
              state.evaluationTimer.enabled && !evaluating_, now);
}

void Card::syncTimer(TimerAlarm& timer, const TimerState& wanted, bool deliver, qint64 now) {
    Alarm& alarm = *timer.alarm;
    if (!deliver) {
        alarm.stop();
        timer.dueAt.reset();
        return;
    }
    if (alarm.isActive() && timer.armedInterval == wanted.interval)
        return;
    const bool justTicked = !alarm.isActive() && timer.dueAt.has_value();
    const bool keepsRhythm = justTicked && *timer.dueAt + wanted.interval >= now;
    timer.dueAt = (keepsRhythm ? *timer.dueAt : now) + wanted.interval;
    timer.armedInterval = wanted.interval;
    alarm.start(int(*timer.dueAt - now));
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
