#include "support/postgres_server.h"

#include <QAtomicInteger>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>

#include <csignal>

namespace jackwell::testing {

namespace {

const QString kBinaries = QStringLiteral("/usr/lib/postgresql/15/bin/");
const QString kSuperuser = QStringLiteral("postgres");
const QString kSuperuserPassword = QStringLiteral("cluster-admin-pw");
constexpr int kStartTries = 5;
constexpr int kReadyMs = 30000;

} // namespace

PostgresServer::PostgresServer(Options options)
    : TestServer({"server.log"})
    , options_(options) {}

bool PostgresServer::ensureInstalled(QString* error) {
    // The driver is a plugin, found when the program starts: the next test program sees it.
    return installWhenMissing(
        [] {
            return QFileInfo(kBinaries + "postgres").isExecutable() &&
                   QSqlDatabase::isDriverAvailable("QPSQL");
        },
        "PostgreSQL 15 or Qt's driver for it (postgresql-15, libqt6sql6-psql)", error);
}

bool PostgresServer::start(QString* error) {
    if (isRunning())
        return true;
    if (!ensureInstalled(error) || (!clusterMade_ && !makeCluster(error)))
        return false;
    const bool pickPort = port_ == 0;
    for (int attempt = 0; attempt < kStartTries; ++attempt) {
        if (pickPort)
            port_ = freeLoopbackPort();
        else if (attempt > 0)
            QThread::msleep(200); // the processes of a server just killed are still ending
        if (launch(error))
            return loginMade_ || makeLogin(error);
    }
    return false;
}

void PostgresServer::freeze(bool frozen) {
    if (!isRunning())
        return;
    const pid_t server = pid_t(process_->processId());
    // Its children first, so that none goes on while the server is stopped.
    for (const QString& entry : QDir("/proc").entryList(QDir::Dirs)) {
        // "pid (name) state ppid ...": the name may hold blanks, the rest does not.
        const QByteArray text = fileBytes(QStringLiteral("/proc/%1/stat").arg(entry));
        const QList<QByteArray> rest = text.mid(text.lastIndexOf(')') + 2).split(' ');
        if (rest.size() > 1 && rest[1].toLongLong() == server)
            ::kill(pid_t(entry.toLongLong()), frozen ? SIGSTOP : SIGCONT);
    }
    ::kill(server, frozen ? SIGSTOP : SIGCONT);
}

bool PostgresServer::makeCluster(QString* error) {
    const QString passwordFile = "superuser-pw";
    if (!folderReady(error, true) ||
        !writeFile(passwordFile, kSuperuserPassword.toUtf8() + '\n', error, true))
        return false;
    if (!runToEnd(
            {.program = kBinaries + QStringLiteral("initdb"),
             .arguments = {"-D", path("data"), "-U", kSuperuser, "--pwfile=" + path(passwordFile),
                           "--auth-local=scram-sha-256", "--auth-host=scram-sha-256", "-E", "UTF8",
                           "--locale=C.UTF-8", "--no-sync", "--no-instructions"},
             .log = "initdb.log",
             .asNobody = true},
            60000, error))
        return false;
    QFile::remove(path(passwordFile));
    clusterMade_ = true;
    return true;
}

bool PostgresServer::launch(QString* error) {
    QStringList arguments = {"-D", path("data"),
                             "-c", "listen_addresses=" + kHost,
                             "-c", QStringLiteral("port=%1").arg(port_),
                             "-c", "unix_socket_directories=",
                             "-c", "max_connections=50"};
    if (!options_.durable)
        arguments += QStringList{"-c", "fsync=off", "-c", "full_page_writes=off"};
    // A log of this start only (a killed server's processes may write the last); dies with us.
    QFile::remove(path("server.log"));
    // Ready once it says so ("... read-only connections" for a standby); a port taken ends it.
    const auto ready = [this] {
        const QByteArray log = fileText("server.log");
        return log.contains("database system is ready to accept connections") ||
               log.contains("ready to accept read-only connections");
    };
    return launchReady(process_,
                       {.program = kBinaries + QStringLiteral("postgres"),
                        .arguments = arguments,
                        .log = "server.log",
                        .asNobody = true,
                        .deathSignal = SIGINT},
                       ready, kReadyMs,
                       QStringLiteral("postgres does not take connections on port %1").arg(port_),
                       error);
}

bool PostgresServer::startAsStandbyOf(PostgresServer& primary, QString* error) {
    if (!ensureInstalled(error) || !folderReady(error, true))
        return false;
    if (!runToEnd(
            {.program = kBinaries + QStringLiteral("pg_basebackup"),
             .arguments = {"-d",
                           QStringLiteral("host=%1 port=%2 user=%3 password=%4 "
                                          "application_name=standby")
                               .arg(kHost)
                               .arg(primary.port())
                               .arg(kSuperuser, kSuperuserPassword),
                           "-D", path("data"), "-R", "-X", "stream", "-c", "fast", "--no-sync"},
             .log = "basebackup.log",
             .asNobody = true},
            60000, error))
        return false;
    clusterMade_ = loginMade_ = true; // the login and its database came with the backup
    if (!start(error))
        return false;
    return primary.exec("postgres", "ALTER SYSTEM SET synchronous_standby_names = 'standby'",
                        error) &&
           primary.exec("postgres", "SELECT pg_reload_conf()", error);
}

bool PostgresServer::promote(QString* error) {
    return exec("postgres", "SELECT pg_promote(true, 30)", error);
}

bool PostgresServer::makeLogin(QString* error) {
    loginMade_ =
        exec("postgres", QStringLiteral("CREATE ROLE %1 LOGIN PASSWORD '%2'").arg(kUser, kPassword),
             error) &&
        createDatabase(kUser, error);
    return loginMade_;
}

bool PostgresServer::createDatabase(const QString& name, QString* error) {
    return exec("postgres", QStringLiteral("CREATE DATABASE \"%1\" OWNER %2").arg(name, kUser),
                error);
}

bool PostgresServer::exec(const QString& database, const QString& statement, QString* error) {
    static QAtomicInteger<int> counter;
    const QString name =
        QStringLiteral("postgres-server-admin-%1").arg(counter.fetchAndAddRelaxed(1));
    bool done = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QPSQL", name);
        db.setHostName(kHost);
        db.setPort(port_);
        db.setDatabaseName(database);
        db.setUserName(kSuperuser);
        db.setPassword(kSuperuserPassword);
        if (!db.open()) {
            *error = db.lastError().text();
        } else {
            QSqlQuery query(db);
            done = query.exec(statement);
            if (!done)
                *error = query.lastError().text();
        }
    }
    QSqlDatabase::removeDatabase(name);
    return done;
}

QString PostgresServer::address(const QString& database) const {
    return QStringLiteral("postgresql://%1@%2:%3/%4").arg(kUser, kHost).arg(port_).arg(database);
}

QProcessEnvironment PostgresServer::environment() const {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("PGPASSWORD", kPassword);
    return environment;
}

} // namespace jackwell::testing
