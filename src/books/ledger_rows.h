#pragma once

// The ledger's rows as every store selects them, so that each store writes only its own SQL
// (its table names, its order, what it keeps beyond these columns).

#include "books/books_rules.h"
#include "books/ledger_audit.h"

#include <QSqlQuery>
#include <QString>

#include <optional>

namespace jackwell::books {

// The columns each row reader below expects first, in this order; a store may select more
// after them.
inline const QString kLedgerGameColumns =
    QStringLiteral("player, game, credits_before, cost, tokens_won, credits_after, first_draw,"
                   " holds, final_draw");
inline const QString kLedgerGrantColumns = QStringLiteral("player, after_game, credits");
inline const QString kLedgerPlayerColumns =
    QStringLiteral("name, credits, games_played, tokens_won, free_credits");

// The row `query` stands on; a draw or holds that cannot be read are left at zero, for the
// audit to find. A count or an amount that is no whole number, or beyond what any game could
// reach (2^53, which reports still compute with exactly), is left at zero too and named in
// `fault` (when it is empty): such books were written by something other than a robot.
LedgerGame ledgerGameAt(const QSqlQuery& query, QString* fault);
LedgerGrant ledgerGrantAt(const QSqlQuery& query, QString* fault);
LedgerPlayer ledgerPlayerAt(const QSqlQuery& query, QString* fault);

// A player's row as a change reads it before it is made, from column 0 on.
inline const QString kStoredPlayerColumns =
    QStringLiteral("credits, pending, games_played, tokens_won, free_credits, untold_draw");
// The row `query` stands on, found; nullopt (and `error` set) when its waiting draw cannot be
// read.
std::optional<StoredPlayer> storedPlayerAt(const QSqlQuery& query, QString* error);

// A booked game's draws and credits, from column `first` on in this order: first_draw, holds,
// final_draw, credits_before, cost, tokens_won, credits_after. nullopt when a draw or the holds
// cannot be read.
std::optional<machine::GameOutcome> gameOutcomeAt(const QSqlQuery& query, int first);

} // namespace jackwell::books
