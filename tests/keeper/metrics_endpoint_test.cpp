// The robot's metrics over HTTP, against clients that connect and say nothing.

#include "clock/real_clock.h"
#include "clock/virtual_clock.h"
#include "keeper/metrics_endpoint.h"
#include "support/wait_until.h"

#include <QTcpSocket>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace jackwell {
namespace {

using testing::runEventsFor;
using testing::waitUntil;

// Every place taken by a connection that sends nothing (as one that opens them again as they
// are dropped keeps them): a scraper is still answered, in the place of the oldest.
TEST(MetricsEndpoint, ConnectionsLeftOpenNeverKeepAScraperOut) {
    RealClock clock;
    keeper::MetricsEndpoint endpoint(clock, [] { return QByteArray("jackwell_keeper_up 1\n"); });
    QString error;
    ASSERT_TRUE(endpoint.listen(QHostAddress::LocalHost, 0, &error)) << error.toStdString();
    std::vector<std::unique_ptr<QTcpSocket>> idle;
    for (int i = 0; i < keeper::MetricsEndpoint::kMostClients; ++i) {
        idle.push_back(std::make_unique<QTcpSocket>());
        idle.back()->connectToHost(QHostAddress::LocalHost, endpoint.port());
        ASSERT_TRUE(waitUntil(
            [&] { return idle.back()->state() == QAbstractSocket::ConnectedState; }, 5000));
    }
    QTcpSocket scraper;
    QByteArray answer;
    QObject::connect(&scraper, &QTcpSocket::readyRead, [&] { answer += scraper.readAll(); });
    QObject::connect(&scraper, &QTcpSocket::connected,
                     [&] { scraper.write("GET /metrics HTTP/1.0\r\n\r\n"); });
    scraper.connectToHost(QHostAddress::LocalHost, endpoint.port());
    ASSERT_TRUE(waitUntil([&] { return answer.contains("jackwell_keeper_up 1"); }, 5000))
        << answer.toStdString();
    EXPECT_TRUE(answer.startsWith("HTTP/1.0 200 OK"));
    EXPECT_TRUE(waitUntil(
        [&] { return idle.front()->state() == QAbstractSocket::UnconnectedState; }, 5000));
    EXPECT_EQ(idle.back()->state(), QAbstractSocket::ConnectedState);
}

// A connection that never sends its request is closed once its time is up, and not before.
TEST(MetricsEndpoint, ARequestNeverSentIsDroppedWhenItsTimeIsUp) {
    VirtualClock clock;
    keeper::MetricsEndpoint endpoint(clock, [] { return QByteArray(); });
    QString error;
    ASSERT_TRUE(endpoint.listen(QHostAddress::LocalHost, 0, &error)) << error.toStdString();
    QTcpSocket idle;
    idle.connectToHost(QHostAddress::LocalHost, endpoint.port());
    runEventsFor(200); // connected and taken in
    clock.advance(keeper::MetricsEndpoint::kRequestMs - 1);
    runEventsFor(100);
    EXPECT_EQ(idle.state(), QAbstractSocket::ConnectedState);
    clock.advance(1);
    EXPECT_TRUE(waitUntil([&] { return idle.state() == QAbstractSocket::UnconnectedState; }, 5000));
}

} // namespace
} // namespace jackwell
