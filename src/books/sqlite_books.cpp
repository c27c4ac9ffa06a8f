#include "books/sqlite_books.h"

#include "books/books_rules.h"
#include "books/ledger_audit.h"
#include "books/ledger_rows.h"
#include "platform/quoted.h"

#include <QDateTime>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace jackwell::books {

namespace {

// One stored row of a player, read inside the caller's transaction.
std::optional<StoredPlayer> readPlayer(QSqlDatabase& db, const QString& player, QString* error) {
    QSqlQuery query(db);
    query.prepare(QStringLiteral("SELECT %1, delivered_game FROM players WHERE name = ?")
                      .arg(kStoredPlayerColumns));
    query.addBindValue(player);
    if (!query.exec()) {
        *error = query.lastError().text();
        return std::nullopt;
    }
    if (!query.next())
        return StoredPlayer{};
    std::optional<StoredPlayer> stored = storedPlayerAt(query, error);
    if (stored)
        stored->deliveredGame = query.value(6).toLongLong();
    return stored;
}

bool writePlayer(QSqlDatabase& db, const QString& player, const StoredPlayer& stored,
                 const machine::PlayerRecord& record, QString* error) {
    QSqlQuery query(db);
    query.prepare(QStringLiteral(
        "INSERT INTO players (name, credits, pending, games_played, tokens_won, free_credits,"
        " untold_draw) VALUES (?, ?, ?, ?, ?, ?, ?) ON CONFLICT (name) DO UPDATE SET"
        " credits = excluded.credits, pending = excluded.pending,"
        " games_played = excluded.games_played, tokens_won = excluded.tokens_won,"
        " free_credits = excluded.free_credits, untold_draw = excluded.untold_draw"));
    query.addBindValue(player);
    query.addBindValue(record.credits);
    query.addBindValue(pendingDrawValue(record));
    query.addBindValue(record.gamesPlayed);
    query.addBindValue(record.tokensWon);
    query.addBindValue(record.freeCreditsGranted);
    query.addBindValue(stored.untoldDrawAfter(record));
    if (query.exec())
        return true;
    *error = query.lastError().text();
    return false;
}

} // namespace

bool SqliteBooks::begin() {
    if (failedForGood_ || (!batch_ && !stillOurFile()))
        return false;
    QString error;
    // Inside a batch each change is a savepoint of the batch's transaction. Otherwise IMMEDIATE
    // takes the write lock at once, so what is read inside stays true until COMMIT.
    if (run(batch_ ? QStringLiteral("SAVEPOINT change") : QStringLiteral("BEGIN IMMEDIATE"),
            &error))
        return true;
    return fail(error);
}

bool SqliteBooks::commit() {
    QString error;
    if (failedForGood_ || (!batch_ && !stillOurFile())) {
        rollback();
        return fail(lastError_);
    }
    if (run(batch_ ? QStringLiteral("RELEASE change") : QStringLiteral("COMMIT"), &error))
        return true;
    rollback();
    return fail(error);
}

void SqliteBooks::rollback() {
    QString ignored;
    if (batch_) {
        run(QStringLiteral("ROLLBACK TO change"), &ignored);
        run(QStringLiteral("RELEASE change"), &ignored);
    } else {
        run(QStringLiteral("ROLLBACK"), &ignored);
    }
}

void SqliteBooks::whenDurable(std::function<void(bool durable)> then) {
    if (!syncThread_)
        syncThread_ = std::make_unique<SqliteSyncThread>(path_);
    syncThread_->sync(std::move(then));
}

bool SqliteBooks::beginBatch() {
    if (batch_)
        return true;
    if (!begin())
        return false;
    batch_ = true;
    return true;
}

bool SqliteBooks::commitBatch() {
    if (!batch_)
        return true;
    batch_ = false;
    return commit();
}

void SqliteBooks::rollbackBatch() {
    if (!batch_)
        return;
    batch_ = false;
    rollback();
}

