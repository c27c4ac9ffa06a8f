#include "keeper/keeper_send_queue.h"

#include "clock/clock.h"

#include <algorithm>

namespace jackwell::keeper {

KeeperSendQueue::KeeperSendQueue(Clock& clock, Writer write)
    : clock_(clock)
    , write_(std::move(write)) {
    alarm_ = clock_.createAlarm([this] { flush(); });
}

KeeperSendQueue::~KeeperSendQueue() = default;

bool KeeperSendQueue::push(const QString& lane, QByteArray line, Written written, bool droppable) {
    if (droppable && waiting_ >= kTotalLimit)
        return false;
    std::deque<Item>& items = lanes_[lane];
    if (droppable && qsizetype(items.size()) >= kLaneLimit)
        return false;
    if (items.empty())
        turns_.push_back(lane);
    items.push_back(Item{std::move(line), std::move(written), clock_.monotonicMs()});
    ++waiting_;
    flush();
    return true;
}

void KeeperSendQueue::setOpen(bool open) {
    open_ = open;
    if (open)
        flush(); // (a pacing alarm that goes off while closed writes nothing)
}

void KeeperSendQueue::setPace(Pace pace) {
    pace_.lines = std::max(1, pace.lines);
    pace_.windowMs = std::max(1, pace.windowMs);
    alarm_->stop();
    flush();
}

void KeeperSendQueue::noteSentElsewhere(int lines) {
    const qint64 now = clock_.monotonicMs();
    for (int i = 0; i < lines; ++i)
        sentAt_.push_back(now);
}

qint64 KeeperSendQueue::oldestWaitingMs() const {
    qint64 oldest = clock_.monotonicMs();
    for (const QString& lane : turns_) {
        const auto found = lanes_.constFind(lane);
        if (found != lanes_.cend() && !found->empty())
            oldest = std::min(oldest, found->front().queuedAt);
    }
    return clock_.monotonicMs() - oldest;
}

qsizetype KeeperSendQueue::waitingIn(const QString& lane) const {
    const auto found = lanes_.constFind(lane);
    return found == lanes_.cend() ? 0 : qsizetype(found->size());
}

void KeeperSendQueue::setGate(std::function<bool()> mayWrite) {
    mayWrite_ = std::move(mayWrite);
}

qsizetype KeeperSendQueue::dropLane(const QString& lane) {
    const auto found = lanes_.find(lane);
    if (found == lanes_.end())
        return 0;
    const qsizetype dropped = qsizetype(found->size());
    lanes_.erase(found);
    waiting_ -= dropped;
    turns_.erase(std::remove(turns_.begin(), turns_.end(), lane), turns_.end());
    return dropped;
}

void KeeperSendQueue::clear() {
    lanes_.clear();
    turns_.clear();
    waiting_ = 0;
}

void KeeperSendQueue::forgetOldSends(qint64 now) {
    while (!sentAt_.empty() && now - sentAt_.front() >= pace_.windowMs)
        sentAt_.pop_front();
}

void KeeperSendQueue::flush() {
    // A writer or a `written` callback may push more lines: they join the loop below.
    if (flushing_ || held_)
        return;
    flushing_ = true;
    while (open_ && !turns_.empty()) {
        const qint64 now = clock_.monotonicMs();
        forgetOldSends(now);
        if (mayWrite_ && !mayWrite_())
            break; // poke() brings the next turn
        if (qsizetype(sentAt_.size()) >= pace_.lines) {
            if (!alarm_->isActive())
                alarm_->start(int(std::max<qint64>(1, sentAt_.front() + pace_.windowMs - now)));
            break;
        }
        const QString lane = turns_.front();
        turns_.pop_front();
        auto found = lanes_.find(lane);
        Item item = std::move(found->front());
        found->pop_front();
        if (found->empty())
            lanes_.erase(found); // keeps the map small: an empty lane acts as a missing one
        else
            turns_.push_back(lane);
        --waiting_;
        sentAt_.push_back(now);
        write_(item.line);
        if (item.written)
            item.written();
    }
    flushing_ = false;
}

} // namespace jackwell::keeper
