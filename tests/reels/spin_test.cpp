// The reel spin: three timers slowing one by one, beeps at stops, holds read each tick, symbols.

#include "reels/evaluation.h"
#include "reels/spin.h"
#include "support/card_rig.h"

#include <gtest/gtest.h>

#include <cmath>

namespace jackwell {
namespace {

using CardRig = testing::CardRig<>;

// A spin after FINISH runs the same course held or not: only the pictures and the beeps differ.
TEST(Spin, reelsStopOneAfterAnotherWhetherHeldOrNot) {
    for (const bool held : {false, true}) {
        SCOPED_TRACE(held ? "all held" : "none held");
        CardRig rig;
        if (held)
            for (int reel = 0; reel < 3; ++reel)
                rig.hold(reel);
        rig.finish();
        const qint64 start = rig.now();
        bool randomSymbolSeen = false;
        while (rig.now() - start < 6000) {
            rig.clock.advance(10);
            for (const Reel& reel : rig.state.reels)
                randomSymbolSeen |= reel.reelPicture.visible;
        }
        EXPECT_EQ(randomSymbolSeen, !held);
        EXPECT_EQ(rig.spinTicks(0), 6);
        EXPECT_TRUE(rig.spinTicks(1) == 20 || rig.spinTicks(1) == 21) << rig.spinTicks(1);
        EXPECT_TRUE(rig.spinTicks(2) >= 34 && rig.spinTicks(2) <= 36) << rig.spinTicks(2);
        if (held) {
            EXPECT_TRUE(rig.sound.beeps.empty());
        } else {
            ASSERT_EQ(rig.sound.beeps.size(), 3u);
            EXPECT_EQ(rig.sound.beeps[0] - start, 2100);
            EXPECT_GE(rig.sound.beeps[1] - start, 3500);
            EXPECT_LE(rig.sound.beeps[1] - start, 3600);
            EXPECT_GE(rig.sound.beeps[2] - start, 4900);
            EXPECT_LE(rig.sound.beeps[2] - start, 5100);
        }
        for (int reel = 0; reel < 3; ++reel) {
            EXPECT_TRUE(rig.resting(reel) && !rig.state.reels[reel].timer.enabled);
            EXPECT_EQ(rig.state.reels[reel].timer.interval, 100);
        }
    }
}

// A loop late to every tick keeps the reels' rhythm: reel 1 stops late by under one wait.
TEST(Spin, ticksComingLateKeepTheirRhythm) {
    CardRig rig;
    rig.finish();
    const qint64 start = rig.now();
    while (rig.sound.beeps.empty() && rig.now() - start < 3000) {
        rig.clock.lapse(13);
        rig.clock.settle();
    }
    ASSERT_FALSE(rig.sound.beeps.empty());
    EXPECT_LT(rig.sound.beeps[0] - start, 2100 + 13);
}

// A hold takes effect at the reel's next tick: the reel shows its result from then on. Released
// before the stop, it keeps showing the result (random symbols go to its hidden picture) but beeps.
TEST(Spin, holdToggledDuringTheSpinActsFromTheNextTick) {
    for (const bool releaseAgain : {false, true}) {
        SCOPED_TRACE(releaseAgain ? "held, then released" : "held");
        CardRig rig;
        rig.finish();
        rig.clock.advance(1000);
        ASSERT_TRUE(rig.spinning(2));
        rig.hold(2);
        rig.clock.advance(100);
        EXPECT_TRUE(rig.resting(2));
        if (releaseAgain)
            rig.card.toggleHold(2);
        rig.clock.advance(3000);
        EXPECT_TRUE(rig.resting(2));
        rig.clock.advance(2000);
        EXPECT_EQ(rig.sound.beeps.size(), releaseAgain ? 3u : 2u);
    }
}

// A spin started before the last one ended: START leaves the intervals, so a timer left at 700
// stops at its first tick, 700 ms on, with a beep; FINISH resets them: reel 1 stops 2.1 s after.
TEST(Spin, aSpinStartedBeforeThePreviousOneEndedRunsFromTheIntervalsItFinds) {
    for (const bool finish : {false, true}) {
        SCOPED_TRACE(finish ? "FINISH" : "START");
        CardRig rig;
        rig.finish();
        rig.clock.advance(2500); // reel 1 stopped at 700, reels 2 and 3 still spin
        ASSERT_FALSE(rig.state.reels[0].timer.enabled);
        ASSERT_EQ(rig.state.reels[0].timer.interval, 700);
        const int ticksBefore = rig.spinTicks(0);
        finish ? rig.finish() : rig.start();
        const qint64 start = rig.now();
        const int stopsAfter = finish ? 2100 : 700;
        rig.clock.advance(stopsAfter - 1);
        EXPECT_TRUE(rig.spinning(0));
        rig.clock.advance(1);
        EXPECT_TRUE(rig.resting(0));
        EXPECT_EQ(rig.spinTicks(0), ticksBefore + (finish ? 6 : 1));
        EXPECT_EQ(rig.state.reels[0].timer.interval, finish ? 700 : 800);
        EXPECT_FALSE(rig.state.reels[0].timer.enabled);
        EXPECT_EQ(rig.sound.beeps.back(), start + stopsAfter);
    }
}

// Never 14, symbol 1 about twice as often as each other (over a run of times of day), and draws
// made in the same instant (the three timers due together) independent: each pair as often as their
// chances' product says (on the 13 x 13 table of consecutive draws). Fixed inputs: no flakes.
TEST(Spin, randomDrawsFavourSymbolOneNeverShowCherriesAndFallIndependently) {
    const auto chance = [](int symbol) { return (symbol == 1 ? 2.0 : 1.0) / 14.0; };
    constexpr int kDraws = 60000;
    std::array<int, 14> overTime{};
    std::array<std::array<int, 14>, 14> pairs{};
    for (int i = 0; i < kDraws; ++i) {
        const double instant = 50000.0 + (i / 3) * 0.1; // three draws per tenth of a second
        const int symbols[] = {drawSymbol(30000.0 + i * 0.0137, 0), drawSymbol(instant, 2 * i),
                               drawSymbol(instant, 2 * i + 1)};
        for (const int symbol : symbols)
            ASSERT_TRUE(symbol >= 1 && symbol <= 13) << symbol;
        ++overTime[symbols[0]];
        ++pairs[symbols[1]][symbols[2]];
    }
    double overTimeChiSquare = 0, pairsChiSquare = 0;
    for (int first = 1; first <= 13; ++first) {
        const double expected = kDraws * chance(first);
        overTimeChiSquare += std::pow(overTime[first] - expected, 2) / expected;
        for (int second = 1; second <= 13; ++second) {
            const double expectedPair = kDraws * chance(first) * chance(second);
            pairsChiSquare += std::pow(pairs[first][second] - expectedPair, 2) / expectedPair;
        }
    }
    EXPECT_LT(overTimeChiSquare, 40.0); // 12 degrees of freedom: 40 is far out in the tail
    EXPECT_LT(pairsChiSquare, 240.0);   // 168 degrees of freedom: 240 is far out in the tail
}

// On the card the three spin timers fall due in the same millisecond tick after tick. The reels
// must not run in step: two show the same symbol as often as chance gives (16 in 196), no more.
TEST(Spin, reelsTickingTogetherShowSymbolsOfTheirOwn) {
    CardRig rig;
    int together = 0;
    int alike = 0;
    for (int spin = 0; spin < 40; ++spin) {
        rig.finish();
        while (!rig.atRest()) {
            const std::array<int, 3> ticks = {rig.spinTicks(0), rig.spinTicks(1), rig.spinTicks(2)};
            rig.clock.advance(rig.clock.nextDueIn());
            for (int reel = 0; reel < 2; ++reel) {
                if (rig.spinTicks(reel) == ticks[reel] ||
                    rig.spinTicks(reel + 1) == ticks[reel + 1] || !rig.spinning(reel) ||
                    !rig.spinning(reel + 1))
                    continue; // the two did not both draw at this moment
                ++together;
                alike += rig.state.reels[reel].reelPicture.image ==
                         rig.state.reels[reel + 1].reelPicture.image;
            }
        }
    }
    ASSERT_GT(together, 300);
    EXPECT_LT(double(alike) / together, 0.15) << alike << " of " << together;
}

// Codes as received ("07") win nothing until timer 1's next tick drops the zero; "10" stays.
TEST(Spin, firstReelsTickNormalisesTheCodes) {
    CardState state;
    state.reels[0].firstCode = "10";
    for (Reel& reel : state.reels)
        reel.finalCode = "07";
    const auto won = [&] {
        return isWinningDraw(state.reels[0].finalCode, state.reels[1].finalCode,
                             state.reels[2].finalCode);
    };
    testing::FakeSound beeper;
    SymbolDraws draws;
    spinTick(state, 1, 0.0, draws, beeper); // only reel 1's timer normalises
    EXPECT_FALSE(won());
    spinTick(state, 0, 0.0, draws, beeper);
    EXPECT_TRUE(won());
    EXPECT_EQ(state.reels[0].finalCode, "7");
    EXPECT_EQ(state.reels[0].firstCode, "10");
}

} // namespace
} // namespace jackwell
