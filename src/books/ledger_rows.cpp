#include "books/ledger_rows.h"

#include <QVariant>

namespace jackwell::books {

LedgerGame ledgerGameAt(const QSqlQuery& query) {
    LedgerGame game;
    game.player = query.value(0).toString();
    game.game = query.value(1).toLongLong();
    game.creditsBefore = query.value(2).toLongLong();
    game.cost = query.value(3).toLongLong();
    game.tokensWon = query.value(4).toLongLong();
    game.creditsAfter = query.value(5).toLongLong();
    game.firstDraw = decodeCodes(query.value(6).toString()).value_or(machine::ReelCodes{});
    game.holds = decodeHolds(query.value(7).toString()).value_or(machine::HoldMask{});
    game.finalDraw = decodeCodes(query.value(8).toString()).value_or(machine::ReelCodes{});
    return game;
}

LedgerGrant ledgerGrantAt(const QSqlQuery& query) {
    return {query.value(0).toString(), query.value(1).toLongLong(), query.value(2).toLongLong()};
}

LedgerPlayer ledgerPlayerAt(const QSqlQuery& query) {
    return {query.value(0).toString(), query.value(1).toLongLong(), query.value(2).toLongLong(),
            query.value(3).toLongLong(), query.value(4).toLongLong()};
}

std::optional<StoredPlayer> storedPlayerAt(const QSqlQuery& query, QString* error) {
    StoredPlayer stored;
    stored.found = true;
    machine::PlayerRecord& record = stored.record;
    record.credits = query.value(0).toLongLong();
    if (!query.value(1).isNull()) {
        record.pendingFirstDraw = decodeCodes(query.value(1).toString());
        if (!record.pendingFirstDraw) {
            *error = QStringLiteral("the waiting draw of a player is damaged");
            return std::nullopt;
        }
    }
    record.gamesPlayed = query.value(2).toLongLong();
    record.tokensWon = query.value(3).toLongLong();
    record.freeCreditsGranted = query.value(4).toLongLong();
    stored.untoldDraw = query.value(5).toLongLong();
    return stored;
}

std::optional<machine::GameOutcome> gameOutcomeAt(const QSqlQuery& query, int first) {
    const auto firstDraw = decodeCodes(query.value(first).toString());
    const auto holds = decodeHolds(query.value(first + 1).toString());
    const auto finalDraw = decodeCodes(query.value(first + 2).toString());
    if (!firstDraw || !holds || !finalDraw)
        return std::nullopt;
    machine::GameOutcome outcome;
    outcome.firstDraw = *firstDraw;
    outcome.holds = *holds;
    outcome.finalDraw = *finalDraw;
    outcome.creditsBefore = query.value(first + 3).toLongLong();
    outcome.cost = query.value(first + 4).toLongLong();
    outcome.tokensWon = query.value(first + 5).toLongLong();
    outcome.creditsAfter = query.value(first + 6).toLongLong();
    return outcome;
}

} // namespace jackwell::books
