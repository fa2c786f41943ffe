#include "jobs/job_slot.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <future>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <thread>

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

// A job that throws ends its thread, not the program, and the slot does not stay Running without it.
TEST(JobSlot, AJobThatThrowsLeavesTheSlotFinishedAndTheNextStartIsAccepted) {
    jobs::JobSlot slot;
    slot.init();
    ASSERT_TRUE(slot.start([](std::stop_token) { throw std::runtime_error("out of memory"); }));
    slot.wait();
    EXPECT_EQ(jobs::JobState::Finished, slot.state());
    std::atomic<bool> ran{false};
    EXPECT_TRUE(slot.start([&](std::stop_token) {
        ran = true;
        slot.markFinished();
    }));
    slot.wait();
    EXPECT_TRUE(ran.load());
}

// A job that has marked its end may throw afterwards (in its last call on the window), when the next job
// already runs: that job's Running state must stand.
TEST(JobSlot, AThrowAfterTheJobMarkedItsEndLeavesTheNextJobRunning) {
    jobs::JobSlot slot;
    slot.init();
    Gate throwNow;
    std::atomic<bool> marked{false};
    // Set when the first job's thread has let go of the job, which is after its catch.
    struct SetWhenDropped {
        std::promise<void> promise;
        ~SetWhenDropped() { promise.set_value(); }
    };
    auto dropped = std::make_shared<SetWhenDropped>();
    std::future<void> firstThreadDone = dropped->promise.get_future();
    ASSERT_TRUE(slot.start([&, dropped](std::stop_token stop) {
        slot.markFinished();
        marked = true;
        throwNow.wait(stop);
        throw std::runtime_error("late");
    }));
    dropped.reset();
    while (!marked) std::this_thread::yield();
    Gate release;
    ASSERT_TRUE(slot.start([&](std::stop_token stop) {
        release.wait(stop);
        slot.markFinished();
    }));
    throwNow.open();
    firstThreadDone.wait();
    EXPECT_EQ(jobs::JobState::Running, slot.state());
    release.open();
    slot.wait();
    EXPECT_EQ(jobs::JobState::Finished, slot.state());
}

}  // namespace
}  // namespace hlx::jobs
