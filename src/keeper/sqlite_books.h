#pragma once

#include "machine/books.h"

#include <QSqlDatabase>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace jackwell::keeper {

// What a player was last told, for a player whose last result may never have reached them.
struct Delivery {
    qint64 lastGame = 0;      // games booked for the player; the last one has this number
    qint64 deliveredGame = 0; // the last game whose result is known to have been passed on
    std::optional<machine::GameOutcome> lastOutcome;
};

// The outcome of checking every player's books against the ledger.
struct BooksAudit {
    qint64 players = 0;
    qint64 games = 0;
    QStringList faults; // one line per fault found
    bool balanced() const { return faults.isEmpty(); }
};

// The machinekeeper's books in an SQLite file, safe against the program being killed at any
// moment: the file is in WAL mode with full synchronisation, and each call that changes the
// books is one transaction. Games are numbered per player (1, 2, ...) and the ledger keeps
// each number once, so no game is ever booked twice. The file also keeps every grant of free
// credits, so that each player's credits can be traced from nothing to their present sum
// (see audit()).
//
// The books only take changes that keep them balanced: save() may grant free credits and
// change the waiting first draw but not the games or tokens, and commitGame() books exactly
// the game that was waiting, from the credits the player had. Anything else is refused.
class SqliteBooks : public machine::Books {
public:
    // Opens the books at `path`, creating the file when it is missing. Null, with `error`
    // set, when the file cannot be opened or is not a books file of this program.
    static std::unique_ptr<SqliteBooks> open(const QString& path, QString* error);
    ~SqliteBooks() override;

    SqliteBooks(const SqliteBooks&) = delete;
    SqliteBooks& operator=(const SqliteBooks&) = delete;

    std::optional<machine::PlayerRecord> load(const QString& player) override;
    bool save(const QString& player, const machine::PlayerRecord& record) override;
    bool commitGame(const QString& player, const machine::GameOutcome& outcome,
                    const machine::PlayerRecord& after) override;

    // The player's last game and how far results have been passed on. nullopt when the books
    // cannot be read.
    std::optional<Delivery> delivery(const QString& player);
    // Records that each player's results up to the given game number have been passed on.
    // Marks never move back. These writes are not synchronised to the disk: a mark lost to a
    // power cut only means a result is told again.
    bool markDelivered(const std::vector<std::pair<QString, qint64>>& marks);

    // Groups the changes that follow into one transaction that commitBatch() makes durable with
    // a single sync to the disk. Each change inside still succeeds or fails whole. Nothing of a
    // batch is kept unless commitBatch() returns true; a batch never committed (the program
    // killed meanwhile) leaves the books as they were before it.
    bool beginBatch();
    bool commitBatch();
    void rollbackBatch();
    bool inBatch() const { return batch_; }

    // Checks every player: game numbers 1..n without a gap, each game starting from the
    // credits the last one (and any grant since) left, and credits == free credits granted -
    // games * cost + tokens won / 50.
    BooksAudit audit();

    // What the last failed call ran into, for the log.
    QString lastError() const { return lastError_; }

private:
    explicit SqliteBooks(QSqlDatabase db);

    bool prepareSchema(QString* error);
    bool begin();
    bool commit();
    void rollback();
    bool fail(const QString& what);

    QSqlDatabase db_;
    QString lastError_;
    bool batch_ = false;
};

} // namespace jackwell::keeper
