#include "support/postgres_server.h"

#include "support/free_loopback_port.h"
#include "support/install_when_missing.h"
#include <QAtomicInteger>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTcpServer>
#include <QThread>

#include <csignal>
#include <grp.h>
#include <sys/prctl.h>
#include <unistd.h>

namespace jackwell::testing {

namespace {

const QString kBinaries = QStringLiteral("/usr/lib/postgresql/15/bin/");
const QString kSuperuser = QStringLiteral("postgres");
const QString kSuperuserPassword = QStringLiteral("cluster-admin-pw");
constexpr uid_t kNobody = 65534;
constexpr gid_t kNoGroup = 65534;
constexpr int kStartTries = 5;
constexpr int kReadyMs = 30000;

bool asRoot() {
    return ::geteuid() == 0;
}

// The server's programs refuse root: as root they run as nobody.
void becomeServerUser() {
    if (!asRoot())
        return;
    ::setgroups(0, nullptr);
    if (::setgid(kNoGroup) != 0 || ::setuid(kNobody) != 0)
        ::_exit(125);
}

bool writeFile(const QString& path, const QByteArray& text) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size())
        return false;
    file.close();
    if (asRoot() && ::chown(QFile::encodeName(path).constData(), kNobody, kNoGroup) != 0)
        return false;
    return true;
}

} // namespace

PostgresServer::PostgresServer()
    : PostgresServer(Options{}) {}

PostgresServer::PostgresServer(Options options)
    : options_(options) {}

PostgresServer::~PostgresServer() {
    stop();
}

bool PostgresServer::ensureInstalled(QString* error) {
    // The driver is a plugin, found when the program starts: a fresh install is seen by the
    // next test program.
    return installWhenMissing(
        [] {
            return QFileInfo(kBinaries + QStringLiteral("postgres")).isExecutable() &&
                   QSqlDatabase::isDriverAvailable(QStringLiteral("QPSQL"));
        },
        QStringLiteral("PostgreSQL 15 or Qt's driver for it (postgresql-15, libqt6sql6-psql)"),
        error);
}

