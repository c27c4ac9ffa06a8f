#include "books/sqlite_books.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QVariant>

#include <algorithm>

namespace jackwell::books {

namespace {

// Layout 2 added the time of each game (games.played_at), layout 3 the first draw told on its
// own that has not been seen to reach its player (players.untold_draw). Books of an older
// layout are read as they are and brought to this one when a robot serves from them.
constexpr int kSchemaVersion = 3;
constexpr int kOldestReadableVersion = 1;

const char* const kSchema[] = {
    "CREATE TABLE players ("
    " name TEXT PRIMARY KEY NOT NULL,"
    " credits INTEGER NOT NULL,"
    " pending TEXT," // the first draw waiting for holds, as \"07,12,14\"
    " games_played INTEGER NOT NULL,"
    " tokens_won INTEGER NOT NULL,"
    " free_credits INTEGER NOT NULL,"
    " delivered_game INTEGER NOT NULL DEFAULT 0,"
    " untold_draw INTEGER NOT NULL DEFAULT 0)",
    "CREATE TABLE games ("
    " player TEXT NOT NULL,"
    " game INTEGER NOT NULL,"
    " first_draw TEXT NOT NULL,"
    " holds TEXT NOT NULL,"
    " final_draw TEXT NOT NULL,"
    " credits_before INTEGER NOT NULL,"
    " cost INTEGER NOT NULL,"
    " tokens_won INTEGER NOT NULL,"
    " credits_after INTEGER NOT NULL,"
    " played_at INTEGER," // seconds since 1970, UTC; NULL for games from before layout 2
    " PRIMARY KEY (player, game)) WITHOUT ROWID",
    // Free credits given after the player's `after_game`-th game (0: before the first).
    "CREATE TABLE grants ("
    " player TEXT NOT NULL,"
    " after_game INTEGER NOT NULL,"
    " credits INTEGER NOT NULL)",
    "CREATE INDEX grants_by_player ON grants (player, after_game)",
};

// The columns of each table in layout 3; layouts 1 and 2 lack the ones added since.
struct TableColumns {
    const char* table;
    QStringList columns;
};
const TableColumns kColumns[] = {
    {"players",
     {"name", "credits", "pending", "games_played", "tokens_won", "free_credits", "delivered_game",
      "untold_draw"}},
    {"games",
     {"player", "game", "first_draw", "holds", "final_draw", "credits_before", "cost", "tokens_won",
      "credits_after", "played_at"}},
    {"grants", {"player", "after_game", "credits"}},
};

QStringList columnsOfLayout(const TableColumns& table, int version) {
    QStringList columns = table.columns;
    if (version < 3)
        columns.removeAll(QStringLiteral("untold_draw"));
    if (version < 2)
        columns.removeAll(QStringLiteral("played_at"));
    return columns;
}

} // namespace

bool SqliteBooks::createSchema(QString* error) {
    if (!begin()) {
        *error = lastError_;
        return false; // the new file was locked or replaced
    }
    for (const char* statement : kSchema) {
        if (!run(QString::fromLatin1(statement), error)) {
            rollback();
            return false;
        }
    }
    if (!run(QStringLiteral("PRAGMA application_id = %1").arg(kApplicationId), error) ||
        !run(QStringLiteral("PRAGMA user_version = %1").arg(kSchemaVersion), error)) {
        rollback();
        return false;
    }
    if (!commit()) {
        *error = lastError_;
        return false;
    }
    return true;
}

bool SqliteBooks::checkSchema(QString* error, Refusal* refusal) {
    QSqlQuery query(db_);
    if (!query.exec(QStringLiteral("SELECT application_id, user_version FROM "
                                   "pragma_application_id, pragma_user_version")) ||
        !query.next()) {
        *error = query.lastError().text();
        return false;
    }
    if (query.value(0).toLongLong() != kApplicationId) {
        *error = QStringLiteral("the file holds something other than the machinekeeper's books");
        return false;
    }
    const int version = query.value(1).toInt();
    if (version < kOldestReadableVersion || version > kSchemaVersion) {
        if (version > kSchemaVersion)
            *refusal = Refusal::Newer;
        *error = QStringLiteral("the books have layout %1; this program reads layouts %2 to %3")
                     .arg(version)
                     .arg(kOldestReadableVersion)
                     .arg(kSchemaVersion);
        return false;
    }
    schemaVersion_ = version;
    return checkTables(error);
}

bool SqliteBooks::checkTables(QString* error) {
    QSqlQuery query(db_);
    query.setForwardOnly(true);
    if (!query.exec(QStringLiteral("SELECT type, name FROM sqlite_master"))) {
        *error = query.lastError().text();
        return false;
    }
    QStringList tables;
    while (query.next()) {
        const QString type = query.value(0).toString();
        const QString name = query.value(1).toString();
        const bool ours = std::ranges::any_of(kColumns, [&](const TableColumns& table) {
            return name == QLatin1StringView(table.table);
        });
        if (ours && type == u"table") {
            tables << name;
        } else if (ours) {
            *error = QStringLiteral("the books' table %1 is a %2, not a table").arg(name, type);
            return false;
        } else if (!(name.startsWith(u"sqlite_") ||
                     (type == u"index" && name == u"grants_by_player"))) {
            *error = QStringLiteral("the books hold a %1 %2 that the machinekeeper's books never "
                                    "have")
                         .arg(type, name.left(100));
            return false;
        }
    }
    for (const TableColumns& table : kColumns) {
        const QString name = QString::fromLatin1(table.table);
        if (!tables.contains(name)) {
            *error = QStringLiteral("the books have no table %1").arg(name);
            return false;
        }
        QStringList columns;
        if (!query.exec(QStringLiteral("PRAGMA table_info(%1)").arg(name))) {
            *error = query.lastError().text();
            return false;
        }
        while (query.next())
            columns << query.value(1).toString();
        if (columns != columnsOfLayout(table, schemaVersion_)) {
            *error =
                QStringLiteral("the books' table %1 has the columns %2, not those of layout %3")
                    .arg(name, columns.join(u", ").left(300))
                    .arg(schemaVersion_);
            return false;
        }
    }
    return true;
}

// Brings books of an older layout to this one, in one transaction: either all of it or none.
bool SqliteBooks::upgradeSchema(QString* error) {
    if (schemaVersion_ == kSchemaVersion)
        return true;
    if (!begin()) {
        *error = lastError_;
        return false;
    }
    if ((schemaVersion_ < 2 &&
         !run(QStringLiteral("ALTER TABLE games ADD COLUMN played_at INTEGER"), error)) ||
        !run(QStringLiteral("ALTER TABLE players ADD COLUMN untold_draw INTEGER NOT NULL"
                            " DEFAULT 0"),
             error) ||
        !run(QStringLiteral("PRAGMA user_version = %1").arg(kSchemaVersion), error)) {
        rollback();
        return false;
    }
    if (!commit()) {
        *error = lastError_;
        return false;
    }
    schemaVersion_ = kSchemaVersion;
    return true;
}

} // namespace jackwell::books
