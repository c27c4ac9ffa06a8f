// jackwell-keeper: the machinekeeper robot on an IRC network, with its books in SQLite.
//
//   jackwell-keeper CONFIG          serve players as CONFIG says (see README)
//   jackwell-keeper --audit BOOKS   check that every player's books balance
//   jackwell-keeper --help | --version

#include "clock/real_clock.h"
#include "keeper/keeper_config.h"
#include "keeper/keeper_robot.h"
#include "keeper/sqlite_books.h"
#include "platform/command_line.h"
#include "platform/stop_signals.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QFileInfo>
#include <QLockFile>
#include <QRandomGenerator>

#include <cstdio>

namespace {

void say(const QString& text) {
    const QString stamp = QDateTime::currentDateTime().toString(Qt::ISODateWithMs);
    std::fprintf(stderr, "%s jackwell-keeper: %s\n", qPrintable(stamp), qPrintable(text));
    std::fflush(stderr);
}

int audit(const QString& path) {
    if (!QFileInfo::exists(path)) {
        say(QStringLiteral("%1: no such file").arg(path));
        return 2;
    }
    QString error;
    const auto books = jackwell::keeper::SqliteBooks::open(path, &error);
    if (!books) {
        say(error);
        return 2;
    }
    const jackwell::keeper::BooksAudit result = books->audit();
    for (const QString& fault : result.faults)
        std::printf("fault: %s\n", qPrintable(fault));
    std::printf("players=%lld games=%lld balanced=%s\n", result.players, result.games,
                result.balanced() ? "yes" : "no");
    return result.balanced() ? 0 : 1;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("jackwell-keeper"));
    const jackwell::ProgramInfo info{
        QStringLiteral("jackwell-keeper"), QStringLiteral("CONFIG\n--audit BOOKS"),
        QStringLiteral(
            "The machinekeeper robot on an IRC network: it serves every player who writes to it\n"
            "privately and keeps their books in SQLite.\n\n"
            "  CONFIG          the robot's configuration file (server, nick, channel, books...)\n"
            "  --audit BOOKS   checks that every player's books balance; exits 0 when they do\n"
            "  -h, --help      shows this help and exits\n"
            "  -v, --version   shows the version and exits\n")};
    QCommandLineParser parser;
    const QCommandLineOption auditOption(QStringLiteral("audit"), QString(),
                                         QStringLiteral("BOOKS"));
    parser.addOption(auditOption);
    if (const auto exitCode =
            jackwell::readCommandLine(parser, QCoreApplication::arguments(), info))
        return *exitCode;
    const QStringList args = parser.positionalArguments();
    if (parser.isSet(auditOption)) {
        if (!args.isEmpty())
            return jackwell::commandLineFault(info, QStringLiteral("--audit takes no CONFIG"));
        return audit(parser.value(auditOption));
    }
    if (args.size() != 1)
        return jackwell::commandLineFault(info, args.isEmpty() ? QStringLiteral("no CONFIG given")
                                                               : QStringLiteral("one CONFIG only"));

    const jackwell::keeper::KeeperConfigResult read = jackwell::keeper::readKeeperConfig(args[0]);
    if (!read.config) {
        say(read.error);
        return 1;
    }
    const jackwell::keeper::KeeperConfig& config = *read.config;
    // One robot per books file: two would each answer from their own idea of the waiting games.
    QLockFile lock(config.booksPath + QStringLiteral(".lock"));
    if (!lock.tryLock(0)) {
        say(QStringLiteral("%1 is kept by another running robot").arg(config.booksPath));
        return 1;
    }
    QString error;
    const auto books = jackwell::keeper::SqliteBooks::open(config.booksPath, &error);
    if (!books) {
        say(error);
        return 1;
    }

    jackwell::RealClock clock;
    jackwell::keeper::KeeperRobot robot(clock, config, *books,
                                        QRandomGenerator::system()->generate64(), say);
    jackwell::installStopSignals([&robot] {
        say(QStringLiteral("stopping"));
        robot.stop();
        QCoreApplication::quit();
    });
    robot.start();
    return QCoreApplication::exec();
}
