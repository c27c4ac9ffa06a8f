#pragma once

#include "keeper/keeper_log.h"
#include "keeper/keeper_send_queue.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <vector>

namespace jackwell::books {
class KeeperBooks;
}

namespace jackwell::keeper {

class KeeperDeliveries;
class KeeperLastWords;
class KeeperPresence;

// Answers held until what they tell of is safe on disk. Messages that arrive together (one read
// from the server) are booked in one batch, so that a burst of games costs one sync to the disk;
// their answers wait until it is committed and synced, and then join the send queue, the event
// loop going on meanwhile. Answers the books did not take are never told: their players hear
// that the machine is out of order. Nothing goes to a player known to have left.
class KeeperDurableAnswers : public QObject {
public:
    // Seconds of output the queue and the answers on their way to it may hold before new
    // messages are left unanswered.
    static constexpr int kBusySeconds = 10;

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
    KeeperDurableAnswers(books::KeeperBooks& books, KeeperSendQueue& queue,
                         const KeeperPresence& presence, KeeperDeliveries& deliveries,
                         KeeperLastWords& lastWords, KeeperLogger log);
    // As if killed: changes not yet committed are gone, and so are their answers.
    ~KeeperDurableAnswers() override;

    // Opens a batch unless one is open; it closes on the next turn of the event loop.
    void openBatch();
    void closeBatch();
    void say(Line line);
    qsizetype heldFor(const QString& lane) const;
    // The player of `lane` left: their lines held back are dropped.
    void dropFor(const QString& lane);
    // Whether the queue and the answers on their way to it hold more than the robot can say
    // in kBusySeconds.
    bool isBehind() const;

private:
    void releaseWhenDurable(std::vector<Line> lines);
    void release(std::vector<Line> lines, bool durable);

    books::KeeperBooks& books_;
    KeeperSendQueue& queue_;
    const KeeperPresence& presence_;
    KeeperDeliveries& deliveries_;
    KeeperLastWords& lastWords_;
    KeeperLogger log_;
    bool batchOpen_ = false;
    std::vector<Line> held_;          // answers of the open batch
    qsizetype linesAwaitingDisk_ = 0; // answers committed, waiting for the disk
};

} // namespace jackwell::keeper
