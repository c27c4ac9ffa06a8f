#include "load_books.h"

#include "books/books_store.h"
#include "books/ledger_audit.h"
#include "clock/real_clock.h"
#include "machine/messages.h"

#include <QHash>

#include <algorithm>
#include <tuple>

namespace jackwell::load {

namespace {

qint64 creditsIn(const QByteArray& line) {
    return line.mid(line.lastIndexOf('(') + 1).chopped(1).toLongLong();
}

} // namespace

BooksCheck checkBooks(const QString& books, const std::vector<const LoadPlayer*>& players) {
    BooksCheck check;
    QString error;
    RealClock clock;
    const auto store = jackwell::books::openKeeperBooks(
        books, clock, {jackwell::books::BooksPurpose::Audit, {}, {}}, &error);
    if (!store) {
        check.faults << error;
        return check;
    }
    jackwell::books::Ledger ledger;
    if (!store->readLedger(ledger)) {
        check.faults << store->lastError();
        return check;
    }
    const jackwell::books::BooksAudit audit = jackwell::books::auditLedger(ledger);
    check.faults << audit.faults;

    // Each player's games in order, whichever machine booked them.
    std::sort(ledger.games.begin(), ledger.games.end(), [](const auto& a, const auto& b) {
        return std::tie(a.player, a.game) < std::tie(b.player, b.game);
    });
    QHash<QString, std::vector<const jackwell::books::LedgerGame*>> gamesOf;
    for (const jackwell::books::LedgerGame& game : ledger.games)
        gamesOf[game.player].push_back(&game);
    QHash<QString, qint64> creditsOf;
    for (const jackwell::books::LedgerPlayer& player : ledger.players)
        creditsOf.insert(player.name, player.credits);

    int creditMismatches = 0;
    for (const LoadPlayer* player : players) {
        const QString key = QString::fromLatin1(player->nick()).toLower();
        QList<QByteArray> booked;   // the result line of each game
        QList<QByteArray> playedOn; // the first draw of each game
        for (const jackwell::books::LedgerGame* game : gamesOf.value(key)) {
            booked << machine::finalDrawLine(game->finalDraw, game->creditsAfter).toLatin1();
            playedOn << machine::firstDrawLine(game->firstDraw).toLatin1();
        }
        // Each game must have been played on a first draw told to the player before it.
        const QList<QByteArray>& firsts = player->result().firsts;
        qsizetype nextFirst = 0;
        int unseen = 0;
        for (const QByteArray& first : playedOn) {
            const qsizetype at = firsts.indexOf(first, nextFirst);
            if (at < 0)
                ++unseen;
            else
                nextFirst = at + 1;
        }
        check.unseen += unseen;
        if (unseen)
            check.faults << QStringLiteral("%1: %2 games played on a first draw never told")
                                .arg(key)
                                .arg(unseen);
        const QList<QByteArray>& told = player->result().finals;
        int matched = 0;
        for (qsizetype i = 0; i < std::min(told.size(), booked.size()); ++i)
            matched += told[i] == booked[i] ? 1 : 0;
        const int lost =
            std::max(0, player->gamesWanted() - player->gamesDone()) + int(told.size()) - matched;
        const int doubled = player->result().unasked + int(booked.size()) - matched;
        check.lost += lost;
        check.doubled += doubled;
        if (lost || doubled)
            check.faults << QStringLiteral("%1: %2 results taken, %3 games booked, %4 alike")
                                .arg(key)
                                .arg(told.size())
                                .arg(booked.size())
                                .arg(matched);
        const auto credits = creditsOf.constFind(key);
        if (!told.isEmpty() &&
            (credits == creditsOf.constEnd() || *credits != creditsIn(told.last()))) {
            ++creditMismatches;
            check.faults << QStringLiteral("%1: credits %2 in the books, %3 told")
                                .arg(key)
                                .arg(credits == creditsOf.constEnd() ? -1 : *credits)
                                .arg(creditsIn(told.last()));
        }
    }
    check.balanced = audit.balanced() && creditMismatches == 0;
    return check;
}

} // namespace jackwell::load
