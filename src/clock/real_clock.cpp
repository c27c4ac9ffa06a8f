#include "clock/real_clock.h"

#include <QTime>
#include <QTimer>

namespace jackwell {

namespace {

class QtAlarm final : public Alarm {
public:
    explicit QtAlarm(Clock::Callback callback) {
        timer_.setSingleShot(true);
        timer_.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer_, &QTimer::timeout, [cb = std::move(callback)] { cb(); });
    }
    void start(int ms) override { timer_.start(qMax(0, ms)); }
    void stop() override { timer_.stop(); }
    bool isActive() const override { return timer_.isActive(); }

private:
    QTimer timer_;
};

} // namespace

RealClock::RealClock() {
    elapsed_.start();
}

qint64 RealClock::monotonicMs() const {
    return elapsed_.elapsed();
}

double RealClock::timeOfDay() const {
    return QTime::currentTime().msecsSinceStartOfDay() / 1000.0;
}

std::unique_ptr<Alarm> RealClock::createAlarm(Callback callback) {
    return std::make_unique<QtAlarm>(std::move(callback));
}

void RealClock::callAfter(int ms, QObject* context, Callback callback) {
    QTimer::singleShot(qMax(0, ms), Qt::PreciseTimer, context, std::move(callback));
}

} // namespace jackwell
