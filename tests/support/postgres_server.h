#pragma once

// Debian's PostgreSQL 15 for tests and load runs: own cluster in a temporary folder, a free port of
// 127.0.0.1 only, nobody under root (TestServer); kUser owns a like-named database.

#include "support/test_server.h"

namespace jackwell::testing {

class PostgresServer : public TestServer {
public:
    struct Options {
        // false: fsync and full-page writes off, for speed. A server killed keeps every commit
        // all the same (the kernel holds the writes); only a machine that loses power does not.
        bool durable = true;
    };

    static inline const QString kUser = QStringLiteral("jackwell");
    static inline const QString kPassword = QStringLiteral("wallet-pw");

    PostgresServer()
        : PostgresServer(Options{}) {}
    explicit PostgresServer(Options options);
    ~PostgresServer() { stop(); }

    // Starts the server, awaiting connections; the first start makes the cluster and picks a port.
    bool start(QString* error);
    // A fast shutdown (SIGINT: clients are disconnected), and a bounded wait for its end.
    void stop() { end(process_, SIGINT, 10000); }
    // SIGKILL: the server is gone at once, as in a crash (its children notice and end).
    void kill() { end(process_, SIGKILL); }
    // SIGSTOP (true) or SIGCONT (false) to the server's processes: mute, connections still open.
    void freeze(bool frozen);
    quint16 port() const { return port_; }

    // The address of books in `database` for the robot's configuration.
    QString address(const QString& database = kUser) const;
    // PGPASSWORD for the login, to give to a process that uses the server.
    QProcessEnvironment environment() const;
    // Makes a new, empty database owned by the login.
    bool createDatabase(const QString& name, QString* error);
    // Runs `statement` in `database` as the server's superuser.
    bool exec(const QString& database, const QString& statement, QString* error);

    // Makes this server a standby of `primary` by streaming replication (a base backup, then its
    // WAL) and starts it, reading only until promote(); `primary` then waits for it on each commit.
    bool startAsStandbyOf(PostgresServer& primary, QString* error);
    // The standby takes over: from now on it takes writes.
    bool promote(QString* error);

    // True when PostgreSQL 15 and Qt's driver for it are there, installing them if missing.
    static bool ensureInstalled(QString* error);

private:
    bool makeCluster(QString* error);
    bool launch(QString* error);
    bool makeLogin(QString* error);

    Options options_;
    quint16 port_ = 0;
    bool clusterMade_ = false;
    bool loginMade_ = false;
};

} // namespace jackwell::testing
