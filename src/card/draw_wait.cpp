// Waiting for the machinekeeper: START and FINISH for a draw that has not come yet, REGISTER for
// the balance in its answer, and the holds of a machinekeeper who can no longer be reached.

#include "card/card.h"

#include "chat/transport.h"
#include "clock/clock.h"
#include "reels/card_state.h"

namespace jackwell {

// The chat text is looked at again every kDrawPollMs while the button waits; the window stays
// responsive and every other button works meanwhile. Past kDrawWaitMs the card says plainly
// that nothing came, and the button may be pressed again.
void Card::waitForDraw(DrawWait wait) {
    const qint64 now = fx_.clock.monotonicMs();
    if (drawWait_ != wait || drawDeadline_ < 0)
        drawDeadline_ = now + kDrawWaitMs;
    const bool first = wait == DrawWait::First;
    if (now >= drawDeadline_) {
        stopWaitingForDraw();
        state.notice = first ? kNoFirstDrawNotice : kNoAnswerNotice;
        return;
    }
    drawWait_ = wait;
    state.notice = first ? kAwaitingFirstNotice : kAwaitingFinalNotice;
    const quint64 run = ++drawWaitRun_;
    fx_.clock.callAfter(kDrawPollMs, this, [this, run, first] {
        if (run != drawWaitRun_)
            return;
        EventScope scope(*this);
        if (first)
            afterChatText(startWaiting_, [this] { startWithChatText(); });
        else
            afterChatText(finishWaiting_, [this] { finishWithChatText(); });
    });
}

void Card::stopWaitingForDraw() {
    ++drawWaitRun_;
    drawWait_ = DrawWait::None;
    drawDeadline_ = -1;
    for (QLatin1StringView notice :
         {kAwaitingFirstNotice, kAwaitingFinalNotice, kNoFirstDrawNotice, kNoAnswerNotice}) {
        if (state.notice == notice)
            state.notice.clear();
    }
}

// The chat world said that `name` left or is not there. Holds sent to the machinekeeper by that
// name and not yet answered in the chat text never reached it: as for holds the chat link gave
// up, FINISH is disarmed and the card says so, so that the player can send them again.
void Card::peerGone(const QString& name) {
    if (name.isEmpty() || name.compare(state.machineKeeperName, Qt::CaseInsensitive) != 0 ||
        state.holdsSent == HoldsSent::NotAsked || state.holdsSent == HoldsSent::GivenUp)
        return;
    fx_.chat.fetchChatText(this, [this] {
        EventScope scope(*this);
        if (state.holdsSent == HoldsSent::NotAsked || state.holdsSent == HoldsSent::GivenUp)
            return;
        if (!DrawLines::read(tokenizer, fx_.chat.chatText()).newFinal(shownFirst_, shownFinal_))
            holdsLost();
    });
}

void Card::holdsLost() {
    firstHoldsForDraw_ = holdMessages_ + 1; // what the chat link still says of them is old news
    state.holdsSent = HoldsSent::GivenUp;
    state.finishEnabled = false;
    if (drawWait_ == DrawWait::Final)
        stopWaitingForDraw();
    state.notice = kHoldsNotSentNotice;
}

void Card::watchRegistration(qint64 deadline) {
    const quint64 run = ++registrationRun_;
    fx_.chat.fetchChatText(this, [this, run, deadline] {
        if (run != registrationRun_)
            return;
        EventScope scope(*this);
        const DrawLines lines = DrawLines::read(tokenizer, fx_.chat.chatText());
        if (lines.registrationAnswered()) {
            takeBalance(lines);
            return;
        }
        if (fx_.clock.monotonicMs() >= deadline)
            return;
        fx_.clock.callAfter(kDrawPollMs, this, [this, run, deadline] {
            if (run == registrationRun_)
                watchRegistration(deadline);
        });
    });
}

void Card::takeBalance(const DrawLines& lines) {
    const std::optional<QString> credits = lines.balance();
    if (!credits)
        return;
    if (const auto tokens = tokensFor(*credits)) {
        state.credits = *credits;
        state.tokens = *tokens;
    }
}

} // namespace jackwell
