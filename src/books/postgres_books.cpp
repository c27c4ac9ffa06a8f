#include "books/postgres_books.h"

#include "books/ledger_audit.h"
#include "books/ledger_rows.h"

#include <QSqlError>
#include <QVariant>

#include <algorithm>

namespace jackwell::books {

namespace {

// The server's text holds no NUL: a name with one is refused rather than cut short to another
// player's name.
bool isStorableName(const QString& player) {
    return !player.contains(QChar(0));
}

} // namespace

QString PostgresBooks::statementText(Statement statement) {
    switch (statement) {
    case Statement::ReadPlayer:
        return QStringLiteral("SELECT %1 FROM jackwell.players WHERE name = ?")
            .arg(kStoredPlayerColumns);
    case Statement::LockPlayer:
        return statementText(Statement::ReadPlayer) + QStringLiteral(" FOR UPDATE");
    case Statement::InsertPlayer:
        return QStringLiteral("INSERT INTO jackwell.players (name, credits, pending, games_played,"
                              " tokens_won, free_credits, untold_draw) VALUES (?, ?, ?, ?, ?, ?, ?)"
                              " ON CONFLICT (name) DO NOTHING");
    case Statement::UpdatePlayer:
        return QStringLiteral("UPDATE jackwell.players SET credits = ?, pending = ?,"
                              " games_played = ?, tokens_won = ?, free_credits = ?,"
                              " untold_draw = ? WHERE name = ?");
    case Statement::InsertGame:
        return QStringLiteral("INSERT INTO jackwell.games (player, game, first_draw, holds,"
                              " final_draw, credits_before, cost, tokens_won, credits_after,"
                              " machine) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
    case Statement::InsertGrant:
        return QStringLiteral("INSERT INTO jackwell.grants (player, after_game, credits, machine)"
                              " VALUES (?, ?, ?, ?)");
    case Statement::ReadDelivery:
        return QStringLiteral("SELECT p.games_played, COALESCE((SELECT max(d.delivered_game)"
                              " FROM jackwell.deliveries d WHERE d.player = p.name), 0),"
                              " g.first_draw, g.holds, g.final_draw, g.credits_before, g.cost,"
                              " g.tokens_won, g.credits_after, g.machine,"
                              " g.played_at > now() - interval '%1 seconds',"
                              " p.untold_draw = p.games_played + 1 AND p.pending IS NOT NULL"
                              " FROM jackwell.players p LEFT JOIN jackwell.games g"
                              " ON g.player = p.name AND g.game = p.games_played WHERE p.name = ?")
            .arg(kOtherMachineGraceSeconds);
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

std::optional<StoredPlayer> PostgresBooks::readPlayer(const QString& player, bool forUpdate,
                                                      QSqlError* error) {
    QSqlQuery query(db_);
    if (!exec(query, forUpdate ? Statement::LockPlayer : Statement::ReadPlayer, {player})) {
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
    std::optional<StoredPlayer> stored;
    const bool read = attempt([&] {
        QSqlError error;
        stored = readPlayer(player, false, &error);
        return stored ? Step::Done : failed(error);
    });
    if (!read)
        return std::nullopt;
    lastRead_.emplace(player, *stored);
    return stored->record; // a player never seen has a fresh record
}

// Whether the row locked now is the one load() read last, when it read this player.
bool PostgresBooks::isAsRead(const QString& player, const StoredPlayer& stored) {
    if (!lastRead_ || lastRead_->first != player)
        return true;
    const StoredPlayer& read = lastRead_->second;
    if (read.found == stored.found && read.record == stored.record)
        return true;
    changedElsewhere_ = true;
    return fail(QStringLiteral("the books of %1 changed on another machine since they were read")
                    .arg(player.left(64)));
}

// A new player's row is inserted, and a row another machine inserted meanwhile is not
// overwritten: it was not there to be locked.
PostgresBooks::Step PostgresBooks::writePlayer(const StoredPlayer& stored, const QString& player,
                                               const machine::PlayerRecord& record) {
    QVariantList values = {
        record.credits,   pendingDrawValue(record),  record.gamesPlayed,
        record.tokensWon, record.freeCreditsGranted, stored.untoldDrawAfter(record)};
    if (stored.found)
        values.append(player);
    else
        values.prepend(player);
    QSqlQuery query(db_);
    if (!exec(query, stored.found ? Statement::UpdatePlayer : Statement::InsertPlayer, values))
        return failed(query.lastError());
    if (query.numRowsAffected() == 1)
        return Step::Done;
    changedElsewhere_ = true;
    return refused(QStringLiteral("the books of %1 changed on another machine since they were "
                                  "read")
                       .arg(player.left(64)));
}

// The player's row, locked until the change commits, as load() read it.
std::optional<StoredPlayer> PostgresBooks::lockPlayerAsRead(const QString& player, Step* step) {
    QSqlError error;
    std::optional<StoredPlayer> stored = readPlayer(player, true, &error);
    if (!stored) {
        *step = failed(error);
        return std::nullopt;
    }
    if (!isAsRead(player, *stored)) {
        *step = Step::Failed;
        return std::nullopt;
    }
    return stored;
}

bool PostgresBooks::save(const QString& player, const machine::PlayerRecord& record) {
    changedElsewhere_ = false;
    if (!isStorableName(player))
        return fail(QStringLiteral("a name with a NUL character cannot be kept in these books"));
    const bool saved = transaction(
        [&] {
            Step step = Step::Done;
            const std::optional<StoredPlayer> stored = lockPlayerAsRead(player, &step);
            if (!stored)
                return step;
            if (!isBalancedSave(*stored, record))
                return refused(
                    QStringLiteral("refused a change of %1 that would unbalance the books")
                        .arg(player.left(64)));
            if (const Step written = writePlayer(*stored, player, record); written != Step::Done)
                return written;
            const qint64 granted = record.freeCreditsGranted - stored->record.freeCreditsGranted;
            QSqlQuery query(db_);
            if (granted > 0 && !exec(query, Statement::InsertGrant,
                                     {player, record.gamesPlayed, granted, options_.machine}))
                return failed(query.lastError());
            return Step::Done;
        },
        QStringLiteral("BEGIN"),
        [&]() -> std::optional<bool> {
            QSqlError error;
            const std::optional<StoredPlayer> stored = readPlayer(player, false, &error);
            if (!stored)
                failed(error);
            return stored ? std::optional<bool>(stored->found && stored->record == record)
                          : std::nullopt;
        });
    if (saved)
        lastRead_.reset();
    return saved;
}

bool PostgresBooks::commitGame(const QString& player, const machine::GameOutcome& outcome,
                               const machine::PlayerRecord& after) {
    changedElsewhere_ = false;
    if (!isStorableName(player))
        return fail(QStringLiteral("a name with a NUL character cannot be kept in these books"));
    const bool booked = transaction(
        [&] {
            Step step = Step::Done;
            const std::optional<StoredPlayer> stored = lockPlayerAsRead(player, &step);
            if (!stored)
                return step;
            if (!isNextGame(*stored, outcome, after))
                return refused(QStringLiteral("refused a game of %1 that is not the one waiting")
                                   .arg(player.left(64)));
            QSqlQuery query(db_);
            if (!exec(query, Statement::InsertGame,
                      {player, after.gamesPlayed, encodeCodes(outcome.firstDraw),
                       encodeHolds(outcome.holds), encodeCodes(outcome.finalDraw),
                       outcome.creditsBefore, outcome.cost, outcome.tokensWon, outcome.creditsAfter,
                       options_.machine}))
                return failed(query.lastError());
            return writePlayer(*stored, player, after);
        },
        QStringLiteral("BEGIN"),
        [&]() -> std::optional<bool> {
            // A game is known by its player, its number and the machine that booked it.
            QSqlQuery query(db_);
            if (!exec(query,
                      QStringLiteral(
                          "SELECT count(*) FROM jackwell.games WHERE player = ? AND game = ?"
                          " AND machine = ? AND first_draw = ? AND final_draw = ?"),
                      {player, after.gamesPlayed, options_.machine, encodeCodes(outcome.firstDraw),
                       encodeCodes(outcome.finalDraw)}) ||
                !query.next()) {
                failed(query.lastError());
                return std::nullopt;
            }
            return query.value(0).toLongLong() > 0;
        });
    if (booked)
        lastRead_.reset(); // a second change needs a second read
    return booked;
}

std::optional<Delivery> PostgresBooks::delivery(const QString& player) {
    if (!isStorableName(player))
        return Delivery{}; // never booked
    std::optional<Delivery> found;
    QString damage;
    const bool read = attempt([&] {
        QSqlQuery query(db_);
        if (!exec(query, Statement::ReadDelivery, {player}))
            return failed(query.lastError());
        Delivery delivery;
        if (query.next()) {
            delivery.lastGame = query.value(0).toLongLong();
            delivery.deliveredGame = query.value(1).toLongLong();
            delivery.firstDrawUntold = query.value(11).toBool();
            if (delivery.lastGame > 0) {
                delivery.lastOutcome = gameOutcomeAt(query, 2);
                if (!delivery.lastOutcome)
                    damage = query.value(2).isNull() ? QStringLiteral("a booked game is missing")
                                                     : QStringLiteral("a booked game is damaged");
                else
                    delivery.onItsWayElsewhere = delivery.lastGame > delivery.deliveredGame &&
                                                 query.value(9).toString() != options_.machine &&
                                                 query.value(10).toBool();
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
    return found;
}

bool PostgresBooks::markDelivered(const std::vector<std::pair<QString, qint64>>& marks) {
    return mark(Statement::MarkDelivered, marks);
}

bool PostgresBooks::markFirstDrawsTold(const std::vector<std::pair<QString, qint64>>& marks) {
    return mark(Statement::MarkFirstDrawTold, marks);
}

bool PostgresBooks::mark(Statement statement,
                         const std::vector<std::pair<QString, qint64>>& marks) {
    if (std::ranges::all_of(marks, [](const auto& mark) { return !isStorableName(mark.first); }))
        return true;
    return transaction([&] {
        QSqlQuery query(db_);
        // A mark lost with the server only means something told again.
        if (!query.exec(QStringLiteral("SET LOCAL synchronous_commit = off")))
            return failed(query.lastError());
        for (const auto& [player, game] : marks) {
            const QVariantList values = statement == Statement::MarkDelivered
                                            ? QVariantList{player, options_.machine, game, player}
                                            : QVariantList{player, game};
            if (isStorableName(player) && !exec(query, statement, values))
                return failed(query.lastError());
        }
        return Step::Done;
    });
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
            if (!query.exec(QStringLiteral("SELECT %1, machine, played_at FROM jackwell.games"
                                           " ORDER BY player COLLATE \"C\", game")
                                .arg(kLedgerGameColumns)))
                return unreadable(QStringLiteral("games"));
            while (query.next()) {
                LedgerGame game = ledgerGameAt(query);
                game.machine = query.value(9).toString();
                game.playedAt = query.value(10).toDateTime();
                ledger.games.push_back(std::move(game));
            }
            if (!query.exec(
                    QStringLiteral("SELECT %1 FROM jackwell.grants").arg(kLedgerGrantColumns)))
                return unreadable(QStringLiteral("grants"));
            while (query.next())
                ledger.grants.push_back(ledgerGrantAt(query));
            if (!query.exec(
                    QStringLiteral("SELECT %1 FROM jackwell.players ORDER BY name COLLATE \"C\"")
                        .arg(kLedgerPlayerColumns)))
                return unreadable(QStringLiteral("players"));
            while (query.next())
                ledger.players.push_back(ledgerPlayerAt(query));
            return Step::Done;
        },
        QStringLiteral("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY"));
}

} // namespace jackwell::books
