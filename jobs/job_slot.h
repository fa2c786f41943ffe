#pragma once
// JobSlot: the single worker-thread slot. At most one job runs at a time; a start while a job runs is
// ignored. State and job parameter are atomic 32-bit cells shared by the GUI thread and the job thread.
//
//   Idle --start--> Running --job marks its end--> Finished --start--> (Idle) Running
//   Running --end (window closes)--> Idle
//
// A job is a function of a stop token. It marks its end with markFinished() and may still have a last
// call on the window to make after that (the idle poll restarted). So start() never joins a thread that
// may still be running: such a thread is set aside and joined once it has returned, at the latest by
// end(). end() asks every thread of the slot to stop, then joins them: the job's waits and its calls on
// the window return at once on a stop, so end() never hangs. If a thread cannot be created the process
// ends at once with the job parameter as its exit code.
//
// A job that throws ends its thread, not the program: the exception is caught at the top of the thread
// and, unless the job had marked its end already (or was stopped), the slot is marked finished, so it
// never stays Running with no thread behind it. (The job frame catches first and reports the failure;
// this is the last line for whatever escapes it.)
//
// Threads: start, end and wait on one controlling thread (the GUI thread, or main in `hlx`);
// markFinished on the job thread; state() and parameter() anywhere.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <stop_token>
#include <thread>
#include <vector>

#include "jobs/job_kind.h"

namespace hlx::jobs {

class JobSlot {
public:
    using Job = std::function<void(std::stop_token)>;

    JobSlot() = default;
    ~JobSlot() { end(); }
    JobSlot(const JobSlot&) = delete;
    JobSlot& operator=(const JobSlot&) = delete;

    void init();  // Idle, job parameter 1
    // Returns whether the job was started (the window ignores the answer). Never blocks on a thread.
    bool start(Job job);
    // Job thread: the job's end.
    void markFinished();
    // At the window's close: stops a running job and every thread set aside, and joins them.
    void end();
    // Waits until the current job's thread has returned (the command-line companion).
    void wait();
    // Asks the current job to stop without waiting for it (Ctrl-C in `hlx`).
    void requestStop();

    JobState state() const { return static_cast<JobState>(m_state.load()); }
    bool running() const { return state() == JobState::Running; }
    std::int32_t parameter() const { return m_parameter.load(); }
    void setParameter(std::int32_t value) { m_parameter.store(value); }

private:
    struct Worker {
        std::jthread thread;
        std::shared_ptr<std::atomic<bool>> returned;
    };
    void setAsideCurrent();

    std::atomic<std::int32_t> m_state{static_cast<std::int32_t>(JobState::Idle)};
    std::atomic<std::int32_t> m_parameter{1};
    Worker m_current;
    std::vector<Worker> m_setAside;
};

}  // namespace hlx::jobs
