// Following results to the server: a probe confirms only what went out before it, and a lost
// connection makes everything unconfirmed on it unknown again.
#include "keeper/keeper_deliveries.h"

#include "support/qt_printers.h"

#include <gtest/gtest.h>

using namespace jackwell::keeper;
using Status = KeeperDeliveries::Status;
using Marks = KeeperDeliveries::Marks;

namespace {

TEST(KeeperDeliveries, AProbeConfirmsWhatWentOutBeforeIt) {
    KeeperDeliveries deliveries;
    deliveries.queued("alice", 1);
    deliveries.queued("bob", 4);
    EXPECT_EQ(deliveries.status("alice", 1), Status::Queued);
    EXPECT_EQ(deliveries.status("alice", 2), Status::Unknown);
    EXPECT_FALSE(deliveries.needsProbe());

    deliveries.handedOver("alice", 1);
    EXPECT_EQ(deliveries.status("alice", 1), Status::Sent);
    EXPECT_TRUE(deliveries.needsProbe());
    deliveries.probeSent();
    EXPECT_FALSE(deliveries.needsProbe());
    deliveries.handedOver("bob", 4); // after the probe: not covered by it
    deliveries.probeSent();

    EXPECT_EQ(deliveries.probeAnswered(), (Marks{{"alice", 1}}));
    EXPECT_EQ(deliveries.status("alice", 1), Status::Unknown) << "no longer followed";
    EXPECT_EQ(deliveries.status("bob", 4), Status::Sent);
    EXPECT_EQ(deliveries.probeAnswered(), (Marks{{"bob", 4}}));
    EXPECT_EQ(deliveries.probeAnswered(), Marks{}) << "an answer nobody asked for";
    EXPECT_EQ(deliveries.followed(), 0);
}

TEST(KeeperDeliveries, ALostConnectionForgetsWhatWasSentOverIt) {
    KeeperDeliveries deliveries;
    deliveries.queued("alice", 1);
    deliveries.handedOver("alice", 1);
    deliveries.probeSent();
    deliveries.queued("bob", 2); // still waiting in the queue: it goes out later
    deliveries.connectionLost();
    EXPECT_EQ(deliveries.status("alice", 1), Status::Unknown);
    EXPECT_EQ(deliveries.status("bob", 2), Status::Queued);
    EXPECT_EQ(deliveries.probeAnswered(), Marks{}) << "the probe went with the connection";

    deliveries.handedOver("bob", 2);
    deliveries.probeSent();
    EXPECT_EQ(deliveries.probeAnswered(), (Marks{{"bob", 2}}));
}

TEST(KeeperDeliveries, AnOlderResultToldAgainDoesNotHideANewerOne) {
    KeeperDeliveries deliveries;
    deliveries.queued("alice", 3);
    deliveries.handedOver("alice", 2);
    EXPECT_EQ(deliveries.status("alice", 3), Status::Queued);
    deliveries.handedOver("alice", 3);
    deliveries.forget("alice");
    EXPECT_EQ(deliveries.status("alice", 3), Status::Unknown);
}

} // namespace
