#include "support/test_server.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QTcpServer>

#include <grp.h>
#include <sys/prctl.h>
#include <unistd.h>

namespace jackwell::testing {

namespace {

constexpr uid_t kNobody = 65534;
constexpr gid_t kNoGroup = 65534;
constexpr int kInstallTimeoutMs = 600000;
constexpr qsizetype kShownBytes = 2000; // of each log's start and of its end

} // namespace

TestServer::TestServer(QStringList logs)
    : logs_(std::move(logs)) {}

TestServer::~TestServer() {
    end(process_);
}

quint16 TestServer::freeLoopbackPort() {
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost, 0) ? probe.serverPort() : 0;
}

bool TestServer::installWhenMissing(const std::function<bool()>& installed, const QString& what,
                                    QString* error) {
    if (installed())
        return true;
    QProcess install;
    install.setProcessChannelMode(QProcess::MergedChannels);
    install.start("bash", {QStringLiteral(JACKWELL_SOURCE_DIR "/scripts/install-deps.sh")});
    if (!install.waitForFinished(kInstallTimeoutMs))
        install.kill();
    if (installed())
        return true;
    *error = QStringLiteral("%1 is missing and could not be installed: %2")
                 .arg(what, QString::fromLocal8Bit(install.readAll().right(2000)));
    return false;
}

bool TestServer::asRoot() {
    return ::geteuid() == 0;
}

std::unique_ptr<QProcess> TestServer::runToEnd(const Child& child, int timeoutMs,
                                               QString* error) const {
    auto tool = launch(child, error);
    if (!tool || (tool->waitForFinished(timeoutMs) && tool->exitStatus() == QProcess::NormalExit &&
                  tool->exitCode() == 0))
        return tool;
    *error = QFileInfo(child.program).fileName() + QStringLiteral(" failed: ") +
             QString::fromLocal8Bit(fileText(child.log.isEmpty() ? child.errorLog : child.log));
    return nullptr;
}

std::unique_ptr<QProcess> TestServer::launch(const Child& child, QString* error) const {
    auto process = std::make_unique<QProcess>();
    if (child.errorLog.isEmpty())
        process->setProcessChannelMode(QProcess::MergedChannels);
    else
        process->setStandardErrorFile(path(child.errorLog));
    if (!child.log.isEmpty())
        process->setStandardOutputFile(path(child.log),
                                       child.appendLog ? QIODevice::Append : QIODevice::Truncate);
    process->setWorkingDirectory(dir_.path());
    process->setProcessEnvironment(child.environment);
    const bool nobody = child.asNobody && asRoot();
    process->setChildProcessModifier(
        [nobody, signal = child.deathSignal, before = child.beforeExec] {
            if (before)
                before();
            if (nobody) {
                ::setgroups(0, nullptr);
                if (::setgid(kNoGroup) != 0 || ::setuid(kNobody) != 0)
                    ::_exit(125);
            }
            // After the change of user, which clears it.
            ::prctl(PR_SET_PDEATHSIG, signal);
        });
    process->start(child.program, child.arguments);
    if (process->waitForStarted(5000))
        return process;
    *error = QStringLiteral("%1 did not start: %2").arg(child.program, process->errorString());
    return nullptr;
}

bool TestServer::waitReady(QProcess& process, const std::function<bool()>& ready, int timeoutMs) {
    const QDeadlineTimer deadline(timeoutMs);
    // The wait for its end doubles as the pause between looks.
    while (!deadline.hasExpired() && !process.waitForFinished(25)) {
        if (ready())
            return true;
    }
    return false;
}

bool TestServer::launchReady(std::unique_ptr<QProcess>& process, const Child& child,
                             const std::function<bool()>& ready, int timeoutMs,
                             const QString& notReady, QString* error) const {
    process = launch(child, error);
    if (process && waitReady(*process, ready, timeoutMs))
        return true;
    if (process)
        *error = notReady + QStringLiteral(": ") + output();
    end(process, child.deathSignal);
    return false;
}

void TestServer::end(std::unique_ptr<QProcess>& process, int signal, int waitMs) {
    if (!process)
        return;
    if (process->state() != QProcess::NotRunning) {
        ::kill(pid_t(process->processId()), signal);
        if (!process->waitForFinished(waitMs)) {
            process->kill();
            process->waitForFinished(3000);
        }
    }
    process.reset();
}

bool TestServer::folderReady(QString* error, bool forNobody) const {
    if (!dir_.isValid()) {
        *error = QStringLiteral("no temporary folder: ") + dir_.errorString();
        return false;
    }
    if (forNobody && asRoot() &&
        ::chown(QFile::encodeName(dir_.path()).constData(), kNobody, kNoGroup) != 0) {
        *error = "cannot give the temporary folder to nobody";
        return false;
    }
    return true;
}

QString TestServer::path(const QString& name) const {
    return QDir(dir_.path()).filePath(name);
}

bool TestServer::writeFile(const QString& name, const QByteArray& text, QString* error,
                           bool forNobody) const {
    QFile file(path(name));
    const bool written =
        file.open(QIODevice::WriteOnly) && file.write(text) == text.size() && file.flush() &&
        (!forNobody || !asRoot() ||
         ::chown(QFile::encodeName(file.fileName()).constData(), kNobody, kNoGroup) == 0);
    if (!written)
        *error = QStringLiteral("cannot write %1: %2").arg(file.fileName(), file.errorString());
    return written;
}

QString TestServer::output() const {
    QByteArray shown;
    for (const QString& log : logs_) {
        const QByteArray text = fileText(log);
        if (logs_.size() > 1)
            shown += "--- " + log.toLocal8Bit() + ":\n";
        shown += text.size() <= 2 * kShownBytes
                     ? text
                     : text.left(kShownBytes) + "\n...\n" + text.right(kShownBytes);
    }
    return QString::fromLocal8Bit(shown);
}

bool TestServer::readTemplate(const QString& name, QString* text, QString* error) {
    const QString file = QStringLiteral(JACKWELL_SOURCE_DIR "/tests/support/servers/") + name;
    *text = QString::fromUtf8(fileBytes(file));
    if (text->isEmpty())
        *error = file + QStringLiteral(": missing or empty");
    return !text->isEmpty();
}

} // namespace jackwell::testing
