#include "keeper/ledger_rows.h"

#include "keeper/books_rules.h"

#include <QVariant>

namespace jackwell::keeper {

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

} // namespace jackwell::keeper
