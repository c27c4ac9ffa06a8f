// jackwell-keeper: the machinekeeper robot on an IRC network, with its books in SQLite or on a
// PostgreSQL server that several robots share.
//
//   jackwell-keeper CONFIG          serve players as CONFIG says (see README)
//   jackwell-keeper --init CONFIG   make the empty books CONFIG names, once
//   jackwell-keeper --prepare CONFIG  the same on a service's first start
//   jackwell-keeper --audit BOOKS   check the books against the rules and their sums
//   jackwell-keeper --players BOOKS who plays: one line per player
//   jackwell-keeper --report BOOKS  what the machine pays, per player and in all, against its
//                                   exact return
//   jackwell-keeper --help | --version

#include "books/books_store.h"
#include "clock/real_clock.h"
#include "keeper/keeper_config.h"
#include "keeper/keeper_log.h"
#include "keeper/keeper_robot.h"
#include "keeper/metrics_endpoint.h"
#include "keeper/player_list.h"
#include "keeper/return_report.h"
#include "platform/command_line.h"
#include "platform/key_value_file.h"
#include "platform/stop_signals.h"

#include <QCommandLineParser>
#include <QCoreApplication>
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
std::unique_ptr<jackwell::books::KeeperBooks> openToRead(const QString& path,
                                                         jackwell::Clock& clock) {
    QString error;
    auto books = jackwell::books::openKeeperBooks(
        path, clock, {jackwell::books::BooksPurpose::Audit, {}, {}}, &error);
    if (!books)
        fault(error);
    return books;
}

int audit(const QString& path) {
    jackwell::RealClock clock;
    const auto books = openToRead(path, clock);
    if (!books)
        return 2;
    const jackwell::books::BooksAudit result = books->audit();
    for (const QString& fault : result.faults)
        std::printf("fault: %s\n", qPrintable(KeyValueFile::escaped(fault)));
    std::printf("players=%lld games=%lld balanced=%s\n", result.players, result.games,
                result.balanced() ? "yes" : "no");
    return result.balanced() ? 0 : 1;
}

// Prints what `report` makes of the books' ledger, one line each.
int printFromLedger(const QString& path,
                    QStringList (*report)(const jackwell::books::Ledger& ledger)) {
    jackwell::RealClock clock;
    const auto books = openToRead(path, clock);
    if (!books)
        return 2;
    jackwell::books::Ledger ledger;
    if (!books->readLedger(ledger)) {
        fault(books->lastError());
        return 2;
    }
    for (const QString& line : report(ledger))
        std::printf("%s\n", qPrintable(line));
    return 0;
}

// SIGHUP: the log file is opened again (logrotate moved the old one away); what can change
// while connected is taken; the rest is named as needing a restart.
void reloadConfig(const QString& path, jackwell::keeper::KeeperRobot& robot) {
    QString error;
    if (!jackwell::keeper::reopenKeeperLogFile(&error))
        qCWarning(lcKeeper).noquote() << error;
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

int initBooks(const QString& configPath, jackwell::books::BooksMaking making) {
    const jackwell::keeper::KeeperConfigResult read =
        jackwell::keeper::readKeeperConfig(configPath);
    if (!read.config) {
        fault(read.error);
        return 1;
    }
    QString error;
    jackwell::RealClock clock;
    if (!jackwell::books::makeKeeperBooks(read.config->booksPath, clock, making, say, &error)) {
        fault(error);
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    jackwell::keeper::installKeeperLog();
    QCoreApplication::setApplicationName(QStringLiteral("jackwell-keeper"));
    const jackwell::ProgramInfo info{
        QStringLiteral("jackwell-keeper"),
        QStringLiteral("CONFIG\n--init CONFIG\n--prepare CONFIG\n--audit BOOKS\n--players BOOKS\n"
                       "--report BOOKS"),
        QStringLiteral(
            "The machinekeeper robot on an IRC network: it serves every player who writes to it\n"
            "privately and keeps their books in SQLite or on a PostgreSQL server that several\n"
            "robots share, until SIGTERM or SIGINT; SIGHUP makes it open its log file and\n"
            "read CONFIG again.\n\n"
            "  CONFIG          the robot's configuration file (server, nick, channel, books...)\n"
            "  --init CONFIG   makes the empty books CONFIG names, once: it refuses a file that\n"
            "                  is there, and books made there before and missing now\n"
            "  --prepare CONFIG  the same on a service's first start: does nothing where a\n"
            "                  file is there already (the start then judges it)\n"
            "  --audit BOOKS   checks every game and grant against the rules and that every\n"
            "                  player's books balance (a file or a postgresql:// address);\n"
            "                  exits 0 when they do\n"
            "  --players BOOKS lists every player: credits, games, tokens won, last game\n"
            "  --report BOOKS  what the machine paid, per player and in all, against its exact\n"
            "                  return (tokens paid over tokens staked, with 95 % bands)\n"
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
    const QCommandLineOption reportOption(QStringLiteral("report"), QString(),
                                          QStringLiteral("BOOKS"));
    parser.addOption(reportOption);
    if (const auto exitCode =
            jackwell::readCommandLine(parser, QCoreApplication::arguments(), info))
        return *exitCode;
    const QStringList args = parser.positionalArguments();
    const int tasks = int(parser.isSet(auditOption)) + int(parser.isSet(initOption)) +
                      int(parser.isSet(prepareOption)) + int(parser.isSet(playersOption)) +
                      int(parser.isSet(reportOption));
    if (tasks > 1)
        return jackwell::commandLineFault(
            info,
            QStringLiteral("--audit, --players, --report, --init and --prepare go one at a time"));
    if (tasks == 1) {
        if (!args.isEmpty())
            return jackwell::commandLineFault(
                info, QStringLiteral("unexpected argument '%1'").arg(args.first()));
        if (parser.isSet(auditOption))
            return audit(parser.value(auditOption));
        if (parser.isSet(playersOption))
            return printFromLedger(parser.value(playersOption), jackwell::keeper::listPlayers);
        if (parser.isSet(reportOption))
            return printFromLedger(parser.value(reportOption), jackwell::keeper::returnReport);
        if (parser.isSet(initOption))
            return initBooks(parser.value(initOption), jackwell::books::BooksMaking::Always);
        return initBooks(parser.value(prepareOption), jackwell::books::BooksMaking::FirstRun);
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
    jackwell::RealClock clock;
    const auto books = jackwell::books::openKeeperBooks(
        config.booksPath, clock,
        {jackwell::books::BooksPurpose::Serve, jackwell::keeper::machineName(config), say}, &error);
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
    std::unique_ptr<jackwell::keeper::MetricsEndpoint> metrics;
    if (config.metricsPort != 0) {
        metrics = std::make_unique<jackwell::keeper::MetricsEndpoint>(
            clock, [&robot] { return robot.metricsText(); });
        if (!metrics->listen(QHostAddress(config.metricsHost), config.metricsPort, &error)) {
            fault(error);
            return 1;
        }
        // An IPv6 address stands in brackets in a URL, or its port could not be told from it.
        const QString host = config.metricsHost.contains(u':') ? u'[' + config.metricsHost + u']'
                                                               : config.metricsHost;
        say(QStringLiteral("serving metrics at http://%1:%2/metrics")
                .arg(host)
                .arg(config.metricsPort));
    }
    const QString configPath = args[0];
    jackwell::installReloadSignal([configPath, &robot] { reloadConfig(configPath, robot); });
    robot.start();
    return QCoreApplication::exec();
}
