#include "books/postgres_books.h"

#include "clock/clock.h"

#include <QAtomicInteger>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlField>
#include <QStringList>
#include <QThread>
#include <QVariant>

#include <algorithm>

#include <libpq-fe.h>
#include <sys/socket.h>

namespace jackwell::books {

namespace {

// Bounds on what the server may cost the robot, which waits for it: a lock another machine
// holds for longer than its own short transaction, a statement that runs away, a robot whose
// transaction stays open (it froze mid-change, or its network went).
const QStringList kServeSession = {
    QStringLiteral("SET lock_timeout = '1s'"),
    QStringLiteral("SET statement_timeout = '5s'"),
    QStringLiteral("SET idle_in_transaction_session_timeout = '10s'"),
};

QString nextConnectionName() {
    static QAtomicInteger<int> counter;
    return QStringLiteral("jackwell-server-books-%1").arg(counter.fetchAndAddRelaxed(1));
}

// Errors after which the connection is of no more use: the server went away, or ended it (57P:
// shut down, crashed, starting, the database dropped, an idle session timed out).
bool endsConnection(const QSqlError& error) {
    const QString code = error.nativeErrorCode();
    return code.startsWith(QLatin1String("08")) || code.startsWith(QLatin1String("57P"));
}

// Errors that say the tables themselves are gone.
bool tablesGone(const QSqlError& error) {
    const QString code = error.nativeErrorCode();
    return code == QLatin1String("42P01") || code == QLatin1String("3F000");
}

// The client library's connection under Qt's. (Qt names its type by the struct's name.)
PGconn* connectionOf(const QSqlDatabase& db) {
    const QVariant handle = db.driver() ? db.driver()->handle() : QVariant();
    const bool isConnection = handle.isValid() && (qstrcmp(handle.typeName(), "PGconn*") == 0 ||
                                                   qstrcmp(handle.typeName(), "pg_conn*") == 0);
    return isConnection ? *static_cast<PGconn* const*>(handle.constData()) : nullptr;
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

bool PostgresBooks::connect(QString* error) {
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QPSQL"))) {
        *error = QStringLiteral("Qt's PostgreSQL driver is missing (Debian: libqt6sql6-psql)");
        return false;
    }
    db_ = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), nextConnectionName());
    QStringList hosts = {address_.host}, ports = {QString::number(address_.port)};
    for (const PostgresAddress::Server& other : address_.others) {
        hosts << other.host;
        ports << QString::number(other.port);
    }
    db_.setHostName(hosts.join(u','));
    db_.setUserName(address_.user);
    db_.setDatabaseName(address_.database);
    // No password here: the client library reads PGPASSWORD or ~/.pgpass. Keepalives and the
    // TCP timeout notice a server that vanished without closing the connection.
    QStringList options = {
        QStringLiteral("connect_timeout=5"),  QStringLiteral("application_name=jackwell-keeper"),
        QStringLiteral("keepalives_idle=30"), QStringLiteral("keepalives_interval=10"),
        QStringLiteral("keepalives_count=3"), QStringLiteral("tcp_user_timeout=15000"),
    };
    options << QStringLiteral("port=") + ports.join(u','); // a port for each host, in turn
    if (!address_.targetSessionAttrs.isEmpty())
        options << QStringLiteral("target_session_attrs=") + address_.targetSessionAttrs;
    if (!address_.sslMode.isEmpty())
        options << QStringLiteral("sslmode=") + address_.sslMode;
    if (!address_.sslRootCert.isEmpty())
        options << QStringLiteral("sslrootcert=") + address_.sslRootCert;
    db_.setConnectOptions(options.join(u';'));
    if (!db_.open()) {
        // The client library says why on a line for each server it tried.
        const QSqlError failed = db_.lastError();
        QStringList why = (failed.databaseText().isEmpty() ? failed.text() : failed.databaseText())
                              .split(u'\n', Qt::SkipEmptyParts);
        for (QString& line : why)
            line = line.trimmed();
        *error = QStringLiteral("cannot reach the books (%1)").arg(why.join(QStringLiteral("; ")));
        return false;
    }
    return setUpSession(error);
}

void PostgresBooks::noteSocket() {
    PGconn* connection = connectionOf(db_);
    socket_ = connection ? PQsocket(connection) : -1;
}

