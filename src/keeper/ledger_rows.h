#pragma once

// The ledger's rows as every store selects them, so that each store writes only its own SQL
// (its table names, its order, what it keeps beyond these columns).

#include "keeper/ledger_audit.h"

#include <QSqlQuery>
#include <QString>

namespace jackwell::keeper {

// The columns each row reader below expects first, in this order; a store may select more
// after them.
inline const QString kLedgerGameColumns =
    QStringLiteral("player, game, credits_before, cost, tokens_won, credits_after, first_draw,"
                   " holds, final_draw");
inline const QString kLedgerGrantColumns = QStringLiteral("player, after_game, credits");
inline const QString kLedgerPlayerColumns =
    QStringLiteral("name, credits, games_played, tokens_won, free_credits");

// The row `query` stands on; a draw or holds that cannot be read are left at zero, for the
// audit to find.
LedgerGame ledgerGameAt(const QSqlQuery& query);
LedgerGrant ledgerGrantAt(const QSqlQuery& query);
LedgerPlayer ledgerPlayerAt(const QSqlQuery& query);

} // namespace jackwell::keeper
