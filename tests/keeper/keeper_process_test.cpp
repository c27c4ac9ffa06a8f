// The robot as a process on a real IRC server, under a hostile network and a careless host: a
// minute of flooding, its books deleted or replaced while it runs, a limit on its files' size.
#include "support/keeper_process.h"
#include "support/keeper_robot_rig.h"
#include "support/prometheus_server.h"
#include "support/test_files.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QTimer>

#include <algorithm>
#include <cstdio>

#include <sys/resource.h>

namespace jackwell {
namespace {

using namespace jackwell::testing;
using machine::kOutOfOrder;

// A private server (with flood limits or without) and the robot on it, its books made, started
// and (with the operator's credentials) waited for until it speaks at its flood-exempt pace.
class KeeperProcessTest : public ::testing::Test {
protected:
    void start(bool floodLimits, const QByteArray& extra = kOperLine,
               std::function<void()> beforeExec = {}) {
        server = std::make_unique<NgircdServer>(NgircdServer::Options{
            .floodThrottling = floodLimits, .operName = kOperName, .operPassword = kOperPassword});
        QString error;
        ASSERT_TRUE(server->start(&error)) << error;
        keeper = std::make_unique<KeeperProcess>(server->port());
        ASSERT_NO_FATAL_FAILURE(init(*keeper, extra));
        ASSERT_TRUE(keeper->start(std::move(beforeExec)));
        if (extra.contains(kOperLine)) {
            ASSERT_TRUE(keeper->waitForLog("lines a second", 2 * kWaitMs)) << keeper->log();
        }
    }
    static void init(KeeperProcess& robot, const QByteArray& extra = kOperLine) {
        QString output;
        ASSERT_TRUE(robot.writeConfig(extra));
        ASSERT_EQ(robot.run({"--init", robot.configPath()}, &output), 0) << output;
    }

    // A player, registered with the robot.
    std::unique_ptr<IrcTestPeer> registered(const QByteArray& nick) {
        auto peer = std::make_unique<IrcTestPeer>(nick);
        EXPECT_TRUE(peer->connectTo(server->port()));
        peer->privmsg(kKeeper, kRegister);
        EXPECT_TRUE(waitUntil([&] { return countTold(*peer, kFirstHead) == 1; }));
        return peer;
    }

    void expectAudited(int exitStatus, const QString& says = {}) {
        keeper->stop();
        EXPECT_PRED2(textContains, keeper->log(), "stopping\n"); // as SIGTERM asked
        QString output;
        EXPECT_EQ(keeper->run({"--audit", keeper->booksPath()}, &output), exitStatus) << output;
        EXPECT_TRUE(output.contains(says)) << output;
    }

    std::unique_ptr<NgircdServer> server;
    std::unique_ptr<KeeperProcess> keeper;
};

// A player that alternates "Register me!" and holds, kMessagesPerSecond of them, as far as its
// socket takes them without queueing up: four send eight times what the robot once booked at
// best (about a thousand games a second), which got it thrown off the server within seconds.
struct Flooder {
    static constexpr int kMessagesPerSecond = 4000;

    explicit Flooder(const QByteArray& nick)
        : peer(nick) {
        QObject::connect(&timer, &QTimer::timeout, [this] { refill(); });
    }
    void refill() {
        static const QByteArray pair = "PRIVMSG " + kKeeper + " :" + kRegister + "\r\nPRIVMSG " +
                                       kKeeper + " :" + holdsLine("1,0,1") + "\r\n";
        const qint64 due = since.elapsed() * kMessagesPerSecond / 1000 / 2;
        if (due > sent && peer.isConnected() && peer.unsentBytes() < 64 * 1024) {
            peer.sendRaw(pair.repeated(due - sent));
            sent = due;
        }
    }

