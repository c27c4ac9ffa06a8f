// The card's display state: the text forms of the codes, how a code picks a picture, the hold
// colours and the payouts window's lifecycle. Results compare code texts: their forms matter.

#include "reels/card_state.h"
#include "reels/payouts_state.h"
#include "support/qt_printers.h"

#include <gtest/gtest.h>

namespace jackwell {
namespace {

// Only "01".."09" lose their leading zero; a caption selects its symbol's picture, or none.
TEST(CardState, codesDropOnlyTheLeadingZeroOfOneToNineAndSelectTheirSymbolOrNone) {
    const std::pair<QString, QString> rows[] = {
        {"01", "1"},  {"07", "7"}, {"09", "9"},    {"10", "10"}, {"14", "14"}, {"0", "0"},
        {"00", "00"}, {"7", "7"},  {"007", "007"}, {"0a", "0a"}, {" 7", " 7"}, {"", ""}};
    for (const auto& [caption, expected] : rows)
        EXPECT_EQ(normaliseCode(caption), expected) << caption;

    // What a code caption reads back as and the result picture it selects.
    const std::tuple<QString, qint16, int> values[] = {
        {"07", 7, 7},         {"7", 7, 7},         {"14", 14, 14},        {"01", 1, 1},
        {"15", 15, kNoImage}, {"0", 0, kNoImage},  {"-3", -3, kNoImage},  {"", 0, kNoImage},
        {"ab", 0, kNoImage},  {"7.", 0, kNoImage}, {"99999", 0, kNoImage}};
    for (const auto& [caption, value, image] : values) {
        EXPECT_EQ(codeValue(caption), value) << caption;
        EXPECT_EQ(symbolImage(codeValue(caption)), image) << caption;
    }
    // Read as far as a short holds it: twelve characters at most, -32768 to 32767.
    const std::pair<QString, qint16> bounds[] = {{" 000000000007 ", 7}, {"0000000000007", 0},
                                                 {"32767", 32767},      {"32768", 0},
                                                 {"-32768", -32768},    {"-32769", 0}};
    for (const auto& [caption, value] : bounds)
        EXPECT_EQ(codeValue(caption), value) << caption;
}

// Tokens are fifty times the credits, in plain digits however large, exact for fractions.
TEST(CardState, tokensAreFiftyTimesTheCreditsInPlainDigits) {
    const std::pair<const char*, const char*> rows[] = {
        {"100", "(5000)"},
        {"0", "(0)"},
        {"007", "(350)"},
        {" 8", "(400)"},
        {"+3", "(150)"},
        {"-3", "(-150)"},
        {"-0", "(0)"},
        {"2.5", "(125)"},
        {"0.01", "(0.5)"},
        {".5", "(25)"},
        {"1.", "(50)"},
        {"0.000", "(0)"},
        {"1.2345", "(61.725)"},
        {"1.250", "(62.5)"},
        {"1.20", "(60)"},
        {"19999999999999", "(999999999999950)"},
        {"20000000000000", "(1000000000000000)"},
        {"12345678901234", "(617283945061700)"},
        {"123456789012345678901234567890", "(6172839450617283945061728394500)"},
        {"99999999999999999999.99", "(4999999999999999999999.5)"},
    };
    for (const auto& [credits, tokens] : rows)
        EXPECT_EQ(tokensFor(QString::fromLatin1(credits)), QString::fromLatin1(tokens)) << credits;
    for (const char* notANumber : {"", ".", "-", "1e3", "1.2.3", "x1", "1 2", "0x10"})
        EXPECT_EQ(tokensFor(QString::fromLatin1(notANumber)), std::nullopt) << notANumber;
    // Credits of 64 characters at most: more is no balance a machine keeps.
    EXPECT_EQ(tokensFor(QString(64, u'2')), "(" + QString(64, u'1') + "00)");
    EXPECT_EQ(tokensFor(QString(65, u'2')), std::nullopt);
}

// A reel is held exactly when its button is yellow (cyan toggles to held, others to free, captions
// aside). An amount makes the payouts window, hidden (rows outside ignored); closing forgets.
TEST(CardState, holdsFollowTheColourAndPayoutsForgetTheirAmountsWhenClosed) {
    CardState state;
    state.reels[2].hold = {"HELD", 0x00123456};
    EXPECT_FALSE(isHeld(state, 2));
    toggleHold(state, 1);
    toggleHold(state, 2);
    EXPECT_TRUE(isHeld(state, 1) && !isHeld(state, 2));
    EXPECT_TRUE(state.reels[1].hold == (HoldButton{"HELD", 0x0000FFFF}));
    EXPECT_TRUE(state.reels[2].hold == (HoldButton{"HOLD", 0x00FFFF00}));

    PayoutsState payouts;
    payouts.setAmount(16, "1");
    payouts.setAmount(-1, "1");
    EXPECT_TRUE(!payouts.exists && payouts.amounts == PayoutsState::publishedAmounts());
    payouts.setAmount(3, "1234");
    EXPECT_TRUE(payouts.exists && !payouts.shown && payouts.amounts[3] == "1234");
    payouts.closed();
    EXPECT_TRUE(!payouts.exists && payouts.amounts == PayoutsState::publishedAmounts());
}

} // namespace
} // namespace jackwell
