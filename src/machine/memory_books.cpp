#include "machine/memory_books.h"

namespace jackwell::machine {

std::optional<PlayerRecord> MemoryBooks::load(const QString& player) {
    return m_players.value(player);
}

bool MemoryBooks::save(const QString& player, const PlayerRecord& record) {
    m_players.insert(player, record);
    return true;
}

bool MemoryBooks::commitGame(const QString& player, const GameOutcome& outcome,
                             const PlayerRecord& after) {
    m_ledger.push_back({player, outcome});
    m_players.insert(player, after);
    return true;
}

} // namespace jackwell::machine
