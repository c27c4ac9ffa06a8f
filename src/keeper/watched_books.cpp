#include "keeper/watched_books.h"

#include <utility>

namespace jackwell::keeper {

std::optional<machine::PlayerRecord> WatchedBooks::load(const QString& player) {
    return books_.load(player);
}

bool WatchedBooks::save(const QString& player, const machine::PlayerRecord& record) {
    if (books_.save(player, record))
        return true;
    refusedOrRaced(player);
    return false;
}

bool WatchedBooks::commitGame(const QString& player, const machine::GameOutcome& outcome,
                              const machine::PlayerRecord& after) {
    if (!books_.commitGame(player, outcome, after)) {
        refusedOrRaced(player);
        return false;
    }
    booked_ = after.gamesPlayed;
    outcome_ = outcome;
    return true;
}

// A change refused only because another machine changed the player meanwhile is no fault: the
// message is answered again from what the books hold now.
void WatchedBooks::refusedOrRaced(const QString& player) {
    if (books_.changedElsewhere())
        raced_ = true;
    else
        refused_(player);
}

bool WatchedBooks::takeRaced() {
    return std::exchange(raced_, false);
}

std::optional<qint64> WatchedBooks::takeBookedGame() {
    return std::exchange(booked_, std::nullopt);
}

} // namespace jackwell::keeper
