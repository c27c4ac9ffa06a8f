// Books on a real PostgreSQL server (a private one on loopback) that several robots share, beyond
// what every store promises: one wallet that two machines never spend twice, deliveries kept per
// machine, one robot per machine name, and a server that restarts or a network that fails.
#include "books/books_store.h"
#include "books/ledger_audit.h"
#include "books/postgres_books.h"

#include "support/book_entries.h"
#include "support/books_stores.h"
#include "support/qt_printers.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QHostAddress>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <functional>

using namespace jackwell;
using namespace jackwell::books;
using namespace jackwell::machine;
using namespace jackwell::testing;

namespace {

// Forwards connections to the server on a thread of its own (the books wait on the test's). cut()
// drops the books' end of each connection, keeping the server's open as a failed network would.
class CuttableProxy : public QTcpServer {
public:
    explicit CuttableProxy(quint16 target)
        : target_(target) {
        moveToThread(&thread_);
        thread_.start();
        onItsThread([this] { listen(QHostAddress::LocalHost, 0); });
    }
    ~CuttableProxy() override {
        onItsThread([this] {
            close();
            qDeleteAll(findChildren<QTcpSocket*>());
        });
        thread_.quit();
        thread_.wait();
    }
    // The next COMMIT goes through, and the connection it came on is cut before its answer.
    void cutAtCommitAnswer() {
        onItsThread([this] { cutAtCommit_ = true; });
    }
    void cut() {
        onItsThread([this] { cutNow(); });
    }

private:
    void cutNow() {
        for (QTcpSocket* client : std::exchange(clients_, {})) {
            client->disconnect();
            client->abort();
        }
    }
    void onItsThread(const std::function<void()>& work) {
        QMetaObject::invokeMethod(this, work, Qt::BlockingQueuedConnection);
    }
    void incomingConnection(qintptr descriptor) override {
        auto* client = new QTcpSocket(this);
        client->setSocketDescriptor(descriptor);
        auto* upstream = new QTcpSocket(this);
        upstream->connectToHost(QHostAddress::LocalHost, target_);
        connect(client, &QTcpSocket::readyRead, upstream, [this, client, upstream] {
            const QByteArray bytes = client->readAll();
            if (cutAtCommit_ && bytes.contains("COMMIT"))
                committing_ = std::exchange(cutAtCommit_, false);
            upstream->write(bytes);
        });
        connect(upstream, &QTcpSocket::readyRead, client, [this, client, upstream] {
            const QByteArray bytes = upstream->readAll();
            if (std::exchange(committing_, false))
                return cutNow();
            if (client->state() == QAbstractSocket::ConnectedState)
                client->write(bytes);
        });
        clients_ << client;
    }

