// The payouts window's life beside the card: PAYOUTS shows it (or only brings
// it forward), a payout table fills it even while it is hidden or not yet
// created, and closing it forgets what it was sent.

#include "shell/card_label.h"
#include "shell/frm_payouts.h"
#include "shell/symbol_box.h"
#include "support/card_rig.h"
#include "support/qt_printers.h"

#include <QPointer>

#include <gtest/gtest.h>

namespace jackwell {
namespace {

using CardRig = testing::CardWindowRig;

const QPoint kPayoutsButton{40, 211};

// What a payout table message does: the amounts, written straight into the state.
void receiveTable(CardRig& rig, const QString& first, const QString& last) {
    rig.card.payouts.setAmount(0, first);
    rig.card.payouts.setAmount(PayoutsState::kRows - 1, last);
    emit rig.card.changed();
}

void deleteClosedWindows() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

TEST(PayoutsWindow, payoutsBeforeAnyTableShowsTheDesignAmountsInAnOwnerlessWindow) {
    CardRig rig;
    EXPECT_EQ(rig.window.payoutsWindow(), nullptr);
    rig.clickAt(kPayoutsButton);
    frmPayouts* payouts = rig.window.payoutsWindow();
    ASSERT_TRUE(payouts);
    EXPECT_TRUE(payouts->isVisible());
    EXPECT_EQ(payouts->parentWidget(), nullptr);
    EXPECT_EQ(payouts->windowTitle(), "PayOuts");
    EXPECT_EQ(payouts->size(), QSize(309, 333));
    EXPECT_EQ(payouts->maximumSize(), QSize(309, 333));
    EXPECT_FALSE(payouts->windowIcon().isNull());
    EXPECT_EQ(payouts->amount(0), "25000");
    EXPECT_EQ(payouts->amount(7), "400");
    EXPECT_EQ(payouts->amount(15), "50");
}

TEST(PayoutsWindow, aTableWhileItDoesNotExistCreatesItHiddenForTheNextPayouts) {
    CardRig rig;
    receiveTable(rig, "30000", "60");
    frmPayouts* payouts = rig.window.payoutsWindow();
    ASSERT_TRUE(payouts);
    EXPECT_TRUE(payouts->isHidden());
    rig.clickAt(kPayoutsButton);
    EXPECT_EQ(rig.window.payoutsWindow(), payouts);
    EXPECT_TRUE(payouts->isVisible());
    EXPECT_EQ(payouts->amount(0), "30000");
    EXPECT_EQ(payouts->amount(1), "10000");
    EXPECT_EQ(payouts->amount(15), "60");
}

TEST(PayoutsWindow, payoutsAgainOnlyBringsTheOpenWindowForward) {
    CardRig rig;
    rig.clickAt(kPayoutsButton);
    QPointer<frmPayouts> first = rig.window.payoutsWindow();
    receiveTable(rig, "1", "2");
    rig.clickAt(kPayoutsButton);
    deleteClosedWindows();
    EXPECT_EQ(rig.window.payoutsWindow(), first.data());
    ASSERT_TRUE(first);
    EXPECT_TRUE(first->isVisible());
    EXPECT_EQ(first->amount(0), "1"); // amounts that arrived while open stay
}

TEST(PayoutsWindow, closingForgetsTheAmountsUntilTheNextTable) {
    CardRig rig;
    receiveTable(rig, "777", "8");
    rig.clickAt(kPayoutsButton);
    QPointer<frmPayouts> closed = rig.window.payoutsWindow();
    ASSERT_TRUE(closed);
    closed->close(); // the close box
    EXPECT_FALSE(rig.card.payouts.exists);
    EXPECT_EQ(rig.window.payoutsWindow(), nullptr);
    deleteClosedWindows();
    EXPECT_TRUE(closed.isNull());

    rig.clickAt(kPayoutsButton);
    frmPayouts* reopened = rig.window.payoutsWindow();
    ASSERT_TRUE(reopened);
    EXPECT_TRUE(reopened->isVisible());
    EXPECT_EQ(reopened->amount(0), "25000");
    EXPECT_EQ(reopened->amount(15), "50");
    receiveTable(rig, "777", "8");
    EXPECT_EQ(reopened->amount(0), "777");
}

// The rows at their designed places (twips / 15), and the 50-pixel pictures.
TEST(PayoutsWindow, rowsSitAtTheirPlaces) {
    CardRig rig;
    rig.clickAt(kPayoutsButton);
    const frmPayouts* payouts = rig.window.payoutsWindow();
    ASSERT_TRUE(payouts);
    const struct {
        const char* control;
        QRect pixels;
    } rows[] = {
        {"Label31", {8, 24, 33, 25}},    {"Image1", {48, 16, 40, 40}},
        {"Label1", {104, 32, 57, 17}},   {"Image2", {40, 48, 50, 50}},
        {"Label2", {104, 64, 57, 17}},   {"Image12", {200, 128, 50, 50}},
        {"Image16", {200, 296, 40, 40}}, {"Label16", {256, 304, 57, 17}},
        {"Label46", {168, 304, 33, 25}}, {"Label48", {256, 0, 49, 25}},
    };
    for (const auto& row : rows) {
        const QWidget* control = payouts->findChild<QWidget*>(row.control);
        ASSERT_TRUE(control) << row.control;
        EXPECT_EQ(control->geometry(), row.pixels) << row.control;
    }
    EXPECT_EQ(payouts->findChild<SymbolBox*>("Image2")->image(), 9);
    EXPECT_EQ(payouts->findChild<SymbolBox*>("Image16")->image(), 14);
    EXPECT_EQ(payouts->findChild<CardLabel*>("Label46")->caption(), "1 X");
    EXPECT_EQ(payouts->findChild<CardLabel*>("Label48")->caption(), "Pay Out Amount");
}

} // namespace
} // namespace jackwell
