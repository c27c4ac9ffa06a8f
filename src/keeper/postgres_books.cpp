#include "keeper/postgres_books.h"

#include "clock/clock.h"
#include "keeper/ledger_audit.h"
#include "keeper/ledger_rows.h"

#include <QAtomicInteger>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlField>
#include <QStringList>
#include <QVariant>

#include <algorithm>

namespace jackwell::keeper {

namespace {

// The first key of every advisory lock this program takes ("JKBK"); the second is the
// machine's number, or 0 while the tables are made.
constexpr qint64 kLockClass = 0x4A4B424B;

// Bounds on what the server may cost the robot, which waits for it: a lock another machine
// holds for longer than its own short transaction, a statement that runs away, a robot whose
// transaction stays open (it froze mid-change, or its network went).
const QStringList kServeSession = {
    QStringLiteral("SET lock_timeout = '1s'"),
    QStringLiteral("SET statement_timeout = '5s'"),
    QStringLiteral("SET idle_in_transaction_session_timeout = '10s'"),
};

const char* const kSchema[] = {
    "CREATE SCHEMA jackwell",
    "CREATE TABLE jackwell.books ("
    " version integer NOT NULL,"
    " made_at timestamptz NOT NULL DEFAULT now())",
    "CREATE TABLE jackwell.players ("
    " name text PRIMARY KEY,"
    " credits bigint NOT NULL,"
    " pending text," // the first draw waiting for holds, as "07,12,14"
    " games_played bigint NOT NULL,"
    " tokens_won bigint NOT NULL,"
    " free_credits bigint NOT NULL)",
    "CREATE TABLE jackwell.games ("
    " player text NOT NULL,"
    " game bigint NOT NULL,"
    " first_draw text NOT NULL,"
    " holds text NOT NULL,"
    " final_draw text NOT NULL,"
    " credits_before bigint NOT NULL,"
    " cost bigint NOT NULL,"
    " tokens_won bigint NOT NULL,"
    " credits_after bigint NOT NULL,"
    " machine text NOT NULL,"
    " played_at timestamptz NOT NULL DEFAULT now(),"
    " PRIMARY KEY (player, game))",
    // Free credits given after the player's `after_game`-th game (0: before the first).
    "CREATE TABLE jackwell.grants ("
    " player text NOT NULL,"
    " after_game bigint NOT NULL,"
    " credits bigint NOT NULL,"
    " machine text NOT NULL,"
    " granted_at timestamptz NOT NULL DEFAULT now())",
    "CREATE INDEX grants_by_player ON jackwell.grants (player, after_game)",
    // Every machine that ever kept these books; its number keys its lock.
    "CREATE TABLE jackwell.machines ("
    " id serial PRIMARY KEY,"
    " name text NOT NULL UNIQUE)",
    // How far each machine has seen each player's results delivered.
    "CREATE TABLE jackwell.deliveries ("
    " player text NOT NULL,"
    " machine text NOT NULL,"
    " delivered_game bigint NOT NULL,"
    " PRIMARY KEY (player, machine))",
};

QString nextConnectionName() {
    static QAtomicInteger<int> counter;
    return QStringLiteral("jackwell-server-books-%1").arg(counter.fetchAndAddRelaxed(1));
}

// The server's first line of an error (the client library adds hints below it).
QString firstLine(const QSqlError& error) {
    const QString text = error.databaseText().isEmpty() ? error.text() : error.databaseText();
    return text.section(u'\n', 0, 0).trimmed();
}

// The server's text holds no NUL: a name with one is refused rather than cut short to another
// player's name.
bool isStorableName(const QString& player) {
    return !player.contains(QChar(0));
}

// Errors after which the connection is of no more use: the server went away, or ended it.
bool endsConnection(const QSqlError& error) {
    const QString code = error.nativeErrorCode();
    return code.startsWith(QLatin1String("08")) || code == QLatin1String("57P01") ||
           code == QLatin1String("57P02") || code == QLatin1String("57P03");
}

// Errors that say the tables themselves are gone.
bool tablesGone(const QSqlError& error) {
    const QString code = error.nativeErrorCode();
    return code == QLatin1String("42P01") || code == QLatin1String("3F000");
}

} // namespace

PostgresBooks::PostgresBooks(PostgresAddress address, Clock& clock, Options options)
    : address_(std::move(address))
    , clock_(clock)
    , options_(std::move(options)) {}

PostgresBooks::~PostgresBooks() {
    const QString name = db_.connectionName();
    db_.close(); // ends the session, and with it the lock on the machine's name
    db_ = QSqlDatabase();
    if (!name.isEmpty())
        QSqlDatabase::removeDatabase(name);
}

std::unique_ptr<PostgresBooks> PostgresBooks::open(const PostgresAddress& address, Clock& clock,
                                                   Options options, QString* error) {
    const bool serve = options.purpose == BooksPurpose::Serve;
    const bool mayCreate = serve && options.createIfMissing;
    std::unique_ptr<PostgresBooks> books(new PostgresBooks(address, clock, std::move(options)));
    QString why;
    if (!books->connect(&why) || !books->makeOrCheckSchema(mayCreate, false, &why) ||
        (serve && !books->options_.machine.isEmpty() && !books->lockMachine(&why))) {
        *error = QStringLiteral("%1: %2").arg(address.text(), why);
        return nullptr;
    }
    return books;
}

bool PostgresBooks::create(const PostgresAddress& address, Clock& clock, QString* error) {
    PostgresBooks books(address, clock, Options{});
    QString why;
    if (!books.connect(&why) || !books.makeOrCheckSchema(true, true, &why)) {
        *error = QStringLiteral("%1: %2").arg(address.text(), why);
        return false;
    }
    return true;
}

bool PostgresBooks::connect(QString* error) {
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QPSQL"))) {
        *error = QStringLiteral("Qt's PostgreSQL driver is missing (Debian: libqt6sql6-psql)");
        return false;
    }
    db_ = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), nextConnectionName());
    db_.setHostName(address_.host);
    db_.setPort(address_.port);
    db_.setUserName(address_.user);
    db_.setDatabaseName(address_.database);
    // No password here: the client library reads PGPASSWORD or ~/.pgpass. Keepalives and the
    // TCP timeout notice a server that vanished without closing the connection.
    QStringList options = {
        QStringLiteral("connect_timeout=5"),  QStringLiteral("application_name=jackwell-keeper"),
        QStringLiteral("keepalives_idle=30"), QStringLiteral("keepalives_interval=10"),
        QStringLiteral("keepalives_count=3"), QStringLiteral("tcp_user_timeout=15000"),
    };
    if (!address_.sslMode.isEmpty())
        options << QStringLiteral("sslmode=") + address_.sslMode;
    if (!address_.sslRootCert.isEmpty())
        options << QStringLiteral("sslrootcert=") + address_.sslRootCert;
    db_.setConnectOptions(options.join(u';'));
    if (!db_.open()) {
        *error = QStringLiteral("cannot reach the books (%1)").arg(firstLine(db_.lastError()));
        return false;
    }
    return setUpSession(error);
}

