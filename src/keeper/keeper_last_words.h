#pragma once

#include "keeper/keeper_log.h"

#include <QObject>
#include <QString>

#include <functional>

namespace jackwell {

class Clock;
class IrcConnection;

namespace keeper {

class BooksWorker;
class KeeperSendQueue;

// What the robot does about books that refuse a change: the operator learns why (the player
// hears from the engine that the machine is out of order). Books that can take nothing more,
// or a disk that cannot be made to keep what was booked, stop the robot: it takes no more
// games, and stops once the answers already promised (the out-of-order notes among them) have
// gone out, or kLastWordsMs have passed.
class KeeperLastWords : public QObject {
public:
    static constexpr int kLastWordsMs = 3000;

    // All must outlive this.
    KeeperLastWords(Clock& clock, BooksWorker& worker, const KeeperSendQueue& queue,
                    const IrcConnection& connection, KeeperLogger log);

    // Called (from the event loop) when the robot is done.
    void setBooksFailed(std::function<void()> booksFailed) {
        booksFailed_ = std::move(booksFailed);
    }
    // The books refused a change for `player` (empty: for a whole batch), saying `error`;
    // `failedForGood`: they can take no more changes at all.
    void refused(const QString& player, const QString& error, bool failedForGood);
    // The books can be trusted with nothing more.
    void lost();
    // True once the robot is on its way out: it takes no more games.
    bool isLeaving() const { return leaving_; }

private:
    void stopWhenSaid(qint64 deadline);

    Clock& clock_;
    BooksWorker& worker_;
    const KeeperSendQueue& queue_;
    const IrcConnection& connection_;
    KeeperLogger log_;
    std::function<void()> booksFailed_;
    bool leaving_ = false;
};

} // namespace keeper
} // namespace jackwell
