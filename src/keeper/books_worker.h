#pragma once

#include "keeper/keeper_log.h"
#include "keeper/keeper_metrics.h"

#include <QMutex>
#include <QObject>
#include <QString>
#include <QThread>

#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

namespace jackwell {

class Alarm;
class Clock;

namespace books {
class KeeperBooks;
}

namespace keeper {

class KeeperTurns;

// The robot's books on a thread of their own, so that the event loop (the IRC connection and
// its PINGs, the lines for every player) never waits for them. Work is handed over in order and
// run there in batches: what was handed over meanwhile goes into one batch of the books (see
// KeeperBooks::beginBatch), committed and made durable at once; each piece's answer then comes
// back to the event loop, in order, with how its batch ended.
//
// Every piece of work has a deadline: one not begun within kDeadlineMs is never run, and its
// answer says so (nothing of it was booked). A statement the books have been on for kStallMs is
// logged and cut short (KeeperBooks::interruptStalled); what it was part of then ends as the
// books say. Nothing else touches the books while the worker lives, and nothing else reaches the
// robot's turns (KeeperTurns), which live on the books' thread with them.
class BooksWorker : public QObject {
public:
    static constexpr int kDeadlineMs = 8000;
    static constexpr int kStallMs = 6000;
    static constexpr int kCheckMs = 200;

    // How a piece of work ended, as its answer learns it on the event loop.
    enum class Outcome {
        Booked,     // its batch was committed and is safe on disk
        NotBooked,  // its batch was not committed: nothing of it was kept
        NotDurable, // committed, but the disk could not be made to keep it
        // its commit went unanswered and the books could not be read back: whether it was kept
        // is told when they can be
        Unknown,
        Expired, // never begun: nothing of it was booked
    };
    struct Ending {
        Outcome outcome = Outcome::Booked;
        // What the books said when the batch was not committed, and whether they can take no
        // more changes at all.
        QString error;
        bool failedForGood = false;
    };
    using Work = std::function<void(books::KeeperBooks&)>;
    using Answer = std::function<void(const Ending&)>;
    using TurnWork = std::function<void(KeeperTurns&)>;

    // `books` must outlive the worker, and is the worker's alone while it lives; so are `turns`
    // (if any), which work on them.
    BooksWorker(Clock& clock, books::KeeperBooks& books, KeeperLogger log,
                std::unique_ptr<KeeperTurns> turns = {});
    // As if the robot were killed: work not begun is dropped, the batch under way is rolled
    // back, and answers not yet given never come.
    ~BooksWorker() override;

    // Runs `work` (if any) on the books' thread, then `answer` on the event loop.
    void submit(Work work, Answer answer);
    // Runs `work` on the turns on the books' thread, then `answer` on the event loop.
    void submitTurn(TurnWork work, Answer answer);
    // Pieces of work handed over and not yet answered.
    qsizetype waiting() const { return qsizetype(jobs_.size()); }
    // From each batch begun to its commit safe on disk.
    const MetricsHistogram& commitTime() const { return commitTime_; }

private:
    enum State { Waiting, Running, Expired };
    struct Job {
        Work work;
        Answer answer;
        qint64 deadline = 0;
        std::atomic<int> state{Waiting};
    };
    using Batch = std::vector<std::shared_ptr<Job>>;
    class Runner;

    void check();
    void answer(const Batch& batch, const Ending& ending, qint64 batchBegan);

    Clock& clock_;
    books::KeeperBooks& books_;
    std::unique_ptr<KeeperTurns> turns_; // used on the books' thread only
    KeeperLogger log_;
    std::deque<std::shared_ptr<Job>> jobs_; // the event loop's: handed over, not yet answered
    std::unique_ptr<Alarm> checkAlarm_;
    MetricsHistogram commitTime_;
    QThread thread_;
    Runner* runner_ = nullptr; // lives in thread_, deleted when it finishes
    QMutex mutex_;
    Batch incoming_; // under mutex_: handed over, not yet taken by the runner
    std::atomic<bool> stopping_{false};
    // The number of the statement group the books are on (0: none), and how long the event
    // loop has seen it unchanged.
    std::atomic<quint64> busyWith_{0};
    quint64 seenBusyWith_ = 0;
    qint64 seenBusySince_ = 0;
};

} // namespace keeper
} // namespace jackwell