    quint16 target_;
    QThread thread_;
    QList<QTcpSocket*> clients_;
    bool cutAtCommit_ = false;
    bool committing_ = false;
};

using PostgresBooksTest = StoreTest<PostgresStore>;

TEST_F(PostgresBooksTest, TheTablesAreMadeOnFirstUseAndCarryTheirVersion) {
    QString error;
    EXPECT_FALSE(open({}, BooksPurpose::Audit, &error)) << "an audit makes no books";
    EXPECT_EQ(error, address().text() + ": no books there (a robot makes them on its first start "
                                        "there, or jackwell-keeper --init CONFIG)");
    // The server refuses the new books at their COMMIT: none are made, and its reason is named.
    ASSERT_TRUE(sql(
        "CREATE FUNCTION refuse() RETURNS trigger LANGUAGE plpgsql AS $$BEGIN RAISE 'disk full';"
        " END$$; CREATE FUNCTION arm() RETURNS event_trigger LANGUAGE plpgsql AS $$BEGIN CREATE"
        " CONSTRAINT TRIGGER refuse AFTER INSERT ON jackwell.books DEFERRABLE INITIALLY DEFERRED"
        " FOR EACH ROW EXECUTE FUNCTION public.refuse(); END$$; CREATE EVENT TRIGGER arm ON"
        " ddl_command_end WHEN TAG IN ('CREATE INDEX') EXECUTE FUNCTION arm()"));
    EXPECT_FALSE(open(kMachine, BooksPurpose::Serve, &error));
    EXPECT_EQ(error, address().text() + ": ERROR:  disk full");
    // ... or at one of their statements.
    ASSERT_TRUE(sql("CREATE FUNCTION deny() RETURNS event_trigger LANGUAGE plpgsql AS $$BEGIN RAISE"
                    " 'no room'; END$$; CREATE EVENT TRIGGER deny ON ddl_command_end WHEN TAG IN"
                    " ('CREATE TABLE') EXECUTE FUNCTION deny()"));
    EXPECT_FALSE(open(kMachine, BooksPurpose::Serve, &error));
    EXPECT_EQ(error, address().text() + ": ERROR:  no room");
    sql("DROP EVENT TRIGGER arm; DROP EVENT TRIGGER deny");

    auto books = opened();
    EXPECT_TRUE(log_.contains("made new books in " + address().text())) << log_.join('\n');
    for (const BooksMaking making : {BooksMaking::FirstRun, BooksMaking::Always}) // never anew
        EXPECT_EQ(makeKeeperBooks(address().text(), clock_, making, {}, &error),
                  making == BooksMaking::FirstRun);
    EXPECT_TRUE(error.endsWith("books are kept there already; new books are made only where "
                               "there are none"))
        << error;
    ASSERT_TRUE(books->save("alice", registeredPlayer()));
    books.reset();

    // Books of version 1 are brought up by the first robot to serve them; refused, it serves none.
    ASSERT_TRUE(sql("ALTER TABLE jackwell.players DROP COLUMN untold_draw; DELETE FROM"
                    " jackwell.books; INSERT INTO jackwell.books (version) VALUES (1); CREATE EVENT"
                    " TRIGGER deny ON ddl_command_end EXECUTE FUNCTION deny()"));
    EXPECT_FALSE(open(kMachine, BooksPurpose::Serve, &error)) << "not while the server refuses";
    EXPECT_EQ(error, address().text() + ": ERROR:  no room");
    sql("DROP EVENT TRIGGER deny");
    books = opened();
    const auto delivery = books->delivery("alice");
    ASSERT_TRUE(delivery) << books->lastError();
    EXPECT_FALSE(delivery->firstDrawUntold) << "older books knew nothing of it";
    books.reset();
    ASSERT_TRUE(sql("CREATE TRIGGER refuse BEFORE INSERT ON jackwell.machines FOR EACH ROW"
                    " EXECUTE FUNCTION public.refuse()"));
    EXPECT_FALSE(open(kMachine, BooksPurpose::Serve, &error)) << "the machine not noted down";
    EXPECT_EQ(error, address().text() + ": ERROR:  disk full");

    sql("DROP TRIGGER refuse ON jackwell.machines; UPDATE jackwell.books SET version = 3");
    EXPECT_FALSE(open({}, BooksPurpose::Serve, &error));
    EXPECT_EQ(error, address().text() + ": the books were made by a newer jackwell-keeper "
                                        "(version 3)");
    // Books of another login, which this one may not read.
    sql(QStringLiteral(
            "SET client_min_messages = warning; DROP SCHEMA jackwell CASCADE; CREATE"
            " SCHEMA jackwell AUTHORIZATION %1; CREATE TABLE jackwell.books (version int)")
            .arg(PostgresServer::kUser));
    EXPECT_FALSE(open({}, BooksPurpose::Audit, &error));
    EXPECT_TRUE(error.endsWith("permission denied for table books")) << error;
}

// Two machines read one player at once: the second to book finds the row changed, books nothing.
TEST_F(PostgresBooksTest, TwoMachinesNeverSpendACreditTwice) {
    auto rivet = opened(QStringLiteral("rivet@irc.test"));
    auto bolt = opened(QStringLiteral("bolt@irc.test"));

    ASSERT_EQ(rivet->load("alice"), PlayerRecord{});
    ASSERT_EQ(bolt->load("alice"), PlayerRecord{});
    ASSERT_TRUE(rivet->save("alice", registeredPlayer({1, 2, 3})));
    EXPECT_FALSE(bolt->save("alice", registeredPlayer({4, 5, 6})))
        << "a second first record would hand out a second free game";
    EXPECT_TRUE(bolt->changedElsewhere());
    EXPECT_EQ(bolt->load("alice"), registeredPlayer({1, 2, 3}));

    const PlayerRecord start = *rivet->load("alice");
    ASSERT_EQ(bolt->load("alice"), start);
    const auto [outcome, after] = nextGame(start, {true, false, false}, {1, 9, 9}, {2, 2, 2});
    ASSERT_TRUE(rivet->commitGame("alice", outcome, after));
    EXPECT_TRUE(!bolt->commitGame("alice", outcome, after) && bolt->changedElsewhere());
    EXPECT_PRED2(textContains, bolt->lastError(), "changed on another machine");

    // Read again, the next game is the second machine's to book.
    const PlayerRecord now = *bolt->load("alice");
    EXPECT_EQ(now, after);
    const auto [second, afterSecond] = nextGame(now, {false, true, false}, {5, 2, 7}, {3, 3, 3});
    ASSERT_TRUE(rivet->beginBatch() && rivet->delivery("alice")); // her row read along
    ASSERT_TRUE(rivet->commitBatch());
    ASSERT_TRUE(bolt->commitGame("alice", second, afterSecond));
    EXPECT_FALSE(bolt->changedElsewhere());
    EXPECT_EQ(rivet->load("alice"), afterSecond) << "the row read along is gone with its batch";

    Ledger ledger;
    ASSERT_TRUE(rivet->readLedger(ledger));
    ASSERT_EQ(ledger.games.size(), 2u);
    EXPECT_EQ(ledger.games[0].machine, "rivet@irc.test");
    EXPECT_EQ(ledger.games[1].machine, "bolt@irc.test");
    EXPECT_EQ(ledger.games[1].game, 2) << "numbered per player across machines";
    EXPECT_TRUE(auditLedger(ledger).balanced());
    ASSERT_TRUE(sql("ALTER TABLE jackwell.grants RENAME TO gone"));
    EXPECT_FALSE(rivet->readLedger(ledger));
    EXPECT_TRUE(rivet->lastError().startsWith("cannot read the grants: ")) << rivet->lastError();
}

// A result is delivered once any machine delivered it; another machine's result is left to it
// for a while, and told again here once it has had its time or its machine has stopped.
TEST_F(PostgresBooksTest, DeliveriesAreKeptPerMachine) {
    auto rivet = opened(QStringLiteral("rivet@irc.test"));
    auto bolt = opened(QStringLiteral("bolt@irc.test"));
    const PlayerRecord start = registeredPlayer();
    ASSERT_TRUE(rivet->load("alice"));
    ASSERT_TRUE(rivet->save("alice", start));
    ASSERT_TRUE(rivet->load("alice"));
    const auto [outcome, after] = nextGame(start, {}, {8, 9, 10}, {8, 9, 10});
    ASSERT_TRUE(rivet->commitGame("alice", outcome, after));

    const auto own = rivet->delivery("alice");
    ASSERT_TRUE(own);
    EXPECT_EQ(std::pair(own->lastGame, own->deliveredGame), std::pair(1LL, 0LL));
    EXPECT_EQ(own->lastOutcome, outcome);
    EXPECT_FALSE(own->onItsWayElsewhere) << "its own result: told again when undelivered";
    const auto other = bolt->delivery("alice");
    ASSERT_TRUE(other);
    EXPECT_TRUE(other->onItsWayElsewhere) << "another machine's result, just booked";

    sql("UPDATE jackwell.games SET played_at = now() - interval '1 minute'");
    EXPECT_FALSE(bolt->delivery("alice")->onItsWayElsewhere) << "given up on: told again here";
    sql("UPDATE jackwell.games SET played_at = now()");

    // The server lets go of a closed session's lock a moment after the close.
    rivet.reset();
    bool leftToTheGone = true;
    for (int look = 0; look < 200 && leftToTheGone; ++look, QThread::msleep(10))
        leftToTheGone = bolt->delivery("alice")->onItsWayElsewhere;
    EXPECT_FALSE(leftToTheGone) << "its robot stopped: told again here at once";
    rivet = opened("rivet@irc.test");
    EXPECT_FALSE(bolt->delivery("alice")->onItsWayElsewhere)
        << "its robot started again: the one that booked it is not telling it";

    ASSERT_TRUE(rivet->markDelivered({{"alice", 1}}));
    ASSERT_TRUE(bolt->markDelivered({{"alice", 0}}));
    EXPECT_EQ(bolt->delivery("alice")->deliveredGame, 1) << "delivered by any machine";
}

// One robot per machine name: a second is refused while the first serves, audits read beside it.
// One taking the books while the first could not reach them ends the first: it takes no more games.
TEST_F(PostgresBooksTest, OneRobotPerMachineName) {
    auto rivet = opened(QStringLiteral("rivet@irc.test"));
    QString error;
    EXPECT_FALSE(open("rivet@irc.test", BooksPurpose::Serve, &error));
    EXPECT_EQ(error,
              address().text() + ": another robot named rivet@irc.test keeps these books already");
    EXPECT_TRUE(open("rivet@irc.other")) << "the same nickname elsewhere";
    EXPECT_TRUE(open({}, BooksPurpose::Audit)) << "an audit reads beside a running robot";
    rivet.reset();
    rivet = opened("rivet@irc.test"); // free once the first has gone

    server_->stop();
    ASSERT_TRUE(server_->start(&error)) << error;
    auto other = opened(QStringLiteral("rivet@irc.test"));
    EXPECT_TRUE(!rivet->load("alice") && rivet->failedForGood());
    EXPECT_PRED2(textContains, rivet->lastError(), "another robot named rivet@irc.test");
    const QString one = "DO $$BEGIN IF (SELECT count(*) FROM pg_stat_activity WHERE "
                        "application_name = 'jackwell-keeper') > 1 THEN RAISE '2'; END IF; END$$";
    for (int look = 0; look < 200 && !server_->exec(database_, one, &error); ++look)
        QThread::msleep(10); // the session it opened to learn that ends a moment after it
    EXPECT_TRUE(server_->exec(database_, one, &error)) << error;
    EXPECT_TRUE(other->load("alice"));
}

// Books on a primary with a standby listed before it: the servers are tried in turn, one not there
// passed by; with target_session_attrs=read-write a standby not yet promoted does not serve.
TEST_F(PostgresBooksTest, ServersAreTriedInTurnAndOnlyOneThatTakesWritesServes) {
    QTcpServer closed;
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost, 0));
    const quint16 gone = closed.serverPort();
    closed.close();
    PostgresServer standby(PostgresServer::Options{false});
    QString error;
    ASSERT_TRUE(standby.start(&error)) << error;
    PostgresAddress listed = address(gone);
    ASSERT_TRUE(standby.createDatabase(listed.database, &error)) << error;
    for (const char* statement :
         {"ALTER SYSTEM SET default_transaction_read_only = on", "SELECT pg_reload_conf()"})
        ASSERT_TRUE(standby.exec(listed.database, statement, &error)) << error;
    listed.others = {{PostgresServer::kHost, standby.port()},
                     {PostgresServer::kHost, address().port}};
    listed.targetSessionAttrs = "read-write";
    PostgresBooks::Options options;
    options.machine = kMachine;
    auto books = PostgresBooks::open(listed, clock_, options, &error);
    ASSERT_TRUE(books) << error;
    EXPECT_TRUE(books->save("alice", registeredPlayer()));
    listed.targetSessionAttrs.clear(); // any server: the standby is taken, and cannot serve
    EXPECT_FALSE(PostgresBooks::open(listed, clock_, options, &error));
    listed.others.clear(); // the one that is gone alone: the client library's lines, joined
    EXPECT_FALSE(PostgresBooks::open(listed, clock_, options, &error));
    EXPECT_PRED2(textContains, error, QString("port %1 failed: Connection refused; Is").arg(gone));
}

