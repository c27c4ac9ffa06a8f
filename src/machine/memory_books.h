#pragma once

#include "machine/books.h"

#include <QHash>

#include <vector>

namespace jackwell::machine {

// Books held in memory, for the embedded chat world and the tests; they never fail.
class MemoryBooks : public Books {
public:
    struct LedgerEntry {
        QString player;
        GameOutcome outcome;
    };

    std::optional<PlayerRecord> load(const QString& player) override;
    bool save(const QString& player, const PlayerRecord& record) override;
    bool commitGame(const QString& player, const GameOutcome& outcome,
                    const PlayerRecord& after) override;

    // Every game booked, oldest first.
    const std::vector<LedgerEntry>& ledger() const { return ledger_; }

private:
    QHash<QString, PlayerRecord> players_;
    std::vector<LedgerEntry> ledger_;
};

} // namespace jackwell::machine
