#include "irc/irc_send_gate.h"

#include "clock/clock.h"

#include <algorithm>

namespace jackwell {

IrcSendGate::IrcSendGate(Clock& clock, Writer write)
    : clock_(clock)
    , write_(std::move(write))
    , refilledAtMs_(clock.monotonicMs()) {
    alarm_ = clock_.createAlarm([this] { flush(); });
}

IrcSendGate::~IrcSendGate() = default;

void IrcSendGate::push(const QByteArray& line) {
    waiting_.push_back(line);
    flush();
}

void IrcSendGate::setOpen(bool open) {
    open_ = open;
    if (open)
        flush();
    else
        alarm_->stop();
}

// A full bucket banks no time: the next line after a burst from it is a whole kRefillMs away.
void IrcSendGate::refill() {
    const qint64 now = clock_.monotonicMs();
    if (tokens_ == kBurst) {
        refilledAtMs_ = now;
        return;
    }
    const qint64 earned = (now - refilledAtMs_) / kRefillMs;
    if (earned <= 0)
        return;
    tokens_ = int(std::min<qint64>(kBurst, tokens_ + earned));
    refilledAtMs_ = tokens_ == kBurst ? now : refilledAtMs_ + earned * kRefillMs;
}

void IrcSendGate::flush() {
    if (!open_)
        return;
    refill();
    while (!waiting_.empty() && tokens_ > 0) {
        const QByteArray line = std::move(waiting_.front());
        waiting_.pop_front();
        --tokens_;
        write_(line);
        if (!open_)
            return; // the write lost the connection
    }
    if (!waiting_.empty() && !alarm_->isActive()) {
        const qint64 due = refilledAtMs_ + kRefillMs - clock_.monotonicMs();
        alarm_->start(int(std::clamp<qint64>(due, 1, kRefillMs)));
    }
}

} // namespace jackwell