// A server restarted while the books were idle: the next call reopens the connection, unnoticed.
TEST_F(PostgresBooksTest, AServerRestartedUnderTheBooksIsReconnected) {
    auto books = opened();
    ASSERT_TRUE(books->save("alice", registeredPlayer()));
    server_->stop();
    EXPECT_FALSE(books->load("alice"));
    EXPECT_TRUE(books->lastError().startsWith("no connection to the books at " + address().text()))
        << books->lastError();
    EXPECT_FALSE(books->failedForGood());
    for (const int pause : {500, 1000, 2000, 4000}) { // tried again in vain: the pause doubles
        clock_.advance(pause);
        EXPECT_FALSE(books->load("alice"));
    }
    QString error;
    ASSERT_TRUE(server_->start(&error)) << error;
    EXPECT_FALSE(books->load("alice")) << "not tried again before its pause is over";
    clock_.advance(4999);
    EXPECT_FALSE(books->load("alice")) << "the pause did not double up to five seconds";
    clock_.advance(1);
    EXPECT_EQ(books->load("alice"), registeredPlayer());
    const QRegularExpression lostAndBack("^lost the connection |^connected to the books at " +
                                         QRegularExpression::escape(address().text()) + " again$");
    EXPECT_EQ(log_.filter(lostAndBack).size(), 2) << log_.join('\n'); // once each

    // Restarted between two calls: the call after it is served at once.
    server_->kill();
    ASSERT_TRUE(server_->start(&error)) << error;
    const PlayerRecord start = *books->load("alice");
    const auto [outcome, after] = nextGame(start, {true, true, true}, {3, 3, 14}, {1, 2, 3});
    EXPECT_TRUE(books->commitGame("alice", outcome, after)) << books->lastError();
    QString refused;
    EXPECT_FALSE(open("rivet@irc.test", BooksPurpose::Serve, &refused))
        << "the new connection holds the machine's name again";
    EXPECT_TRUE(books->audit().balanced());
}

