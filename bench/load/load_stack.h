#pragma once

#include <QByteArray>
#include <QObject>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <functional>
#include <memory>
#include <vector>

namespace jackwell {

class Alarm;
class Clock;

namespace testing {
class PostgresServer;
}

namespace load {

class ServerLink;

// Where the robots keep their books: one SQLite file (one robot only), or a private PostgreSQL
// server that every robot shares.
enum class BooksKind { Sqlite, Postgres };

// The machines under load: a private ngircd on 127.0.0.1 and one or more machinekeeper robots
// (jackwell-keeper, each under its own nickname) with their books, all child processes with
// their files in a temporary folder. A robot can be killed (SIGKILL) and started again on the
// same books.
class LoadStack {
public:
    static inline const QByteArray kChannel = "#casino";

    // `robots`: how many robots serve at once (more than one only with shared books).
    // `fastPace`: the robots' lines a second once exempt (0: their default). `floodLimits`: the
    // server's limits on every client (players included) as shipped, or off. `databaseSyncs`:
    // the database server syncs each commit to the disk (else it leaves that to the kernel).
    LoadStack(Clock& clock, QString keeperBinary, int robots = 1,
              BooksKind books = BooksKind::Sqlite, int fastPace = 0, bool floodLimits = true,
              bool databaseSyncs = true);
    ~LoadStack();

    // The nickname of robot `index`: Rivet, Rivet2, Rivet3...
    static QByteArray keeperNick(int index);
    int robots() const { return int(keepers_.size()); }

    // Writes the configurations and starts the IRC server (and the database server, for shared
    // books); `ready` runs once they accept connections, with an empty text, or with what went
    // wrong.
    void startServer(std::function<void(const QString& error)> ready);
    // Starts robot `index`; `speaking` runs once it has told the server it is flood-exempt (or
    // with what went wrong).
    void startKeeper(int index, std::function<void(const QString& error)> speaking);
    // SIGKILL, at once; the robot's peak memory so far is kept.
    void killKeeper(int index);
    // SIGSTOP (true) or SIGCONT (false) to the database server and its processes.
    void freezeDatabase(bool frozen);
    // Shared books on a primary with a synchronous standby, which the robots' address lists
    // after it (target_session_attrs=read-write); asked for before startServer.
    void keepStandby() { withStandby_ = true; }
    // The primary killed (SIGKILL, as when its machine dies) and the standby promoted; false
    // with `error` when the standby would not take over.
    bool failOver(QString* error);
    // A second server linked to the first (see ServerLink), the robots of odd index on it; asked
    // for before startServer.
    void linkSecondServer() { withLink_ = true; }
    ServerLink* link() const { return link_.get(); }
    // The port of the server robot `index` is on.
    quint16 keeperPort(int index) const;
    // How often robot `index` has said it lost its connection to the IRC server.
    int keeperConnectionsLost(int index) const;
    // SIGTERM and a bounded wait for every robot to say goodbye.
    void stopKeepers();
    void stopServer();

    quint16 port() const { return port_; }
    // Process ids, 0 for one not running: robot `index`, the IRC server, the database server
    // (whose connections are its children).
    qint64 keeperPid(int index) const;
    qint64 serverPid() const;
    qint64 databasePid() const;
    // The books as jackwell-keeper --audit takes them: a file, or a postgresql:// address.
    QString books() const;
    QString keeperLogPath(int index) const;
    // The largest resident memory any robot process reached (kB), as the kernel counts it.
    qint64 keeperPeakKb() const { return peakKb_; }
    // New books for the books' floor beside the run's, on the same server or in the same folder:
    // an address or a file name, empty (and `error`) when they cannot be had.
    QString floorBooks(QString* error);
    // What a client named `nick` sends to be exempt from the flood limits, as the robots are.
    static QList<QByteArray> exemptionLines(const QByteArray& nick);
    // One line on how the server is set up, for the report.
    static QString serverDescription(bool floodLimits);
    void keepFiles() { dir_.setAutoRemove(false); }
    QString folder() const { return dir_.path(); }

private:
    bool writeFiles(QString* error);
    QString initBooks();
    QString configPath(int index) const;
    void sampleKeeperMemory();
    void stopKeeper(int index);

    Clock& clock_;
    QObject context_; // ends pending polls with the stack
    QString keeperBinary_;
    BooksKind booksKind_ = BooksKind::Sqlite;
    int fastPace_ = 0;
    bool floodLimits_ = true;
    bool databaseSyncs_ = true;
    QTemporaryDir dir_;
    quint16 port_ = 0;
    std::unique_ptr<QProcess> server_;
    std::unique_ptr<testing::PostgresServer> database_;
    std::unique_ptr<testing::PostgresServer> standby_;
    bool withStandby_ = false;
    bool withLink_ = false;
    std::unique_ptr<ServerLink> link_;
    struct Keeper {
        std::unique_ptr<QProcess> process;
        qint64 logOffset = 0;
    };
    std::vector<Keeper> keepers_;
    std::unique_ptr<Alarm> memoryAlarm_;
    qint64 peakKb_ = 0;
};

} // namespace load
} // namespace jackwell
