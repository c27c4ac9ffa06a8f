#pragma once

#include "keeper/keeper_send_queue.h"

#include <QByteArray>
#include <QString>

namespace jackwell::keeper {

class BooksWorker;
class KeeperDeliveries;
class KeeperRoster;

// Answers that tell of the books, once the books' worker has them committed and safe on disk
// (see BooksWorker): they join the send queue, unless their player is known to have left.
// Messages the books did not take are never answered from them: their players hear that the
// machine is out of order and that nothing was booked.
class KeeperDurableAnswers {
public:
    // Seconds of output the queue and the messages on their way through the books may hold
    // before new messages are left unanswered.
    static constexpr int kBusySeconds = 10;
    static constexpr int kLinesPerMessage = 4;

    // A line ready to go out.
    struct Line {
        QString lane; // the recipient's player key, or the channel's lane
        QByteArray line;
        KeeperSendQueue::Written written;
        bool droppable = true;
        QString player; // whose books it tells of; empty for lines to the channel
        QByteArray nick;
    };

    // All must outlive this.
    KeeperDurableAnswers(KeeperSendQueue& queue, const KeeperRoster& roster,
                         KeeperDeliveries& deliveries, const BooksWorker& worker);

    void say(Line line);
    // Nothing of the player's message was booked: they are told so.
    void notBooked(const QString& player, const QString& lane, const QByteArray& nick);
    // Whether the queue and the messages on their way through the books hold more than the robot
    // can say in kBusySeconds.
    bool isBehind() const;

private:
    KeeperSendQueue& queue_;
    const KeeperRoster& roster_;
    KeeperDeliveries& deliveries_;
    const BooksWorker& worker_;
};

} // namespace jackwell::keeper
