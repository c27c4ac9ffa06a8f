#pragma once

#include "keeper/keeper_accounts.h"
#include "keeper/keeper_config.h"
#include "keeper/keeper_log.h"
#include "keeper/keeper_presence.h"
#include "keeper/player_key.h"

#include <QByteArray>
#include <QSet>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace jackwell {

class Alarm;
class Clock;
class IrcConnection;
struct IrcMessage;

namespace keeper {

class KeeperSendQueue;

// Whom the robot can reach: its channel (joined, and joined again kRejoinMs after a kick or a
// refusal), who is there and who left (KeeperPresence), and which services account each
// nickname is logged in to where the server says so (KeeperAccounts). Nicknames are named by
// their player keys, in the case mapping the server announced.
class KeeperRoster {
public:
    static constexpr int kRejoinMs = 5000;

    struct Hooks {
        // The robot joined its channel.
        std::function<void()> arrived;
        // Someone else joined the channel the robot is in.
        std::function<void(const QByteArray& nick, const QString& player)> joined;
        // Someone the robot can no longer reach (already marked gone).
        std::function<void(const QString& player)> gone;
        // A message that waited until WHOIS said who its sender is.
        std::function<void(const IrcMessage& message, const QString& player)> identified;
        KeeperLogger log;
    };

    // Joins `connection`'s channel; both parts must outlive this.
    KeeperRoster(Clock& clock, const IrcConnection& connection, KeeperSendQueue& queue,
                 Hooks hooks);
    ~KeeperRoster();

    // Joins, departures, names, account news, the server's case mapping and refusals to join;
    // false for any other message.
    bool take(const IrcMessage& message);
    // A new connection: what was known of the old one no longer holds.
    void reset();
    // Whose books `nick`'s message plays on under `identity`; nullopt when it plays on none (its
    // sender is asked to log in, or the message waits for the server to say who its sender is).
    std::optional<QString> playerOf(const IrcMessage& message, const QByteArray& nick,
                                    const QString& recipient, Identity identity);

    QString keyOf(QByteArrayView nick) const { return playerKey(nick, caseMapping_); }
    CaseMapping caseMapping() const { return caseMapping_; }
    bool isJoined() const { return joined_; }
    KeeperPresence& presence() { return presence_; }
    const KeeperPresence& presence() const { return presence_; }
    KeeperAccounts& accounts() { return accounts_; }
    // In the robot's channel, so that the server tells it when they quit, are renamed or change
    // account.
    bool isMember(const QString& player) const { return members_.contains(player); }

private:
    void onJoin(const IrcMessage& message);
    void onKick(const IrcMessage& message);
    void onNames(const IrcMessage& message);
    void onDeparture(const IrcMessage& message);
    void onAccountNews(const IrcMessage& message);
    void markGone(const QString& player);
    void addMember(const QString& player);

    const IrcConnection& connection_;
    KeeperSendQueue& queue_;
    Hooks hooks_;
    std::unique_ptr<Alarm> rejoinAlarm_;
    KeeperPresence presence_;
    KeeperAccounts accounts_;
    QSet<QString> members_;
    CaseMapping caseMapping_ = CaseMapping::Rfc1459;
    bool joined_ = false;
};

} // namespace keeper
} // namespace jackwell
