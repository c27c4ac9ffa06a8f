#pragma once

// The card's game: its display state and every click and timer handler of the
// main window, without any widget. CardWindow forwards clicks here and renders
// `state` and `payouts` whenever `changed` is emitted.

#include "protocol/draw_lines.h"
#include "protocol/tokenizer.h"
#include "reels/card_state.h"
#include "reels/payouts_state.h"
#include "reels/spin.h"

#include <QObject>

#include <array>
#include <functional>
#include <memory>
#include <optional>

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

    // Start-up: stops the spin and evaluation timers, rests the reels, enables
    // START and disables FINISH.
    void bringToRest();

    // The card's buttons, as a click on each one's hot spot.
    void findHost();           // GET HOST: learns the machinekeeper's name from the chat text
    void askToRegister();      // REGISTER: "Register me!" to the machinekeeper
    void resetCard();          // RESET CARD
    void toggleHold(int reel); // HOLD under reel 0, 1 or 2
    void sendHolds();          // ESP HOLD: the holds to the machinekeeper; arms FINISH
    void start();              // START: the first draw
    void finish();             // FINISH: the final draw and the credits
    void showPayouts();        // PAYOUTS
    // The player closed the payouts window.
    void payoutsClosed();
    // The player typed into the name box: its text is now `text`. Nothing reads it; the next
    // announcement of a machinekeeper and RESET CARD overwrite it.
    void nameBoxEdited(const QString& text);

    // Timer ticks; the card's own timers call them, tests may too.
    void spinTick(int reel); // the spin timer of reel 0, 1 or 2
    void evaluate();         // the evaluation timer

    CardState state;
    PayoutsState payouts;
    Tokenizer tokenizer; // shared by every walk over the chat text

    // True while START, FINISH or GET HOST waits for the chat text.
    // START and FINISH also wait while the draw they show has not come yet.
    bool isWaitingForChat() const {
        return startWaiting_ || finishWaiting_ || hostWaiting_ || drawWait_ != DrawWait::None;
    }
    // How long START and FINISH wait for a draw that has not come, and how often they look.
    static constexpr int kDrawWaitMs = 10'000;
    static constexpr int kDrawPollMs = 200;
    bool isEvaluating() const { return evaluating_; }

signals:
    void changed();
    // The card's own words for the player: the outcome of a game, said as the evaluation
    // announces it, from what the card shows.
    void told(const QString& words);
    // FINISH has taken the final draw of this line of the chat text (after its private prefix):
    // a game played, whose reels now spin onto it.
    void resultTaken(const QString& line);
    // The reels have come to rest on the draw of this line that START or FINISH took.
    void drawShown(const QString& line, bool finalDraw);

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
    // The real timer behind one of the state's timers: the interval it runs with, and when its
    // next tick is due (none while it is stopped).
    struct TimerAlarm {
        std::unique_ptr<Alarm> alarm;
        int armedInterval = 0;
        std::optional<qint64> dueAt;
    };
    void syncTimers();
    void syncTimer(TimerAlarm& timer, const TimerState& wanted, bool deliver, qint64 now);
    void afterChatText(bool& waiting, std::function<void()> then);
    void startWithChatText();
    void finishWithChatText();
    enum class DrawWait { None, First, Final };
    // Looks at the chat text again shortly, until the draw comes or the wait's bound has passed.
    void waitForDraw(DrawWait wait);
    void stopWaitingForDraw();
    // The machinekeeper can no longer be reached by `name`'s account of the chat world.
    void peerGone(const QString& name);
    void holdsLost();
    // After "Register me!" left: the answer's balance, once it is there.
    void watchRegistration(qint64 deadline);
    void takeBalance(const DrawLines& lines);
    void holdsDelivered(quint64 message, bool sent);
    // A new draw on the card: holds sent before it are not for it.
    void forgetHolds();

    Effects fx_;
    SymbolDraws draws_;                    // the symbols the spinning reels show
    std::array<TimerAlarm, 3> spinAlarms_; // by reel
    TimerAlarm evaluationAlarm_;
    int eventDepth_ = 0;
    bool startWaiting_ = false;
    bool finishWaiting_ = false;
    bool hostWaiting_ = false;
    bool evaluating_ = false;
    quint64 holdMessages_ = 0;      // hold messages sent so far, numbered from 1
    quint64 firstHoldsForDraw_ = 1; // the first of them sent for the draw on the card
    // The draws last put on the card, known again in later chat texts.
    std::optional<ShownLine> shownFirst_, shownFinal_;
    // The draw the spinning reels come to rest on, told once they have.
    std::optional<std::pair<QString, bool>> revealAtRest_;
    DrawWait drawWait_ = DrawWait::None;
    qint64 drawDeadline_ = -1;
    quint64 drawWaitRun_ = 0;     // a look planned by an earlier run of the wait is let go
    quint64 registrationRun_ = 0; // the same for the watch on the answer to "Register me!"
};

} // namespace jackwell
