// The robot's metrics as text, and over HTTP to clients that say nothing, too much or amiss.

#include "clock/real_clock.h"
#include "clock/virtual_clock.h"
#include "keeper/keeper_metrics.h"
#include "keeper/metrics_endpoint.h"
#include "platform/version.h"
#include "support/wait_until.h"

#include <QTcpSocket>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace jackwell {
namespace {

using testing::waitUntil;

// What `request` is answered, once the endpoint has closed the connection.
QByteArray answerTo(keeper::MetricsEndpoint& endpoint, const QByteArray& request) {
    QTcpSocket scraper;
    QByteArray answer;
    QObject::connect(&scraper, &QTcpSocket::readyRead, [&] { answer += scraper.readAll(); });
    QObject::connect(&scraper, &QTcpSocket::connected, [&] { scraper.write(request); });
    scraper.connectToHost(QHostAddress::LocalHost, endpoint.port());
    waitUntil([&] { return scraper.state() == QAbstractSocket::UnconnectedState; }, 5000);
    return answer;
}

// Places held by connections that send nothing (reopened as they are dropped): a scraper is
// still answered, in the place of the oldest; a place whose client hung up is free at once.
TEST(MetricsEndpoint, ConnectionsLeftOpenNeverKeepAScraperOut) {
    RealClock clock;
    keeper::MetricsEndpoint endpoint(clock, [] { return QByteArray("jackwell_keeper_up 1\n"); });
    QString error;
    ASSERT_TRUE(endpoint.listen(QHostAddress::LocalHost, 0, &error)) << error.toStdString();
    std::vector<std::unique_ptr<QTcpSocket>> idle;
    for (int i = 0; i < 17; ++i) { // sixteen served at once
        if (i == 16) {
            idle.back()->abort();
            testing::runEventsFor(100);
        }
        idle.push_back(std::make_unique<QTcpSocket>());
        idle.back()->connectToHost(QHostAddress::LocalHost, endpoint.port());
        ASSERT_TRUE(waitUntil(
            [&] { return idle.back()->state() == QAbstractSocket::ConnectedState; }, 5000));
    }
    const QByteArray answer = answerTo(endpoint, "GET /metrics HTTP/1.0\r\n\r\n");
    EXPECT_TRUE(answer.startsWith("HTTP/1.0 200 OK") && answer.endsWith("jackwell_keeper_up 1\n"))
        << answer.toStdString();
    EXPECT_TRUE(waitUntil( // at once, not when its five seconds are up
        [&] { return idle.front()->state() == QAbstractSocket::UnconnectedState; }, 1000));
    EXPECT_EQ(idle[1]->state(), QAbstractSocket::ConnectedState) << "the oldest alone";
    for (const auto& [request, status] : std::initializer_list<std::pair<QByteArray, QByteArray>>{
             {"GET /metrics\n\n", "200"},
             {"GET /metrics?x HTTP/1.1\r\n\r\n", "200"},
             {"POST /metrics HTTP/1.0\r\n\r\n", "404"},
             {"GET /metricsx HTTP/1.0\n\n", "404"},
             {"GET\n\n", "404"}})
        EXPECT_TRUE(answerTo(endpoint, request).startsWith("HTTP/1.0 " + status)) << request.data();
    // A request of 8 KiB is answered; one a byte longer is dropped unanswered.
    for (const qsizetype size : {8192, 8193}) {
        QByteArray request = "GET /metrics HTTP/1.0\r\nX: ";
        request += QByteArray(size - request.size() - 4, 'x') + "\r\n\r\n";
        EXPECT_EQ(answerTo(endpoint, request).startsWith("HTTP/1.0 200 OK"), size == 8192) << size;
    }
}

// A connection that never sends its request is closed once its time is up, and not before.
TEST(MetricsEndpoint, ARequestNeverSentIsDroppedWhenItsTimeIsUp) {
    VirtualClock clock;
    keeper::MetricsEndpoint endpoint(clock, [] { return QByteArray(); });
    QString error;
    ASSERT_TRUE(endpoint.listen(QHostAddress::LocalHost, 0, &error)) << error.toStdString();
    QTcpSocket idle;
    idle.connectToHost(QHostAddress::LocalHost, endpoint.port());
    testing::runEventsFor(200); // connected and taken in
    clock.advance(4999);        // five seconds
    testing::runEventsFor(100);
    EXPECT_EQ(idle.state(), QAbstractSocket::ConnectedState);
    clock.advance(1);
    EXPECT_TRUE(waitUntil([&] { return idle.state() == QAbstractSocket::UnconnectedState; }, 5000));
}

// What Prometheus reads: buckets count up to their bound, times in seconds, twelve digits kept.
TEST(KeeperMetrics, ReadOutInTheTextFormat) {
    keeper::KeeperMetrics metrics;
    keeper::MetricsHistogram commits;
    commits.observe(1234567890123);
    for (qint64 ms : {1LL, 2LL, 10000LL, 10001LL, 123456769008LL})
        metrics.answerLatency.observe(ms);
    const QByteArray out = metrics.render({5, 7, 1234567890123, true, false, true}, commits);
    for (const char* line : {"_booked_total 0\n", "_refused_total 0\n", "_told_again_total 0\n",
                             "_players_present 5\n", "_queue_lines 7\n",
                             "_oldest_seconds 1234567890.12\n", "_connected 1\n", "_logged_in 0\n",
                             "_nick_held 1\n", "_commit_seconds_sum 1234567890.12\n"})
        EXPECT_TRUE(out.contains(line)) << line;
    const QByteArray other = metrics.render({0, 0, 0, false, true, false}, commits);
    for (const char* line : {"_connected 0\n", "_logged_in 1\n", "_nick_held 0\n"})
        EXPECT_TRUE(other.contains(line)) << line;
    EXPECT_TRUE(out.startsWith(QByteArray("# HELP jackwell_keeper_build_info The robot's version.\n"
                                          "# TYPE jackwell_keeper_build_info gauge\n"
                                          "jackwell_keeper_build_info{version=\"") +
                               kJackwellVersion + "\"} 1\n# HELP "));
    const char* name = "jackwell_keeper_answer_latency_seconds";
    QByteArray latency = QByteArray("# HELP ") + name +
                         " Time from a player's message read to its answer queued.\n# TYPE " +
                         name + " histogram\n";
    const char* buckets[] = {"0.001\"} 1", "0.0025\"} 2", "0.005\"} 2", "0.01\"} 2", "0.025\"} 2",
                             "0.05\"} 2",  "0.1\"} 2",    "0.25\"} 2",  "0.5\"} 2",  "1\"} 2",
                             "2.5\"} 2",   "10\"} 3",     "+Inf\"} 5"};
    for (const char* bucket : buckets)
        latency += QByteArray(name) + "_bucket{le=\"" + bucket + "\n";
    latency += QByteArray(name) + "_sum 123456789.012\n" + name + "_count 5\n";
    EXPECT_EQ(out.mid(out.indexOf(QByteArray("# HELP ") + name)).toStdString(),
              latency.toStdString());
}
} // namespace
} // namespace jackwell