bool PostgresServer::start(QString* error) {
    if (isRunning())
        return true;
    if (!ensureInstalled(error))
        return false;
    if (!dir_.isValid()) {
        *error = QStringLiteral("no temporary folder: ") + dir_.errorString();
        return false;
    }
    if (!clusterMade_ && !makeCluster(error))
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

bool PostgresServer::makeCluster(QString* error) {
    const QDir dir(dir_.path());
    if (asRoot() && ::chown(QFile::encodeName(dir_.path()).constData(), kNobody, kNoGroup) != 0) {
        *error = QStringLiteral("cannot give the temporary folder to nobody");
        return false;
    }
    const QString passwordFile = dir.filePath(QStringLiteral("superuser-pw"));
    if (!writeFile(passwordFile, kSuperuserPassword.toUtf8() + '\n')) {
        *error = QStringLiteral("cannot write %1").arg(passwordFile);
        return false;
    }
    QProcess initdb;
    initdb.setProcessChannelMode(QProcess::MergedChannels);
    initdb.setWorkingDirectory(dir_.path());
    initdb.setChildProcessModifier(becomeServerUser);
    initdb.start(kBinaries + QStringLiteral("initdb"),
                 {QStringLiteral("-D"), dir.filePath(QStringLiteral("data")), QStringLiteral("-U"),
                  kSuperuser, QStringLiteral("--pwfile=") + passwordFile,
                  QStringLiteral("--auth-local=scram-sha-256"),
                  QStringLiteral("--auth-host=scram-sha-256"), QStringLiteral("-E"),
                  QStringLiteral("UTF8"), QStringLiteral("--locale=C.UTF-8"),
                  QStringLiteral("--no-sync"), QStringLiteral("--no-instructions")});
    if (!initdb.waitForFinished(60000) || initdb.exitStatus() != QProcess::NormalExit ||
        initdb.exitCode() != 0) {
        *error = QStringLiteral("initdb failed: ") + QString::fromLocal8Bit(initdb.readAll());
        return false;
    }
    QFile::remove(passwordFile);
    clusterMade_ = true;
    return true;
}

bool PostgresServer::launch(QString* error) {
    const QDir dir(dir_.path());
    const QString log = dir.filePath(QStringLiteral("server.log"));
    QFile::remove(log);
    process_ = std::make_unique<QProcess>();
    process_->setProcessChannelMode(QProcess::MergedChannels);
    process_->setStandardOutputFile(log, QIODevice::Truncate);
    process_->setWorkingDirectory(dir_.path());
    process_->setChildProcessModifier([] {
        // Should the test program die, the server shuts down fast.
        ::prctl(PR_SET_PDEATHSIG, SIGINT);
        becomeServerUser();
    });
    QStringList arguments = {
        QStringLiteral("-D"), dir.filePath(QStringLiteral("data")),
        QStringLiteral("-c"), QStringLiteral("listen_addresses=") + kHost,
        QStringLiteral("-c"), QStringLiteral("port=%1").arg(port_),
        QStringLiteral("-c"), QStringLiteral("unix_socket_directories="),
        QStringLiteral("-c"), QStringLiteral("max_connections=50"),
    };
    if (!options_.durable)
        arguments << QStringLiteral("-c") << QStringLiteral("fsync=off") << QStringLiteral("-c")
                  << QStringLiteral("full_page_writes=off");
    process_->start(kBinaries + QStringLiteral("postgres"), arguments);
    if (!process_->waitForStarted(5000)) {
        *error = QStringLiteral("postgres did not start: ") + process_->errorString();
        process_.reset();
        return false;
    }
    // Ready once it says so; a port another program took makes it end at once instead.
    QDeadlineTimer deadline(kReadyMs);
    while (!deadline.hasExpired()) {
        if (process_->waitForFinished(25))
            break;
        if (logText().contains("database system is ready to accept connections"))
            return true;
    }
    *error = QStringLiteral("postgres does not take connections on port %1: %2")
                 .arg(port_)
                 .arg(output());
    stop();
    return false;
}

bool PostgresServer::makeLogin(QString* error) {
    if (!exec(QStringLiteral("postgres"),
              QStringLiteral("CREATE ROLE %1 LOGIN PASSWORD '%2'").arg(kUser, kPassword), error) ||
        !createDatabase(kUser, error))
        return false;
    loginMade_ = true;
    return true;
}

bool PostgresServer::createDatabase(const QString& name, QString* error) {
    return exec(QStringLiteral("postgres"),
                QStringLiteral("CREATE DATABASE \"%1\" OWNER %2").arg(name, kUser), error);
}

bool PostgresServer::exec(const QString& database, const QString& statement, QString* error) {
    static QAtomicInteger<int> counter;
    const QString name =
        QStringLiteral("postgres-server-admin-%1").arg(counter.fetchAndAddRelaxed(1));
    bool done = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
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

void PostgresServer::stop() {
    if (!process_)
        return;
    if (process_->state() != QProcess::NotRunning) {
        ::kill(pid_t(process_->processId()), SIGINT);
        if (!process_->waitForFinished(10000)) {
            process_->kill();
            process_->waitForFinished(3000);
        }
    }
    process_.reset();
}

void PostgresServer::kill() {
    if (!process_)
        return;
    process_->kill();
    process_->waitForFinished(3000);
    process_.reset(); // its children notice and end by themselves
}

bool PostgresServer::isRunning() const {
    return process_ && process_->state() == QProcess::Running;
}

QString PostgresServer::address(const QString& database) const {
    return QStringLiteral("postgresql://%1@%2:%3/%4").arg(kUser, kHost).arg(port_).arg(database);
}

QProcessEnvironment PostgresServer::environment() const {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("PGPASSWORD"), kPassword);
    return environment;
}

QByteArray PostgresServer::logText() const {
    QFile log(QDir(dir_.path()).filePath(QStringLiteral("server.log")));
    return log.open(QIODevice::ReadOnly) ? log.readAll() : QByteArray();
}

QString PostgresServer::output() const {
    const QByteArray text = logText();
    if (text.size() <= 4000)
        return QString::fromLocal8Bit(text);
    return QString::fromLocal8Bit(text.left(2000) + "\n...\n" + text.right(2000));
}

} // namespace jackwell::testing