// A network that failed leaves the server holding the session, and its lock on the machine's
// name, for a long while. The robot's own lost session is ended and the name taken back.
TEST_F(PostgresBooksTest, ItsOwnLostSessionDoesNotKeepTheRobotOut) {
    CuttableProxy proxy(server_->port());
    auto books = opened("rivet@irc.test", BooksPurpose::Serve, nullptr, proxy.serverPort());
    ASSERT_TRUE(books->save("alice", registeredPlayer()));
    proxy.cut();
    EXPECT_EQ(books->load("alice"), registeredPlayer()) << books->lastError();
    EXPECT_TRUE(log_.contains("ended this robot's earlier session with the books, which the "
                              "server still kept"))
        << log_.join('\n');
}

// The server is gone between a batch's start and its first change, and a read in between found
// out: the change cannot be made, and says so, instead of being taken as made by nothing.
TEST_F(PostgresBooksTest, AChangeInABatchWithTheServerGoneIsNotTakenAsMade) {
    auto proxy = std::make_unique<CuttableProxy>(server_->port());
    auto books = open(kMachine, BooksPurpose::Serve, nullptr, proxy->serverPort());
    ASSERT_TRUE(books && books->beginBatch());
    proxy.reset(); // nothing answers there any more
    EXPECT_FALSE(books->load("alice") || books->save("alice", registeredPlayer()));
    books->rollbackBatch();
}

