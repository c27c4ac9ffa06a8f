#pragma once

// Records and games as the machinekeeper books them, for tests of the stores of its books.

#include "machine/books.h"

#include <utility>

namespace jackwell::testing {

// A player with a game waiting, as registering leaves them.
inline machine::PlayerRecord registeredPlayer(machine::ReelCodes first = {3, 3, 14}) {
    machine::PlayerRecord record;
    record.credits = machine::kFreeGameCredits;
    record.freeCreditsGranted = machine::kFreeGameCredits;
    record.pendingFirstDraw = first;
    return record;
}

// The game playing `before`'s draw with `holds`, ending on `final`, `next` waiting; the record.
inline std::pair<machine::GameOutcome, machine::PlayerRecord>
nextGame(const machine::PlayerRecord& before, machine::HoldMask holds, machine::ReelCodes final,
         machine::ReelCodes next) {
    machine::GameOutcome outcome;
    outcome.firstDraw = *before.pendingFirstDraw;
    outcome.holds = holds;
    outcome.finalDraw = final;
    outcome.creditsBefore = before.credits;
    outcome.cost = machine::kGameCost;
    outcome.tokensWon = machine::tokensWon(final);
    outcome.creditsAfter =
        before.credits - machine::kGameCost + outcome.tokensWon / machine::kTokensPerCredit;
    machine::PlayerRecord after = before;
    after.credits = outcome.creditsAfter;
    after.gamesPlayed += 1;
    after.tokensWon += outcome.tokensWon;
    after.pendingFirstDraw = next;
    return {outcome, after};
}

} // namespace jackwell::testing
