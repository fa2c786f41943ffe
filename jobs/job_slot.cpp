#include "jobs/job_slot.h"

#include <algorithm>
#include <cstdlib>
#include <system_error>

namespace hlx::jobs {
namespace {

// Set on a job thread while its job runs: whether that job has marked its end.
thread_local bool* t_markedFinished = nullptr;

}  // namespace

void JobSlot::init() {
    m_state.store(static_cast<std::int32_t>(JobState::Idle));
    m_parameter.store(1);
}

// Moves the current thread out of the way: joined now if it has returned, else kept until it has.
void JobSlot::setAsideCurrent() {
    std::erase_if(m_setAside, [](Worker& w) {
        if (!w.returned->load()) return false;
        w.thread.join();
        return true;
    });
    if (!m_current.thread.joinable()) return;
    if (m_current.returned->load())
        m_current.thread.join();
    else
        m_setAside.push_back(std::move(m_current));
    m_current = Worker{};
}

bool JobSlot::start(Job job) {
    std::int32_t finished = static_cast<std::int32_t>(JobState::Finished);
    m_state.compare_exchange_strong(finished, static_cast<std::int32_t>(JobState::Idle));
    std::int32_t idle = static_cast<std::int32_t>(JobState::Idle);
    if (!m_state.compare_exchange_strong(idle, static_cast<std::int32_t>(JobState::Running))) return false;
    setAsideCurrent();
    auto returned = std::make_shared<std::atomic<bool>>(false);
    try {
        m_current.thread = std::jthread([this, job = std::move(job), returned](std::stop_token stop) {
            bool marked = false;
            t_markedFinished = &marked;
            try {
                job(stop);
            } catch (...) {
                // Only while the slot is still this job's: it has not marked its end (after which a new
                // job may have started) and end() has not taken the slot back.
                if (!marked && !stop.stop_requested()) markFinished();
            }
            t_markedFinished = nullptr;
            returned->store(true);
        });
        m_current.returned = std::move(returned);
    } catch (const std::system_error&) {
        std::_Exit(m_parameter.load());
    }
    return true;
}

void JobSlot::markFinished() {
    m_state.store(static_cast<std::int32_t>(JobState::Finished));
    if (t_markedFinished != nullptr) *t_markedFinished = true;
}

void JobSlot::requestStop() {
    if (m_current.thread.joinable()) m_current.thread.request_stop();
}

void JobSlot::wait() {
    if (m_current.thread.joinable()) m_current.thread.join();
}

void JobSlot::end() {
    m_current.thread.request_stop();
    for (Worker& w : m_setAside) w.thread.request_stop();
    if (m_current.thread.joinable()) m_current.thread.join();
    for (Worker& w : m_setAside)
        if (w.thread.joinable()) w.thread.join();
    m_setAside.clear();
    m_state.store(static_cast<std::int32_t>(JobState::Idle));
}

}  // namespace hlx::jobs
