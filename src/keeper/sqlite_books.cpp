#include "keeper/sqlite_books.h"

#include "keeper/books_rules.h"
#include "keeper/ledger_audit.h"
#include "keeper/ledger_rows.h"

#include <QAtomicInteger>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QVariant>

#include <sys/stat.h>

namespace jackwell::keeper {

namespace {

// "JKBK": marks a file as this program's books.
constexpr qint64 kApplicationId = 0x4A4B424B;
// Layout 2 added the time of each game (games.played_at); books of layout 1 are read as they
// are and brought to layout 2 when a robot serves from them.
constexpr int kSchemaVersion = 2;
constexpr int kOldestReadableVersion = 1;
constexpr int kBusyTimeoutMs = 5000;

const char* const kSchema[] = {
    "CREATE TABLE players ("
    " name TEXT PRIMARY KEY NOT NULL,"
    " credits INTEGER NOT NULL,"
    " pending TEXT," // the first draw waiting for holds, as \"07,12,14\"
    " games_played INTEGER NOT NULL,"
    " tokens_won INTEGER NOT NULL,"
    " free_credits INTEGER NOT NULL,"
    " delivered_game INTEGER NOT NULL DEFAULT 0)",
    "CREATE TABLE games ("
    " player TEXT NOT NULL,"
    " game INTEGER NOT NULL,"
    " first_draw TEXT NOT NULL,"
    " holds TEXT NOT NULL,"
    " final_draw TEXT NOT NULL,"
    " credits_before INTEGER NOT NULL,"
    " cost INTEGER NOT NULL,"
    " tokens_won INTEGER NOT NULL,"
    " credits_after INTEGER NOT NULL,"
    " played_at INTEGER," // seconds since 1970, UTC; NULL for games from before layout 2
    " PRIMARY KEY (player, game)) WITHOUT ROWID",
    // Free credits given after the player's `after_game`-th game (0: before the first).
    "CREATE TABLE grants ("
    " player TEXT NOT NULL,"
    " after_game INTEGER NOT NULL,"
    " credits INTEGER NOT NULL)",
    "CREATE INDEX grants_by_player ON grants (player, after_game)",
};

QString nextConnectionName() {
    static QAtomicInteger<int> counter;
    return QStringLiteral("jackwell-books-%1").arg(counter.fetchAndAddRelaxed(1));
}

// Runs a statement without bound values.
bool run(QSqlDatabase& db, const QString& statement, QString* error) {
    QSqlQuery query(db);
    if (query.exec(statement))
        return true;
    *error = query.lastError().text();
    return false;
}

// One stored row of a player, read inside the caller's transaction.
std::optional<StoredPlayer> readPlayer(QSqlDatabase& db, const QString& player, QString* error) {
    QSqlQuery query(db);
    query.prepare(QStringLiteral("SELECT %1, delivered_game FROM players WHERE name = ?")
                      .arg(kStoredPlayerColumns));
    query.addBindValue(player);
    if (!query.exec()) {
        *error = query.lastError().text();
        return std::nullopt;
    }
    if (!query.next())
        return StoredPlayer{};
    std::optional<StoredPlayer> stored = storedPlayerAt(query, error);
    if (stored)
        stored->deliveredGame = query.value(5).toLongLong();
    return stored;
}

bool writePlayer(QSqlDatabase& db, const QString& player, const machine::PlayerRecord& record,
                 QString* error) {
    QSqlQuery query(db);
    query.prepare(QStringLiteral(
        "INSERT INTO players (name, credits, pending, games_played, tokens_won, free_credits)"
        " VALUES (?, ?, ?, ?, ?, ?) ON CONFLICT (name) DO UPDATE SET credits = excluded.credits,"
        " pending = excluded.pending, games_played = excluded.games_played,"
        " tokens_won = excluded.tokens_won, free_credits = excluded.free_credits"));
    query.addBindValue(player);
    query.addBindValue(record.credits);
    query.addBindValue(pendingDrawValue(record));
    query.addBindValue(record.gamesPlayed);
    query.addBindValue(record.tokensWon);
    query.addBindValue(record.freeCreditsGranted);
    if (query.exec())
        return true;
    *error = query.lastError().text();
    return false;
}

} // namespace

std::unique_ptr<SqliteBooks> SqliteBooks::connect(const QString& path, QString* error) {
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QSQLITE"))) {
        *error = QStringLiteral("Qt's SQLite driver is missing (Debian: libqt6sql6-sqlite)");
        return nullptr;
    }
    std::unique_ptr<SqliteBooks> books(new SqliteBooks(
        QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), nextConnectionName()), path));
    books->db_.setDatabaseName(path);
    if (!books->db_.open()) {
        *error = QStringLiteral("%1: %2").arg(path, books->db_.lastError().text());
        return nullptr;
    }
    return books;
}

