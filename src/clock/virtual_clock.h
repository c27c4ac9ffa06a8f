#pragma once

#include "clock/clock.h"

#include <map>
#include <utility>

namespace jackwell {

// Time that passes only when told to. Alarms and calls fire in due order (ties
// in the order they were set), each at its own moment, so a whole game of
// about twelve seconds plays in milliseconds and the same every time.
class VirtualClock final : public Clock {
public:
    explicit VirtualClock(double startTimeOfDay = 12 * 3600.0);
    ~VirtualClock() override;

    qint64 monotonicMs() const override { return now_; }
    double timeOfDay() const override;
    std::unique_ptr<Alarm> createAlarm(Callback callback) override;
    void callAfter(int ms, QObject* context, Callback callback) override;

    // Lets `ms` milliseconds pass, firing everything that falls due meanwhile.
    void advance(qint64 ms);
    // Fires what is due now (zero-delay calls included) without moving time.
    void settle() { advance(0); }
    // Lets `ms` milliseconds pass with nothing fired, as an event loop kept busy would: what fell
    // due meanwhile fires late, at the next advance or settle.
    void lapse(qint64 ms) { now_ += qMax<qint64>(0, ms); }
    // Lets time pass until `done()` holds or `limitMs` have passed; returns done().
    bool advanceUntil(const std::function<bool()>& done, qint64 limitMs);
    // Milliseconds until the next pending event, or -1 when nothing is pending.
    qint64 nextDueIn() const;

private:
    friend class VirtualAlarm;
    using Key = std::pair<qint64, quint64>; // due time, sequence number
    Key schedule(qint64 due, Callback callback);
    void cancel(const Key& key);
    bool fireNext(qint64 until);

    qint64 now_ = 0;
    quint64 sequence_ = 0;
    double startTimeOfDay_;
    std::map<Key, Callback> pending_;
};

} // namespace jackwell
