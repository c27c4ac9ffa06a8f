#pragma once

// A card wired as the program wires it, but to the embedded chat world on a
// virtual clock: the card's own timers drive it while a test lets time pass.
// The rig also notes when each of the card's timers goes off and when it beeps.

#include "chat/dapi.h"
#include "chat/transport.h"
#include "clock/virtual_clock.h"
#include "controls/card.h"
#include "settings/options.h"
#include "support/fakes.h"
#include "support/qt_printers.h"
#include "world/chat_world.h"

#include <array>
#include <memory>
#include <vector>

namespace jackwell::testing {

// The virtual clock as the card sees it, counting how often each of the card's
// four alarms (Timer1..Timer4, made in that order) went off.
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

struct TimedBeeper final : Beeper {
    explicit TimedBeeper(VirtualClock& clock)
        : clock(clock) {}
    VirtualClock& clock;
    std::vector<qint64> at; // virtual milliseconds of each beep
    void beep() override { at.push_back(clock.monotonicMs()); }
};

struct CardRig {
    VirtualClock clock;
    TickCountingClock cardClock{clock};
    ChatWorld* world = nullptr;
    ChatLibrary library{clock, [this] {
                            auto made = std::make_unique<ChatWorld>();
                            world = made.get();
                            return made;
                        }};
    ChatTransport chat{library, clock, "Jackwell"};
    FakeSound sound;
    TimedBeeper beeper{clock};
    Options options;
    Card card{{chat, cardClock, sound, beeper, options}};
    CardState& state = card.state;

    CardRig() {
        chat.open();
        card.bringToRest();
        world->appendSystem(QStringLiteral("Welcome to the world")); // so the chat text comes
    }
    qint64 now() const { return clock.monotonicMs(); }
    int ticks(int timer) const { return cardClock.ticks[timer]; }
    bool resting(int reel) const {
        return state.reels[reel].resultPicture.visible && !state.reels[reel].reelPicture.visible;
    }
    bool spinning(int reel) const {
        return !state.reels[reel].resultPicture.visible && state.reels[reel].reelPicture.visible;
    }
    void hold(int reel) {
        if (reel == 0)
            card.Label6_Click();
        else if (reel == 1)
            card.Label7_Click();
        else
            card.Label8_Click();
    }
    // ESP HOLD, then FINISH; returns once FINISH has its chat text and the reels spin.
    void finish() {
        card.Label15_Click();
        card.Label16_Click();
        clock.settle();
    }
    // START with a known machinekeeper; returns once the reels spin.
    void start() {
        if (state.machineKeeperName.isEmpty())
            state.machineKeeperName = QStringLiteral("Rivet");
        card.Label14_Click();
        clock.settle();
    }
};

} // namespace jackwell::testing
