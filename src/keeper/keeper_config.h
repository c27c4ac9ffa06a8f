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
//   fastpace = 200                 (optional; lines per second once exempt,
//                                   1 to 10000)
//
// nick and channel are required.

#include "irc/irc_config.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace jackwell::keeper {

struct KeeperConfig {
    IrcConfig irc;
    QString booksPath;   // the SQLite file, or the books' postgresql:// address as written
    QByteArray operName; // empty: no operator credentials
    QByteArray operPassword;
    int pace = 3;
    int fastPace = 200;
};

struct KeeperConfigResult {
    std::optional<KeeperConfig> config;
    QString error; // one line naming the file, the line and the fault; empty on success
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
