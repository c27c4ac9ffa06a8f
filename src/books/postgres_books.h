#pragma once

#include "books/books_rules.h"
#include "books/keeper_books.h"
#include "books/postgres_address.h"

#include <QObject>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QVariantList>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace jackwell {

class Clock;

namespace books {

// The machinekeeper's books on a PostgreSQL server, shared by any number of robots: a player
// has one wallet on every machine that keeps its books there.
//
// Each change is one statement that updates the player's row only where it is still as load()
// last read it, and books the game (or the grant) with it; the update holds the row until the
// commit. A player playing on two machines at the same moment therefore never spends a credit
// twice nor loses one: whichever machine comes second finds the row changed, is refused with
// changedElsewhere(), and reads again.
// Games are numbered per player across machines, and the same rules as for any books apply
// (see books_rules.h). A commit the server has acknowledged is on its disk, so whenDurable()
// answers true from the event loop's next turn.
//
// Every robot names its machine (its nickname and network). Each game and grant carries the
// name of the machine that booked it, and each machine keeps its own marks of the results it
// delivered; a result counts as delivered once any machine delivered it. While a robot runs,
// its connection holds a lock on its machine's name (a session advisory lock), so that a
// second robot of the same name is refused.
//
// The calls wait for the server, one round trip a statement (a commit the longest): a change is
// one statement that makes it only on the row as it was read, and a batch commits the changes of
// several players at once (see beginBatch). The connection carries timeouts, so that a server that
// stops answering holds the robot for seconds at most. A lost connection (the server restarted,
// say) is opened again on the next call, at most every few seconds while the server stays away. A
// change whose connection was lost before its commit is made again on the new connection. One whose
// commit was never answered is looked up on a new connection as soon as there is one (a game by its
// player, number and machine, a player's row by what it was to become): it succeeded or failed as
// the books show, and only when they cannot be read for a while is its outcome unknown.
//
// The tables live in a schema of their own, `jackwell`, made on the first start on a database
// without them and carrying their version.
class PostgresBooks : public KeeperBooks {
public:
    using Log = std::function<void(const QString&)>;
    static constexpr int kSchemaVersion = 2;
    // A result another machine booked is left to that machine this long before it is told
    // again here, while that machine runs (a robot killed or stopped leaves its results to be
    // told here at once).
    static constexpr int kOtherMachineGraceSeconds = 15;
    // Pauses between attempts to reach a server that went away: from the first to the last,
    // doubling.
    static constexpr int kFirstRetryMs = 500;
    static constexpr int kLastRetryMs = 5000;
    // Attempts, a pause apart, to learn whether a commit whose answer was lost was kept.
    static constexpr int kLookUpAttempts = 15;
    static constexpr int kLookUpPauseMs = 1000;

    struct Options {
        BooksPurpose purpose = BooksPurpose::Serve;
        // The machine the books are kept for (to serve; empty to audit).
        QString machine;
        // Makes the tables when the database has none (to serve).
        bool createIfMissing = true;
        // Where the books say that their connection was lost and found again.
        Log log;
    };

    // Opens the books at `address`. Null, with `error` set to one line naming the address and
    // the reason, when the server cannot be reached or refuses the login, when the database
    // holds books of another version or (to audit) none, or when another robot keeps books
    // there under the same machine name.
    static std::unique_ptr<PostgresBooks> open(const PostgresAddress& address, Clock& clock,
                                               Options options, QString* error);
    // Makes the tables of new, empty books at `address`; refuses a database that has them.
    static bool create(const PostgresAddress& address, Clock& clock, QString* error);
    ~PostgresBooks() override;

    PostgresBooks(const PostgresBooks&) = delete;
    PostgresBooks& operator=(const PostgresBooks&) = delete;

    std::optional<machine::PlayerRecord> load(const QString& player) override;
    bool save(const QString& player, const machine::PlayerRecord& record) override;
    bool commitGame(const QString& player, const machine::GameOutcome& outcome,
                    const machine::PlayerRecord& after) override;

    std::optional<Delivery> delivery(const QString& player) override;
    // This machine's marks; they are committed without waiting for the server's disk.
    bool markDelivered(const std::vector<std::pair<QString, qint64>>& marks) override;
    bool markFirstDrawsTold(const std::vector<std::pair<QString, qint64>>& marks) override;

    void whenDurable(std::function<void(bool durable)> then) override;

    // The changes of a batch share one transaction, begun with the first of them, and one
    // commit. A change refused inside (another machine changed the player, or the rules) changes
    // nothing and leaves the others be; an error of the server (the connection lost, a row held
    // too long by another machine) fails the batch, and every change after it. A batch holds its
    // players' rows only while it is worked, for milliseconds; another machine that wants one
    // waits that long, or gives up after the session's lock timeout. A batch whose commit went
    // unanswered is looked up as one change is: all of it was kept or none.
    bool beginBatch() override;
    bool commitBatch() override;
    void rollbackBatch() override;
    bool inBatch() const override { return batch_; }

