#include "protocol/handlers.h"

#include "protocol/chat_lines.h"
#include "protocol/markers.h"
#include "reels/card_state.h"
#include "reels/payouts_state.h"

namespace jackwell {

namespace {

// The text behind the first occurrence of `start` in the window, up to a
// further occurrence or the window's end.
QStringView bodyAfter(QStringView window, QStringView start) {
    const qsizetype at = window.indexOf(start);
    if (at < 0)
        return {};
    const QStringView rest = window.mid(at + start.size());
    const qsizetype next = rest.indexOf(start);
    return next < 0 ? rest : rest.left(next);
}

// The reel codes stand at characters 4-5, 9-10 and 14-15 of a body; a position
// beyond its end contributes nothing.
std::array<QString, 3> reelCodes(QStringView body) {
    return {body.mid(3, 2).toString(), body.mid(8, 2).toString(), body.mid(13, 2).toString()};
}

// Piece `index` of `text` split at `separator`, if there are that many.
std::optional<QStringView> piece(QStringView text, QStringView separator, int index) {
    qsizetype from = 0;
    for (int i = 0; i < index; ++i) {
        const qsizetype at = text.indexOf(separator, from);
        if (at < 0)
            return std::nullopt;
        from = at + separator.size();
    }
    const qsizetype end = text.indexOf(separator, from);
    return text.mid(from, end < 0 ? -1 : end - from);
}

void takeFirstResult(CardState& state, const ChatLine& line) {
    if (line.kind != LineKind::Incoming)
        return;
    const auto message = findMessage(line, kFirstMarker, kFirstKept);
    if (!message)
        return;
    const auto codes = reelCodes(bodyAfter(message->window, kFirstBodyStart));
    for (int i = 0; i < 3; ++i)
        state.reels[i].firstCode = codes[i];
    takeDrawCodes(state, Draw::First);
}

// Taken only while the credits show "0", so the first offer in the text wins.
void takeOffer(CardState& state, const ChatLine& line) {
    const auto message = findMessage(line, kOfferMarker, kOfferKept);
    if (!message || state.credits != QLatin1String("0"))
        return;
    const auto amount = piece(message->window, u": ", 2);
    if (!amount)
        return;
    const auto tokens = tokensFor(amount->toString());
    if (!tokens)
        return; // not a number: the offer cannot be read, so nothing changes
    state.credits = amount->toString();
    state.tokens = *tokens;
}

void takePayouts(PayoutsState& payouts, const ChatLine& line) {
    const auto message = findMessage(line, kPayoutsMarker, kPayoutsKept);
    if (!message)
        return;
    for (int row = 0; row < PayoutsState::kRows; ++row) {
        const auto amount = piece(message->window, u":", row + 2);
        if (!amount)
            return; // the amounts present are set, the rest stay
        payouts.setAmount(row, amount->toString());
    }
}

void takeFinalResult(CardState& state, const ChatLine& line) {
    if (line.kind != LineKind::Incoming)
        return;
    const auto message = findMessage(line, kFinalMarker, kFinalKept);
    if (!message)
        return;
    const QStringView body = bodyAfter(message->window, kFinalBodyStart);
    const auto codes = reelCodes(body);
    for (int i = 0; i < 3; ++i)
        state.reels[i].finalCode = codes[i];
    // The credits are the piece after the body's first colon without its first
    // two and its last character: " (150)" gives 150.
    if (const auto creditsPiece = piece(body, u":", 1)) {
        state.creditsTag = creditsPiece->toString();
        if (state.creditsTag.size() >= 3) {
            const QString credits = state.creditsTag.mid(2).chopped(1);
            if (const auto tokens = tokensFor(credits)) {
                state.credits = credits;
                state.tokens = *tokens;
            }
        }
    }
    takeDrawCodes(state, Draw::Final);
}

} // namespace

void FindMachineKeeper(CardState& state, Tokenizer& tokenizer, QString text) {
    walkLines(tokenizer, text, [&](const ChatLine& line) {
        if (const auto message = findMessage(line, kKeeperMarker, 0)) {
            state.machineKeeperName = message->speaker.toString();
            state.text1 = state.machineKeeperName;
        }
    });
}

void HandleFirstResult(CardState& state, PayoutsState& payouts, Tokenizer& tokenizer,
                       QString text) {
    walkLines(tokenizer, text, [&](const ChatLine& line) {
        takeFirstResult(state, line);
        takeOffer(state, line);
        takePayouts(payouts, line);
    });
}

void HandleFinalResult(CardState& state, Tokenizer& tokenizer, QString text) {
    walkLines(tokenizer, text, [&](const ChatLine& line) { takeFinalResult(state, line); });
}

} // namespace jackwell