// Whether the connection stands in a transaction that can still commit. The server answers the
// COMMIT of a transaction that an error spoilt by rolling it back, and reports no error.
bool PostgresBooks::inTransaction() const {
    PGconn* connection = connectionOf(db_);
    return connection && PQtransactionStatus(connection) == PQTRANS_INTRANS;
}

void PostgresBooks::interruptStalled() {
    const int socket = socket_;
    if (socket < 0)
        return;
    interrupted_ = true;
    ::shutdown(socket, SHUT_RDWR);
}

bool PostgresBooks::setUpSession(QString* error) {
    noteSocket();
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
        if (round > 0 || session_.serverStart != session.serverStart) // none yet, or restarted
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
    socket_ = -1;
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
    outcomeUnknown_ = false;
    for (int round = 0; round < 2; ++round) {
        if (!connected())
            return false;
        const Step step = once();
        if (batchFailed_ && batchBegun_)
            abandonBatch(); // a read broke the batch's transaction: the reads after it go on
        switch (step) {
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

// One call as one transaction, begun with `begin`: `body` makes the changes and says how they
// went. A body that failed is rolled back; one whose connection was lost before the commit is
// made again on a new connection. A commit that was not answered may or may not have been
// made: it is not made again.
bool PostgresBooks::transaction(const std::function<Step()>& body, const QString& begin,
                                const LookUp& lookUp) {
    return attempt([&] {
        QSqlQuery query(db_);
        if (!query.exec(begin))
            return failed(query.lastError());
        const Step step = body();
        if (step == Step::Failed)
            rollback();
        if (step != Step::Done)
            return step;
        if (!query.exec(QStringLiteral("COMMIT"))) {
            if (failed(query.lastError()) == Step::Lost && lookUp)
                return lookUpCommit(lookUp);
            return Step::Failed;
        }
        return Step::Done;
    });
}

// A commit whose answer was lost with the connection: the books are read back on a new
// connection, as soon as there is one, to learn whether the change was kept.
PostgresBooks::Step PostgresBooks::lookUpCommit(const LookUp& lookUp) {
    const QString lost = lastError_;
    for (int attempt = 0; attempt < kLookUpAttempts && !failedForGood_; ++attempt) {
        if (attempt > 0)
            QThread::msleep(kLookUpPauseMs);
        nextAttemptMs_ = 0;
        if (!connected())
            continue;
        if (const std::optional<bool> kept = lookUp()) {
            log(QStringLiteral("a change whose commit went unanswered was %1")
                    .arg(*kept ? QStringLiteral("kept") : QStringLiteral("not kept")));
            if (*kept)
                return Step::Done;
            return refused(QStringLiteral("the change was not kept: %1").arg(lost));
        }
    }
    outcomeUnknown_ = true;
    return refused(QStringLiteral("whether the last change was kept is unknown: %1").arg(lost));
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

// Notes what went wrong; whether the connection went with it decides whether the call may be
// made again on a new one.
PostgresBooks::Step PostgresBooks::failed(const QSqlError& error) {
    lastError_ = firstLine(error);
    if (batchBegun_ && !batchFailed_)
        batchFailed_ = lastError_; // the server took back the batch's transaction
    if (tablesGone(error)) {
        failedForGood_ = true;
        lastError_ = QStringLiteral("the tables of the books are gone from %1 (%2); nothing more "
                                    "is booked")
                         .arg(address_.text(), lastError_);
        return Step::Failed;
    }
    if (!interrupted_.exchange(false) && !endsConnection(error) && db_.isOpen())
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

void PostgresBooks::rollback() {
    QSqlQuery query(db_);
    if (!query.exec(QStringLiteral("ROLLBACK")))
        failed(query.lastError());
}

PostgresBooks::Step PostgresBooks::refused(const QString& why) {
    fail(why);
    return Step::Failed;
}

// The server's first line of an error (the client library adds hints below it).
QString PostgresBooks::firstLine(const QSqlError& error) {
    const QString text = error.databaseText().isEmpty() ? error.text() : error.databaseText();
    return text.section(u'\n', 0, 0).trimmed();
}

} // namespace jackwell::books
