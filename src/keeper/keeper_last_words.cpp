#include "keeper/keeper_last_words.h"

#include "books/keeper_books.h"
#include "clock/clock.h"
#include "irc/irc_connection.h"
#include "keeper/keeper_send_queue.h"

#include <QPointer>

namespace jackwell::keeper {

KeeperLastWords::KeeperLastWords(Clock& clock, books::KeeperBooks& books,
                                 const KeeperSendQueue& queue, const IrcConnection& connection,
                                 KeeperLogger log)
    : clock_(clock)
    , books_(books)
    , queue_(queue)
    , connection_(connection)
    , log_(std::move(log)) {}

void KeeperLastWords::refused(const QString& player) {
    if (!player.isEmpty())
        log_(QtWarningMsg, QStringLiteral("the books refused a change for %1: %2")
                               .arg(player.left(64), books_.lastError()));
    if (!books_.failedForGood())
        return;
    log_(QtCriticalMsg,
         QStringLiteral("the books can take no more games: %1").arg(books_.lastError()));
    lost();
}

void KeeperLastWords::lost() {
    if (leaving_)
        return;
    leaving_ = true;
    const qint64 deadline = clock_.monotonicMs() + kLastWordsMs;
    // From the next turn of the event loop: the answer to the message at hand is made first.
    clock_.callAfter(0, this, [this, deadline] {
        books_.whenDurable([self = QPointer<KeeperLastWords>(this), deadline](bool) {
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
