#pragma once

#include "irc/irc_message.h"
#include "keeper/keeper_config.h"
#include "keeper/player_key.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace jackwell {

class IrcConnection;

namespace keeper {

// Whether books are kept by services account on `connection`: as configured, or, left to the
// robot (auto), wherever the network has accounts at all (see accountSigns). A network with
// accounts is never played by nickname: whoever takes a player's nickname after them would play
// on their credits.
bool usesAccounts(Identity identity, const IrcConnection& connection);
// The capabilities `connection`'s server offers for services accounts, of sasl, account-notify,
// account-tag and extended-join; a robot logged in to an account also shows that there are some.
QStringList accountCapabilities(const IrcConnection& connection);
// How books are kept on `connection` and why, for the log: "services account (the network has
// accounts: the server offers sasl, account-notify)".
QString identityChoice(Identity identity, const IrcConnection& connection);

// The books name of a services account: "account:" and the account in the server's case
// mapping. No nickname holds a ':', so an account's books never meet a nickname's.
QString accountIdentity(QByteArrayView account, CaseMapping mapping);

// Which services account each nickname is logged in to, for a server that does not tag every
// message with it: learnt from the channel (extended-join, account-notify) and, for a nickname
// the robot has not seen there, from WHOIS. A message from an unknown nickname waits for the
// WHOIS answer. What is known holds only for one connection of one nickname: it is forgotten when
// the nickname quits, is renamed or is said not to be there; and the robot, which hears nothing
// of a nickname outside its channel, forgets what WHOIS said of it once the messages that waited
// for the answer are served (see KeeperRoster). Nicknames are named by their player keys.
class KeeperAccounts {
public:
    static constexpr qsizetype kMostKnown = 20000;
    static constexpr qsizetype kMostAsked = 100;     // nicknames waiting for WHOIS at once
    static constexpr qsizetype kMostWaitingEach = 4; // messages kept for each

    // What the server said: `account` empty when the nickname is logged out.
    void learn(const QString& nick, const QByteArray& account);
    void forget(const QString& nick);
    void forgetAll() { known_.clear(); }
    // nullopt when unknown; an empty account when the nickname is logged out.
    std::optional<QByteArray> accountOf(const QString& nick) const;

    // Keeps `message` of `nick` until the WHOIS answer; true when a WHOIS is to be asked now
    // (the first message of that nickname). A message that finds no room is dropped.
    bool wait(const QString& nick, const IrcMessage& message);
    // The WHOIS of `nick` ended: a nickname it named no account for is logged out; returns the
    // messages that waited, in order.
    std::vector<IrcMessage> whoisEnded(const QString& nick);
    // A new connection: nothing known holds any more.
    void clear();

private:
    QHash<QString, QByteArray> known_;
    QHash<QString, std::vector<IrcMessage>> waiting_;
};

} // namespace keeper
} // namespace jackwell
