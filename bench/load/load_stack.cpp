#include "load_stack.h"

#include "clock/clock.h"
#include "load_process.h"
#include "load_server_link.h"
#include "support/postgres_server.h"

#include <QDir>
#include <QFile>
#include <QHostAddress>

#include <sys/stat.h>
#include <unistd.h>

namespace jackwell::load {

namespace {

const QString kNgircd = QStringLiteral("/usr/sbin/ngircd");
const QByteArray kOperName = "keeperop";
const QByteArray kOperPassword = "keeperpass";
constexpr int kMemorySampleMs = 100;

} // namespace

LoadStack::LoadStack(Clock& clock, QString keeperBinary, int robots, BooksKind books, int fastPace,
                     bool floodLimits, bool databaseSyncs)
    : clock_(clock)
    , keeperBinary_(std::move(keeperBinary))
    , booksKind_(books)
    , fastPace_(fastPace)
    , floodLimits_(floodLimits)
    , databaseSyncs_(databaseSyncs)
    , keepers_(std::size_t(std::max(1, robots))) {
    memoryAlarm_ = clock_.createAlarm([this] { sampleKeeperMemory(); });
}

LoadStack::~LoadStack() {
    for (Keeper& keeper : keepers_) {
        if (keeper.process)
            keeper.process->kill();
    }
    if (server_)
        server_->kill();
    for (Keeper& keeper : keepers_) {
        if (keeper.process)
            keeper.process->waitForFinished(2000);
    }
    if (server_)
        server_->waitForFinished(2000);
}

QByteArray LoadStack::keeperNick(int index) {
    return index == 0 ? QByteArray("Rivet") : "Rivet" + QByteArray::number(index + 1);
}

QString LoadStack::books() const {
    if (database_ && standby_)
        return QStringLiteral("postgresql://%1@%2:%3,%2:%4/%1?target_session_attrs=read-write")
            .arg(testing::PostgresServer::kUser, testing::PostgresServer::kHost)
            .arg(database_->port())
            .arg(standby_->port());
    if (database_)
        return database_->address();
    return QDir(dir_.path()).filePath(QStringLiteral("books.sqlite"));
}

QString LoadStack::floorBooks(QString* error) {
    const QString name = QStringLiteral("floor");
    if (!database_)
        return QDir(dir_.path()).filePath(name + QStringLiteral(".sqlite"));
    if (!database_->createDatabase(name, error))
        return {};
    return database_->address(name);
}

QList<QByteArray> LoadStack::exemptionLines(const QByteArray& nick) {
    return {"OPER " + kOperName + " " + kOperPassword + "\r\n", "MODE " + nick + " +F\r\n"};
}

void LoadStack::freezeDatabase(bool frozen) {
    if (database_)
        database_->freeze(frozen);
}

bool LoadStack::failOver(QString* error) {
    if (!database_ || !standby_) {
        *error = QStringLiteral("no standby to fail over to");
        return false;
    }
    database_->kill();
    return standby_->promote(error);
}

qint64 LoadStack::keeperPid(int index) const {
    const auto& process = keepers_[std::size_t(index)].process;
    return process && process->state() == QProcess::Running ? process->processId() : 0;
}

qint64 LoadStack::serverPid() const {
    return server_ && server_->state() == QProcess::Running ? server_->processId() : 0;
}

qint64 LoadStack::databasePid() const {
    return database_ ? database_->pid() : 0;
}

int LoadStack::keeperConnectionsLost(int index) const {
    QFile log(keeperLogPath(index));
    return log.open(QIODevice::ReadOnly) ? int(log.readAll().count("connection lost")) : 0;
}

QString LoadStack::keeperLogPath(int index) const {
    return QDir(dir_.path())
        .filePath(index == 0 ? QStringLiteral("keeper.log")
                             : QStringLiteral("keeper%1.log").arg(index + 1));
}

QString LoadStack::configPath(int index) const {
    return QDir(dir_.path())
        .filePath(index == 0 ? QStringLiteral("keeper.txt")
                             : QStringLiteral("keeper%1.txt").arg(index + 1));
}

QString LoadStack::serverDescription(bool floodLimits) {
    return QStringLiteral("ngircd on 127.0.0.1 only; limits raised: MaxConnections and "
                          "MaxConnectionsIP unlimited (every player comes from 127.0.0.1), "
                          "MaxNickLength 30; %1")
        .arg(floodLimits ? QStringLiteral("flood limits as shipped, the robot exempt from them "
                                          "as operator (MODE +F)")
                         : QStringLiteral("flood limits off for everyone (MaxPenaltyTime 0)"));
}

bool LoadStack::writeFiles(QString* error) {
    const QDir dir(dir_.path());
    dir.mkpath(QStringLiteral("run"));
    dir.mkpath(QStringLiteral("conf.d"));
    // ngircd started as root drops to nobody, who must still reach its pid file.
    ::chmod(QFile::encodeName(dir_.path()).constData(), 0755);
    ::chmod(QFile::encodeName(dir.filePath(QStringLiteral("run"))).constData(), 01777);
    port_ = testing::TestServer::freeLoopbackPort();
    QStringList server = {
        "[Global]",
        "Name = irc.load.local",
        "Info = load test server",
        "AdminInfo1 = load",
        "AdminInfo2 = load",
        "AdminEMail = load@localhost",
        "Listen = 127.0.0.1",
        "Ports = " + QString::number(port_),
        "MotdPhrase = \"load test\"",
        "PidFile = " + dir.filePath("run/ngircd.pid"),
    };
    if (::geteuid() == 0)
        server += {"ServerUID = nobody", "ServerGID = nogroup"};
    server += {"[Limits]", "MaxConnections = 0", "MaxConnectionsIP = 0", "MaxNickLength = 30"};
    if (!floodLimits_)
        server += "MaxPenaltyTime = 0";
    server += {"[Options]",
               "PAM = no",
               "DNS = no",
               "Ident = no",
               "IncludeDir = " + dir.filePath("conf.d"),
               "[Operator]",
               "Name = " + QString::fromLatin1(kOperName),
               "Password = " + QString::fromLatin1(kOperPassword)};
    if (!writeFile(dir.filePath("ngircd.conf"), (server.join('\n') + '\n').toUtf8(), error))
        return false;
    if (withLink_) {
        link_ = std::make_unique<ServerLink>(clock_, dir_.path(), port_);
        if (!link_->writeFirstSide(dir.filePath("conf.d"), error))
            return false;
    }
    for (int index = 0; index < robots(); ++index) {
        QByteArray keeper = "server = 127.0.0.1\nport = " + QByteArray::number(keeperPort(index)) +
                            "\nnick = " + keeperNick(index) + "\nchannel = " + kChannel +
                            "\nbooks = " + books().toUtf8() + "\noper = " + kOperName + " " +
                            kOperPassword + "\n";
        if (fastPace_ > 0)
            keeper += "fastpace = " + QByteArray::number(fastPace_) + "\n";
        if (qEnvironmentVariableIsSet("JACKWELL_LOAD_DEBUG"))
            keeper += "log = debug\n";
        if (!writeFile(configPath(index), keeper, error))
            return false;
    }
    return true;
}

void LoadStack::startServer(std::function<void(const QString&)> ready) {
    QString error;
    if (!QFile::exists(kNgircd)) {
        ready(QStringLiteral("%1 is missing; make deps installs it").arg(kNgircd));
        return;
    }
    if (booksKind_ == BooksKind::Postgres) {
        // A server of its own; as an operator's, it syncs every commit to the disk unless told
        // otherwise.
        database_ = std::make_unique<testing::PostgresServer>(
            testing::PostgresServer::Options{databaseSyncs_});
        if (!database_->start(&error)) {
            ready(QStringLiteral("PostgreSQL did not start: ") + error);
            return;
        }
        if (withStandby_) {
            standby_ = std::make_unique<testing::PostgresServer>(
                testing::PostgresServer::Options{databaseSyncs_});
            if (!standby_->startAsStandbyOf(*database_, &error)) {
                ready(QStringLiteral("the PostgreSQL standby did not start: ") + error);
                return;
            }
        }
        // For reading the books once the run is over.
        qputenv("PGPASSWORD", testing::PostgresServer::kPassword.toUtf8());
    }
    if (!writeFiles(&error)) {
        ready(error);
        return;
    }
    const QDir dir(dir_.path());
    server_ = std::make_unique<QProcess>();
    server_->setProcessChannelMode(QProcess::MergedChannels);
    server_->setStandardOutputFile(dir.filePath(QStringLiteral("ngircd.log")));
    server_->setChildProcessModifier(dieWithParent);
    server_->start(kNgircd, {QStringLiteral("-n"), QStringLiteral("-f"),
                             dir.filePath(QStringLiteral("ngircd.conf"))});
    const QByteArray listening = "Now listening on [127.0.0.1]:" + QByteArray::number(port_) + " ";
    const QString log = dir.filePath(QStringLiteral("ngircd.log"));
    pollUntil(
        clock_, &context_,
        [this, log, listening] {
            return server_->state() == QProcess::NotRunning || readFile(log).contains(listening);
        },
        30000, // a loaded machine, or a slow lookup of the host's own name, takes its time
        [this, ready, log](bool) {
            // A busy machine may show the server listening while its process still counts as
            // starting.
            if (server_->state() == QProcess::NotRunning || !readFile(log).contains("listening"))
                ready(QStringLiteral("ngircd did not start: ") +
                      QString::fromLocal8Bit(readFile(log).right(2000)));
            else if (link_)
                link_->start(QDir(dir_.path()).filePath(QStringLiteral("ngircd.conf")), ready);
            else
                ready({});
        });
}

// New SQLite books are made once, before the robot's first start, as an operator would; books
// on a server are made by the first robot to serve them.
QString LoadStack::initBooks() {
    if (database_ || QFile::exists(books()))
        return {};
    QProcess init;
    init.setProcessChannelMode(QProcess::MergedChannels);
    init.start(keeperBinary_, {QStringLiteral("--init"), configPath(0)});
    if (!init.waitForFinished(10000) || init.exitCode() != 0)
        return QStringLiteral("the robot could not make its books: ") +
               QString::fromLocal8Bit(init.readAll());
    return {};
}

void LoadStack::startKeeper(int index, std::function<void(const QString&)> speaking) {
    if (const QString error = initBooks(); !error.isEmpty()) {
        speaking(error);
        return;
    }
    Keeper& keeper = keepers_[std::size_t(index)];
    const QString log = keeperLogPath(index);
    keeper.logOffset = QFile(log).size();
    keeper.process = std::make_unique<QProcess>();
    QProcess* process = keeper.process.get();
    process->setProcessChannelMode(QProcess::MergedChannels);
    process->setStandardOutputFile(log, QIODevice::Append);
    process->setWorkingDirectory(dir_.path());
    if (database_)
        process->setProcessEnvironment(database_->environment());
    process->setChildProcessModifier(dieWithParent);
    process->start(keeperBinary_, {configPath(index)});
    memoryAlarm_->start(kMemorySampleMs);
    const qint64 offset = keeper.logOffset;
    pollUntil(
        clock_, &context_,
        [this, index, process, log, offset] {
            // The robot may have been stopped (and its process let go) meanwhile.
            return keepers_[std::size_t(index)].process.get() != process ||
                   process->state() == QProcess::NotRunning ||
                   readFile(log, offset).contains("lines a second");
        },
        20000,
        [this, index, process, log, offset, speaking](bool) {
            if (keepers_[std::size_t(index)].process.get() == process &&
                process->state() == QProcess::Running &&
                readFile(log, offset).contains("exempt from flood limits"))
                speaking({});
            else
                speaking(QStringLiteral("%1 is not flood-exempt: %2")
                             .arg(QString::fromLatin1(keeperNick(index)),
                                  QString::fromLocal8Bit(readFile(log, offset))));
        });
}

void LoadStack::sampleKeeperMemory() {
    bool running = false;
    for (const Keeper& keeper : keepers_) {
        if (!keeper.process || keeper.process->state() != QProcess::Running)
            continue;
        running = true;
        const QByteArray status =
            readFile(QStringLiteral("/proc/%1/status").arg(keeper.process->processId()));
        for (const QByteArray& line : status.split('\n')) {
            if (line.startsWith("VmHWM:"))
                peakKb_ = std::max(peakKb_, line.mid(6).trimmed().split(' ').value(0).toLongLong());
        }
    }
    if (running)
        memoryAlarm_->start(kMemorySampleMs);
}

void LoadStack::killKeeper(int index) {
    std::unique_ptr<QProcess>& process = keepers_[std::size_t(index)].process;
    if (!process)
        return;
    sampleKeeperMemory();
    process->kill(); // SIGKILL
    process->waitForFinished(2000);
    process.reset();
}

void LoadStack::stopKeeper(int index) {
    std::unique_ptr<QProcess>& process = keepers_[std::size_t(index)].process;
    if (!process)
        return;
    process->terminate();
    if (!process->waitForFinished(3000))
        process->kill();
    process->waitForFinished(2000);
    process.reset();
}

void LoadStack::stopKeepers() {
    sampleKeeperMemory();
    for (int index = 0; index < robots(); ++index)
        stopKeeper(index);
}

quint16 LoadStack::keeperPort(int index) const {
    return link_ && index % 2 == 1 ? link_->port() : port_;
}

void LoadStack::stopServer() {
    if (link_)
        link_->stop();
    if (!server_)
        return;
    server_->terminate();
    if (!server_->waitForFinished(3000))
        server_->kill();
    server_->waitForFinished(2000);
    server_.reset();
    standby_.reset();
    database_.reset();
}

} // namespace jackwell::load
