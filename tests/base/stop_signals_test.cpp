// The main thread's wait (hlx's job and gang loops): it ends on a notice from another thread, on a stop
// signal, or when its time is up, and a notice stays given until it is reset. Runs on Linux and, in the
// Windows suites, under Wine.

#include "base/stop_signals.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#ifndef _WIN32
#include <unistd.h>
#endif
#include <thread>

namespace hlx::base {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

TEST(StopSignalsWait, EndsOnAnyNoticeWhichStaysGivenUntilReset) {
    StopSignals signals;
    Notice quiet;
    Notice notice;
    std::thread other([&notice] { notice.notify(); });
    // Far longer than the test may take: the notice, not the time, ends the wait.
    const auto start = Clock::now();
    EXPECT_EQ(0, signals.waitForSignalOrAny({&quiet, &notice}, 60s));
    other.join();
    EXPECT_EQ(0, signals.waitForSignalOrAny({&quiet, &notice}, 60s)) << "still given";
    EXPECT_LT(Clock::now() - start, 30s);

    notice.reset();
    const auto waited = Clock::now();
    EXPECT_EQ(0, signals.waitForSignalOrAny({&quiet, &notice}, 50ms));
    EXPECT_GE(Clock::now() - waited, 50ms) << "after reset only the time ends the wait";
}

#ifndef _WIN32
TEST(StopSignalsWait, EndsOnAStopSignalWithItsNumber) {
    StopSignals signals;
    Notice notice;
    ASSERT_EQ(0, std::raise(SIGTERM));  // blocked while signals lives: it stays pending until taken
    EXPECT_EQ(SIGTERM, signals.waitForSignalOrAny({&notice}, 60s));
    EXPECT_EQ(SIGTERM, [&] {
        ::kill(::getpid(), SIGTERM);  // the same through waitForSignalOr, without a time-out
        return signals.waitForSignalOr(notice);
    }());
    EXPECT_EQ(0, signals.take());
}
#endif

}  // namespace
}  // namespace hlx::base
