#pragma once

// The card wired as in the program to a test's chat on a virtual clock, counting ticks and beeps.

#include "card/card.h"
#include "chat/dapi.h"
#include "chat/transport.h"
#include "clock/virtual_clock.h"
#include "settings/options.h"
#include "support/fakes.h"
#include "support/qt_printers.h"
#include "world/chat_world.h"

#include <gtest/gtest.h>

#include <memory>
#include <type_traits>
#include <vector>

namespace jackwell::testing {

// The virtual clock as the card sees it, counting how often each of the card's alarms went off, in
// the order the card makes them: the spin timers of reels 0, 1 and 2, then the evaluation timer.
class TickCountingClock final : public Clock {
public:
    explicit TickCountingClock(VirtualClock& clock)
        : clock_(clock) {}
    std::vector<int> ticks;

    qint64 monotonicMs() const override { return clock_.monotonicMs(); }
    double timeOfDay() const override { return clock_.timeOfDay(); }
    std::unique_ptr<Alarm> createAlarm(Callback callback) override {
        const size_t index = ticks.size();
        ticks.push_back(0);
        return clock_.createAlarm([this, index, callback] {
            ++ticks[index];
            callback();
        });
    }
    void callAfter(int ms, QObject* context, Callback callback) override {
        clock_.callAfter(ms, context, std::move(callback));
    }

private:
    VirtualClock& clock_;
};

template <typename Backend = ChatWorld> struct CardRig {
    using MakeBackend = std::function<std::unique_ptr<Backend>(VirtualClock&)>;

    explicit CardRig(MakeBackend make = [](VirtualClock&) { return std::make_unique<Backend>(); })
        : makeBackend(std::move(make)) {
        sound.clock = &clock;
        EXPECT_EQ(chat.open(), 0);
        card.bringToRest();
        if constexpr (std::is_same_v<Backend, ChatWorld>)
            backend->appendSystem("Welcome to the world"); // so a chat text comes
    }

    MakeBackend makeBackend;
    VirtualClock clock;
    TickCountingClock cardClock{clock};
    FakeSound sound;
    Options options;
    Backend* backend = nullptr; // owned by the library
    ChatLibrary library{clock, [this] {
                            auto made = makeBackend(clock);
                            backend = made.get();
                            return made;
                        }};
    ChatTransport chat{library, clock, "Jackwell"};
    Card card{{chat, cardClock, sound, sound, options}};
    CardState& state = card.state;

    qint64 now() const { return clock.monotonicMs(); }
    int spinTicks(int reel) const { return cardClock.ticks[reel]; }
    int evaluationTicks() const { return cardClock.ticks[3]; }
    bool resting(int reel) const {
        return state.reels[reel].resultPicture.visible && !state.reels[reel].reelPicture.visible;
    }
    bool spinning(int reel) const {
        return !state.reels[reel].resultPicture.visible && state.reels[reel].reelPicture.visible;
    }
    bool atRest() const {
        return !card.isWaitingForChat() && !card.isEvaluating() && !state.evaluationTimer.enabled &&
               !state.reels[0].timer.enabled && !state.reels[1].timer.enabled &&
               !state.reels[2].timer.enabled;
    }
    void hold(int reel) { card.toggleHold(reel); }
    // A click, and whatever falls due at once (the chat text it asked for).
    void click(void (Card::*handler)()) {
        (card.*handler)();
        clock.settle();
    }
    // A click, then time passes until the card has played out what it started.
    bool clickAndWait(void (Card::*handler)()) {
        (card.*handler)();
        return clock.advanceUntil([this] { return atRest(); }, 60'000);
    }
    // Draws as the machinekeeper sends them: no cherry, so no win.
    static inline const QString kFirstDraw = QStringLiteral("FIRST: | 01 | 02 | 03 |");
    static inline const QString kFinalDraw = "FINAL: | 04 | 05 | 06 | Credits: (99)";

    // With a known machinekeeper, it sends `first` (empty: nothing), then START; the reels spin.
    void start(const QString& first = kFirstDraw) {
        if (state.machineKeeperName.isEmpty())
            state.machineKeeperName = "Rivet";
        keeperSays(first);
        click(&Card::start);
    }
    // ESP HOLD to a known machinekeeper answering `final` (empty: nothing), then FINISH, spinning.
    void finish(const QString& final = kFinalDraw) {
        if (state.machineKeeperName.isEmpty())
            state.machineKeeperName = "Rivet";
        click(&Card::sendHolds);
        keeperSays(final);
        click(&Card::finish);
    }
    void keeperSays(const QString& text) {
        if constexpr (std::is_base_of_v<ChatWorld, Backend>) {
            if (!text.isEmpty())
                backend->appendPrivateFrom(state.machineKeeperName, text);
        }
    }
    // The chat log's lines (for a world backend).
    QStringList logLines() const { return QString::fromUtf8(backend->log()).split("\r\n"); }
};

} // namespace jackwell::testing
