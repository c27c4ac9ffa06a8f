// The buttons around a game: ESP HOLD's message, RESET CARD, the coin slot, and
// what START and FINISH do when they should not run.

#include "controls/card_rig.h"

#include <gtest/gtest.h>

namespace jackwell {
namespace {

using testing::CardRig;

TEST(PlayActions, espHoldSendsTheHoldsAndArmsFinish) {
    const char* rows[] = {"0,0,0", "1,0,0", "0,1,0", "0,0,1", "1,1,0", "1,0,1", "0,1,1", "1,1,1"};
    for (const char* row : rows) {
        SCOPED_TRACE(row);
        CardRig rig; // no START before: ESP HOLD still sends
        rig.state.machineKeeperName = QStringLiteral("Rivet");
        QStringList sent;
        rig.world->setPrivateMessageHook(
            [&](const QString& to, const QString& text) { sent << to + ": " + text; });
        for (int reel = 0; reel < 3; ++reel)
            if (row[reel * 2] == '1')
                rig.hold(reel);
        rig.card.Label15_Click();
        rig.card.Label15_Click();
        const QString expected = "Rivet: I hold " + QString::fromLatin1(row);
        EXPECT_EQ(sent, QStringList({expected, expected}));
        EXPECT_TRUE(rig.state.finishEnabled);
        EXPECT_TRUE(rig.state.espHoldEnabled);
    }
}

// RESET CARD empties the card but leaves holds, visibility and the spin alone.
TEST(PlayActions, resetCardDuringASpin) {
    CardRig rig;
    rig.world->appendPrivateFrom("Rivet", "FIRST: | 07 | 03 | 11 |");
    rig.world->appendPrivateFrom("Rivet", "FINAL: | 07 | 07 | 07 | Credits: (150)");
    rig.hold(1);
    rig.finish();
    rig.state.reels[0].firstCode = QStringLiteral("07");
    rig.clock.advance(1000);
    const CardState before = rig.state;
    rig.card.Label3_Click();
    for (int reel = 0; reel < 3; ++reel) {
        const Reel& now = rig.state.reels[reel];
        EXPECT_EQ(now.reelPicture.image, 4);
        EXPECT_EQ(now.reelPicture.visible, before.reels[reel].reelPicture.visible);
        EXPECT_EQ(now.resultPicture.visible, before.reels[reel].resultPicture.visible);
        EXPECT_EQ(now.firstCode, QStringLiteral("0"));
        EXPECT_EQ(now.finalCode, QStringLiteral("0"));
        EXPECT_EQ(now.hold.backColour, before.reels[reel].hold.backColour);
        EXPECT_TRUE(now.timer.enabled);
    }
    EXPECT_TRUE(rig.state.machineKeeperName.isEmpty());
    EXPECT_TRUE(rig.state.text1.isEmpty());
    EXPECT_EQ(rig.state.credits, QStringLiteral("0"));
    EXPECT_EQ(rig.state.tokens, QStringLiteral("(0)"));
    EXPECT_EQ(rig.state.freeGame, QStringLiteral("Free Game"));
    EXPECT_TRUE(rig.state.startEnabled && rig.state.espHoldEnabled);
    EXPECT_FALSE(rig.state.finishEnabled);
    rig.clock.advance(5000);
    EXPECT_EQ(rig.beeper.at.size(), 2u); // the spin ran on; reel 2 is held
}

TEST(PlayActions, coinSlotChangesNothing) {
    CardRig rig;
    rig.world->appendPrivateFrom("Rivet", "FINAL: | 07 | 07 | 07 | Credits: (150)");
    rig.finish();
    rig.card.Label13_Click();
    EXPECT_EQ(rig.state.freeGame, QStringLiteral("Free Game"));
    EXPECT_EQ(rig.state.credits, QStringLiteral("150"));
    EXPECT_EQ(rig.state.tokens, QStringLiteral("(7500)"));
}

// START needs a machinekeeper and an enabled button; FINISH an enabled button.
// Either way nothing is asked of the chat and nothing starts.
TEST(PlayActions, startAndFinishThatMayNotRunDoNothing) {
    CardRig rig;
    rig.chat.setChatText(QStringLiteral("kept"));
    rig.card.Label14_Click(); // no machinekeeper
    rig.card.Label16_Click(); // FINISH disabled since start-up
    rig.clock.advance(1000);
    EXPECT_EQ(rig.chat.chatText(), QStringLiteral("kept"));
    EXPECT_FALSE(rig.state.reels[0].timer.enabled || rig.state.timer4.enabled);
    EXPECT_TRUE(rig.state.startEnabled);

    rig.start();
    ASSERT_FALSE(rig.state.startEnabled);
    rig.clock.advance(6000);
    rig.chat.setChatText(QStringLiteral("kept"));
    rig.card.Label14_Click(); // disabled after the first START
    rig.clock.advance(1000);
    EXPECT_EQ(rig.chat.chatText(), QStringLiteral("kept"));
    EXPECT_FALSE(rig.state.reels[0].timer.enabled);
}

// A START whose request for the chat text was given up would wait for good; a
// second click on it asks again without starting a second run.
TEST(PlayActions, aSecondStartDuringItsWaitAsksForTheChatTextAgain) {
    CardRig rig;
    rig.state.machineKeeperName = QStringLiteral("Rivet");
    rig.world->appendPrivateFrom(QStringLiteral("Rivet"),
                                 QStringLiteral("FIRST: | 07 | 03 | 11 |"));
    rig.world->close();
    rig.card.Label14_Click();
    rig.clock.advance(60000);
    EXPECT_TRUE(rig.card.isWaitingForChat());
    EXPECT_FALSE(rig.state.reels[0].timer.enabled);

    rig.world->open("Jackwell", {});
    rig.card.Label14_Click();
    rig.clock.settle();
    EXPECT_FALSE(rig.card.isWaitingForChat());
    EXPECT_TRUE(rig.state.reels[0].timer.enabled);
    EXPECT_FALSE(rig.state.startEnabled);
    EXPECT_EQ(rig.state.reels[2].firstCode, QStringLiteral("11"));
}

} // namespace
} // namespace jackwell
