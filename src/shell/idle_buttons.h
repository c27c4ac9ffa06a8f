#pragma once

// Which of the card's buttons would do nothing if clicked now, and why: such a button is drawn
// dimmed and its tooltip tells the player what to do first.

#include "reels/card_state.h"
#include "shell/card_layout.h"

#include <QString>

namespace jackwell {

// Why a click on the button of `action` does nothing on a card in `state`; empty when it acts.
QString whyButtonIsIdle(const CardState& state, CardAction action);

} // namespace jackwell
