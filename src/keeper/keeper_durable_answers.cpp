#include "keeper/keeper_durable_answers.h"

#include "books/keeper_books.h"
#include "irc/irc_message.h"
#include "keeper/keeper_deliveries.h"
#include "keeper/keeper_last_words.h"
#include "keeper/keeper_presence.h"
#include "machine/texts.h"

#include <QHash>
#include <QPointer>

#include <algorithm>

namespace jackwell::keeper {

KeeperDurableAnswers::KeeperDurableAnswers(books::KeeperBooks& books, KeeperSendQueue& queue,
                                           const KeeperPresence& presence,
                                           KeeperDeliveries& deliveries, KeeperLastWords& lastWords,
                                           KeeperLogger log)
    : books_(books)
    , queue_(queue)
    , presence_(presence)
    , deliveries_(deliveries)
    , lastWords_(lastWords)
    , log_(std::move(log)) {}

KeeperDurableAnswers::~KeeperDurableAnswers() {
    if (batchOpen_)
        books_.rollbackBatch();
}

void KeeperDurableAnswers::openBatch() {
    if (batchOpen_)
        return;
    batchOpen_ = books_.beginBatch(); // without it, each change is a transaction of its own
    // Closed on the next turn of the event loop, once the messages at hand are answered.
    if (batchOpen_)
        QMetaObject::invokeMethod(
            this, [this] { closeBatch(); }, Qt::QueuedConnection);
}

void KeeperDurableAnswers::closeBatch() {
    if (!batchOpen_)
        return;
    batchOpen_ = false;
    std::vector<Line> held = std::exchange(held_, {});
    if (books_.commitBatch()) {
        releaseWhenDurable(std::move(held));
        return;
    }
    // Nothing of these answers was booked: none of them may be told.
    log_(QtWarningMsg,
         QStringLiteral("the books did not take the last changes: %1").arg(books_.lastError()));
    lastWords_.refused({});
    QHash<QString, std::pair<QString, QByteArray>> players; // player, its recipient and nick
    for (const Line& line : held) {
        if (!line.player.isEmpty())
            players.insert(line.player, {line.lane, line.nick});
    }
    for (auto it = players.cbegin(); it != players.cend(); ++it) {
        deliveries_.forget(it.key());
        queue_.push(it.value().first,
                    ircLine("PRIVMSG", {it.value().second},
                            QByteArray(machine::kOutOfOrder.data(), machine::kOutOfOrder.size())));
    }
}

void KeeperDurableAnswers::say(Line line) {
    if (!line.player.isEmpty() && presence_.isGone(line.lane))
        return; // never to a player known to have left
    if (batchOpen_) {
        held_.push_back(std::move(line));
        return;
    }
    std::vector<Line> lines;
    lines.push_back(std::move(line));
    releaseWhenDurable(std::move(lines));
}

qsizetype KeeperDurableAnswers::heldFor(const QString& lane) const {
    return std::ranges::count(held_, lane, &Line::lane);
}

void KeeperDurableAnswers::dropFor(const QString& lane) {
    std::erase_if(held_,
                  [&](const Line& line) { return !line.player.isEmpty() && line.lane == lane; });
}

// New messages are then left unanswered (and unbooked) until the robot has caught up.
bool KeeperDurableAnswers::isBehind() const {
    const KeeperSendQueue::Pace pace = queue_.pace();
    const qint64 linesInBusyTime = qint64(pace.lines) * kBusySeconds * 1000 / pace.windowMs;
    return queue_.waitingLines() + qsizetype(held_.size()) + linesAwaitingDisk_ >
           std::max<qint64>(100, linesInBusyTime);
}

void KeeperDurableAnswers::releaseWhenDurable(std::vector<Line> lines) {
    linesAwaitingDisk_ += qsizetype(lines.size());
    books_.whenDurable([self = QPointer<KeeperDurableAnswers>(this),
                        lines = std::move(lines)](bool durable) mutable {
        if (self)
            self->release(std::move(lines), durable);
    });
}

void KeeperDurableAnswers::release(std::vector<Line> lines, bool durable) {
    linesAwaitingDisk_ -= qsizetype(lines.size());
    if (!durable) {
        // A disk that cannot sync may have lost what was booked: nothing more is promised.
        log_(QtCriticalMsg, QStringLiteral("the books could not be made safe on the disk; their "
                                           "last changes are not told"));
        lastWords_.lost();
        return;
    }
    for (Line& line : lines) {
        if (!line.player.isEmpty() && presence_.isGone(line.lane))
            continue; // left while the disk was busy
        queue_.push(line.lane, std::move(line.line), std::move(line.written), line.droppable);
    }
}

} // namespace jackwell::keeper