bool PostgresBooks::setUpSession(QString* error) {
    QStringList statements = {QStringLiteral("SET client_min_messages = error")};
    if (options_.purpose == BooksPurpose::Serve)
        statements << kServeSession;
    else
        statements << QStringLiteral("SET default_transaction_read_only = on");
    QSqlQuery query(db_);
    for (const QString& statement : statements) {
        if (!query.exec(statement)) {
            *error = firstLine(query.lastError());
            return false;
        }
    }
    return true;
}

// The tables are made once, by whichever robot comes first: the others wait on the lock for
// it to finish and then find them.
bool PostgresBooks::makeOrCheckSchema(bool mayCreate, bool mustCreate, QString* error) {
    QSqlQuery query(db_);
    auto failed = [&] {
        *error = firstLine(query.lastError());
        QSqlQuery(db_).exec(QStringLiteral("ROLLBACK"));
        return false;
    };
    if (mayCreate) {
        if (!query.exec(QStringLiteral("BEGIN")) ||
            !query.exec(QStringLiteral("SELECT pg_advisory_xact_lock(%1, 0)").arg(kLockClass)))
            return failed();
    }
    if (!query.exec(QStringLiteral("SELECT to_regclass('jackwell.books') IS NOT NULL")) ||
        !query.next())
        return failed();
    const bool present = query.value(0).toBool();
    if (present && mustCreate) {
        QSqlQuery(db_).exec(QStringLiteral("ROLLBACK"));
        *error = QStringLiteral("books are kept there already; new books are made only where "
                                "there are none");
        return false;
    }
    if (!present && !mayCreate) {
        *error = QStringLiteral("no books there (a robot makes them on its first start there, "
                                "or jackwell-keeper --init CONFIG)");
        return false;
    }
    if (!present) {
        for (const char* statement : kSchema) {
            if (!query.exec(QString::fromLatin1(statement)))
                return failed();
        }
        if (!query.exec(QStringLiteral("INSERT INTO jackwell.books (version) VALUES (%1)")
                            .arg(kSchemaVersion)))
            return failed();
        log(QStringLiteral("made new books in %1").arg(address_.text()));
    }
    if (mayCreate && !query.exec(QStringLiteral("COMMIT")))
        return failed();
    if (!query.exec(QStringLiteral("SELECT max(version) FROM jackwell.books")) || !query.next())
        return failed();
    const int version = query.value(0).toInt();
    if (version == kSchemaVersion)
        return true;
    *error = version > kSchemaVersion
                 ? QStringLiteral("the books were made by a newer jackwell-keeper (version %1)")
                       .arg(version)
                 : QStringLiteral("not books of this program (version %1)").arg(version);
    return false;
}

