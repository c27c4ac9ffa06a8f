#include "platform/stop_signals.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace jackwell {

namespace {

int signalPipe[2] = {-1, -1};
int reloadPipe[2] = {-1, -1};
volatile std::sig_atomic_t stopping = 0;

void onSignal(int) {
    if (stopping)
        ::_exit(1);
    stopping = 1;
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(signalPipe[1], &byte, 1);
}

void onReloadSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(reloadPipe[1], &byte, 1);
}

} // namespace

bool installStopSignals(std::function<void()> stop) {
    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return false;
    auto* notifier =
        new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [notifier, stop] {
        char bytes[16];
        while (::read(signalPipe[0], bytes, sizeof bytes) > 0) {
        }
        notifier->setEnabled(false);
        stop();
    });
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    return ::sigaction(SIGTERM, &action, nullptr) == 0 &&
           ::sigaction(SIGINT, &action, nullptr) == 0 && ::sigaction(SIGHUP, &action, nullptr) == 0;
}

bool installReloadSignal(std::function<void()> reload) {
    if (::pipe2(reloadPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return false;
    auto* notifier =
        new QSocketNotifier(reloadPipe[0], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [reload] {
        char bytes[16];
        bool signalled = false;
        while (::read(reloadPipe[0], bytes, sizeof bytes) > 0)
            signalled = true;
        if (signalled && !stopping)
            reload();
    });
    struct sigaction action = {};
    action.sa_handler = onReloadSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    return ::sigaction(SIGHUP, &action, nullptr) == 0;
}

} // namespace jackwell
