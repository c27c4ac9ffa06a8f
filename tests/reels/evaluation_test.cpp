// The evaluation after FINISH: the win table, the 7 s wait, the holds put back, the sound played.

#include "reels/evaluation.h"
#include "support/card_rig.h"

#include <gtest/gtest.h>

namespace jackwell {
namespace {

using CardRig = testing::CardRig<>;

// The card's win table, written out on its own: any reel on cherries ("14"), or all three on the
// same symbol "1".."13"; compared as text, so codes not yet normalised lose. The card reads the
// table off the machine's pay table, so an edit there that changes which draws win fails here.
TEST(Evaluation, winTable) {
    const auto wins = [](int a, int b, int c) {
        return a == 14 || b == 14 || c == 14 || (a == b && b == c && a >= 1 && a <= 13);
    };
    QStringList wrong;
    for (int a = 0; a <= 15; ++a) {
        for (int b = 0; b <= 15; ++b) {
            for (int c = 0; c <= 15; ++c) {
                const QString codes[] = {QString::number(a), QString::number(b),
                                         QString::number(c)};
                if (isWinningDraw(codes[0], codes[1], codes[2]) != wins(a, b, c))
                    wrong << QStringList(std::begin(codes), std::end(codes)).join(u' ');
            }
        }
    }
    EXPECT_TRUE(wrong.isEmpty()) << wrong.join(u'/');
    for (const char* code : {"07", "7 ", "", "+7", "014"})
        EXPECT_FALSE(isWinningDraw(code, code, code)) << code;
}

// Puts a final draw in the chat, holds reels 1 and 3 and presses FINISH.
void finishWithFinal(CardRig& rig, const QString& codes) {
    rig.hold(0);
    rig.hold(2);
    rig.finish("FINAL: " + codes + " Credits: (150)");
}

// Which file is played, by outcome and by the two boxes (only a ticked box counts), and what the
// card says of the outcome in words, from the draw and credits it shows. All comes 7 s after the
// evaluation timer's first tick; then the holds read HOLD on cyan and the timer stops.
TEST(Evaluation, playsTheSoundTheOptionsAllowAndTellsTheOutcome) {
    using enum CheckState;
    // The codes, the two sound boxes, the file played (nullptr: nothing) and the words told.
    const std::tuple<const char*, CheckState, CheckState, const char*, const char*> rows[] = {
        {"| 05 | 05 | 05 |", Ticked, Clear, "win.wav",
         "Three gold bars: you win 1000 tokens (20 credits). Credits: 150."},
        {"| 02 | 05 | 14 |", Ticked, Ticked, "win.wav",
         "One cherry: you win 50 tokens (1 credit). Credits: 150."},
        {"| 02 | 05 | 09 |", Ticked, Clear, nullptr, "No win this time. Credits: 150."},
        {"| 02 | 05 | 09 |", Clear, Ticked, "lose.wav", "No win this time. Credits: 150."},
        {"| 02 | 05 | 09 |", Ticked, Greyed, nullptr, "No win this time. Credits: 150."},
        {"| 05 | 05 | 05 |", Greyed, Ticked, nullptr,
         "Three gold bars: you win 1000 tokens (20 credits). Credits: 150."},
        {"", Clear, Ticked, "lose.wav", "No win this time. Credits: 150."},
    };
    for (const auto& [codes, playWinSound, playLoseSound, played, words] : rows) {
        SCOPED_TRACE(std::string(codes) + " " + std::to_string(int(playWinSound)) +
                     std::to_string(int(playLoseSound)));
        CardRig rig;
        QStringList told;
        QObject::connect(&rig.card, &Card::told, [&](const QString& words) { told << words; });
        rig.options = {"win.wav", "lose.wav", Clear, playWinSound, playLoseSound};
        finishWithFinal(rig, codes);
        EXPECT_TRUE(rig.state.evaluationTimer.enabled);
        rig.clock.advance(100 + 7000 - 1);
        EXPECT_TRUE(told.isEmpty()) << "not before the reels have come to rest";
        EXPECT_TRUE(rig.sound.played.empty());
        EXPECT_EQ(rig.state.reels[2].hold.caption, "HELD");
        rig.clock.advance(1);
        for (const Reel& reel : rig.state.reels) {
            EXPECT_TRUE(reel.hold.caption == "HOLD" && reel.hold.backColour == kColourNotHeld);
        }
        EXPECT_FALSE(rig.state.evaluationTimer.enabled);
        rig.clock.advance(20000);
        EXPECT_EQ(told, QStringList{words});
        ASSERT_EQ(rig.sound.played.size(), played ? 1u : 0u);
        if (played) {
            EXPECT_EQ(rig.sound.played[0].file, QString(played));
            EXPECT_FALSE(rig.sound.played[0].repeat);
        }
    }
}

// Clicks during the wait: START clears the final codes, so the game is lost;
// another FINISH finds the timer running and gets no evaluation of its own.
TEST(Evaluation, clicksDuringTheWaitAreSeenByTheEvaluation) {
    CardRig rig;
    rig.options = {"win.wav", "lose.wav", CheckState::Clear, CheckState::Ticked,
                   CheckState::Ticked};
    finishWithFinal(rig, "| 05 | 05 | 05 |");
    rig.clock.advance(3000);
    rig.finish();
    rig.start();
    rig.clock.advance(30000);
    ASSERT_EQ(rig.sound.played.size(), 1u);
    EXPECT_EQ(rig.sound.played[0].file, "lose.wav");
    EXPECT_EQ(rig.evaluationTicks(), 1);
    EXPECT_FALSE(rig.state.evaluationTimer.enabled);
}

} // namespace
} // namespace jackwell
