#include "jobs/job_slot.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

#include <gtest/gtest.h>

namespace hlx::jobs {
namespace {

using namespace std::chrono_literals;

// A job that runs until released (or stopped), then marks its end.
class Gate {
public:
    void open() {
        std::lock_guard lock(m_mutex);
        m_open = true;
        m_cv.notify_all();
    }
    void wait(std::stop_token stop) {
        std::unique_lock lock(m_mutex);
        m_cv.wait(lock, stop, [this] { return m_open; });
    }

private:
    std::mutex m_mutex;
    std::condition_variable_any m_cv;
    bool m_open = false;
};

TEST(JobSlot, StartsInIdleWithParameterOne) {
    jobs::JobSlot slot;
    slot.setParameter(5);
    slot.init();
    EXPECT_EQ(jobs::JobState::Idle, slot.state());
    EXPECT_EQ(1, slot.parameter());
}

TEST(JobSlot, TwoQuickStartsStartOneJob) {
    jobs::JobSlot slot;
    slot.init();
    std::atomic<int> runs{0};
    Gate gate;
    auto job = [&](std::stop_token stop) {
        ++runs;
        gate.wait(stop);
        slot.markFinished();
    };
    EXPECT_TRUE(slot.start(job));
    EXPECT_FALSE(slot.start(job));
    EXPECT_EQ(jobs::JobState::Running, slot.state());
    gate.open();
    slot.wait();
    EXPECT_EQ(1, runs.load());
    EXPECT_EQ(jobs::JobState::Finished, slot.state());
}

TEST(JobSlot, FinishedSlotAcceptsANewStart) {
    jobs::JobSlot slot;
    slot.init();
    std::atomic<int> runs{0};
    auto job = [&](std::stop_token) {
        ++runs;
        slot.markFinished();
    };
    ASSERT_TRUE(slot.start(job));
    slot.wait();
    ASSERT_EQ(jobs::JobState::Finished, slot.state());
    EXPECT_TRUE(slot.start(job));
    slot.wait();
    EXPECT_EQ(2, runs.load());
}

TEST(JobSlot, EndStopsARunningJobPromptlyAndLeavesIdle) {
    jobs::JobSlot slot;
    slot.init();
    Gate never;
    std::atomic<bool> stopped{false};
    ASSERT_TRUE(slot.start([&](std::stop_token stop) {
        never.wait(stop);
        stopped = stop.stop_requested();
    }));
    const auto start = std::chrono::steady_clock::now();
    slot.end();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 500ms);
    EXPECT_TRUE(stopped.load());
    EXPECT_EQ(jobs::JobState::Idle, slot.state());
}

}  // namespace
}  // namespace hlx::jobs
