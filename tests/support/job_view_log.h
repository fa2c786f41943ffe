#pragma once
// JobViewLog: a job view that only records what a job did to the progress bar and the idle poll, for
// end-to-end tests that keep the output window apart (RecordingView does both in one). joinLines builds the
// text a window shows for a list of lines. Header-only; thread-safe.

#include <mutex>
#include <string>
#include <vector>

#include "output/job_view.h"

namespace hlx::test {

class JobViewLog : public output::JobView {
public:
    void setProgressRange(int, int) override {}
    void setProgress(int position) override {
        std::lock_guard lock(m_mutex);
        m_progress.push_back(position);
    }
    void setIdlePollEnabled(bool enabled) override {
        std::lock_guard lock(m_mutex);
        m_poll.push_back(enabled);
    }
    std::vector<int> progress() const {
        std::lock_guard lock(m_mutex);
        return m_progress;
    }
    std::vector<bool> pollSwitches() const {
        std::lock_guard lock(m_mutex);
        return m_poll;
    }
    void reset() {
        std::lock_guard lock(m_mutex);
        m_progress.clear();
        m_poll.clear();
    }

private:
    mutable std::mutex m_mutex;
    std::vector<int> m_progress;
    std::vector<bool> m_poll;
};

// Each line followed by CR LF, as the window holds them.
inline std::string joinLines(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& l : lines) text += l + "\r\n";
    return text;
}

}  // namespace hlx::test
