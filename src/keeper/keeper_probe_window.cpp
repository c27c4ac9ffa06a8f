#include "keeper/keeper_probe_window.h"

#include "clock/clock.h"
#include "keeper/keeper_send_queue.h"

#include <algorithm>

namespace jackwell::keeper {

KeeperProbeWindow::KeeperProbeWindow(Clock& clock, KeeperSendQueue& queue,
                                     KeeperDeliveries& deliveries, Hooks hooks)
    : queue_(queue)
    , deliveries_(deliveries)
    , hooks_(std::move(hooks)) {
    alarm_ = clock.createAlarm([this] {
        if (deliveries_.needsProbe())
            queueProbe();
    });
}

KeeperProbeWindow::~KeeperProbeWindow() = default;

void KeeperProbeWindow::write(const QByteArray& line) {
    hooks_.send(line);
    written_ += line.size();
    if (written_ - atLastProbe_ < kProbeEveryBytes)
        return;
    const QByteArray probe = hooks_.probeLine();
    hooks_.send(probe);
    written_ += probe.size();
    queue_.noteSentElsewhere(1);
    probeWritten();
}

void KeeperProbeWindow::probeSoon() {
    if (!queued_ && !alarm_->isActive())
        alarm_->start(kProbeDelayMs);
}

void KeeperProbeWindow::queueProbe() {
    if (queued_)
        return;
    queued_ = true;
    queue_.push(
        KeeperSendQueue::kOwnLane, hooks_.probeLine(),
        [this] {
            queued_ = false;
            probeWritten();
        },
        false);
}

// Every probe, whatever sent it: it covers the deliveries handed over and the bytes written
// before it.
void KeeperProbeWindow::probeWritten() {
    deliveries_.probeSent();
    marks_.push_back(written_);
    atLastProbe_ = written_;
}

void KeeperProbeWindow::answered() {
    if (!marks_.empty()) {
        confirmed_ = std::max(confirmed_, marks_.front());
        marks_.pop_front();
    }
    const KeeperDeliveries::Delivered marks = deliveries_.probeAnswered();
    if (!marks.results.empty() || !marks.firstDraws.empty())
        hooks_.delivered(marks);
    if (deliveries_.needsProbe())
        probeSoon();
    queue_.poke();
}

void KeeperProbeWindow::reset() {
    written_ = confirmed_ = atLastProbe_ = 0;
    marks_.clear();
}

} // namespace jackwell::keeper
