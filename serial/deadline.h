#pragma once
// Deadline: a point on the monotonic clock (a change of the wall clock must neither expire nor stretch a
// deadline). A default Deadline lies at the clock's zero point and so counts as expired until first armed;
// this is how the one shared reply deadline starts.
//
// Not thread-safe: the reply deadline is used by one thread at a time (the idle poll stops while a job runs).

#include <chrono>

namespace hlx::serial {

using Clock = std::chrono::steady_clock;
using Milliseconds = std::chrono::milliseconds;

class Deadline {
public:
    Deadline() = default;

    void arm(Milliseconds duration) {
        m_start = Clock::now();
        m_deadline = m_start + duration;
    }
    void armAt(Clock::time_point start, Milliseconds duration) {
        m_start = start;
        m_deadline = start + duration;
    }
    bool expired() const { return Clock::now() >= m_deadline; }
    // Time left, never negative; rounded up to whole milliseconds so a poll on it does not wake early.
    Milliseconds remaining() const;
    Clock::time_point at() const { return m_deadline; }

private:
    Clock::time_point m_start{};
    Clock::time_point m_deadline{};
};

inline Milliseconds Deadline::remaining() const {
    const auto left = m_deadline - Clock::now();
    if (left <= Clock::duration::zero()) return Milliseconds{0};
    return std::chrono::ceil<Milliseconds>(left);
}

}  // namespace hlx::serial
