#pragma once

#include <QHash>
#include <QString>

#include <deque>
#include <utility>
#include <vector>

namespace jackwell::keeper {

// Follows each player's latest game result from the send queue to the server, so that a
// player who sends the same holds again (their result never came) is told the result again
// instead of playing the next game with holds meant for the last one.
//
// A result is Queued while it waits in the send queue, Sent once handed to the connection, and
// known to be delivered when the server has answered a probe sent after it: the server handles
// one client's lines in order, so by then it has passed the result on. Results sent over a
// connection that was lost may never have arrived and are forgotten (Unknown).
class KeeperDeliveries {
public:
    enum class Status { Unknown, Queued, Sent };
    using Marks = std::vector<std::pair<QString, qint64>>; // player, game

    // What became of `player`'s result of `game`.
    Status status(const QString& player, qint64 game) const;

    void queued(const QString& player, qint64 game);
    void handedOver(const QString& player, qint64 game);
    // The player has been told about their game since; nothing to follow.
    void forget(const QString& player);

    // True when results were handed over after the last probe.
    bool needsProbe() const { return handedOverSeq_ > probedSeq_; }
    // A probe was handed to the connection: it covers every result handed over before it.
    void probeSent();
    // The server answered the oldest probe: the results it covers, now delivered.
    Marks probeAnswered();
    // The connection is gone: results sent over it and probes in flight are unknown.
    void connectionLost();

    qsizetype followed() const { return entries_.size(); }

private:
    struct Entry {
        qint64 game = 0;
        Status status = Status::Queued;
        quint64 seq = 0; // order of handing over
    };

    QHash<QString, Entry> entries_;
    std::deque<quint64> probes_; // the last seq each probe in flight covers, oldest first
    quint64 handedOverSeq_ = 0;
    quint64 probedSeq_ = 0;
};

} // namespace jackwell::keeper
