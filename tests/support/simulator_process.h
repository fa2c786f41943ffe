#pragma once
// SimulatorProcess: hlx-virtual-monitor run as a technician runs it, for the tests of the program: its
// standard output collected, the device path taken from the line it prints ("... on PATH - type this into
// COM-Nr"), and SIGTERM to end it. The destructor ends a process still running. Header-only.
//
// Threads: owned by one test.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

extern char** environ;

namespace hlx::test {

class SimulatorProcess {
public:
    SimulatorProcess(const std::string& program, const std::vector<std::string>& args) {
        int out[2];
        if (::pipe2(out, O_CLOEXEC) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        std::vector<std::string> all{program};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (auto& a : all) argv.push_back(a.data());
        argv.push_back(nullptr);
        if (posix_spawn(&m_pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) m_pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        m_out = out[0];
    }
    ~SimulatorProcess() {
        stop();
        if (m_out >= 0) ::close(m_out);
    }
    SimulatorProcess(const SimulatorProcess&) = delete;
    SimulatorProcess& operator=(const SimulatorProcess&) = delete;

    // Waits until text is among what the program printed; false when the time-out passes first.
    bool waitFor(std::string_view text, std::chrono::milliseconds timeout = std::chrono::seconds{5}) {
        const auto end = std::chrono::steady_clock::now() + timeout;
        while (m_printed.find(text) == std::string::npos) {
            const auto left =
                std::chrono::ceil<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
            if (left.count() <= 0 || m_out < 0) return false;
            pollfd p{m_out, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
            char buffer[512];
            const ssize_t n = ::read(m_out, buffer, sizeof buffer);
            if (n <= 0) return false;
            m_printed.append(buffer, static_cast<std::size_t>(n));
        }
        return true;
    }
    // The path the program prints to type into COM-Nr; empty when it printed none.
    std::string path() {
        const std::string_view tail = " - type this into COM-Nr\n";
        if (!waitFor(tail)) return {};
        const std::size_t end = m_printed.find(tail);
        const std::size_t on = m_printed.rfind(" on ", end);
        return on == std::string::npos ? std::string{} : m_printed.substr(on + 4, end - on - 4);
    }
    const std::string& printed() const { return m_printed; }

    // SIGTERM, then the exit status (-1 when it did not exit normally or was not running).
    int stop() {
        if (m_pid <= 0) return -1;
        ::kill(m_pid, SIGTERM);
        int status = 0;
        const pid_t pid = m_pid;
        m_pid = -1;
        if (::waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
        return WEXITSTATUS(status);
    }

private:
    pid_t m_pid = -1;
    int m_out = -1;
    std::string m_printed;
};

}  // namespace hlx::test
