// The machinekeeper's books on disk: what survives closing and opening again, that a game is
// booked whole or not at all and never twice, and that the audit finds books that do not add up.
#include "keeper/ledger_audit.h"
#include "keeper/sqlite_books.h"
#include "machine/machine_keeper.h"

#include "support/qt_printers.h"
#include "support/wait_until.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <functional>

#include <cstdio>

using namespace jackwell::keeper;
using namespace jackwell::machine;

namespace {

class SqliteBooksTest : public ::testing::Test {
protected:
    QString path() const { return dir_.filePath(QStringLiteral("books.sqlite")); }

    std::unique_ptr<SqliteBooks> openBooks() {
        QString error;
        auto books = QFileInfo::exists(path()) ? SqliteBooks::open(path(), &error)
                                               : SqliteBooks::create(path(), &error);
        EXPECT_TRUE(books) << error.toStdString();
        return books;
    }

    // Changes the file behind the books' back, as a damaged disk or a careless hand would.
    void tamper(const QString& statement) {
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), kRaw);
            db.setDatabaseName(path());
            ASSERT_TRUE(db.open());
            QSqlQuery query(db);
            ASSERT_TRUE(query.exec(statement)) << query.lastError().text().toStdString();
        }
        QSqlDatabase::removeDatabase(kRaw);
    }

    // A player with a game waiting, as registering leaves it.
    static PlayerRecord registered(ReelCodes first = {3, 3, 14}) {
        PlayerRecord record;
        record.credits = kFreeGameCredits;
        record.freeCreditsGranted = kFreeGameCredits;
        record.pendingFirstDraw = first;
        return record;
    }

    // The game that plays `before`'s waiting draw with `holds` and ends on `final`.
    static std::pair<GameOutcome, PlayerRecord> game(const PlayerRecord& before, HoldMask holds,
                                                     ReelCodes final, ReelCodes next) {
        GameOutcome outcome;
        outcome.firstDraw = *before.pendingFirstDraw;
        outcome.holds = holds;
        outcome.finalDraw = final;
        outcome.creditsBefore = before.credits;
        outcome.cost = kGameCost;
        outcome.tokensWon = tokensWon(final);
        outcome.creditsAfter = before.credits - kGameCost + outcome.tokensWon / kTokensPerCredit;
        PlayerRecord after = before;
        after.credits = outcome.creditsAfter;
        after.gamesPlayed += 1;
        after.tokensWon += outcome.tokensWon;
        after.pendingFirstDraw = next;
        return {outcome, after};
    }

    static inline const QString kRaw = QStringLiteral("raw");
    QTemporaryDir dir_;
};

TEST_F(SqliteBooksTest, PlayersAndGamesSurviveClosingAndOpeningAgain) {
    const PlayerRecord start = registered();
    const auto [outcome, after] = game(start, {true, false, true}, {3, 14, 14}, {5, 6, 7});
    {
        auto books = openBooks();
        ASSERT_TRUE(books->save("alice", start));
        ASSERT_TRUE(books->commitGame("alice", outcome, after));
        ASSERT_TRUE(books->markDelivered({{"alice", 1}}));
    }
    auto books = openBooks();
    EXPECT_EQ(books->load("alice"), after);
    EXPECT_EQ(books->load("bob"), PlayerRecord{}) << "a stranger has a fresh record";
    const auto delivery = books->delivery("alice");
    ASSERT_TRUE(delivery);
    EXPECT_EQ(delivery->lastGame, 1);
    EXPECT_EQ(delivery->deliveredGame, 1);
    EXPECT_EQ(delivery->lastOutcome, outcome);
    const BooksAudit audit = books->audit();
    EXPECT_TRUE(audit.balanced()) << audit.faults.join('\n').toStdString();
    EXPECT_EQ(audit.players, 1);
    EXPECT_EQ(audit.games, 1);
}

