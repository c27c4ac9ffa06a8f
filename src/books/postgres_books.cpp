#include "books/postgres_books.h"

#include "books/ledger_audit.h"
#include "books/ledger_rows.h"
#include "platform/quoted.h"

#include <QSqlError>
#include <QStringList>
#include <QVariant>

#include <algorithm>

namespace jackwell::books {

namespace {

// The server's text holds no NUL: a name with one is refused rather than cut short to another
// player's name.
bool isStorableName(const QString& player) {
    return !player.contains(QChar(0));
}

// A player's columns qualified by `table`, in the order storedPlayerAt() reads them.
QString qualifiedPlayerColumns(const QString& table) {
    QStringList columns = kStoredPlayerColumns.split(QStringLiteral(", "));
    for (QString& column : columns)
        column.prepend(table + u'.');
    return columns.join(QStringLiteral(", "));
}

// Where a player's row read with kStoredPlayerColumns ends.
int storedPlayerColumnCount() {
    return int(kStoredPlayerColumns.count(u',')) + 1;
}

// The values of a player's row for SetPlayer, then for AsRead.
QVariantList rowValues(const machine::PlayerRecord& record) {
    return {record.credits, pendingDrawValue(record), record.gamesPlayed, record.tokensWon,
            record.freeCreditsGranted};
}

// The first draw told on its own that a change leaves untold, for SetPlayer: a new draw's game
// when the change draws one, else NULL, which keeps the row's own (another machine may have
// marked it told since it was read).
QVariant untoldDrawValue(const StoredPlayer& stored, const machine::PlayerRecord& record) {
    const qint64 untold = stored.untoldDrawAfter(record);
    return untold != stored.untoldDraw ? QVariant(untold) : QVariant(QMetaType::fromType<qint64>());
}

// A change is made only on the row as it was read: the statement finds no row when another
// machine changed it meanwhile, and then changes nothing. Its values: the row after, the
// untold draw, the name, the row as read.
const QString kSetPlayer = QStringLiteral(
    "UPDATE jackwell.players SET credits = ?, pending = ?, games_played = ?, tokens_won = ?,"
    " free_credits = ?, untold_draw = COALESCE(?, untold_draw) WHERE name = ? AND credits = ? AND "
    "pending IS NOT DISTINCT FROM ?"
    " AND games_played = ? AND tokens_won = ? AND free_credits = ?");
// Free credits granted with a change (after it: the credits twice, and the machine).
const QString kGrantAlong =
    QStringLiteral("granted AS (INSERT INTO jackwell.grants (player, after_game, credits, machine)"
                   " SELECT name, games_played, ?, ? FROM changed WHERE ? > 0)");

} // namespace

QString PostgresBooks::statementText(Statement statement) {
    switch (statement) {
    case Statement::ReadPlayer:
        return QStringLiteral("SELECT %1 FROM jackwell.players WHERE name = ?")
            .arg(kStoredPlayerColumns);
    case Statement::SaveNewPlayer:
        // A row another machine inserted meanwhile is not overwritten: it was not there when
        // the player was read.
        return QStringLiteral("WITH changed AS (INSERT INTO jackwell.players (name, credits,"
                              " pending, games_played, tokens_won, free_credits, untold_draw)"
                              " VALUES (?, ?, ?, ?, ?, ?, ?) ON CONFLICT (name) DO NOTHING"
                              " RETURNING name, games_played), %1 SELECT count(*) FROM changed")
            .arg(kGrantAlong);
    case Statement::SavePlayer:
        return QStringLiteral(
                   "WITH changed AS (%1 RETURNING name, games_played), %2 SELECT count(*) FROM"
                   " changed")
            .arg(kSetPlayer, kGrantAlong);
    case Statement::BookGame:
        return QStringLiteral("WITH changed AS (%1 RETURNING name), booked AS (INSERT INTO"
                              " jackwell.games (player, game, first_draw, holds, final_draw,"
                              " credits_before, cost, tokens_won, credits_after, machine)"
                              " SELECT name, ?, ?, ?, ?, ?, ?, ?, ?, ? FROM changed RETURNING 1)"
                              " SELECT count(*) FROM booked")
            .arg(kSetPlayer);
    case Statement::ReadDelivery:
        // The player's row comes along, for the load() that follows.
        return QStringLiteral("SELECT %1, p.games_played, COALESCE((SELECT max(d.delivered_game)"
                              " FROM jackwell.deliveries d WHERE d.player = p.name), 0),"
                              " g.first_draw, g.holds, g.final_draw, g.credits_before, g.cost,"
                              " g.tokens_won, g.credits_after,"
                              // Booked by another machine moments ago, by the robot that still
                              // runs there: the session holding the lock on the machine's name
                              // began before the game (a robot killed or stopped has lost the
                              // lock; one started again holds it from a later session). A
                              // session whose start the server does not show counts as older.
                              " CASE WHEN g.machine <> ? AND g.played_at > now() - interval"
                              " '%2 seconds' THEN EXISTS (SELECT 1 FROM jackwell.machines m"
                              " JOIN pg_locks l ON l.locktype = 'advisory' AND l.granted AND"
                              " l.classid = %3 AND l.objid = m.id::oid AND l.objsubid = 2"
                              " LEFT JOIN pg_stat_activity a ON a.pid = l.pid"
                              " WHERE m.name = g.machine AND (a.backend_start IS NULL OR"
                              " a.backend_start <= g.played_at)) ELSE false END"
                              " FROM jackwell.players p LEFT JOIN jackwell.games g"
                              " ON g.player = p.name AND g.game = p.games_played WHERE p.name = ?")
            .arg(qualifiedPlayerColumns(QStringLiteral("p")))
            .arg(kOtherMachineGraceSeconds)
            .arg(kLockClass);
    case Statement::MarkDelivered:
        return QStringLiteral("INSERT INTO jackwell.deliveries (player, machine, delivered_game)"
                              " SELECT ?, ?, ? WHERE EXISTS (SELECT 1 FROM jackwell.players"
                              " WHERE name = ?) ON CONFLICT (player, machine) DO UPDATE"
                              " SET delivered_game = greatest(jackwell.deliveries.delivered_game,"
                              " excluded.delivered_game)");
    case Statement::MarkFirstDrawTold:
        return QStringLiteral("UPDATE jackwell.players SET untold_draw = 0 WHERE name = ? AND"
                              " untold_draw = ?");
    }
    return {};
}

std::optional<StoredPlayer> PostgresBooks::readPlayer(const QString& player, QSqlError* error) {
    QSqlQuery query(db_);
    if (!exec(query, Statement::ReadPlayer, {player})) {
        *error = query.lastError();
        return std::nullopt;
    }
    std::optional<StoredPlayer> stored = StoredPlayer{};
    QString damage;
    if (query.next())
        stored = storedPlayerAt(query, &damage);
    query.finish();
    if (!stored)
        *error = QSqlError(damage, {}, QSqlError::UnknownError);
    return stored;
}

std::optional<machine::PlayerRecord> PostgresBooks::load(const QString& player) {
    lastRead_.reset();
    if (!isStorableName(player)) {
        fail(QStringLiteral("a name with a NUL character cannot be kept in these books"));
        return std::nullopt;
    }
    if (readAlong_ && readAlong_->first == player) {
        lastRead_ = readAlong_;
        return lastRead_->second.record;
    }
    std::optional<StoredPlayer> stored;
    const bool read = attempt([&] {
        QSqlError error;
        stored = readPlayer(player, &error);
        return stored ? Step::Done : failed(error);
    });
    if (!read)
        return std::nullopt;
    lastRead_.emplace(player, *stored);
    return stored->record; // a player never seen has a fresh record
}

// The row as load() read it, when it read this player; else as it is now.
std::optional<StoredPlayer> PostgresBooks::rowAsRead(const QString& player, Step* step) {
    if (lastRead_ && lastRead_->first == player)
        return lastRead_->second;
    QSqlError error;
    std::optional<StoredPlayer> stored = readPlayer(player, &error);
    if (!stored)
        *step = failed(error);
    return stored;
}

// One change, on its own as one transaction or as part of the batch under way.
bool PostgresBooks::change(const QString& player, const Write& write, const LookUp& lookUp) {
    changedElsewhere_ = false;
    readAlong_.reset(); // the row read along is not the row after the change
    if (!isStorableName(player))
        return fail(QStringLiteral("a name with a NUL character cannot be kept in these books"));
    const auto body = [&] {
        Step step = Step::Done;
        const std::optional<StoredPlayer> stored = rowAsRead(player, &step);
        return stored ? write(*stored) : step;
    };
    const bool made =
        batch_ ? changeInBatch(body, lookUp) : transaction(body, QStringLiteral("BEGIN"), lookUp);
    if (made)
        lastRead_.reset(); // a second change needs a second read
    return made;
}

// How a change's statement went: it found the row as it was read, or another machine had
// changed it.
PostgresBooks::Step PostgresBooks::changed(QSqlQuery& query, const QString& player) {
    if (!query.next())
        return failed(query.lastError());
    const bool made = query.value(0).toLongLong() > 0;
    query.finish();
    if (made)
        return Step::Done;
    changedElsewhere_ = true;
    return refused(QStringLiteral("the books of %1 changed on another machine since they were "
                                  "read")
                       .arg(quotedName(player)));
}

bool PostgresBooks::save(const QString& player, const machine::PlayerRecord& record) {
    return change(
        player,
        [&](const StoredPlayer& stored) {
            if (!isBalancedSave(stored, record))
                return refused(
                    QStringLiteral("refused a change of %1 that would unbalance the books")
                        .arg(quotedName(player)));
            const qint64 granted = record.freeCreditsGranted - stored.record.freeCreditsGranted;
            QVariantList values = rowValues(record);
            if (stored.found) {
                values << untoldDrawValue(stored, record) << player << rowValues(stored.record);
            } else {
                values.prepend(player);
                values << stored.untoldDrawAfter(record);
            }
            values << granted << options_.machine << granted;
            QSqlQuery query(db_);
            if (!exec(query, stored.found ? Statement::SavePlayer : Statement::SaveNewPlayer,
                      values))
                return failed(query.lastError());
            return changed(query, player);
        },
        saveLookUp(player, record));
}

bool PostgresBooks::commitGame(const QString& player, const machine::GameOutcome& outcome,
                               const machine::PlayerRecord& after) {
    return change(
        player,
        [&](const StoredPlayer& stored) {
            if (!isNextGame(stored, outcome, after))
                return refused(QStringLiteral("refused a game of %1 that is not the one waiting")
                                   .arg(quotedName(player)));
            QSqlQuery query(db_);
            const QVariantList values = rowValues(after) +
                                        QVariantList{untoldDrawValue(stored, after), player} +
                                        rowValues(stored.record) +
                                        QVariantList{after.gamesPlayed,
                                                     encodeCodes(outcome.firstDraw),
                                                     encodeHolds(outcome.holds),
                                                     encodeCodes(outcome.finalDraw),
                                                     outcome.creditsBefore,
                                                     outcome.cost,
                                                     outcome.tokensWon,
                                                     outcome.creditsAfter,
                                                     options_.machine};
            if (!exec(query, Statement::BookGame, values))
                return failed(query.lastError());
            return changed(query, player);
        },
        gameLookUp(player, outcome, after));
}

// A player's row is known by what it was to become. (What each look-up holds is copied: a
// batch's look-ups outlive the calls that made them.)
PostgresBooks::LookUp PostgresBooks::saveLookUp(const QString& player,
                                                const machine::PlayerRecord& record) {
    return [this, player, record]() -> std::optional<bool> {
        QSqlError error;
        const std::optional<StoredPlayer> stored = readPlayer(player, &error);
        if (!stored)
            failed(error);
        return stored ? std::optional<bool>(stored->found && stored->record == record)
                      : std::nullopt;
    };
}

// A game is known by its player, its number and the machine that booked it.
PostgresBooks::LookUp PostgresBooks::gameLookUp(const QString& player,
                                                const machine::GameOutcome& outcome,
                                                const machine::PlayerRecord& after) {
    return [this, player, game = after.gamesPlayed, first = encodeCodes(outcome.firstDraw),
            final = encodeCodes(outcome.finalDraw)]() -> std::optional<bool> {
        QSqlQuery query(db_);
        if (!exec(query,
                  QStringLiteral("SELECT count(*) FROM jackwell.games WHERE player = ? AND game = ?"
                                 " AND machine = ? AND first_draw = ? AND final_draw = ?"),
                  {player, game, options_.machine, first, final}) ||
            !query.next()) {
            failed(query.lastError());
            return std::nullopt;
        }
        return query.value(0).toLongLong() > 0;
    };
}

std::optional<Delivery> PostgresBooks::delivery(const QString& player) {
    readAlong_.reset();
    if (!isStorableName(player))
        return Delivery{}; // never booked
    std::optional<Delivery> found;
    std::optional<StoredPlayer> stored = StoredPlayer{};
    QString damage;
    const bool read = attempt([&] {
        QSqlQuery query(db_);
        if (!exec(query, Statement::ReadDelivery, {options_.machine, player}))
            return failed(query.lastError());
        Delivery delivery;
        if (query.next()) {
            QString unreadable; // the load() that follows finds it
            stored = storedPlayerAt(query, &unreadable);
            delivery.firstDrawUntold = stored && stored->hasUntoldDraw();
            const int at = storedPlayerColumnCount();
            delivery.lastGame = query.value(at).toLongLong();
            delivery.deliveredGame = query.value(at + 1).toLongLong();
            if (delivery.lastGame > 0) {
                delivery.lastOutcome = gameOutcomeAt(query, at + 2);
                if (!delivery.lastOutcome)
                    damage = query.value(at + 2).isNull()
                                 ? QStringLiteral("a booked game is missing")
                                 : QStringLiteral("a booked game is damaged");
                else
                    delivery.onItsWayElsewhere =
                        delivery.lastGame > delivery.deliveredGame && query.value(at + 9).toBool();
            }
        }
        query.finish();
        found = delivery;
        return Step::Done;
    });
    if (!read)
        return std::nullopt;
    if (!damage.isEmpty()) {
        fail(damage);
        return std::nullopt;
    }
    if (stored)
        readAlong_.emplace(player, *stored);
    return found;
}

bool PostgresBooks::markDelivered(const std::vector<std::pair<QString, qint64>>& marks) {
    if (std::ranges::all_of(marks, [](const auto& mark) { return !isStorableName(mark.first); }))
        return true;
    if (batchBegun_)
        return markInBatch(marks);
    return transaction([&] {
        QSqlQuery query(db_);
        // A mark lost with the server only means a result told again.
        if (!query.exec(QStringLiteral("SET LOCAL synchronous_commit = off")))
            return failed(query.lastError());
        for (const auto& [player, game] : marks) {
            if (isStorableName(player) &&
                !exec(query, Statement::MarkDelivered, {player, options_.machine, game, player}))
                return failed(query.lastError());
        }
        return Step::Done;
    });
}

// Rare (a first draw told on its own): one statement a mark.
bool PostgresBooks::markFirstDrawsTold(const std::vector<std::pair<QString, qint64>>& marks) {
    if (std::ranges::all_of(marks, [](const auto& mark) { return !isStorableName(mark.first); }))
        return true;
    const auto body = [&] {
        QSqlQuery query(db_);
        for (const auto& [player, game] : marks) {
            if (isStorableName(player) &&
                !exec(query, Statement::MarkFirstDrawTold, {player, game}))
                return failed(query.lastError());
        }
        return Step::Done;
    };
    return batchBegun_ ? changeInBatch(body, {}) : transaction(body);
}

// Marks that come while a batch's transaction is open are one statement of it, committed with
// its changes.
bool PostgresBooks::markInBatch(const std::vector<std::pair<QString, qint64>>& marks) {
    QStringList rows;
    QVariantList values = {options_.machine};
    for (const auto& [player, game] : marks) {
        if (!isStorableName(player))
            continue;
        rows << QStringLiteral("(?, ?::bigint)");
        values << player << game;
    }
    const QString text =
        QStringLiteral("INSERT INTO jackwell.deliveries (player, machine, delivered_game)"
                       " SELECT v.player, ?, max(v.game) FROM (VALUES %1) v (player, game)"
                       " WHERE EXISTS (SELECT 1 FROM jackwell.players WHERE name = v.player)"
                       " GROUP BY v.player ON CONFLICT (player, machine) DO UPDATE"
                       " SET delivered_game = greatest(jackwell.deliveries.delivered_game,"
                       " excluded.delivered_game)")
            .arg(rows.join(QStringLiteral(", ")));
    return changeInBatch(
        [&] {
            QSqlQuery query(db_);
            return exec(query, text, values) ? Step::Done : failed(query.lastError());
        },
        {});
}

void PostgresBooks::whenDurable(std::function<void(bool durable)> then) {
    QMetaObject::invokeMethod(
        &context_, [then = std::move(then)] { then(true); }, Qt::QueuedConnection);
}

// The three tables as they were at one moment, while robots may be booking into them.
bool PostgresBooks::readLedger(Ledger& ledger) {
    return transaction(
        [&] {
            ledger = {};
            QSqlQuery query(db_);
            query.setForwardOnly(true);
            auto unreadable = [&](const QString& what) {
                const Step step = failed(query.lastError());
                lastError_ = QStringLiteral("cannot read the %1: %2").arg(what, lastError_);
                return step;
            };
            QString fault;
            auto damaged = [&] {
                lastError_ = QStringLiteral("the books are damaged: ") + fault;
                return Step::Failed;
            };
            if (!query.exec(QStringLiteral("SELECT %1, machine, played_at FROM jackwell.games"
                                           " ORDER BY player COLLATE \"C\", game")
                                .arg(kLedgerGameColumns)))
                return unreadable(QStringLiteral("games"));
            while (query.next()) {
                LedgerGame game = ledgerGameAt(query, &fault);
                game.machine = query.value(9).toString();
                game.playedAt = query.value(10).toDateTime();
                ledger.games.push_back(std::move(game));
            }
            if (!query.exec(
                    QStringLiteral("SELECT %1 FROM jackwell.grants").arg(kLedgerGrantColumns)))
                return unreadable(QStringLiteral("grants"));
            while (query.next())
                ledger.grants.push_back(ledgerGrantAt(query, &fault));
            if (!query.exec(
                    QStringLiteral("SELECT %1 FROM jackwell.players ORDER BY name COLLATE \"C\"")
                        .arg(kLedgerPlayerColumns)))
                return unreadable(QStringLiteral("players"));
            while (query.next())
                ledger.players.push_back(ledgerPlayerAt(query, &fault));
            return fault.isEmpty() ? Step::Done : damaged();
        },
        QStringLiteral("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY"));
}

} // namespace jackwell::books
