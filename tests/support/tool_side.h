#pragma once
// ToolSide: the tool's end of a simulator's pseudo-terminal, for the simulators' own tests: the slave
// opened raw and non-blocking, bytes sent, and what comes back collected until a text arrives, for a fixed
// time, or until the line has been quiet for 30 ms. Header-only.

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

namespace hlx::test {

class ToolSide {
public:
    explicit ToolSide(const std::string& path) : m_fd(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK)) {
        termios t{};
        ::tcgetattr(m_fd, &t);
        ::cfmakeraw(&t);
        ::tcsetattr(m_fd, TCSANOW, &t);
    }
    ~ToolSide() { ::close(m_fd); }
    // Sets the line's rate, as the tool does on a real port.
    void setBaud(speed_t speed) const {
        termios t{};
        ::tcgetattr(m_fd, &t);
        ::cfsetspeed(&t, speed);
        ::tcsetattr(m_fd, TCSANOW, &t);
    }
    ToolSide(const ToolSide&) = delete;
    ToolSide& operator=(const ToolSide&) = delete;
    bool ok() const { return m_fd >= 0; }

    void send(std::string_view bytes) const {
        ASSERT_EQ(static_cast<ssize_t>(bytes.size()), ::write(m_fd, bytes.data(), bytes.size()));
    }
    void send(const std::vector<std::uint8_t>& bytes) const {
        send(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    }

    // What arrives until `until` is in it or the time-out passes.
    std::string receiveUntil(std::string_view until,
                             std::chrono::milliseconds timeout = std::chrono::milliseconds{2000}) const {
        std::string got;
        const auto end = std::chrono::steady_clock::now() + timeout;
        while (got.find(until) == std::string::npos) {
            const auto left =
                std::chrono::ceil<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
            if (left.count() <= 0) break;
            pollfd p{m_fd, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
            char buffer[4096];
            const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
            if (n > 0) got.append(buffer, static_cast<std::size_t>(n));
        }
        return got;
    }
    // Everything that arrives within the window.
    std::string receiveFor(std::chrono::milliseconds window) const {
        return receiveUntil("\x01never\x02", window);
    }

    // Everything that arrives until the line has been quiet for 30 ms (or 2 s have passed); a hang-up is
    // marked "<hang-up>".
    std::string receive() const {
        std::string got;
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds{2};
        while (std::chrono::steady_clock::now() < end) {
            pollfd p{m_fd, POLLIN, 0};
            if (::poll(&p, 1, got.empty() ? 500 : 30) <= 0) break;
            if (p.revents & (POLLHUP | POLLERR)) return got + "<hang-up>";
            char buffer[4096];
            const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
            if (n <= 0) return got + "<hang-up>";
            got.append(buffer, static_cast<std::size_t>(n));
        }
        return got;
    }
    std::string ask(std::string_view bytes) const {
        send(bytes);
        return receive();
    }

private:
    int m_fd;
};

}  // namespace hlx::test
