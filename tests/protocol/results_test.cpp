// The first-result handler (first draw, free-game offer, payout table) and the
// final-result handler (final draw, credits), well-formed and malformed.

#include "protocol/get_token.h"
#include "protocol/handlers.h"
#include "protocol/markers.h"
#include "reels/card_state.h"
#include "reels/payouts_state.h"
#include "support/qt_printers.h"

#include <gtest/gtest.h>

namespace jackwell {
namespace {

using Codes = std::array<QString, 3>;
using Numbers = std::array<int, 3>;
constexpr int N = kNoImage;
constexpr int U = kDesignResultImage; // untouched
const QString kFar(40000, u'x');      // pushes a marker past any 16-bit position

QString offerLine(const QString& front, const QString& behind) {
    return front + kOfferMarker + behind;
}

TEST(HandleFirstResult, firstDrawCodes) {
    struct Row {
        const char* name;
        QString text;
        Codes codes;
        Numbers drawCodes;
        Numbers images;
    };
    const std::vector<Row> rows = {
        {"codes at 4-5, 9-10, 14-15",
         "ESP from Keeper: FIRST: [ 07 | 03 | 11 ]",
         {"07", "03", "11"},
         {7, 3, 11},
         {7, 3, 11}},
        {"outgoing line changes nothing",
         "ESP to Keeper: FIRST: [ 07 | 03 | 11 ]",
         {"0", "0", "0"},
         {0, 0, 0},
         {U, U, U}},
        {"other line changes nothing",
         "Keeper: FIRST: [ 07 | 03 | 11 ]",
         {"0", "0", "0"},
         {0, 0, 0},
         {U, U, U}},
        {"lower-case prefix changes nothing",
         "esp from Keeper: FIRST: [ 07 | 03 | 11 ]",
         {"0", "0", "0"},
         {0, 0, 0},
         {U, U, U}},
        {"<system> changes nothing",
         "ESP from <system>: FIRST: [ 07 | 03 | 11 ]",
         {"0", "0", "0"},
         {0, 0, 0},
         {U, U, U}},
        {"the later message decides",
         "ESP from Keeper: FIRST: [ 07 | 03 | 11 ]\r\nBolt: hi\r\n"
         "ESP from Keeper: FIRST: [ 01 | 14 | 09 ]",
         {"01", "14", "09"},
         {1, 14, 9},
         {1, 14, 9}},
        {"any avatar counts",
         "ESP from Bolt: FIRST: [ 02 | 02 | 02 ]",
         {"02", "02", "02"},
         {2, 2, 2},
         {2, 2, 2}},
        {"speaker holding a colon and a blank",
         "ESP from Keeper: go: FIRST: [ 05 | 06 | 08 ]",
         {"05", "06", "08"},
         {5, 6, 8},
         {5, 6, 8}},
        {"short body gives short codes",
         "ESP from Keeper: FIRST: [ 07 | 0",
         {"07", "0", ""},
         {7, 0, 0},
         {7, N, N}},
        {"body ends at a further FIRST:",
         "ESP from Keeper: FIRST: [ 12 FIRST: 03 | 11 ]",
         {"12", "", ""},
         {12, 0, 0},
         {12, N, N}},
        {"codes outside 1..14 keep their text",
         "ESP from Keeper: FIRST: [ 15 | 00 | -1 ]",
         {"15", "00", "-1"},
         {15, 0, -1},
         {N, N, N}},
        {"codes that are no number",
         "ESP from Keeper: FIRST: [ ab | 7x | 1. ]",
         {"ab", "7x", "1."},
         {0, 0, 0},
         {N, N, N}},
        {"marker past 32767",
         "ESP from " + kFar + ": FIRST: [ 10 | 11 | 12 ]",
         {"10", "11", "12"},
         {10, 11, 12},
         {10, 11, 12}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        CardState state;
        PayoutsState payouts;
        Tokenizer tokenizer;
        HandleFirstResult(state, payouts, tokenizer, row.text);
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(state.reels[i].firstCode, row.codes[i]) << "reel " << i;
            EXPECT_EQ(state.drawCodes[i], row.drawCodes[i]) << "reel " << i;
            EXPECT_EQ(state.reels[i].resultPicture.image, row.images[i]) << "reel " << i;
            EXPECT_EQ(state.drawCodes[3 + i], 0) << "the final draw is not touched";
        }
    }
}

TEST(HandleFirstResult, freeGameOffer) {
    struct Row {
        const char* name;
        QString creditsBefore;
        QString text;
        QString credits;
        QString tokens;
    };
    const QString zero = QStringLiteral("0");
    const QString none = QStringLiteral("(0)");
    const std::vector<Row> rows = {
        {"taken while the credits show 0", zero, offerLine("Keeper", ": 100"), "100", "(5000)"},
        {"passed over while they show 100", "100", offerLine("Keeper", ": 50"), "100", none},
        {"the first offer wins", zero,
         offerLine("Keeper", ": 100") + "\r\n" + offerLine("Keeper", ": 200"), "100", "(5000)"},
        {"an offer of 0 lets the next one be taken", zero,
         offerLine("Keeper", ": 0") + "\r\n" + offerLine("Keeper", ": 30"), "30", "(1500)"},
        {"the amount ends at the next colon and blank", zero, offerLine("Keeper", ": 100: enjoy"),
         "100", "(5000)"},
        {"a fraction keeps its point", zero, offerLine("Keeper", ": 2.5"), "2.5", "(125)"},
        {"blanks are kept as received", zero, offerLine("Keeper", ":  8"), " 8", "(400)"},
        {"outgoing line counts", zero, offerLine("ESP to Keeper", ": 4"), "4", "(200)"},
        {"incoming line counts", zero, offerLine("ESP from Keeper", ": 6"), "6", "(300)"},
        {"<system> changes nothing", zero, offerLine("<system>", ": 100"), zero, none},
        {"speaker holding colons and blanks", zero, offerLine("Keeper: 7: 30", ": 100"), "100",
         "(5000)"},
        {"marker past 32767", zero, offerLine(kFar, ": 9"), "9", "(450)"},
        {"no colon and blank after the marker", zero, offerLine("Keeper", " 100"), zero, none},
        {"amount that is no number", zero, offerLine("Keeper", ": lots"), zero, none},
        {"empty amount", zero, offerLine("Keeper", ": : 5"), zero, none},
        {"digits of another script", zero, offerLine("Keeper", QString::fromUtf8(": ١٠٠")), zero,
         none},
        {"amount beyond the window", zero, offerLine("Keeper", QString(80, u' ') + ": 5"), zero,
         none},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        CardState state;
        state.credits = row.creditsBefore;
        PayoutsState payouts;
        Tokenizer tokenizer;
        HandleFirstResult(state, payouts, tokenizer, row.text);
        EXPECT_EQ(state.credits, row.credits);
        EXPECT_EQ(state.tokens, row.tokens);
    }
}

// "Keeper: Payouts per token:" followed by `count` amounts " 1", " 2", ...
QString payoutLine(const QString& speaker, int count, int offset = 0) {
    QString line = speaker + QStringLiteral(": Payouts per token:");
    for (int i = 1; i <= count; ++i)
        line += QStringLiteral(" %1:").arg(i + offset);
    return line;
}

TEST(HandleFirstResult, payoutTable) {
    const auto design = PayoutsState::designAmounts();
    auto amounts = [&](int count, int offset = 0) {
        auto result = design;
        for (int i = 0; i < count && i < 16; ++i)
            result[i] = QStringLiteral(" %1").arg(i + 1 + offset);
        return result;
    };
    // Amounts of 29 characters: the window of 300 behind the marker ends
    // inside the tenth.
    QString longTable = QStringLiteral("K: Payouts:");
    auto longAmounts = design;
    for (int i = 0; i < 16; ++i) {
        const QString amount = QStringLiteral("%1").arg(i + 1, 29, 10, QChar(u'0'));
        longTable += amount + u':';
        if (i < 9)
            longAmounts[i] = amount;
    }
    longAmounts[9] = QStringLiteral("%1").arg(10, 29, 10, QChar(u'0')).left(21);

    auto fiveAndEmpty = amounts(5);
    fiveAndEmpty[5] = QString();

    struct Row {
        const char* name;
        QString text;
        bool exists;
        std::array<QString, 16> amounts;
    };
    const std::vector<Row> rows = {
        {"sixteen amounts, blanks included", payoutLine("Keeper", 16), true, amounts(16)},
        {"any line kind", "ESP to " + payoutLine("Keeper", 16), true, amounts(16)},
        {"more than sixteen: the rest is not read", payoutLine("Keeper", 20), true, amounts(16)},
        {"fewer: those present are set in order, the rest stay", payoutLine("Keeper", 4) + " 5",
         true, amounts(5)},
        {"a colon ends the last amount present", payoutLine("Keeper", 5), true, fiveAndEmpty},
        {"the last amount may end at the line's end", payoutLine("Keeper", 15) + " 16", true,
         amounts(16)},
        {"the later table decides",
         payoutLine("Keeper", 16, 100) + "\r\n" + payoutLine("Keeper", 16), true, amounts(16)},
        {"speaker holding a colon", payoutLine("Keeper: x", 16), true, amounts(16)},
        {"<system> changes nothing", payoutLine("<system>", 16), false, design},
        {"no table", "Keeper: Payout: 1: 2", false, design},
        {"window of 300 behind the marker", longTable, true, longAmounts},
        {"marker past 32767", payoutLine(kFar, 16), true, amounts(16)},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        CardState state;
        PayoutsState payouts;
        Tokenizer tokenizer;
        HandleFirstResult(state, payouts, tokenizer, row.text);
        EXPECT_EQ(payouts.exists, row.exists);
        EXPECT_FALSE(payouts.shown) << "a table creates the window hidden";
        for (int i = 0; i < 16; ++i)
            EXPECT_EQ(payouts.amounts[i], row.amounts[i]) << "Label" << i + 1;
    }
}

TEST(HandleFirstResult, aLineWithBothMarkersActsAsBoth) {
    CardState state;
    PayoutsState payouts;
    Tokenizer tokenizer;
    HandleFirstResult(state, payouts, tokenizer,
                      "ESP from Keeper: FIRST: [ 07 | 03 | 11 ] " + payoutLine("Keeper", 16));
    EXPECT_EQ(state.reels[2].firstCode, "11");
    EXPECT_EQ(state.drawCodes[1], 3);
    EXPECT_EQ(payouts.amounts[0], " 1");
    EXPECT_EQ(payouts.amounts[15], " 16");
}

TEST(HandleFinalResult, finalDrawAndCredits) {
    struct Row {
        const char* name;
        QString text;
        Codes codes;
        Numbers drawCodes;
        Numbers images;
        QString credits;
        QString tokens;
    };
    const QString before = QStringLiteral("100");
    const QString beforeTokens = QStringLiteral("(5000)");
    const Codes untouched = {"0", "0", "0"};
    const std::vector<Row> rows = {
        {"codes and credits",
         "ESP from Keeper: FINAL: [ 07 | 07 | 07 ] Credits: (150)",
         {"07", "07", "07"},
         {7, 7, 7},
         {7, 7, 7},
         "150",
         "(7500)"},
        {"credits cut by position",
         "ESP from Keeper: FINAL: [ 01 | 02 | 03 ] Credits: 150 ",
         {"01", "02", "03"},
         {1, 2, 3},
         {1, 2, 3},
         "50",
         "(2500)"},
        {"credits end at the next colon",
         "ESP from Keeper: FINAL: [ 01 | 02 | 03 ] Credits: (20): ok",
         {"01", "02", "03"},
         {1, 2, 3},
         {1, 2, 3},
         "20",
         "(1000)"},
        {"credits replaced whatever they showed",
         "ESP from Keeper: FINAL: [ 14 | 13 | 12 ] Credits: (0)",
         {"14", "13", "12"},
         {14, 13, 12},
         {14, 13, 12},
         "0",
         "(0)"},
        {"fractional credits",
         "ESP from Keeper: FINAL: [ 14 | 13 | 12 ] Credits: (2.5)",
         {"14", "13", "12"},
         {14, 13, 12},
         {14, 13, 12},
         "2.5",
         "(125)"},
        {"the later message decides",
         "ESP from Keeper: FINAL: [ 07 | 07 | 07 ] Credits: (150)\r\n"
         "ESP from Keeper: FINAL: [ 04 | 05 | 06 ] Credits: (3)",
         {"04", "05", "06"},
         {4, 5, 6},
         {4, 5, 6},
         "3",
         "(150)"},
        {"outgoing line changes nothing",
         "ESP to Keeper: FINAL: [ 07 | 07 | 07 ] Credits: (1)",
         untouched,
         {0, 0, 0},
         {U, U, U},
         before,
         beforeTokens},
        {"other line changes nothing",
         "Keeper: FINAL: [ 07 | 07 | 07 ] Credits: (1)",
         untouched,
         {0, 0, 0},
         {U, U, U},
         before,
         beforeTokens},
        {"<system> changes nothing",
         "ESP from <system>: FINAL: [ 07 | 07 | 07 ] Credits: (1)",
         untouched,
         {0, 0, 0},
         {U, U, U},
         before,
         beforeTokens},
        {"window of 50: the credits are cut short",
         "ESP from Keeper: FINAL: [ 01 | 01 | 01 ] Credits: (1234567890123456789)",
         {"01", "01", "01"},
         {1, 1, 1},
         {1, 1, 1},
         "12345678901234",
         "(617283945061700)"},
        {"marker past 32767",
         "ESP from " + kFar + ": FINAL: [ 09 | 08 | 07 ] Credits: (1)",
         {"09", "08", "07"},
         {9, 8, 7},
         {9, 8, 7},
         "1",
         "(50)"},
        // Malformed: the codes are taken, the credits and tokens stay.
        {"no colon in the body",
         "ESP from Keeper: FINAL: [ 07 | 07 | 07 ] Credits (150)",
         {"07", "07", "07"},
         {7, 7, 7},
         {7, 7, 7},
         before,
         beforeTokens},
        {"credits piece of two characters",
         "ESP from Keeper: FINAL: [ 07 | 07 | 07 ] C: (",
         {"07", "07", "07"},
         {7, 7, 7},
         {7, 7, 7},
         before,
         beforeTokens},
        {"credits piece of three characters",
         "ESP from Keeper: FINAL: [ 07 | 07 | 07 ] C: ()",
         {"07", "07", "07"},
         {7, 7, 7},
         {7, 7, 7},
         before,
         beforeTokens},
        {"credits that are no number",
         "ESP from Keeper: FINAL: [ 07 | 07 | 07 ] C: (many)",
         {"07", "07", "07"},
         {7, 7, 7},
         {7, 7, 7},
         before,
         beforeTokens},
        {"codes outside 1..14",
         "ESP from Keeper: FINAL: [ 99 | x7 | 70000 ] C: (1)",
         {"99", "x7", "70"},
         {99, 0, 70},
         {N, N, N},
         "1",
         "(50)"},
        {"short body",
         "ESP from Keeper: FINAL: [ 3",
         {"3", "", ""},
         {3, 0, 0},
         {3, N, N},
         before,
         beforeTokens},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        CardState state;
        state.credits = before;
        state.tokens = beforeTokens;
        Tokenizer tokenizer;
        HandleFinalResult(state, tokenizer, row.text);
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(state.reels[i].finalCode, row.codes[i]) << "reel " << i;
            EXPECT_EQ(state.drawCodes[3 + i], row.drawCodes[i]) << "reel " << i;
            EXPECT_EQ(state.reels[i].resultPicture.image, row.images[i]) << "reel " << i;
            EXPECT_EQ(state.drawCodes[i], 0) << "the first draw is not touched";
        }
        EXPECT_EQ(state.credits, row.credits);
        EXPECT_EQ(state.tokens, row.tokens);
    }
}

// Whatever bytes arrive, the handlers finish and leave the state consistent.
TEST(Handlers, surviveArbitraryText) {
    QByteArray bytes;
    for (int i = 0; i < 20000; ++i)
        bytes += char((i * 7919) % 256);
    bytes += "\r\nESP from K: FINAL: [ \xff\xfe | \0 | 65536 ] C: (\xc3)";
    const QString text = QString::fromUtf8(bytes);
    CardState state;
    PayoutsState payouts;
    Tokenizer tokenizer;
    FindMachineKeeper(state, tokenizer, text);
    HandleFirstResult(state, payouts, tokenizer, text);
    HandleFinalResult(state, tokenizer, text);
    for (int i = 0; i < 6; ++i) {
        const QString& code = i < 3 ? state.reels[i].firstCode : state.reels[i - 3].finalCode;
        EXPECT_EQ(state.drawCodes[i], codeValue(code));
    }
}

} // namespace
} // namespace jackwell
