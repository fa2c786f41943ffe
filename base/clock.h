#pragma once
// Clock: where every deadline and pause of the program takes its time from. The program uses the
// monotonic system clock (a change of the wall clock must neither expire nor stretch a deadline); tests
// replace it with a clock they move forward themselves, so that nothing in a unit test sleeps.
//
// sleepFor is the one pause that waits on nothing but time (the 20 ms pause after a line); it returns
// early, with false, when the stop token is triggered. Every other wait sleeps on the port with the time
// left until a deadline (see SerialDevice::waitReadable).
//
// Threads: a Clock may be used from any thread.

#include <chrono>
#include <stop_token>

namespace hlx::base {

using TimePoint = std::chrono::steady_clock::time_point;
using Milliseconds = std::chrono::milliseconds;

class Clock {
public:
    virtual ~Clock() = default;
    virtual TimePoint now() const = 0;
    // Waits the duration unless stop is triggered first. True when the whole time has passed.
    virtual bool sleepFor(std::chrono::nanoseconds duration, const std::stop_token& stop) const = 0;
};

// The monotonic system clock; one instance for the program.
const Clock& systemClock();

}  // namespace hlx::base
