// The card's buttons around a game: GET HOST, REGISTER, ESP HOLD's message, RESET CARD, and START
// and FINISH when they should not run or when their request for the chat text was given up.

#include "support/card_rig.h"
#include "support/qt_printers.h"

namespace jackwell {
namespace {

struct Rig : testing::CardRig<> {
    QStringList sent; // "recipient: text" of each private message
    Rig() {
        backend->setPrivateMessageHook(
            [this](const QString& to, const QString& text) { sent << to + ": " + text; });
        backend->appendPrivateFrom("Keeper", "Your machinekeeper is Keeper");
    }
};

// A click whose request for the chat text was given up would wait for good; a
// second click on GET HOST or START asks again, without starting a second run.
TEST(PlayActions, aSecondClickDuringAGivenUpWaitAsksForTheChatTextAgain) {
    for (const bool start : {false, true}) {
        SCOPED_TRACE(start ? "START" : "GET HOST");
        Rig rig;
        rig.backend->appendPrivateFrom("Keeper", "FIRST: | 07 | 03 | 11 |");
        if (start)
            rig.state.machineKeeperName = "Keeper";
        void (Card::*click)() = start ? &Card::start : &Card::findHost;
        rig.backend->close();
        (rig.card.*click)();
        rig.clock.advance(60000);
        EXPECT_TRUE(rig.card.isWaitingForChat() && !rig.state.reels[0].timer.enabled);
        EXPECT_EQ(rig.state.machineKeeperName.isEmpty(), !start);

        rig.backend->open({});
        rig.click(click);
        EXPECT_FALSE(rig.card.isWaitingForChat());
        EXPECT_EQ(rig.state.machineKeeperName, "Keeper");
        EXPECT_EQ(rig.state.reels[0].timer.enabled, start);
        EXPECT_EQ(rig.state.startEnabled, !start);
        EXPECT_EQ(rig.state.reels[2].firstCode, start ? "11" : "0");
    }
}

TEST(Register, sendsOnlyWhenAKeeperIsKnownOneMessagePerClickAndTellsOfOneNotSent) {
    Rig rig;
    rig.click(&Card::askToRegister);
    EXPECT_TRUE(rig.sent.isEmpty()) << "no keeper known yet";
    rig.click(&Card::findHost);
    rig.state.nameBox = "Typed"; // the box is not what REGISTER reads
    rig.card.askToRegister();
    rig.click(&Card::askToRegister);
    EXPECT_EQ(rig.sent, QStringList({"Keeper: Register me!", "Keeper: Register me!"}));
    EXPECT_TRUE(rig.backend->log().endsWith("ESP to Keeper: Register me!\r\n"
                                            "ESP to Keeper: Register me!"));
    // One the chat link gave up on is shown on the card until the player asks again.
    rig.backend->close();
    rig.click(&Card::askToRegister);
    EXPECT_EQ(rig.state.notice, kRegisterNotSentNotice);
    rig.backend->open({});
    rig.click(&Card::askToRegister);
    EXPECT_TRUE(rig.state.notice.isEmpty());
}

TEST(PlayActions, espHoldSendsTheHoldsAndArmsFinish) {
    for (const char* row :
         {"0,0,0", "1,0,0", "0,1,0", "0,0,1", "1,1,0", "1,0,1", "0,1,1", "1,1,1"}) {
        SCOPED_TRACE(row);
        Rig rig; // no START before: ESP HOLD still sends
        rig.state.machineKeeperName = "Rivet";
        for (int reel = 0; reel < 3; ++reel)
            if (row[reel * 2] == '1')
                rig.hold(reel);
        rig.card.sendHolds();
        rig.card.sendHolds();
        const QString expected = "Rivet: I hold " + QString::fromLatin1(row);
        EXPECT_EQ(rig.sent, QStringList({expected, expected}));
        EXPECT_TRUE(rig.state.finishEnabled && rig.state.espHoldEnabled);
    }
    // The card's very first holds, given up by the chat link, are said not sent.
    Rig rig;
    rig.state.machineKeeperName = "Rivet";
    rig.backend->close();
    rig.click(&Card::sendHolds);
    EXPECT_EQ(rig.state.notice, kHoldsNotSentNotice);
    EXPECT_FALSE(rig.state.finishEnabled);
    EXPECT_EQ(rig.state.holdsSent, HoldsSent::GivenUp);
    // Holds that reached the machinekeeper once are not taken back by a later failure.
    Rig reached;
    reached.state.machineKeeperName = "Rivet";
    reached.click(&Card::sendHolds);
    reached.backend->close();
    reached.click(&Card::sendHolds);
    EXPECT_TRUE(reached.state.notice.isEmpty() && reached.state.finishEnabled);
    // Nor do the last game's holds, that reached it, stand for the next game's; holds lost
    // between games are not said lost once the next game starts.
    Rig later;
    later.start();
    later.finish();
    later.clock.advance(8000);
    later.backend->close();
    later.click(&Card::sendHolds);
    ASSERT_EQ(later.state.notice, kHoldsNotSentNotice);
    later.backend->open({});
    later.start("FIRST: | 04 | 05 | 06 |");
    EXPECT_TRUE(later.state.notice.isEmpty());
    later.backend->close();
    later.click(&Card::sendHolds);
    EXPECT_EQ(later.state.notice, kHoldsNotSentNotice);
}

// FINISH disables itself and enables START again. RESET CARD during the spin rests the reels and
// empties the final draw shown (the rest: ResetCard below), leaving holds, looks and the spin.
TEST(PlayActions, finishEnablesStartAndResetCardDuringTheSpinLeavesItAlone) {
    Rig rig;
    rig.start();
    ASSERT_FALSE(rig.state.startEnabled);
    rig.hold(1);
    rig.finish("FINAL: | 07 | 07 | 07 | Credits: (150)");
    EXPECT_TRUE(rig.state.startEnabled && !rig.state.finishEnabled);
    for (int reel = 0; reel < 3; ++reel) { // the held one shows its symbol, the others spin
        EXPECT_EQ(rig.state.reels[reel].resultPicture.visible, reel == 1);
        EXPECT_EQ(rig.state.reels[reel].reelPicture.visible, reel != 1);
    }
    rig.state.reels[0].firstCode = "07";
    rig.clock.advance(1000);
    EXPECT_EQ(QStringList({rig.state.credits, rig.state.tokens}), QStringList({"150", "(7500)"}));

    rig.state.notice = QString(kRegisterNotSentNotice); // RESET CARD takes any notice away
    const CardState before = rig.state;
    rig.card.resetCard();
    for (int reel = 0; reel < 3; ++reel) {
        const Reel& now = rig.state.reels[reel];
        EXPECT_EQ(now.reelPicture.image, 4);
        EXPECT_EQ(now.finalCode, QString("0"));
        EXPECT_EQ(now.reelPicture.visible, before.reels[reel].reelPicture.visible);
        EXPECT_EQ(now.resultPicture.visible, before.reels[reel].resultPicture.visible);
        EXPECT_EQ(now.hold.backColour, before.reels[reel].hold.backColour);
        EXPECT_TRUE(now.timer.enabled);
    }
    rig.clock.advance(5000);
    EXPECT_EQ(rig.sound.beeps.size(), 2u); // the spin ran on; reel 2 is held
    EXPECT_TRUE(rig.state.notice.isEmpty());
    rig.start("FIRST: | 02 | 03 | 04 |"); // the next game spins every reel, the one held too
    for (const Reel& reel : rig.state.reels)
        EXPECT_TRUE(reel.reelPicture.visible && !reel.resultPicture.visible);
}

// START needs a machinekeeper and an enabled button, FINISH an enabled button; or nothing starts.
TEST(PlayActions, startAndFinishThatMayNotRunDoNothing) {
    Rig rig;
    rig.chat.setChatText("kept");
    rig.card.start();  // no machinekeeper
    rig.card.finish(); // FINISH disabled since start-up
    rig.clock.advance(1000);
    EXPECT_EQ(rig.chat.chatText(), "kept");
    EXPECT_FALSE(rig.state.reels[0].timer.enabled || rig.state.evaluationTimer.enabled);
    EXPECT_TRUE(rig.state.startEnabled);

    rig.start();
    ASSERT_FALSE(rig.state.startEnabled);
    rig.clock.advance(6000);
    rig.chat.setChatText("kept");
    rig.card.start(); // disabled after the first START
    rig.clock.advance(1000);
    EXPECT_EQ(rig.chat.chatText(), "kept");
    EXPECT_FALSE(rig.state.reels[0].timer.enabled);
}

QStringList codes(const CardState& state) {
    QStringList shown;
    for (const Reel& reel : state.reels)
        shown << reel.firstCode << reel.finalCode;
    return shown;
}

// RESET CARD in the middle of a game, where it changes what the player sees: START and FINISH
// swap back, the codes, credits, tokens and name empty. A FINISH armed before it must not then
// show the last final draw as if it were this game's. Before it, a whole game (credits 150), then
// the next first draw shown (its codes, received as "03", shown as the card shows every code, "3",
// from the first tick) and its holds sent: START off, FINISH armed, every figure showing.
TEST(ResetCard, midGameItEnablesStartDisarmsFinishAndEmptiesTheCard) {
    testing::CardRig<> rig;
    rig.backend->appendPrivateFrom("Rivet", "Your machinekeeper is Rivet");
    rig.click(&Card::findHost);
    rig.start("FIRST: | 07 | 12 | 05 |");
    rig.finish("FINAL: | 07 | 07 | 07 | Credits: (150)");
    rig.clock.advance(20000);
    rig.start("FIRST: | 03 | 09 | 14 |");
    rig.clock.advance(150);
    ASSERT_EQ(codes(rig.state), QStringList({"3", "0", "9", "0", "14", "0"}));
    rig.clock.advance(4850);
    rig.card.sendHolds();
    ASSERT_EQ(rig.state.credits, "150");
    ASSERT_EQ(rig.state.tokens, "(7500)");
    ASSERT_EQ(rig.state.nameBox, "Rivet");
    ASSERT_TRUE(rig.state.finishEnabled && !rig.state.startEnabled);

    rig.card.resetCard();
    EXPECT_TRUE(rig.state.startEnabled && !rig.state.finishEnabled);
    EXPECT_EQ(codes(rig.state), QStringList(6, "0"));
    EXPECT_EQ(QStringList({rig.state.credits, rig.state.tokens, rig.state.nameBox,
                           rig.state.machineKeeperName}),
              QStringList({"0", "(0)", "", ""}));
    // The holds sent before it are forgotten: Rivet found again and gone, no holds are missed.
    rig.click(&Card::findHost);
    rig.backend->reportGone("Rivet");
    rig.clock.settle();
    EXPECT_EQ(rig.state.notice, "");

    rig.click(&Card::finish); // disarmed: the old final draw stays unread
    rig.clock.advance(20000);
    EXPECT_EQ(codes(rig.state), QStringList(6, "0"));
    EXPECT_EQ(rig.state.credits, "0");
}

} // namespace
} // namespace jackwell
