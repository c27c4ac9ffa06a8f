// Robots as processes of their own on one IRC server, sharing their books on a private PostgreSQL
// server: one player on two machines at once, and a robot killed while it books. The player's
// credits equal the ledger, every result told is booked and every game booked is told.
#include "books/books_store.h"
#include "keeper/keeper_resent_holds.h"

#include "support/keeper_process.h"
#include "support/keeper_robot_rig.h"
#include "support/postgres_server.h"

#include <QSet>

#include <map>

namespace jackwell {
namespace {

using namespace jackwell::testing;

const QByteArray kRivet2 = "Rivet2";

class SharedBooksProcessTest : public ::testing::Test {
protected:
    void SetUp() override {
        QString error;
        if (!PostgresServer::ensureInstalled(&error))
            GTEST_SKIP() << "PostgreSQL is not installed here: " << error;
        ASSERT_TRUE(database_.start(&error)) << error;
        qputenv("PGPASSWORD", PostgresServer::kPassword.toUtf8());
        ASSERT_TRUE(irc_.start(&error)) << error;
    }

    std::unique_ptr<KeeperProcess> startRobot(const QByteArray& nick) {
        auto robot = std::make_unique<KeeperProcess>(irc_.port());
        robot->setNick(nick);
        robot->setBooks(database_.address().toUtf8());
        robot->setEnvironment(database_.environment());
        EXPECT_TRUE(robot->writeConfig(kOperLine) && robot->start());
        EXPECT_TRUE(robot->waitForLog("lines a second")) << robot->log();
        return robot;
    }

    // Starts the robot again, and waits until this start (not the last) has it speaking.
    static bool restart(KeeperProcess& robot) {
        const auto starts = robot.log().count(QStringLiteral("lines a second"));
        return robot.start() &&
               waitUntil([&] { return robot.log().count("lines a second") > starts; });
    }

    // The books as an audit reads them beside the robots.
    std::unique_ptr<books::KeeperBooks> readBooks() {
        QString error;
        auto books = books::openKeeperBooks(database_.address(), clock_,
                                            {books::BooksPurpose::Audit, {}, {}}, &error);
        EXPECT_TRUE(books) << error;
        return books;
    }

    // True when the player's last booked game is known to have reached them.
    bool lastResultDelivered(const QString& player) {
        const auto delivery = readBooks()->delivery(player);
        return delivery && delivery->deliveredGame >= delivery->lastGame;
    }

    // The first draw waiting for the player's holds, as the robots tell it.
    QByteArray waitingFirstDraw(const QString& player) {
        const auto record = readBooks()->load(player);
        return record && record->pendingFirstDraw
                   ? wire(machine::firstDrawLine(*record->pendingFirstDraw))
                   : QByteArray();
    }

    // The result lines of the player's booked games, in order, and the audit of the books.
    QList<QByteArray> bookedResults(const QString& player, books::BooksAudit* audit) {
        books::Ledger ledger;
        EXPECT_TRUE(readBooks()->readLedger(ledger));
        *audit = books::auditLedger(ledger);
        QList<QByteArray> results;
        for (const books::LedgerGame& game : ledger.games) {
            if (game.player == player) {
                results << wire(machine::finalDrawLine(game.finalDraw, game.creditsAfter));
                machines_.insert(game.machine);
            }
        }
        return results;
    }

