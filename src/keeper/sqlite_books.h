#pragma once

#include "keeper/keeper_books.h"

#include <QSqlDatabase>
#include <QString>

#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace jackwell::keeper {

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
class SqliteBooks : public KeeperBooks {
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

    std::optional<Delivery> delivery(const QString& player) override;
    // Outside a batch the marks are written without waiting for the disk; inside one they
    // become durable with it.
    bool markDelivered(const std::vector<std::pair<QString, qint64>>& marks) override;

    // A batch is one transaction, made durable with a single sync to the disk.
    bool beginBatch() override;
    bool commitBatch() override;
    void rollbackBatch() override;
    bool inBatch() const override { return batch_; }

    BooksAudit audit() override;

    QString lastError() const override { return lastError_; }

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
