#pragma once

#include <QLatin1StringView>

namespace jackwell::machine {

// The machinekeeper's words. The player's program finds the robot's messages by the texts
// "FIRST:", "FINAL:", "Payouts", "Your machinekeeper is" and the free-game offer, wherever they
// stand in a line, and reads their bodies by position; so these texts must stay exactly as they
// are, and the help sentences must never carry any of them.

// Public banner, spoken when the robot arrives.
inline constexpr QLatin1StringView kWelcomeBanner{"--- Welcome to Brolt Slot Machine V2.04 ---"};
// %1: the robot's own name. "Your machinekeeper is" is how players find the robot.
inline constexpr QLatin1StringView kAnnouncement{
    "Your machinekeeper is %1. Send 'Register me!' to play."};

// What players send.
inline constexpr QLatin1StringView kRegisterRequest{"Register me!"};
inline constexpr QLatin1StringView kHoldPrefix{"I hold "};

// %1: the credits given.
inline constexpr QLatin1StringView kFreeGameOffer{
    "The slotmachine is programmed for free games! Click 'Free Game' to activate your "
    "Free-Game-Mode! Amount of credits you get: %1"};
// Followed by the sixteen amounts of the pay table, each but the last ended by a colon.
inline constexpr QLatin1StringView kPayoutsHead{"Payouts (3 of a kind, 2 and 1 cherries): "};
// %1 %2 %3: two-digit symbol codes; the codes stand at characters 4-5, 9-10 and 14-15 of the
// text after " FIRST:" / " FINAL:". %4: the credits after the game, between " (" and ")".
inline constexpr QLatin1StringView kFirstDraw{"FIRST: | %1 | %2 | %3 |"};
inline constexpr QLatin1StringView kFinalDraw{"FINAL: | %1 | %2 | %3 | Credits: (%4)"};

// Plain sentences said after the protocol lines, telling the player in words what happened
// and what to do next on the card.
inline constexpr QLatin1StringView kStartHint{"Click START to see your first draw."};
inline constexpr QLatin1StringView kHoldHint{"Click HOLD under the reels to keep, then ESP HOLD."};
inline constexpr QLatin1StringView kFinishHint{"Click FINISH for the final draw."};
// The outcome of a game. %1: "Three grapes", "Two cherries" or "One cherry"; %2: tokens won;
// %3: the credits they make, with their unit ("6 credits", "1 credit").
inline constexpr QLatin1StringView kWinSentence{"%1: you win %2 tokens (%3)."};
inline constexpr QLatin1StringView kNoWinSentence{"No win this time."};
// Follows the outcome; %1: the credits after the game.
inline constexpr QLatin1StringView kCreditsSentence{"Credits: %1."};

// Help sentences.
inline constexpr QLatin1StringView kCreditsUsedUp{
    "Your credits are used up. Send 'Register me!' for a new free game."};
// Holds that came before any first draw: what the machine waits for first.
inline constexpr QLatin1StringView kNoGameWaiting{
    "Your holds came before any first draw: click REGISTER (or send 'Register me!') for a "
    "game, then START to see its first draw."};
inline constexpr QLatin1StringView kHoldFormatHelp{
    "Send your holds as 'I hold' and three digits 0 or 1 separated by commas, "
    "for example 'I hold 1,0,1'."};
inline constexpr QLatin1StringView kUnknownRequestHelp{
    "I understand 'Register me!' to play and, during a game, your holds as in 'I hold 1,0,1'."};
inline constexpr QLatin1StringView kSlowDown{
    "You are writing faster than the machine can play; your last messages were dropped. "
    "Please wait a moment."};
inline constexpr QLatin1StringView kOutOfOrder{
    "The machine is out of order just now and nothing was booked. Please try again later."};

} // namespace jackwell::machine
