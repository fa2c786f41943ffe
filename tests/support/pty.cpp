#include "tests/support/pty.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <stdexcept>

namespace hlx::test {

PseudoTerminal::PseudoTerminal() {
    char name[256] = {};
    int slave = -1;
    if (::openpty(&m_master, &slave, name, nullptr, nullptr) != 0) throw std::runtime_error("openpty failed");
    termios t{};
    ::tcgetattr(slave, &t);
    ::cfmakeraw(&t);
    ::tcsetattr(slave, TCSANOW, &t);
    m_slavePath = name;
    // One slave descriptor stays open, so the master never sees a hang-up between the opens of the code
    // under test. It takes no lock, so it does not keep that code from opening the port exclusively.
    m_slaveKeep = slave;
    ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
    // A program the test starts (hlx) must not inherit them: a master it held open would outlive hangUp().
    ::fcntl(m_master, F_SETFD, FD_CLOEXEC);
    ::fcntl(m_slaveKeep, F_SETFD, FD_CLOEXEC);
}

PseudoTerminal::~PseudoTerminal() {
    if (m_master >= 0) ::close(m_master);
    if (m_slaveKeep >= 0) ::close(m_slaveKeep);
}

void PseudoTerminal::send(std::string_view bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(m_master, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
        } else {
            pollfd p{m_master, POLLOUT, 0};
            ::poll(&p, 1, 100);
        }
    }
}

void PseudoTerminal::send(std::initializer_list<std::uint8_t> bytes) {
    send(std::string_view(reinterpret_cast<const char*>(std::data(bytes)), bytes.size()));
}

std::string PseudoTerminal::receive(std::size_t atLeast, std::chrono::milliseconds timeout) {
    std::string got;
    const auto end = std::chrono::steady_clock::now() + timeout;
    char buf[4096];
    for (;;) {
        const ssize_t n = ::read(m_master, buf, sizeof buf);
        if (n > 0) {
            got.append(buf, static_cast<std::size_t>(n));
            if (got.size() >= atLeast) {
                // Collect what follows right behind.
                pollfd p{m_master, POLLIN, 0};
                if (::poll(&p, 1, 20) > 0) continue;
                return got;
            }
            continue;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        if (left.count() <= 0) return got;
        pollfd p{m_master, POLLIN, 0};
        ::poll(&p, 1, static_cast<int>(left.count()));
    }
}

std::size_t PseudoTerminal::unread() const {
    int count = 0;
    if (::ioctl(m_slaveKeep, FIONREAD, &count) != 0) return 0;
    return static_cast<std::size_t>(count);
}

void PseudoTerminal::hangUp() {
    if (m_master >= 0) ::close(m_master);
    m_master = -1;
}

}  // namespace hlx::test
