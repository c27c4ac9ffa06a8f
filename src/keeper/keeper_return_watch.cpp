#include "keeper/keeper_return_watch.h"

#include "clock/clock.h"
#include "irc/irc_message.h"

#include <algorithm>

namespace jackwell::keeper {

KeeperReturnWatch::KeeperReturnWatch(Clock& clock, Hooks hooks)
    : clock_(clock)
    , hooks_(std::move(hooks)) {
    alarm_ = clock_.createAlarm([this] {
        forgetOld(clock_.monotonicMs());
        if (since_.isEmpty())
            return;
        hooks_.queueProbe();
        schedule();
    });
}

KeeperReturnWatch::~KeeperReturnWatch() = default;

void KeeperReturnWatch::watch(const QString& recipient) {
    const qint64 now = clock_.monotonicMs();
    if (!since_.contains(recipient)) {
        while (since_.size() >= kMaxWatched && !turns_.empty()) {
            since_.remove(turns_.front());
            turns_.pop_front();
        }
        turns_.push_back(recipient);
    }
    since_.insert(recipient, now);
    youngestMs_ = now;
    if (!alarm_->isActive())
        schedule();
}

void KeeperReturnWatch::forget(const QString& recipient) {
    since_.remove(recipient);
}

QList<QByteArray> KeeperReturnWatch::probeNicks() {
    QList<QByteArray> nicks;
    int bytes = 0;
    for (std::size_t looked = turns_.size(); looked > 0 && !turns_.empty(); --looked) {
        QString name = std::move(turns_.front());
        turns_.pop_front();
        if (!since_.contains(name))
            continue; // forgotten meanwhile
        const QByteArray nick = name.toLatin1();
        if (bytes + nick.size() + 1 > kNickBytesPerProbe) {
            turns_.push_front(std::move(name));
            break;
        }
        bytes += nick.size() + 1;
        nicks.append(nick);
        turns_.push_back(std::move(name));
    }
    return nicks;
}

void KeeperReturnWatch::answered(const IrcMessage& answer) {
    if (since_.isEmpty())
        return;
    for (const QByteArray& nick : answer.last().split(' ')) {
        if (nick.isEmpty())
            continue;
        const QString recipient = hooks_.keyOf(nick);
        if (since_.remove(recipient))
            hooks_.returned(nick, recipient);
    }
}

void KeeperReturnWatch::forgetOld(qint64 now) {
    since_.removeIf([now](const auto& entry) { return now - entry.value() >= kForgetAfterMs; });
    if (since_.isEmpty())
        turns_.clear();
}

// Asks again after a pause that grows with the time since the last departure.
void KeeperReturnWatch::schedule() {
    int pause = clock_.monotonicMs() - youngestMs_ < kFirstPollsForMs ? kFirstPollMs : kLaterPollMs;
    if (hooks_.paced())
        pause = std::max(pause, kPacedPollMs);
    alarm_->start(pause);
}

} // namespace jackwell::keeper