std::unique_ptr<SqliteBooks> SqliteBooks::open(const QString& path, QString* error,
                                               Purpose purpose) {
    const QFileInfo file(path);
    if (!file.exists()) {
        *error = QStringLiteral("%1: no books there (new books are made with "
                                "jackwell-keeper --init CONFIG)")
                     .arg(path);
        return nullptr;
    }
    if (!file.isFile()) {
        *error = QStringLiteral("%1: not a regular file, not books").arg(path);
        return nullptr;
    }
    if (file.size() == 0) {
        *error = QStringLiteral("%1: the file is empty, not books (new books are made with "
                                "jackwell-keeper --init CONFIG)")
                     .arg(path);
        return nullptr;
    }
    std::unique_ptr<SqliteBooks> books = connect(path, error);
    if (!books)
        return nullptr;
    // The file as opened: bringing its layout up to date is a change like any other.
    books->identity_ = identityOf(path).value_or(FileIdentity{});
    QString why;
    if (!books->configure(&why) || !books->checkSchema(&why) ||
        !books->checkIntegrity(purpose, &why) ||
        (purpose == Purpose::Serve &&
         (!books->checkWritable(&why) || !books->upgradeSchema(&why)))) {
        *error = QStringLiteral("%1: %2").arg(path, why);
        return nullptr;
    }
    const std::optional<FileIdentity> identity = identityOf(path);
    if (!identity) {
        *error = QStringLiteral("%1: the file went away while it was opened").arg(path);
        return nullptr;
    }
    books->identity_ = *identity;
    return books;
}

std::unique_ptr<SqliteBooks> SqliteBooks::create(const QString& path, QString* error) {
    if (QFileInfo(path).exists() || QFileInfo(path).isSymLink()) {
        *error = QStringLiteral("%1: a file is already there; new books are made only where "
                                "there is none")
                     .arg(path);
        return nullptr;
    }
    {
        std::unique_ptr<SqliteBooks> books = connect(path, error);
        if (!books)
            return nullptr;
        QString why;
        bool made = books->configure(&why);
        if (made) {
            // Set up by the first statement, which made the file.
            books->identity_ = identityOf(path).value_or(FileIdentity{});
            made = books->createSchema(&why);
        }
        if (!made) {
            *error = QStringLiteral("%1: %2").arg(path, why);
            books.reset();
            QFile::remove(path);
            return nullptr;
        }
    }
    return open(path, error);
}

SqliteBooks::SqliteBooks(QSqlDatabase db, QString path)
    : db_(std::move(db))
    , path_(std::move(path)) {}

SqliteBooks::~SqliteBooks() {
    const QString name = db_.connectionName();
    db_.close();
    db_ = QSqlDatabase();
    QSqlDatabase::removeDatabase(name);
}

bool SqliteBooks::configure(QString* error) {
    QSqlQuery query(db_);
    // The first statement reads the file: a file that is not a database fails here.
    if (!query.exec(QStringLiteral("PRAGMA busy_timeout = %1").arg(kBusyTimeoutMs)) ||
        !query.exec(QStringLiteral("PRAGMA journal_mode = WAL")) || !query.next()) {
        *error = query.lastError().text();
        return false;
    }
    if (query.value(0).toString().compare(u"wal", Qt::CaseInsensitive) != 0) {
        *error = QStringLiteral("the file cannot be put into WAL mode");
        return false;
    }
    // Commits do not wait for the disk; whenDurable() does. The log's pages are moved into the
    // file by the sync thread, never by a commit.
    return run(db_, QStringLiteral("PRAGMA synchronous = NORMAL"), error) &&
           run(db_, QStringLiteral("PRAGMA wal_autocheckpoint = 0"), error);
}

