#pragma once

// The rule that the books balance, checked on their rows as any store reads them.

#include "books/keeper_books.h"
#include "machine/pay_table.h"

#include <QDateTime>
#include <QString>

#include <vector>

namespace jackwell::books {

// A player's record as the books keep it.
struct LedgerPlayer {
    QString name;
    qint64 credits = 0;
    qint64 gamesPlayed = 0;
    qint64 tokensWon = 0;
    qint64 freeCreditsGranted = 0;
};

// One booked game of a player; games are numbered per player from 1.
struct LedgerGame {
    QString player;
    qint64 game = 0;
    qint64 creditsBefore = 0;
    qint64 cost = 0;
    qint64 tokensWon = 0;
    qint64 creditsAfter = 0;
    machine::ReelCodes firstDraw{};
    machine::HoldMask holds{};
    machine::ReelCodes finalDraw{};
    QString machine{};    // the machine that booked it, where the store keeps that
    QDateTime playedAt{}; // when it was booked, where the store keeps that (else invalid)
};

// Free credits given to a player after their `afterGame`-th game (0: before the first).
struct LedgerGrant {
    QString player;
    qint64 afterGame = 0;
    qint64 credits = 0;
};

// Every row of the books, as a store reads them.
struct Ledger {
    std::vector<LedgerPlayer> players;
    std::vector<LedgerGame> games;
    std::vector<LedgerGrant> grants;
};

// Checks every player's record against their games and grants: game numbers 1..n without a
// gap, each game starting from the credits the last one (and any grant since) left and ending
// on its own cost and win, the games, tokens and free credits counted as booked, and credits ==
// free credits granted - games * cost + tokens won / 50. Games booked for a player without a
// record are faults too. And each game and grant must follow the machine's rules: draws of its
// symbols, held reels ending on their first-draw symbol, the cost of a game, the tokens the
// final draw pays, and free credits only as many as a player with none is given.
//
// Players are reported in the order given, then the games of unknown players by name; the
// games may come in any order.
BooksAudit auditLedger(const std::vector<LedgerPlayer>& players,
                       const std::vector<LedgerGame>& games,
                       const std::vector<LedgerGrant>& grants);
BooksAudit auditLedger(const Ledger& ledger);

} // namespace jackwell::books
