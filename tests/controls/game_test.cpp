// Two whole games against the embedded chat world, with a machinekeeper that
// answers the player's private messages as the real one does.

#include "controls/card_rig.h"

#include <gtest/gtest.h>

namespace jackwell {
namespace {

using testing::CardRig;

const QString kOffer = QStringLiteral(
    "The slotmachine is programmed for free games! Click 'Free Game' to activate your "
    "Free-Game-Mode! Amount of credits you get: 100");

struct Game : CardRig {
    QStringList received; // what the machinekeeper was sent
    Game() {
        options = {"/sounds/win.wav", "/sounds/lose.wav", 0, 1, 0};
        world->appendPublic("Rivet", "Your machinekeeper is Rivet, welcome!");
        world->setPrivateMessageHook([this](const QString& to, const QString& text) {
            received << to + ": " + text;
            if (text == "Register me!") {
                world->appendPrivateFrom("Rivet", kOffer);
                world->appendPrivateFrom(
                    "Rivet", "Payouts (three of a kind): 25000:5000:2500:1000:800:600:500:"
                             "400:300:250:200:150:100:75:60:50");
                world->appendPrivateFrom("Rivet", "FIRST: | 07 | 03 | 07 |");
            } else if (text == "I hold 1,0,1") {
                world->appendPrivateFrom("Rivet", "FINAL: | 07 | 07 | 07 | Credits: (150)");
            } else if (text == "I hold 0,0,0") {
                world->appendPrivateFrom("Rivet", "FINAL: | 02 | 05 | 09 | Credits: (140)");
            }
        });
    }
};

TEST(Game, aWonGameThenALostOne) {
    Game game;
    CardState& state = game.state;

    game.card.Label4_Click(); // GET HOST
    game.clock.settle();
    EXPECT_EQ(state.machineKeeperName, QStringLiteral("Rivet"));
    game.card.Label2_Click(); // REGISTER

    game.card.Label14_Click(); // START
    game.clock.settle();
    EXPECT_EQ(state.reels[0].firstCode, QStringLiteral("07"));
    EXPECT_EQ(state.reels[1].firstCode, QStringLiteral("03"));
    EXPECT_EQ(state.credits, QStringLiteral("100"));
    EXPECT_EQ(state.tokens, QStringLiteral("(5000)"));
    EXPECT_EQ(game.card.payouts.amounts[15], QStringLiteral("50"));
    EXPECT_FALSE(state.startEnabled);
    for (int reel = 0; reel < 3; ++reel) {
        EXPECT_TRUE(game.spinning(reel));
        EXPECT_EQ(state.reels[reel].finalCode, QStringLiteral("0"));
    }
    game.clock.advance(6000);
    EXPECT_EQ(state.reels[0].firstCode, QStringLiteral("7"));
    EXPECT_EQ(state.reels[1].resultPicture.image, 3);
    EXPECT_TRUE(game.resting(0) && game.resting(1) && game.resting(2));

    game.hold(0);
    game.hold(2);
    EXPECT_FALSE(state.finishEnabled);
    game.card.Label15_Click(); // ESP HOLD
    EXPECT_TRUE(state.finishEnabled);
    game.card.Label16_Click(); // FINISH
    game.clock.settle();
    EXPECT_EQ(state.reels[2].finalCode, QStringLiteral("07"));
    EXPECT_EQ(state.credits, QStringLiteral("150"));
    EXPECT_EQ(state.tokens, QStringLiteral("(7500)"));
    EXPECT_TRUE(game.resting(0) && game.spinning(1) && game.resting(2));
    EXPECT_TRUE(state.startEnabled);
    EXPECT_FALSE(state.finishEnabled);
    game.clock.advance(7100);
    ASSERT_EQ(game.sound.played.size(), 1u);
    EXPECT_EQ(game.sound.played[0].file, QStringLiteral("/sounds/win.wav"));
    EXPECT_EQ(game.beeper.at.size(), 4u); // three stops, then reel 2 alone
    EXPECT_FALSE(isHeld(state, 0) || isHeld(state, 2));

    // The next game loses, and the losing sound is switched off.
    game.card.Label14_Click();
    game.clock.advance(6000);
    game.card.Label15_Click();
    game.card.Label16_Click();
    game.clock.advance(7100);
    EXPECT_EQ(state.reels[0].finalCode, QStringLiteral("2"));
    EXPECT_EQ(state.credits, QStringLiteral("140"));
    EXPECT_EQ(game.sound.played.size(), 1u);
    EXPECT_EQ(game.received,
              QStringList({"Rivet: Register me!", "Rivet: I hold 1,0,1", "Rivet: I hold 0,0,0"}));
}

} // namespace
} // namespace jackwell
