// Following results to the server: a probe confirms only what went out before it, and a lost
// connection makes everything unconfirmed on it unknown again; output waits while too much is.
#include "clock/virtual_clock.h"
#include "irc/irc_message.h"
#include "keeper/keeper_deliveries.h"
#include "keeper/keeper_probe_window.h"
#include "keeper/keeper_return_watch.h"
#include "keeper/keeper_send_queue.h"

#include "support/qt_printers.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <string_view>

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
    EXPECT_TRUE(deliveries.isPartlyQueued("alice", 1)) << "its first draw is still queued";
    deliveries.wholeHandedOver("alice", 1);
    EXPECT_TRUE(!deliveries.isPartlyQueued("alice", 1) && deliveries.needsProbe());
    deliveries.probeSent();
    EXPECT_FALSE(deliveries.needsProbe());
    deliveries.handedOver("bob", 4); // after the probe: not covered by it
    deliveries.probeSent();

    EXPECT_EQ(deliveries.probeAnswered().results, (Marks{{"alice", 1}}));
    EXPECT_EQ(deliveries.status("alice", 1), Status::Delivered) << "until the books hold it";
    EXPECT_FALSE(deliveries.recipientGone("alice")) << "nothing was on its way to her";
    EXPECT_EQ(deliveries.status("bob", 4), Status::Sent);
    EXPECT_EQ(deliveries.probeAnswered().results, (Marks{{"bob", 4}}));
    EXPECT_EQ(deliveries.probeAnswered().results, Marks{}) << "an answer nobody asked for";
    deliveries.resultsMarked({{"alice", 1}, {"bob", 3}});
    EXPECT_EQ(deliveries.status("alice", 1), Status::Unknown) << "no longer followed";
    EXPECT_EQ(deliveries.status("bob", 4), Status::Delivered) << "an older game's mark";
    deliveries.resultsMarked({{"bob", 4}});
    EXPECT_TRUE(deliveries.isPartlyQueued("bob", 4)) << "marked before its first draw went";
    deliveries.wholeHandedOver("bob", 4);
    EXPECT_EQ(deliveries.followed(), 0);
}

TEST(KeeperDeliveries, ALostConnectionForgetsWhatWasSentOverIt) {
    KeeperDeliveries deliveries;
    deliveries.queued("alice", 1);
    deliveries.probeSent();
    deliveries.handedOver("alice", 1);
    deliveries.queued("bob", 2); // still waiting in the queue: it goes out later
    deliveries.connectionLost();
    EXPECT_FALSE(deliveries.needsProbe()) << "what went with the link needs no probe on the next";
    EXPECT_EQ(deliveries.status("alice", 1), Status::Unknown);
    EXPECT_EQ(deliveries.status("bob", 2), Status::Queued);

    deliveries.handedOver("bob", 2);
    deliveries.probeSent(); // the first answer is this probe's: the one before went with the link
    EXPECT_EQ(deliveries.probeAnswered().results, (Marks{{"bob", 2}}));
}

TEST(KeeperDeliveries, AnOlderResultToldAgainDoesNotHideANewerOne) {
    KeeperDeliveries deliveries;
    deliveries.queued("alice", 3);
    deliveries.handedOver("alice", 2);
    deliveries.wholeHandedOver("alice", 2);
    EXPECT_EQ(deliveries.status("alice", 3), Status::Queued);
    deliveries.handedOver("alice", 3);
    EXPECT_TRUE(deliveries.isPartlyQueued("alice", 3)) << "taken as whole with an older game";
    deliveries.wholeHandedOver("alice", 3);
    deliveries.handedOver("alice", 3); // told again: every line of it went out before
    EXPECT_FALSE(deliveries.isPartlyQueued("alice", 3));
    deliveries.forget("alice");
    EXPECT_EQ(deliveries.status("alice", 3), Status::Unknown);
}

