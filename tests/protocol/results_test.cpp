// The first-result (first draw, offer, payouts) and final-result (final draw, credits) handlers.

#include "protocol/draw_lines.h"
#include "protocol/handlers.h"
#include "protocol/markers.h"
#include "protocol/tokenizer.h"
#include "reels/card_state.h"
#include "reels/payouts_state.h"
#include "support/qt_printers.h"

#include <QStringList>

#include <gtest/gtest.h>

namespace jackwell {
namespace {

const QString kFar(40000, u'x'); // pushes a marker past any 16-bit position

const auto from = [](const QString& text) { return "ESP from Keeper: " + text; };
QString offer(const QString& speaker, const QString& behind) {
    return speaker + kOfferMarker + behind;
}

// What a draw leaves: code captions and result symbols; untouched, captions "0" and first pictures.
struct Draw {
    std::array<const char*, 3> captions;
    std::array<int, 3> images;
};
constexpr int none = kNoImage;
const Draw untouched{{"0", "0", "0"}, {3, 3, 3}};
const Draw sevens{{"07", "07", "07"}, {7, 7, 7}};

// The card and the payouts window once START read `text`, the card's credits `credits` before.
std::pair<CardState, PayoutsState> readFirst(const QString& text, const QString& credits = "0") {
    CardState card;
    card.credits = credits;
    PayoutsState payouts;
    Tokenizer tokenizer;
    handleFirstResult(card, payouts, tokenizer, text);
    return {card, payouts};
}

// Checks one draw; the other draw is not touched.
void expectDraw(const CardState& state, const Draw& expected, bool final) {
    for (int i = 0; i < 3; ++i) {
        const Reel& reel = state.reels[i];
        EXPECT_EQ(final ? reel.finalCode : reel.firstCode, expected.captions[i]) << "reel " << i;
        EXPECT_EQ(final ? reel.firstCode : reel.finalCode, "0") << "the other draw";
        EXPECT_EQ(reel.resultPicture.image, expected.images[i]) << "reel " << i;
    }
}

TEST(handleFirstResult, firstDrawCodes) {
    const std::tuple<const char*, QString, Draw> rows[] = {
        {"codes at 4-5, 9-10, 14-15", from("FIRST: [ 07 | 03 | 11 ]"),
         Draw{{"07", "03", "11"}, {7, 3, 11}}},
        {"outgoing line changes nothing", "ESP to Keeper: FIRST: [ 07 | 03 | 11 ]", untouched},
        {"other line changes nothing", "Keeper: FIRST: [ 07 | 03 | 11 ]", untouched},
        {"<system> changes nothing", "ESP from <system>: FIRST: [ 07 | 03 | 11 ]", untouched},
        {"the later message decides",
         from("FIRST: [ 07 | 03 | 11 ]\r\nBolt: hi\r\n") + from("FIRST: [ 01 | 14 | 09 ]"),
         Draw{{"01", "14", "09"}, {1, 14, 9}}},
        {"speaker holding a colon and a blank", from("go: FIRST: [ 05 | 06 | 08 ]"),
         Draw{{"05", "06", "08"}, {5, 6, 8}}},
        {"short body gives short codes", from("FIRST: [ 07 | 0"),
         Draw{{"07", "0", ""}, {7, none, none}}},
        {"body ends at a further FIRST:", from("FIRST: [ 12 FIRST: 03 | 11 ]"),
         Draw{{"12", "", ""}, {12, none, none}}},
        {"codes outside 1..14 keep their text", from("FIRST: [ 15 | 00 | -1 ]"),
         Draw{{"15", "00", "-1"}, {none, none, none}}},
        {"codes that are no number", from("FIRST: [ ab | 7x | 1. ]"),
         Draw{{"ab", "7x", "1."}, {none, none, none}}},
        {"marker past 32767", "ESP from " + kFar + ": FIRST: [ 10 | 11 | 12 ]",
         Draw{{"10", "11", "12"}, {10, 11, 12}}},
        {"a payout table behind it on the same line",
         from("FIRST: [ 07 | 03 | 11 ] K: Payouts per token: 1: 2:"),
         Draw{{"07", "03", "11"}, {7, 3, 11}}},
    };
    for (const auto& [name, text, codes] : rows) {
        SCOPED_TRACE(name);
        expectDraw(readFirst(text).first, codes, false);
    }
}

TEST(handleFirstResult, freeGameOffer) {
    const QString zero = "0";
    const QString none = "(0)";
    const std::tuple<const char*, QString, QString, QString, QString> rows[] = {
        {"taken while the credits show 0", zero, offer("Keeper", ": 100"), "100", "(5000)"},
        {"passed over while they show 100", "100", offer("Keeper", ": 50"), "100", none},
        {"the first offer wins", zero, offer("K", ": 100") + "\r\n" + offer("K", ": 200"), "100",
         "(5000)"},
        {"an offer of 0 lets the next one be taken", zero,
         offer("K", ": 0") + "\r\n" + offer("K", ": 30"), "30", "(1500)"},
        {"the amount ends at the next colon and blank", zero, offer("K", ": 100: enjoy"), "100",
         "(5000)"},
        {"a fraction keeps its point", zero, offer("K", ": 2.5"), "2.5", "(125)"},
        {"tokens in digits however large", zero, offer("K", ": 20000000000000"), "20000000000000",
         "(1000000000000000)"},
        {"blanks are kept as received", zero, offer("K", ":  8"), " 8", "(400)"},
        {"outgoing line counts", zero, offer("ESP to Keeper", ": 4"), "4", "(200)"},
        {"<system> changes nothing", zero, offer("<system>", ": 100"), zero, none},
        {"speaker holding colons and blanks", zero, offer("K: 7: 30", ": 100"), "100", "(5000)"},
        {"no colon and blank after the marker", zero, offer("K", " 100"), zero, none},
        {"amount that is no number", zero, offer("K", ": lots"), zero, none},
        {"empty amount", zero, offer("K", ": : 5"), zero, none},
        {"digits of another script", zero, offer("K", QString::fromUtf8(": ١٠٠")), zero, none},
        // The window ends 200 characters behind the marker's start, after the amount's first digit.
        {"the window of 200 cuts the amount", zero, offer("K", QString(74, u'x') + ": 123"), "1",
         "(50)"},
    };
    for (const auto& [name, creditsBefore, text, credits, tokens] : rows) {
        SCOPED_TRACE(name);
        const CardState state = readFirst(text, creditsBefore).first;
        EXPECT_EQ(state.credits + ' ' + state.tokens, credits + ' ' + tokens);
    }
}

// "<speaker>: Payouts per token:" and `count` amounts " 1:", " 2:", ...
QString payoutLine(const QString& speaker, int count, int offset = 0) {
    QString line = speaker + ": Payouts per token:";
    for (int i = 1; i <= count; ++i)
        line += QStringLiteral(" %1:").arg(i + offset);
    return line;
}

TEST(handleFirstResult, payoutTable) {
    const auto published = PayoutsState::publishedAmounts();
    auto amounts = [&](int count) {
        auto result = published;
        for (int i = 0; i < count; ++i)
            result[i] = QStringLiteral(" %1").arg(i + 1);
        return result;
    };
    auto fiveAndEmpty = amounts(5);
    fiveAndEmpty[5] = QString();
    // Amounts of 29 characters: the window of 300 behind the marker ends in the tenth.
    QString longTable = "K: Payouts:";
    auto longAmounts = published;
    for (int i = 0; i < 16; ++i) {
        const QString amount = QStringLiteral("%1").arg(i + 1, 29, 10, QChar(u'0'));
        longTable += amount + u':';
        if (i < 10)
            longAmounts[i] = i < 9 ? amount : amount.left(21);
    }
    const std::vector<std::tuple<const char*, QString, bool, std::array<QString, 16>>> rows = {
        {"sixteen amounts, blanks included", payoutLine("Keeper", 20), true, amounts(16)},
        {"fewer: those present are set, the rest stay", payoutLine("K", 4) + " 5", true,
         amounts(5)},
        {"a colon ends the last amount present", payoutLine("K", 5), true, fiveAndEmpty},
        {"the later table decides", payoutLine("K", 16, 100) + "\r\n" + payoutLine("K", 16), true,
         amounts(16)},
        {"speaker holding a colon", payoutLine("ESP to Keeper: x", 16), true, amounts(16)},
        {"behind a first draw on the same line",
         from("FIRST: [ 07 | 03 | 11 ] ") + payoutLine("K", 16), true, amounts(16)},
        {"<system> changes nothing", payoutLine("<system>", 16), false, published},
        {"window of 300 behind the marker", longTable, true, longAmounts},
    };
    for (const auto& [name, text, exists, expected] : rows) {
        SCOPED_TRACE(name);
        const PayoutsState payouts = readFirst(text).second;
        EXPECT_EQ(payouts.exists, exists);
        EXPECT_FALSE(payouts.shown) << "a table creates the window hidden";
        EXPECT_EQ(payouts.amounts, expected);
    }
}

// The credits shown before are "100" and "(5000)"; `shown` gives those after ("" if they stay).
TEST(handleFinalResult, finalDrawAndCredits) {
    auto final = [](const QString& behind) { return from("FINAL: [ 07 | 07 | 07 ] " + behind); };
    const struct {
        const char* name;
        QString text;
        Draw codes;
        QString shown = {};
    } rows[] = {
        {"codes and credits", final("Credits: (150)"), sevens, "150 (7500)"},
        {"a line break at the text's end", final("C: (150)\r\n"), sevens, "150 (7500)"},
        {"credits cut by position", final("Credits: 150 "), sevens, "50 (2500)"},
        {"credits end at the next colon", final("C: (20): ok"), sevens, "20 (1000)"},
        {"credits replaced whatever they showed", final("C: (0)"), sevens, "0 (0)"},
        {"fractional credits", final("C: (2.5)"), sevens, "2.5 (125)"},
        {"tokens in digits however large", final("C: (20000000000000)"), sevens,
         "20000000000000 (1000000000000000)"},
        {"the later message decides",
         from("FINAL: [ 01 | 01 | 01 ] C: (150)\r\n") + from("FINAL: [ 04 | 05 | 06 ] C: (3)"),
         Draw{{"04", "05", "06"}, {4, 5, 6}}, "3 (150)"},
        {"outgoing line changes nothing", "ESP to K: FINAL: [ 07 | 07 | 07 ] C: (1)", untouched},
        {"other line changes nothing", "K: FINAL: [ 07 | 07 | 07 ] C: (1)", untouched},
        {"<system> changes nothing", "ESP from <system>: FINAL: [ 07 | 07 | 07 ] C: (1)",
         untouched},
        {"window of 50: the credits are cut short",
         from("FINAL: [ 01 | 01 | 01 ] Credits: (1234567890123456789)"),
         Draw{{"01", "01", "01"}, {1, 1, 1}}, "12345678901234 (617283945061700)"},
        {"marker past 32767", "ESP from " + kFar + ": FINAL: [ 07 | 07 | 07 ] C: (1)", sevens,
         "1 (50)"},
        // Malformed: the codes are taken, the credits and tokens stay.
        {"no colon in the body", final("Credits (150)"), sevens},
        {"credits piece of two characters", final("C: ("), sevens},
        {"credits piece of three characters", final("C: ()"), sevens},
        {"credits that are no number", final("C: (many)"), sevens},
        {"codes outside 1..14", from("FINAL: [ 99 | x7 | 70000 ] C: (1)"),
         Draw{{"99", "x7", "70"}, {none, none, none}}, "1 (50)"},
        {"short body", from("FINAL: [ 3"), Draw{{"3", "", ""}, {3, none, none}}},
        {"the head twice: no body", from("FINAL: FINAL: [ 07 | 07 | 07 ] C: (1)"), Draw{}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        CardState state;
        state.credits = "100";
        state.tokens = "(5000)";
        Tokenizer tokenizer;
        handleFinalResult(state, tokenizer, row.text);
        expectDraw(state, row.codes, true);
        const QStringList shown = (row.shown.isEmpty() ? "100 (5000)" : row.shown).split(' ');
        EXPECT_EQ(QStringList({state.credits, state.tokens}), shown);
    }
    // A final draw is a game's result only when it stands after the holds sent on its first.
    Tokenizer tokenizer;
    const DrawLines lines =
        DrawLines::read(tokenizer, from("FIRST: |\r\n") + from("FINAL: |\r\n") + from("FIRST: |"));
    EXPECT_EQ(lines.newFinal(lines.newFirst({}), {}), std::nullopt);
    // The text's front dropped renumbers its lines: the draw shown is then found by its text.
    const auto shown =
        DrawLines::read(tokenizer, from("FIRST: 1\r\n") + from("FIRST: 2")).newFirst({});
    EXPECT_EQ(DrawLines::read(tokenizer, from("FIRST: 2")).newFirst(shown), std::nullopt);
    // A balance cut short is none, and no lines hold none.
    EXPECT_EQ(DrawLines::read(tokenizer, from("CREDITS: (98")).balance(), std::nullopt);
    EXPECT_EQ(DrawLines::read(tokenizer, QString()).balance(), std::nullopt);
    // A new player's registration is answered by the first draw alone.
    const QString registered = "ESP to Keeper: Register me!\r\n" + from("FIRST: | 01 | 02 | 03 |");
    EXPECT_TRUE(DrawLines::read(tokenizer, registered).registrationAnswered());
}

} // namespace
} // namespace jackwell
