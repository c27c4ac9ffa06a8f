#pragma once

#include "machine/pay_table.h"

#include <QString>

#include <optional>

namespace jackwell::machine {

// What the machine knows of one player.
struct PlayerRecord {
    qint64 credits = 0;
    // The first draw of the game that waits for the player's holds, if one does.
    std::optional<ReelCodes> pendingFirstDraw;
    qint64 gamesPlayed = 0;
    qint64 tokensWon = 0;          // over all games
    qint64 freeCreditsGranted = 0; // over all free games
    // Balanced books: credits == freeCreditsGranted - gamesPlayed * kGameCost
    //                           + tokensWon / kTokensPerCredit.

    bool operator==(const PlayerRecord&) const = default;
};

// One finished game, as it is booked.
struct GameOutcome {
    ReelCodes firstDraw{};
    HoldMask holds{};
    ReelCodes finalDraw{};
    qint64 creditsBefore = 0;
    qint64 cost = 0; // credits
    qint64 tokensWon = 0;
    qint64 creditsAfter = 0;

    bool operator==(const GameOutcome&) const = default;
};

// Where the machine keeps its books. Players are told of a change only after the books
// have taken it, so an implementation that stores to disk makes each call durable before it
// returns true; the machine then neither loses nor doubles a credit when it is stopped
// between two calls. A call that returns false has changed nothing.
class Books {
public:
    virtual ~Books() = default;

    // A player the books have never seen gets a fresh record (no credits, no game waiting).
    // nullopt only when the books cannot be read.
    virtual std::optional<PlayerRecord> load(const QString& player) = 0;
    virtual bool save(const QString& player, const PlayerRecord& record) = 0;
    // Books a finished game and the player's record after it, both or neither.
    virtual bool commitGame(const QString& player, const GameOutcome& outcome,
                            const PlayerRecord& after) = 0;
};

} // namespace jackwell::machine
