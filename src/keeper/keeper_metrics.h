#pragma once

#include <QByteArray>
#include <QString>

#include <array>

namespace jackwell::keeper {

// Durations in seconds as Prometheus keeps them: how many fell at or below each bound, their
// count and their sum.
class MetricsHistogram {
public:
    static constexpr std::array<double, 12> kBounds = {0.001, 0.0025, 0.005, 0.01, 0.025, 0.05,
                                                       0.1,   0.25,   0.5,   1,    2.5,   10};

    // `ms`: a time between two readings of the monotonic clock, so never negative.
    void observe(qint64 ms);
    // The histogram's lines, named `name`, in the text format.
    void render(QByteArray& out, const char* name, const char* help) const;

private:
    std::array<quint64, kBounds.size()> counts_{}; // each bound's own, not yet summed up
    quint64 count_ = 0;
    qint64 sumMs_ = 0;
};

// What the robot counts for its operator, read out in Prometheus's text format (see
// MetricsEndpoint). Counters only grow while the robot runs; gauges are read when asked for.
struct KeeperMetrics {
    struct Gauges {
        qint64 playersPresent = 0;
        qint64 queuedLines = 0;
        qint64 oldestQueuedMs = 0;
        bool connected = false;
        bool loggedIn = false;
        bool nickHeld = false;
    };

    quint64 gamesBooked = 0;
    quint64 refused = 0; // messages answered that nothing was booked
    quint64 toldAgain = 0;
    MetricsHistogram answerLatency; // from a message read to its answer queued

    QByteArray render(const Gauges& gauges, const MetricsHistogram& commitTime) const;
};

} // namespace jackwell::keeper
