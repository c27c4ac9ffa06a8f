#pragma once

#include "clock/clock.h"

#include <QElapsedTimer>

namespace jackwell {

// Qt's timers on the one event loop, a monotonic clock and the wall clock's time of day.
class RealClock final : public Clock {
public:
    RealClock();
    qint64 monotonicMs() const override;
    double timeOfDay() const override;
    std::unique_ptr<Alarm> createAlarm(Callback callback) override;
    void callAfter(int ms, QObject* context, Callback callback) override;

private:
    QElapsedTimer elapsed_;
};

} // namespace jackwell
