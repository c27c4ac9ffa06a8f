#include "support/keeper_process.h"

#include "support/wait_until.h"

#include <QDir>
#include <QFile>

#include <csignal>
#include <grp.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace jackwell::testing {

namespace {

constexpr uid_t kNobody = 65534;

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

KeeperProcess::KeeperProcess(quint16 port)
    : port_(port)
    , logPath_(QDir(dir_.path()).filePath(QStringLiteral("keeper.log"))) {
    // Open to an unprivileged robot too.
    ::chmod(QFile::encodeName(dir_.path()).constData(), 0777);
}

KeeperProcess::~KeeperProcess() {
    if (process_ && process_->state() != QProcess::NotRunning) {
        process_->kill();
        process_->waitForFinished(3000);
    }
}

QString KeeperProcess::binary() {
    return QStringLiteral(JACKWELL_KEEPER_BINARY);
}

QString KeeperProcess::configPath() const {
    return QDir(dir_.path()).filePath(QStringLiteral("keeper.txt"));
}

QString KeeperProcess::booksPath() const {
    return QDir(dir_.path()).filePath(QStringLiteral("books.sqlite"));
}

bool KeeperProcess::writeConfig(const QByteArray& extra) {
    QFile file(configPath());
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write("server = 127.0.0.1\nport = " + QByteArray::number(port_ ? port_ : 1) +
               "\nnick = " + nick_ + "\nchannel = #casino\nbooks = " + books_ + "\n" + extra);
    file.close();
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther);
    return true;
}

std::function<void()> KeeperProcess::childSetup(std::function<void()> beforeExec) const {
    const bool dropRoot = unprivileged_ && ::geteuid() == 0;
    return [dropRoot, beforeExec] {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (beforeExec)
            beforeExec();
        if (dropRoot) {
            ::setgroups(0, nullptr);
            if (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)
                ::_exit(125);
        }
    };
}

// The program as this process may start it: an unprivileged user may not reach the build
// folder (a clone under /root, say), so it gets a copy in the open temporary folder.
QString KeeperProcess::program() const {
    if (!unprivileged_ || ::geteuid() != 0)
        return binary();
    const QString copy = QDir(dir_.path()).filePath(QStringLiteral("jackwell-keeper"));
    if (!QFile::exists(copy) && QFile::copy(binary(), copy))
        QFile::setPermissions(copy, QFile::ReadOwner | QFile::ExeOwner | QFile::ReadOther |
                                        QFile::ExeOther);
    return copy;
}

int KeeperProcess::run(const QStringList& arguments, QString* output, int timeoutMs) {
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setWorkingDirectory(dir_.path());
    process.setProcessEnvironment(environment_);
    process.setChildProcessModifier(childSetup({}));
    process.start(program(), arguments);
    const bool ended = process.waitForFinished(timeoutMs);
    if (!ended) {
        process.kill();
        process.waitForFinished(3000);
    }
    *output = QString::fromUtf8(process.readAll());
    return ended && process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

bool KeeperProcess::start(std::function<void()> beforeExec) {
    process_ = std::make_unique<QProcess>();
    process_->setProcessChannelMode(QProcess::MergedChannels);
    process_->setStandardOutputFile(logPath_, QIODevice::Append);
    process_->setWorkingDirectory(dir_.path());
    process_->setProcessEnvironment(environment_);
    process_->setChildProcessModifier(childSetup(std::move(beforeExec)));
    process_->start(program(), {configPath()});
    return process_->waitForStarted(5000);
}

bool KeeperProcess::waitForLog(const QString& text, int timeoutMs) {
    return waitUntil([&] { return log().contains(text); }, timeoutMs);
}

int KeeperProcess::waitForEnd(int timeoutMs) {
    if (!process_)
        return -1;
    waitUntil([&] { return process_->state() == QProcess::NotRunning; }, timeoutMs);
    if (process_->state() != QProcess::NotRunning)
        return -1;
    return process_->exitStatus() == QProcess::NormalExit ? process_->exitCode() : -1;
}

void KeeperProcess::signal(int signal) {
    if (isRunning())
        ::kill(pid_t(process_->processId()), signal);
}

void KeeperProcess::stop() {
    if (!isRunning())
        return;
    process_->terminate();
    if (!process_->waitForFinished(5000)) {
        process_->kill();
        process_->waitForFinished(3000);
    }
}

void KeeperProcess::kill() {
    if (!isRunning())
        return;
    process_->kill();
    process_->waitForFinished(3000);
}

bool KeeperProcess::isRunning() const {
    return process_ && process_->state() == QProcess::Running;
}

qint64 KeeperProcess::residentKb() const {
    if (!isRunning())
        return 0;
    const QByteArray status = readAll(QStringLiteral("/proc/%1/status").arg(process_->processId()));
    for (const QByteArray& line : status.split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return 0;
}

QString KeeperProcess::log() const {
    return QString::fromUtf8(readAll(logPath_));
}

} // namespace jackwell::testing
