// jackwell-keeper: the machinekeeper robot on an IRC network, with its books in SQLite or on a
// PostgreSQL server that several robots share.
//
//   jackwell-keeper CONFIG          serve players as CONFIG says (see README)
//   jackwell-keeper --init CONFIG   make the empty books CONFIG names, once
//   jackwell-keeper --audit BOOKS   check that every player's books balance (a file or an address)
//   jackwell-keeper --version | --help

#include "clock/real_clock.h"
#include "jackwell_version.h"
#include "keeper/books_store.h"
#include "keeper/keeper_config.h"
#include "keeper/keeper_robot.h"
#include "keeper/postgres_address.h"
#include "platform/key_value_file.h"
#include "platform/stop_signals.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFileInfo>
#include <QLockFile>
#include <QRandomGenerator>

#include <csignal>
#include <cstdio>

namespace {

const char* const kUsage = "usage: jackwell-keeper CONFIG\n"
                           "       jackwell-keeper --init CONFIG\n"
                           "       jackwell-keeper --audit BOOKS\n"
                           "       jackwell-keeper --version | --help\n";

using jackwell::KeyValueFile;

void say(const QString& text) {
    const QString stamp = QDateTime::currentDateTime().toString(Qt::ISODateWithMs);
    std::fprintf(stderr, "%s jackwell-keeper: %s\n", qPrintable(stamp),
                 qPrintable(KeyValueFile::escaped(text)));
    std::fflush(stderr);
}

int audit(const QString& path) {
    QString error;
    jackwell::RealClock clock;
    const auto books = jackwell::keeper::openKeeperBooks(
        path, clock, {jackwell::keeper::BooksPurpose::Audit, {}, {}}, &error);
    if (!books) {
        say(error);
        return 2;
    }
    const jackwell::keeper::BooksAudit result = books->audit();
    for (const QString& fault : result.faults)
        std::printf("fault: %s\n", qPrintable(KeyValueFile::escaped(fault)));
    std::printf("players=%lld games=%lld balanced=%s\n", result.players, result.games,
                result.balanced() ? "yes" : "no");
    return result.balanced() ? 0 : 1;
}

int initBooks(const QString& configPath) {
    const jackwell::keeper::KeeperConfigResult read =
        jackwell::keeper::readKeeperConfig(configPath);
    if (!read.config) {
        say(read.error);
        return 1;
    }
    QString error;
    jackwell::RealClock clock;
    if (!jackwell::keeper::createKeeperBooks(read.config->booksPath, clock, &error)) {
        say(error);
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
                    "keeping their books in SQLite or on a PostgreSQL server, until SIGTERM,\n"
                    "SIGINT or SIGHUP.\n"
                    "--init makes the empty books CONFIG names (once; it refuses existing files).\n"
                    "--audit checks that every player's books balance (exit 0 when they do).\n"
                    "See jackwell-keeper(8).\n",
                    kUsage);
        return 0;
    }
    if (args.size() == 2 && args[0] == QLatin1String("--audit"))
        return audit(args[1]);
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
        say(read.error);
        return 1;
    }
    const jackwell::keeper::KeeperConfig& config = *read.config;
    // One robot per books file: two would each answer from their own idea of the waiting games.
    // Books on a server are shared; there, one robot per machine name is the rule.
    QLockFile lock(config.booksPath + QStringLiteral(".lock"));
    if (!jackwell::keeper::isPostgresAddress(config.booksPath) && !lock.tryLock(0)) {
        say(lockRefusal(lock, config.booksPath));
        return 1;
    }
    jackwell::RealClock clock;
    QString error;
    const auto books = jackwell::keeper::openKeeperBooks(
        config.booksPath, clock,
        {jackwell::keeper::BooksPurpose::Serve, jackwell::keeper::machineName(config), say},
        &error);
    if (!books) {
        say(error);
        return 1;
    }

    jackwell::keeper::KeeperRobot robot(clock, config, *books,
                                        QRandomGenerator::system()->generate64(), say);
    robot.setBooksFailed([&robot] {
        say(QStringLiteral("stopping: the books can take no more games"));
        robot.stop();
        QCoreApplication::exit(1);
    });
    jackwell::installStopSignals([&robot] {
        say(QStringLiteral("stopping"));
        robot.stop();
        QCoreApplication::quit();
    });
    robot.start();
    return QCoreApplication::exec();
}
