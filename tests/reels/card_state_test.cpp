// The card's display state: the text forms of the codes, how a code picks a
// picture, the hold colours and the payouts window's lifecycle. The result
// evaluation compares code texts, so their exact forms are what matter here.

#include "reels/card_state.h"
#include "reels/payouts_state.h"
#include "support/qt_printers.h"

#include <gtest/gtest.h>

namespace jackwell {
namespace {

TEST(CardState, codeNormalisationDropsOnlyTheLeadingZeroOfOneToNine) {
    const std::vector<std::pair<QString, QString>> rows = {
        {"01", "1"},  {"07", "7"}, {"09", "9"},    {"10", "10"}, {"14", "14"}, {"0", "0"},
        {"00", "00"}, {"7", "7"},  {"007", "007"}, {"0a", "0a"}, {" 7", " 7"}, {"", ""},
    };
    for (const auto& [caption, expected] : rows)
        EXPECT_EQ(normaliseCode(caption), expected) << caption.toStdString();
}

// What a code caption gives as drawCodes element and as the result picture.
TEST(CardState, codeCaptionSelectsItsSymbolOrNone) {
    struct Row {
        QString caption;
        qint16 value;
        int image;
    };
    const std::vector<Row> rows = {
        {"07", 7, 7},         {"7", 7, 7},         {"14", 14, kCherries},  {"01", 1, 1},
        {"15", 15, kNoImage}, {"0", 0, kNoImage},  {"-3", -3, kNoImage},   {"", 0, kNoImage},
        {"ab", 0, kNoImage},  {"7.", 0, kNoImage}, {"99999", 0, kNoImage},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(codeValue(row.caption), row.value) << row.caption.toStdString();
        EXPECT_EQ(symbolImage(codeValue(row.caption)), row.image) << row.caption.toStdString();
    }
}

TEST(CardState, takingADrawFillsItsHalfOfDrawCodesAndLeavesVisibilityAlone) {
    CardState state;
    state.reels[0].resultPicture.visible = false;
    state.reels[0].finalCode = "07";
    state.reels[1].finalCode = "14";
    state.reels[2].finalCode = "x1";
    takeDrawCodes(state, Draw::Final);
    EXPECT_EQ(state.drawCodes, (std::array<qint16, 6>{0, 0, 0, 7, 14, 0}));
    EXPECT_EQ(state.reels[0].resultPicture.image, 7);
    EXPECT_EQ(state.reels[1].resultPicture.image, 14);
    EXPECT_EQ(state.reels[2].resultPicture.image, kNoImage);
    EXPECT_FALSE(state.reels[0].resultPicture.visible);
    EXPECT_TRUE(state.reels[1].resultPicture.visible);
    EXPECT_EQ(state.reels[0].finalCode, "07"); // the caption keeps the text received
}

TEST(CardState, holdFollowsTheColourAndAStrangeColourToggleToNotHeld) {
    CardState state;
    EXPECT_FALSE(isHeld(state, 1));
    toggleHold(state, 1);
    EXPECT_TRUE(isHeld(state, 1));
    EXPECT_EQ(state.reels[1].hold.caption, "HELD");
    EXPECT_EQ(state.reels[1].hold.backColour, 0x0000FFFFu);

    state.reels[2].hold = {QStringLiteral("HELD"), 0x00123456};
    EXPECT_FALSE(isHeld(state, 2)); // the caption is never read
    toggleHold(state, 2);
    EXPECT_FALSE(isHeld(state, 2));
    EXPECT_EQ(state.reels[2].hold.caption, "HOLD");
    EXPECT_EQ(state.reels[2].hold.backColour, 0x00FFFF00u);
}

TEST(PayoutsState, amountsCreateTheWindowHiddenAndClosingForgetsThem) {
    PayoutsState payouts;
    EXPECT_EQ(payouts.amounts.front(), "25000");
    EXPECT_EQ(payouts.amounts.back(), "50");
    payouts.setAmount(3, "1234");
    EXPECT_TRUE(payouts.exists);
    EXPECT_FALSE(payouts.shown);
    payouts.show();
    EXPECT_TRUE(payouts.shown);
    EXPECT_EQ(payouts.amounts[3], "1234");
    payouts.closed();
    EXPECT_FALSE(payouts.exists);
    EXPECT_EQ(payouts.amounts, PayoutsState::designAmounts());
}

TEST(PayoutsState, aRowOutsideTheTableIsIgnored) {
    PayoutsState payouts;
    payouts.setAmount(16, "1");
    payouts.setAmount(-1, "1");
    EXPECT_FALSE(payouts.exists);
    EXPECT_EQ(payouts.amounts, PayoutsState::designAmounts());
}

} // namespace
} // namespace jackwell
