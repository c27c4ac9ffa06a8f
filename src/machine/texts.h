#pragma once

#include <QLatin1StringView>
#include <QString>

#include <initializer_list>

namespace jackwell::machine {

// The machinekeeper's words, each typed once: the robots speak them, the player's program finds
// the robot's messages by their heads (src/protocol/markers.h) and the tests read them from here.
// Players' programs out there look for these texts exactly, so they must stay as they are, and
// the plain sentences further down must never carry a head.

// Puts a text together from pieces, so that a text quoted in another is typed once.
inline QString joined(std::initializer_list<QLatin1StringView> pieces) {
    QString text;
    for (QLatin1StringView piece : pieces)
        text += piece;
    return text;
}

// The heads the player's program finds a message by, wherever it stands in a line.
inline constexpr QLatin1StringView kKeeperHead{"Your machinekeeper is"};
inline constexpr QLatin1StringView kFreeGameOfferHead{
    "The slotmachine is programmed for free games! Click 'Free Game' to activate your "
    "Free-Game-Mode! Amount of credits you get"};
inline constexpr QLatin1StringView kPayoutsWord{"Payouts"};
inline constexpr QLatin1StringView kFirstDrawHead{"FIRST:"};
inline constexpr QLatin1StringView kFinalDrawHead{"FINAL:"};
// A returning player's credits, told on registering. Programs that do not know it pass it by.
inline constexpr QLatin1StringView kBalanceHead{"CREDITS:"};

// What players send.
inline constexpr QLatin1StringView kRegisterRequest{"Register me!"};
inline constexpr QLatin1StringView kHoldPrefix{"I hold "};

// Public banner, spoken when the robot arrives.
inline constexpr QLatin1StringView kWelcomeBanner{"--- Welcome to Brolt Slot Machine V2.04 ---"};
// %1: the robot's own name.
inline const QString kAnnouncement = joined({kKeeperHead, QLatin1StringView(" %1. Send '"),
                                             kRegisterRequest, QLatin1StringView("' to play.")});

// %1: the credits given.
inline const QString kFreeGameOffer = joined({kFreeGameOfferHead, QLatin1StringView(": %1")});
// Followed by the sixteen amounts of the pay table, each but the last ended by a colon.
inline const QString kPayoutsHead =
    joined({kPayoutsWord, QLatin1StringView(" (3 of a kind, 2 and 1 cherries): ")});
// %1 %2 %3: two-digit symbol codes; the codes stand at characters 4-5, 9-10 and 14-15 of the
// text after " FIRST:" / " FINAL:". %4: the credits after the game, between " (" and ")".
inline const QString kFirstDraw = joined({kFirstDrawHead, QLatin1StringView(" | %1 | %2 | %3 |")});
inline const QString kFinalDraw =
    joined({kFinalDrawHead, QLatin1StringView(" | %1 | %2 | %3 | Credits: (%4)")});

// %1: the credits the player has.
inline const QString kBalance = joined({kBalanceHead, QLatin1StringView(" (%1)")});
// Plain sentences said after the protocol lines, telling the player in words what to do next on
// the card; never what a draw comes to, which the card shows first.
inline constexpr QLatin1StringView kStartHint{"Click START to see your first draw."};
inline constexpr QLatin1StringView kHoldHint{"Click HOLD under the reels to keep, then ESP HOLD."};
inline constexpr QLatin1StringView kFinishHint{"Click FINISH for the final draw."};
// The outcome of a game, as the card tells it once it has shown the final draw. %1: "Three
// grapes", "Two cherries" or "One cherry"; %2: tokens won; %3: the credits they make, with
// their unit ("6 credits", "1 credit").
inline constexpr QLatin1StringView kWinSentence{"%1: you win %2 tokens (%3)."};
inline constexpr QLatin1StringView kNoWinSentence{"No win this time."};
// Follows the outcome; %1: the credits after the game.
inline constexpr QLatin1StringView kCreditsSentence{"Credits: %1."};

// Help sentences; they quote the requests.
inline const QString kCreditsUsedUp =
    joined({QLatin1StringView("Your credits are used up. Send '"), kRegisterRequest,
            QLatin1StringView("' for a new free game.")});
// Holds that came before any first draw: what the machine waits for first.
inline const QString kNoGameWaiting = joined(
    {QLatin1StringView("Your holds came before any first draw: click REGISTER (or send '"),
     kRegisterRequest, QLatin1StringView("') for a game, then START to see its first draw.")});
inline const QString kHoldFormatHelp =
    joined({QLatin1StringView("Send your holds as '"), kHoldPrefix.chopped(1),
            QLatin1StringView("' and three digits 0 or 1 separated by commas, for example '"),
            kHoldPrefix, QLatin1StringView("1,0,1'.")});
inline const QString kUnknownRequestHelp =
    joined({QLatin1StringView("I understand '"), kRegisterRequest,
            QLatin1StringView("' to play and, during a game, your holds as in '"), kHoldPrefix,
            QLatin1StringView("1,0,1'.")});
inline constexpr QLatin1StringView kSlowDown{
    "You are writing faster than the machine can play; your last messages were dropped. "
    "Please wait a moment."};
inline constexpr QLatin1StringView kLogInFirst{
    "Please log in to your account with the network's services first: your credits are kept "
    "under your account, and nobody plays without one."};
inline constexpr QLatin1StringView kOutOfOrder{
    "The machine is out of order just now and nothing was booked. Please try again later."};

} // namespace jackwell::machine
