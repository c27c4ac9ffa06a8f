#include "keeper/keeper_last_words.h"

#include "clock/clock.h"
#include "irc/irc_connection.h"
#include "keeper/books_worker.h"
#include "keeper/keeper_send_queue.h"
#include "platform/quoted.h"

#include <QPointer>

namespace jackwell::keeper {

KeeperLastWords::KeeperLastWords(Clock& clock, BooksWorker& worker, const KeeperSendQueue& queue,
                                 const IrcConnection& connection, KeeperLogger log)
    : clock_(clock)
    , worker_(worker)
    , queue_(queue)
    , connection_(connection)
    , log_(std::move(log)) {}

void KeeperLastWords::refused(const QString& player, const QString& error, bool failedForGood) {
    if (!player.isEmpty())
        log_(
            QtWarningMsg,
            QStringLiteral("the books refused a change for %1: %2").arg(quotedName(player), error));
    if (!failedForGood)
        return;
    log_(QtCriticalMsg, QStringLiteral("the books can take no more games: %1").arg(error));
    lost();
}

void KeeperLastWords::lost() {
    if (leaving_)
        return;
    leaving_ = true;
    const qint64 deadline = clock_.monotonicMs() + kLastWordsMs;
    // From the next turn of the event loop: the answer to the message at hand is made first.
    clock_.callAfter(0, this, [this, deadline] {
        // Once what was handed to the books before has its answer.
        worker_.submit({}, [self = QPointer<KeeperLastWords>(this), deadline](auto&&...) {
            if (self)
                self->stopWhenSaid(deadline);
        });
    });
}

void KeeperLastWords::stopWhenSaid(qint64 deadline) {
    if (queue_.waitingLines() > 0 && connection_.isRegistered() &&
        clock_.monotonicMs() < deadline) {
        clock_.callAfter(50, this, [this, deadline] { stopWhenSaid(deadline); });
        return;
    }
    if (booksFailed_)
        booksFailed_();
}

} // namespace jackwell::keeper