TEST_F(SqliteBooksTest, OnlyTheGameThatWasWaitingIsBookedAndOnlyOnce) {
    auto books = openBooks();
    const PlayerRecord start = registered();
    ASSERT_TRUE(books->save("alice", start));
    const auto [outcome, after] = game(start, {false, false, false}, {1, 2, 3}, {4, 4, 4});

    struct Case {
        const char* name;
        std::function<void(GameOutcome&, PlayerRecord&)> spoil;
    };
    const Case cases[] = {
        {"another first draw",
         [](GameOutcome& o, PlayerRecord&) {
             o.firstDraw = {9, 9, 9};
         }},
        {"credits the player did not have",
         [](GameOutcome& o, PlayerRecord& a) {
             o.creditsBefore += 5;
             o.creditsAfter += 5;
             a.credits += 5;
         }},
        {"a result that does not follow", [](GameOutcome&, PlayerRecord& a) { a.credits += 1; }},
        {"a skipped game number", [](GameOutcome&, PlayerRecord& a) { a.gamesPlayed += 1; }},
        {"tokens that are not whole credits",
         [](GameOutcome& o, PlayerRecord& a) {
             o.tokensWon = 49;
             a.tokensWon = 49;
         }},
        {"free credits slipped in",
         [](GameOutcome&, PlayerRecord& a) { a.freeCreditsGranted += 1; }},
    };
    for (const Case& c : cases) {
        GameOutcome spoiltOutcome = outcome;
        PlayerRecord spoiltAfter = after;
        c.spoil(spoiltOutcome, spoiltAfter);
        EXPECT_FALSE(books->commitGame("alice", spoiltOutcome, spoiltAfter)) << c.name;
    }
    EXPECT_FALSE(books->commitGame("nobody", outcome, after)) << "a player without a record";
    EXPECT_EQ(books->load("alice"), start) << "refused games change nothing";

    ASSERT_TRUE(books->commitGame("alice", outcome, after));
    EXPECT_FALSE(books->commitGame("alice", outcome, after)) << "the same game a second time";
    EXPECT_EQ(books->load("alice"), after);
    EXPECT_EQ(books->audit().games, 1);
}

TEST_F(SqliteBooksTest, AGameIsBookedWholeOrNotAtAll) {
    auto books = openBooks();
    const PlayerRecord start = registered();
    ASSERT_TRUE(books->save("alice", start));
    const auto [outcome, after] = game(start, {true, true, false}, {3, 3, 1}, {2, 2, 2});
    // The ledger takes the game, then writing the player's record fails.
    tamper("CREATE TRIGGER broken BEFORE UPDATE ON players BEGIN SELECT RAISE(ABORT, 'disk"
           " trouble'); END");
    EXPECT_FALSE(books->commitGame("alice", outcome, after));
    EXPECT_TRUE(books->lastError().contains("disk trouble")) << books->lastError().toStdString();
    EXPECT_EQ(books->load("alice"), start);
    EXPECT_EQ(books->audit().games, 0) << "the ledger row went back with the failed record";

    tamper("DROP TRIGGER broken");
    EXPECT_TRUE(books->commitGame("alice", outcome, after)) << "nothing was left half done";
}

TEST_F(SqliteBooksTest, ABatchIsKeptWholeOnlyOnceCommitted) {
    const PlayerRecord start = registered();
    const auto [outcome, after] = game(start, {true, true, true}, {3, 3, 14}, {1, 2, 3});
    {
        auto books = openBooks();
        ASSERT_TRUE(books->beginBatch());
        ASSERT_TRUE(books->save("alice", start));
        ASSERT_TRUE(books->save("bob", start));
        ASSERT_TRUE(books->commitGame("alice", outcome, after));
        EXPECT_FALSE(books->commitGame("alice", outcome, after)) << "refused inside the batch";
        EXPECT_EQ(books->load("alice"), after) << "a refusal undoes only itself";
        // The program ends here without committing, as if killed.
    }
    {
        auto books = openBooks();
        EXPECT_EQ(books->load("alice"), PlayerRecord{});
        EXPECT_EQ(books->audit().players, 0);
        ASSERT_TRUE(books->beginBatch());
        ASSERT_TRUE(books->save("alice", start));
        ASSERT_TRUE(books->commitGame("alice", outcome, after));
        ASSERT_TRUE(books->markDelivered({{"alice", 1}}));
        ASSERT_TRUE(books->commitBatch());
        EXPECT_FALSE(books->inBatch());
    }
    auto books = openBooks();
    EXPECT_EQ(books->load("alice"), after);
    EXPECT_EQ(books->delivery("alice")->deliveredGame, 1);
    EXPECT_TRUE(books->audit().balanced());
}

