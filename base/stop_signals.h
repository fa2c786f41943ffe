#pragma once
// StopSignals: SIGINT (Ctrl-C), SIGTERM and SIGHUP taken as a request to stop, so that hlx can stop the
// running job, release the port and say so, and the window closes as its close button does (settings
// saved, job stopped), instead of either dying in the middle of a download.
//
// While an object lives the three signals are blocked in the thread that made it, and in every thread
// that thread starts afterwards (they inherit the mask): make it before the job thread starts. They then
// stay pending and are read from a signalfd on the main thread (waitForSignalOr, or fd() watched by an
// event loop and take()). No signal handler
// runs at all, so nothing that is unsafe in a handler can happen in one.
//
// The destructor discards what is still pending (a second Ctrl-C while the job was stopping) and
// restores the previous mask.
//
// Threads: one object per process, made and used on the main thread.

#include <signal.h>

#include <string>

namespace hlx::base {

class StopSignals {
public:
    StopSignals();  // throws std::system_error when the signalfd cannot be made
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    // Sleeps until one of the signals arrives (returns its number, taken off) or readableFd becomes
    // readable (returns 0; nothing is read from it).
    int waitForSignalOr(int readableFd);
    // The signalfd, readable while a signal is pending; take() reads it (0 when none is pending).
    int fd() const { return m_fd; }
    int take();

    // "SIGINT", "SIGTERM", "SIGHUP"; "signal N" for another number.
    static std::string name(int signal);

private:
    int m_fd = -1;
    sigset_t m_previousMask;
};

}  // namespace hlx::base
