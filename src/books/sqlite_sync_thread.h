#pragma once

#include <QObject>
#include <QString>
#include <QThread>

#include <functional>
#include <memory>

namespace jackwell::books {

// Makes what SQLite wrote to a books file safe on disk away from the event loop. The books
// commit without waiting for the disk (WAL mode, synchronous = NORMAL) and ask this thread to
// sync the write-ahead log; what depends on a commit waits for the answer. A sync can take
// tens of milliseconds on a busy disk, and a robot that stops reading its connection that long
// under a flood is dropped by the server.
//
// The thread also moves the log's pages into the books file (a passive checkpoint, on a
// connection of its own) from time to time, so that the log does not grow without end and the
// event loop never does that work either.
class SqliteSyncThread {
public:
    // Syncs between two checkpoints.
    static constexpr int kSyncsPerCheckpoint = 200;

    explicit SqliteSyncThread(QString databasePath);
    // Waits for the sync under way, if any; answers not yet delivered are dropped.
    ~SqliteSyncThread();

    // Syncs the log, then runs `done` on the calling thread's event loop with whether the sync
    // succeeded. Answers come in the order of the requests; each covers every commit made
    // before its request.
    void sync(std::function<void(bool synced)> done);

private:
    class Worker;

    QString databasePath_;
    QThread thread_;
    Worker* worker_ = nullptr;         // lives in thread_, deleted when it finishes
    std::unique_ptr<QObject> context_; // the calling thread's end: answers die with it
};

} // namespace jackwell::books
