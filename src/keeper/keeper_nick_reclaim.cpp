#include "keeper/keeper_nick_reclaim.h"

#include "clock/clock.h"
#include "irc/irc_connection.h"
#include "irc/irc_numerics.h"
#include "keeper/keeper_send_queue.h"

#include <algorithm>

namespace jackwell::keeper {

KeeperNickReclaim::KeeperNickReclaim(Clock& clock, IrcConnection& connection,
                                     KeeperSendQueue& queue, Hooks hooks)
    : connection_(connection)
    , queue_(queue)
    , hooks_(std::move(hooks)) {
    // Set only under a fallback nickname while connected: taking the nickname back and a lost
    // connection stop it.
    alarm_ = clock.createAlarm([this] {
        // The answer to the probe says whether the nickname is taken (see probeAnswered).
        hooks_.queueProbe();
        alarm_->start(kNickWatchMs);
    });
}

KeeperNickReclaim::~KeeperNickReclaim() = default;

bool KeeperNickReclaim::isUnderFallback() const {
    return !sameNickname(connection_.nick(), connection_.config().nick);
}

bool KeeperNickReclaim::take(const IrcMessage& message) {
    const QByteArray& command = message.command;
    if (command == irc_numeric::endOfMotd || command == irc_numeric::noMotd) {
        watch(true);
        return true;
    }
    if (command == irc_numeric::monOffline) {
        if (monitoring_) {
            for (const QByteArray& nick : message.last().split(','))
                if (sameNickname(nickOf(nick), connection_.config().nick))
                    claim();
        }
        return true;
    }
    // The connection knows its new nickname already.
    if (command == "NICK" && isUserPrefix(message.prefix) &&
        sameNickname(message.param(0), connection_.nick())) {
        changed(message.param(0));
        return true;
    }
    return false;
}

void KeeperNickReclaim::watch(bool sayWhy) {
    if (!isUnderFallback() || monitoring_ || alarm_->isActive())
        return;
    if (sayWhy)
        hooks_.log(QtWarningMsg,
                   QStringLiteral("the nickname %1 is taken; serving as %2 and taking it "
                                  "back once it is free")
                       .arg(QString::fromLatin1(connection_.config().nick),
                            QString::fromLatin1(connection_.nick())));
    if (connection_.isupport("MONITOR")) {
        monitoring_ = true;
        sendAside(ircLine("MONITOR", {"+", connection_.config().nick}));
    } else {
        alarm_->start(kNickWatchMs);
    }
}

// A line of its own, sent past the queue; the queue counts it against its pace all the same.
void KeeperNickReclaim::sendAside(const QByteArray& line) {
    connection_.send(line);
    queue_.noteSentElsewhere(1);
}

void KeeperNickReclaim::claim() {
    if (!isUnderFallback() || !connection_.isRegistered())
        return;
    sendAside(ircLine("NICK", {connection_.config().nick}));
}

void KeeperNickReclaim::changed(const QByteArray& nick) {
    if (!sameNickname(nick, connection_.config().nick)) {
        // Renamed by the server or its services: players write to the robot's own name.
        hooks_.log(QtWarningMsg,
                   QStringLiteral("the server renamed the robot to %1; taking %2 back")
                       .arg(QString::fromLatin1(nick.left(100)),
                            QString::fromLatin1(connection_.config().nick)));
        claim();
        watch(false);
        return;
    }
    hooks_.log(QtInfoMsg,
               QStringLiteral("took back the nickname %1").arg(QString::fromLatin1(nick)));
    alarm_->stop();
    if (monitoring_) {
        monitoring_ = false;
        sendAside(ircLine("MONITOR", {"-", connection_.config().nick}));
    }
    hooks_.reclaimed();
}

QByteArray KeeperNickReclaim::probeLine(const QList<QByteArray>& alsoAsked) const {
    QList<QByteArray> nicks{connection_.nick()};
    if (!monitoring_ && isUnderFallback())
        nicks.append(connection_.config().nick);
    if (alsoAsked.isEmpty())
        return ircLine("ISON", nicks);
    return ircLine("ISON", nicks, alsoAsked.join(' '));
}

void KeeperNickReclaim::probeAnswered(const IrcMessage& answer) {
    if (monitoring_ || !queue_.isOpen() || !isUnderFallback())
        return;
    const QList<QByteArray> present = answer.last().split(' ');
    if (std::ranges::none_of(present, [&](const QByteArray& nick) {
            return sameNickname(nick, connection_.config().nick);
        }))
        claim();
}

void KeeperNickReclaim::reset() {
    monitoring_ = false;
    alarm_->stop();
}

} // namespace jackwell::keeper