TEST_F(SqliteBooksTest, SavesCanGrantFreeCreditsButNotBypassTheLedger) {
    auto books = openBooks();
    PlayerRecord start = registered();
    ASSERT_TRUE(books->save("alice", start));

    struct Case {
        const char* name;
        std::function<void(PlayerRecord&)> change;
        bool accepted;
    };
    const Case cases[] = {
        {"a new waiting draw",
         [](PlayerRecord& r) {
             r.pendingFirstDraw = {7, 7, 7};
         },
         true},
        {"no waiting draw", [](PlayerRecord& r) { r.pendingFirstDraw.reset(); }, true},
        {"credits granted",
         [](PlayerRecord& r) {
             r.credits += 100;
             r.freeCreditsGranted += 100;
         },
         true},
        {"credits out of nowhere", [](PlayerRecord& r) { r.credits += 1; }, false},
        {"credits taken back",
         [](PlayerRecord& r) {
             r.credits -= 100;
             r.freeCreditsGranted -= 100;
         },
         false},
        {"games counted without the ledger", [](PlayerRecord& r) { r.gamesPlayed += 1; }, false},
        {"tokens counted without the ledger", [](PlayerRecord& r) { r.tokensWon += 50; }, false},
    };
    for (const Case& c : cases) {
        PlayerRecord changed = *books->load("alice");
        const PlayerRecord before = changed;
        c.change(changed);
        EXPECT_EQ(books->save("alice", changed), c.accepted) << c.name;
        EXPECT_EQ(books->load("alice"), c.accepted ? changed : before) << c.name;
    }
    PlayerRecord stranger;
    stranger.credits = 5;
    EXPECT_FALSE(books->save("bob", stranger)) << "a first record with credits never granted";
    EXPECT_TRUE(books->audit().balanced());
}

TEST_F(SqliteBooksTest, TheAuditFindsBooksThatDoNotAddUp) {
    {
        auto books = openBooks();
        PlayerRecord record = registered();
        ASSERT_TRUE(books->save("alice", record));
        for (ReelCodes final : {ReelCodes{1, 2, 14}, ReelCodes{4, 4, 4}, ReelCodes{6, 7, 8}}) {
            const auto [outcome, after] = game(record, {false, false, false}, final, {1, 1, 2});
            ASSERT_TRUE(books->commitGame("alice", outcome, after));
            record = after;
        }
        ASSERT_TRUE(books->save("bob", registered()));
        ASSERT_TRUE(books->audit().balanced()) << books->audit().faults.join('\n').toStdString();
    }
    const char* damages[] = {
        "UPDATE players SET credits = credits + 1 WHERE name = 'alice'",
        "DELETE FROM games WHERE player = 'alice' AND game = 2",
        "UPDATE games SET tokens_won = 0 WHERE player = 'alice' AND game = 2",
        "UPDATE games SET game = 7 WHERE player = 'alice' AND game = 3",
        "INSERT INTO grants VALUES ('bob', 0, 100)",
        "INSERT INTO games VALUES ('carol', 1, '01,01,01', '0,0,0', '01,01,01', 100, 1, 500, 109, "
        "NULL)",
        "UPDATE players SET games_played = 2 WHERE name = 'alice'",
    };
    const QString file = path();
    for (const char* damage : damages) {
        QTemporaryDir copyDir;
        const QString copy = copyDir.filePath("copy.sqlite");
        ASSERT_TRUE(QFile::copy(file, copy));
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), kRaw);
            db.setDatabaseName(copy);
            ASSERT_TRUE(db.open());
            QSqlQuery query(db);
            ASSERT_TRUE(query.exec(QString::fromLatin1(damage))) << damage;
        }
        QSqlDatabase::removeDatabase(kRaw);
        QString error;
        auto books = SqliteBooks::open(copy, &error);
        ASSERT_TRUE(books) << error.toStdString();
        EXPECT_FALSE(books->audit().balanced()) << damage;
    }
}

