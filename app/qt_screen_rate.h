#pragma once
// ScreenRateFlush: shows on the GUI thread what other threads have queued for the window (text for the
// output window, the progress bar's position), at most once a frame (about 60 times a second, unless the
// owner asks for longer frames).
//
// A writer queues its change under a lock of its own and calls request(). The first request after a
// flush posts one call to the GUI thread, which starts a single-shot timer for what is left of the
// frame; every further request until that flush costs an atomic exchange and nothing else. So a job that
// writes a line per reply wakes the GUI thread at most once a frame, however many lines it writes, and
// never waits for it.
//
// Threads: construct, flushNow and destroy on the GUI thread; request from any thread. The QtCall must
// outlive the object; a request after the QtCall is released is dropped.

#include <QTimer>

#include <atomic>
#include <chrono>
#include <functional>

#include "app/qt_call.h"

namespace hlx::app {

inline constexpr std::chrono::milliseconds kScreenFrame{16};
// What a job writes into the output window is shown at most 20 times a second: a log that scrolls by
// reads no worse for it, and each frame not painted is time the job, the monitor and the X server keep.
inline constexpr std::chrono::milliseconds kJobTextFrame{50};

class ScreenRateFlush {
public:
    // flush runs on the GUI thread and shows everything queued so far, at most once a frame.
    ScreenRateFlush(const QtCall& call, std::function<void()> flush,
                    std::chrono::milliseconds frame = kScreenFrame);
    ScreenRateFlush(const ScreenRateFlush&) = delete;
    ScreenRateFlush& operator=(const ScreenRateFlush&) = delete;

    // Any thread: have the flush run within a frame.
    void request();
    // GUI thread: run the flush at once (before a call that reads or changes what it shows).
    void flushNow();

private:
    void schedule();  // GUI thread

    const QtCall& m_call;
    std::function<void()> m_flush;
    std::chrono::milliseconds m_frame;
    QTimer m_timer;
    std::atomic<bool> m_requested{false};
    std::chrono::steady_clock::time_point m_lastFlush{};  // GUI thread
};

}  // namespace hlx::app
