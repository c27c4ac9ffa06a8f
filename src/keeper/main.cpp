// jackwell-keeper: the machinekeeper robot on an IRC network, with its books in SQLite.
//
//   jackwell-keeper CONFIG          serve players as CONFIG says (see README)
//   jackwell-keeper --init CONFIG   make the empty books CONFIG names, once
//   jackwell-keeper --audit BOOKS   check that every player's books balance
//   jackwell-keeper --players BOOKS who plays: one line per player
//   jackwell-keeper --version | --help

#include "clock/real_clock.h"
#include "jackwell_version.h"
#include "keeper/keeper_config.h"
#include "keeper/keeper_log.h"
#include "keeper/keeper_robot.h"
#include "keeper/player_list.h"
#include "keeper/sqlite_books.h"
#include "platform/key_value_file.h"
#include "platform/stop_signals.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLockFile>
#include <QRandomGenerator>

#include <csignal>
#include <cstdio>

namespace {

const char* const kUsage = "usage: jackwell-keeper CONFIG\n"
                           "       jackwell-keeper --init CONFIG\n"
                           "       jackwell-keeper --audit BOOKS\n"
                           "       jackwell-keeper --players BOOKS\n"
                           "       jackwell-keeper --version | --help\n";

using jackwell::KeyValueFile;
using jackwell::keeper::lcKeeper;
using jackwell::keeper::SqliteBooks;

void say(const QString& text) {
    qCInfo(lcKeeper).noquote() << text;
}

void fault(const QString& text) {
    qCCritical(lcKeeper).noquote() << text;
}

int audit(const QString& path) {
    QString error;
    const auto books = SqliteBooks::open(path, &error, SqliteBooks::Purpose::Audit);
    if (!books) {
        fault(error);
        return 2;
    }
    const jackwell::keeper::BooksAudit result = books->audit();
    for (const QString& fault : result.faults)
        std::printf("fault: %s\n", qPrintable(KeyValueFile::escaped(fault)));
    std::printf("players=%lld games=%lld balanced=%s\n", result.players, result.games,
                result.balanced() ? "yes" : "no");
    return result.balanced() ? 0 : 1;
}

int listPlayers(const QString& path) {
    QString error;
    const auto books = SqliteBooks::open(path, &error, SqliteBooks::Purpose::Audit);
    if (!books) {
        fault(error);
        return 2;
    }
    const std::optional<jackwell::keeper::LedgerRows> rows = books->readLedger();
    if (!rows) {
        fault(books->lastError());
        return 2;
    }
    for (const QString& line : jackwell::keeper::listPlayers(*rows))
        std::printf("%s\n", qPrintable(line));
    return 0;
}

// SIGHUP: what can change while connected is taken; the rest is named as needing a restart.
void reloadConfig(const QString& path, jackwell::keeper::KeeperRobot& robot) {
    const jackwell::keeper::KeeperConfigResult read = jackwell::keeper::readKeeperConfig(path);
    if (!read.config) {
        qCWarning(lcKeeper).noquote()
            << QStringLiteral("configuration not reloaded: %1").arg(read.error);
        return;
    }
    for (const QString& warning : read.warnings)
        qCWarning(lcKeeper).noquote() << warning;
    jackwell::keeper::setKeeperLogLevel(read.config->logLevel);
    const QStringList restart = robot.reconfigure(*read.config);
    say(QStringLiteral("configuration reloaded: pace %1, fastpace %2, greet %3")
            .arg(read.config->pace)
            .arg(read.config->fastPace)
            .arg(read.config->greet ? QStringLiteral("yes") : QStringLiteral("no")));
    if (!restart.isEmpty())
        qCWarning(lcKeeper).noquote()
            << QStringLiteral("changed %1: these take effect after a restart")
                   .arg(restart.join(QStringLiteral(", ")));
}

int initBooks(const QString& configPath) {
    const jackwell::keeper::KeeperConfigResult read =
        jackwell::keeper::readKeeperConfig(configPath);
    if (!read.config) {
        fault(read.error);
        return 1;
    }
    QString error;
    if (!SqliteBooks::create(read.config->booksPath, &error)) {
        fault(error);
        return 1;
    }
    say(QStringLiteral("made new books in %1").arg(read.config->booksPath));
    return 0;
}

// Why the lock on the books could not be taken, in the operator's words.
QString lockRefusal(const QLockFile& lock, const QString& booksPath) {
    switch (lock.error()) {
    case QLockFile::LockFailedError:
        return QStringLiteral("%1 is kept by another running robot").arg(booksPath);
    case QLockFile::PermissionError:
        return QStringLiteral("%1.lock: the lock file cannot be made there (permission denied)")
            .arg(booksPath);
    default:
        return QStringLiteral("%1.lock: the lock file cannot be made").arg(booksPath);
    }
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    jackwell::keeper::installKeeperLog();
    QCoreApplication::setApplicationName(QStringLiteral("jackwell-keeper"));
    QCoreApplication::setApplicationVersion(QStringLiteral(JACKWELL_VERSION));
    const QStringList args = QCoreApplication::arguments().mid(1);
    if (args == QStringList{QStringLiteral("--version")}) {
        std::printf("jackwell-keeper %s\n", JACKWELL_VERSION);
        return 0;
    }
    if (args == QStringList{QStringLiteral("--help")}) {
        std::printf("%s\n"
                    "Serves players as the machinekeeper on the IRC network that CONFIG names,\n"
                    "keeping their books in SQLite, until SIGTERM or SIGINT; SIGHUP re-reads\n"
                    "CONFIG.\n"
                    "--init makes the empty books CONFIG names (once; it refuses existing files).\n"
                    "--audit checks that every player's books balance (exit 0 when they do).\n"
                    "--players lists every player: credits, games, tokens won, last game.\n"
                    "See jackwell-keeper(8).\n",
                    kUsage);
        return 0;
    }
    if (args.size() == 2 && args[0] == QLatin1String("--audit"))
        return audit(args[1]);
    if (args.size() == 2 && args[0] == QLatin1String("--players"))
        return listPlayers(args[1]);
    if (args.size() == 2 && args[0] == QLatin1String("--init"))
        return initBooks(args[1]);
    if (args.size() != 1 || args[0].startsWith(u'-')) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    // A file grown past the size limit (ulimit -f) fails the write that would pass it; the
    // game is then not booked and the player is told so, instead of the process dying.
    std::signal(SIGXFSZ, SIG_IGN);

    const jackwell::keeper::KeeperConfigResult read = jackwell::keeper::readKeeperConfig(args[0]);
    if (!read.config) {
        fault(read.error);
        return 1;
    }
    const jackwell::keeper::KeeperConfig& config = *read.config;
    QString error;
    if (!jackwell::keeper::setKeeperLogFile(config.logFile, &error)) {
        fault(error);
        return 1;
    }
    jackwell::keeper::setKeeperLogLevel(config.logLevel);
    for (const QString& warning : read.warnings)
        qCWarning(lcKeeper).noquote() << warning;
    // One robot per books file: two would each answer from their own idea of the waiting games.
    QLockFile lock(config.booksPath + QStringLiteral(".lock"));
    if (!lock.tryLock(0)) {
        fault(lockRefusal(lock, config.booksPath));
        return 1;
    }
    const auto books = SqliteBooks::open(config.booksPath, &error);
    if (!books) {
        fault(error);
        return 1;
    }

    jackwell::RealClock clock;
    jackwell::keeper::KeeperRobot robot(clock, config, *books,
                                        QRandomGenerator::system()->generate64());
    robot.setBooksFailed([&robot] {
        fault(QStringLiteral("stopping: the books can take no more games"));
        robot.stop();
        QCoreApplication::exit(1);
    });
    robot.setLoginRefused([] { QCoreApplication::exit(1); });
    jackwell::installStopSignals([&robot] {
        say(QStringLiteral("stopping"));
        robot.stop();
        QCoreApplication::quit();
    });
    const QString configPath = args[0];
    jackwell::installReloadSignal([configPath, &robot] { reloadConfig(configPath, robot); });
    robot.start();
    return QCoreApplication::exec();
}
