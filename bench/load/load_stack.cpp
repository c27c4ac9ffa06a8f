#include "load_stack.h"

#include "clock/clock.h"

#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QTcpServer>

#include <sys/prctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>

namespace jackwell::load {

namespace {

const QString kNgircd = QStringLiteral("/usr/sbin/ngircd");
const QByteArray kOperName = "keeperop";
const QByteArray kOperPassword = "keeperpass";
constexpr int kPollMs = 20;
constexpr int kMemorySampleMs = 100;

QByteArray readFile(const QString& path, qint64 from = 0) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    file.seek(from);
    return file.readAll();
}

bool writeFile(const QString& path, const QByteArray& text, QString* error) {
    QFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(text) == text.size())
        return true;
    *error = path + QStringLiteral(": ") + file.errorString();
    return false;
}

quint16 freePort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

// Children end with us, whatever happens to this program.
void dieWithParent() {
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
}

} // namespace

LoadStack::LoadStack(Clock& clock, QString keeperBinary, int fastPace, bool floodLimits)
    : clock_(clock)
    , keeperBinary_(std::move(keeperBinary))
    , fastPace_(fastPace)
    , floodLimits_(floodLimits) {
    memoryAlarm_ = clock_.createAlarm([this] { sampleKeeperMemory(); });
}

LoadStack::~LoadStack() {
    if (keeper_)
        keeper_->kill();
    if (server_)
        server_->kill();
    if (keeper_)
        keeper_->waitForFinished(2000);
    if (server_)
        server_->waitForFinished(2000);
}

QString LoadStack::booksPath() const {
    return QDir(dir_.path()).filePath(QStringLiteral("books.sqlite"));
}

QString LoadStack::keeperLogPath() const {
    return QDir(dir_.path()).filePath(QStringLiteral("keeper.log"));
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
    port_ = freePort();
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
    QByteArray keeper = "server = 127.0.0.1\nport = " + QByteArray::number(port_) +
                        "\nnick = " + kKeeperNick + "\nchannel = " + kChannel +
                        "\nbooks = books.sqlite\noper = " + kOperName + " " + kOperPassword + "\n";
    if (fastPace_ > 0)
        keeper += "fastpace = " + QByteArray::number(fastPace_) + "\n";
    return writeFile(dir.filePath("ngircd.conf"), (server.join('\n') + '\n').toUtf8(), error) &&
           writeFile(dir.filePath("keeper.txt"), keeper, error);
}

void LoadStack::waitFor(std::function<bool()> done, int budgetMs, std::function<void(bool)> then) {
    if (done()) {
        then(true);
        return;
    }
    if (budgetMs <= 0) {
        then(false);
        return;
    }
    clock_.callAfter(kPollMs, &context_,
                     [this, done, budgetMs, then] { waitFor(done, budgetMs - kPollMs, then); });
}

void LoadStack::startServer(std::function<void(const QString&)> ready) {
    QString error;
    if (!QFile::exists(kNgircd)) {
        ready(QStringLiteral("%1 is missing; make deps installs it").arg(kNgircd));
        return;
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
    waitFor(
        [this, log, listening] {
            return server_->state() == QProcess::NotRunning || readFile(log).contains(listening);
        },
        10000,
        [this, ready, log](bool) {
            if (server_->state() == QProcess::Running && readFile(log).contains("listening"))
                ready({});
            else
                ready(QStringLiteral("ngircd did not start: ") +
                      QString::fromLocal8Bit(readFile(log).right(2000)));
        });
}

// New books are made once, before the robot's first start, as an operator would.
QString LoadStack::initBooks() {
    if (QFile::exists(booksPath()))
        return {};
    QProcess init;
    init.setProcessChannelMode(QProcess::MergedChannels);
    init.start(keeperBinary_, {QStringLiteral("--init"),
                               QDir(dir_.path()).filePath(QStringLiteral("keeper.txt"))});
    if (!init.waitForFinished(10000) || init.exitCode() != 0)
        return QStringLiteral("the robot could not make its books: ") +
               QString::fromLocal8Bit(init.readAll());
    return {};
}

void LoadStack::startKeeper(std::function<void(const QString&)> speaking) {
    if (const QString error = initBooks(); !error.isEmpty()) {
        speaking(error);
        return;
    }
    keeperLogOffset_ = QFile(keeperLogPath()).size();
    keeper_ = std::make_unique<QProcess>();
    keeper_->setProcessChannelMode(QProcess::MergedChannels);
    keeper_->setStandardOutputFile(keeperLogPath(), QIODevice::Append);
    keeper_->setWorkingDirectory(dir_.path());
    keeper_->setChildProcessModifier(dieWithParent);
    keeper_->start(keeperBinary_, {QDir(dir_.path()).filePath(QStringLiteral("keeper.txt"))});
    memoryAlarm_->start(kMemorySampleMs);
    waitFor(
        [this] {
            return keeper_->state() == QProcess::NotRunning ||
                   readFile(keeperLogPath(), keeperLogOffset_).contains("lines a second");
        },
        20000,
        [this, speaking](bool) {
            if (keeper_->state() == QProcess::Running &&
                readFile(keeperLogPath(), keeperLogOffset_).contains("exempt from flood limits"))
                speaking({});
            else
                speaking(QStringLiteral("the robot is not flood-exempt: ") +
                         QString::fromLocal8Bit(readFile(keeperLogPath(), keeperLogOffset_)));
        });
}

void LoadStack::sampleKeeperMemory() {
    if (!keeper_ || keeper_->state() != QProcess::Running)
        return;
    const QByteArray status = readFile(QStringLiteral("/proc/%1/status").arg(keeper_->processId()));
    for (const QByteArray& line : status.split('\n')) {
        if (line.startsWith("VmHWM:"))
            peakKb_ = std::max(peakKb_, line.mid(6).trimmed().split(' ').value(0).toLongLong());
    }
    memoryAlarm_->start(kMemorySampleMs);
}

void LoadStack::killKeeper() {
    if (!keeper_)
        return;
    sampleKeeperMemory();
    keeper_->kill(); // SIGKILL
    keeper_->waitForFinished(2000);
    keeper_.reset();
}

void LoadStack::stopKeeper() {
    if (!keeper_)
        return;
    sampleKeeperMemory();
    keeper_->terminate();
    if (!keeper_->waitForFinished(3000))
        keeper_->kill();
    keeper_->waitForFinished(2000);
    keeper_.reset();
}

void LoadStack::stopServer() {
    if (!server_)
        return;
    server_->terminate();
    if (!server_->waitForFinished(3000))
        server_->kill();
    server_->waitForFinished(2000);
    server_.reset();
}

} // namespace jackwell::load
