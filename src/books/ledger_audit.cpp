#include "books/ledger_audit.h"

#include "machine/pay_table.h"
#include "platform/quoted.h"

#include <QSet>
#include <QStringList>

#include <algorithm>
#include <map>

namespace jackwell::books {

namespace {

QString codesText(const machine::ReelCodes& codes) {
    QStringList parts;
    for (const int code : codes)
        parts << QStringLiteral("%1").arg(code, 2, 10, QLatin1Char('0'));
    return parts.join(u',');
}

// What the machine's rules say of one game, whatever the sums: the draws are symbols, every held
// reel kept its first-draw symbol, the game cost what a game costs and won what its final draw
// pays.
void checkGameRules(const QString& who, const LedgerGame& step, QStringList& faults) {
    const auto fault = [&](const QString& text) {
        faults << QStringLiteral("%1: game %2 %3").arg(who).arg(step.game).arg(text);
    };
    if (!std::ranges::all_of(step.firstDraw, machine::isSymbol) ||
        !std::ranges::all_of(step.finalDraw, machine::isSymbol)) {
        fault(QStringLiteral("has no draw of the machine's symbols"));
        return;
    }
    for (int reel = 0; reel < machine::kReelCount; ++reel) {
        if (step.holds[reel] && step.finalDraw[reel] != step.firstDraw[reel]) {
            fault(QStringLiteral("ends on %1, which its holds do not allow after %2")
                      .arg(codesText(step.finalDraw), codesText(step.firstDraw)));
            break;
        }
    }
    if (step.cost != machine::kGameCost)
        fault(QStringLiteral("costs %1 credits, not %2").arg(step.cost).arg(machine::kGameCost));
    const qint64 pays = machine::tokensWon(step.finalDraw);
    if (step.tokensWon != pays)
        fault(QStringLiteral("draws %1, which pays %2 tokens, not %3")
                  .arg(codesText(step.finalDraw))
                  .arg(pays)
                  .arg(step.tokensWon));
}

} // namespace

BooksAudit auditLedger(const std::vector<LedgerPlayer>& players,
                       const std::vector<LedgerGame>& games,
                       const std::vector<LedgerGrant>& grants) {
    BooksAudit audit;
    audit.players = qint64(players.size());
    audit.games = qint64(games.size());

    // Sorted maps keep the report in a stable order.
    std::map<QString, std::vector<LedgerGame>> gamesOf;
    for (const LedgerGame& game : games)
        gamesOf[game.player].push_back(game);
    for (auto& [player, steps] : gamesOf)
        std::ranges::stable_sort(steps, {}, &LedgerGame::game);
    std::map<QString, std::map<qint64, qint64>> grantsOf; // after game -> credits
    for (const LedgerGrant& grant : grants)
        grantsOf[grant.player][grant.afterGame] += grant.credits;

    const std::vector<LedgerGame> noGames;
    const std::map<qint64, qint64> noGrants;
    QSet<QString> known;
    for (const LedgerPlayer& player : players) {
        known.insert(player.name);
        const QString who = quotedName(player.name);
        const auto foundGames = gamesOf.find(player.name);
        const std::vector<LedgerGame>& steps =
            foundGames == gamesOf.end() ? noGames : foundGames->second;
        const auto foundGrants = grantsOf.find(player.name);
        const std::map<qint64, qint64>& given =
            foundGrants == grantsOf.end() ? noGrants : foundGrants->second;

        // The credits as the ledger has them so far, and the sums over the games gone through.
        qint64 running = 0, granted = 0, cost = 0, tokens = 0;
        auto grantAfter = [&](qint64 game) {
            const auto found = given.find(game);
            if (found != given.end()) {
                // Free credits go only to a player who cannot pay for a game, so many at once.
                if (found->second != machine::kFreeGameCredits || running >= machine::kGameCost)
                    audit.faults << QStringLiteral("%1: %2 free credits granted after game %3 "
                                                   "with %4 credits left")
                                        .arg(who)
                                        .arg(found->second)
                                        .arg(game)
                                        .arg(running);
                running += found->second;
                granted += found->second;
            }
        };
        grantAfter(0);
        for (qsizetype i = 0; i < qsizetype(steps.size()); ++i) {
            const LedgerGame& step = steps[i];
            if (step.game != i + 1) {
                audit.faults << QStringLiteral("%1: game %2 is booked where game %3 belongs")
                                    .arg(who)
                                    .arg(step.game)
                                    .arg(i + 1);
                break;
            }
            if (step.creditsBefore != running ||
                step.creditsAfter !=
                    step.creditsBefore - step.cost + step.tokensWon / machine::kTokensPerCredit) {
                audit.faults << QStringLiteral("%1: game %2 does not follow from the credits "
                                               "before it")
                                    .arg(who)
                                    .arg(step.game);
                break;
            }
            checkGameRules(who, step, audit.faults);
            running = step.creditsAfter;
            cost += step.cost;
            tokens += step.tokensWon;
            grantAfter(step.game);
        }
        if (qint64(steps.size()) != player.gamesPlayed || tokens != player.tokensWon)
            audit.faults << QStringLiteral("%1: %2 games and %3 tokens booked, %4 and %5 counted")
                                .arg(who)
                                .arg(steps.size())
                                .arg(tokens)
                                .arg(player.gamesPlayed)
                                .arg(player.tokensWon);
        if (granted != player.freeCreditsGranted)
            audit.faults << QStringLiteral("%1: %2 free credits granted, %3 counted")
                                .arg(who)
                                .arg(granted)
                                .arg(player.freeCreditsGranted);
        const qint64 ledger = player.freeCreditsGranted - cost + tokens / machine::kTokensPerCredit;
        if (player.credits != ledger || player.credits != running)
            audit.faults << QStringLiteral("%1: credits %2, the ledger gives %3")
                                .arg(who)
                                .arg(player.credits)
                                .arg(ledger);
    }
    for (const auto& [player, steps] : gamesOf) {
        if (!known.contains(player))
            audit.faults << QStringLiteral("%1: games booked for a player without a record")
                                .arg(quotedName(player));
    }
    return audit;
}

BooksAudit auditLedger(const Ledger& ledger) {
    return auditLedger(ledger.players, ledger.games, ledger.grants);
}

BooksAudit KeeperBooks::audit() {
    Ledger ledger;
    if (readLedger(ledger))
        return auditLedger(ledger);
    BooksAudit audit;
    audit.faults << lastError();
    return audit;
}

} // namespace jackwell::books