bool SqliteBooks::createSchema(QString* error) {
    if (!begin()) {
        *error = lastError_;
        return false;
    }
    for (const char* statement : kSchema) {
        if (!run(db_, QString::fromLatin1(statement), error)) {
            rollback();
            return false;
        }
    }
    if (!run(db_, QStringLiteral("PRAGMA application_id = %1").arg(kApplicationId), error) ||
        !run(db_, QStringLiteral("PRAGMA user_version = %1").arg(kSchemaVersion), error)) {
        rollback();
        return false;
    }
    if (!commit()) {
        *error = lastError_;
        return false;
    }
    return true;
}

bool SqliteBooks::checkSchema(QString* error) {
    QSqlQuery query(db_);
    if (!query.exec(QStringLiteral("PRAGMA application_id")) || !query.next()) {
        *error = query.lastError().text();
        return false;
    }
    if (query.value(0).toLongLong() != kApplicationId) {
        *error = QStringLiteral("the file holds something other than the machinekeeper's books");
        return false;
    }
    if (!query.exec(QStringLiteral("PRAGMA user_version")) || !query.next()) {
        *error = query.lastError().text();
        return false;
    }
    const int version = query.value(0).toInt();
    if (version < kOldestReadableVersion || version > kSchemaVersion) {
        *error = QStringLiteral("the books have layout %1; this program reads layouts %2 to %3")
                     .arg(version)
                     .arg(kOldestReadableVersion)
                     .arg(kSchemaVersion);
        return false;
    }
    schemaVersion_ = version;
    return true;
}

// Brings books of an older layout to this one, in one transaction: either all of it or none.
bool SqliteBooks::upgradeSchema(QString* error) {
    if (schemaVersion_ == kSchemaVersion)
        return true;
    if (!begin()) {
        *error = lastError_;
        return false;
    }
    if (!run(db_, QStringLiteral("ALTER TABLE games ADD COLUMN played_at INTEGER"), error) ||
        !run(db_, QStringLiteral("PRAGMA user_version = %1").arg(kSchemaVersion), error)) {
        rollback();
        return false;
    }
    if (!commit()) {
        *error = lastError_;
        return false;
    }
    schemaVersion_ = kSchemaVersion;
    return true;
}

// SQLite's own look at every page it reads: a damaged page is found here instead of serving
// on and turning up later as games that do not add up.
bool SqliteBooks::checkIntegrity(Purpose purpose, QString* error) {
    QSqlQuery query(db_);
    query.setForwardOnly(true);
    const QString statement = purpose == Purpose::Audit
                                  ? QStringLiteral("PRAGMA integrity_check(20)")
                                  : QStringLiteral("PRAGMA quick_check(20)");
    if (!query.exec(statement)) {
        *error = QStringLiteral("the file is damaged (%1)").arg(query.lastError().text());
        return false;
    }
    QStringList faults;
    while (query.next()) {
        const QString line = query.value(0).toString();
        if (line != u"ok")
            faults << line;
    }
    if (query.lastError().isValid()) {
        *error = QStringLiteral("the file is damaged (%1)").arg(query.lastError().text());
        return false;
    }
    if (!faults.isEmpty()) {
        *error = QStringLiteral("the file is damaged (%1)").arg(faults.mid(0, 3).join(u"; "));
        return false;
    }
    return true;
}

// SQLite opens a file it may not write for reading alone, and says so only at the first
// change. A change that is rolled back at once shows it now.
bool SqliteBooks::checkWritable(QString* error) {
    QString why;
    const bool writable =
        run(db_, QStringLiteral("BEGIN IMMEDIATE"), &why) &&
        run(db_, QStringLiteral("PRAGMA application_id = %1").arg(kApplicationId), &why);
    QString ignored;
    run(db_, QStringLiteral("ROLLBACK"), &ignored);
    if (!writable)
        *error = QStringLiteral("the books cannot be written (%1)").arg(why);
    return writable;
}

std::optional<SqliteBooks::FileIdentity> SqliteBooks::identityOf(const QString& path) {
    struct stat status {};
    if (::stat(QFile::encodeName(path).constData(), &status) != 0)
        return std::nullopt;
    return FileIdentity{quint64(status.st_dev), quint64(status.st_ino)};
}

// Whether the path still names the file the books were opened on. A file deleted or replaced
// (restored from a backup, copied over) under a running robot would otherwise take games that
// no later start ever sees.
bool SqliteBooks::stillOurFile() {
    if (identityOf(path_) == identity_)
        return true;
    failedForGood_ = true;
    return fail(QStringLiteral("%1 was deleted or replaced while the books were open; nothing "
                               "more is booked")
                    .arg(path_));
}

