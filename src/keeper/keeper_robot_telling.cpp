// What the robot tells players once a message's turn on the books has ended, and what it does
// for players who left with something on its way to them.
#include "keeper/keeper_robot.h"

#include "books/keeper_books.h"
#include "clock/clock.h"
#include "irc/irc_message.h"
#include "keeper/keeper_accounts.h"
#include "keeper/keeper_log.h"
#include "machine/texts.h"
#include "platform/key_value_file.h"

#include <algorithm>

namespace jackwell::keeper {

namespace {

void logGame(const machine::GameOutcome& outcome, const QByteArray& nick, const QString& player,
             qint64 game) {
    auto codes = [](const machine::ReelCodes& reels) {
        QStringList parts;
        for (const int code : reels)
            parts << QStringLiteral("%1").arg(code, 2, 10, QLatin1Char('0'));
        return parts.join(u',');
    };
    QStringList holds;
    for (const bool held : outcome.holds)
        holds << (held ? QStringLiteral("1") : QStringLiteral("0"));
    qCInfo(lcGame).noquote() << KeyValueFile::escaped(
        QStringLiteral("game %1 of %2 (%3): holds %4, draw %5, won %6 tokens, credits %7")
            .arg(game)
            .arg(player.left(64), QString::fromLatin1(nick), holds.join(u','),
                 codes(outcome.finalDraw))
            .arg(outcome.tokensWon)
            .arg(outcome.creditsAfter));
}

} // namespace

// The answer to a message, once its turn on the books has ended.
void KeeperRobot::tellTurn(const BooksTurn& turn, const BooksWorker::Ending& ending,
                           const QByteArray& nick, const QString& player) {
    if (turn.returned && ending.outcome != BooksWorker::Outcome::Booked)
        return; // nobody asked: they are told when they next write
    metrics_.answerLatency.observe(clock_.monotonicMs() - turn.arrivedMs);
    switch (ending.outcome) {
    case BooksWorker::Outcome::Expired:
        ++metrics_.refused;
        answers_.notBooked(player, roster_.keyOf(nick), nick);
        return;
    case BooksWorker::Outcome::NotBooked:
        ++metrics_.refused;
        log_(QtWarningMsg,
             QStringLiteral("the books did not take the last changes: %1").arg(ending.error));
        lastWords_.refused({}, ending.error, ending.failedForGood);
        answers_.notBooked(player, roster_.keyOf(nick), nick);
        return;
    case BooksWorker::Outcome::Unknown:
        // Neither the result nor "nothing was booked": the player's next message finds out.
        log_(QtWarningMsg, QStringLiteral("the books could not say whether the last changes were "
                                          "kept; they are told when they can: %1")
                               .arg(ending.error));
        return;
    case BooksWorker::Outcome::NotDurable:
        // A disk that cannot sync may have lost what was booked: nothing more is promised.
        log_(QtCriticalMsg, QStringLiteral("the books could not be made safe on the disk; their "
                                           "last changes are not told"));
        lastWords_.lost();
        return;
    case BooksWorker::Outcome::Booked:
        break;
    }
    for (const QString& note : turn.notes)
        log_(QtInfoMsg, note.arg(QString::fromLatin1(nick)));
    if (turn.refusedWhy) {
        ++metrics_.refused;
        lastWords_.refused(player, *turn.refusedWhy, turn.failedForGood);
    }
    metrics_.toldAgain += turn.toldAgain ? 1 : 0;
    if (turn.game) {
        ++metrics_.gamesBooked;
        logGame(turn.game->first, nick, player, turn.game->second);
    }
    for (const BooksTurn::Told& told : turn.told)
        queueFor(nick, player, told, turn.game && told.bookedGame == turn.game->second);
}

// A game's lines always go out, followed to their player (see KeeperDeliveries); other answers
// are dropped whole when the player's lane is full, which only a player who floods the robot
// can bring about.
void KeeperRobot::queueFor(const QByteArray& nick, const QString& player,
                           const BooksTurn::Told& told, bool played) {
    const std::vector<machine::Reply>& replies = told.replies;
    const std::optional<qint64> bookedGame = told.bookedGame;
    const QString recipient = roster_.keyOf(nick);
    if (roster_.presence().isGone(recipient)) {
        // Whatever it was, the books keep it for when they are back; a first draw told on its
        // own (it left before its answer came from the books) is told again then.
        const bool firstDraw = !bookedGame && isFirstDrawTold(replies);
        if (firstDraw) {
            deliveries_.firstDrawQueued(player, told.drawGame);
            deliveries_.recipientGone(player);
        }
        if (firstDraw || bookedGame)
            watchReturn(recipient);
        return;
    }
    const bool droppable = !bookedGame;
    if (droppable &&
        queue_.waitingIn(recipient) + qsizetype(replies.size()) > KeeperSendQueue::kLaneLimit)
        return;
    if (bookedGame)
        deliveries_.queued(player, *bookedGame);
    if (told.withheldDraw) {
        deliveries_.firstDrawWithheld(player, told.withheldDraw);
        tellWithheldDrawLater(player, nick);
    }
    // The result is handed over with its first line; holds count as an answer to it only once
    // its last line, the next first draw, is out too.
    const auto last =
        std::ranges::find_if(replies.rbegin(), replies.rend(),
                             [](const machine::Reply& reply) { return !reply.isPublic; });
    bool first = true;
    for (const machine::Reply& reply : replies) {
        if (reply.isPublic) {
            answers_.say({KeeperSendQueue::channelLane(config_.irc.channel),
                          ircLine("PRIVMSG", {config_.irc.channel}, reply.text.toUtf8()),
                          {},
                          true,
                          {},
                          {}});
            continue;
        }
        KeeperSendQueue::Written written;
        if (bookedGame) {
            const bool whole = &reply == &*last;
            written = [this, player, game = *bookedGame, first, whole, played] {
                if (first) {
                    deliveries_.handedOver(player, game);
                    probes_.probeSoon();
                }
                if (whole)
                    deliveries_.wholeHandedOver(player, game);
                if (whole && played)
                    resentHolds_.resultOut(player, clock_.monotonicMs());
            };
        } else if (!bookedGame && isFirstDrawTold({reply})) {
            // A first draw told on its own (the answer to "Register me!"), followed too.
            deliveries_.firstDrawQueued(player, told.drawGame);
            written = [this, player] {
                deliveries_.firstDrawHandedOver(player);
                probes_.probeSoon();
            };
        }
        first = false;
        answers_.say({recipient, ircLine("PRIVMSG", {nick}, reply.text.toUtf8()),
                      std::move(written), droppable, player, nick});
    }
}

void KeeperRobot::tellWithheldDrawLater(const QString& player, const QByteArray& nick) {
    clock_.callAfter(kWithheldDrawMs, this, [this, player, nick] {
        if (deliveries_.firstDrawStatus(player) == KeeperDeliveries::Status::Lost &&
            !newestTurnOf_.contains(player) && !roster_.presence().isGone(roster_.keyOf(nick)))
            submitTurn(player, nick, QString(), clock_.monotonicMs(), true);
    });
}

void KeeperRobot::tellReturned(const QByteArray& nick, const QString& recipient) {
    roster_.presence().markHere(recipient);
    if (answers_.isBehind() || lastWords_.isLeaving())
        return; // as for a message: they are told what they missed when they next write
    submitTurn(recipient, nick, QString(), clock_.monotonicMs(), true);
}

// Only where players are known by their nickname: ISON cannot say who owns an account.
void KeeperRobot::watchReturn(const QString& recipient) {
    if (!usesAccounts(config_.identity, *connection_))
        returnWatch_.watch(recipient);
}

} // namespace jackwell::keeper
