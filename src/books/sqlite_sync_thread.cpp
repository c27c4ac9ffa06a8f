#include "books/sqlite_sync_thread.h"

#include <QAtomicInteger>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>

#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

namespace jackwell::books {

class SqliteSyncThread::Worker : public QObject {
public:
    explicit Worker(QString databasePath)
        : databasePath_(std::move(databasePath)) {}

    ~Worker() override {
        if (!connectionName_.isEmpty()) {
            QSqlDatabase::database(connectionName_, false).close();
            QSqlDatabase::removeDatabase(connectionName_);
        }
    }

    bool syncLog() {
        const bool synced = syncFile(databasePath_ + QStringLiteral("-wal"));
        if (synced && ++syncs_ % kSyncsPerCheckpoint == 0)
            checkpoint();
        return synced;
    }

private:
    // A log that is not there holds nothing to sync.
    static bool syncFile(const QString& path) {
        const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            return errno == ENOENT;
        const bool synced = ::fsync(fd) == 0;
        ::close(fd);
        return synced;
    }

    // Passive: it never waits for the event loop's connection, nor makes it wait.
    void checkpoint() {
        if (connectionName_.isEmpty()) {
            static QAtomicInteger<int> counter;
            connectionName_ =
                QStringLiteral("jackwell-books-sync-%1").arg(counter.fetchAndAddRelaxed(1));
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connectionName_);
            db.setDatabaseName(databasePath_);
            if (!db.open())
                return;
        }
        QSqlDatabase db = QSqlDatabase::database(connectionName_, false);
        QSqlQuery query(db);
        query.exec(QStringLiteral("PRAGMA wal_checkpoint(PASSIVE)"));
    }

    QString databasePath_;
    QString connectionName_;
    quint64 syncs_ = 0;
};

SqliteSyncThread::SqliteSyncThread(QString databasePath)
    : databasePath_(std::move(databasePath))
    , context_(std::make_unique<QObject>()) {
    worker_ = new Worker(databasePath_);
    worker_->moveToThread(&thread_);
    QObject::connect(&thread_, &QThread::finished, worker_, &QObject::deleteLater);
    thread_.setObjectName(QStringLiteral("books sync"));
    thread_.start();
}

SqliteSyncThread::~SqliteSyncThread() {
    // Once the thread has ended nothing posts to the context any more; answers it has posted
    // already go with it.
    thread_.quit();
    thread_.wait();
    context_.reset();
}

void SqliteSyncThread::sync(std::function<void(bool synced)> done) {
    QMetaObject::invokeMethod(
        worker_,
        [worker = worker_, context = context_.get(), done = std::move(done)]() mutable {
            const bool synced = worker->syncLog();
            QMetaObject::invokeMethod(
                context, [done = std::move(done), synced] { done(synced); }, Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
}

} // namespace jackwell::books
