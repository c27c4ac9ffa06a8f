#pragma once

// What every store of the robot's books shares: how draws and holds are written in a row, and
// which changes keep the books balanced.

#include "machine/books.h"

#include <QString>
#include <QVariant>

#include <optional>

namespace jackwell::books {

// One stored row of a player. `found` false: the books have no row for them.
struct StoredPlayer {
    bool found = false;
    machine::PlayerRecord record;
    qint64 deliveredGame = 0; // as far as the store keeps it
    // The game whose first draw was drawn when the player asked to play and has not been seen
    // to reach them (0: none). Stale once that game is booked.
    qint64 untoldDraw = 0;
    bool hasUntoldDraw() const {
        return untoldDraw != 0 && untoldDraw == record.gamesPlayed + 1 &&
               record.pendingFirstDraw.has_value();
    }
    // What `untoldDraw` becomes when `record` is written over this row: a first draw waiting
    // where none waited was drawn just now and has yet to be told.
    qint64 untoldDrawAfter(const machine::PlayerRecord& next) const;
};

// Draws as "07,12,14", holds as "1,0,1".
QString encodeCodes(const machine::ReelCodes& codes);
std::optional<machine::ReelCodes> decodeCodes(const QString& text);
QString encodeHolds(const machine::HoldMask& holds);
std::optional<machine::HoldMask> decodeHolds(const QString& text);
// The waiting first draw as a player's row keeps it: its codes, or NULL when none waits.
QVariant pendingDrawValue(const machine::PlayerRecord& record);

// A save may only grant free credits (credits and free credits grow alike) and change the
// waiting draw; games and tokens change through booked games alone.
bool isBalancedSave(const StoredPlayer& stored, const machine::PlayerRecord& record);

// The game booked must be the one that was waiting, played from the credits the player had,
// and the record after it must hold exactly its result.
bool isNextGame(const StoredPlayer& stored, const machine::GameOutcome& outcome,
                const machine::PlayerRecord& after);

} // namespace jackwell::books