    IrcTestPeer peer;
    QTimer timer;
    QElapsedTimer since;
    qint64 sent = 0;
};

// Four clients flood the robot for a minute on a server without flood limits (such a flood once
// booked 61,000 games, doubled its memory and got it thrown off). It stays connected and within 10
// MB, each flooder told now and then that it is dropped, and a bystander playing meanwhile loses no
// answer: nine in ten within the promised 500 ms, the rest within 2 s.
TEST_F(KeeperProcessTest, AMinuteOfFloodingLeavesItBoundedConnectedAndFair) {
    ASSERT_NO_FATAL_FAILURE(start(false));
    auto bystander = registered("bystander");
    std::vector<std::unique_ptr<Flooder>> flooders;
    for (int i = 0; i < 4; ++i) {
        flooders.push_back(std::make_unique<Flooder>("flood" + QByteArray::number(i)));
        ASSERT_TRUE(flooders.back()->peer.connectTo(server->port()));
    }
    runEventsFor(1500);
    const qint64 startKb = keeper->residentKb();
    ASSERT_GT(startKb, 0);

    for (auto& flooder : flooders) {
        flooder->since.start();
        flooder->timer.start(10);
    }
    QElapsedTimer flood;
    flood.start();
    std::vector<qint64> answersMs;
    while (flood.elapsed() < 60'000) {
        const int finals = countTold(*bystander, kFinalHead);
        QElapsedTimer answer;
        answer.start();
        bystander->privmsg(kKeeper, holdsLine("1,1,0"));
        ASSERT_TRUE(waitUntil([&] { return countTold(*bystander, kFirstHead) == finals + 2; }))
            << "an answer to the bystander was lost: "
            << bystander->rawLines().mid(bystander->rawLines().size() - 5).join('\n')
            << "\nrobot: " << keeper->log() << "\nserver: " << server->output();
        answersMs.push_back(answer.elapsed());
        runEventsFor(1000);
    }
    const qint64 endKb = keeper->residentKb();
    for (auto& flooder : flooders)
        flooder->timer.stop();

    EXPECT_TRUE(keeper->isRunning());
    EXPECT_FALSE(keeper->log().contains("connection lost")) << keeper->log();
    EXPECT_LE(endKb - startKb, 10 * 1024) << startKb << " kB at the start";
    for (auto& flooder : flooders) {
        EXPECT_TRUE(flooder->peer.isConnected());
        const int warnings = countTold(flooder->peer, wire(machine::kSlowDown));
        EXPECT_GE(warnings, 1);
        EXPECT_LE(warnings, 7) << "one warning in ten seconds at most";
    }
    std::sort(answersMs.begin(), answersMs.end());
    ASSERT_GE(answersMs.size(), 30u);
    EXPECT_LT(answersMs[answersMs.size() * 9 / 10], 500);
    EXPECT_LT(answersMs.back(), 2000);
    std::printf("bystander answers over %zu games: median %lld ms, max %lld ms; robot %lld -> "
                "%lld kB\n",
                answersMs.size(), answersMs[answersMs.size() / 2], answersMs.back(), startKb,
                endKb);
    expectAudited(0, "balanced=yes");
}

// The log goes where asked, each line with time, zone and level; SIGHUP reopens it (rotated away),
// takes a new pace, log level and greeting, names what needs a restart, serving on.
TEST_F(KeeperProcessTest, LogsWhereAskedAndReloadsItsConfigurationOnSighup) {
    ASSERT_NO_FATAL_FAILURE(start(true, "logfile = robot.log\nlog = debug\n"));
    const QString logPath = QDir(keeper->folder()).filePath("robot.log");
    auto logText = [&] { return QString::fromUtf8(fileBytes(logPath)); };
    ASSERT_TRUE(waitUntil([&] { return logText().contains("joined #casino"); }))
        << logText() << keeper->log();
    auto alice = registered("alice");
    ASSERT_TRUE(alice->join(kChannel));
    alice->privmsg(kKeeper, holdsLine("1,1,0"));
    ASSERT_TRUE(waitUntil([&] {
        return logText().contains("game 1 of alice (alice): holds 1,1,0");
    })) << logText();
    const QRegularExpression line(QStringLiteral(
        R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}(Z|[+-]\d\d:\d\d) (debug|info|warning|error): \S)"));
    for (const QString& text : logText().split(u'\n', Qt::SkipEmptyParts))
        EXPECT_TRUE(line.match(text).hasMatch()) << text;
    for (const char* debug : {"debug: alice joined #casino", "debug: from alice: I hold 1,1,0",
                              "debug: to alice: FINAL:"})
        EXPECT_TRUE(waitUntil([&] { return logText().contains(debug); })) << debug;

    ASSERT_TRUE(
        keeper->writeConfig("logfile = robot.log\nlog = warning\npace = 7\nidentity = account\n"));
    ASSERT_TRUE(QFile::rename(logPath, logPath + ".1")); // as logrotate does, then SIGHUP
    keeper->signal(SIGHUP);
    ASSERT_TRUE(waitUntil([&] {
        return logText().contains("changed identity: these take effect after a restart");
    })) << logText();
    EXPECT_FALSE(logText().contains("configuration reloaded")) << "an info line, below warning";
    EXPECT_TRUE(keeper->isRunning());
    // The next holds once the first game's result came: ones sent before it go unanswered.
    ASSERT_TRUE(waitUntil([&] { return countTold(*alice, kFirstHead) == 2; }));
    alice->privmsg(kKeeper, holdsLine("0,0,0"));
    ASSERT_TRUE(waitUntil([&] { return countTold(*alice, kFinalHead) == 2; }));
    EXPECT_FALSE(logText().contains("game 2 of alice")) << "game lines are info lines";
}

// The books file deleted or replaced under the running robot (once booked on into the deleted
// file): the next game is refused, the operator is told, and the robot ends with status 1.
TEST_F(KeeperProcessTest, BooksDeletedOrReplacedWhileRunningStopTheRobot) {
    for (const bool deleted : {true, false}) {
        SCOPED_TRACE(deleted ? "deleted" : "replaced by an older copy");
        ASSERT_NO_FATAL_FAILURE(start(true));
        const QString books = keeper->booksPath();
        ASSERT_TRUE(QFile::copy(books, books + ".old"));
        auto alice = registered("alice");
        ASSERT_TRUE(deleted ? QFile::remove(books)
                            : std::rename(QFile::encodeName(books + ".old").constData(),
                                          QFile::encodeName(books).constData()) == 0);
        alice->privmsg(kKeeper, holdsLine("1,0,1"));
        EXPECT_TRUE(alice->waitForPrivmsg(kKeeper, wire(kOutOfOrder)));
        EXPECT_EQ(keeper->waitForEnd(kWaitMs), 1) << keeper->log();
        EXPECT_PRED2(textContains, keeper->log(), "deleted or replaced while the books were open");
        EXPECT_EQ(countTold(*alice, kFinalHead), 0);
    }
}

// The robot killed while a new player's first draw still waited in its send queue (a line a
// second here), then started again: the draw is told first, and the next holds play it.
TEST_F(KeeperProcessTest, AFirstDrawNeverToldIsToldAfterARestartNotPlayed) {
    ASSERT_NO_FATAL_FAILURE(start(false, "pace = 1\n"));
    ASSERT_TRUE(keeper->waitForLog("joined #")) << keeper->log();
    IrcTestPeer alice("alice");
    ASSERT_TRUE(alice.connectTo(server->port()));
    alice.privmsg(kKeeper, kRegister);
    const QByteArray offer = wire(machine::kFreeGameOfferHead);
    ASSERT_TRUE(waitUntil([&] { return countTold(alice, offer) == 1; }));
    keeper->kill();
    ASSERT_EQ(countTold(alice, kFirstHead), 0) << "killed too late";
    ASSERT_TRUE(alice.waitUntilGone(kKeeper));
    ASSERT_TRUE(keeper->start());
    ASSERT_TRUE(waitUntil([&] { return keeper->log().count("joined #") == 2; })) << keeper->log();

    alice.privmsg(kKeeper, holdsLine("1,1,1"));
    ASSERT_TRUE(waitUntil([&] { return countTold(alice, kFirstHead) == 1; }));
    EXPECT_EQ(countTold(alice, kFinalHead), 0) << "played on a draw never told";
    alice.privmsg(kKeeper, holdsLine("1,1,1"));
    ASSERT_TRUE(waitUntil([&] { return countTold(alice, kFinalHead) == 1; }));
    const QByteArray first = toldTo(alice, kFirstHead).first();
    EXPECT_EQ(toldTo(alice, kFinalHead).first().mid(kFinalHead.size(), 16),
              first.mid(kFirstHead.size(), 16))
        << "all three reels held: the final draw is the first draw told";
    const qsizetype warnings = keeper->log().count("warning");
    keeper->signal(SIGHUP); // with no log file to open anew
    ASSERT_TRUE(keeper->waitForLog("configuration reloaded"));
    EXPECT_EQ(keeper->log().count("warning"), warnings) << keeper->log();
}

// A file-size limit (ulimit -f) once killed the robot with SIGXFSZ. The write past it fails, the
// game is not booked, the player is told it is out of order, the log says why; it serves on.
TEST_F(KeeperProcessTest, AFileSizeLimitMakesAGameOutOfOrderNotACrash) {
    ASSERT_NO_FATAL_FAILURE(start(true, kOperLine, [] {
        const rlimit limit{96 * 1024, 96 * 1024};
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }));
    auto alice = registered("alice");
    const auto outOfOrder = [&] { return toldTo(*alice).contains(wire(kOutOfOrder)); };
    int finals = 0;
    for (int game = 0; game < 200 && !outOfOrder(); ++game) {
        alice->privmsg(kKeeper, holdsLine("0,1,0"));
        ASSERT_TRUE(
            waitUntil([&] { return countTold(*alice, kFinalHead) > finals || outOfOrder(); }));
        finals = countTold(*alice, kFinalHead);
        runEventsFor(300); // within the robot's limit of messages a second
    }
    ASSERT_TRUE(outOfOrder()) << "the limit was never reached";
    runEventsFor(500);
    EXPECT_TRUE(keeper->isRunning()) << keeper->log();
    EXPECT_PRED2(textContains, keeper->log(), "the books did not take the last changes");
    expectAudited(0, "balanced=yes");
    // The results told are the games booked; one twice if the full disk refused its arrival mark.
    QString error;
    const auto books =
        books::SqliteBooks::open(keeper->booksPath(), &error, books::BooksPurpose::Audit);
    books::Ledger ledger;
    ASSERT_TRUE(books && books->readLedger(ledger)) << error;
    QList<QByteArray> booked;
    for (const books::LedgerGame& game : ledger.games)
        booked << wire(machine::finalDrawLine(game.finalDraw, game.creditsAfter));
    const auto once = [](QList<QByteArray> lines) {
        lines.erase(std::unique(lines.begin(), lines.end()), lines.end());
        return lines;
    };
    EXPECT_EQ(once(toldTo(*alice, kFinalHead)), once(booked));
}

// Prometheus scrapes the robot while it plays: the games it booked, its messages answered, and
// that it is connected under its own nickname, logged in to no account (this network has none).
TEST_F(KeeperProcessTest, PrometheusScrapesTheRobotsFigures) {
    PrometheusServer prometheus;
    QString error;
    if (!PrometheusServer::ensureInstalled(&error))
        GTEST_SKIP() << error;
    const QByteArray port = QByteArray::number(TestServer::freeLoopbackPort());
    ASSERT_NO_FATAL_FAILURE(start(false, kOperLine + "metrics = 127.0.0.1:" + port + "\n"));
    ASSERT_TRUE(prometheus.start(port.toUShort(), &error)) << error;
    runEventsFor(1500); // a robot running for a while, whose commits still take milliseconds
    auto alice = registered("alice");
    for (int game = 1; game <= 3; ++game) {
        alice->privmsg(kKeeper, holdsLine("1,0,1"));
        ASSERT_TRUE(waitUntil([&] { return countTold(*alice, kFinalHead) == game; }));
    }
    ASSERT_TRUE(waitUntil([&] {
        return prometheus.query("jackwell_keeper_games_booked_total") == 3.0;
    })) << prometheus.output();
    EXPECT_EQ(prometheus.query("jackwell_keeper_answer_latency_seconds_count"), 4.0);
    EXPECT_GE(prometheus.query("jackwell_keeper_book_commit_seconds_count").value_or(0), 4.0);
    EXPECT_LE(prometheus.query("max(jackwell_keeper_book_commit_seconds_bucket)"), // cumulative
              prometheus.query("jackwell_keeper_book_commit_seconds_count"));
    const auto commitMean = prometheus.query("jackwell_keeper_book_commit_seconds_sum / "
                                             "jackwell_keeper_book_commit_seconds_count");
    EXPECT_LT(commitMean.value_or(99), 1.0) << "each commit timed from its own start";
    EXPECT_EQ(prometheus.query("jackwell_keeper_connected + jackwell_keeper_nick_held"), 2.0);
    EXPECT_EQ(prometheus.query("jackwell_keeper_logged_in"), 0.0);
    EXPECT_EQ(prometheus.query("jackwell_keeper_games_refused_total"), 0.0);
}

} // namespace
} // namespace jackwell
