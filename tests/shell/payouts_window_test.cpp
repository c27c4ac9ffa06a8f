// The payouts window's life beside the card: PAYOUTS shows it (or only brings
// it forward), a payout table fills it even while it is hidden or not yet
// created, and closing it forgets what it was sent.

#include "shell/payouts_window.h"
#include "support/card_window_rig.h"

#include <QPointer>

namespace jackwell {
namespace {

using Rig = testing::CardWindowRig;

const QPoint kPayoutsButton{40, 211};

// What a payout table message does: the amounts, written straight into the state.
void receiveTable(Rig& rig, const QString& first, const QString& last) {
    rig.card.payouts.setAmount(0, first);
    rig.card.payouts.setAmount(PayoutsState::kRows - 1, last);
    emit rig.card.changed();
}

void deleteClosedWindows() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

TEST(PayoutsWindow, payoutsBeforeAnyTableShowsThePublishedAmountsAndAgainOnlyBringsItForward) {
    Rig rig;
    EXPECT_EQ(rig.window.payoutsWindow(), nullptr);
    rig.clickAt(kPayoutsButton);
    QPointer<PayoutsWindow> payouts = rig.window.payoutsWindow();
    ASSERT_TRUE(payouts);
    EXPECT_TRUE(payouts->isVisible());
    EXPECT_EQ(payouts->parentWidget(), nullptr);
    EXPECT_EQ(payouts->windowTitle(), "PayOuts");
    EXPECT_FALSE(payouts->windowIcon().isNull());
    EXPECT_EQ(payouts->amount(0), "25000");
    EXPECT_EQ(payouts->amount(15), "50");

    receiveTable(rig, "1", "2");
    rig.clickAt(kPayoutsButton);
    deleteClosedWindows();
    ASSERT_EQ(rig.window.payoutsWindow(), payouts.data());
    EXPECT_TRUE(payouts->isVisible());
    EXPECT_EQ(payouts->amount(0), "1"); // amounts that arrived while open stay
}

// A table that comes while there is no window creates it hidden, for the next PAYOUTS; closing
// it forgets the amounts until the next table.
TEST(PayoutsWindow, aTableCreatesItHiddenAndClosingForgetsTheAmounts) {
    Rig rig;
    receiveTable(rig, "30000", "60");
    QPointer<PayoutsWindow> payouts = rig.window.payoutsWindow();
    ASSERT_TRUE(payouts);
    EXPECT_TRUE(payouts->isHidden());
    rig.clickAt(kPayoutsButton);
    EXPECT_EQ(rig.window.payoutsWindow(), payouts);
    EXPECT_TRUE(payouts->isVisible());
    EXPECT_EQ(payouts->amount(0), "30000");
    EXPECT_EQ(payouts->amount(1), "10000");
    EXPECT_EQ(payouts->amount(15), "60");

    payouts->close(); // the close box
    EXPECT_FALSE(rig.card.payouts.exists);
    EXPECT_EQ(rig.window.payoutsWindow(), nullptr);
    deleteClosedWindows();
    EXPECT_TRUE(payouts.isNull());
    rig.clickAt(kPayoutsButton);
    PayoutsWindow* reopened = rig.window.payoutsWindow();
    ASSERT_TRUE(reopened);
    EXPECT_TRUE(reopened->isVisible());
    EXPECT_EQ(reopened->amount(0), "25000");
    receiveTable(rig, "777", "8");
    EXPECT_EQ(reopened->amount(0), "777");
}

} // namespace
} // namespace jackwell
