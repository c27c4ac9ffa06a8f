// jackwell-keeper: the machinekeeper robot on an IRC network, with its books in SQLite or on a
// PostgreSQL server that several robots share.
//
//   jackwell-keeper CONFIG          serve players as CONFIG says (see README)
//   jackwell-keeper --init CONFIG   make the empty books CONFIG names, once
//   jackwell-keeper --prepare CONFIG  the same on a service's first start
//   jackwell-keeper --audit BOOKS   check that every player's books balance (a file or an address)
//   jackwell-keeper --players BOOKS who plays: one line per player
//   jackwell-keeper --help | --version

#include "clock/real_clock.h"
#include "keeper/books_store.h"
#include "keeper/keeper_config.h"
#include "keeper/keeper_log.h"
#include "keeper/keeper_robot.h"
#include "keeper/player_list.h"
#include "keeper/postgres_address.h"
#include "platform/command_line.h"
#include "platform/key_value_file.h"
#include "platform/stop_signals.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QRandomGenerator>

#include <csignal>
#include <cstdio>

namespace {

using jackwell::KeyValueFile;
using jackwell::keeper::lcKeeper;

void say(const QString& text) {
    qCInfo(lcKeeper).noquote() << text;
}

void fault(const QString& text) {
    qCCritical(lcKeeper).noquote() << text;
}

// Books opened to be read through, beside a robot that may be serving them; null, with the
// reason said, when they cannot be.
std::unique_ptr<jackwell::keeper::KeeperBooks> openToRead(const QString& path,
                                                          jackwell::Clock& clock) {
    QString error;
    auto books = jackwell::keeper::openKeeperBooks(
        path, clock, {jackwell::keeper::BooksPurpose::Audit, {}, {}}, &error);
    if (!books)
        fault(error);
    return books;
}

int audit(const QString& path) {
    jackwell::RealClock clock;
    const auto books = openToRead(path, clock);
    if (!books)
        return 2;
    const jackwell::keeper::BooksAudit result = books->audit();
    for (const QString& fault : result.faults)
        std::printf("fault: %s\n", qPrintable(KeyValueFile::escaped(fault)));
    std::printf("players=%lld games=%lld balanced=%s\n", result.players, result.games,
                result.balanced() ? "yes" : "no");
    return result.balanced() ? 0 : 1;
}

int listPlayers(const QString& path) {
    jackwell::RealClock clock;
    const auto books = openToRead(path, clock);
    if (!books)
        return 2;
    jackwell::keeper::Ledger ledger;
    if (!books->readLedger(ledger)) {
        fault(books->lastError());
        return 2;
    }
    for (const QString& line : jackwell::keeper::listPlayers(ledger))
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

// Books once made leave a mark beside them, so that books found missing later are refused
// rather than made anew, which would hand every player their free credits again.
QString madeMarkPath(const QString& booksPath) {
    return booksPath + QStringLiteral(".made");
}

enum class Making {
    Always,   // --init: make them, refusing any file that is there
    FirstRun, // --prepare: make them unless a file is there, which the start then judges
};

int initBooks(const QString& configPath, Making making) {
    const jackwell::keeper::KeeperConfigResult read =
        jackwell::keeper::readKeeperConfig(configPath);
    if (!read.config) {
        fault(read.error);
        return 1;
    }
    const QString books = read.config->booksPath;
    QString error;
    jackwell::RealClock clock;
    if (jackwell::keeper::isPostgresAddress(books)) {
        // Books on a server are made on the first start to serve them; --init makes them now.
        if (making == Making::FirstRun)
            return 0;
        if (!jackwell::keeper::createKeeperBooks(books, clock, &error)) {
            fault(error);
            return 1;
        }
        say(QStringLiteral("made new books in %1").arg(books));
        return 0;
    }
    const QString mark = madeMarkPath(books);
    const bool there = QFileInfo::exists(books) || QFileInfo(books).isSymLink();
    if (making == Making::FirstRun && there)
        return 0;
    if (!there && QFileInfo::exists(mark)) {
        fault(QStringLiteral("%1: books were made here before (see %2) and are missing now; "
                             "restore them from a backup, or remove %2 to make empty books")
                  .arg(books, mark));
        return 1;
    }
    if (!jackwell::keeper::createKeeperBooks(books, clock, &error)) {
        fault(error);
        return 1;
    }
    QFile made(mark);
    if (!made.open(QIODevice::WriteOnly) ||
        made.write(QStringLiteral("books made %1\n")
                       .arg(QDateTime::currentDateTime().toString(Qt::ISODate))
                       .toUtf8()) < 0 ||
        !made.flush())
        say(QStringLiteral("%1: cannot leave the mark of new books (%2); books missing later "
                           "could be made anew")
                .arg(mark, made.errorString()));
    say(QStringLiteral("made new books in %1").arg(books));
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
    const jackwell::ProgramInfo info{
        QStringLiteral("jackwell-keeper"),
        QStringLiteral("CONFIG\n--init CONFIG\n--prepare CONFIG\n--audit BOOKS\n--players BOOKS"),
        QStringLiteral(
            "The machinekeeper robot on an IRC network: it serves every player who writes to it\n"
            "privately and keeps their books in SQLite or on a PostgreSQL server that several\n"
            "robots share, until SIGTERM or SIGINT; SIGHUP makes it read CONFIG again.\n\n"
            "  CONFIG          the robot's configuration file (server, nick, channel, books...)\n"
            "  --init CONFIG   makes the empty books CONFIG names, once: it refuses a file that\n"
            "                  is there, and books made there before and missing now\n"
            "  --prepare CONFIG  the same on a service's first start: does nothing where a\n"
            "                  file is there already (the start then judges it)\n"
            "  --audit BOOKS   checks that every player's books balance (a file or a\n"
            "                  postgresql:// address); exits 0 when they do\n"
            "  --players BOOKS lists every player: credits, games, tokens won, last game\n"
            "  -h, --help      shows this help and exits\n"
            "  -v, --version   shows the version and exits\n\n"
            "See jackwell-keeper(8).\n")};
    QCommandLineParser parser;
    const QCommandLineOption auditOption(QStringLiteral("audit"), QString(),
                                         QStringLiteral("BOOKS"));
    const QCommandLineOption initOption(QStringLiteral("init"), QString(),
                                        QStringLiteral("CONFIG"));
    const QCommandLineOption prepareOption(QStringLiteral("prepare"), QString(),
                                           QStringLiteral("CONFIG"));
    const QCommandLineOption playersOption(QStringLiteral("players"), QString(),
                                           QStringLiteral("BOOKS"));
    parser.addOption(auditOption);
    parser.addOption(initOption);
    parser.addOption(prepareOption);
    parser.addOption(playersOption);
    if (const auto exitCode =
            jackwell::readCommandLine(parser, QCoreApplication::arguments(), info))
        return *exitCode;
    const QStringList args = parser.positionalArguments();
    const int tasks = int(parser.isSet(auditOption)) + int(parser.isSet(initOption)) +
                      int(parser.isSet(prepareOption)) + int(parser.isSet(playersOption));
    if (tasks > 1)
        return jackwell::commandLineFault(
            info, QStringLiteral("--audit, --players, --init and --prepare go one at a time"));
    if (tasks == 1) {
        if (!args.isEmpty())
            return jackwell::commandLineFault(
                info, QStringLiteral("unexpected argument '%1'").arg(args.first()));
        if (parser.isSet(auditOption))
            return audit(parser.value(auditOption));
        if (parser.isSet(playersOption))
            return listPlayers(parser.value(playersOption));
        if (parser.isSet(initOption))
            return initBooks(parser.value(initOption), Making::Always);
        return initBooks(parser.value(prepareOption), Making::FirstRun);
    }
    if (args.size() != 1)
        return jackwell::commandLineFault(info, args.isEmpty() ? QStringLiteral("no CONFIG given")
                                                               : QStringLiteral("one CONFIG only"));
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
    // Books on a server are shared; there, one robot per machine name is the rule.
    QLockFile lock(config.booksPath + QStringLiteral(".lock"));
    if (!jackwell::keeper::isPostgresAddress(config.booksPath) && !lock.tryLock(0)) {
        fault(lockRefusal(lock, config.booksPath));
        return 1;
    }
    jackwell::RealClock clock;
    const auto books = jackwell::keeper::openKeeperBooks(
        config.booksPath, clock,
        {jackwell::keeper::BooksPurpose::Serve, jackwell::keeper::machineName(config), say},
        &error);
    if (!books) {
        fault(error);
        return 1;
    }

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
