#include "app/job_slot.h"

#include <cstdlib>
#include <system_error>

namespace hlx::app {

void JobSlot::init() {
    m_state.store(static_cast<std::int32_t>(JobState::Idle));
    m_parameter.store(1);
}

bool JobSlot::start(Job job) {
    std::int32_t finished = static_cast<std::int32_t>(JobState::Finished);
    if (m_state.compare_exchange_strong(finished, static_cast<std::int32_t>(JobState::Idle))) {
        if (m_thread.joinable()) m_thread.join();  // the finished job's thread is on its way out
    }
    std::int32_t idle = static_cast<std::int32_t>(JobState::Idle);
    if (!m_state.compare_exchange_strong(idle, static_cast<std::int32_t>(JobState::Running))) return false;
    if (m_thread.joinable()) m_thread.join();  // a thread left behind by end()
    try {
        m_thread = std::jthread(std::move(job));
    } catch (const std::system_error&) {
        std::_Exit(m_parameter.load());
    }
    return true;
}

void JobSlot::end() {
    if (m_thread.joinable()) {
        m_thread.request_stop();
        m_thread.join();
    }
    m_state.store(static_cast<std::int32_t>(JobState::Idle));
}

}  // namespace hlx::app
