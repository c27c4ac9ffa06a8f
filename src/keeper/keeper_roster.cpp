#include "keeper/keeper_roster.h"

#include "clock/clock.h"
#include "irc/irc_connection.h"
#include "irc/irc_numerics.h"
#include "keeper/keeper_send_queue.h"
#include "machine/texts.h"

namespace jackwell::keeper {

namespace {

bool isJoinRefusal(const QByteArray& command) {
    // Full, invite only, banned, bad key, too many channels.
    return command == irc_numeric::channelIsFull || command == irc_numeric::inviteOnlyChannel ||
           command == irc_numeric::bannedFromChannel || command == irc_numeric::badChannelKey ||
           command == irc_numeric::tooManyChannels;
}

} // namespace

KeeperRoster::KeeperRoster(Clock& clock, const IrcConnection& connection, KeeperSendQueue& queue,
                           Hooks hooks)
    : connection_(connection)
    , queue_(queue)
    , hooks_(std::move(hooks)) {
    rejoinAlarm_ = clock.createAlarm([this, queue = &queue] {
        if (queue->isOpen() && !joined_)
            queue->push(KeeperSendQueue::kOwnLane, ircLine("JOIN", {connection_.config().channel}),
                        {}, false);
    });
}

KeeperRoster::~KeeperRoster() = default;

void KeeperRoster::reset() {
    joined_ = false;
    presence_.clear();
    accounts_.clear();
    members_.clear();
}

bool KeeperRoster::take(const IrcMessage& message) {
    const QByteArray& command = message.command;
    if (command == "JOIN") {
        onJoin(message);
    } else if (command == "QUIT" || command == "PART" || command == "NICK" ||
               command == irc_numeric::noSuchNick) {
        onDeparture(message);
    } else if (command == "ACCOUNT" || command == irc_numeric::whoisAccount ||
               command == irc_numeric::endOfWhois) {
        onAccountNews(message);
    } else if (command == irc_numeric::namReply) {
        onNames(message);
    } else if (command == "KICK") {
        onKick(message);
    } else if (command == irc_numeric::isupport) {
        if (const auto name = connection_.isupport("CASEMAPPING"))
            caseMapping_ = caseMappingNamed(*name);
    } else if (isJoinRefusal(command)) {
        hooks_.log(QtWarningMsg, QStringLiteral("cannot join %1 (%2); trying again later")
                                     .arg(QString::fromLatin1(connection_.config().channel),
                                          QString::fromUtf8(message.last().left(100))));
        rejoinAlarm_->start(kRejoinMs);
    } else {
        return false;
    }
    return true;
}

void KeeperRoster::onJoin(const IrcMessage& message) {
    const QByteArray& channel = connection_.config().channel;
    if (!sameNickname(message.param(0), channel) || !isUserPrefix(message.prefix))
        return;
    const QByteArray nick = nickOf(message.prefix);
    const QString key = keyOf(nick);
    presence_.markHere(key);
    addMember(key);
    // extended-join: "JOIN #channel account :real name", "*" for no account.
    if (connection_.hasCapability("extended-join") && message.params.size() >= 2)
        accounts_.learn(key, message.param(1) == "*" ? QByteArray() : message.param(1));
    if (sameNickname(nick, connection_.nick())) {
        joined_ = true;
        hooks_.log(QtInfoMsg, QStringLiteral("joined %1").arg(QString::fromLatin1(channel)));
        hooks_.arrived();
    } else if (joined_) {
        hooks_.log(QtDebugMsg, QStringLiteral("%1 joined %2")
                                   .arg(QString::fromUtf8(nick), QString::fromLatin1(channel)));
        hooks_.joined(nick, key);
    }
}

void KeeperRoster::onKick(const IrcMessage& message) {
    if (!sameNickname(message.param(0), connection_.config().channel))
        return;
    if (!sameNickname(message.param(1), connection_.nick())) {
        const QString key = keyOf(message.param(1));
        markGone(key);
        accounts_.forget(key);
        members_.remove(key);
    } else {
        // Out of the channel, the robot hears no more of anyone's account.
        joined_ = false;
        accounts_.forgetAll();
        members_.clear();
        hooks_.log(QtWarningMsg, QStringLiteral("kicked from %1; joining again soon")
                                     .arg(QString::fromLatin1(connection_.config().channel)));
        rejoinAlarm_->start(kRejoinMs);
    }
}

// Who is in the channel when the robot joins: "353 me = #channel :@op +voiced plain".
void KeeperRoster::onNames(const IrcMessage& message) {
    if (message.params.size() < 4 || !sameNickname(message.param(2), connection_.config().channel))
        return;
    for (QByteArray nick : message.last().split(' ')) {
        while (!nick.isEmpty() && QByteArrayView("~&@%+").contains(nick.front()))
            nick.remove(0, 1);
        if (!nick.isEmpty()) {
            presence_.markHere(keyOf(nick));
            addMember(keyOf(nick));
        }
    }
}

// Someone the robot can no longer reach: a member of its channel who quit, left or took another
// nickname, or a nickname the server says is not there. (The robot's own change of nickname is
// KeeperNickReclaim's.)
void KeeperRoster::onDeparture(const IrcMessage& message) {
    const QByteArray& command = message.command;
    if (command == irc_numeric::noSuchNick) {
        const QString key = keyOf(message.param(1));
        markGone(key);
        accounts_.forget(key);
        members_.remove(key);
        return;
    }
    if (!isUserPrefix(message.prefix))
        return;
    const QByteArray nick = nickOf(message.prefix);
    if (sameNickname(nick, connection_.nick()))
        return; // the robot's own
    if (command == "PART" && !sameNickname(message.param(0), connection_.config().channel))
        return;
    hooks_.log(QtDebugMsg,
               command == "NICK"
                   ? QStringLiteral("%1 is now %2")
                         .arg(QString::fromUtf8(nick), QString::fromUtf8(message.param(0)))
               : command == "QUIT"
                   ? QStringLiteral("%1 quit").arg(QString::fromUtf8(nick))
                   : QStringLiteral("%1 left %2")
                         .arg(QString::fromUtf8(nick), QString::fromUtf8(message.param(0))));
    const QString key = keyOf(nick);
    markGone(key);
    // Whoever holds the nickname now, and whatever the new one is logged in to, is asked anew.
    accounts_.forget(key);
    members_.remove(key);
    if (command == "NICK") {
        const QString renamed = keyOf(message.param(0));
        presence_.markHere(renamed);
        accounts_.forget(renamed);
        addMember(renamed);
    }
}

// What the server says of accounts: "ACCOUNT name" (account-notify, "*" when logged out), and
// the WHOIS answers "330 me nick account :..." and "318 me nick :End".
void KeeperRoster::onAccountNews(const IrcMessage& message) {
    const QByteArray& command = message.command;
    if (command == "ACCOUNT") {
        if (isUserPrefix(message.prefix))
            accounts_.learn(keyOf(nickOf(message.prefix)),
                            message.param(0) == "*" ? QByteArray() : message.param(0));
    } else if (command == irc_numeric::whoisAccount) {
        accounts_.learn(keyOf(message.param(1)), message.param(2));
    } else {
        const QString key = keyOf(message.param(1));
        for (const IrcMessage& waited : accounts_.whoisEnded(key))
            hooks_.identified(waited, key);
        // Outside the channel the robot would not hear them quit, nor without account-notify
        // log in or out: the answer served the messages that waited for it, and the next
        // message asks again.
        if (!isMember(key) || !connection_.hasCapability("account-notify"))
            accounts_.forget(key);
    }
}

// Nothing more goes to `player` until they write again; what they were not told stays in the
// books, to be told on their next message.
void KeeperRoster::addMember(const QString& player) {
    // Beyond this many, newcomers count as unseen: asked about on every message.
    if (members_.size() < KeeperAccounts::kMostKnown)
        members_.insert(player);
}

void KeeperRoster::markGone(const QString& player) {
    presence_.markGone(player);
    hooks_.gone(player);
}

std::optional<QString> KeeperRoster::playerOf(const IrcMessage& message, const QByteArray& nick,
                                              const QString& recipient, Identity identity) {
    if (!usesAccounts(identity, connection_))
        return recipient;
    QByteArray account;
    if (connection_.hasCapability("account-tag")) {
        account = message.tag("account").value_or(QByteArray());
    } else {
        const std::optional<QByteArray> known = accounts_.accountOf(recipient);
        if (!known) {
            if (accounts_.wait(recipient, message))
                queue_.push(KeeperSendQueue::kOwnLane, ircLine("WHOIS", {nick}), {}, false);
            return std::nullopt;
        }
        account = *known;
    }
    if (account.isEmpty() || account == "*") {
        hooks_.log(QtInfoMsg, QStringLiteral("refused %1: not logged in to an account")
                                  .arg(QString::fromLatin1(nick)));
        queue_.push(recipient,
                    ircLine("PRIVMSG", {nick},
                            QByteArray(machine::kLogInFirst.data(), machine::kLogInFirst.size())));
        return std::nullopt;
    }
    return accountIdentity(account, caseMapping_);
}

} // namespace jackwell::keeper