    bool readLedger(Ledger& ledger) override;

    bool changedElsewhere() const override { return changedElsewhere_; }
    bool outcomeUnknown() const override { return outcomeUnknown_; }
    QString lastError() const override { return lastError_; }
    // Set once another robot of the same name took the books while the connection was lost, or
    // once the tables are gone.
    bool failedForGood() const override { return failedForGood_; }
    // Shuts the connection's socket: a server stopped mid-statement still has its kernel answer
    // for it, so no timeout of the connection's own notices.
    void interruptStalled() override;

    const QString& machine() const { return options_.machine; }

private:
    enum class Statement {
        ReadPlayer,
        SaveNewPlayer,
        SavePlayer,
        BookGame,
        ReadDelivery,
        MarkDelivered,
        MarkFirstDrawTold,
    };
    // A session of the server: its process number, and when the server started.
    struct Session {
        qint64 pid = 0;
        QString serverStart;
    };
    // How one attempt at a call ended.
    enum class Step { Done, Failed, Lost };

    // The first key of every advisory lock this program takes ("JKBK"); the second is the
    // machine's number, or 0 while the tables are made.
    static constexpr qint64 kLockClass = 0x4A4B424B;

    PostgresBooks(PostgresAddress address, Clock& clock, Options options);
    static QString statementText(Statement statement);
    static QString firstLine(const QSqlError& error);

    // postgres_schema.cpp: the tables and their version.
    bool makeOrCheckSchema(bool mayCreate, bool mustCreate, QString* error);
    bool upgradeSchema(QString* error);

    // postgres_connection.cpp: the session, its lock on the machine's name, statements and
    // transactions, and a connection lost and opened again.
    bool connect(QString* error);
    bool setUpSession(QString* error);
    void noteSocket();
    bool lockMachine(QString* error);
    bool connected();
    bool attempt(const std::function<Step()>& once);
    // Whether the change is in the books: nullopt when they cannot be read.
    using LookUp = std::function<std::optional<bool>()>;
    bool transaction(const std::function<Step()>& body,
                     const QString& begin = QStringLiteral("BEGIN"), const LookUp& lookUp = {});
    bool changeInBatch(const std::function<Step()>& body, const LookUp& lookUp);
    void abandonBatch();
    bool inTransaction() const;
    Step lookUpCommit(const LookUp& lookUp);
    bool exec(QSqlQuery& query, Statement statement, const QVariantList& values);
    bool exec(QSqlQuery& query, const QString& text, const QVariantList& values);
    Step failed(const QSqlError& error);
    Step refused(const QString& why);
    void rollback();
    bool fail(const QString& what);
    void log(const QString& text) const;

    // postgres_books.cpp: the players' rows and the changes made on them.
    std::optional<StoredPlayer> readPlayer(const QString& player, QSqlError* error);
    std::optional<StoredPlayer> rowAsRead(const QString& player, Step* step);
    // One change of a player, as one statement that `write` makes from the row as it was read.
    using Write = std::function<Step(const StoredPlayer& stored)>;
    bool change(const QString& player, const Write& write, const LookUp& lookUp);
    Step changed(QSqlQuery& query, const QString& player);
    LookUp gameLookUp(const QString& player, const machine::GameOutcome& outcome,
                      const machine::PlayerRecord& after);
    LookUp saveLookUp(const QString& player, const machine::PlayerRecord& record);
    bool markInBatch(const std::vector<std::pair<QString, qint64>>& marks);

    PostgresAddress address_;
    Clock& clock_;
    Options options_;
    QSqlDatabase db_;
    qint64 machineId_ = 0;
    Session session_; // the one that holds the machine's lock
    QString lostReason_;
    qint64 nextAttemptMs_ = 0;
    int retryMs_ = kFirstRetryMs;
    bool connectionLost_ = false;
    std::atomic<int> socket_{-1}; // the connection's, for interruptStalled()
    std::atomic<bool> interrupted_{false};
    // The row load() read last: a change is made only on the row as it was read.
    std::optional<std::pair<QString, StoredPlayer>> lastRead_;
    // The row delivery() read along with the player's last game, which a load() of the same
    // player right after takes instead of reading it again. Any change, and a new batch, drop it.
    std::optional<std::pair<QString, StoredPlayer>> readAlong_;
    bool batch_ = false;                 // between beginBatch() and its end
    bool batchBegun_ = false;            // its transaction begun on the server
    std::optional<QString> batchFailed_; // why the batch can take no more
    std::vector<LookUp> batchLookUps_;   // how to learn whether each of its changes was kept
    QString lastError_;
    bool changedElsewhere_ = false;
    bool outcomeUnknown_ = false;
    bool failedForGood_ = false;
    QObject context_; // whenDurable()'s answers die with the books
};

} // namespace books
} // namespace jackwell