bool SqliteBooks::fail(const QString& what) {
    lastError_ = what;
    return false;
}

std::optional<machine::PlayerRecord> SqliteBooks::load(const QString& player) {
    QString error;
    const std::optional<StoredPlayer> stored = readPlayer(db_, player, &error);
    if (!stored) {
        fail(error);
        return std::nullopt;
    }
    return stored->record; // a player never seen has a fresh record
}

const QString kRowNotWritten = QStringLiteral("the player's row could not be written");

// One change to a player's row in a transaction of its own: the row as stored is read, `change`
// checks it and writes what changes (returning the fault, empty when done), and the whole is
// committed, or on any fault rolled back and the fault said.
bool SqliteBooks::changePlayer(const QString& player,
                               const std::function<QString(const StoredPlayer&)>& change) {
    if (!begin())
        return false;
    QString error;
    const std::optional<StoredPlayer> stored = readPlayer(db_, player, &error);
    if (stored)
        error = change(*stored);
    if (!error.isEmpty()) {
        rollback();
        return fail(error);
    }
    return commit();
}

bool SqliteBooks::save(const QString& player, const machine::PlayerRecord& record) {
    return changePlayer(player, [&](const StoredPlayer& stored) -> QString {
        if (!isBalancedSave(stored, record))
            return QStringLiteral("refused a change of %1 that would unbalance the books")
                .arg(quotedName(player));
        QString error;
        if (!writePlayer(db_, player, stored, record, &error))
            return error.isEmpty() ? kRowNotWritten : error;
        const qint64 granted = record.freeCreditsGranted - stored.record.freeCreditsGranted;
        if (granted <= 0)
            return {};
        QSqlQuery query(db_);
        query.prepare(
            QStringLiteral("INSERT INTO grants (player, after_game, credits) VALUES (?, ?, ?)"));
        query.addBindValue(player);
        query.addBindValue(record.gamesPlayed);
        query.addBindValue(granted);
        return query.exec() ? QString() : query.lastError().text();
    });
}

