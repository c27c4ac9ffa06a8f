#pragma once

#include "keeper/keeper_deliveries.h"

#include <QByteArray>

#include <deque>
#include <functional>
#include <memory>

namespace jackwell {

class Alarm;
class Clock;

namespace keeper {

class KeeperSendQueue;

// The window of the robot's output that the server has not yet been seen to handle, and the
// probes that move it. A probe is a command the server answers only after it has handled every
// line sent before it: its answer confirms the bytes written before it, and the deliveries
// handed over before it (see KeeperDeliveries).
//
// No more than kUnconfirmedBytes go out beyond the last answered probe: the send queue's gate
// stays closed meanwhile. A steady stream of output carries a probe every kProbeEveryBytes, so
// that the window keeps moving; a delivery handed over is covered by a probe kProbeDelayMs later.
class KeeperProbeWindow {
public:
    // A probe for delivered results goes out this long after the first result it covers.
    static constexpr int kProbeDelayMs = 300;
    // Bytes written that the server has not yet been seen to handle, at most.
    static constexpr qint64 kUnconfirmedBytes = 16 * 1024;
    static constexpr qint64 kProbeEveryBytes = 4 * 1024;

    struct Hooks {
        // Writes a line to the connection.
        std::function<void(const QByteArray& line)> send;
        // The probe to write now.
        std::function<QByteArray()> probeLine;
        // What a probe's answer showed delivered.
        std::function<void(const KeeperDeliveries::Delivered& marks)> delivered;
    };

    // Probes through `queue`, whose writer must be write() and whose gate mayWrite(); both parts
    // must outlive this, which only keeps them until then.
    KeeperProbeWindow(Clock& clock, KeeperSendQueue& queue, KeeperDeliveries& deliveries,
                      Hooks hooks);
    ~KeeperProbeWindow();

    // Writes a line of the queue's, and a probe after it when one is due.
    void write(const QByteArray& line);
    // After a delivery was handed over: a probe kProbeDelayMs from now, unless one is already
    // on its way.
    void probeSoon();
    // Queues a probe behind the lines waiting; one waits in the queue at a time.
    void queueProbe();
    // The server answered the oldest probe in flight.
    void answered();
    // A new connection: nothing written on it yet.
    void reset();
    // Whether the queue may write more: not while kUnconfirmedBytes are out unconfirmed.
    bool mayWrite() const { return written_ - confirmed_ < kUnconfirmedBytes; }

private:
    void probeWritten();

    KeeperSendQueue& queue_;
    KeeperDeliveries& deliveries_;
    Hooks hooks_;
    std::unique_ptr<Alarm> alarm_;
    bool queued_ = false;
    // Bytes written on this connection, up to where the server has answered a probe, and where
    // each probe in flight was written.
    qint64 written_ = 0;
    qint64 confirmed_ = 0;
    qint64 atLastProbe_ = 0;
    std::deque<qint64> marks_;
};

} // namespace keeper
} // namespace jackwell
