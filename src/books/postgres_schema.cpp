#include "books/postgres_books.h"

#include <QSqlError>
#include <QSqlQuery>

namespace jackwell::books {

namespace {

const char* const kSchema[] = {
    "CREATE SCHEMA jackwell",
    "CREATE TABLE jackwell.books ("
    " version integer NOT NULL,"
    " made_at timestamptz NOT NULL DEFAULT now())",
    "CREATE TABLE jackwell.players ("
    " name text PRIMARY KEY,"
    " credits bigint NOT NULL,"
    " pending text," // the first draw waiting for holds, as "07,12,14"
    " games_played bigint NOT NULL,"
    " tokens_won bigint NOT NULL,"
    " free_credits bigint NOT NULL,"
    // The game whose first draw was told on its own and not yet seen to reach the player.
    " untold_draw bigint NOT NULL DEFAULT 0)",
    "CREATE TABLE jackwell.games ("
    " player text NOT NULL,"
    " game bigint NOT NULL,"
    " first_draw text NOT NULL,"
    " holds text NOT NULL,"
    " final_draw text NOT NULL,"
    " credits_before bigint NOT NULL,"
    " cost bigint NOT NULL,"
    " tokens_won bigint NOT NULL,"
    " credits_after bigint NOT NULL,"
    " machine text NOT NULL,"
    " played_at timestamptz NOT NULL DEFAULT now(),"
    " PRIMARY KEY (player, game))",
    // Free credits given after the player's `after_game`-th game (0: before the first).
    "CREATE TABLE jackwell.grants ("
    " player text NOT NULL,"
    " after_game bigint NOT NULL,"
    " credits bigint NOT NULL,"
    " machine text NOT NULL,"
    " granted_at timestamptz NOT NULL DEFAULT now())",
    "CREATE INDEX grants_by_player ON jackwell.grants (player, after_game)",
    // Every machine that ever kept these books; its number keys its lock.
    "CREATE TABLE jackwell.machines ("
    " id serial PRIMARY KEY,"
    " name text NOT NULL UNIQUE)",
    // How far each machine has seen each player's results delivered.
    "CREATE TABLE jackwell.deliveries ("
    " player text NOT NULL,"
    " machine text NOT NULL,"
    " delivered_game bigint NOT NULL,"
    " PRIMARY KEY (player, machine))",
};

} // namespace

std::unique_ptr<PostgresBooks> PostgresBooks::open(const PostgresAddress& address, Clock& clock,
                                                   Options options, QString* error) {
    const bool serve = options.purpose == BooksPurpose::Serve;
    const bool mayCreate = serve && options.createIfMissing;
    std::unique_ptr<PostgresBooks> books(new PostgresBooks(address, clock, std::move(options)));
    QString why;
    if (!books->connect(&why) || !books->makeOrCheckSchema(mayCreate, false, &why) ||
        (serve && !books->options_.machine.isEmpty() && !books->lockMachine(&why))) {
        *error = QStringLiteral("%1: %2").arg(address.text(), why);
        return nullptr;
    }
    return books;
}

bool PostgresBooks::create(const PostgresAddress& address, Clock& clock, QString* error) {
    PostgresBooks books(address, clock, Options{});
    QString why;
    if (!books.connect(&why) || !books.makeOrCheckSchema(true, true, &why)) {
        *error = QStringLiteral("%1: %2").arg(address.text(), why);
        return false;
    }
    return true;
}

// The tables are made once, by whichever robot comes first: the others wait on the lock for
// it to finish and then find them.
bool PostgresBooks::makeOrCheckSchema(bool mayCreate, bool mustCreate, QString* error) {
    QSqlQuery query(db_);
    auto failed = [&] {
        *error = firstLine(query.lastError());
        QSqlQuery(db_).exec(QStringLiteral("ROLLBACK"));
        return false;
    };
    if (mayCreate) {
        if (!query.exec(QStringLiteral("BEGIN")) ||
            !query.exec(QStringLiteral("SELECT pg_advisory_xact_lock(%1, 0)").arg(kLockClass)))
            return failed();
    }
    if (!query.exec(QStringLiteral("SELECT to_regclass('jackwell.books') IS NOT NULL")) ||
        !query.next())
        return failed();
    const bool present = query.value(0).toBool();
    if (present && mustCreate) {
        QSqlQuery(db_).exec(QStringLiteral("ROLLBACK"));
        *error = QStringLiteral("books are kept there already; new books are made only where "
                                "there are none");
        return false;
    }
    if (!present && !mayCreate) {
        *error = QStringLiteral("no books there (a robot makes them on its first start there, "
                                "or jackwell-keeper --init CONFIG)");
        return false;
    }
    if (!present) {
        for (const char* statement : kSchema) {
            if (!query.exec(QString::fromLatin1(statement)))
                return failed();
        }
        if (!query.exec(QStringLiteral("INSERT INTO jackwell.books (version) VALUES (%1)")
                            .arg(kSchemaVersion)))
            return failed();
        log(QStringLiteral("made new books in %1").arg(address_.text()));
    }
    if (mayCreate && !query.exec(QStringLiteral("COMMIT")))
        return failed();
    if (!query.exec(QStringLiteral("SELECT max(version) FROM jackwell.books")) || !query.next())
        return failed();
    const int version = query.value(0).toInt();
    if (version == kSchemaVersion)
        return true;
    if (version == kSchemaVersion - 1)
        return !mayCreate || upgradeSchema(error); // read as they are; served once brought up
    *error = version > kSchemaVersion
                 ? QStringLiteral("the books were made by a newer jackwell-keeper (version %1)")
                       .arg(version)
                 : QStringLiteral("not books of this program (version %1)").arg(version);
    return false;
}

// Version 2 added the first draw told on its own that has not been seen to reach its player
// (players.untold_draw). One robot brings the books up, the others wait on the lock and find
// them done.
bool PostgresBooks::upgradeSchema(QString* error) {
    QSqlQuery query(db_);
    if (!query.exec(QStringLiteral("BEGIN")) ||
        !query.exec(QStringLiteral("SELECT pg_advisory_xact_lock(%1, 0)").arg(kLockClass)) ||
        !query.exec(QStringLiteral("ALTER TABLE jackwell.players ADD COLUMN IF NOT EXISTS"
                                   " untold_draw bigint NOT NULL DEFAULT 0")) ||
        !query.exec(QStringLiteral("INSERT INTO jackwell.books (version) SELECT %1 WHERE NOT"
                                   " EXISTS (SELECT 1 FROM jackwell.books WHERE version >= %1)")
                        .arg(kSchemaVersion)) ||
        !query.exec(QStringLiteral("COMMIT"))) {
        *error = firstLine(query.lastError());
        QSqlQuery(db_).exec(QStringLiteral("ROLLBACK"));
        return false;
    }
    log(QStringLiteral("brought the books in %1 to version %2")
            .arg(address_.text())
            .arg(kSchemaVersion));
    return true;
}

} // namespace jackwell::books
