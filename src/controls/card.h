#pragma once

// The card's game: its display state and every click and timer handler of the
// main window, without any widget. frmJackwell forwards clicks here and renders
// `state` and `payouts` whenever `changed` is emitted.

#include "protocol/get_token.h"
#include "reels/card_state.h"
#include "reels/payouts_state.h"

#include <QObject>

#include <array>
#include <functional>
#include <memory>

namespace jackwell {

class Alarm;
class Beeper;
class ChatTransport;
class Clock;
class SoundPlayer;
struct Options;

class Card : public QObject {
    Q_OBJECT

public:
    // Everything the game reaches outside itself. All of it must outlive the card.
    struct Effects {
        ChatTransport& chat;
        Clock& clock;
        SoundPlayer& sound;
        Beeper& beeper;
        const Options& options; // read at the moment of use
    };

    explicit Card(Effects effects);
    ~Card() override;

    // Start-up: stops the four timers, rests the reels, enables START and
    // disables FINISH.
    void bringToRest();

    // Clicks on the card's hot spots.
    void Label2_Click();  // REGISTER
    void Label3_Click();  // RESET CARD
    void Label4_Click();  // GET HOST
    void Label6_Click();  // hold, reel 1
    void Label7_Click();  // hold, reel 2
    void Label8_Click();  // hold, reel 3
    void Label13_Click(); // coin slot
    void Label14_Click(); // START
    void Label15_Click(); // ESP HOLD
    void Label16_Click(); // FINISH
    void Label24_Click(); // PAYOUTS
    // The player closed the payouts window.
    void payoutsClosed();

    // Timer ticks; the card's own timers call them, tests may too.
    void Timer1_Timer();
    void Timer2_Timer();
    void Timer3_Timer();
    void Timer4_Timer();

    CardState state;
    PayoutsState payouts;
    Tokenizer tokenizer; // shared by every walk over the chat text

    // True while START, FINISH or GET HOST waits for the chat text.
    bool isWaitingForChat() const { return startWaiting_ || finishWaiting_ || hostWaiting_; }
    bool isEvaluating() const { return evaluating_; }

signals:
    void changed();

private:
    // Wraps one event: when the outermost handler returns, the real timers are
    // brought in line with the state and the window is told to render it.
    class EventScope {
    public:
        explicit EventScope(Card& card)
            : card_(card) {
            ++card_.eventDepth_;
        }
        ~EventScope();

    private:
        Card& card_;
    };
    void syncTimers();
    void holdClick(int reel);
    void afterChatText(bool& waiting, std::function<void()> then);

    Effects fx_;
    std::array<std::unique_ptr<Alarm>, 4> alarms_;
    // Per timer: the interval it runs with, and when its next tick is due
    // (-1 while it is stopped).
    std::array<int, 4> armedInterval_{};
    std::array<qint64, 4> dueAt_{-1, -1, -1, -1};
    int eventDepth_ = 0;
    bool startWaiting_ = false;
    bool finishWaiting_ = false;
    bool hostWaiting_ = false;
    bool evaluating_ = false;
};

} // namespace jackwell
