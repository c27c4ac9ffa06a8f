// jackwell-load: many simulated players against the network machinekeeper on a private IRC
// server, once undisturbed, once with the robot killed (SIGKILL) halfway and started again, and
// once with a fifth of the players dropping their connection after every hold, and (with
// PostgreSQL) once with the database stopped (SIGSTOP) for 20 s halfway; then every
// player's books are checked against what they were told. `--runs failover` keeps the books on a
// primary with a synchronous standby, kills the primary (SIGKILL) halfway and promotes the
// standby, and says how long until every player had a game booked again. `--runs netsplit` links
// a second server to the first, a robot on each, and cuts the link for 10 s twice; players whose
// robot is out of reach go on with the one on their side, and the run says how long until every
// player had a game booked again after each heal. Several robots may serve at once, sharing their
// books (one wallet per player) on a private PostgreSQL server.
//
// `--runs capacity` offers games on a schedule at a rising rate, step by step, prints each step's
// offered and booked games a second, latency and processor time per game, and the knee, and
// draws the chart of every configuration measured into the same folder.
//
//   jackwell-load [--players N] [--games G] [--think MIN-MAX] [--runs
//   steady,kill,drop,stall,failover,netsplit,capacity] [--rates R1,R2,...] [--step SECONDS]
//                 [--robots N] [--books sqlite|postgresql] [--no-database-sync] [--keeper PATH]
//                 [--deadline SECONDS] [--fastpace N] [--no-flood-limits] [--keep]

#include "clock/real_clock.h"
#include "load_capacity.h"
#include "load_run.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QSocketNotifier>

#include <cstdio>

#include <fcntl.h>
#include <unistd.h>

#include <csignal>

using namespace jackwell;
using namespace jackwell::load;

namespace {

void print(const QString& text) {
    std::printf("%s\n", qPrintable(text));
    std::fflush(stdout);
}

// Ctrl+C or SIGTERM: written here by the handler, read by the event loop. The servers are stopped
// there by their PIDs: ngircd and PostgreSQL run as nobody, and what changed its user does not end
// with its parent.
int signalPipe[2] = {-1, -1};

void onSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
}

struct Plan {
    RunSettings base;
    CapacitySettings capacity;
    QStringList runs;
    std::vector<RunReport> reports;
};

void runNext(RealClock& clock, Plan& plan, std::unique_ptr<Run>& current) {
    if (plan.reports.size() == std::size_t(plan.runs.size())) {
        // The summary: the undisturbed run's latencies; everything counted over all runs.
        const RunReport& first = plan.reports.front();
        int games = 0, lost = 0, doubled = 0, unseen = 0, stalls = 0;
        bool balanced = true, ok = true;
        for (const RunReport& report : plan.reports) {
            games += report.games;
            lost += report.books.lost;
            doubled += report.books.doubled;
            unseen += report.books.unseen;
            stalls += report.stalls;
            balanced = balanced && report.books.balanced;
            ok = ok && report.ok();
        }
        print(QStringLiteral("load: players=%1 games=%2 p50=%3ms p99=%4ms unseen=%5 lost=%6 "
                             "doubled=%7 balanced=%8 stalled=%9")
                  .arg(first.players)
                  .arg(games)
                  .arg(first.p50Ms)
                  .arg(first.p99Ms)
                  .arg(unseen)
                  .arg(lost)
                  .arg(doubled)
                  .arg(balanced ? "yes" : "no")
                  .arg(stalls));
        QCoreApplication::exit(ok ? 0 : 1);
        return;
    }
    RunSettings settings = plan.base;
    settings.name = plan.runs[qsizetype(plan.reports.size())];
    // capacity@ROBOTS-BOOKS: a capacity run of its own configuration.
    if (settings.name.startsWith(QLatin1String("capacity@"))) {
        const QStringList configuration = settings.name.mid(9).split(u'-');
        settings.robots = configuration.value(0).toInt();
        settings.books = configuration.value(1) == QLatin1String("postgresql") ? BooksKind::Postgres
                                                                               : BooksKind::Sqlite;
        settings.name = QStringLiteral("capacity");
    }
    settings.killMidway = settings.name == QLatin1String("kill");
    settings.dropEvery = settings.name == QLatin1String("drop") ? 5 : 0;
    settings.stallMs = settings.name == QLatin1String("stall") ? 20000 : 0;
    settings.failover = settings.name == QLatin1String("failover");
    settings.netsplit = settings.name == QLatin1String("netsplit");
    settings.seed = plan.reports.size() + 1;
    QStringList rates;
    for (int rate : plan.capacity.rates)
        rates << QString::number(rate);
    if (settings.name == QLatin1String("capacity"))
        print(QStringLiteral("run capacity: games offered on a schedule at %1 a second, %2 s "
                             "each, until the robots fall behind")
                  .arg(rates.join(u','))
                  .arg(plan.capacity.stepSeconds));
    else
        print(QStringLiteral("run %1: %2 players x %3 games, thinking %4-%5 ms before each hold%6")
                  .arg(settings.name)
                  .arg(settings.players)
                  .arg(settings.games)
                  .arg(settings.thinkMinMs)
                  .arg(settings.thinkMaxMs)
                  .arg(settings.killMidway
                           ? QStringLiteral(", %1 killed (SIGKILL) halfway "
                                            "and started again")
                                 .arg(settings.robots > 1 ? QStringLiteral("the first robot")
                                                          : QStringLiteral("the robot"))
                       : settings.dropEvery ? QStringLiteral(", every %1th player dropping its "
                                                             "connection right after each hold")
                                                  .arg(settings.dropEvery)
                       : settings.stallMs ? QStringLiteral(", the database stopped (SIGSTOP) for "
                                                           "%1 s halfway")
                                                .arg(settings.stallMs / 1000)
                       : settings.failover
                           ? QStringLiteral(", the primary database killed (SIGKILL) "
                                            "halfway and its standby promoted")
                       : settings.netsplit
                           ? QStringLiteral(", on two linked servers whose link is cut "
                                            "for 10 s at a quarter and at half the games")
                           : QString()));
    if (settings.name == QLatin1String("capacity")) {
        settings.allRobotsEvery = 0;
        current = std::make_unique<CapacityRun>(clock, settings, plan.capacity, print);
    } else {
        current = std::make_unique<LoadRun>(clock, settings);
    }
    current->start([&clock, &plan, &current](const RunReport& report) {
        for (const QString& problem : report.problems)
            print(QStringLiteral("  problem: ") + problem);
        for (const QString& fault : report.books.faults.mid(0, 20))
            print(QStringLiteral("  books: ") + fault);
        if (!report.keptIn.isEmpty())
            print(QStringLiteral("  logs and books kept in ") + report.keptIn);
        print(report.line());
        plan.reports.push_back(report);
        // The finished run is let go from the event loop, not from inside its own call.
        clock.callAfter(0, QCoreApplication::instance(),
                        [&clock, &plan, &current] { runNext(clock, plan, current); });
    });
}

} // namespace