// Books from before games carried their time stay readable as they are (an audit or a listing
// may not write them), and a robot serving from them brings them up to date: the old games keep
// no time, the new ones get theirs.
TEST_F(SqliteBooksTest, BooksOfTheFirstLayoutAreReadAndBroughtUpToDate) {
    const PlayerRecord start = registered();
    const auto [first, afterFirst] = game(start, {true, false, true}, {3, 14, 14}, {5, 6, 7});
    const auto [second, afterSecond] =
        game(afterFirst, {false, false, false}, {1, 2, 3}, {4, 4, 4});
    {
        auto books = openBooks();
        ASSERT_TRUE(books->save("alice", start));
        ASSERT_TRUE(books->commitGame("alice", first, afterFirst));
    }
    tamper(QStringLiteral("ALTER TABLE games DROP COLUMN played_at"));
    tamper(QStringLiteral("PRAGMA user_version = 1"));
    auto layout = [&] {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), kRaw);
        db.setDatabaseName(path());
        db.open();
        QSqlQuery query(db);
        query.exec(QStringLiteral("PRAGMA user_version"));
        const int version = query.next() ? query.value(0).toInt() : -1;
        query = QSqlQuery();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(kRaw);
        return version;
    };

    QString error;
    {
        auto read = SqliteBooks::open(path(), &error, SqliteBooks::Purpose::Audit);
        ASSERT_TRUE(read) << error.toStdString();
        Ledger rows;
        ASSERT_TRUE(read->readLedger(rows));
        ASSERT_EQ(rows.games.size(), 1u);
        EXPECT_FALSE(rows.games[0].playedAt.isValid());
        EXPECT_TRUE(read->audit().balanced());
    }
    EXPECT_EQ(layout(), 1) << "read only";

    const qint64 before = QDateTime::currentSecsSinceEpoch();
    {
        auto books = openBooks();
        ASSERT_TRUE(books);
        EXPECT_EQ(books->load("alice"), afterFirst);
        ASSERT_TRUE(books->commitGame("alice", second, afterSecond));
        Ledger rows;
        ASSERT_TRUE(books->readLedger(rows));
        ASSERT_EQ(rows.games.size(), 2u);
        EXPECT_FALSE(rows.games[0].playedAt.isValid());
        EXPECT_GE(rows.games[1].playedAt.toSecsSinceEpoch(), before);
        EXPECT_LE(rows.games[1].playedAt.toSecsSinceEpoch(), QDateTime::currentSecsSinceEpoch());
        EXPECT_TRUE(books->audit().balanced());
    }
    EXPECT_EQ(layout(), 2);
}

TEST_F(SqliteBooksTest, DeliveryMarksNeverMoveBack) {
    auto books = openBooks();
    PlayerRecord record = registered();
    ASSERT_TRUE(books->save("alice", record));
    for (int i = 0; i < 3; ++i) {
        const auto [outcome, after] = game(record, {}, {8, 9, 10}, {8, 9, 10});
        ASSERT_TRUE(books->commitGame("alice", outcome, after));
        record = after;
    }
    ASSERT_TRUE(books->markDelivered({{"alice", 3}, {"nobody", 5}}));
    ASSERT_TRUE(books->markDelivered({{"alice", 2}}));
    const auto delivery = books->delivery("alice");
    ASSERT_TRUE(delivery);
    EXPECT_EQ(delivery->deliveredGame, 3);
    EXPECT_EQ(delivery->lastGame, 3);
    EXPECT_EQ(books->load("nobody"), PlayerRecord{}) << "a mark creates no player";
}

