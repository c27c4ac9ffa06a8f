// SIGTERM, SIGINT and SIGHUP reach a program as calls on its event loop: a reload each time
// SIGHUP comes, until it is told to stop; a second stop signal while stopping ends it at once.

#include "platform/stop_signals.h"
#include "support/wait_until.h"

#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>

namespace jackwell {
namespace {

using jackwell::testing::waitUntil;

TEST(StopSignals, ReloadsUntilStoppedAndASecondStopEndsAtOnce) {
    int stops = 0, reloads = 0;
    ASSERT_TRUE(installStopSignals([&] { ++stops; }));
    ASSERT_TRUE(installReloadSignal([&] { ++reloads; }));
    for (int i = 1; i <= 2; ++i) {
        std::raise(SIGHUP);
        EXPECT_TRUE(waitUntil([&] { return reloads == i; }, 5000));
    }
    std::raise(SIGINT);
    EXPECT_TRUE(waitUntil([&] { return stops == 1; }, 5000));
    std::raise(SIGHUP); // no reload on the way out
    jackwell::testing::runEventsFor(100);
    EXPECT_EQ(std::pair(reloads, stops), std::pair(2, 1));
    GTEST_FLAG_SET(death_test_style, "fast"); // the child keeps this process's state
    EXPECT_EXIT(std::raise(SIGTERM), ::testing::ExitedWithCode(1), "");
    // Without a descriptor to spare, neither can be installed, and each says so.
    const auto withoutDescriptors = [](bool (*install)(std::function<void()>)) {
        const rlimit none{0, 0};
        std::_Exit(::setrlimit(RLIMIT_NOFILE, &none) == 0 && !install({}) ? 3 : 0);
    };
    EXPECT_EXIT(withoutDescriptors(installStopSignals), ::testing::ExitedWithCode(3), "");
    EXPECT_EXIT(withoutDescriptors(installReloadSignal), ::testing::ExitedWithCode(3), "");
}

} // namespace
} // namespace jackwell