bool SqliteBooks::begin() {
    if (failedForGood_ || (!batch_ && !stillOurFile()))
        return false;
    QString error;
    // Inside a batch each change is a savepoint of the batch's transaction. Otherwise IMMEDIATE
    // takes the write lock at once, so what is read inside stays true until COMMIT.
    if (run(db_, batch_ ? QStringLiteral("SAVEPOINT change") : QStringLiteral("BEGIN IMMEDIATE"),
            &error))
        return true;
    return fail(error);
}

bool SqliteBooks::commit() {
    QString error;
    if (failedForGood_ || (!batch_ && !stillOurFile())) {
        rollback();
        return fail(lastError_);
    }
    if (run(db_, batch_ ? QStringLiteral("RELEASE change") : QStringLiteral("COMMIT"), &error))
        return true;
    rollback();
    return fail(error);
}

void SqliteBooks::rollback() {
    QString ignored;
    if (batch_) {
        run(db_, QStringLiteral("ROLLBACK TO change"), &ignored);
        run(db_, QStringLiteral("RELEASE change"), &ignored);
    } else {
        run(db_, QStringLiteral("ROLLBACK"), &ignored);
    }
}

void SqliteBooks::whenDurable(std::function<void(bool durable)> then) {
    if (!syncThread_)
        syncThread_ = std::make_unique<SqliteSyncThread>(path_);
    syncThread_->sync(std::move(then));
}

bool SqliteBooks::beginBatch() {
    if (batch_)
        return true;
    if (!begin())
        return false;
    batch_ = true;
    return true;
}

bool SqliteBooks::commitBatch() {
    if (!batch_)
        return true;
    batch_ = false;
    return commit();
}

void SqliteBooks::rollbackBatch() {
    if (!batch_)
        return;
    batch_ = false;
    rollback();
}

bool SqliteBooks::fail(const QString& what) {
    lastError_ = what;
    return false;
}

std::optional<machine::PlayerRecord> SqliteBooks::load(const QString& player) {
    QString error;
    const std::optional<StoredPlayer> stored = readPlayer(db_, player, &error);
    if (!stored) {
        fail(error);
        return std::nullopt;
    }
    return stored->record; // a player never seen has a fresh record
}

bool SqliteBooks::save(const QString& player, const machine::PlayerRecord& record) {
    if (!begin())
        return false;
    QString error;
    const std::optional<StoredPlayer> stored = readPlayer(db_, player, &error);
    if (!stored) {
        rollback();
        return fail(error);
    }
    if (!isBalancedSave(*stored, record)) {
        rollback();
        return fail(QStringLiteral("refused a change of %1 that would unbalance the books")
                        .arg(player.left(64)));
    }
    const qint64 granted = record.freeCreditsGranted - stored->record.freeCreditsGranted;
    bool written = writePlayer(db_, player, record, &error);
    if (written && granted > 0) {
        QSqlQuery query(db_);
        query.prepare(
            QStringLiteral("INSERT INTO grants (player, after_game, credits) VALUES (?, ?, ?)"));
        query.addBindValue(player);
        query.addBindValue(record.gamesPlayed);
        query.addBindValue(granted);
        written = query.exec();
        if (!written)
            error = query.lastError().text();
    }
    if (!written) {
        rollback();
        return fail(error);
    }
    return commit();
}

