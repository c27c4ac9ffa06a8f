#pragma once

// What the machine returns to its players, computed exactly: every first draw, every choice of
// holds and every second draw of the reels let go, each weighed by how likely the draw is. No
// sampling. Amounts are in the machine's own unit, tokens; a return to player is the tokens paid
// over the tokens staked (a game stakes one credit, kTokensPerCredit tokens).

#include "machine/pay_table.h"

#include <array>
#include <functional>
#include <optional>
#include <vector>

namespace jackwell::machine {

// How a machine draws and pays, as far as its return depends on it.
struct DrawRules {
    // How often each symbol (code 1, 2, ...) comes up on a reel, relative to the others; every
    // reel draws alike and on its own. The total must stay below 2^17 for the sums to be exact.
    std::vector<qint64> symbolWeights;
    std::function<qint64(const ReelCodes&)> tokensPaid; // what a final draw pays
    qint64 stakeTokens = 0;                             // what a game costs
};

// This machine: every symbol alike on every reel (MachineKeeper's draw), the pay table, one
// credit a game.
DrawRules machineDrawRules();

// What paying out looks like over games played one way, per game in tokens.
struct PayDistribution {
    double meanTokens = 0;
    double varianceTokens = 0;
};

// One choice of holds on a first draw, over every second draw of the reels it lets go.
struct HoldValue {
    HoldMask holds{};
    PayDistribution pays;
};

// The machine's return: with the best holds for every first draw (the most any player can
// expect), and with no holds at all (what a player who never holds gets).
struct ExactReturn {
    qint64 stakeTokens = 0;
    PayDistribution bestHolds;
    PayDistribution noHolds;
};

// Every first draw's hold choices, worked out once; the exact return and a single draw's hint
// both come from here.
class HoldValueTable {
public:
    explicit HoldValueTable(const DrawRules& rules);

    // Whether every code of `codes` is one of the machine's symbols.
    bool isDraw(const ReelCodes& codes) const;
    // The choices on `firstDraw`, best first (equal values: fewer holds first); nullopt when it
    // is no draw of this machine.
    std::optional<std::array<HoldValue, 8>> choices(const ReelCodes& firstDraw) const;
    // The choice `holds` on `firstDraw`; null when it is no draw of this machine.
    const HoldValue* value(const ReelCodes& firstDraw, const HoldMask& holds) const;
    ExactReturn exactReturn() const;
    qint64 stakeTokens() const { return stakeTokens_; }

private:
    std::size_t firstDrawIndex(const ReelCodes& codes) const;

    int symbols_ = 0;
    qint64 stakeTokens_ = 0;
    std::vector<qint64> weights_;
    std::vector<std::array<HoldValue, 8>> byFirstDraw_; // by first draw; holds as bits 1, 2, 4
};

ExactReturn exactReturn(const DrawRules& rules);
// This machine's table, worked out on first use (a few tens of milliseconds) and kept.
const HoldValueTable& machineHoldValues();

// A return to player with its confidence band: where the mean return over `games` games falls
// 95 times in 100 when each game pays as `pays` says (a normal band, ±1.96 σ/√n). Fractions of
// the stake: 1.0 pays back what was staked.
struct ReturnBand {
    static constexpr double kZ = 1.96; // 95 %
    double expected = 0;
    double halfWidth = 0; // 0 for no games
    double low() const { return expected - halfWidth; }
    double high() const { return expected + halfWidth; }
    bool holds(double measured) const { return measured >= low() && measured <= high(); }
};
ReturnBand returnBand(const PayDistribution& pays, qint64 stakeTokens, qint64 games);

} // namespace jackwell::machine