// A result handed to the server is not delivered when its player was gone by then: the server's
// "no such nick" or the player's leaving, before the probe's answer, means it never arrived.
TEST(KeeperDeliveries, ARecipientGoneBeforeTheProbesAnswerWasNotTold) {
    KeeperDeliveries deliveries;
    deliveries.queued("alice", 1);
    deliveries.handedOver("alice", 1);
    deliveries.queued("bob", 5);
    deliveries.handedOver("bob", 5);
    deliveries.probeSent();
    EXPECT_TRUE(deliveries.recipientGone("alice")) << "her result was on its way";
    EXPECT_EQ(deliveries.status("alice", 1), Status::Unknown) << "told again from the books";
    EXPECT_EQ(deliveries.probeAnswered().results, (Marks{{"bob", 5}}));
    // Bob's result reached him, the first draw after it was still queued when he left.
    EXPECT_TRUE(deliveries.recipientGone("bob"));
    EXPECT_EQ(deliveries.firstDrawStatus("bob"), Status::Lost) << "told when he is back";
}

// Each letter in turn, after q for Alice's first draw of game 1 queued: h handed over, p a probe
// sent, a the probe answered, g she is gone, l the connection lost, r a result of hers queued, q
// the draw queued again (n the next game's), m other draws marked in the books, M hers marked.
TEST(KeeperDeliveries, AFirstDrawToldOnItsOwnIsFollowedUntilConfirmed) {
    const Marks others{{"alice", 2}, {"bob", 1}}, hers{{"alice", 1}};
    const std::map<char, std::function<void(KeeperDeliveries&)>> steps = {
        {'h', [](KeeperDeliveries& d) { d.firstDrawHandedOver("alice"); }},
        {'p', [](KeeperDeliveries& d) { d.probeSent(); }},
        {'a', [](KeeperDeliveries& d) { d.probeAnswered(); }},
        {'g', [](KeeperDeliveries& d) { d.recipientGone("alice"); }},
        {'l', [](KeeperDeliveries& d) { d.connectionLost(); }},
        {'r', [](KeeperDeliveries& d) { d.queued("alice", 1); }},
        {'q', [](KeeperDeliveries& d) { d.firstDrawQueued("alice", 1); }},
        {'n', [](KeeperDeliveries& d) { d.firstDrawQueued("alice", 2); }},
        {'m', [&](KeeperDeliveries& d) { d.firstDrawsMarked(others); }},
        {'M', [&](KeeperDeliveries& d) { d.firstDrawsMarked(hers); }},
    };
    const std::pair<const char*, Status> cases[] = {
        {"", Status::Queued},        {"h", Status::Sent},        {"hpag", Status::Delivered},
        {"hpam", Status::Delivered}, {"hpamM", Status::Unknown}, {"g", Status::Lost},
        {"hpga", Status::Lost},      {"hl", Status::Lost},       {"gr", Status::Unknown},
        {"gq", Status::Queued},      {"hq", Status::Sent},       {"hpaq", Status::Delivered},
        {"hn", Status::Queued},
    };
    for (const auto& [letters, expected] : cases) {
        SCOPED_TRACE(letters);
        KeeperDeliveries deliveries;
        for (const char letter : "q" + std::string(letters))
            steps.at(letter)(deliveries);
        EXPECT_EQ(deliveries.firstDrawStatus("alice"), expected);
        EXPECT_EQ(deliveries.firstDrawStatus("bob"), Status::Unknown);
    }
    // The probe's answer names the draw for the books to mark, and no game.
    KeeperDeliveries deliveries;
    for (const char letter : std::string_view("qhp"))
        steps.at(letter)(deliveries);
    const KeeperDeliveries::Delivered marks = deliveries.probeAnswered();
    EXPECT_EQ(marks.results, Marks{});
    EXPECT_EQ(marks.firstDraws, (Marks{{"alice", 1}}));
    KeeperDeliveries gone; // she leaves with her first draw on its way: missed, and counted once
    gone.firstDrawQueued("alice", 1);
    EXPECT_TRUE(gone.recipientGone("alice"));
    EXPECT_FALSE(gone.recipientGone("alice"));
}

