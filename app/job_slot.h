#pragma once
// JobSlot: the single worker-thread slot. At most one job exists at a time; a start while a job runs is
// ignored. State and job parameter are atomic 32-bit cells shared by the GUI thread and the job thread.
//
//   Idle --start--> Running --job marks its end--> Finished --start--> (Idle) Running
//   Running --end (window closes)--> Idle
//
// A job is a function of a stop token. It must call markFinished() as its last step. end() asks the
// job to stop, then joins it: the job's waits and its calls on the window return at once on a stop, so
// end() never hangs. If a thread cannot be created the process ends at once with the job parameter as
// its exit code.

#include <atomic>
#include <cstdint>
#include <functional>
#include <stop_token>
#include <thread>

namespace hlx::app {

enum class JobKind : int { RtqDownload = 0, RealtermDownload = 1, BootLoader = 2, TerminalSender = 3, FileSender = 4 };
enum class JobState : std::int32_t { Idle = 0, Running = 1, Finished = 2 };

class JobSlot {
public:
    using Job = std::function<void(std::stop_token)>;

    JobSlot() = default;
    ~JobSlot() { end(); }
    JobSlot(const JobSlot&) = delete;
    JobSlot& operator=(const JobSlot&) = delete;

    void init();  // Idle, job parameter 1
    // GUI thread. Returns whether the job was started (the window ignores the answer).
    bool start(Job job);
    // Job thread, as the job's last step.
    void markFinished() { m_state.store(static_cast<std::int32_t>(JobState::Finished)); }
    // GUI thread, at the window's close: stops a running job and releases its thread.
    void end();
    // Waits until the current job's thread has ended (the command-line companion).
    void wait() {
        if (m_thread.joinable()) m_thread.join();
    }

    JobState state() const { return static_cast<JobState>(m_state.load()); }
    bool running() const { return state() == JobState::Running; }
    std::int32_t parameter() const { return m_parameter.load(); }
    void setParameter(std::int32_t value) { m_parameter.store(value); }

private:
    std::atomic<std::int32_t> m_state{static_cast<std::int32_t>(JobState::Idle)};
    std::atomic<std::int32_t> m_parameter{1};
    std::jthread m_thread;
};

}  // namespace hlx::app