// The machine's number, and the lock on it for as long as the session lasts. After a lost
// connection the lock may still be held by the session that was lost, which the server has not
// yet noticed is gone: a session of this very robot (the same server process number, on a
// server that has not restarted since) is ended, and the lock taken over.
bool PostgresBooks::lockMachine(QString* error) {
    QSqlQuery query(db_);
    const QString& name = options_.machine;
    if (!exec(query,
              QStringLiteral("INSERT INTO jackwell.machines (name) VALUES (?)"
                             " ON CONFLICT (name) DO NOTHING"),
              {name})) {
        *error = firstLine(query.lastError());
        return false;
    }
    const QString tryLock =
        QStringLiteral("SELECT id, pg_try_advisory_lock(%1, id::integer), pg_backend_pid(),"
                       " pg_postmaster_start_time()::text FROM jackwell.machines WHERE name = ?")
            .arg(kLockClass);
    for (int round = 0; round < 2; ++round) {
        if (!exec(query, tryLock, {name}) || !query.next()) {
            *error = firstLine(query.lastError());
            return false;
        }
        machineId_ = query.value(0).toLongLong();
        const Session session{query.value(2).toLongLong(), query.value(3).toString()};
        if (query.value(1).toBool()) {
            session_ = session;
            return true;
        }
        if (round > 0 || session_.serverStart != session.serverStart || session_.pid == 0)
            break;
        QSqlQuery end(db_);
        const QString endIt =
            QStringLiteral("SELECT pg_terminate_backend(pid, 3000) FROM pg_locks"
                           " WHERE locktype = 'advisory' AND granted AND classid = %1"
                           " AND objid = ? AND objsubid = 2 AND pid = ?")
                .arg(kLockClass);
        if (!exec(end, endIt, {machineId_, session_.pid}) || !end.next() || !end.value(0).toBool())
            break;
        log(QStringLiteral("ended this robot's earlier session with the books, which the server "
                           "still kept"));
    }
    *error = QStringLiteral("another robot named %1 keeps these books already").arg(name);
    return false;
}

void PostgresBooks::log(const QString& text) const {
    if (options_.log)
        options_.log(text);
}

bool PostgresBooks::fail(const QString& what) {
    lastError_ = what;
    return false;
}