    PostgresServer database_;
    // A robot that does not answer the server's PINGs within seconds is dropped.
    NgircdServer irc_{{.pingTimeoutSeconds = 3,
                       .pongTimeoutSeconds = 3,
                       .operName = kOperName,
                       .operPassword = kOperPassword}};
    RealClock clock_;
    QSet<QString> machines_;
};

// One player registers with two robots and sends each game's holds to both at once; halfway, one
// is killed (SIGKILL) right after the holds reached it, and started again. Each game is booked by
// one of them from the credits the last left: the books balance, and what was told was booked.
TEST_F(SharedBooksProcessTest, OnePlayerOnTwoMachinesAtOnceNeverSpendsACreditTwice) {
    auto rivet = startRobot(kKeeper);
    auto rivet2 = startRobot(kRivet2);
    ASSERT_TRUE(rivet->isRunning() && rivet2->isRunning());
    IrcTestPeer player("hammer");
    ASSERT_TRUE(player.connectTo(irc_.port()));
    const auto finalsTold = [&] {
        return player.privmsgsFrom(kKeeper, kFinalHead) + player.privmsgsFrom(kRivet2, kFinalHead);
    };

    constexpr int kRounds = 16;
    int holdsSent = 0;
    for (int round = 0; round < kRounds; ++round) {
        // Holds wait while another machine's result is on its way, until it is known delivered.
        ASSERT_TRUE(waitUntil([&] { return lastResultDelivered("hammer"); })) << "round " << round;
        // Both robots tell the waiting first draw (the robot that booked the last game tells its
        // result first, should it not have reached the player). Holds of the last round that
        // one robot plays late change it: a robot whose answer is out of date is asked again.
        std::map<QByteArray, qsizetype> asked;
        for (const QByteArray& robot : {kKeeper, kRivet2}) {
            asked[robot] = player.privmsgsFrom(robot, kFirstHead).size();
            player.privmsg(robot, kRegister);
        }
        ASSERT_TRUE(waitUntil([&] {
            const QByteArray waiting = waitingFirstDraw("hammer");
            bool current = lastResultDelivered("hammer");
            for (const QByteArray& robot : {kKeeper, kRivet2}) {
                const auto firsts = player.privmsgsFrom(robot, kFirstHead);
                if (firsts.size() <= asked[robot]) {
                    current = false;
                } else if (firsts.last() != waiting) {
                    current = false;
                    asked[robot] = firsts.size();
                    player.privmsg(robot, kRegister);
                }
            }
            return current;
        })) << "round "
            << round << ": " << player.rawLines().join('\n');

        // A person looks at the draw first (the same holds at once pass for a crossing copy).
        runEventsFor(keeper::KeeperResentHolds::kCrossingMs);
        const auto finals = finalsTold().size();
        // Mostly the same holds go to both at once, in turns first; now and then to one alone.
        if (round % 4 == 1) {
            player.privmsg(kRivet2, holdsLine("0,1,1"));
        } else if (round % 4 == 3) {
            player.privmsg(kKeeper, holdsLine("0,1,1"));
        } else {
            player.privmsg(round % 2 ? kRivet2 : kKeeper, holdsLine("1,0,1"));
            player.privmsg(round % 2 ? kKeeper : kRivet2, holdsLine("0,1,1"));
            ++holdsSent;
        }
        ++holdsSent;
        if (round == kRounds / 2) {
            rivet->kill();
            // Started again once the server has let go of the killed robot's name, to get it back.
            ASSERT_TRUE(player.waitUntilGone(kKeeper));
            ASSERT_TRUE(restart(*rivet)) << rivet->log();
        } else {
            ASSERT_TRUE(waitUntil([&] { return finalsTold().size() > finals; }))
                << "round " << round << ": " << player.rawLines().join('\n');
        }
    }
    // A last visit to both collects any result still owed.
    player.privmsg(kKeeper, kRegister);
    player.privmsg(kRivet2, kRegister);
    runEventsFor(1500);
    rivet->stop();
    rivet2->stop();

    books::BooksAudit audit;
    const QList<QByteArray> booked = bookedResults("hammer", &audit);
    EXPECT_TRUE(audit.balanced()) << audit.faults.join('\n');
    // Holds reaching the second robot late may play the next draw, never more games than sent.
    EXPECT_GE(booked.size(), kRounds - 1); // the game sent to the killed robot may be lost
    EXPECT_LE(booked.size(), holdsSent);
    const QList<QByteArray> told = finalsTold();
    EXPECT_EQ(QSet<QByteArray>(told.begin(), told.end()),
              QSet<QByteArray>(booked.begin(), booked.end()))
        << "told:\n"
        << told.join('\n') << "\nbooked:\n"
        << booked.join('\n');
    EXPECT_EQ(machines_, (QSet<QString>{"rivet@127.0.0.1", "rivet2@127.0.0.1"}));

    QString output;
    EXPECT_EQ(rivet->run({"--audit", database_.address()}, &output), 0) << output;
    EXPECT_TRUE(output.contains("balanced=yes")) << output;
    EXPECT_FALSE(readBooks()->save("auditor", machine::PlayerRecord{})) << "audits only read";
}

// The books' server stops (SIGSTOP) for twenty seconds while a game is on its way to it: the
// robot stays connected, another player is answered meanwhile (nothing was booked for him), the
// statement of the player whose game stalled is cut short, and she is told what the books hold.
TEST_F(SharedBooksProcessTest, ABooksServerThatStopsStallsNobody) {
    auto rivet = startRobot(kKeeper);
    IrcTestPeer alice("alice");
    IrcTestPeer bob("bob");
    ASSERT_TRUE(alice.connectTo(irc_.port()) && bob.connectTo(irc_.port()));
    alice.privmsg(kKeeper, kRegister);
    ASSERT_TRUE(waitUntil([&] { return countTold(alice, kFirstHead) == 1; }));
    const QByteArray outOfOrder = wire(machine::kOutOfOrder);
    database_.freeze(true);
    alice.privmsg(kKeeper, holdsLine("1,0,1"));
    bob.privmsg(kKeeper, kRegister);
    const bool bobAnswered = waitUntil([&] { return countTold(bob, outOfOrder) == 1; }, 15000);
    runEventsFor(5000);
    // Her statement was cut short: the robot dropped the sleeping server's connection, not waiting.
    const bool letGo = rivet->log().contains("lost the connection to the books");
    database_.freeze(false);
    ASSERT_TRUE(bobAnswered) << rivet->log();
    EXPECT_TRUE(letGo) << rivet->log();
    EXPECT_FALSE(rivet->log().contains("connection lost")) << rivet->log();
    // Whatever became of alice's game, she is told, and then plays on.
    ASSERT_TRUE(waitUntil(
        [&] { return countTold(alice, kFinalHead) + countTold(alice, outOfOrder) == 1; }));
    const int finals = countTold(alice, kFinalHead);
    alice.privmsg(kKeeper, holdsLine("1,0,1"));
    ASSERT_TRUE(waitUntil([&] { return countTold(alice, kFinalHead) > finals; })) << rivet->log();
    books::BooksAudit audit;
    EXPECT_EQ(bookedResults("alice", &audit), toldTo(alice, kFinalHead));
    EXPECT_TRUE(audit.balanced()) << audit.faults.join('\n');
}

} // namespace
} // namespace jackwell
