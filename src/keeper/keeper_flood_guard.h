#pragma once

#include <QHash>
#include <QString>

namespace jackwell {

class Clock;

namespace keeper {

// How much of each player's writing the robot takes. Every message costs the robot a look into
// the books, and a game a write to the disk; a player who writes faster than anyone can play
// would otherwise take the robot's time (and the server's patience with it) from everybody.
// Each player has a bucket of kBurst messages that refills at kPerSecond; a message that finds
// it empty is dropped unread, and the first drop in a while earns the player one sentence.
//
// Memory stays bounded: players whose bucket is full again are forgotten, and at most
// kMaxPlayers are followed at once; past that the robot takes nobody new until some are
// forgotten.
class KeeperFloodGuard {
public:
    static constexpr int kBurst = 8;
    static constexpr int kPerSecond = 4;
    // A player is told at most this often that messages were dropped.
    static constexpr int kWarnEveryMs = 10000;
    static constexpr qsizetype kMaxPlayers = 50000;

    enum class Verdict {
        Take,        // answer the message
        DropAndWarn, // drop it and say so, once
        Drop,        // drop it without a word
    };

    explicit KeeperFloodGuard(Clock& clock);

    Verdict admit(const QString& player);
    // How long until `player` may send again (0: now).
    qint64 msUntilNext(const QString& player) const;
    qsizetype followed() const { return players_.size(); }

private:
    struct Bucket {
        double tokens = kBurst;
        qint64 refilledAtMs = 0;
        qint64 warnedAtMs = -1;
    };

    void refill(Bucket& bucket, qint64 now) const;
    void forgetIdle(qint64 now);

    Clock& clock_;
    QHash<QString, Bucket> players_;
    qint64 sweptAtMs_ = 0;
};

} // namespace keeper
} // namespace jackwell
