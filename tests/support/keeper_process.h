#pragma once

// The robot as its own process (jackwell-keeper), its configuration and books in a temporary
// folder: for what only a whole program shows, such as its exit status, memory and process limits.

#include "support/qt_printers.h"
#include "support/test_server.h"
#include "support/wait_until.h"

namespace jackwell::testing {

class KeeperProcess : public TestServer {
public:
    static inline const QByteArray kNick = "Rivet";

    // The server the robot is to use (0: none, for starts that are refused before connecting).
    explicit KeeperProcess(quint16 port = 0);
    ~KeeperProcess() { kill(); }

    QString folder() const { return dir_.path(); }
    // The robot's nickname (else kNick) and books (else books.sqlite there), for the next config.
    void setNick(const QByteArray& nick) { nick_ = nick; }
    void setBooks(const QByteArray& books) { books_ = books; }
    // The environment of the programs started from now on (this process's unless set).
    void setEnvironment(const QProcessEnvironment& environment) { environment_ = environment; }
    // Runs the program as an unprivileged user when the tests run as root: permissions apply.
    void setUnprivileged(bool unprivileged) { unprivileged_ = unprivileged; }
    QString configPath() const { return path("keeper.txt"); }
    QString booksPath() const { return path("books.sqlite"); }
    // Writes the configuration; `extra` lines are added at its end.
    bool writeConfig(const QByteArray& extra = {});

    // Runs the program with `arguments` to its end: status (-1: killed at `timeoutMs`), `output`.
    int run(const QStringList& arguments, QString* output, int timeoutMs = 10000);
    // Starts the robot on the configuration; `beforeExec` runs in the child, before the program.
    bool start(std::function<void()> beforeExec = {});
    // Until it has said `text` (on stderr, into log()), or `timeoutMs` passed.
    bool waitForLog(const QString& text, int timeoutMs = kWaitMs);
    // Until it has ended; its exit status, or -1 when it is still running.
    int waitForEnd(int timeoutMs = kWaitMs);
    void signal(int signal);
    // SIGTERM, and a bounded wait for the end.
    void stop() { end(process_); }
    // SIGKILL, at once.
    void kill() { end(process_, SIGKILL); }
    qint64 residentKb() const;
    // What every start of the robot said, one after the other.
    QString log() const { return QString::fromUtf8(fileText("keeper.log")); }

private:
    Child child(const QStringList& arguments, std::function<void()> beforeExec = {}) const;

    quint16 port_ = 0;
    QByteArray nick_ = kNick;
    QByteArray books_ = "books.sqlite";
    QProcessEnvironment environment_ = QProcessEnvironment::systemEnvironment();
    bool unprivileged_ = false;
};

} // namespace jackwell::testing
