#pragma once

#include <QHash>
#include <QString>

#include <deque>
#include <utility>
#include <vector>

namespace jackwell::keeper {

// Follows what each player was last told from the send queue to the server, so that holds are
// only ever played on a first draw the player was told, and a result that never reached its
// player is told again rather than lost.
//
// Two things are followed per player: their latest game result (the final draw and the next
// first draw, sent together) and a first draw told on its own (the answer to "Register me!").
// Each is Queued while it waits in the send queue and Sent once handed to the connection. It is
// known to have been delivered when the server has answered a probe sent after it: the server
// handles one client's lines in order, so by then it has passed it on. It is Lost when the
// recipient turned out to be gone before that (the server said "no such nick", or the player
// left while the probe was out), and so are first draws sent over a connection that was lost.
//
// A lost result is simply no longer followed: the books still hold it as not delivered, and the
// player is told it again. A lost first draw is kept as Lost until the player is told it again.
// What was delivered is marked in the books, so that a robot started again knows it too; both
// are kept as Delivered until their mark is in the books, so that a message read meanwhile, or a
// mark the books could not take, costs the player nothing while the robot runs.
class KeeperDeliveries {
public:
    enum class Status { Unknown, Queued, Sent, Delivered, Lost };
    using Marks = std::vector<std::pair<QString, qint64>>; // player, game
    // What the server's answer to a probe showed to have reached the players.
    struct Delivered {
        Marks results;
        Marks firstDraws; // the game each first draw told on its own is for
    };
    // First draws followed at most; past that, lost ones are forgotten first.
    static constexpr qsizetype kMaxFollowed = 50000;

    // What became of `player`'s result of `game` (never Lost: see above).
    Status status(const QString& player, qint64 game) const;
    // What became of the first draw last told to `player` on its own.
    Status firstDrawStatus(const QString& player) const;

    // What is known of `player` alone, for work done away from the event loop.
    KeeperDeliveries of(const QString& player) const;

    void queued(const QString& player, qint64 game);
    // The result's first line went to the connection: probes from now on cover it.
    void handedOver(const QString& player, qint64 game);
    // Its last line (the next first draw) went too: holds from now on may be for that draw.
    void wholeHandedOver(const QString& player, qint64 game);
    // The result of `game` (or a newer one) is still partly in the queue.
    bool isPartlyQueued(const QString& player, qint64 game) const;
    // A first draw told on its own, the first draw of the player's game `game`.
    void firstDrawQueued(const QString& player, qint64 game);
    void firstDrawHandedOver(const QString& player);
    // The first draw of `game` was held back from the player: it counts as lost until told.
    void firstDrawWithheld(const QString& player, qint64 game);
    // The player has been told about their game since; nothing to follow.
    void forget(const QString& player);
    // The player is gone: nothing that has not been confirmed yet reached them. True when
    // something was on its way to them.
    bool recipientGone(const QString& player);

    // True when something was handed over after the last probe.
    bool needsProbe() const { return handedOverSeq_ > probedSeq_; }
    // A probe was handed to the connection: it covers everything handed over before it.
    void probeSent();
    // The server answered the oldest probe: what it covers, now delivered.
    Delivered probeAnswered();
    // The books hold these results as delivered: they need no following any more.
    void resultsMarked(const Marks& marks);
    // The books hold these first draws as told: they need no following any more.
    void firstDrawsMarked(const Marks& marks);
    // The connection is gone: what was sent over it and probes in flight are unknown.
    void connectionLost();

    qsizetype followed() const { return results_.size() + firstDraws_.size(); }

private:
    struct Entry {
        qint64 game = 0;
        Status status = Status::Queued;
        quint64 seq = 0;     // order of handing over
        bool whole = false;  // every line of it handed over (results only)
        bool marked = false; // delivered, and so marked in the books (results only)
    };

    void makeRoomForFirstDraw();

    QHash<QString, Entry> results_;
    QHash<QString, Entry> firstDraws_;
    std::deque<quint64> probes_; // the last seq each probe in flight covers, oldest first
    quint64 handedOverSeq_ = 0;
    quint64 probedSeq_ = 0;
};

} // namespace jackwell::keeper
