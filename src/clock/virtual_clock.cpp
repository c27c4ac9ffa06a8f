#include "clock/virtual_clock.h"

#include <QPointer>

#include <cmath>

namespace jackwell {

class VirtualAlarm final : public Alarm {
public:
    VirtualAlarm(VirtualClock& clock, Clock::Callback callback)
        : clock_(clock)
        , callback_(std::move(callback)) {}
    ~VirtualAlarm() override { stop(); }

    void start(int ms) override {
        stop();
        active_ = true;
        key_ = clock_.schedule(clock_.now_ + qMax(0, ms), [this] {
            active_ = false;
            callback_();
        });
    }
    void stop() override {
        if (active_)
            clock_.cancel(key_);
        active_ = false;
    }
    bool isActive() const override { return active_; }

private:
    VirtualClock& clock_;
    Clock::Callback callback_;
    VirtualClock::Key key_{};
    bool active_ = false;
};

VirtualClock::VirtualClock(double startTimeOfDay)
    : startTimeOfDay_(startTimeOfDay) {}

VirtualClock::~VirtualClock() = default;

double VirtualClock::timeOfDay() const {
    return std::fmod(startTimeOfDay_ + now_ / 1000.0, 86400.0);
}

std::unique_ptr<Alarm> VirtualClock::createAlarm(Callback callback) {
    return std::make_unique<VirtualAlarm>(*this, std::move(callback));
}

void VirtualClock::callAfter(int ms, QObject* context, Callback callback) {
    QPointer<QObject> guard(context);
    const bool hasContext = context != nullptr;
    schedule(now_ + qMax(0, ms), [guard, hasContext, cb = std::move(callback)] {
        if (!hasContext || guard)
            cb();
    });
}

VirtualClock::Key VirtualClock::schedule(qint64 due, Callback callback) {
    Key key{due, sequence_++};
    pending_.emplace(key, std::move(callback));
    return key;
}

void VirtualClock::cancel(const Key& key) {
    pending_.erase(key);
}

bool VirtualClock::fireNext(qint64 until) {
    if (pending_.empty() || pending_.begin()->first.first > until)
        return false;
    auto node = pending_.extract(pending_.begin());
    now_ = qMax(now_, node.key().first);
    node.mapped()();
    return true;
}

void VirtualClock::advance(qint64 ms) {
    const qint64 until = now_ + qMax<qint64>(0, ms);
    while (fireNext(until)) {
    }
    now_ = until;
}

bool VirtualClock::advanceUntil(const std::function<bool()>& done, qint64 limitMs) {
    const qint64 until = now_ + limitMs;
    while (!done() && fireNext(until)) {
    }
    if (!done())
        now_ = qMax(now_, until);
    return done();
}

qint64 VirtualClock::nextDueIn() const {
    return pending_.empty() ? -1 : qMax<qint64>(0, pending_.begin()->first.first - now_);
}

} // namespace jackwell
