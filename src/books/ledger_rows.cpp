#include "books/ledger_rows.h"

#include "platform/quoted.h"

#include <QVariant>

#include <cmath>
#include <utility>

namespace jackwell::books {

namespace {

std::optional<qint64> wholeNumber(const QVariant& value) {
    constexpr qint64 kLargest = qint64(1) << 53;
    qint64 number = 0;
    if (value.typeId() == QMetaType::Double) {
        const double real = value.toDouble();
        if (!std::isfinite(real) || real != std::trunc(real) || std::fabs(real) > double(kLargest))
            return std::nullopt;
        number = qint64(real);
    } else {
        bool whole = false;
        number = value.toLongLong(&whole);
        if (!whole)
            return std::nullopt;
    }
    if (number > kLargest || number < -kLargest)
        return std::nullopt;
    return number;
}

// Reads the numbers of one row, naming the first that is out of range.
class RowNumbers {
public:
    RowNumbers(const QSqlQuery& query, QString what, QString* fault)
        : query_(query)
        , what_(std::move(what))
        , fault_(fault) {}

    qint64 operator()(int column, const char* name) const {
        const QVariant value = query_.value(column);
        if (const auto number = wholeNumber(value))
            return *number;
        if (fault_->isEmpty())
            *fault_ = QStringLiteral("%1 holds %2 = %3, which no game makes")
                          .arg(what_, QLatin1String(name), value.toString().left(40));
        return 0;
    }

private:
    const QSqlQuery& query_;
    QString what_;
    QString* fault_;
};

} // namespace

LedgerGame ledgerGameAt(const QSqlQuery& query, QString* fault) {
    LedgerGame game;
    game.player = query.value(0).toString();
    const RowNumbers number(query, QStringLiteral("a game of %1").arg(quotedName(game.player)),
                            fault);
    game.game = number(1, "game");
    game.creditsBefore = number(2, "credits_before");
    game.cost = number(3, "cost");
    game.tokensWon = number(4, "tokens_won");
    game.creditsAfter = number(5, "credits_after");
    game.firstDraw = decodeCodes(query.value(6).toString()).value_or(machine::ReelCodes{});
    game.holds = decodeHolds(query.value(7).toString()).value_or(machine::HoldMask{});
    game.finalDraw = decodeCodes(query.value(8).toString()).value_or(machine::ReelCodes{});
    return game;
}

LedgerGrant ledgerGrantAt(const QSqlQuery& query, QString* fault) {
    const QString player = query.value(0).toString();
    const RowNumbers number(query, QStringLiteral("a grant to %1").arg(quotedName(player)), fault);
    return {player, number(1, "after_game"), number(2, "credits")};
}

LedgerPlayer ledgerPlayerAt(const QSqlQuery& query, QString* fault) {
    const QString name = query.value(0).toString();
    const RowNumbers number(query, QStringLiteral("the player %1").arg(quotedName(name)), fault);
    return {name, number(1, "credits"), number(2, "games_played"), number(3, "tokens_won"),
            number(4, "free_credits")};
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
