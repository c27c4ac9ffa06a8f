#pragma once

// The card's keys: every button of the card has one, acting exactly as a click on its hot
// spot, on the card and on the chat window outside its typing line. The same table gives each
// hot spot its tooltip and the names a screen reader says, and lists the keys in the card's
// menu and in --help. The card's menu itself comes with the Menu key or a right click.

#include "shell/card_layout.h"

#include <QString>
#include <QtCore/qnamespace.h>

#include <array>
#include <optional>

namespace jackwell {

struct CardKey {
    CardAction action;
    std::array<int, 2> keys; // Qt::Key values; 0: none
    const char* keyNames;    // as the player reads them: "S or Space"; empty: no key
    const char* buttonName;  // "START"
    const char* description; // what it does: "spins the reels onto the first draw"
};

namespace card {

inline constexpr std::array<CardKey, 15> kKeys{{
    {CardAction::FindHost,
     {Qt::Key_G},
     "G",
     "GET HOST",
     "finds the machinekeeper's name in the chat text"},
    {CardAction::AskToRegister, {Qt::Key_R}, "R", "REGISTER", "asks the machinekeeper for a game"},
    {CardAction::HoldReel1,
     {Qt::Key_1},
     "1",
     "HOLD, left reel",
     "keeps the left reel for the final draw, or lets it go"},
    {CardAction::HoldReel2,
     {Qt::Key_2},
     "2",
     "HOLD, middle reel",
     "keeps the middle reel for the final draw, or lets it go"},
    {CardAction::HoldReel3,
     {Qt::Key_3},
     "3",
     "HOLD, right reel",
     "keeps the right reel for the final draw, or lets it go"},
    {CardAction::Start,
     {Qt::Key_S, Qt::Key_Space},
     "S or Space",
     "START",
     "spins the reels onto the first draw"},
    {CardAction::SendHolds,
     {Qt::Key_E},
     "E",
     "ESP HOLD",
     "sends your holds to the machinekeeper and arms FINISH"},
    {CardAction::Finish,
     {Qt::Key_F},
     "F",
     "FINISH",
     "spins the free reels onto the final draw and shows your credits"},
    {CardAction::ResetCard,
     {Qt::Key_X},
     "X",
     "RESET CARD",
     "empties the card and forgets the machinekeeper"},
    {CardAction::ShowPayouts, {Qt::Key_P}, "P", "PAYOUTS", "shows the pay table"},
    {CardAction::ShowOptions,
     {Qt::Key_O},
     "O",
     "OPTIONS",
     "opens the options: the sounds and Stay On Top"},
    {CardAction::ToggleChatWindow,
     {Qt::Key_C},
     "C",
     "Chat window",
     "opens or closes the chat window"},
    {CardAction::ShowStatistics,
     {Qt::Key_T},
     "T",
     "Statistics",
     "shows your games, wins and return beside the machine's exact return"},
    {CardAction::ShowHint,
     {Qt::Key_H},
     "H",
     "Hint",
     "shows which reels the best holds keep and what they are worth"},
    {CardAction::InsertCoin, {}, "", "COINS", "the coin slot; every game is free"},
}};

} // namespace card

// The entry for `action`; null when it has none.
const CardKey* cardKeyFor(CardAction action);
// The action of a key pressed with `modifiers` (Qt::KeyboardModifiers as an int), if it is a
// card key: Shift and the keypad change nothing, Ctrl, Alt and Meta make it no card key.
std::optional<CardAction> cardActionForKey(int key, int modifiers);
// "START (S or Space): spins the reels onto the first draw"
QString cardKeyToolTip(const CardKey& key);
// "START button"
QString cardKeyAccessibleName(const CardKey& key);
// Every key and what it does, one per line: "S or Space  START: spins the reels..."
QString cardKeysText();

} // namespace jackwell
