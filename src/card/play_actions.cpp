// The card's buttons: GET HOST, REGISTER, the holds, ESP HOLD, START, FINISH
// and RESET CARD.

#include "card/card.h"

#include "chat/transport.h"
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
    fx_.chat.sendPrivateMessage(state.machineKeeperName, machine::kRegisterRequest);
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
    fx_.chat.sendPrivateMessage(state.machineKeeperName, message);
    state.finishEnabled = true;
}

void Card::start() {
    EventScope scope(*this);
    // A disabled button takes no clicks.
    if (!state.startEnabled || state.machineKeeperName.isEmpty())
        return;
    afterChatText(startWaiting_, [this] {
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
    });
}

void Card::finish() {
    EventScope scope(*this);
    if (!state.finishEnabled)
        return;
    afterChatText(finishWaiting_, [this] {
        findMachineKeeper(state, tokenizer, fx_.chat.chatText());
        handleFinalResult(state, tokenizer, fx_.chat.chatText());
        for (Reel& reel : state.reels)
            reel.timer.interval = kSpinStartIntervalMs;
        for (Reel& reel : state.reels)
            reel.timer.enabled = true;
        state.finishEnabled = false;
        state.startEnabled = true;
        for (int i = 0; i < 3; ++i) {
            const bool held = isHeld(state, i);
            state.reels[i].reelPicture.visible = !held;
            state.reels[i].resultPicture.visible = held;
        }
        state.evaluationTimer.enabled = true;
    });
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
}

} // namespace jackwell
