// The card's buttons: GET HOST, REGISTER, the holds, ESP HOLD, START, FINISH
// and RESET CARD.

#include "card/card.h"

#include "chat/transport.h"
#include "clock/clock.h"
#include "machine/texts.h"
#include "protocol/handlers.h"

namespace jackwell {

// START, FINISH and GET HOST each wait for the chat text before they go on. A
// click on the same button during its own wait starts no second run; it asks
// for the text again, since the last request may have been given up, and the
// wait already set up resumes on whichever text arrives first.
void Card::afterChatText(bool& waiting, std::function<void()> then) {
    if (waiting) {
        fx_.chat.readAllChatText();
        return;
    }
    waiting = true;
    fx_.chat.fetchChatText(this, [this, &waiting, then = std::move(then)] {
        EventScope scope(*this);
        waiting = false;
        then();
    });
}

void Card::findHost() {
    EventScope scope(*this);
    afterChatText(hostWaiting_,
                  [this] { findMachineKeeper(state, tokenizer, fx_.chat.chatText()); });
}

void Card::askToRegister() {
    EventScope scope(*this);
    if (state.machineKeeperName.isEmpty())
        return;
    if (state.notice == kRegisterNotSentNotice)
        state.notice.clear();
    if (state.notice == kNoFirstDrawNotice)
        state.notice.clear();
    fx_.chat.sendPrivateMessage(state.machineKeeperName, machine::kRegisterRequest, this,
                                [this](bool sent) {
                                    EventScope scope(*this);
                                    if (!sent)
                                        state.notice = kRegisterNotSentNotice;
                                    else
                                        watchRegistration(fx_.clock.monotonicMs() + kDrawWaitMs);
                                });
}

void Card::toggleHold(int reel) {
    EventScope scope(*this);
    jackwell::toggleHold(state, reel);
}

void Card::sendHolds() {
    EventScope scope(*this);
    if (!state.espHoldEnabled)
        return;
    QString message = machine::kHoldPrefix;
    for (int reel = 0; reel < 3; ++reel) {
        message += isHeld(state, reel) ? u'1' : u'0';
        if (reel < 2)
            message += u',';
    }
    state.finishEnabled = true;
    if (state.holdsSent != HoldsSent::Sent)
        state.holdsSent = HoldsSent::Sending;
    if (state.notice == kHoldsNotSentNotice || state.notice == kNoAnswerNotice)
        state.notice.clear();
    const quint64 number = ++holdMessages_;
    fx_.chat.sendPrivateMessage(state.machineKeeperName, message, this,
                                [this, number](bool sent) { holdsDelivered(number, sent); });
}

// Messages leave in the order they were sent, so when the last of them is given up every
// earlier one has been told of too. Only when none of them left did the machinekeeper never
// hear the holds: FINISH is disarmed until they are sent again, and the card says so.
void Card::holdsDelivered(quint64 message, bool sent) {
    EventScope scope(*this);
    if (message < firstHoldsForDraw_)
        return;
    if (sent) {
        state.holdsSent = HoldsSent::Sent;
    } else if (message == holdMessages_ && state.holdsSent == HoldsSent::Sending) {
        state.holdsSent = HoldsSent::GivenUp;
        state.finishEnabled = false;
        state.notice = kHoldsNotSentNotice;
    }
}

void Card::forgetHolds() {
    firstHoldsForDraw_ = holdMessages_ + 1;
    state.holdsSent = HoldsSent::NotAsked;
    if (state.notice == kHoldsNotSentNotice)
        state.notice.clear();
}

void Card::start() {
    EventScope scope(*this);
    // A disabled button takes no clicks.
    if (!state.startEnabled || state.machineKeeperName.isEmpty())
        return;
    afterChatText(startWaiting_, [this] { startWithChatText(); });
}

// START spins only onto a first draw that came after the one it showed last; until that has
// come it waits (see waitForDraw), and never spins onto an older draw or onto none.
void Card::startWithChatText() {
    const DrawLines lines = DrawLines::read(tokenizer, fx_.chat.chatText());
    const std::optional<ShownLine> first = lines.newFirst(shownFirst_);
    if (!first) {
        waitForDraw(DrawWait::First);
        return;
    }
    stopWaitingForDraw();
    takeBalance(lines);
    findMachineKeeper(state, tokenizer, fx_.chat.chatText());
    handleFirstResult(state, payouts, tokenizer, fx_.chat.chatText());
    for (Reel& reel : state.reels)
        reel.timer.enabled = true;
    state.startEnabled = false;
    for (Reel& reel : state.reels)
        reel.reelPicture.visible = true;
    for (Reel& reel : state.reels)
        reel.resultPicture.visible = false;
    for (Reel& reel : state.reels)
        reel.finalCode = QStringLiteral("0");
    forgetHolds();
    shownFirst_ = first;
    revealAtRest_ = {first->text, false};
}

void Card::finish() {
    EventScope scope(*this);
    if (!state.finishEnabled)
        return;
    afterChatText(finishWaiting_, [this] { finishWithChatText(); });
}

// A chat text taken while the holds were still on their way holds no answer to them, and one
// taken after they were given up holds only older draws: neither is this game's result. The
// first is asked for again (it now comes after the holds); on the second FINISH shows nothing.
// FINISH then waits, as START does, for a final draw that stands after this game's holds.
void Card::finishWithChatText() {
    if (state.holdsSent == HoldsSent::Sending) {
        afterChatText(finishWaiting_, [this] { finishWithChatText(); });
        return;
    }
    if (state.holdsSent == HoldsSent::GivenUp)
        return;
    // Only a final draw that answers this game's holds is this game's.
    const std::optional<ShownLine> final =
        DrawLines::read(tokenizer, fx_.chat.chatText()).newFinal(shownFirst_, shownFinal_);
    if (!final) {
        waitForDraw(DrawWait::Final);
        return;
    }
    stopWaitingForDraw();
    findMachineKeeper(state, tokenizer, fx_.chat.chatText());
    handleFinalResult(state, tokenizer, fx_.chat.chatText());
    for (Reel& reel : state.reels)
        reel.timer.interval = kSpinStartIntervalMs;
    for (Reel& reel : state.reels)
        reel.timer.enabled = true;
    state.finishEnabled = false;
    state.startEnabled = true; // the next game may start while these reels still spin
    for (int i = 0; i < 3; ++i) {
        const bool held = isHeld(state, i);
        state.reels[i].reelPicture.visible = !held;
        state.reels[i].resultPicture.visible = held;
    }
    state.evaluationTimer.enabled = true;
    forgetHolds();
    shownFinal_ = final;
    revealAtRest_ = {final->text, true};
    emit resultTaken(final->text);
}

// RESET CARD empties the card and forgets the machinekeeper. It sends nothing,
// stops no timer and leaves the holds, the pictures' visibility and ESP HOLD as
// they are (nothing else would ever enable ESP HOLD again).
void Card::resetCard() {
    EventScope scope(*this);
    for (Reel& reel : state.reels)
        reel.reelPicture.image = kRestingReelImage;
    state.startEnabled = true;
    state.finishEnabled = false;
    for (Reel& reel : state.reels)
        reel.firstCode = QStringLiteral("0");
    for (Reel& reel : state.reels)
        reel.finalCode = QStringLiteral("0");
    state.nameBox.clear();
    state.machineKeeperName.clear();
    state.tokens = QStringLiteral("(0)");
    state.credits = QStringLiteral("0");
    forgetHolds();
    stopWaitingForDraw(); // a draw that comes later is not for an emptied card
    ++registrationRun_;
    state.notice.clear();
}

} // namespace jackwell
