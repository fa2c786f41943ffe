#pragma once
// Deadline: a point in time on a Clock (the monotonic system clock unless a test hands in its own). A
// default Deadline lies at the clock's zero point and so counts as expired until first armed; this is
// how the one shared reply deadline starts.
//
// Not thread-safe: the reply deadline is used by one thread at a time (the idle poll stands still while a
// job runs). The clock must outlive the deadline.

#include <chrono>

#include "base/clock.h"

namespace hlx::serial {

using Milliseconds = std::chrono::milliseconds;
using base::TimePoint;

class Deadline {
public:
    explicit Deadline(const base::Clock& clock = base::systemClock()) : m_clock(&clock) {}

    void arm(Milliseconds duration) { m_deadline = m_clock->now() + duration; }
    void armAt(TimePoint start, Milliseconds duration) { m_deadline = start + duration; }
    // Makes the deadline expire now (a link that lost its port waits for nothing more).
    void expireNow() { m_deadline = m_clock->now(); }
    bool expired() const { return m_clock->now() >= m_deadline; }
    // Time left, never negative; rounded up to whole milliseconds so a poll on it does not wake early.
    Milliseconds remaining() const {
        const auto left = m_deadline - m_clock->now();
        if (left <= TimePoint::duration::zero()) return Milliseconds{0};
        return std::chrono::ceil<Milliseconds>(left);
    }
    TimePoint at() const { return m_deadline; }
    const base::Clock& clock() const { return *m_clock; }

private:
    const base::Clock* m_clock;
    TimePoint m_deadline{};
};

}  // namespace hlx::serial
