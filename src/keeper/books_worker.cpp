#include "keeper/books_worker.h"

#include "books/keeper_books.h"
#include "clock/clock.h"
#include "keeper/keeper_turns.h"

#include <QMutexLocker>
#include <QPointer>

#include <algorithm>

namespace jackwell::keeper {

// The books' end of the worker: takes whatever was handed over, as one batch.
class BooksWorker::Runner : public QObject {
public:
    explicit Runner(BooksWorker& worker)
        : worker_(worker) {}

    void drain() {
        for (;;) {
            Batch batch;
            {
                QMutexLocker lock(&worker_.mutex_);
                batch.swap(worker_.incoming_);
            }
            if (batch.empty() || worker_.stopping_)
                return;
            runBatch(batch);
        }
    }

private:
    void runBatch(const Batch& batch) {
        books::KeeperBooks& books = worker_.books_;
        const qint64 began = worker_.clock_.monotonicMs();
        busy();
        const bool batched = books.beginBatch();
        Batch begun;
        for (const std::shared_ptr<Job>& job : batch) {
            int waiting = Waiting;
            if (worker_.stopping_ || !job->state.compare_exchange_strong(waiting, Running))
                continue;
            busy();
            if (job->work)
                job->work(books);
            begun.push_back(job);
        }
        if (worker_.stopping_) {
            if (batched)
                books.rollbackBatch();
            worker_.busyWith_ = 0;
            return;
        }
        busy();
        const bool committed = books.commitBatch();
        Ending ending{committed ? Outcome::Booked : Outcome::NotBooked,
                      committed ? QString() : books.lastError(), books.failedForGood()};
        if (!committed && books.outcomeUnknown())
            ending.outcome = Outcome::Unknown;
        worker_.busyWith_ = 0;
        if (begun.empty())
            return;
        const QPointer<BooksWorker> worker(&worker_);
        auto answer = [worker, begun, ending, began](bool durable) mutable {
            if (ending.outcome == Outcome::Booked && !durable)
                ending.outcome = Outcome::NotDurable;
            // From whichever thread the books answer on, to the event loop's.
            QMetaObject::invokeMethod(
                worker.data(),
                [worker, begun, ending, began] {
                    if (worker)
                        worker->answer(begun, ending, began);
                },
                Qt::QueuedConnection);
        };
        if (committed)
            books.whenDurable(answer);
        else
            answer(true);
    }

    // A new group of statements begins: the event loop's watch on stalls starts over.
    void busy() { worker_.busyWith_ = ++groups_; }

    BooksWorker& worker_;
    quint64 groups_ = 0;
};

BooksWorker::BooksWorker(Clock& clock, books::KeeperBooks& books, KeeperLogger log,
                         std::unique_ptr<KeeperTurns> turns)
    : clock_(clock)
    , books_(books)
    , turns_(std::move(turns))
    , log_(std::move(log))
    , checkAlarm_(clock.createAlarm([this] { check(); })) {
    runner_ = new Runner(*this);
    runner_->moveToThread(&thread_);
    QObject::connect(&thread_, &QThread::finished, runner_, &QObject::deleteLater);
    thread_.setObjectName(QStringLiteral("books"));
    thread_.start();
}

BooksWorker::~BooksWorker() {
    stopping_ = true;
    if (busyWith_ != 0)
        books_.interruptStalled();
    thread_.quit();
    thread_.wait();
}

void BooksWorker::submit(Work work, Answer answer) {
    auto job = std::make_shared<Job>();
    job->work = std::move(work);
    job->answer = std::move(answer);
    job->deadline = clock_.monotonicMs() + kDeadlineMs;
    jobs_.push_back(job);
    bool wake = false;
    {
        QMutexLocker lock(&mutex_);
        wake = incoming_.empty();
        incoming_.push_back(std::move(job));
    }
    if (wake)
        QMetaObject::invokeMethod(runner_, [runner = runner_] { runner->drain(); });
    if (!checkAlarm_->isActive())
        checkAlarm_->start(kCheckMs);
}

void BooksWorker::submitTurn(TurnWork work, Answer answer) {
    Q_ASSERT(turns_); // a worker made without turns takes other work only
    submit([turns = turns_.get(), work = std::move(work)](books::KeeperBooks&) { work(*turns); },
           std::move(answer));
}

// Work past its deadline is answered as never begun; books on one statement too long are logged
// and cut short.
void BooksWorker::check() {
    const qint64 now = clock_.monotonicMs();
    std::vector<std::shared_ptr<Job>> expired;
    for (const std::shared_ptr<Job>& job : jobs_) {
        int waiting = Waiting;
        if (now >= job->deadline && job->state.compare_exchange_strong(waiting, Expired))
            expired.push_back(job);
    }
    if (!expired.empty()) {
        std::erase_if(jobs_, [](const auto& job) { return job->state == Expired; });
        log_(QtWarningMsg, QStringLiteral("the books did not take %1 message(s) in time; nothing "
                                          "of them was booked")
                               .arg(expired.size()));
        for (const std::shared_ptr<Job>& job : expired)
            job->answer({Outcome::Expired, {}, false});
    }
    const quint64 busy = busyWith_;
    if (busy == 0 || busy != seenBusyWith_) {
        seenBusyWith_ = busy;
        seenBusySince_ = now;
    } else if (now - seenBusySince_ >= kStallMs) {
        log_(QtWarningMsg, QStringLiteral("the books have not answered for %1 s; the statement is "
                                          "cut short")
                               .arg((now - seenBusySince_) / 1000));
        books_.interruptStalled();
        seenBusySince_ = now;
    }
    if (!jobs_.empty() || busy != 0)
        checkAlarm_->start(kCheckMs);
}

void BooksWorker::answer(const Batch& batch, const Ending& ending, qint64 batchBegan) {
    commitTime_.observe(clock_.monotonicMs() - batchBegan);
    for (const std::shared_ptr<Job>& job : batch) {
        const auto found = std::ranges::find(jobs_, job);
        if (found == jobs_.end())
            continue;
        jobs_.erase(found);
        job->answer(ending);
    }
}

} // namespace jackwell::keeper
