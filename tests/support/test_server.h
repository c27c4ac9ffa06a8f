#pragma once

// What the programs the tests run privately have in common (IRC servers, PostgreSQL, PulseAudio,
// the robot): a temporary folder of their own for configuration and logs, free ports on 127.0.0.1,
// children that die with the test program and are stopped by their PID, and their logs shown on
// failure. A server missing here is installed first by the project's install script.

#include "support/test_files.h"

#include <QByteArray>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <csignal>
#include <functional>
#include <memory>

namespace jackwell::testing {

class TestServer {
public:
    static inline const QString kHost = QStringLiteral("127.0.0.1");

    TestServer(const TestServer&) = delete;
    TestServer& operator=(const TestServer&) = delete;

    bool isRunning() const { return process_ && process_->state() == QProcess::Running; }
    // The server's process id (0 when it is not running).
    qint64 pid() const { return isRunning() ? process_->processId() : 0; }
    // The start and the end of each log, for failure messages.
    QString output() const;

    // A port nobody listens on at this moment (0 when none can be had).
    static quint16 freeLoopbackPort();
    // True when `installed()` holds, running scripts/install-deps.sh first when it does not;
    // else false, with `error` naming `what` is missing and the end of what the script said.
    static bool installWhenMissing(const std::function<bool()>& installed, const QString& what,
                                   QString* error);
    static bool asRoot();

protected:
    // `logs`: the files of the folder that output() shows.
    explicit TestServer(QStringList logs);
    ~TestServer();

    struct Child {
        QString program = {};
        QStringList arguments = {};
        QString log = {};          // a file of the folder for its output
        bool appendLog = false;    // added to what the file holds (else it starts empty)
        QString errorLog = {};     // a file for its errors apart (none: with the output)
        bool asNobody = false;     // servers refuse root: run as nobody when the tests are root
        int deathSignal = SIGTERM; // what it gets should the test program die
        std::function<void()> beforeExec = {};
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    };
    // Started in the folder; nullptr, and why in `error`, when it does not start.
    std::unique_ptr<QProcess> launch(const Child& child, QString* error) const;
    // A tool started and waited for: nullptr, and why (its log), unless it ended well in time.
    std::unique_ptr<QProcess> runToEnd(const Child& child, int timeoutMs, QString* error) const;
    // Until `ready` holds (true), or the process has ended or `timeoutMs` passed (false).
    static bool waitReady(QProcess& process, const std::function<bool()>& ready, int timeoutMs);
    // `child` started as `process`, awaited until `ready`; else false, ended, `error` saying why.
    bool launchReady(std::unique_ptr<QProcess>& process, const Child& child,
                     const std::function<bool()>& ready, int timeoutMs, const QString& notReady,
                     QString* error) const;
    // `signal`, then SIGKILL when it lingers past `waitMs`; and the wait for its end.
    static void end(std::unique_ptr<QProcess>& process, int signal = SIGTERM, int waitMs = 5000);

    // Whether the folder is there (and, `forNobody`, given to nobody when the tests are root).
    bool folderReady(QString* error, bool forNobody = false) const;
    QString path(const QString& name) const;
    // tests/support/servers' `name` with its blanks; false, and why in `error`, if unreadable.
    static bool readTemplate(const QString& name, QString* text, QString* error);
    QByteArray fileText(const QString& name) const { return fileBytes(path(name)); }
    // Writes a file of the folder, given to nobody when `forNobody` and the tests are root.
    bool writeFile(const QString& name, const QByteArray& text, QString* error,
                   bool forNobody = false) const;

    QTemporaryDir dir_;
    std::unique_ptr<QProcess> process_; // the server itself

private:
    QStringList logs_;
};

} // namespace jackwell::testing
