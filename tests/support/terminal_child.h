#pragma once
// TerminalChild: a program run on a pseudo-terminal of its own, as a technician runs it in a terminal
// window: its stdin, stdout and stderr are the terminal's slave side (its controlling terminal), the test
// types keys into the master side and reads the screen from it. Header-only.
//
// Threads: owned by one test; the child is killed and reaped if the test does not finish it.

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

namespace hlx::test {

class TerminalChild {
public:
    TerminalChild(const std::string& program, const std::vector<std::string>& arguments) {
        std::vector<std::string> argv{program};
        argv.insert(argv.end(), arguments.begin(), arguments.end());
        std::vector<char*> pointers;
        for (std::string& a : argv) pointers.push_back(a.data());
        pointers.push_back(nullptr);
        int slave = -1;
        if (::openpty(&m_master, &slave, nullptr, nullptr, nullptr) != 0) return;
        ::fcntl(m_master, F_SETFD, FD_CLOEXEC);
        // The terminal as a shell leaves it: line editing and echo on.
        termios cooked{};
        ::tcgetattr(slave, &cooked);
        m_cooked = cooked;
        m_pid = ::fork();
        if (m_pid == 0) {  // only async-signal-safe calls until exec
            ::setsid();
            ::ioctl(slave, TIOCSCTTY, 0);
            ::dup2(slave, STDIN_FILENO);
            ::dup2(slave, STDOUT_FILENO);
            ::dup2(slave, STDERR_FILENO);
            if (slave > STDERR_FILENO) ::close(slave);
            ::execv(pointers[0], pointers.data());
            ::_exit(127);
        }
        ::close(slave);
    }
    ~TerminalChild() {
        if (m_pid > 0 && !m_reaped) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
        if (m_master >= 0) ::close(m_master);
    }
    TerminalChild(const TerminalChild&) = delete;
    TerminalChild& operator=(const TerminalChild&) = delete;

    void type(std::string_view keys) {
        while (!keys.empty()) {
            const ssize_t n = ::write(m_master, keys.data(), keys.size());
            if (n <= 0) return;
            keys.remove_prefix(static_cast<std::size_t>(n));
        }
    }
    // Waits until text is on the screen after what an earlier wait found (a hang guard, not a speed
    // requirement); false when the time-out passes first.
    bool waitFor(std::string_view text, std::chrono::milliseconds timeout = std::chrono::seconds{10}) {
        const auto end = std::chrono::steady_clock::now() + timeout;
        for (;;) {
            const std::size_t at = m_screen.find(text, m_seen);
            if (at != std::string::npos) {
                m_seen = at + text.size();
                return true;
            }
            const auto left =
                std::chrono::ceil<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
            if (left.count() <= 0 || !readSome(static_cast<int>(left.count()))) return false;
        }
    }
    const std::string& screen() const { return m_screen; }
    // The terminal's settings now (the child's raw mode or what it restored).
    termios settings() const {
        termios t{};
        ::tcgetattr(m_master, &t);
        return t;
    }
    const termios& cookedSettings() const { return m_cooked; }

    // Waits for the child's exit (reading the screen meanwhile); its exit code, -1 when it did not exit
    // normally or not within the limit (then it is killed).
    int finish(std::chrono::seconds limit = std::chrono::seconds{20}) {
        const auto end = std::chrono::steady_clock::now() + limit;
        int status = 0;
        while (::waitpid(m_pid, &status, WNOHANG) == 0) {
            const auto left =
                std::chrono::ceil<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
            if (left.count() <= 0) {
                ::kill(m_pid, SIGKILL);
                ::waitpid(m_pid, &status, 0);
                m_reaped = true;
                return -1;
            }
            // The screen is read while waiting, so the child never blocks on a full terminal; the poll's
            // time-out is the sleep between looks, since a child's exit wakes no descriptor here.
            readSome(50);
        }
        m_reaped = true;
        readSome(0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    bool readSome(int timeoutMs) {
        pollfd p{m_master, POLLIN, 0};
        if (::poll(&p, 1, timeoutMs) <= 0) return false;
        char buffer[4096];
        const ssize_t n = ::read(m_master, buffer, sizeof buffer);
        if (n <= 0) return false;
        m_screen.append(buffer, static_cast<std::size_t>(n));
        return true;
    }

    pid_t m_pid = -1;
    int m_master = -1;
    bool m_reaped = false;
    termios m_cooked{};
    std::string m_screen;
    std::size_t m_seen = 0;
};

}  // namespace hlx::test