// The connection is cut after a change's (or a batch's) COMMIT reached the server, before its
// answer: the books look on a new connection, and the change counts as made, since it was.
TEST_F(PostgresBooksTest, ACommitWhoseAnswerWasLostIsLookedUp) {
    CuttableProxy proxy(server_->port());
    auto books = opened(kMachine, BooksPurpose::Serve, nullptr, proxy.serverPort());
    proxy.cutAtCommitAnswer();
    ASSERT_TRUE(books->save("alice", registeredPlayer())) << books->lastError();
    const auto [outcome, after] =
        nextGame(*books->load("alice"), {true, false, true}, {1, 2, 3}, {4, 5, 6});
    proxy.cutAtCommitAnswer();
    QElapsedTimer looking;
    looking.start();
    EXPECT_TRUE(books->commitGame("alice", outcome, after)) << books->lastError();
    EXPECT_LT(looking.elapsed(), 900) << "the first look waits for nothing";
    EXPECT_FALSE(books->outcomeUnknown());
    EXPECT_EQ(books->load("alice"), after);
    sql("DO $$BEGIN IF NOT EXISTS (SELECT FROM jackwell.games WHERE final_draw = '01,02,03') THEN "
        "RAISE 'codes'; END IF; END$$"); // as every robot sharing the books writes and finds them
    // A batch is looked up by its changes: all of it was kept, or none.
    const auto [second, afterSecond] = nextGame(after, {}, {7, 7, 7}, {1, 1, 1});
    ASSERT_TRUE(books->beginBatch());
    ASSERT_TRUE(books->save("bob", registeredPlayer()));
    ASSERT_TRUE(books->commitGame("alice", second, afterSecond));
    proxy.cutAtCommitAnswer();
    EXPECT_TRUE(books->commitBatch()) << books->lastError();
    EXPECT_EQ(books->load("alice"), afterSecond);
    EXPECT_EQ(log_.count("a change whose commit went unanswered was kept"), 3) << log_.join('\n');
    // A batch whose COMMIT was lost on its way is found not kept: not booked, and known not to be.
    // (Not by what a batch given up before it held, carol's save, since made on its own.)
    ASSERT_TRUE(books->beginBatch() && books->save("carol", registeredPlayer()));
    books->rollbackBatch();
    ASSERT_TRUE(books->save("carol", registeredPlayer()));
    const auto [lost, afterLost] = nextGame(afterSecond, {}, {5, 5, 5}, {3, 3, 3});
    ASSERT_TRUE(books->beginBatch() && books->commitGame("alice", lost, afterLost));
    proxy.cut();
    EXPECT_FALSE(books->commitBatch() || books->outcomeUnknown()) << books->lastError();
    EXPECT_TRUE(log_.contains("a change whose commit went unanswered was not kept"));
    // A batch whose COMMIT the server refuses is not booked, and says so.
    tamper("CREATE FUNCTION late() RETURNS trigger LANGUAGE plpgsql AS $$BEGIN RAISE EXCEPTION "
           "'disk trouble'; END$$; CREATE CONSTRAINT TRIGGER late AFTER INSERT ON games "
           "DEFERRABLE INITIALLY DEFERRED FOR EACH ROW EXECUTE FUNCTION late()");
    const auto [third, afterThird] = nextGame(afterSecond, {}, {2, 2, 2}, {3, 3, 3});
    ASSERT_TRUE(books->beginBatch() && books->commitGame("alice", third, afterThird));
    EXPECT_FALSE(books->commitBatch());
    EXPECT_EQ(books->load("alice"), afterSecond);
}

