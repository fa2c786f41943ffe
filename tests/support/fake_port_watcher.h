#pragma once
// FakePortWatcher: a port watcher whose device is there or not as the test says, for the window logic's
// tests of the reconnect. No descriptor: the test calls the logic's portNotice() itself, as the window's
// quiet timer would. Records the paths it was asked to watch. Header-only.
//
// Threads: one test thread.

#include <string>
#include <vector>

#include "serial/port_watcher.h"

namespace hlx::test {

class FakePortWatcher : public serial::PortWatcher {
public:
    // Shared with the test, which keeps a pointer while the logic owns the watcher.
    struct State {
        bool present = false;
        std::vector<std::string> watched;
        int noticesTaken = 0;
    };
    explicit FakePortWatcher(State& state) : m_state(state) {}

    void watch(const std::string& path) override { m_state.watched.push_back(path); }
    bool present() override { return m_state.present; }
    int notifyFd() const override { return -1; }
    void takeNotices() override { ++m_state.noticesTaken; }
    std::chrono::milliseconds quietPoll() const override { return std::chrono::milliseconds{500}; }

private:
    State& m_state;
};

}  // namespace hlx::test
