#pragma once

// The card's display state: everything the player sees on the main window and
// every item the game keeps between events. Handlers read and write it in
// place; CardWindow renders it after each event (the card's control table,
// shell/card_layout.h, names the control that shows each item).

#include "reels/card_constants.h"

#include <QString>

#include <array>
#include <optional>

namespace jackwell {

struct PictureBox {
    int image = 0; // symbol image number 1..14, or kNoImage
    bool visible = true;

    bool operator==(const PictureBox&) const = default;
};

struct HoldButton {
    QString caption = QStringLiteral("HOLD");
    quint32 backColour = kColourNotHeld;

    bool operator==(const HoldButton&) const = default;
};

struct TimerState {
    bool enabled = true; // a new card starts with its timers running
    int interval = kSpinStartIntervalMs;

    bool operator==(const TimerState&) const = default;
};

struct Reel {
    PictureBox reelPicture{kRestingReelImage, true};     // the spinning reel
    PictureBox resultPicture{kInitialResultImage, true}; // the drawn symbol, above it
    QString firstCode = QStringLiteral("0");             // in the 1ST SPIN row
    QString finalCode = QStringLiteral("0");             // in the 2ND SPIN row
    HoldButton hold;
    TimerState timer; // the reel's spin timer

    bool operator==(const Reel&) const = default;
};

// What became of the holds ESP HOLD sent for the draw on the card.
enum class HoldsSent {
    NotAsked, // none sent since this draw came
    Sending,  // the chat link has not taken them yet
    Sent,     // one of them left for the machinekeeper
    GivenUp,  // the chat link gave up on every one of them: none left
};

// The card's own notices, shown on it until the player asks again.
inline constexpr QLatin1StringView kHoldsNotSentNotice{"HOLDS NOT SENT\nclick ESP HOLD again"};
inline constexpr QLatin1StringView kRegisterNotSentNotice{"REGISTER NOT SENT\nclick it again"};
// START and FINISH waiting for a draw that has not come yet, and giving up on it.
inline constexpr QLatin1StringView kAwaitingFirstNotice{"Waiting for\nthe first draw"};
inline constexpr QLatin1StringView kAwaitingFinalNotice{"Waiting for the answer to your holds"};
inline constexpr QLatin1StringView kNoFirstDrawNotice{"No first draw yet: press REGISTER"};
inline constexpr QLatin1StringView kNoAnswerNotice{"No answer to your holds yet"};

// The card as it is made; start-up then brings it to rest.
struct CardState {
    std::array<Reel, 3> reels;

    QString freeGame = QStringLiteral("Free Game");
    QString credits = QStringLiteral("0");
    QString tokens = QStringLiteral("(0)");

    QString machineKeeperName;
    // The name box's text: the machinekeeper's name each time it is set, empty after RESET
    // CARD, and what the player typed in between.
    QString nameBox;

    bool startEnabled = true;
    bool espHoldEnabled = true;
    bool finishEnabled = true;
    TimerState evaluationTimer{true, kEvaluationIntervalMs};

    HoldsSent holdsSent = HoldsSent::NotAsked;
    // A request of the card's that the chat link gave up on, in the card's words; empty: none.
    QString notice;

    bool operator==(const CardState&) const = default;
};

// A reel is held exactly when its hold button is yellow; the caption is never read.
bool isHeld(const CardState& state, int reel);
void setHeld(CardState& state, int reel, bool held);
// Cyan becomes held; any other colour becomes not held.
void toggleHold(CardState& state, int reel);

// "01".."09" lose their leading zero; every other caption stays as it is.
QString normaliseCode(const QString& caption);
// Applies normaliseCode to the six code labels, first draw then final draw.
void normaliseCodes(CardState& state);

// A code caption read back as a number: the value when the text is a 16-bit
// whole number (blanks around it and leading zeros allowed), else 0.
qint16 codeValue(const QString& caption);
// The symbol image a code value selects: the value when it is 1..14, else kNoImage.
int symbolImage(qint16 value);

enum class Draw { First, Final };
// Reads the three code captions of one draw back as numbers and puts the symbols
// they select into the result pictures (visibility untouched).
void showDrawnSymbols(CardState& state, Draw draw);

// "(" + credits * 50 + ")", the product exact and in plain digits (no exponent), or nothing
// when the credits are not a decimal number.
std::optional<QString> tokensFor(const QString& credits);

} // namespace jackwell
