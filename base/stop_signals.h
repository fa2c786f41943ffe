#pragma once
// StopSignals: the requests to stop that come from outside the program, taken as a request to stop, so
// that hlx can stop the running job, release the port and say so, and the window closes as its close
// button does (settings saved, job stopped), instead of either dying in the middle of a download.
//
// Linux: SIGINT (Ctrl-C), SIGTERM and SIGHUP. While an object lives the three signals are blocked in the
// thread that made it, and in every thread that thread starts afterwards (they inherit the mask): make it
// before the job thread starts. They then stay pending and are read from a signalfd on the main thread
// (waitForSignalOr, or fd() watched by an event loop and take()). No signal handler runs at all, so
// nothing that is unsafe in a handler can happen in one.
//
// Windows: the console's control events, taken by a console control handler: Ctrl-C and Ctrl-Break
// count as SIGINT, closing the console window as SIGHUP, logging off and shutting down as SIGTERM, so the
// exit codes are those of Linux (130 for Ctrl-C). The handler only records the event and wakes
// waitForSignalOr; for the last three it then waits (at most 4 s, less than the 5 s Windows grants)
// until the object is destroyed, because Windows ends the process when the handler returns. fd() is -1:
// there is no descriptor for an event loop to watch.
//
// The destructor discards what is still pending (a second Ctrl-C while the job was stopping) and
// restores the previous state.
//
// Notice: what the main thread waits for besides a signal, set by another thread (the job thread when it
// has returned, a job with output to show). It stays set until reset(), so a notify that comes before the
// wait is not lost; several notifies before a reset count as one.
//
// Threads: one StopSignals per process, made and used on the main thread; Notice::notify from any thread.

#include <chrono>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>

namespace hlx::base {

class Notice {
public:
    Notice();  // throws std::system_error when the system cannot make one
    ~Notice();
    Notice(const Notice&) = delete;
    Notice& operator=(const Notice&) = delete;

    void notify();
    // Clears it; the waiting thread calls it before it looks at what the notice stands for.
    void reset();
    // The eventfd (Linux) or event handle (Windows) that becomes readable or signalled on notify().
    std::intptr_t native() const { return m_native; }

private:
    std::intptr_t m_native;
};

class StopSignals {
public:
    StopSignals();  // throws std::system_error when the signals cannot be taken
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    // Sleeps until a stop signal arrives (returns its number, taken off) or done is notified (returns 0).
    int waitForSignalOr(const Notice& done);
    // Sleeps until a stop signal arrives (returns its number, taken off), one of the notices is set, or the
    // time-out has passed (both return 0; the notices are left as they are). A negative time-out waits
    // without one.
    int waitForSignalOrAny(std::initializer_list<const Notice*> notices, std::chrono::milliseconds timeout);
    // Linux: the signalfd, readable while a signal is pending; Windows: -1. take() takes the pending
    // signal off (0 when none is pending).
    int fd() const;
    int take();

    // "SIGINT", "SIGTERM", "SIGHUP"; "signal N" for another number.
    static std::string name(int signal);

private:
    struct State;  // the system's part: signalfd and previous mask, or the console handler's events
    std::unique_ptr<State> m_state;
};

}  // namespace hlx::base
