#include "protocol/handlers.h"

#include "protocol/chat_lines.h"
#include "protocol/marked_lines.h"
#include "protocol/markers.h"
#include "reels/card_state.h"
#include "reels/payouts_state.h"

#include <QStringTokenizer>

namespace jackwell {

namespace {

// The reel codes stand at characters 4-5, 9-10 and 14-15 of a body; a position
// beyond its end contributes nothing.
std::array<QString, 3> reelCodes(QStringView body) {
    return {body.mid(3, 2).toString(), body.mid(8, 2).toString(), body.mid(13, 2).toString()};
}

// Piece `index` (from 0) of `text` cut at every `separator`, if there are that many.
template <typename Separator>
std::optional<QStringView> piece(QStringView text, Separator separator, int index) {
    for (QStringView part : qTokenize(text, separator)) {
        if (index-- == 0)
            return part;
    }
    return std::nullopt;
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
    showDrawnSymbols(state, Draw::First);
}

// Taken only while the credits show "0", so the first offer in the text wins.
// The amount stands behind the marker after a further ": ", up to the next
// one. The pieces are counted from the marker, not from the line's start, so a
// speaker holding ": " itself cannot pass off a piece of its own as the amount.
void takeOffer(CardState& state, const ChatLine& line) {
    const auto message = findMessage(line, kOfferMarker, kOfferKept);
    if (!message || state.credits != QLatin1String("0"))
        return;
    const auto amount = piece(message->fromMarker(), QLatin1String(": "), 2);
    if (!amount)
        return; // no amount: nothing to take
    const QString credits = amount->toString();
    const auto tokens = tokensFor(credits);
    if (!tokens)
        return; // not a number: the offer cannot be read, so nothing changes
    state.credits = credits;
    state.tokens = *tokens;
}

// Behind the marker, text up to a colon, then the sixteen amounts, each ended by
// a colon or the window's end; counted from the marker, like the offer.
void takePayouts(PayoutsState& payouts, const ChatLine& line) {
    const auto message = findMessage(line, kPayoutsMarker, kPayoutsKept);
    if (!message)
        return;
    int index = 0;
    for (QStringView part : qTokenize(message->fromMarker(), u':')) {
        const int row = index++ - 2;
        if (row >= PayoutsState::kRows)
            break;
        if (row >= 0)
            payouts.setAmount(row, part.toString());
    } // a short table sets the amounts it has; the rest stay
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
    // two and its last character: " (150)" gives 150. A body without that
    // piece, a piece too short to cut or credits that are no number leave the
    // credits and tokens as they were.
    const auto creditsPiece = piece(body, u':', 1);
    if (creditsPiece && creditsPiece->size() >= 3) {
        const QString credits = creditsPiece->mid(2).chopped(1).toString();
        if (const auto tokens = tokensFor(credits)) {
            state.credits = credits;
            state.tokens = *tokens;
        }
    }
    showDrawnSymbols(state, Draw::Final);
}

} // namespace

void findMachineKeeper(CardState& state, Tokenizer& tokenizer, QString text) {
    walkMarkedLines(tokenizer, text, {kKeeperMarker}, [&](const ChatLine& line) {
        if (const auto message = findMessage(line, kKeeperMarker, 0)) {
            state.machineKeeperName = message->speaker.toString();
            state.nameBox = state.machineKeeperName;
        }
    });
}

void handleFirstResult(CardState& state, PayoutsState& payouts, Tokenizer& tokenizer,
                       QString text) {
    const auto markers = {QStringView(kFirstMarker), QStringView(kOfferMarker),
                          QStringView(kPayoutsMarker)};
    walkMarkedLines(tokenizer, text, markers, [&](const ChatLine& line) {
        takeFirstResult(state, line);
        takeOffer(state, line);
        takePayouts(payouts, line);
    });
}

void handleFinalResult(CardState& state, Tokenizer& tokenizer, QString text) {
    walkMarkedLines(tokenizer, text, {kFinalMarker},
                    [&](const ChatLine& line) { takeFinalResult(state, line); });
}

} // namespace jackwell