// Fifty thousand first draws are followed; room for more is made by forgetting the lost ones.
TEST(KeeperDeliveries, FiftyThousandFirstDrawsAreFollowedTheLostForgottenFirst) {
    KeeperDeliveries deliveries;
    for (int i = 0; i < 50000; ++i)
        deliveries.firstDrawQueued(QString::number(i), 1);
    deliveries.recipientGone("7");
    deliveries.firstDrawQueued("bob", 1);
    EXPECT_EQ(deliveries.firstDrawStatus("7"), Status::Unknown);
    deliveries.recipientGone("8");
    deliveries.firstDrawWithheld("carol", 1); // held back, one more to follow too
    EXPECT_EQ(deliveries.firstDrawStatus("8"), Status::Unknown);
    int followed = 0;
    for (int i = 0; i < 50000; ++i)
        followed += deliveries.firstDrawStatus(QString::number(i)) == Status::Queued;
    EXPECT_EQ(followed, 49998);
}

// Output stops once kUnconfirmedBytes are out unconfirmed, going on as probes are answered; a
// stream carries a probe every kProbeEveryBytes; results get one kProbeDelayMs after the first.
TEST(KeeperProbeWindow, OutputWaitsForTheServerToCatchUp) {
    jackwell::VirtualClock clock;
    KeeperDeliveries deliveries;
    const QByteArray probe = "ISON Rivet\r\n";
    const QByteArray line = QByteArray(1022, 'x') + "\r\n";
    QList<QByteArray> sent;
    Marks delivered;
    KeeperProbeWindow* window = nullptr;
    KeeperSendQueue queue(clock, [&](const QByteArray& out) { window->write(out); });
    KeeperProbeWindow probes(
        clock, queue, deliveries,
        {[&](const QByteArray& out) { sent << out; }, [&] { return probe; },
         [&](const KeeperDeliveries::Delivered& marks) { delivered = marks.results; }});
    window = &probes;
    queue.setGate([&] { return probes.mayWrite(); });
    queue.setPace({6, 1000});
    queue.setOpen(true);
    for (int i = 0; i < 20; ++i)
        queue.push("alice", line, {}, false);
    EXPECT_EQ(sent.count(line), 5) << "a probe written along counts as one line of the pace";
    clock.advance(5000);
    EXPECT_EQ(sent.count(line), 16);
    EXPECT_EQ(sent.count(probe), 4);
    EXPECT_EQ(sent.mid(0, 5), (QList<QByteArray>{line, line, line, line, probe}));
    probes.answered(); // the first probe: its 4 KiB are confirmed
    EXPECT_EQ(sent.count(line), 20);
    for (int i = 0; i < 5; ++i)
        probes.answered();

    sent.clear();
    deliveries.queued("alice", 1);
    deliveries.handedOver("alice", 1);
    probes.probeSoon();
    clock.advance(KeeperProbeWindow::kProbeDelayMs - 1);
    probes.probeSoon(); // one is on its way
    EXPECT_TRUE(sent.isEmpty());
    clock.advance(1);
    EXPECT_EQ(sent, QList<QByteArray>{probe});
    probes.answered();
    EXPECT_EQ(delivered, (Marks{{"alice", 1}}));
}

