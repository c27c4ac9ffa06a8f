// The card window as the player meets it: every control at its designed place,
// each painted button answering a click anywhere inside it and nowhere else,
// and the pictures, holds and captions following the card's state.

#include "shell/card_label.h"
#include "shell/symbol_box.h"
#include "shell/text_style.h"
#include "support/card_rig.h"
#include "support/qt_printers.h"

#include <QLineEdit>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <functional>

namespace jackwell {
namespace {

using CardRig = testing::CardWindowRig;

// The places are the designed twips divided by 15.
struct Place {
    const char* control;
    QRect pixels;
};
const std::vector<Place> kPlaces = {
    {"Text1", {8, 8, 105, 19}},        {"Label1", {8, 47, 73, 17}},
    {"Label9", {80, 47, 49, 17}},      {"Label17", {128, 47, 57, 17}},
    {"Label10", {8, 64, 73, 17}},      {"Label11", {80, 64, 49, 17}},
    {"Label12", {128, 64, 57, 17}},    {"Picture1(0)", {8, 88, 49, 49}},
    {"Picture1(1)", {56, 88, 49, 49}}, {"Picture1(2)", {104, 88, 49, 49}},
    {"Picture2", {8, 88, 49, 49}},     {"Picture3", {56, 88, 49, 49}},
    {"Picture4", {104, 88, 49, 49}},   {"Label18", {77, 256, 13, 20}},
    {"Label19", {109, 256, 13, 20}},   {"Label20", {141, 256, 13, 20}},
    {"Label21", {77, 280, 13, 20}},    {"Label22", {109, 280, 13, 20}},
    {"Label23", {141, 280, 13, 20}},
};

TEST(CardWindow, everyControlSitsAtItsPlace) {
    CardRig rig;
    for (const Place& place : kPlaces) {
        const QWidget* control = rig.control(place.control);
        ASSERT_TRUE(control) << place.control;
        EXPECT_EQ(control->geometry(), place.pixels) << place.control;
    }
}

// One row per button: where it is, what to set up, and what shows that the
// click reached its handler.
struct HotSpot {
    int label;
    QRect pixels;
    std::function<void(CardRig&)> prepare;
    std::function<bool(CardRig&)> reached;
};

void knowKeeper(CardRig& rig) {
    rig.change([](CardState& s) { s.machineKeeperName = QStringLiteral("Rivet"); });
}

const std::vector<HotSpot> kHotSpots = {
    {4, {120, 4, 65, 17}, {}, [](CardRig& r) { return r.card.isWaitingForChat(); }},
    {3,
     {8, 28, 81, 17},
     [](CardRig& r) { r.change([](CardState& s) { s.credits = "5"; }); },
     [](CardRig& r) { return r.card.state.credits == "0"; }},
    {2,
     {112, 28, 73, 17},
     knowKeeper,
     [](CardRig& r) { return r.backend->lastMessage() == "Register me!"; }},
    {6, {8, 136, 49, 17}, {}, [](CardRig& r) { return isHeld(r.card.state, 0); }},
    {7, {56, 136, 49, 17}, {}, [](CardRig& r) { return isHeld(r.card.state, 1); }},
    {8, {104, 136, 49, 17}, {}, [](CardRig& r) { return isHeld(r.card.state, 2); }},
    {13, {163, 100, 9, 41}, {}, [](CardRig&) { return true; }}, // the slot shows nothing
    {14, {8, 160, 49, 30}, knowKeeper, [](CardRig& r) { return r.card.isWaitingForChat(); }},
    {15,
     {56, 160, 49, 30},
     {},
     [](CardRig& r) {
         return r.card.state.finishEnabled && r.backend->lastMessage() == "I hold 0,0,0";
     }},
    {16,
     {104, 160, 49, 30},
     [](CardRig& r) { r.change([](CardState& s) { s.finishEnabled = true; }); },
     [](CardRig& r) { return r.card.isWaitingForChat(); }},
    {24,
     {8, 200, 65, 22},
     {},
     [](CardRig& r) { return r.card.payouts.shown && r.window.payoutsWindow(); }},
    {25, {8, 224, 65, 22}, {}, [](CardRig&) { return true; }}, // seen through the signal
};

TEST(CardWindow, aClickInsideEachButtonReachesItsHandler) {
    for (const HotSpot& spot : kHotSpots) {
        SCOPED_TRACE(spot.label);
        CardRig rig;
        const QWidget* label = rig.control(QStringLiteral("Label%1").arg(spot.label));
        ASSERT_TRUE(label);
        EXPECT_EQ(label->geometry(), spot.pixels);
        if (spot.prepare)
            spot.prepare(rig);
        QSignalSpy events(&rig.card, &Card::changed);
        QSignalSpy options(&rig.window, &frmJackwell::optionsRequested);
        rig.clickAt(spot.pixels.center());
        EXPECT_TRUE(spot.reached(rig));
        // OPTIONS belongs to the options window; every other button is one card event.
        EXPECT_EQ(events.count(), spot.label == 25 ? 0 : 1);
        EXPECT_EQ(options.count(), spot.label == 25 ? 1 : 0);
    }
}

TEST(CardWindow, aClickAtAButtonsCornerCounts) {
    CardRig rig;
    rig.clickAt({104 + 48, 136 + 16}); // the last pixel of the third hold button
    EXPECT_TRUE(isHeld(rig.card.state, 2));
}

TEST(CardWindow, aClickBetweenTheButtonsDoesNothing) {
    const std::vector<QPoint> between = {
        {116, 10},  // between the name box and GET HOST
        {100, 36},  // between RESET CARD and REGISTER
        {150, 70},  // on the tokens figure
        {30, 110},  // on a reel
        {30, 195},  // between START and PAYOUTS
        {120, 215}, // lightning
        {83, 266},  // a draw code
        {190, 20},  // the top right corner
    };
    CardRig rig;
    knowKeeper(rig);
    QSignalSpy events(&rig.card, &Card::changed);
    QSignalSpy options(&rig.window, &frmJackwell::optionsRequested);
    for (const QPoint& point : between)
        rig.clickAt(point);
    EXPECT_EQ(events.count(), 0);
    EXPECT_EQ(options.count(), 0);
    EXPECT_TRUE(rig.backend->calls.empty());
}

TEST(CardWindow, disabledFinishIgnoresClicks) {
    CardRig rig; // start-up disables FINISH
    QSignalSpy events(&rig.card, &Card::changed);
    rig.clickAt({128, 175});
    EXPECT_EQ(events.count(), 0);
    EXPECT_FALSE(rig.card.isWaitingForChat());
    // ESP HOLD enables it, and from then on it answers.
    rig.clickAt({80, 175});
    rig.clickAt({128, 175});
    EXPECT_TRUE(rig.card.isWaitingForChat());
}

TEST(CardWindow, isAFixedCardWithItsCaptionAndIcon) {
    CardRig rig;
    EXPECT_EQ(rig.window.windowTitle(), "Pim's Jackwell");
    EXPECT_EQ(rig.window.size(), QSize(197, 302));
    EXPECT_EQ(rig.window.minimumSize(), QSize(197, 302));
    EXPECT_EQ(rig.window.maximumSize(), QSize(197, 302));
    EXPECT_FALSE(rig.window.windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_FALSE(rig.window.windowIcon().isNull());
}

// Every pair shows exactly one picture from start-up on, through a whole spin.
TEST(CardWindow, eachReelShowsExactlyOneOfItsPicturesThroughASpin) {
    CardRig rig;
    auto shownPerReel = [&rig] {
        std::array<int, 3> shown{};
        for (int reel = 0; reel < 3; ++reel) {
            shown[reel] = rig.control(QStringLiteral("Picture1(%1)").arg(reel))->isVisible() +
                          rig.control(QStringLiteral("Picture%1").arg(reel + 2))->isVisible();
        }
        return shown;
    };
    const std::array<int, 3> one{1, 1, 1};
    EXPECT_EQ(shownPerReel(), one);
    for (int reel = 0; reel < 3; ++reel) {
        auto* box = rig.control<SymbolBox>(QStringLiteral("Picture1(%1)").arg(reel));
        EXPECT_TRUE(box->isVisible());
        EXPECT_EQ(box->image(), 4);
    }

    knowKeeper(rig);
    rig.backend->text = QByteArray("ESP from Rivet: FIRST:   07   12   04") + "    " + '\0';
    rig.clickAt({32, 175}); // START
    bool alwaysOne = true;
    const bool stopped = rig.clock.advanceUntil(
        [&] {
            alwaysOne = alwaysOne && shownPerReel() == one;
            return !rig.card.isWaitingForChat() && !rig.card.state.reels[2].timer.enabled;
        },
        60'000);
    ASSERT_TRUE(stopped);
    EXPECT_TRUE(alwaysOne);
    const int drawn[3] = {7, 12, 4};
    for (int reel = 0; reel < 3; ++reel) {
        auto* result = rig.control<SymbolBox>(QStringLiteral("Picture%1").arg(reel + 2));
        EXPECT_TRUE(result->isVisible());
        EXPECT_EQ(result->image(), drawn[reel]);
    }
    EXPECT_EQ(rig.control<CardLabel>("Label19")->caption(), "12");
}

TEST(CardWindow, holdButtonsShowTheStatesCaptionAndColour) {
    EXPECT_EQ(colourFromBgr(0x00FFFF00), QColor(0, 255, 255));
    EXPECT_EQ(colourFromBgr(0x0000FFFF), QColor(255, 255, 0));
    EXPECT_EQ(colourFromBgr(0x00123456), QColor(0x56, 0x34, 0x12));

    CardRig rig;
    rig.clickAt({80, 144}); // the middle hold button
    rig.change([](CardState& s) { s.reels[2].hold.backColour = 0x00123456; });
    const struct {
        const char* label;
        const char* caption;
        QColor colour;
    } rows[] = {
        {"Label6", "HOLD", QColor(0, 255, 255)},
        {"Label7", "HELD", QColor(255, 255, 0)},
        {"Label8", "HOLD", QColor(0x56, 0x34, 0x12)},
    };
    const QImage card = rig.window.grab().toImage();
    for (const auto& row : rows) {
        auto* hold = rig.control<CardLabel>(row.label);
        EXPECT_EQ(hold->caption(), row.caption) << row.label;
        // Left of the centred caption, inside the border.
        const QPoint ground = hold->geometry().topLeft() + QPoint(3, 9);
        EXPECT_EQ(card.pixelColor(ground), row.colour) << row.label;
    }
}

TEST(CardWindow, figuresAndCodesFollowTheState) {
    CardRig rig;
    rig.change([](CardState& s) {
        s.credits = "150";
        s.tokens = "(7500)";
        s.reels[0].finalCode = "07";
        s.reels[1].resultPicture = {kNoImage, true};
    });
    EXPECT_EQ(rig.control<CardLabel>("Label11")->caption(), "150");
    EXPECT_EQ(rig.control<CardLabel>("Label12")->caption(), "(7500)");
    EXPECT_EQ(rig.control<CardLabel>("Label21")->caption(), "07");
    // No symbol: a black box.
    const QImage card = rig.window.grab().toImage();
    EXPECT_EQ(card.pixelColor(QRect(56, 88, 49, 49).center()), QColor(Qt::black));
}

// Nothing reads what the player types into Text1; a new name overwrites it.
TEST(CardWindow, text1TakesTypingUntilTheNameChanges) {
    CardRig rig;
    auto* text1 = rig.control<QLineEdit>("Text1");
    QTest::keyClicks(text1, "hello");
    EXPECT_EQ(text1->text(), "hello");
    rig.clickAt({24, 144}); // another event leaves it alone
    EXPECT_EQ(text1->text(), "hello");
    rig.change([](CardState& s) { s.text1 = "Rivet"; });
    EXPECT_EQ(text1->text(), "Rivet");
}

} // namespace
} // namespace jackwell
