#pragma once

// The two stores of the robot's books as their tests make them, open them again and change them
// behind their back: an SQLite file in a folder of its own, and a database of its own on a private
// PostgreSQL server (one per test program). Both name the tables plainly (players, games, grants).

#include "books/postgres_books.h"
#include "books/sqlite_books.h"
#include "clock/virtual_clock.h"

#include "support/postgres_server.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <memory>
#include <stdexcept>
#include <utility>

namespace jackwell::testing {

class SqliteStore {
public:
    static constexpr const char* kName = "Sqlite";
    static constexpr bool kKeepsNamesWithNul = true;
    static inline const QString kMachine; // a file kept by one robot names no machine
    // A write of a player's row that fails, as on a failing disk; and the disk mended.
    static inline const QString kBreakPlayerUpdates = QStringLiteral(
        "CREATE TRIGGER broken BEFORE UPDATE ON players BEGIN SELECT RAISE(ABORT, 'disk"
        " trouble'); END");
    static inline const QString kMendPlayerUpdates = QStringLiteral("DROP TRIGGER broken");

    static void setUpSuite() {}
    static void tearDownSuite() {}
    void setUp() {}

    QString path() const { return dir_.filePath(QStringLiteral("books%1.sqlite").arg(books_)); }
    // The books, made on first use.
    std::unique_ptr<books::SqliteBooks>
    open(books::BooksPurpose purpose = books::BooksPurpose::Serve) {
        QString error;
        auto books = QFileInfo::exists(path()) ? books::SqliteBooks::open(path(), &error, purpose)
                                               : books::SqliteBooks::create(path(), &error);
        EXPECT_TRUE(books) << error;
        return books;
    }
    // From now on, other books, new and empty.
    void startAfresh() { ++books_; }
    void tamper(const QString& statement) {
        {
            QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", kRaw);
            db.setDatabaseName(path());
            ASSERT_TRUE(db.open());
            QSqlQuery query(db);
            ASSERT_TRUE(query.exec(statement)) << query.lastError().text();
        }
        QSqlDatabase::removeDatabase(kRaw);
    }
    // The books gone from under whoever has them open: deleted, replaced by a copy, or by new ones.
    static constexpr int kWaysToTakeAway = 3;
    void takeAway(int way) {
        const QString other = path() + ".other";
        QString error;
        const bool replacing = way == 1   ? QFile::copy(path(), other)
                               : way == 2 ? bool(books::SqliteBooks::create(other, &error))
                                          : false;
        ASSERT_EQ(replacing, way > 0) << error;
        ASSERT_TRUE(QFile::remove(path()));
        ASSERT_TRUE(way == 0 || QFile::rename(other, path()));
    }

protected:
    static inline const QString kRaw = QStringLiteral("raw");
    QTemporaryDir dir_;
    int books_ = 0;
};

class PostgresStore {
public:
    static constexpr const char* kName = "Postgres";
    // The server's text cannot hold a NUL: such a name is refused.
    static constexpr bool kKeepsNamesWithNul = false;
    static inline const QString kMachine = QStringLiteral("rivet@irc.test");
    static inline const QString kBreakPlayerUpdates = QStringLiteral(
        "CREATE FUNCTION broken() RETURNS trigger LANGUAGE plpgsql AS"
        " $$BEGIN RAISE EXCEPTION 'disk trouble'; END$$;"
        " CREATE TRIGGER broken BEFORE UPDATE ON players FOR EACH ROW EXECUTE FUNCTION broken()");
    static inline const QString kMendPlayerUpdates = "DROP TRIGGER broken ON players";

    static void setUpSuite() {
        QString error;
        if (!PostgresServer::ensureInstalled(&error)) {
            missing_ = error;
            return;
        }
        server_ = new PostgresServer(PostgresServer::Options{false});
        started_ = server_->start(&error);
        startError_ = error;
        qputenv("PGPASSWORD", PostgresServer::kPassword.toUtf8());
    }
    static void tearDownSuite() {
        delete server_;
        server_ = nullptr;
    }
    void setUp() {
        if (!missing_.isEmpty())
            GTEST_SKIP() << "PostgreSQL is not installed here: " << missing_;
        ASSERT_TRUE(started_) << startError_;
        if (!server_->isRunning()) {
            QString error;
            ASSERT_TRUE(server_->start(&error)) << error;
        }
        startAfresh();
    }

    books::PostgresAddress address(quint16 port = 0) const {
        books::PostgresAddress address;
        address.user = PostgresServer::kUser;
        address.host = PostgresServer::kHost;
        address.port = port ? port : server_->port();
        address.database = database_;
        return address;
    }
    // The books of `machine`, made on first use to serve them.
    std::unique_ptr<books::PostgresBooks>
    open(const QString& machine = kMachine,
         books::BooksPurpose purpose = books::BooksPurpose::Serve, QString* error = nullptr,
         quint16 port = 0) {
        books::PostgresBooks::Options options;
        options.purpose = purpose;
        options.machine = purpose == books::BooksPurpose::Serve ? machine : QString();
        options.log = [this](const QString& text) { log_ << text; };
        QString ignored;
        return books::PostgresBooks::open(address(port), clock_, std::move(options),
                                          error ? error : &ignored);
    }
    std::unique_ptr<books::PostgresBooks> open(books::BooksPurpose purpose) {
        return open(kMachine, purpose);
    }
    void startAfresh() {
        static int counter = 0;
        database_ = QStringLiteral("books_%1").arg(++counter);
        QString error;
        ASSERT_TRUE(server_->createDatabase(database_, &error)) << error;
    }
    bool sql(const QString& statement) {
        QString error;
        const bool done = server_->exec(database_, statement, &error);
        EXPECT_TRUE(done) << statement << ": " << error;
        return done;
    }
    void tamper(const QString& statement) {
        sql(QStringLiteral("SET search_path = jackwell; ") + statement);
    }
    static constexpr int kWaysToTakeAway = 1;
    void takeAway(int) { sql("SET client_min_messages = warning; DROP SCHEMA jackwell CASCADE"); }

protected:
    static inline PostgresServer* server_ = nullptr;
    static inline QString missing_;
    static inline QString startError_;
    static inline bool started_ = false;
    QString database_;
    VirtualClock clock_;
    QStringList log_;
};

// A test of the books in `Store`: the store set up for the test program and for each test.
template <typename Store> class StoreTest : public ::testing::Test, protected Store {
protected:
    static void SetUpTestSuite() { Store::setUpSuite(); }
    static void TearDownTestSuite() { Store::tearDownSuite(); }
    void SetUp() override { Store::setUp(); }
    // The books, opened: a test whose books do not open ends there, failed.
    template <typename... Args> auto opened(Args&&... args) {
        auto books = Store::open(std::forward<Args>(args)...);
        if (!books)
            throw std::runtime_error("the books did not open");
        return books;
    }
};

} // namespace jackwell::testing