bool SqliteBooks::commitGame(const QString& player, const machine::GameOutcome& outcome,
                             const machine::PlayerRecord& after) {
    if (!begin())
        return false;
    QString error;
    const std::optional<StoredPlayer> stored = readPlayer(db_, player, &error);
    if (!stored) {
        rollback();
        return fail(error);
    }
    if (!isNextGame(*stored, outcome, after)) {
        rollback();
        return fail(QStringLiteral("refused a game of %1 that is not the one waiting")
                        .arg(player.left(64)));
    }
    QSqlQuery query(db_);
    query.prepare(QStringLiteral(
        "INSERT INTO games (player, game, first_draw, holds, final_draw, credits_before, cost,"
        " tokens_won, credits_after, played_at) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
    query.addBindValue(player);
    query.addBindValue(after.gamesPlayed);
    query.addBindValue(encodeCodes(outcome.firstDraw));
    query.addBindValue(encodeHolds(outcome.holds));
    query.addBindValue(encodeCodes(outcome.finalDraw));
    query.addBindValue(outcome.creditsBefore);
    query.addBindValue(outcome.cost);
    query.addBindValue(outcome.tokensWon);
    query.addBindValue(outcome.creditsAfter);
    query.addBindValue(QDateTime::currentSecsSinceEpoch());
    if (!query.exec() || !writePlayer(db_, player, after, &error)) {
        if (error.isEmpty())
            error = query.lastError().text();
        rollback();
        return fail(error);
    }
    return commit();
}

std::optional<Delivery> SqliteBooks::delivery(const QString& player) {
    QString error;
    const std::optional<StoredPlayer> stored = readPlayer(db_, player, &error);
    if (!stored) {
        fail(error);
        return std::nullopt;
    }
    Delivery delivery;
    delivery.lastGame = stored->record.gamesPlayed;
    delivery.deliveredGame = stored->deliveredGame;
    if (delivery.lastGame == 0)
        return delivery;

    QSqlQuery query(db_);
    query.prepare(QStringLiteral("SELECT first_draw, holds, final_draw, credits_before, cost,"
                                 " tokens_won, credits_after FROM games WHERE player = ? AND"
                                 " game = ?"));
    query.addBindValue(player);
    query.addBindValue(delivery.lastGame);
    if (!query.exec() || !query.next()) {
        fail(query.lastError().isValid() ? query.lastError().text()
                                         : QStringLiteral("a booked game is missing"));
        return std::nullopt;
    }
    delivery.lastOutcome = gameOutcomeAt(query, 0);
    if (!delivery.lastOutcome) {
        fail(QStringLiteral("a booked game is damaged"));
        return std::nullopt;
    }
    return delivery;
}

bool SqliteBooks::markDelivered(const std::vector<std::pair<QString, qint64>>& marks) {
    if (marks.empty())
        return true;
    bool done = begin();
    if (done) {
        QSqlQuery query(db_);
        query.prepare(QStringLiteral("UPDATE players SET delivered_game = max(delivered_game, ?)"
                                     " WHERE name = ?"));
        for (const auto& [player, game] : marks) {
            query.addBindValue(game);
            query.addBindValue(player);
            if (!query.exec()) {
                done = fail(query.lastError().text());
                break;
            }
        }
        query.finish();
        if (done)
            done = commit();
        else
            rollback();
    }
    return done;
}

bool SqliteBooks::readLedger(Ledger& ledger) {
    ledger = {};
    QSqlQuery query(db_);
    query.setForwardOnly(true);
    auto unreadable = [&](const QString& what) {
        return fail(QStringLiteral("cannot read the %1: %2").arg(what, query.lastError().text()));
    };
    // One read transaction: the three tables as they were at one moment.
    QString error;
    if (!batch_ && !run(db_, QStringLiteral("BEGIN"), &error))
        return fail(error);
    const bool read = [&] {
        // Books of the first layout kept no times.
        const QString playedAt =
            schemaVersion_ >= 2 ? QStringLiteral("played_at") : QStringLiteral("NULL");
        if (!query.exec(QStringLiteral("SELECT %1, %2 FROM games ORDER BY player, game")
                            .arg(kLedgerGameColumns, playedAt)))
            return unreadable(QStringLiteral("games"));
        while (query.next()) {
            LedgerGame game = ledgerGameAt(query);
            if (!query.isNull(9))
                game.playedAt = QDateTime::fromSecsSinceEpoch(query.value(9).toLongLong(), Qt::UTC);
            ledger.games.push_back(std::move(game));
        }
        if (!query.exec(QStringLiteral("SELECT %1 FROM grants").arg(kLedgerGrantColumns)))
            return unreadable(QStringLiteral("grants"));
        while (query.next())
            ledger.grants.push_back(ledgerGrantAt(query));
        if (!query.exec(
                QStringLiteral("SELECT %1 FROM players ORDER BY name").arg(kLedgerPlayerColumns)))
            return unreadable(QStringLiteral("players"));
        while (query.next())
            ledger.players.push_back(ledgerPlayerAt(query));
        return true;
    }();
    query.finish();
    if (!batch_)
        run(db_, QStringLiteral("COMMIT"), &error);
    return read;
}

} // namespace jackwell::keeper