TEST_F(SqliteBooksTest, AnyNameKeepsItsOwnBooks) {
    auto books = openBooks();
    const QString names[] = {
        "alice",
        "Alice",
        "alice'; DELETE FROM players; --",
        QString(256, u'x'),
        QString::fromUtf8("\xC3\xA9l\xC3\xA8ve"),
        QStringLiteral("a%1b").arg(QChar(0)),
        "a",
    };
    const auto drawFor = [](int i) { return ReelCodes{i + 1, 2, 14 - i}; };
    for (int i = 0; i < int(std::size(names)); ++i)
        ASSERT_TRUE(books->save(names[i], registered(drawFor(i)))) << i;
    for (int i = 0; i < int(std::size(names)); ++i)
        EXPECT_EQ(books->load(names[i]), registered(drawFor(i))) << i;
    EXPECT_EQ(books->audit().players, std::size(names));
}

// Books were once made wherever none were found, so a deleted or emptied file handed every
// player's credits and free games out anew. Only create() makes books now.
TEST_F(SqliteBooksTest, AMissingOrEmptyFileIsNeverTakenForNewBooks) {
    QString error;
    EXPECT_FALSE(SqliteBooks::open(path(), &error));
    EXPECT_EQ(error, path() + ": no books there (new books are made with jackwell-keeper --init "
                              "CONFIG)");
    EXPECT_FALSE(QFileInfo::exists(path()));

    QFile empty(path());
    ASSERT_TRUE(empty.open(QIODevice::WriteOnly));
    empty.close();
    EXPECT_FALSE(SqliteBooks::open(path(), &error));
    EXPECT_TRUE(error.startsWith(path() + ": the file is empty")) << error.toStdString();
    EXPECT_EQ(QFileInfo(path()).size(), 0);
    EXPECT_FALSE(SqliteBooks::create(path(), &error)) << "create() touches no file that is there";
    EXPECT_TRUE(error.startsWith(path() + ": a file is already there")) << error.toStdString();
}

