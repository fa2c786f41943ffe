#include "base/stop_signals.h"

#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <system_error>

namespace hlx::base {
namespace {

sigset_t stopSet() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    return set;
}

// One pending signal taken off the signalfd; 0 when none is pending.
int readSignal(int fd) {
    signalfd_siginfo info{};
    for (;;) {
        const ssize_t n = ::read(fd, &info, sizeof info);
        if (n == static_cast<ssize_t>(sizeof info)) return static_cast<int>(info.ssi_signo);
        if (n < 0 && errno == EINTR) continue;
        return 0;
    }
}

}  // namespace

struct StopSignals::State {
    int fd = -1;
    sigset_t previousMask;
};

Notice::Notice() : m_native(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    if (m_native < 0) throw std::system_error(errno, std::generic_category(), "eventfd");
}

Notice::~Notice() {
    ::close(static_cast<int>(m_native));
}

void Notice::notify() {
    const std::uint64_t one = 1;
    (void)!::write(static_cast<int>(m_native), &one, sizeof one);
}

void Notice::reset() {
    std::uint64_t count = 0;
    (void)!::read(static_cast<int>(m_native), &count,
                  sizeof count);  // non-blocking: nothing set, nothing read
}

StopSignals::StopSignals() : m_state(std::make_unique<State>()) {
    const sigset_t set = stopSet();
    if (const int err = pthread_sigmask(SIG_BLOCK, &set, &m_state->previousMask); err != 0)
        throw std::system_error(err, std::generic_category(), "blocking the stop signals");
    m_state->fd = ::signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC);
    if (m_state->fd < 0) {
        const int err = errno;
        pthread_sigmask(SIG_SETMASK, &m_state->previousMask, nullptr);
        throw std::system_error(err, std::generic_category(), "signalfd");
    }
}

StopSignals::~StopSignals() {
    while (readSignal(m_state->fd) != 0) {
    }
    ::close(m_state->fd);
    pthread_sigmask(SIG_SETMASK, &m_state->previousMask, nullptr);
}

int StopSignals::waitForSignalOr(const Notice& done) {
    return waitForSignalOr(done, std::chrono::milliseconds{-1});
}

int StopSignals::waitForSignalOr(const Notice& done, std::chrono::milliseconds timeout) {
    const bool forever = timeout.count() < 0;
    const auto until = std::chrono::steady_clock::now() + (forever ? std::chrono::milliseconds{0} : timeout);
    for (;;) {
        int wait = -1;
        if (!forever) {
            const auto left =
                std::chrono::ceil<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
            wait = static_cast<int>(std::max<std::chrono::milliseconds::rep>(left.count(), 0));
        }
        pollfd fds[2] = {{m_state->fd, POLLIN, 0}, {static_cast<int>(done.native()), POLLIN, 0}};
        const int ready = ::poll(fds, 2, wait);
        if (ready < 0) {
            if (errno == EINTR) continue;
            throw std::system_error(errno, std::generic_category(), "waiting for the job");
        }
        if (ready == 0) return 0;  // the time is up
        if (fds[0].revents & POLLIN) {
            if (const int signal = readSignal(m_state->fd); signal != 0) return signal;
        }
        if (fds[1].revents & (POLLIN | POLLHUP | POLLERR)) return 0;
    }
}

int StopSignals::fd() const {
    return m_state->fd;
}

int StopSignals::take() {
    return readSignal(m_state->fd);
}

std::string StopSignals::name(int signal) {
    switch (signal) {
        case SIGINT:
            return "SIGINT";
        case SIGTERM:
            return "SIGTERM";
        case SIGHUP:
            return "SIGHUP";
        default:
            return "signal " + std::to_string(signal);
    }
}

}  // namespace hlx::base