// Opens the connection again when it was lost, no more often than the pause allows.
bool PostgresBooks::connected() {
    if (failedForGood_)
        return false;
    if (db_.isOpen() && !connectionLost_)
        return true;
    const qint64 now = clock_.monotonicMs();
    if (now < nextAttemptMs_)
        return fail(QStringLiteral("no connection to the books at %1 (%2)")
                        .arg(address_.text(), lostReason_));
    db_.close();
    QString why;
    bool locked = false;
    if (!db_.open())
        why = firstLine(db_.lastError());
    else if (setUpSession(&why))
        locked = options_.machine.isEmpty() || lockMachine(&why);
    if (locked) {
        connectionLost_ = false;
        retryMs_ = kFirstRetryMs;
        log(QStringLiteral("connected to the books at %1 again").arg(address_.text()));
        return true;
    }
    db_.close();
    if (why.startsWith(QLatin1String("another robot"))) {
        failedForGood_ = true;
        return fail(QStringLiteral("while the connection to %1 was lost, %2; nothing more is "
                                   "booked")
                        .arg(address_.text(), why));
    }
    lostReason_ = why;
    nextAttemptMs_ = now + retryMs_;
    retryMs_ = std::min(retryMs_ * 2, kLastRetryMs);
    return fail(QStringLiteral("no connection to the books at %1 (%2)").arg(address_.text(), why));
}

// One call: an attempt, and one more on a new connection when the first lost its connection
// before anything was committed.
bool PostgresBooks::attempt(const std::function<Step()>& once) {
    for (int round = 0; round < 2; ++round) {
        if (!connected())
            return false;
        switch (once()) {
        case Step::Done:
            return true;
        case Step::Failed:
            return false;
        case Step::Lost:
            break;
        }
    }
    return false;
}