bool SqliteBooks::commitGame(const QString& player, const machine::GameOutcome& outcome,
                             const machine::PlayerRecord& after) {
    return changePlayer(player, [&](const StoredPlayer& stored) -> QString {
        if (!isNextGame(stored, outcome, after))
            return QStringLiteral("refused a game of %1 that is not the one waiting")
                .arg(quotedName(player));
        QSqlQuery query(db_);
        query.prepare(QStringLiteral(
            "INSERT INTO games (player, game, first_draw, holds, final_draw, credits_before, cost,"
            " tokens_won, credits_after, played_at) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
        query.addBindValue(player);
        query.addBindValue(after.gamesPlayed);
        query.addBindValue(encodeCodes(outcome.firstDraw));
        query.addBindValue(encodeHolds(outcome.holds));
        query.addBindValue(encodeCodes(outcome.finalDraw));
        query.addBindValue(outcome.creditsBefore);
        query.addBindValue(outcome.cost);
        query.addBindValue(outcome.tokensWon);
        query.addBindValue(outcome.creditsAfter);
        query.addBindValue(QDateTime::currentSecsSinceEpoch());
        if (!query.exec())
            return query.lastError().text();
        QString error;
        if (!writePlayer(db_, player, stored, after, &error))
            return error.isEmpty() ? kRowNotWritten : error;
        return {};
    });
}

std::optional<Delivery> SqliteBooks::delivery(const QString& player) {
    QString error;
    const std::optional<StoredPlayer> stored = readPlayer(db_, player, &error);
    if (!stored) {
        fail(error);
        return std::nullopt;
    }
    Delivery delivery;
    delivery.lastGame = stored->record.gamesPlayed;
    delivery.deliveredGame = stored->deliveredGame;
    delivery.firstDrawUntold = stored->hasUntoldDraw();
    if (delivery.lastGame == 0)
        return delivery;

    QSqlQuery query(db_);
    query.prepare(QStringLiteral("SELECT first_draw, holds, final_draw, credits_before, cost,"
                                 " tokens_won, credits_after FROM games WHERE player = ? AND"
                                 " game = ?"));
    query.addBindValue(player);
    query.addBindValue(delivery.lastGame);
    if (!query.exec() || !query.next()) {
        fail(query.lastError().isValid() ? query.lastError().text()
                                         : QStringLiteral("a booked game is missing"));
        return std::nullopt;
    }
    delivery.lastOutcome = gameOutcomeAt(query, 0);
    if (!delivery.lastOutcome) {
        fail(QStringLiteral("a booked game is damaged"));
        return std::nullopt;
    }
    return delivery;
}

bool SqliteBooks::markDelivered(const std::vector<std::pair<QString, qint64>>& marks) {
    return mark(QStringLiteral("UPDATE players SET delivered_game = max(delivered_game, ?)"
                               " WHERE name = ?"),
                marks);
}

bool SqliteBooks::markFirstDrawsTold(const std::vector<std::pair<QString, qint64>>& marks) {
    return mark(QStringLiteral("UPDATE players SET untold_draw = 0 WHERE untold_draw = ? AND"
                               " name = ?"),
                marks);
}

// Runs `statement` (a game number, then a player) for each mark, all or none.
bool SqliteBooks::mark(const QString& statement,
                       const std::vector<std::pair<QString, qint64>>& marks) {
    if (marks.empty())
        return true;
    bool done = begin();
    if (done) {
        QSqlQuery query(db_);
        query.prepare(statement);
        for (const auto& [player, game] : marks) {
            query.addBindValue(game);
            query.addBindValue(player);
            if (!query.exec()) {
                done = fail(query.lastError().text());
                break;
            }
        }
        query.finish();
        if (done)
            done = commit();
        else
            rollback();
    }
    return done;
}

bool SqliteBooks::readLedger(Ledger& ledger) {
    ledger = {};
    QSqlQuery query(db_);
    query.setForwardOnly(true);
    auto unreadable = [&](const QString& what) {
        return fail(QStringLiteral("cannot read the %1: %2").arg(what, query.lastError().text()));
    };
    // One read transaction: the three tables as they were at one moment.
    QString error;
    if (!batch_ && !run(QStringLiteral("BEGIN"), &error))
        return fail(error);
    QString fault;
    const bool read = [&] {
        // Books of the first layout kept no times.
        const QString playedAt =
            schemaVersion_ >= 2 ? QStringLiteral("played_at") : QStringLiteral("NULL");
        if (!query.exec(QStringLiteral("SELECT %1, %2 FROM games ORDER BY player, game")
                            .arg(kLedgerGameColumns, playedAt)))
            return unreadable(QStringLiteral("games"));
        while (query.next()) {
            LedgerGame game = ledgerGameAt(query, &fault);
            if (!query.isNull(9))
                game.playedAt = QDateTime::fromSecsSinceEpoch(query.value(9).toLongLong(), Qt::UTC);
            ledger.games.push_back(std::move(game));
        }
        if (!query.exec(QStringLiteral("SELECT %1 FROM grants").arg(kLedgerGrantColumns)))
            return unreadable(QStringLiteral("grants"));
        while (query.next())
            ledger.grants.push_back(ledgerGrantAt(query, &fault));
        if (!query.exec(
                QStringLiteral("SELECT %1 FROM players ORDER BY name").arg(kLedgerPlayerColumns)))
            return unreadable(QStringLiteral("players"));
        while (query.next())
            ledger.players.push_back(ledgerPlayerAt(query, &fault));
        return fault.isEmpty() || fail(QStringLiteral("the books are damaged: ") + fault);
    }();
    query.finish();
    if (!batch_)
        run(QStringLiteral("COMMIT"), &error);
    return read;
}

} // namespace jackwell::books
