// Books in an SQLite file, beyond what every store promises (keeper_books_test): books of the
// first layout brought up to date, files that are not books refused, and one robot per file.
#include "books/ledger_audit.h"
#include "books/sqlite_books.h"
#include "books/sqlite_sync_thread.h"

#include "support/book_entries.h"
#include "support/books_stores.h"
#include "support/file_size_limit.h"
#include "support/qt_printers.h"
#include "support/test_files.h"
#include "support/wait_until.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtEndian>

using namespace jackwell::books;
using namespace jackwell::machine;
using namespace jackwell::testing;

namespace {

class SqliteBooksTest : public StoreTest<SqliteStore> {
protected:
    // Books holding `player` registered and one game played; the record after it.
    PlayerRecord bookOneGame(const QString& player) {
        const PlayerRecord start = registeredPlayer();
        const auto [game, after] = nextGame(start, {true, false, true}, {3, 14, 14}, {5, 6, 7});
        auto books = open();
        EXPECT_TRUE(books && books->save(player, start) && books->commitGame(player, game, after));
        return after;
    }
};

// Books from before games carried their time stay readable as they are (an audit or a listing may
// not write them); a robot serving from them brings them up to date, new games with their time.
TEST_F(SqliteBooksTest, BooksOfTheFirstLayoutAreReadAndBroughtUpToDate) {
    const PlayerRecord afterFirst = bookOneGame("alice");
    const auto [second, afterSecond] =
        nextGame(afterFirst, {false, false, false}, {1, 2, 3}, {4, 4, 4});
    tamper("ALTER TABLE games DROP COLUMN played_at");
    tamper("ALTER TABLE players DROP COLUMN untold_draw");
    tamper("PRAGMA user_version = 1");
    auto layout = [&] { // the file's user_version, at byte 60 of its header
        QFile file(path());
        return file.open(QIODevice::ReadOnly) && file.seek(60)
                   ? qFromBigEndian<qint32>(file.read(4).constData())
                   : -1;
    };

    {
        auto read = open(BooksPurpose::Audit);
        Ledger rows;
        ASSERT_TRUE(read && read->readLedger(rows));
        ASSERT_EQ(rows.games.size(), 1u);
        EXPECT_TRUE(!rows.games[0].playedAt.isValid() && read->audit().balanced());
        // Never served without their upgrade (the reader keeps the -wal and -shm files).
        QString error;
        EXPECT_FALSE((FileSizeLimit(512), SqliteBooks::open(path(), &error)));
        EXPECT_TRUE(error.contains("disk I/O error")) << error;
    }
    EXPECT_EQ(layout(), 1) << "read only, or refused";

    const qint64 before = QDateTime::currentSecsSinceEpoch();
    {
        auto books = opened();
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
    EXPECT_EQ(layout(), 3);

    // Books of the second layout kept the times already, and are brought up to date too.
    tamper("ALTER TABLE players DROP COLUMN untold_draw");
    tamper("PRAGMA user_version = 2");
    auto read = open(BooksPurpose::Audit);
    Ledger rows;
    ASSERT_TRUE(read && read->readLedger(rows));
    ASSERT_EQ(rows.games.size(), 2u);
    EXPECT_GE(rows.games[1].playedAt.toSecsSinceEpoch(), before);
    read.reset();
    EXPECT_TRUE(open());
    EXPECT_EQ(layout(), 3);
}

// Numbers no robot writes (a real where a count belongs, text, beyond what any game reaches) are
// named as the books' fault by every reading of the ledger (--audit, --players, --report), never
// read as some other number; those a game can reach (to 2^53 either way, a whole real in a column
// retyped by hand) read as themselves. A long name or value is cut short in the fault.
TEST_F(SqliteBooksTest, NumbersNoGameMakesAreNamedAsFaults) {
    const QString player = QStringLiteral("alice") + QString(60, u'.');
    // The statements, and the fault named, or none and the credits the grant then reads.
    const std::tuple<QStringList, const char*, qint64> rows[] = {
        {{"UPDATE players SET credits = 1e308"}, "the player %1 holds credits = 1e+308", 0},
        {{"UPDATE players SET games_played = 9007199254740993"},
         "the player %1 holds games_played = 9007199254740993",
         0},
        {{"UPDATE games SET tokens_won = 'lots and lots and lots and lots and lots of them'"},
         "a game of %1 holds tokens_won = lots and lots and lots and lots and lots",
         0},
        {{"UPDATE grants SET credits = 2.5"}, "a grant to %1 holds credits = 2.5", 0},
        {{"UPDATE grants SET credits = 9007199254740992"}, nullptr, 9007199254740992},
        {{"UPDATE grants SET credits = -9007199254740992"}, nullptr, -9007199254740992},
        {{"ALTER TABLE grants DROP COLUMN credits", "ALTER TABLE grants ADD COLUMN credits",
          "UPDATE grants SET credits = 9007199254740992.0"},
         nullptr,
         9007199254740992},
    };
    for (const auto& [change, named, credits] : rows) {
        SCOPED_TRACE(change.join("; ").toStdString());
        QFile::remove(path());
        bookOneGame(player);
        for (const QString& statement : change)
            tamper(statement);
        auto read = opened(BooksPurpose::Audit);
        Ledger rows;
        EXPECT_EQ(read->readLedger(rows), !named) << read->lastError();
        if (!named) {
            ASSERT_EQ(rows.grants.size(), 1u);
            EXPECT_EQ(rows.grants[0].credits, credits);
            continue;
        }
        EXPECT_EQ(read->lastError(),
                  QStringLiteral("the books are damaged: %1, which no game makes")
                      .arg(QString::fromLatin1(named).arg(player.left(64))));
        const BooksAudit audit = read->audit();
        EXPECT_EQ(audit.faults, QStringList{read->lastError()});
        EXPECT_EQ(audit.players + audit.games, 0) << "nothing counted of books it cannot read";
    }
}

// Books whose tables were replaced or added to: a view or a trigger could make every read (an
// audit, a report) endless. They are refused with the file and what is wrong in one line.
TEST_F(SqliteBooksTest, BooksWhoseTablesAreNotTheirOwnAreRefused) {
    const std::tuple<const char*, QStringList, QString> cases[] = {
        {"a recursive view for games",
         {"DROP TABLE games",
          "CREATE VIEW games AS WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n)"
          " SELECT 'alice' AS player, i AS game, '01,02,03' AS first_draw, '0,0,0' AS holds,"
          " '01,02,03' AS final_draw, 0 AS credits_before, 1 AS cost, 0 AS tokens_won,"
          " 0 AS credits_after, NULL AS played_at FROM n"},
         "the books' table games is a view, not a table"},
        {"a trigger", {kBreakPlayerUpdates}, "the books hold a trigger broken that"},
        {"a column gone",
         {"ALTER TABLE games DROP COLUMN played_at"},
         "the books' table games has the columns player, game, first_draw, holds, final_draw, "
         "credits_before, cost, tokens_won, credits_after, not those of layout 3"},
    };
    for (const auto& [name, tampering, fault] : cases) {
        SCOPED_TRACE(name);
        startAfresh();
        ASSERT_TRUE(open());
        for (const QString& statement : tampering)
            tamper(statement);
        QString error;
        EXPECT_FALSE(SqliteBooks::open(path(), &error, BooksPurpose::Audit));
        EXPECT_TRUE(error.startsWith(path() + ": " + fault)) << error;
    }
}

// A batch whose file was moved aside before its commit is not said kept, nor written there.
TEST_F(SqliteBooksTest, BooksMovedAsideKeepNothingMore) {
    auto books = open();
    ASSERT_TRUE(books->beginBatch());
    ASSERT_TRUE(books->save("alice", registeredPlayer()));
    const QString aside = path() + ".aside";
    ASSERT_TRUE(QFile::rename(path(), aside));
    EXPECT_TRUE(!books->commitBatch() && books->failedForGood());
    EXPECT_EQ(books->load("alice"), PlayerRecord{}) << "nor read back as if kept";
    EXPECT_FALSE(books->save("bob", registeredPlayer()) || books->beginBatch());
    QString error;
    auto read = SqliteBooks::open(aside, &error, BooksPurpose::Audit);
    ASSERT_TRUE(read) << error;
    EXPECT_EQ(read->audit().players, 0);
}

// Books that cannot be opened, or files that are not books, are refused in one line naming the
// file and the fault, with the reason a caller acts on (new books over a file: further on).
TEST_F(SqliteBooksTest, BooksThatCannotBeOpenedSayWhy) {
    using Refusal = SqliteBooks::Refusal;
    QString error;
    auto refusedAs = [&](Refusal expected) {
        Refusal refusal = expected == Refusal::Damaged ? Refusal::Newer : Refusal::Damaged;
        error.clear();
        EXPECT_FALSE(SqliteBooks::open(path(), &error, BooksPurpose::Serve, &refusal));
        EXPECT_EQ(refusal, expected) << error;
        return error;
    };
    EXPECT_EQ(refusedAs(Refusal::Missing),
              path() + ": no books there (new books are made with jackwell-keeper --init CONFIG)");
    ASSERT_TRUE(QDir().mkpath(path()));
    EXPECT_EQ(refusedAs(Refusal::Damaged), path() + ": not a regular file, not books");
    ASSERT_TRUE(QDir().rmdir(path()));

    writeFile(path(), "server = irc.example.net\n");
    EXPECT_FALSE(SqliteBooks::open(path(), &error));
    EXPECT_EQ(error, path() + ": file is not a database Unable to execute statement");
    QFile::remove(path());
    tamper("CREATE TABLE notes (text TEXT)");
    EXPECT_TRUE(!SqliteBooks::open(path(), &error) && error.contains("something other")) << error;
    error.clear();
    EXPECT_FALSE(SqliteBooks::open(dir_.filePath("no/such/folder/books.sqlite"), &error));
    EXPECT_FALSE(error.isEmpty());

    QFile::remove(path());
    ASSERT_TRUE(open());
    {
        QSqlDatabase other = QSqlDatabase::addDatabase("QSQLITE", kRaw);
        other.setDatabaseName(path());
        ASSERT_TRUE(other.open());
        ASSERT_TRUE(QSqlQuery(other).exec("BEGIN IMMEDIATE"));
        EXPECT_TRUE(refusedAs(Refusal::Unavailable)
                        .startsWith(path() + ": the books cannot be written (database is locked"))
            << error;
    }
    QSqlDatabase::removeDatabase(kRaw);
    EXPECT_TRUE(open()) << "the books as they were";
    // A page more, which nothing uses: every row still reads, and yet the file is damaged.
    QFile file(path());
    ASSERT_TRUE(file.open(QIODevice::ReadWrite) && file.size() % 4096 == 0);
    const quint32 pages = qToBigEndian(quint32(file.size() / 4096 + 1));
    file.seek(file.size());
    file.write(QByteArray(4096, '\0'));
    file.seek(28); // the page count in the header
    file.write(reinterpret_cast<const char*>(&pages), 4);
    file.close();
    EXPECT_TRUE(refusedAs(Refusal::Damaged).contains("is never used)")) << error;
}

// Books are made where none are, on a first run only if asked, never over books or where they went.
TEST_F(SqliteBooksTest, BooksAreMadeOnlyWhereNoneWere) {
    QStringList said;
    const auto log = [&](const QString& line) { said << line; };
    QString error;
    ASSERT_TRUE(SqliteBooks::make(path(), BooksMaking::FirstRun, log, &error));
    EXPECT_EQ(said, QStringList{"made new books in " + path()});
    ASSERT_TRUE(open()->save("alice", registeredPlayer()));
    EXPECT_TRUE(SqliteBooks::make(path(), BooksMaking::FirstRun, log, &error));
    EXPECT_FALSE(SqliteBooks::make(path(), BooksMaking::Always, log, &error));
    EXPECT_EQ(error,
              path() + ": a file is already there; new books are made only where there is none");
    EXPECT_EQ(open()->load("alice"), registeredPlayer());
    ASSERT_TRUE(QFile::remove(path()));
    EXPECT_FALSE(SqliteBooks::make(path(), BooksMaking::FirstRun, log, &error));
    EXPECT_TRUE(
        error.startsWith(path() + ": books were made here before (see " + path() + ".made)"))
        << error;
    EXPECT_EQ(said.size(), 1);
}

// A change failing halfway keeps nothing, says why, and leaves the books ready for the next one.
TEST_F(SqliteBooksTest, AChangeThatFailsKeepsNothingAndSaysWhy) {
    const QString player = QStringLiteral("alice") + QString(60, u'.');
    auto books = open();
    const PlayerRecord start = registeredPlayer();
    ASSERT_TRUE(books->save(player, start));
    ASSERT_TRUE(books->save("bob", start));
    const auto [game, after] = nextGame(start, {true, false, true}, {3, 14, 14}, {5, 6, 7});
    EXPECT_FALSE(books->save(player, after));
    EXPECT_EQ(books->lastError(),
              QStringLiteral("refused a change of %1 that would unbalance the books")
                  .arg(player.left(64)));
    EXPECT_FALSE(books->commitGame(player, game, start));
    EXPECT_EQ(
        books->lastError(),
        QStringLiteral("refused a game of %1 that is not the one waiting").arg(player.left(64)));

    tamper("CREATE TRIGGER broken BEFORE UPDATE ON players WHEN NEW.name = 'bob' BEGIN"
           " SELECT RAISE(ABORT, 'disk trouble'); END");
    EXPECT_FALSE(books->markDelivered({{player, 1}, {"bob", 1}}));
    EXPECT_TRUE(books->lastError().contains("disk trouble")) << books->lastError();
    EXPECT_EQ(books->delivery(player)->deliveredGame, 0) << "all the marks or none";
    tamper(kMendPlayerUpdates);
    EXPECT_TRUE(books->markDelivered({{player, 1}, {"bob", 1}}));

    Ledger rows;
    ASSERT_TRUE(books->readLedger(rows));
    ASSERT_TRUE(books->readLedger(rows));
    EXPECT_EQ(rows.players.size(), 2u) << "read afresh, not added to";
    for (const QString table : {"games", "grants", "players"}) {
        tamper(QStringLiteral("ALTER TABLE %1 RENAME TO gone").arg(table));
        EXPECT_FALSE(books->readLedger(rows));
        EXPECT_TRUE(books->lastError().startsWith(
            QStringLiteral("cannot read the %1: no such table: %1").arg(table)))
            << books->lastError();
        tamper(QStringLiteral("ALTER TABLE gone RENAME TO %1").arg(table));
    }
}

// A full disk fails a change at its commit: said not kept, not read back; the next change is kept.
TEST_F(SqliteBooksTest, AChangeTheDiskRefusesIsNotKept) {
    auto books = opened();
    EXPECT_FALSE((FileSizeLimit(0), books->save("alice", registeredPlayer())));
    EXPECT_TRUE(books->lastError().contains("disk")) << books->lastError();
    EXPECT_EQ(books->load("alice"), PlayerRecord{});
    EXPECT_TRUE(books->save("alice", registeredPlayer())) << books->lastError();
    // Nor are new books made, and no file is left in the way of the next try.
    startAfresh();
    QString error;
    EXPECT_FALSE((FileSizeLimit(512), SqliteBooks::create(path(), &error)));
    EXPECT_TRUE(error.contains("disk I/O error")) << error;
    EXPECT_TRUE(!QFileInfo::exists(path()) && open());
}

// Two robots on one file: the second is refused while the first serves; an audit reads beside it.
TEST_F(SqliteBooksTest, OneRobotServesFromAFile) {
    auto books = opened();
    QString error;
    EXPECT_FALSE(SqliteBooks::open(path(), &error));
    EXPECT_EQ(error, path() + " is kept by another running robot");
    EXPECT_TRUE(SqliteBooks::open(path(), &error, BooksPurpose::Audit)) << error;
    tamper("ALTER TABLE players RENAME TO gone");
    EXPECT_FALSE(books->delivery("alice"));
    EXPECT_PRED2(textStartsWith, books->lastError(), "no such table: players");
    EXPECT_FALSE(books->load("alice")) << "a player who cannot be read is no new player";
    tamper("ALTER TABLE gone RENAME TO players");
    const QString link = dir_.filePath("link.sqlite");
    ASSERT_TRUE(QFile::link(path(), link));
    SqliteBooks::Refusal refusal = SqliteBooks::Refusal::Damaged; // never set aside, if in use
    const auto descriptors = [] { return QDir("/proc/self/fd").count(); };
    const uint openFiles = descriptors();
    EXPECT_FALSE(SqliteBooks::open(link, &error, BooksPurpose::Serve, &refusal)) << "nor by a link";
    EXPECT_EQ(error, link + " is kept by another running robot");
    EXPECT_EQ(descriptors(), openFiles) << "refused, it keeps no file open";
    EXPECT_EQ(refusal, SqliteBooks::Refusal::Unavailable);
    books.reset();
    EXPECT_TRUE(SqliteBooks::open(path(), &error)) << "free once the first has gone";
}

// With no log beside the books (none written since a checkpoint took it away) all is on disk.
TEST(SqliteSyncThread, NoLogIsNothingToSync) {
    QTemporaryDir dir;
    std::optional<bool> synced;
    SqliteSyncThread thread(dir.filePath("books.sqlite"));
    thread.sync([&](bool done) { synced = done; });
    EXPECT_TRUE(waitUntil([&] { return synced.has_value(); }, 5000) && *synced);
}

// The log's pages go into each books file, its own: a second one open takes nothing from the first.
TEST_F(SqliteBooksTest, EachLogGoesIntoItsOwnBooksFileNowAndThen) {
    auto first = opened();
    const QString firstPath = path();
    startAfresh();
    auto second = opened();
    auto syncRound = [](KeeperBooks& books, const QString& players) {
        int answers = 0;
        for (int i = 0; i < SqliteSyncThread::kSyncsPerCheckpoint; ++i) {
            books.save(players + QString::number(i), PlayerRecord{});
            books.whenDurable([&answers](bool) { ++answers; });
        }
        return waitUntil([&] { return answers == SqliteSyncThread::kSyncsPerCheckpoint; }, 20000);
    };
    ASSERT_TRUE(syncRound(*first, "a") && syncRound(*second, "b"));
    const qint64 before = QFileInfo(firstPath).size();
    ASSERT_TRUE(syncRound(*first, "c"));
    EXPECT_GT(QFileInfo(firstPath).size(), before);
    first.reset(); // every connection to the file closed: the log goes with the last
    EXPECT_FALSE(QFileInfo::exists(firstPath + "-wal"));
}

} // namespace
