#pragma once

#include "books/keeper_books.h"
#include "books/ledger_audit.h"
#include "books/sqlite_sync_thread.h"

#include <QSqlDatabase>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

class QLockFile;

namespace jackwell::books {

struct StoredPlayer;

// The machinekeeper's books in an SQLite file, safe against the program being killed at any
// moment: the file is in WAL mode, each call that changes the books is one transaction, and
// whenDurable() says when the log holding the commits so far is synced to the disk (on a thread
// of its own, see SqliteSyncThread). Games are numbered per player (1, 2, ...) and the ledger keeps
// each number once, so no game is ever booked twice. The file also keeps every grant of free
// credits, so that each player's credits can be traced from nothing to their present sum
// (see audit()).
//
// The books only take changes that keep them balanced: save() may grant free credits and
// change the waiting first draw but not the games or tokens, and commitGame() books exactly
// the game that was waiting, from the credits the player had. Anything else is refused.
//
// Books are made only on purpose (create(), the robot's --init): a missing or empty file is
// never taken for new books, since that would hand every player's credits and free games out
// anew. A file that is damaged, that cannot be written, or that is deleted or replaced while
// open is refused with the reason.
//
// One robot per file: two would each answer from their own idea of the waiting games. Books
// opened to serve hold a lock file beside theirs (`path`.lock) and a lock on the file itself, so
// that a link to the file is no way round, for as long as they are open.
class SqliteBooks : public KeeperBooks {
public:
    // To serve, open() checks the structure of the file (SQLite's quick_check, fast enough for
    // every start) and that it can be written; to audit, every page and index too
    // (integrity_check), and reading is enough.
    using Purpose = BooksPurpose;
    using Log = std::function<void(const QString&)>;

    // Why open() refused the books, for a caller that acts on the reason.
    enum class Refusal {
        Missing,     // no file there
        InUse,       // kept by another program (its lock file)
        Unavailable, // the books, their folder or their lock cannot be written, or Qt's SQLite
                     // driver is missing: nothing wrong with the file itself
        Damaged,     // empty, not books of this program, damaged or unreadable
        Newer,       // books of a layout newer than this program reads
    };

    // Opens the existing books at `path`. Null, with `error` set to one line naming the file
    // (and `refusal`, when given, to the reason), when it is missing, empty, not a books file of
    // this program, damaged, or (to serve) cannot be written or is kept by another robot.
    static std::unique_ptr<SqliteBooks> open(const QString& path, QString* error,
                                             Purpose purpose = Purpose::Serve,
                                             Refusal* refusal = nullptr);
    // Makes new, empty books at `path` and opens them to serve. Refuses a path where a file
    // already is.
    static std::unique_ptr<SqliteBooks> create(const QString& path, QString* error);
    // Makes new books at `path` as `making` asks, and leaves a mark beside them (`path`.made):
    // books found missing where the mark is are refused rather than made anew, which would hand
    // every player their free credits again. `log` hears that they were made, and a mark that
    // could not be left.
    static bool make(const QString& path, BooksMaking making, const Log& log, QString* error);
    ~SqliteBooks() override;

    SqliteBooks(const SqliteBooks&) = delete;
    SqliteBooks& operator=(const SqliteBooks&) = delete;

    std::optional<machine::PlayerRecord> load(const QString& player) override;
    bool save(const QString& player, const machine::PlayerRecord& record) override;
    bool commitGame(const QString& player, const machine::GameOutcome& outcome,
                    const machine::PlayerRecord& after) override;

    std::optional<Delivery> delivery(const QString& player) override;
    // The marks become durable with the next sync.
    bool markDelivered(const std::vector<std::pair<QString, qint64>>& marks) override;
    bool markFirstDrawsTold(const std::vector<std::pair<QString, qint64>>& marks) override;

    void whenDurable(std::function<void(bool durable)> then) override;

    // A batch is one transaction, made durable with a single sync to the disk.
    bool beginBatch() override;
    bool commitBatch() override;
    void rollbackBatch() override;
    bool inBatch() const override { return batch_; }

    bool readLedger(Ledger& ledger) override;

    QString lastError() const override { return lastError_; }
    const QString& path() const { return path_; }
    // Set once the file was found deleted or replaced: nothing is committed any more.
    bool failedForGood() const override { return failedForGood_; }

private:
    struct FileIdentity {
        quint64 device = 0;
        quint64 inode = 0;
        bool operator==(const FileIdentity&) const = default;
    };

    // "JKBK": marks a file as this program's books.
    static constexpr qint64 kApplicationId = 0x4A4B424B;

    SqliteBooks(QSqlDatabase db, QString path);

    // sqlite_books_file.cpp: the file, its lock, and the checks made on opening it.
    static std::unique_ptr<SqliteBooks> open(const QString& path, QString* error, Purpose purpose,
                                             std::unique_ptr<QLockFile> lock, Refusal* refusal);
    static std::unique_ptr<QLockFile> lockFor(const QString& path, QString* error,
                                              Refusal* refusal);
    static std::unique_ptr<SqliteBooks> connect(const QString& path, QString* error,
                                                Refusal* refusal);
    bool lockDatabaseFile(QString* error);
    bool configure(QString* error);
    bool checkIntegrity(Purpose purpose, QString* error);
    bool checkWritable(QString* error);
    static std::optional<FileIdentity> identityOf(const QString& path);
    bool stillOurFile();
    bool run(const QString& statement, QString* error);

    // sqlite_schema.cpp: the tables, and books of an older layout brought up to date.
    bool createSchema(QString* error);
    bool checkSchema(QString* error, Refusal* refusal);
    // The file holds the books' own tables and index as this layout has them, and nothing else:
    // a view or a trigger in their place could make every read endless.
    bool checkTables(QString* error);
    bool upgradeSchema(QString* error);

    // sqlite_books.cpp: transactions and batches.
    bool changePlayer(const QString& player,
                      const std::function<QString(const StoredPlayer&)>& change);
    bool begin();
    bool commit();
    void rollback();
    bool fail(const QString& what);
    bool mark(const QString& statement, const std::vector<std::pair<QString, qint64>>& marks);

    std::unique_ptr<QLockFile> lock_; // first made, last released
    int fileLock_ = -1;               // the database file, locked with flock()
    QSqlDatabase db_;
    QString path_;
    std::unique_ptr<SqliteSyncThread> syncThread_; // started on the first whenDurable()
    FileIdentity identity_;
    QString lastError_;
    int schemaVersion_ = 0;
    bool batch_ = false;
    bool failedForGood_ = false;
};

} // namespace jackwell::books