// A books file deleted or replaced under the running robot: the robot kept booking into the
// deleted file, and the next start found other books (or none). Now the next commit is refused
// and the books say they can take nothing more.
TEST_F(SqliteBooksTest, BooksDeletedOrReplacedWhileOpenTakeNoMoreChanges) {
    const struct {
        const char* name;
        std::function<void(const QString& path)> spoil;
    } cases[] = {
        {"deleted", [](const QString& p) { ASSERT_TRUE(QFile::remove(p)); }},
        {"replaced by a copy of itself",
         [](const QString& p) {
             ASSERT_TRUE(QFile::copy(p, p + ".copy"));
             ASSERT_EQ(::rename(QFile::encodeName(p + ".copy").constData(),
                                QFile::encodeName(p).constData()),
                       0);
         }},
        {"replaced by new books",
         [](const QString& p) {
             QString error;
             ASSERT_TRUE(SqliteBooks::create(p + ".new", &error)) << error.toStdString();
             ASSERT_TRUE(QFile::remove(p));
             ASSERT_TRUE(QFile::rename(p + ".new", p));
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(path());
        auto books = openBooks();
        const PlayerRecord start = registered();
        ASSERT_TRUE(books->save("alice", start));
        const auto [outcome, after] = game(start, {true, true, true}, {3, 3, 14}, {1, 1, 1});
        c.spoil(path());
        EXPECT_FALSE(books->commitGame("alice", outcome, after));
        EXPECT_TRUE(books->failedForGood());
        EXPECT_TRUE(books->lastError().contains("deleted or replaced"))
            << books->lastError().toStdString();
        EXPECT_FALSE(books->beginBatch() && books->save("bob", registered()) &&
                     books->commitBatch())
            << "a batch is refused as well";
    }
}

// A page overwritten with junk was served on until an audit found half the games missing.
TEST_F(SqliteBooksTest, ADamagedFileIsRefusedAtOpen) {
    {
        auto books = openBooks();
        MachineKeeper keeper("Rivet", *books, 3);
        for (int player = 0; player < 20; ++player) {
            keeper.onPrivateMessage(QStringLiteral("p%1").arg(player), "Register me!");
            for (int game = 0; game < 20; ++game)
                keeper.onPrivateMessage(QStringLiteral("p%1").arg(player), "I hold 0,1,0");
        }
    }
    QFile file(path());
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    ASSERT_GT(file.size(), 4 * 4096);
    file.seek(file.size() - 4096); // a page of games
    file.write(QByteArray(2000, '\x5A'));
    file.close();
    QString error;
    EXPECT_FALSE(SqliteBooks::open(path(), &error));
    EXPECT_TRUE(error.startsWith(path() + ": the file is damaged")) << error.toStdString();
}

// Commits do not wait for the disk; whenDurable() does, away from the event loop, and answers
// in the order it was asked.
TEST_F(SqliteBooksTest, DurabilityIsAnsweredInOrderFromTheEventLoop) {
    auto books = openBooks();
    QList<int> answers;
    for (int i = 1; i <= 3; ++i) {
        ASSERT_TRUE(books->save(QStringLiteral("p%1").arg(i), registered()));
        books->whenDurable([&answers, i](bool durable) {
            EXPECT_TRUE(durable);
            answers << i;
        });
    }
    EXPECT_TRUE(answers.isEmpty()) << "never from inside the call";
    ASSERT_TRUE(jackwell::testing::waitUntil([&] { return answers.size() == 3; }, 10000));
    EXPECT_EQ(answers, (QList<int>{1, 2, 3}));
}

TEST_F(SqliteBooksTest, OtherFilesAreNotTakenForBooks) {
    QFile text(path());
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("server = irc.example.net\n");
    text.close();
    QString error;
    EXPECT_FALSE(SqliteBooks::open(path(), &error));
    EXPECT_FALSE(error.isEmpty());

    QFile::remove(path());
    tamper("CREATE TABLE notes (text TEXT)");
    error.clear();
    EXPECT_FALSE(SqliteBooks::open(path(), &error));
    EXPECT_TRUE(error.contains("something other")) << error.toStdString();

    error.clear();
    EXPECT_FALSE(SqliteBooks::open(dir_.filePath("no/such/folder/books.sqlite"), &error));
    EXPECT_FALSE(error.isEmpty());
}

// The machinekeeper itself on these books, for many games and through reopenings.
TEST_F(SqliteBooksTest, TheMachinekeeperPlaysOnAcrossRestarts) {
    QString shownCredits;
    qint64 finals = 0;
    for (int restart = 0; restart < 3; ++restart) {
        auto books = openBooks();
        MachineKeeper keeper("Rivet", *books, 1000 + restart);
        if (restart == 0)
            keeper.onPrivateMessage("alice", "Register me!");
        for (int i = 0; i < 40; ++i) {
            const auto replies = keeper.onPrivateMessage("alice", "I hold 1,0,1");
            ASSERT_FALSE(replies.empty());
            if (replies[0].text.startsWith("FINAL:")) {
                shownCredits = replies[0].text.section('(', 1).chopped(1);
                ++finals;
            } else {
                keeper.onPrivateMessage("alice", "Register me!");
            }
        }
        EXPECT_EQ(QString::number(books->load("alice")->credits), shownCredits) << restart;
        const BooksAudit audit = books->audit();
        EXPECT_TRUE(audit.balanced()) << audit.faults.join('\n').toStdString();
    }
    EXPECT_GT(finals, 100);
    EXPECT_EQ(openBooks()->load("alice")->gamesPlayed, finals);
}

} // namespace