QString PostgresBooks::statementText(Statement statement) {
    switch (statement) {
    case Statement::ReadPlayer:
        return QStringLiteral("SELECT %1 FROM jackwell.players WHERE name = ?")
            .arg(kStoredPlayerColumns);
    case Statement::LockPlayer:
        return statementText(Statement::ReadPlayer) + QStringLiteral(" FOR UPDATE");
    case Statement::InsertPlayer:
        return QStringLiteral("INSERT INTO jackwell.players (name, credits, pending, games_played,"
                              " tokens_won, free_credits) VALUES (?, ?, ?, ?, ?, ?)"
                              " ON CONFLICT (name) DO NOTHING");
    case Statement::UpdatePlayer:
        return QStringLiteral("UPDATE jackwell.players SET credits = ?, pending = ?,"
                              " games_played = ?, tokens_won = ?, free_credits = ? WHERE name = ?");
    case Statement::InsertGame:
        return QStringLiteral("INSERT INTO jackwell.games (player, game, first_draw, holds,"
                              " final_draw, credits_before, cost, tokens_won, credits_after,"
                              " machine) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
    case Statement::InsertGrant:
        return QStringLiteral("INSERT INTO jackwell.grants (player, after_game, credits, machine)"
                              " VALUES (?, ?, ?, ?)");
    case Statement::ReadDelivery:
        return QStringLiteral("SELECT p.games_played, COALESCE((SELECT max(d.delivered_game)"
                              " FROM jackwell.deliveries d WHERE d.player = p.name), 0),"
                              " g.first_draw, g.holds, g.final_draw, g.credits_before, g.cost,"
                              " g.tokens_won, g.credits_after, g.machine,"
                              " g.played_at > now() - interval '%1 seconds'"
                              " FROM jackwell.players p LEFT JOIN jackwell.games g"
                              " ON g.player = p.name AND g.game = p.games_played WHERE p.name = ?")
            .arg(kOtherMachineGraceSeconds);
    case Statement::MarkDelivered:
        return QStringLiteral("INSERT INTO jackwell.deliveries (player, machine, delivered_game)"
                              " SELECT ?, ?, ? WHERE EXISTS (SELECT 1 FROM jackwell.players"
                              " WHERE name = ?) ON CONFLICT (player, machine) DO UPDATE"
                              " SET delivered_game = greatest(jackwell.deliveries.delivered_game,"
                              " excluded.delivered_game)");
    }
    return {};
}

// Each statement goes to the server in one round trip, its values written into it by the
// driver as the server reads them. (The driver's prepared statements would cost two more, and
// complain on stderr about every statement a lost connection took with it.)
bool PostgresBooks::exec(QSqlQuery& query, Statement statement, const QVariantList& values) {
    return exec(query, statementText(statement), values);
}

bool PostgresBooks::exec(QSqlQuery& query, const QString& text, const QVariantList& values) {
    QString filled;
    filled.reserve(text.size() + 16 * values.size());
    qsizetype next = 0;
    for (const QChar c : text) {
        if (c != u'?' || next == values.size()) {
            filled += c;
            continue;
        }
        const QVariant& value = values[next++];
        QSqlField field(QString(), value.metaType());
        field.setValue(value);
        filled += db_.driver()->formatValue(field);
    }
    query.setForwardOnly(true);
    return query.exec(filled);
}

bool PostgresBooks::run(const QString& statement) {
    QSqlQuery query(db_);
    if (query.exec(statement))
        return true;
    failed(query.lastError());
    return false;
}

// Notes what went wrong; whether the connection went with it decides whether the call may be
// made again on a new one.
PostgresBooks::Step PostgresBooks::failed(const QSqlError& error) {
    lastError_ = firstLine(error);
    if (tablesGone(error)) {
        failedForGood_ = true;
        lastError_ = QStringLiteral("the tables of the books are gone from %1 (%2); nothing more "
                                    "is booked")
                         .arg(address_.text(), lastError_);
        return Step::Failed;
    }
    if (!endsConnection(error) && db_.isOpen())
        return Step::Failed;
    if (!connectionLost_)
        log(QStringLiteral("lost the connection to the books at %1 (%2)")
                .arg(address_.text(), lastError_));
    connectionLost_ = true;
    lostReason_ = lastError_;
    lastError_ =
        QStringLiteral("no connection to the books at %1 (%2)").arg(address_.text(), lastError_);
    return Step::Lost;
}

PostgresBooks::Step PostgresBooks::failedAfterBegin(const QSqlError& error) {
    const Step step = failed(error);
    if (step != Step::Lost)
        rollback();
    return step;
}

void PostgresBooks::rollback() {
    QSqlQuery query(db_);
    if (!query.exec(QStringLiteral("ROLLBACK")))
        failed(query.lastError());
}

std::optional<StoredPlayer> PostgresBooks::readPlayer(const QString& player, bool forUpdate,
                                                      QSqlError* error) {
    QSqlQuery query(db_);
    if (!exec(query, forUpdate ? Statement::LockPlayer : Statement::ReadPlayer, {player})) {
        *error = query.lastError();
        return std::nullopt;
    }
    std::optional<StoredPlayer> stored = StoredPlayer{};
    QString damage;
    if (query.next())
        stored = storedPlayerAt(query, &damage);
    query.finish();
    if (!stored)
        *error = QSqlError(damage, {}, QSqlError::UnknownError);
    return stored;
}

std::optional<machine::PlayerRecord> PostgresBooks::load(const QString& player) {
    lastRead_.reset();
    if (!isStorableName(player)) {
        fail(QStringLiteral("a name with a NUL character cannot be kept in these books"));
        return std::nullopt;
    }
    std::optional<StoredPlayer> stored;
    const bool read = attempt([&] {
        QSqlError error;
        stored = readPlayer(player, false, &error);
        return stored ? Step::Done : failed(error);
    });
    if (!read)
        return std::nullopt;
    lastRead_.emplace(player, *stored);
    return stored->record; // a player never seen has a fresh record
}

// Whether the row locked now is the one load() read last, when it read this player.
bool PostgresBooks::isAsRead(const QString& player, const StoredPlayer& stored) {
    if (!lastRead_ || lastRead_->first != player)
        return true;
    const StoredPlayer& read = lastRead_->second;
    if (read.found == stored.found && read.record == stored.record)
        return true;
    changedElsewhere_ = true;
    return fail(QStringLiteral("the books of %1 changed on another machine since they were read")
                    .arg(player.left(64)));
}

// A new player's row is inserted, and a row another machine inserted meanwhile is not
// overwritten: it was not there to be locked.
PostgresBooks::Step PostgresBooks::writePlayer(const StoredPlayer& stored, const QString& player,
                                               const machine::PlayerRecord& record) {
    QVariantList values = {record.credits, pendingDrawValue(record), record.gamesPlayed,
                           record.tokensWon, record.freeCreditsGranted};
    if (stored.found)
        values.append(player);
    else
        values.prepend(player);
    QSqlQuery query(db_);
    if (!exec(query, stored.found ? Statement::UpdatePlayer : Statement::InsertPlayer, values))
        return failedAfterBegin(query.lastError());
    if (query.numRowsAffected() == 1)
        return Step::Done;
    rollback();
    changedElsewhere_ = true;
    fail(QStringLiteral("the books of %1 changed on another machine since they were read")
             .arg(player.left(64)));
    return Step::Failed;
}

PostgresBooks::Step PostgresBooks::saveOnce(const QString& player,
                                            const machine::PlayerRecord& record) {
    if (!run(QStringLiteral("BEGIN")))
        return connectionLost_ ? Step::Lost : Step::Failed;
    QSqlError error;
    const std::optional<StoredPlayer> stored = readPlayer(player, true, &error);
    if (!stored)
        return failedAfterBegin(error);
    if (!isAsRead(player, *stored)) {
        rollback();
        return Step::Failed;
    }
    if (!isBalancedSave(*stored, record)) {
        rollback();
        fail(QStringLiteral("refused a change of %1 that would unbalance the books")
                 .arg(player.left(64)));
        return Step::Failed;
    }
    if (const Step written = writePlayer(*stored, player, record); written != Step::Done)
        return written;
    const qint64 granted = record.freeCreditsGranted - stored->record.freeCreditsGranted;
    if (granted > 0) {
        QSqlQuery query(db_);
        if (!exec(query, Statement::InsertGrant,
                  {player, record.gamesPlayed, granted, options_.machine}))
            return failedAfterBegin(query.lastError());
    }
    // A commit that was not answered may or may not have been made: it is not made again.
    QSqlQuery commit(db_);
    if (!commit.exec(QStringLiteral("COMMIT"))) {
        failed(commit.lastError());
        return Step::Failed;
    }
    return Step::Done;
}

bool PostgresBooks::save(const QString& player, const machine::PlayerRecord& record) {
    changedElsewhere_ = false;
    if (!isStorableName(player))
        return fail(QStringLiteral("a name with a NUL character cannot be kept in these books"));
    const bool saved = attempt([&] { return saveOnce(player, record); });
    if (saved)
        lastRead_.reset();
    return saved;
}

PostgresBooks::Step PostgresBooks::commitGameOnce(const QString& player,
                                                  const machine::GameOutcome& outcome,
                                                  const machine::PlayerRecord& after) {
    if (!run(QStringLiteral("BEGIN")))
        return connectionLost_ ? Step::Lost : Step::Failed;
    QSqlError error;
    const std::optional<StoredPlayer> stored = readPlayer(player, true, &error);
    if (!stored)
        return failedAfterBegin(error);
    if (!isAsRead(player, *stored)) {
        rollback();
        return Step::Failed;
    }
    if (!isNextGame(*stored, outcome, after)) {
        rollback();
        fail(QStringLiteral("refused a game of %1 that is not the one waiting")
                 .arg(player.left(64)));
        return Step::Failed;
    }
    QSqlQuery query(db_);
    if (!exec(query, Statement::InsertGame,
              {player, after.gamesPlayed, encodeCodes(outcome.firstDraw),
               encodeHolds(outcome.holds), encodeCodes(outcome.finalDraw), outcome.creditsBefore,
               outcome.cost, outcome.tokensWon, outcome.creditsAfter, options_.machine}))
        return failedAfterBegin(query.lastError());
    if (const Step written = writePlayer(*stored, player, after); written != Step::Done)
        return written;
    QSqlQuery commit(db_);
    if (!commit.exec(QStringLiteral("COMMIT"))) {
        failed(commit.lastError());
        return Step::Failed;
    }
    return Step::Done;
}

bool PostgresBooks::commitGame(const QString& player, const machine::GameOutcome& outcome,
                               const machine::PlayerRecord& after) {
    changedElsewhere_ = false;
    if (!isStorableName(player))
        return fail(QStringLiteral("a name with a NUL character cannot be kept in these books"));
    const bool booked = attempt([&] { return commitGameOnce(player, outcome, after); });
    if (booked)
        lastRead_.reset(); // a second change needs a second read
    return booked;
}

std::optional<Delivery> PostgresBooks::delivery(const QString& player) {
    if (!isStorableName(player))
        return Delivery{}; // never booked
    std::optional<Delivery> found;
    QString damage;
    const bool read = attempt([&] {
        QSqlQuery query(db_);
        if (!exec(query, Statement::ReadDelivery, {player}))
            return failed(query.lastError());
        Delivery delivery;
        if (query.next()) {
            delivery.lastGame = query.value(0).toLongLong();
            delivery.deliveredGame = query.value(1).toLongLong();
            if (delivery.lastGame > 0) {
                delivery.lastOutcome = gameOutcomeAt(query, 2);
                if (!delivery.lastOutcome)
                    damage = query.value(2).isNull() ? QStringLiteral("a booked game is missing")
                                                     : QStringLiteral("a booked game is damaged");
                else
                    delivery.onItsWayElsewhere = delivery.lastGame > delivery.deliveredGame &&
                                                 query.value(9).toString() != options_.machine &&
                                                 query.value(10).toBool();
            }
        }
        query.finish();
        found = delivery;
        return Step::Done;
    });
    if (!read)
        return std::nullopt;
    if (!damage.isEmpty()) {
        fail(damage);
        return std::nullopt;
    }
    return found;
}

bool PostgresBooks::markDelivered(const std::vector<std::pair<QString, qint64>>& marks) {
    if (std::ranges::all_of(marks, [](const auto& mark) { return !isStorableName(mark.first); }))
        return true;
    return attempt([&] {
        // A mark lost with the server only means a result told again.
        if (!run(QStringLiteral("BEGIN")) ||
            !run(QStringLiteral("SET LOCAL synchronous_commit = off")))
            return connectionLost_ ? Step::Lost : Step::Failed;
        QSqlQuery query(db_);
        for (const auto& [player, game] : marks) {
            if (isStorableName(player) &&
                !exec(query, Statement::MarkDelivered, {player, options_.machine, game, player}))
                return failedAfterBegin(query.lastError());
        }
        QSqlQuery commit(db_);
        if (!commit.exec(QStringLiteral("COMMIT"))) {
            failed(commit.lastError());
            return Step::Failed;
        }
        return Step::Done;
    });
}

void PostgresBooks::whenDurable(std::function<void(bool durable)> then) {
    QMetaObject::invokeMethod(
        &context_, [then = std::move(then)] { then(true); }, Qt::QueuedConnection);
}

// The three tables as they were at one moment, while robots may be booking into them.
bool PostgresBooks::readLedger(Ledger& ledger) {
    return attempt([&] {
        ledger = {};
        if (!run(QStringLiteral("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY")))
            return connectionLost_ ? Step::Lost : Step::Failed;
        QSqlQuery query(db_);
        query.setForwardOnly(true);
        auto unreadable = [&](const QString& what) {
            const Step step = failedAfterBegin(query.lastError());
            lastError_ = QStringLiteral("cannot read the %1: %2").arg(what, lastError_);
            return step;
        };
        if (!query.exec(QStringLiteral("SELECT %1, machine, played_at FROM jackwell.games"
                                       " ORDER BY player COLLATE \"C\", game")
                            .arg(kLedgerGameColumns)))
            return unreadable(QStringLiteral("games"));
        while (query.next()) {
            LedgerGame game = ledgerGameAt(query);
            game.machine = query.value(9).toString();
            game.playedAt = query.value(10).toDateTime();
            ledger.games.push_back(std::move(game));
        }
        if (!query.exec(QStringLiteral("SELECT %1 FROM jackwell.grants").arg(kLedgerGrantColumns)))
            return unreadable(QStringLiteral("grants"));
        while (query.next())
            ledger.grants.push_back(ledgerGrantAt(query));
        if (!query.exec(
                QStringLiteral("SELECT %1 FROM jackwell.players ORDER BY name COLLATE \"C\"")
                    .arg(kLedgerPlayerColumns)))
            return unreadable(QStringLiteral("players"));
        while (query.next())
            ledger.players.push_back(ledgerPlayerAt(query));
        query.finish();
        return run(QStringLiteral("COMMIT")) ? Step::Done : Step::Failed;
    });
}

} // namespace jackwell::keeper
