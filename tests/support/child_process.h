#pragma once
// ChildProcess: a program (hlx) run as a technician runs it, as a child process with its stdout and
// stderr on pipes (or merged, or stdout on a descriptor the test holds: a terminal, a pipe it keeps full;
// stdin is the test's own or a descriptor it names),
// for tests of exit codes, output and stop signals; its stdout can be read line by line and closed under
// it, as `| head -n 1` does. runCommand runs a shell command line through it. Header-only, for GoogleTest
// suites.
//
// Threads: owned by one test; the child is killed and reaped if the test does not finish it.

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace hlx::test {

struct RunOptions {
    bool mergeErr = false;           // stderr into the stdout pipe, in the order written
    std::optional<uid_t> user = {};  // run as this user (and its group); the test must be root
    std::optional<int> stdoutFd =
        {};                           // stdout to this descriptor (a terminal's slave side) instead of a pipe
    std::optional<int> stdinFd = {};  // stdin from this descriptor (a pipe with lines) instead of the test's
};

struct ChildRun {
    int exitCode = -1;  // -1 when the child did not exit normally
    int signal = 0;     // the signal that ended it, when one did
    std::string out;    // stdout, or stdout and stderr merged
    std::string err;
    // What a shell reports: the exit code, or 128 + the signal that ended the child.
    int shellStatus() const { return signal != 0 ? 128 + signal : exitCode; }
};
using HlxRun = ChildRun;

class ChildProcess {
public:
    ChildProcess(const std::string& program, const std::vector<std::string>& arguments,
                 RunOptions options = {}) {
        std::vector<std::string> argv{program};
        argv.insert(argv.end(), arguments.begin(), arguments.end());
        std::vector<char*> pointers;
        for (std::string& a : argv) pointers.push_back(a.data());
        pointers.push_back(nullptr);
        int out[2];
        int err[2];
        if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) {
            ADD_FAILURE() << "pipe";
            return;
        }
        const int stdoutFd = options.stdoutFd.value_or(out[1]);
        m_pid = ::fork();
        if (m_pid == 0) {  // only async-signal-safe calls until exec: the test process has threads
            if (options.stdinFd) ::dup2(*options.stdinFd, STDIN_FILENO);
            ::dup2(stdoutFd, STDOUT_FILENO);
            ::dup2(options.mergeErr ? stdoutFd : err[1], STDERR_FILENO);
            if (options.user && (::setgroups(0, nullptr) != 0 || ::setgid(*options.user) != 0 ||
                                 ::setuid(*options.user) != 0))
                ::_exit(126);
            ::execv(pointers[0], pointers.data());
            ::_exit(127);
        }
        ::close(out[1]);
        ::close(err[1]);
        m_out = out[0];
        m_err = err[0];
        if (options.stdoutFd) {  // nothing comes through the pipe
            ::close(m_out);
            m_out = -1;
        }
    }

    ~ChildProcess() {
        if (m_pid > 0 && !m_reaped) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
        if (m_out >= 0) ::close(m_out);
        if (m_err >= 0) ::close(m_err);
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    void signal(int number) { ::kill(m_pid, number); }

    // Reads stdout up to its first line end and returns that line (without it); what followed stays for
    // finish(). Empty when stdout ended first. A hang guard as in finish().
    std::string readOutLine(std::chrono::seconds limit = std::chrono::seconds{20}) {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (m_out >= 0 && m_outRead.find('\n') == std::string::npos) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
            if (left.count() <= 0) {
                ADD_FAILURE() << "no line on stdout within " << limit.count() << " s";
                return {};
            }
            pollfd p{m_out, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(left.count())) > 0) drain(p, m_out, m_outRead);
        }
        const std::size_t eol = m_outRead.find('\n');
        if (eol == std::string::npos) return {};
        std::string line = m_outRead.substr(0, eol);
        m_outRead.erase(0, eol + 1);
        return line;
    }
    // Closes the reading end of stdout, as a reader that has had enough does: the child's next write
    // fails (EPIPE, or SIGPIPE where it does not ignore it).
    void closeOut() {
        if (m_out >= 0) ::close(m_out);
        m_out = -1;
    }

    // Reads both pipes to their end and waits for the child. A hang guard, not a speed requirement: after
    // `limit` the child is killed and the test fails.
    ChildRun finish(std::chrono::seconds limit = std::chrono::seconds{20}) {
        ChildRun run;
        run.out = std::move(m_outRead);
        const auto end = std::chrono::steady_clock::now() + limit;
        while (m_out >= 0 || m_err >= 0) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
            if (left.count() <= 0) {
                ADD_FAILURE() << "the child did not end within " << limit.count() << " s";
                ::kill(m_pid, SIGKILL);
                break;
            }
            pollfd fds[2] = {{m_out, POLLIN, 0}, {m_err, POLLIN, 0}};
            if (::poll(fds, 2, static_cast<int>(left.count())) < 0) continue;
            drain(fds[0], m_out, run.out);
            drain(fds[1], m_err, run.err);
        }
        int status = 0;
        ::waitpid(m_pid, &status, 0);
        m_reaped = true;
        if (WIFEXITED(status)) run.exitCode = WEXITSTATUS(status);
        if (WIFSIGNALED(status)) run.signal = WTERMSIG(status);
        return run;
    }

private:
    static void drain(const pollfd& p, int& fd, std::string& text) {
        if (fd < 0 || p.revents == 0) return;
        std::array<char, 4096> buffer;
        const ssize_t n = ::read(fd, buffer.data(), buffer.size());
        if (n > 0) {
            text.append(buffer.data(), static_cast<std::size_t>(n));
        } else {
            ::close(fd);
            fd = -1;
        }
    }

    pid_t m_pid = -1;
    int m_out = -1;
    int m_err = -1;
    std::string m_outRead;  // stdout read by readOutLine beyond its line
    bool m_reaped = false;
};

// A shell command line run to its end; stdout and stderr together, and its exit code (-1 when it did not
// exit normally).
struct CommandOutcome {
    int exitCode = -1;
    std::string out;  // stdout and stderr
};

inline CommandOutcome runCommand(const std::string& commandLine,
                                 std::chrono::seconds limit = std::chrono::seconds{600}) {
    RunOptions options;
    options.mergeErr = true;
    ChildRun run = ChildProcess("/bin/sh", {"-c", commandLine}, options).finish(limit);
    return {run.exitCode, std::move(run.out)};
}

}  // namespace hlx::test
