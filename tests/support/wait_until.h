#pragma once

// Bounded waits on real sockets: the event loop runs in slices until `done` or `timeoutMs`.

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <functional>

namespace jackwell::testing {

// How long a test waits for what should come at once: long enough for a busy machine.
inline constexpr int kWaitMs = 10000;

inline bool waitUntil(const std::function<bool()>& done, int timeoutMs = kWaitMs) {
    constexpr int kSliceMs = 5;
    QElapsedTimer elapsed;
    elapsed.start();
    for (int slice = 0; slice <= timeoutMs / kSliceMs + 1; ++slice) {
        if (done()) // asked once per slice: it may have effects
            return true;
        if (elapsed.hasExpired(timeoutMs))
            return false;
        QEventLoop loop;
        QTimer::singleShot(kSliceMs, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return false;
}

// Lets the event loop run for `ms` (to show that something does NOT happen).
inline const auto runEventsFor = [](int ms) { waitUntil([] { return false; }, ms); };

} // namespace jackwell::testing
