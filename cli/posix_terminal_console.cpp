// The terminal's console on Linux: poll() over everything at once, termios for the raw keys (see
// terminal_console.h).

#include <poll.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <optional>

#include "base/stop_signals.h"
#include "cli/terminal_console.h"
#include "cli/terminal_line.h"
#include "serial/port_watcher.h"

namespace hlx::cli {
namespace {

// The console's terminal in raw mode for as long as the object lives: keys one by one, no echo, no
// signals from keys; output keeps its line-break translation.
class RawMode {
public:
    explicit RawMode(int fd) : m_fd(fd) {
        if (::tcgetattr(fd, &m_saved) != 0) return;
        termios raw = m_saved;
        raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | ISIG | IEXTEN);
        raw.c_iflag &= ~static_cast<tcflag_t>(IXON | ICRNL | INLCR | IGNCR | ISTRIP);
        raw.c_cc[VMIN] = 1;
        raw.c_cc[VTIME] = 0;
        m_active = ::tcsetattr(fd, TCSANOW, &raw) == 0;
    }
    ~RawMode() {
        if (m_active) (void)::tcsetattr(m_fd, TCSANOW, &m_saved);
    }
    RawMode(const RawMode&) = delete;
    RawMode& operator=(const RawMode&) = delete;

private:
    int m_fd;
    termios m_saved{};
    bool m_active = false;
};

// Writes all of text to the descriptor, in pieces small enough that a pipe which polls writable takes each
// whole, sleeping in poll() while it is full. False when it cannot take it (a closed pipe) or when stopFd
// becomes readable first, so a blocked stdout never keeps a stop signal from being seen.
bool writeAll(int fd, std::string_view text, int stopFd) {
    constexpr std::size_t kPiece = 512;
    while (!text.empty()) {
        pollfd p[2] = {{fd, POLLOUT, 0}, {stopFd, POLLIN, 0}};
        if (::poll(p, stopFd >= 0 ? 2 : 1, -1) < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (stopFd >= 0 && (p[1].revents & POLLIN)) return false;
        if (p[0].revents & (POLLERR | POLLNVAL)) return false;
        const ssize_t n = ::write(fd, text.data(), std::min(text.size(), kPiece));
        if (n > 0) {
            text.remove_prefix(static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) continue;
        return false;
    }
    return true;
}

class PosixTerminalConsole final : public TerminalConsole {
public:
    PosixTerminalConsole(base::StopSignals& signals, bool readInput) : m_signals(signals) {
        ::signal(SIGPIPE, SIG_IGN);  // a closed stdout is a failed write, not the end of the process
        if (!readInput) return;
        m_input = ::isatty(STDIN_FILENO) == 1 ? ConsoleInput::Keys : ConsoleInput::Lines;
        if (m_input == ConsoleInput::Keys) m_raw.emplace(STDIN_FILENO);
    }

    ConsoleInput input() const override { return m_input; }

    ConsoleEvents wait(TerminalLine* line, serial::PortWatcher* watcher, bool readInput,
                       std::optional<TerminalClock::time_point> until) override {
        ConsoleEvents events;
        const int portFd = line != nullptr ? line->pollHandle() : -1;
        readInput = readInput && m_input != ConsoleInput::None;
        pollfd fds[4] = {{m_signals.fd(), POLLIN, 0},
                         {portFd, POLLIN, 0},
                         {watcher != nullptr ? watcher->notifyFd() : -1, POLLIN, 0},
                         {readInput ? STDIN_FILENO : -1, POLLIN, 0}};
        int timeout = -1;
        if (until) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(*until - TerminalClock::now());
            timeout =
                static_cast<int>(std::clamp<std::chrono::milliseconds::rep>(left.count(), 0, 0x7FFFFFFF));
        }
        if (::poll(fds, 4, timeout) < 0) return events;  // EINTR: the caller looks again
        if (fds[0].revents & POLLIN) events.signal = m_signals.take();
        events.port = portFd >= 0 && (fds[1].revents & (POLLIN | POLLHUP | POLLERR | POLLNVAL));
        events.watcher = (fds[2].revents & POLLIN) != 0;
        if (readInput && (fds[3].revents & (POLLIN | POLLHUP | POLLERR))) {
            char buffer[4096];
            const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
            if (n > 0)
                events.input.assign(buffer, static_cast<std::size_t>(n));
            else if (n == 0 || (errno != EINTR && errno != EAGAIN))
                events.inputEnded = true;
        }
        return events;
    }

    bool write(std::string_view utf8) override { return writeAll(STDOUT_FILENO, utf8, m_signals.fd()); }
    int takeSignal() override { return m_signals.take(); }

private:
    base::StopSignals& m_signals;
    ConsoleInput m_input = ConsoleInput::None;
    std::optional<RawMode> m_raw;
};

}  // namespace

std::unique_ptr<TerminalConsole> makeTerminalConsole(base::StopSignals& signals, bool readInput) {
    return std::make_unique<PosixTerminalConsole>(signals, readInput);
}

}  // namespace hlx::cli
