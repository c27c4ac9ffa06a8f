#pragma once

// The handlers of the machinekeeper's messages. Each walks the whole chat text
// (its own copy) line by line and writes what it finds into the card's state;
// none of them lets events run.

#include <QString>

namespace jackwell {

class Tokenizer;
struct CardState;
struct PayoutsState;

// The speaker of the last line carrying ": Your machinekeeper is" becomes
// machineKeeperName and is shown in the name box.
void findMachineKeeper(CardState& state, Tokenizer& tokenizer, QString text);
// The first draw, the free-game offer and the payout table.
void handleFirstResult(CardState& state, PayoutsState& payouts, Tokenizer& tokenizer, QString text);
// The final draw and the credits after the game.
void handleFinalResult(CardState& state, Tokenizer& tokenizer, QString text);

} // namespace jackwell
