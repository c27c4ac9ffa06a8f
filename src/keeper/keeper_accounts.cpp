#include "keeper/keeper_accounts.h"

#include "keeper/bounded_hash.h"

#include "irc/irc_connection.h"

namespace jackwell::keeper {

bool usesAccounts(Identity identity, const IrcConnection& connection) {
    switch (identity) {
    case Identity::Account:
        return true;
    case Identity::Nick:
        return false;
    case Identity::Auto:
        break;
    }
    return !accountCapabilities(connection).isEmpty() || !connection.account().isEmpty();
}

QStringList accountCapabilities(const IrcConnection& connection) {
    QStringList offered;
    for (const char* capability : {"sasl", "account-notify", "account-tag", "extended-join"}) {
        if (connection.offersCapability(capability))
            offered.append(QString::fromLatin1(capability));
    }
    return offered;
}

QString identityChoice(Identity identity, const IrcConnection& connection) {
    switch (identity) {
    case Identity::Account:
        return QStringLiteral("services account (identity = account)");
    case Identity::Nick:
        return QStringLiteral("nickname (identity = nick)");
    case Identity::Auto:
        break;
    }
    QStringList signs;
    if (const QStringList offered = accountCapabilities(connection); !offered.isEmpty())
        signs.append(QStringLiteral("the server offers ") + offered.join(u", "));
    if (!connection.account().isEmpty())
        signs.append(QStringLiteral("the robot is logged in to one"));
    if (signs.isEmpty())
        return QStringLiteral("nickname (the network has no accounts: the server offers none of "
                              "sasl, account-notify, account-tag, extended-join)");
    return QStringLiteral("services account (the network has accounts: %1)").arg(signs.join(u"; "));
}

QString accountIdentity(QByteArrayView account, CaseMapping mapping) {
    return QStringLiteral("account:") + playerKey(account, mapping);
}

void KeeperAccounts::learn(const QString& nick, const QByteArray& account) {
    insertBounded(known_, nick, account, kMostKnown); // what is forgotten is asked again
}

void KeeperAccounts::forget(const QString& nick) {
    known_.remove(nick);
}

std::optional<QByteArray> KeeperAccounts::accountOf(const QString& nick) const {
    const auto found = known_.constFind(nick);
    if (found == known_.cend())
        return std::nullopt;
    return *found;
}

bool KeeperAccounts::wait(const QString& nick, const IrcMessage& message) {
    const auto found = waiting_.find(nick);
    if (found != waiting_.end()) {
        if (qsizetype(found->size()) < kMostWaitingEach)
            found->push_back(message);
        return false;
    }
    if (waiting_.size() >= kMostAsked)
        return false;
    waiting_.insert(nick, {message});
    return true;
}

std::vector<IrcMessage> KeeperAccounts::whoisEnded(const QString& nick) {
    if (!known_.contains(nick))
        learn(nick, {});
    return waiting_.take(nick);
}

void KeeperAccounts::clear() {
    known_.clear();
    waiting_.clear();
}

} // namespace jackwell::keeper
