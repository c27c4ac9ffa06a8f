#include "keeper/keeper_turns.h"

#include "books/keeper_books.h"
#include "keeper/bounded_hash.h"
#include "machine/messages.h"
#include "machine/texts.h"

#include <algorithm>

namespace jackwell::keeper {

bool isFirstDrawTold(const std::vector<machine::Reply>& replies) {
    return std::ranges::any_of(replies, [](const machine::Reply& reply) {
        return !reply.isPublic && reply.text.startsWith(machine::kFirstDraw.left(6));
    });
}

KeeperTurns::KeeperTurns(books::KeeperBooks& books, const QString& name, quint64 seed)
    : books_(books)
    , keeper_(name, watched_, seed) {}

// A change the books refused (not one they could not say the fate of) is told with the turn.
void KeeperTurns::refused() {
    if (books_.outcomeUnknown())
        return; // not refused: nobody knows yet
    turn_->refusedWhy = books_.lastError();
    turn_->failedForGood = books_.failedForGood();
}

// What the player has been told, as far as the books' thread can know: what the event loop knew
// when the message came, or, when turns since have told the player more that the event loop has
// not yet taken up, what those turns queued.
KeeperDeliveries KeeperTurns::toldSoFar(const BooksTurn& turn, const QString& player,
                                        const KeeperDeliveries& known) {
    for (auto it = toldOnBooks_.begin(); it != toldOnBooks_.end();) {
        if (it->first <= turn.toldBefore)
            it = toldOnBooks_.erase(it);
        else
            ++it;
    }
    const auto found = toldOnBooks_.constFind(player);
    return found == toldOnBooks_.cend() ? known : found->second;
}

void KeeperTurns::noteTold(const BooksTurn& turn, const QString& player, KeeperDeliveries told) {
    if (turn.told.empty())
        return;
    for (const BooksTurn::Told& item : turn.told) {
        if (item.bookedGame)
            told.queued(player, *item.bookedGame);
        if (item.withheldDraw)
            told.firstDrawWithheld(player, item.withheldDraw);
        else if (!item.bookedGame && isFirstDrawTold(item.replies)) {
            told.firstDrawQueued(player, item.drawGame);
            insertBounded(drawToldOnItsOwn_, player, item.drawGame, kDrawsRemembered);
        }
    }
    toldOnBooks_.insert(player, {turn.number, std::move(told)});
}

void KeeperTurns::work(BooksTurn& turn, const QString& player, const QString& text,
                       const KeeperDeliveries& knownOnLoop) {
    turn_ = &turn;
    const KeeperDeliveries known = toldSoFar(turn, player, knownOnLoop);
    std::vector<machine::Reply> replies;
    qint64 nextGame = 0; // the game a first draw told now is the draw of (0: not known)
    for (int attempt = 1;; ++attempt) {
        const std::optional<books::Delivery> delivery = books_.delivery(player);
        nextGame = delivery ? delivery->lastGame + 1 : 0;
        const LastResult last = tellAgainIfUndelivered(turn, player, delivery, known);
        if (turn.returned) {
            // Back after leaving: a result they missed was told just now; a first draw they
            // missed is told, and nothing is played.
            if (last == LastResult::Known)
                mayPlayHolds(turn, player, delivery, known);
            noteTold(turn, player, known);
            turn_ = nullptr;
            return;
        }
        if (machine::parseHolds(text) &&
            (last != LastResult::Known || !mayPlayHolds(turn, player, delivery, known))) {
            turn.waitsElsewhere = last == LastResult::OnItsWayElsewhere;
            noteTold(turn, player, known);
            turn_ = nullptr;
            return; // these holds cannot be for a first draw the player has seen
        }
        // A first draw that never reached them comes first, whatever they wrote (holds get it
        // above, "Register me!" from the machine).
        if ((last == LastResult::Known || last == LastResult::OnItsWay) &&
            !machine::parseHolds(text) && text != machine::kRegisterRequest &&
            known.firstDrawStatus(player) == KeeperDeliveries::Status::Lost)
            mayPlayHolds(turn, player, delivery, known);
        replies = keeper_.onPrivateMessage(player, text);
        if (books_.outcomeUnknown()) {
            // Neither the result nor "nothing was booked": the player's next message finds out.
            turn.notes << QStringLiteral("the books could not say whether a change for %1 was "
                                         "kept; it is told when they can: ") +
                              books_.lastError();
            replies.clear();
            break;
        }
        // Another machine that shares the books changed this player meanwhile: whatever it did
        // (a game booked, a first draw told) decides the answer now.
        if (!watched_.takeRaced())
            break;
        if (attempt == kAttemptsOnRace) {
            turn.refusedWhy = books_.lastError();
            turn.failedForGood = books_.failedForGood();
            break;
        }
    }
    const std::optional<qint64> booked = watched_.takeBookedGame();
    if (booked)
        turn.game.emplace(watched_.lastOutcome(), *booked);
    turn.told.push_back({std::move(replies), booked, booked ? 0 : nextGame});
    noteTold(turn, player, known);
    turn_ = nullptr;
}

// A player whose last result may not have reached them is told it again, with the first draw
// now waiting, before anything else.
KeeperTurns::LastResult
KeeperTurns::tellAgainIfUndelivered(BooksTurn& turn, const QString& player,
                                    const std::optional<books::Delivery>& delivery,
                                    const KeeperDeliveries& known) {
    if (delivery && known.isPartlyQueued(player, delivery->lastGame))
        return LastResult::OnItsWay; // the first draw after it still waits in the queue
    if (!delivery || delivery->lastGame <= delivery->deliveredGame || !delivery->lastOutcome)
        return LastResult::Known;
    if (delivery->onItsWayElsewhere)
        return LastResult::OnItsWayElsewhere; // the machine that booked it is telling it
    switch (known.status(player, delivery->lastGame)) {
    case KeeperDeliveries::Status::Sent:
    case KeeperDeliveries::Status::Delivered:
        return LastResult::Known; // handed over on this connection to a player still here
    case KeeperDeliveries::Status::Queued:
        return LastResult::OnItsWay;
    case KeeperDeliveries::Status::Unknown:
    case KeeperDeliveries::Status::Lost:
        break;
    }
    const machine::GameOutcome& last = *delivery->lastOutcome;
    const std::optional<machine::PlayerRecord> record = books_.load(player);
    const bool readable = last.creditsAfter >= 0 &&
                          last.creditsAfter <= machine::kMaxShownCredits && record &&
                          record->credits == last.creditsAfter;
    if (!readable)
        return LastResult::Known;
    turn.notes << QStringLiteral("telling %1 the result of game ") +
                      QString::number(delivery->lastGame) + QStringLiteral(" again");
    const std::optional<machine::ReelCodes> next = record->pendingFirstDraw;
    QStringList lines = machine::gameResultLines(last.finalDraw, last.creditsAfter, next);
    qint64 withheld = 0;
    if (turn.returned && next) {
        lines.removeLast(); // see TurnTeller::kWithheldDrawMs
        withheld = delivery->lastGame + 1;
    }
    std::vector<machine::Reply> replies;
    for (const QString& line : lines)
        replies.push_back({false, player, line});
    turn.told.push_back({std::move(replies), delivery->lastGame, 0, withheld});
    turn.toldAgain = true;
    return LastResult::ToldAgain;
}

// Holds are played only on a first draw that went out to the player before them. A first draw
// still waiting in the queue cannot have been seen; one that was lost, or one the books hold as
// never seen to reach the player (told by a robot that was stopped before it went out), is told
// again instead.
//
// Holds that waited while another machine told the last result are played only on a first draw
// this robot told on its own since that result (a player who comes over from another robot asks
// to play first). Any other holds were sent before the player had that result: on a network split
// in two, with the machine that booked it on the far side, the player came over with the holds it
// had sent there, and that machine told the result once the network was whole again; played now,
// they would be played on a draw the player never saw.
bool KeeperTurns::mayPlayHolds(BooksTurn& turn, const QString& player,
                               const std::optional<books::Delivery>& delivery,
                               const KeeperDeliveries& known) {
    const bool beforeTheResult = turn.afterElsewhere && delivery &&
                                 drawToldOnItsOwn_.value(player) != delivery->lastGame + 1;
    switch (beforeTheResult ? KeeperDeliveries::Status::Lost : known.firstDrawStatus(player)) {
    case KeeperDeliveries::Status::Queued:
        return false;
    case KeeperDeliveries::Status::Lost:
        break;
    case KeeperDeliveries::Status::Unknown:
        if (!delivery || !delivery->firstDrawUntold)
            return true;
        break;
    case KeeperDeliveries::Status::Sent:
    case KeeperDeliveries::Status::Delivered:
        return true;
    }
    const std::optional<machine::PlayerRecord> record = books_.load(player);
    if (!record || !record->pendingFirstDraw)
        return true; // nothing to tell again: the machinekeeper answers as it does
    turn.told.push_back({{{false, player, machine::firstDrawLine(*record->pendingFirstDraw)}},
                         std::nullopt,
                         delivery ? delivery->lastGame + 1 : 0});
    return false;
}

} // namespace jackwell::keeper
