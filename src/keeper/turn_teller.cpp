#include "keeper/turn_teller.h"

#include "books/keeper_books.h"
#include "clock/clock.h"
#include "irc/irc_message.h"
#include "keeper/keeper_durable_answers.h"
#include "keeper/keeper_last_words.h"
#include "keeper/keeper_metrics.h"
#include "keeper/keeper_probe_window.h"
#include "keeper/keeper_resent_holds.h"
#include "keeper/keeper_roster.h"
#include "keeper/keeper_send_queue.h"
#include "machine/texts.h"
#include "platform/key_value_file.h"
#include "platform/quoted.h"

#include <algorithm>
#include <memory>
#include <utility>

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
            .arg(quotedName(player), QString::fromLatin1(nick), holds.join(u','),
                 codes(outcome.finalDraw))
            .arg(outcome.tokensWon)
            .arg(outcome.creditsAfter));
}

} // namespace

TurnTeller::TurnTeller(Parts parts)
    : clock_(parts.clock)
    , config_(parts.config)
    , worker_(parts.worker)
    , deliveries_(parts.deliveries)
    , roster_(parts.roster)
    , queue_(parts.queue)
    , answers_(parts.answers)
    , lastWords_(parts.lastWords)
    , probes_(parts.probes)
    , resentHolds_(parts.resentHolds)
    , metrics_(parts.metrics)
    , log_(parts.log)
    , watchReturn_(std::move(parts.watchReturn)) {}

void TurnTeller::submitTurn(const QString& player, const QByteArray& nick, const QString& text,
                            qint64 arrivedMs, bool returned, bool afterElsewhere) {
    auto turn = std::make_shared<BooksTurn>();
    turn->returned = returned;
    turn->afterElsewhere = afterElsewhere;
    turn->number = ++turnsHandedOver_;
    turn->arrivedMs = arrivedMs;
    turn->toldBefore = turnsTold_;
    newestTurnOf_.insert(player, turn->number);
    worker_.submitTurn(
        [turn, player, text, known = deliveries_.of(player)](KeeperTurns& turns) {
            turns.work(*turn, player, text, known);
        },
        [this, turn, nick, player, text](const BooksWorker::Ending& ending) {
            turnsTold_ = std::max(turnsTold_, turn->number);
            tellTurn(*turn, ending, nick, player);
            if (newestTurnOf_.value(player) != turn->number)
                return; // the player wrote again meanwhile
            if (turn->waitsElsewhere && ending.outcome == BooksWorker::Outcome::Booked)
                recheckSoon(player, nick, text, *turn);
            else
                newestTurnOf_.remove(player);
        });
}

// Holds that found the last result still on its way from another machine: that machine tells
// it within moments, and marks it delivered once the server has passed it on. The holds are
// worked again as soon as the books may show that, rather than left for the player to send again
// seconds later; a newer message from the player takes their place.
void TurnTeller::recheckSoon(const QString& player, const QByteArray& nick, const QString& text,
                             const BooksTurn& turn) {
    clock_.callAfter(kElsewhereRecheckMs, this,
                     [this, player, nick, text, number = turn.number, arrivedMs = turn.arrivedMs] {
                         if (newestTurnOf_.value(player) != number)
                             return;
                         newestTurnOf_.remove(player);
                         if (answers_.isBehind() || lastWords_.isLeaving() ||
                             roster_.presence().isGone(roster_.keyOf(nick)))
                             return;
                         submitTurn(player, nick, text, arrivedMs, false, true);
                     });
}

void TurnTeller::markDelivered(const KeeperDeliveries::Delivered& marks) {
    auto failed = std::make_shared<QString>();
    worker_.submit(
        [marks, failed](books::KeeperBooks& books) {
            if (!books.markDelivered(marks.results) || !books.markFirstDrawsTold(marks.firstDraws))
                *failed = books.lastError();
        },
        [this, failed, marks](const BooksWorker::Ending& ending) {
            if (ending.outcome == BooksWorker::Outcome::Booked && failed->isEmpty()) {
                deliveries_.resultsMarked(marks.results);
                deliveries_.firstDrawsMarked(marks.firstDraws);
            } else if (!failed->isEmpty())
                log_(QtWarningMsg,
                     QStringLiteral("cannot note delivered results: %1").arg(*failed));
        });
}

// The answer to a message, once its turn on the books has ended.
void TurnTeller::tellTurn(const BooksTurn& turn, const BooksWorker::Ending& ending,
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
void TurnTeller::queueFor(const QByteArray& nick, const QString& player,
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
            watchReturn_(recipient);
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

void TurnTeller::tellWithheldDrawLater(const QString& player, const QByteArray& nick) {
    clock_.callAfter(kWithheldDrawMs, this, [this, player, nick] {
        if (deliveries_.firstDrawStatus(player) == KeeperDeliveries::Status::Lost &&
            !newestTurnOf_.contains(player) && !roster_.presence().isGone(roster_.keyOf(nick)))
            submitTurn(player, nick, QString(), clock_.monotonicMs(), true);
    });
}

void TurnTeller::tellReturned(const QByteArray& nick, const QString& recipient) {
    roster_.presence().markHere(recipient);
    if (answers_.isBehind() || lastWords_.isLeaving())
        return; // as for a message: they are told what they missed when they next write
    submitTurn(recipient, nick, QString(), clock_.monotonicMs(), true);
}

} // namespace jackwell::keeper
