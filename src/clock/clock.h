#pragma once

#include <QPointer>
#include <QtGlobal>

#include <functional>
#include <memory>

namespace jackwell {

// A single-shot alarm. Destroying it cancels it, so an alarm owned by an object
// can never call back into that object after it is gone.
class Alarm {
public:
    virtual ~Alarm() = default;
    // (Re)starts the countdown: the callback runs once, `ms` from now.
    virtual void start(int ms) = 0;
    virtual void stop() = 0;
    virtual bool isActive() const = 0;
};

// The one seam through which the program sees time: timers, pauses and the time
// of day. The program uses Qt's timers and a monotonic clock; tests use
// VirtualClock, which fires everything in due order without waiting.
class Clock {
public:
    using Callback = std::function<void()>;
    virtual ~Clock() = default;

    // Milliseconds on a monotonic clock with an arbitrary origin.
    virtual qint64 monotonicMs() const = 0;
    // Local time of day in seconds since midnight, with its fraction.
    virtual double timeOfDay() const = 0;
    // An alarm that runs `callback` on the event loop when it goes off.
    virtual std::unique_ptr<Alarm> createAlarm(Callback callback) = 0;
    // Runs `callback` once on the event loop after `ms`, unless `context` is
    // destroyed first.
    virtual void callAfter(int ms, QObject* context, Callback callback) = 0;
};

} // namespace jackwell
