#pragma once

// A private IRC network with services for tests: Debian's InspIRCd with Anope linked to it,
// their own configuration in a temporary folder, listening on 127.0.0.1 on free ports, run in
// the foreground as child processes (unprivileged when the tests run as root) and stopped by
// their PIDs. SASL (PLAIN and EXTERNAL), account-tag, extended-join, account-notify, MONITOR
// and NickServ REGISTER are on. Installed first when missing (through scripts/install-deps.sh).

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <memory>

namespace jackwell::testing {

class ServicesNetwork {
public:
    static inline const QString kHost = QStringLiteral("127.0.0.1");

    ServicesNetwork();
    ~ServicesNetwork();

    // Starts the server, then the services, and waits (a bounded time) until NickServ answers.
    bool start(QString* error);
    // Stops the services, then the server (SIGTERM, then SIGKILL if they linger).
    void stop();
    quint16 port() const { return port_; }

    // Registers `account` with NickServ (a connection of its own under that nickname, which
    // quits afterwards); the password must be 5 characters or more and differ from it.
    bool registerAccount(const QByteArray& account, const QByteArray& password, QString* error);

    // What the server and the services logged, for failure messages.
    QString output() const;

    // True when InspIRCd and Anope are there, installing them if they are missing.
    static bool ensureInstalled(QString* error);

private:
    bool writeConfig(QString* error);
    bool launch(std::unique_ptr<QProcess>& process, const QString& program,
                const QStringList& arguments, const QString& logName, QString* error);
    bool waitForServer(QString* error);
    bool waitForServices(QString* error);
    QByteArray fileText(const QString& name) const;

    QTemporaryDir dir_;
    quint16 port_ = 0;
    quint16 linkPort_ = 0;
    std::unique_ptr<QProcess> server_;
    std::unique_ptr<QProcess> services_;
};

} // namespace jackwell::testing
