#include "base/clock.h"

#include <condition_variable>
#include <mutex>

namespace hlx::base {
namespace {

class SystemClock : public Clock {
public:
    TimePoint now() const override { return std::chrono::steady_clock::now(); }

    bool sleepFor(std::chrono::nanoseconds duration, const std::stop_token& stop) const override {
        std::mutex mutex;
        std::condition_variable_any wake;
        std::unique_lock lock(mutex);
        // Waits until stop is requested or the time is up; the predicate says which ended it.
        return !wake.wait_for(lock, stop, duration, [&stop] { return stop.stop_requested(); });
    }
};

}  // namespace

const Clock& systemClock() {
    static const SystemClock clock;
    return clock;
}

}  // namespace hlx::base
