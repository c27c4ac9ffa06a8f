#pragma once

#include <QByteArray>

#include <deque>
#include <functional>
#include <memory>

namespace jackwell {

class Alarm;
class Clock;

// Paces the lines we send so that the server's flood limits never hold us
// back: a bucket of kBurst lines that refills one line every kRefillMs. Lines
// that find the bucket empty wait in order and go out from the clock's alarm.
// While closed (no registered connection) lines wait as well.
class IrcSendGate {
public:
    static constexpr int kBurst = 4;
    static constexpr int kRefillMs = 500;

    using Writer = std::function<void(const QByteArray& line)>;

    IrcSendGate(Clock& clock, Writer write);
    ~IrcSendGate();

    void push(const QByteArray& line);
    // True while lines wait for their turn.
    bool isHeldBack() const { return !waiting_.empty(); }
    qsizetype waitingLines() const { return qsizetype(waiting_.size()); }

    // Lets lines out (when a connection is registered) or holds them all.
    void setOpen(bool open);

private:
    void refill();
    void flush();

    Clock& clock_;
    Writer write_;
    std::unique_ptr<Alarm> alarm_;
    std::deque<QByteArray> waiting_;
    int tokens_ = kBurst;
    qint64 refilledAtMs_ = 0;
    bool open_ = false;
};

} // namespace jackwell
