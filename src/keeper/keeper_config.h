#pragma once

// The network machinekeeper's configuration file: the IRC lines of Chat.txt
// (server, port, tls, nick, password, channel) and the robot's own:
//
//   books    = keeper.sqlite       (required; the SQLite file of the books,
//                                   relative to the configuration's folder, or
//                                   postgresql://USER@HOST:PORT/DATABASE for books
//                                   on a PostgreSQL server that robots may share)
//   oper     = name password       (optional; IRC operator credentials, used
//                                   to ask the server for flood exemption)
//   pace     = 3                   (optional; lines per second while the
//                                   server's flood limits apply, 1 to 100)
//   fastpace = 1000                (optional; lines per second once exempt,
//                                   1 to 10000)
//   identity = auto                (optional; whose books a message plays on: account,
//                                   the services account the server reports; nick, the
//                                   nickname; auto, account where the server reports
//                                   accounts (account-tag or extended-join), else nick)
//   log      = info                (optional; debug, info or warning)
//   logfile  = keeper.log          (optional; log there instead of to stderr)
//   greet    = yes                 (optional; no: no banner, no private greeting)
//   metrics  = 127.0.0.1:9187      (optional; serves the robot's figures there for
//                                   Prometheus, at /metrics)
//
// nick and channel are required. pace, fastpace, log and greet can change while the robot
// runs (SIGHUP); the others need a restart.

#include "irc/irc_config.h"
#include "keeper/keeper_send_queue.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

namespace jackwell::keeper {

enum class Identity { Auto, Account, Nick };
enum class LogLevel { Debug, Info, Warning };

struct KeeperConfig {
    IrcConfig irc;
    QString booksPath;   // the SQLite file, or the books' postgresql:// address as written
    QByteArray operName; // empty: no operator credentials
    QByteArray operPassword;
    int pace = KeeperSendQueue::kOrdinaryLines;
    int fastPace = 1000;
    Identity identity = Identity::Auto;
    LogLevel logLevel = LogLevel::Info;
    QString logFile; // empty: stderr
    bool greet = true;
    QString metricsHost; // an address to listen on; empty: no metrics
    quint16 metricsPort = 0;

    // Whether the file holds a secret that must not be readable by others.
    bool holdsSecret() const { return irc.holdsSecret() || !operPassword.isEmpty(); }
    // The keys whose change needs a restart, as they differ between `a` and `b`.
    static QStringList needRestart(const KeeperConfig& a, const KeeperConfig& b);
};

struct KeeperConfigResult {
    std::optional<KeeperConfig> config;
    QString error;        // one line naming the file, the line and the fault; empty on success
    QStringList warnings; // lines for the operator, such as a secret others can read
};

// Reads the text of a configuration. `fileName` is used in errors; a relative
// books path is taken relative to `baseDir`.
KeeperConfigResult parseKeeperConfig(const QByteArray& text, const QString& fileName,
                                     const QString& baseDir);
// The name of the robot's machine among others that share its books: its nickname (as the
// server compares nicknames) and its server, "rivet@irc.example.net".
QString machineName(const KeeperConfig& config);

// Reads the configuration file at `path`.
KeeperConfigResult readKeeperConfig(const QString& path);

} // namespace jackwell::keeper
