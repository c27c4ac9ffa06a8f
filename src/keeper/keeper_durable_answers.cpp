#include "keeper/keeper_durable_answers.h"

#include "irc/irc_message.h"
#include "keeper/books_worker.h"
#include "keeper/keeper_deliveries.h"
#include "keeper/keeper_roster.h"
#include "machine/texts.h"

#include <algorithm>

namespace jackwell::keeper {

KeeperDurableAnswers::KeeperDurableAnswers(KeeperSendQueue& queue, const KeeperRoster& roster,
                                           KeeperDeliveries& deliveries, const BooksWorker& worker)
    : queue_(queue)
    , roster_(roster)
    , deliveries_(deliveries)
    , worker_(worker) {}

void KeeperDurableAnswers::say(Line line) {
    if (!line.player.isEmpty() && roster_.presence().isGone(line.lane))
        return; // never to a player known to have left
    queue_.push(line.lane, std::move(line.line), std::move(line.written), line.droppable);
}

void KeeperDurableAnswers::notBooked(const QString& player, const QString& lane,
                                     const QByteArray& nick) {
    deliveries_.forget(player);
    if (roster_.presence().isGone(lane))
        return;
    queue_.push(lane,
                ircLine("PRIVMSG", {nick},
                        QByteArray(machine::kOutOfOrder.data(), machine::kOutOfOrder.size())));
}

// New messages are then left unanswered (and unbooked) until the robot has caught up. A message
// on its way through the books comes back as a few lines (a registration's answer has four).
bool KeeperDurableAnswers::isBehind() const {
    const KeeperSendQueue::Pace pace = queue_.pace();
    const qint64 linesInBusyTime = qint64(pace.lines) * kBusySeconds * 1000 / pace.windowMs;
    return queue_.waitingLines() + kLinesPerMessage * worker_.waiting() >
           std::max<qint64>(100, linesInBusyTime);
}

} // namespace jackwell::keeper
