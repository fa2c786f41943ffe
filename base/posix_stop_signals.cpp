#include "base/stop_signals.h"

#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <system_error>
#include <vector>

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
    (void)!::read(static_cast<int>(m_native), &count, sizeof count);
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
    for (;;) {
        pollfd fds[2] = {{m_state->fd, POLLIN, 0}, {static_cast<int>(done.native()), POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            throw std::system_error(errno, std::generic_category(), "waiting for the job");
        }
        if (fds[0].revents & POLLIN) {
            if (const int signal = readSignal(m_state->fd); signal != 0) return signal;
        }
        if (fds[1].revents & (POLLIN | POLLHUP | POLLERR)) return 0;
    }
}

int StopSignals::waitForSignalOrAny(std::initializer_list<const Notice*> notices,
                                    std::chrono::milliseconds timeout) {
    std::vector<pollfd> fds{{m_state->fd, POLLIN, 0}};
    for (const Notice* notice : notices) fds.push_back({static_cast<int>(notice->native()), POLLIN, 0});
    const int ms =
        timeout.count() < 0 ? -1 : static_cast<int>(std::min<std::int64_t>(timeout.count(), INT_MAX));
    for (;;) {
        const int ready = ::poll(fds.data(), fds.size(), ms);
        if (ready < 0) {
            if (errno == EINTR) continue;
            throw std::system_error(errno, std::generic_category(), "waiting for the jobs");
        }
        if (ready > 0 && (fds[0].revents & POLLIN)) {
            if (const int signal = readSignal(m_state->fd); signal != 0) return signal;
        }
        return 0;
    }
}

int StopSignals::fd() const {
    return m_state->fd;
}

int StopSignals::take() {
    return readSignal(m_state->fd);
}

}  // namespace hlx::base
