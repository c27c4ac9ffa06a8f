#include "machine/memory_books.h"

namespace jackwell::machine {

std::optional<PlayerRecord> MemoryBooks::load(const QString& player) {
    return players_.value(player);
}

bool MemoryBooks::save(const QString& player, const PlayerRecord& record) {
    players_.insert(player, record);
    return true;
}

bool MemoryBooks::commitGame(const QString& player, const GameOutcome& outcome,
                             const PlayerRecord& after) {
    ledger_.push_back({player, outcome});
    players_.insert(player, after);
    return true;
}

} // namespace jackwell::machine