int main(int argc, char* argv[]) {
    // Pictures are drawn for the capacity chart; no display is needed.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Simulated players against the network machinekeeper."));
    parser.addHelpOption();
    const QCommandLineOption players(QStringLiteral("players"), "Players at once (100).", "N",
                                     "100");
    const QCommandLineOption games(QStringLiteral("games"), "Games each player plays (20).", "G",
                                   "20");
    const QCommandLineOption think(QStringLiteral("think"),
                                   "Thinking time before a hold, ms (500-2500).", "MIN-MAX",
                                   "500-2500");
    const QCommandLineOption runs(
        QStringLiteral("runs"),
        "Runs, in order (steady,kill,drop,capacity; and stall with "
        "PostgreSQL; failover and netsplit, with PostgreSQL, on request).",
        "LIST");
    const QCommandLineOption robots(QStringLiteral("robots"),
                                    "Robots serving at once, sharing the books (1).", "N", "1");
    const QCommandLineOption books(QStringLiteral("books"),
                                   "Where the books are: sqlite, or postgresql on a private "
                                   "server (sqlite; postgresql for more than one robot).",
                                   "KIND");
    const QCommandLineOption noDatabaseSync(
        QStringLiteral("no-database-sync"),
        "PostgreSQL leaves its writes to the kernel (fsync off) instead of syncing each commit.");
    const QCommandLineOption keeper(
        QStringLiteral("keeper"), "The robot's executable.", "PATH",
        QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("jackwell-keeper")));
    const QCommandLineOption deadline(QStringLiteral("deadline"), "Seconds a run may take (240).",
                                      "S", "240");
    const QCommandLineOption fastPace(QStringLiteral("fastpace"),
                                      "The robot's lines a second once exempt (its default).", "N",
                                      "0");
    const QCommandLineOption noFloodLimits(
        QStringLiteral("no-flood-limits"),
        "Turn the server's flood limits off for every client, players included.");
    const QCommandLineOption rates(QStringLiteral("rates"),
                                   "Capacity: the games a second offered, step by step.", "LIST");
    const QCommandLineOption step(QStringLiteral("step"), "Capacity: seconds a step lasts (5).",
                                  "S", "5");
    const QCommandLineOption keep(QStringLiteral("keep"),
                                  "Keep each run's folder (logs, books) even when it went well.");
    parser.addOptions({players, games, think, runs, robots, books, noDatabaseSync, keeper, deadline,
                       fastPace, noFloodLimits, rates, step, keep});
    parser.process(app);

    Plan plan;
    plan.base.players = std::clamp(parser.value(players).toInt(), 1, 2000);
    plan.base.games = std::clamp(parser.value(games).toInt(), 1, 10000);
    const QStringList range = parser.value(think).split(u'-');
    plan.base.thinkMinMs = std::max(0, range.value(0).toInt());
    plan.base.thinkMaxMs = std::max(plan.base.thinkMinMs, range.value(1).toInt());
    plan.base.deadlineSeconds = std::clamp(parser.value(deadline).toInt(), 1, 3600);
    plan.base.floodLimits = !parser.isSet(noFloodLimits);
    plan.base.keepFiles = parser.isSet(keep);
    plan.base.fastPace = std::clamp(parser.value(fastPace).toInt(), 0, 10000);
    plan.base.keeperBinary = QFileInfo(parser.value(keeper)).absoluteFilePath();
    plan.base.databaseSyncs = !parser.isSet(noDatabaseSync);
    plan.base.robots = std::clamp(parser.value(robots).toInt(), 1, 20);
    plan.capacity.stepSeconds = std::clamp(parser.value(step).toInt(), 1, 600);
    plan.capacity.chartFolder = QCoreApplication::applicationDirPath();
    if (parser.isSet(rates)) {
        plan.capacity.rates.clear();
        for (const QString& rate : parser.value(rates).split(u',', Qt::SkipEmptyParts)) {
            if (const int value = rate.toInt(); value > 0 && value <= 20000)
                plan.capacity.rates.push_back(value);
        }
        if (plan.capacity.rates.empty()) {
            std::fprintf(stderr, "jackwell-load: --rates takes games a second, 1 to 20000, "
                                 "separated by commas\n");
            return 2;
        }
        std::sort(plan.capacity.rates.begin(), plan.capacity.rates.end());
    }
    const QString booksKind = parser.isSet(books)    ? parser.value(books)
                              : plan.base.robots > 1 ? QStringLiteral("postgresql")
                                                     : QStringLiteral("sqlite");
    if (booksKind == QLatin1String("postgresql")) {
        plan.base.books = BooksKind::Postgres;
    } else if (booksKind == QLatin1String("sqlite")) {
        if (plan.base.robots > 1) {
            std::fprintf(stderr, "jackwell-load: an SQLite file serves one robot only; "
                                 "use --books postgresql for several\n");
            return 2;
        }
    } else {
        std::fprintf(stderr, "jackwell-load: unknown books %s (sqlite, postgresql)\n",
                     qPrintable(booksKind));
        return 2;
    }
    const bool postgres = plan.base.books == BooksKind::Postgres;
    plan.runs = parser.isSet(runs) ? parser.value(runs).split(u',', Qt::SkipEmptyParts)
                : postgres         ? QStringList{"steady", "kill", "drop", "stall"}
                                   : QStringList{"steady", "kill", "drop"};
    for (const QString& run : plan.runs) {
        if (run == QLatin1String("netsplit") && (!postgres || plan.base.robots < 2)) {
            std::fprintf(stderr, "jackwell-load: the netsplit run needs --robots 2 or more and "
                                 "--books postgresql\n");
            return 2;
        }
        const bool needsPostgres = run == QLatin1String("stall") ||
                                   run == QLatin1String("failover") ||
                                   run == QLatin1String("netsplit");
        if (run != QLatin1String("steady") && run != QLatin1String("kill") &&
            run != QLatin1String("drop") && run != QLatin1String("capacity") &&
            (!needsPostgres || !postgres)) {
            std::fprintf(stderr,
                         "jackwell-load: unknown run %s (steady, kill, drop, capacity; stall, "
                         "failover and netsplit with --books postgresql)\n",
                         qPrintable(run));
            return 2;
        }
    }
    if (plan.runs.isEmpty())
        return 2;
    // Capacity with neither robots nor books named: the three configurations an operator
    // chooses between, one after the other, drawn in one chart.
    if (!parser.isSet(robots) && !parser.isSet(books)) {
        const qsizetype capacity = plan.runs.indexOf(QStringLiteral("capacity"));
        if (capacity >= 0)
            plan.runs.replace(capacity, QStringLiteral("capacity@1-sqlite,capacity@1-postgresql,"
                                                       "capacity@2-postgresql"));
        plan.runs = plan.runs.join(u',').split(u',');
    }
    print(QStringLiteral("load: ") + LoadStack::serverDescription(plan.base.floodLimits));
    print(QStringLiteral("load: %1 robot(s), books %2")
              .arg(plan.base.robots)
              .arg(plan.base.books == BooksKind::Postgres
                       ? QStringLiteral("on a private PostgreSQL 15 server (fsync %1), one "
                                        "wallet per player; every %2th player plays on all robots")
                             .arg(plan.base.databaseSyncs ? "on" : "off")
                             .arg(plan.base.allRobotsEvery)
                       : QStringLiteral("in one SQLite file")));

    RealClock clock;
    std::unique_ptr<Run> current;
    std::unique_ptr<QSocketNotifier> interrupted;
    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) == 0) {
        interrupted = std::make_unique<QSocketNotifier>(signalPipe[0], QSocketNotifier::Read);
        QObject::connect(interrupted.get(), &QSocketNotifier::activated, [&current] {
            print(QStringLiteral("load: interrupted; stopping the robots and the servers"));
            current.reset();
            QCoreApplication::exit(130);
        });
        struct sigaction action = {};
        action.sa_handler = onSignal;
        ::sigaction(SIGINT, &action, nullptr);
        ::sigaction(SIGTERM, &action, nullptr);
    }
    runNext(clock, plan, current);
    return QCoreApplication::exec();
}
