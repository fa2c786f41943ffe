#pragma once
// EventFd: an eventfd as a wake-up that any thread can give and the main thread sleeps on in poll()
// together with other descriptors (stop signals, finished jobs, output to show). Notifications add up
// until take() reads them.
//
// Threads: notify from any thread; fd and take on the waiting thread.

#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <system_error>

namespace hlx::cli {

class EventFd {
public:
    EventFd() : m_fd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
        if (m_fd < 0) throw std::system_error(errno, std::generic_category(), "eventfd");
    }
    ~EventFd() { ::close(m_fd); }
    EventFd(const EventFd&) = delete;
    EventFd& operator=(const EventFd&) = delete;

    void notify(std::uint64_t count = 1) { (void)!::write(m_fd, &count, sizeof count); }
    // The notifications since the last take (0 when none).
    std::uint64_t take() {
        std::uint64_t count = 0;
        return ::read(m_fd, &count, sizeof count) == static_cast<ssize_t>(sizeof count) ? count : 0;
    }
    int fd() const { return m_fd; }

private:
    int m_fd;
};

}  // namespace hlx::cli