// A robot frozen mid-change holds the row: another machine waits a moment, then errs, not stalling.
TEST_F(PostgresBooksTest, ARowHeldTooLongIsGivenUpOn) {
    auto books = opened();
    ASSERT_TRUE(books->save("alice", registeredPlayer()));
    QSqlDatabase db = QSqlDatabase::addDatabase("QPSQL", "holder");
    {
        db.setHostName(PostgresServer::kHost);
        db.setPort(server_->port());
        db.setDatabaseName(database_);
        db.setUserName(PostgresServer::kUser);
        ASSERT_TRUE(db.open()) << db.lastError().text();
        QSqlQuery hold(db);
        ASSERT_TRUE(hold.exec("BEGIN"));
        ASSERT_TRUE(hold.exec("SELECT * FROM jackwell.players WHERE name = 'alice' FOR UPDATE"));
        const PlayerRecord start = *books->load("alice");
        const auto [outcome, after] = nextGame(start, {}, {1, 1, 1}, {2, 2, 2});
        EXPECT_FALSE(books->commitGame("alice", outcome, after) || books->changedElsewhere());
        EXPECT_PRED2(textContains, books->lastError(), "lock timeout");
        EXPECT_TRUE(log_.filter("lost").isEmpty()) << "a refusal, not a lost connection";
        ASSERT_TRUE(hold.exec("ROLLBACK"));
        EXPECT_TRUE(books->commitGame("alice", outcome, after)) << "nothing was left half done";
        db.close();
    }
    db = QSqlDatabase();
    QSqlDatabase::removeDatabase("holder");
}

