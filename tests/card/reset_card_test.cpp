// RESET CARD in the middle of a game, where it changes what the player sees: START and FINISH
// swap back, the codes, credits, tokens and name empty. A FINISH armed before it must not then
// show the last final draw as if it were this game's.

#include "support/card_rig.h"
#include "support/qt_printers.h"

namespace jackwell {
namespace {

using Rig = testing::CardRig<>;

QStringList codes(const CardState& state) {
    QStringList shown;
    for (const Reel& reel : state.reels)
        shown << reel.firstCode << reel.finalCode;
    return shown;
}

// A whole game (credits 150), then the next first draw shown (its codes, received as "03", shown
// as the card shows every code, "3", from the first tick) and its holds sent: START is off,
// FINISH armed, and every figure on the card shows something.
TEST(ResetCard, midGameItEnablesStartDisarmsFinishAndEmptiesTheCard) {
    Rig rig;
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
    EXPECT_TRUE(rig.state.startEnabled);
    EXPECT_FALSE(rig.state.finishEnabled);
    EXPECT_EQ(codes(rig.state), QStringList(6, "0"));
    EXPECT_EQ(rig.state.credits, "0");
    EXPECT_EQ(rig.state.tokens, "(0)");
    EXPECT_EQ(rig.state.nameBox, "");
    EXPECT_EQ(rig.state.machineKeeperName, "");

    rig.click(&Card::finish); // disarmed: the old final draw stays unread
    rig.clock.advance(20000);
    EXPECT_EQ(codes(rig.state), QStringList(6, "0"));
    EXPECT_EQ(rig.state.credits, "0");
}

} // namespace
} // namespace jackwell
