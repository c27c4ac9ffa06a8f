#include "support/keeper_process.h"

#include "support/wait_until.h"

#include <QFile>

#include <sys/stat.h>

namespace jackwell::testing {

KeeperProcess::KeeperProcess(quint16 port)
    : TestServer({"keeper.log"})
    , port_(port) {
    // Open to an unprivileged robot too.
    ::chmod(QFile::encodeName(dir_.path()).constData(), 0777);
}

bool KeeperProcess::writeConfig(const QByteArray& extra) {
    QString error;
    return writeFile(QStringLiteral("keeper.txt"),
                     "server = 127.0.0.1\nport = " + QByteArray::number(port_ ? port_ : 1) +
                         "\nnick = " + nick_ + "\nchannel = #casino\nbooks = " + books_ + "\n" +
                         extra,
                     &error) &&
           QFile::setPermissions(configPath(),
                                 QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther);
}

// A robot without privileges may not reach the build folder (under /root): it runs a copy in /tmp.
TestServer::Child KeeperProcess::child(const QStringList& arguments,
                                       std::function<void()> beforeExec) const {
    QString program = QStringLiteral(JACKWELL_KEEPER_BINARY);
    if (unprivileged_ && asRoot()) {
        const QString copy = path("jackwell-keeper");
        if (!QFile::exists(copy) && QFile::copy(program, copy))
            QFile::setPermissions(copy, QFile::ReadOwner | QFile::ExeOwner | QFile::ReadOther |
                                            QFile::ExeOther);
        program = copy;
    }
    return {.program = program,
            .arguments = arguments,
            .asNobody = unprivileged_,
            .deathSignal = SIGKILL,
            .beforeExec = std::move(beforeExec),
            .environment = environment_};
}

int KeeperProcess::run(const QStringList& arguments, QString* output, int timeoutMs) {
    const auto process = launch(child(arguments), output);
    if (!process)
        return -1;
    const bool ended = process->waitForFinished(timeoutMs);
    *output = QString::fromUtf8(process->readAll());
    return ended && process->exitStatus() == QProcess::NormalExit ? process->exitCode() : -1;
}

bool KeeperProcess::start(std::function<void()> beforeExec) {
    Child robot = child({configPath()}, std::move(beforeExec));
    robot.log = "keeper.log";
    robot.appendLog = true;
    QString error;
    process_ = launch(robot, &error);
    return process_ != nullptr;
}

bool KeeperProcess::waitForLog(const QString& text, int timeoutMs) {
    return waitUntil([&] { return log().contains(text); }, timeoutMs);
}

int KeeperProcess::waitForEnd(int timeoutMs) {
    if (!process_ || !waitUntil([&] { return !isRunning(); }, timeoutMs))
        return -1;
    return process_->exitStatus() == QProcess::NormalExit ? process_->exitCode() : -1;
}

void KeeperProcess::signal(int signal) {
    if (isRunning())
        ::kill(pid_t(process_->processId()), signal);
}

qint64 KeeperProcess::residentKb() const {
    const qint64 pid = isRunning() ? process_->processId() : 0;
    for (const QByteArray& line : fileBytes(QStringLiteral("/proc/%1/status").arg(pid)).split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    return 0;
}

} // namespace jackwell::testing