TEST(PostgresAddress, ReadsWhatTheConfigurationSays) {
    const QString shape = ": postgresql://USER@HOST:PORT/DATABASE";
    const QString options = QStringLiteral(
        "the address of the books takes only sslmode "
        "(disable|allow|prefer|require|verify-ca|verify-full), sslrootcert (an absolute path) and "
        "target_session_attrs (read-write|primary|any) after its database");
    const QString more = QStringLiteral("the address of the books must read "
                                        "postgresql://USER@HOST:PORT/DATABASE, with more servers "
                                        "as HOST:PORT,HOST:PORT");
    const QString password = QStringLiteral(
        "the address of the books holds a password; put it in ~/.pgpass or PGPASSWORD instead");
    const QString database = "the address of the books needs a database" + shape;
    const auto at = [](QString host, int port, QList<PostgresAddress::Server> others = {}) {
        return PostgresAddress{"keeper", host, port, "casino", {}, {}, others, {}};
    };
    const std::tuple<const char*, std::optional<PostgresAddress>, QString> cases[] = {
        {"postgresql://keeper@db.example.net:5433/casino", at("db.example.net", 5433), {}},
        {"postgres://keeper@10.0.0.7/casino", at("10.0.0.7", 5432), {}},
        {"postgresql://keeper@db/casino?sslmode=verify-full&sslrootcert=/etc/ssl/db.pem&"
         "target_session_attrs=read-write",
         PostgresAddress{
             "keeper", "db", 5432, "casino", "verify-full", "/etc/ssl/db.pem", {}, "read-write"},
         {}},
        {"postgresql://keeper@primary:5432,standby:1,[::1]/casino", // the lowest port
         at("primary", 5432, {{"standby", 1}, {"::1", 5432}}),
         {}},
        {"postgresql://keeper@primary,/casino", std::nullopt, more},
        {"postgresql://keeper@primary,standby:0/casino", std::nullopt, more},
        {"postgresql://keeper@primary,standby/casino?target_session_attrs=read-only", std::nullopt,
         options},
        {"postgresql://keeper:s3cret@db/casino", std::nullopt, password},
        {"postgresql://keeper:@db/casino", std::nullopt, password},
        {"postgresql://db/casino", std::nullopt,
         "the address of the books needs a user name" + shape},
        {"postgresql://keeper@db", std::nullopt, database},
        {"postgresql://keeper@primary,standby", std::nullopt, database},
        {"postgresql://keeper@primary:5432,standby:5433", std::nullopt, database},
        {"postgresql://keeper@db/casino/more", std::nullopt, database},
        {"postgresql://keeper@/casino", std::nullopt,
         "the address of the books needs a host" + shape},
        {"postgresql://keeper@db:1/casino", at("db", 1), {}},
        {"postgresql://keeper@db:0/casino", std::nullopt,
         "the port of the books' server must be 1 to 65535"},
        {"postgresql://keeper@db:99999/casino", std::nullopt,
         "the address of the books must read postgresql://USER@HOST:PORT/DATABASE"},
        {"postgresql://keeper@db/casino?options=-c%20x=y", std::nullopt, options},
        {"postgresql://keeper@db/casino?sslmode=sometimes", std::nullopt, options},
        {"postgresql://keeper@db/casino?sslrootcert=db.pem", std::nullopt, options},
    };
    for (const auto& [text, expected, expectedError] : cases) {
        QString error;
        EXPECT_EQ(parsePostgresAddress(QString::fromUtf8(text), &error), expected) << text;
        EXPECT_EQ(error, expectedError) << text;
    }
    QString error; // names as long as the server keeps them, 63 characters
    EXPECT_FALSE(parsePostgresAddress("postgresql://keeper@db/" + QString(64, u'c'), &error));
    EXPECT_EQ(parsePostgresAddress("postgres://keeper@10.0.0.7/casino", &error)->text(),
              "postgresql://keeper@10.0.0.7:5432/casino");
    EXPECT_EQ(parsePostgresAddress("postgres://keeper@a,b:5433/casino", &error)->text(),
              "postgresql://keeper@a:5432,b:5433/casino");
}

} // namespace