// Someone who left is asked about every tenth of a second for ten seconds after the last departure,
// then every two (never faster while the server paces the robot), until back or five minutes on.
TEST(KeeperReturnWatch, AsksOftenAtFirstThenRarelyUntilBackOrFiveMinutesOn) {
    jackwell::VirtualClock clock;
    int probes = 0;
    bool paced = false;
    QStringList back;
    KeeperReturnWatch watch(
        clock, {[&] { ++probes; }, [&] { return paced; },
                [&](const QByteArray&, const QString& recipient) { back << recipient; },
                [](QByteArrayView nick) { return QString::fromLatin1(nick).toLower(); }});
    watch.watch("alice");
    clock.advance(10'000);
    EXPECT_EQ(probes, 100);
    clock.advance(1999);
    EXPECT_EQ(probes, 100);
    clock.advance(1);
    EXPECT_EQ(probes, 101);
    clock.advance(295'000 - clock.monotonicMs());
    watch.watch("bob"); // asked about often again, alice with him
    clock.advance(2000);
    // Every two seconds up to 294 s; with bob gone it asks every tenth again from 296 s.
    EXPECT_EQ(probes, 101 + 141 + 11);
    clock.advance(299'800 - clock.monotonicMs());
    EXPECT_TRUE(watch.probeNicks().contains("alice"));
    clock.advance(200);
    EXPECT_EQ(watch.probeNicks(), QList<QByteArray>{"bob"}) << "alice forgotten at five minutes";

    watch.forget("bob");
    clock.advance(100);
    const int before = probes;
    clock.advance(60'000);
    EXPECT_EQ(probes, before) << "nobody left to ask about";
    paced = true;
    probes = 0;
    watch.watch("bob");
    EXPECT_EQ(watch.probeNicks(), QList<QByteArray>{"bob"});
    watch.watch("carol");
    clock.advance(1999);
    EXPECT_EQ(probes, 0);
    clock.advance(1);
    EXPECT_EQ(probes, 1);
    watch.answered(*jackwell::parseIrcLine(":irc.test 303 Rivet :dave BOB"));
    EXPECT_EQ(back, QStringList{"bob"});
    EXPECT_EQ(watch.probeNicks(), QList<QByteArray>{"carol"});
    EXPECT_EQ(watch.probeNicks(), QList<QByteArray>{"carol"}) << "asked about again";
}

// A probe asks about as many as fit in 380 bytes, the rest in turn; past 5000 the oldest is let go.
TEST(KeeperReturnWatch, AsksAboutAFewAtATimeAndGivesUpTheOldestPastItsBound) {
    jackwell::VirtualClock clock;
    QStringList back;
    KeeperReturnWatch watch(
        clock, {[] {}, [] { return false; },
                [&](const QByteArray&, const QString& recipient) { back << recipient; },
                [](QByteArrayView nick) { return QString::fromLatin1(nick); }});
    const auto nick = [](int i) { // two letters, a space between them in a probe
        return QString(QChar(u'a' + i / 26 % 26)) + QChar(u'a' + i % 26);
    };
    // The first 200 two letters long, the rest made unique by their number.
    for (int i = 0; i < 5002; ++i)
        watch.watch(nick(i) + (i < 200 ? "" : QString::number(i)));
    const QList<QByteArray> first = watch.probeNicks();
    ASSERT_EQ(first.size(), 126);
    EXPECT_EQ(first.front(), nick(2).toLatin1());
    EXPECT_EQ(watch.probeNicks().front(), nick(128).toLatin1());
    watch.answered(*jackwell::parseIrcLine(":irc.test 303 Rivet :aa ab ac"));
    EXPECT_EQ(back, QStringList{"ac"});

    KeeperReturnWatch three(clock, {[] {}, [] { return false; }, {}, {}});
    for (int i = 0; i < 200; ++i)
        three.watch(nick(i) + 'x');
    EXPECT_EQ(three.probeNicks().size(), 95) << "four bytes each, 380 in all";
}

// Ten seconds count from the last departure to the millisecond, whatever the pace of the asking.
TEST(KeeperReturnWatch, TheFirstTenSecondsCountFromTheLastDeparture) {
    jackwell::VirtualClock clock;
    int probes = 0;
    KeeperReturnWatch watch(clock, {[&] { ++probes; }, [] { return false; }, {}, {}});
    watch.watch("alice");
    clock.advance(5);
    watch.watch("bob");
    clock.advance(10'100 - 5);
    EXPECT_EQ(probes, 101) << "at 10.0 s bob left 9.995 s before";
}

} // namespace
