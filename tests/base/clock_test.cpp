#include "base/clock.h"

#include <chrono>
#include <thread>

#include <gtest/gtest.h>

namespace hlx::base {
namespace {

using namespace std::chrono_literals;

TEST(SystemClockTest, SleepForSaysWhetherTheWholeTimePassed) {
    const Clock& clock = systemClock();
    std::stop_source running;
    const TimePoint start = clock.now();
    EXPECT_TRUE(clock.sleepFor(20ms, running.get_token()));
    EXPECT_GE(clock.now() - start, 20ms);

    std::stop_source stopped;
    stopped.request_stop();
    EXPECT_FALSE(clock.sleepFor(10s, stopped.get_token())) << "a stopped job must not be told it slept";

    std::stop_source later;
    std::thread stopper([&] {
        std::this_thread::sleep_for(50ms);
        later.request_stop();
    });
    EXPECT_FALSE(clock.sleepFor(10s, later.get_token()));
    stopper.join();
}

}  // namespace
}  // namespace hlx::base
