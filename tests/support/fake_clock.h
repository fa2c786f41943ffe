#pragma once
// FakeClock: a Clock that moves only when told to (or when something sleeps on it, which moves it by the
// time slept), so unit tests of deadlines and waits run without sleeping and give the same result on a
// loaded machine and under the sanitizers. It starts well past zero, so a default Deadline (at zero)
// counts as expired, as on the real clock.
//
// Threads: safe to read and move from any thread.

#include <chrono>
#include <mutex>

#include "base/clock.h"

namespace hlx::test {

class FakeClock : public base::Clock {
public:
    base::TimePoint now() const override {
        std::lock_guard lock(m_mutex);
        return m_now;
    }
    bool sleepFor(std::chrono::nanoseconds duration, const std::stop_token& stop) const override {
        if (stop.stop_requested()) return false;
        advance(duration);
        return true;
    }
    void advance(std::chrono::nanoseconds duration) const {
        std::lock_guard lock(m_mutex);
        m_now += std::chrono::duration_cast<base::TimePoint::duration>(duration);
    }
    // Moves to t; never backwards.
    void advanceTo(base::TimePoint t) const {
        std::lock_guard lock(m_mutex);
        if (t > m_now) m_now = t;
    }
    // Time since the clock was made.
    std::chrono::milliseconds elapsed() const {
        return std::chrono::duration_cast<std::chrono::milliseconds>(now() - kStart);
    }

    static constexpr base::TimePoint kStart{std::chrono::hours{1}};

private:
    mutable std::mutex m_mutex;
    mutable base::TimePoint m_now{kStart};
};

}  // namespace hlx::test
