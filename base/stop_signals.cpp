#include "base/stop_signals.h"

#include <poll.h>
#include <pthread.h>
#include <sys/signalfd.h>
#include <unistd.h>

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

StopSignals::StopSignals() {
    const sigset_t set = stopSet();
    if (const int err = pthread_sigmask(SIG_BLOCK, &set, &m_previousMask); err != 0)
        throw std::system_error(err, std::generic_category(), "blocking the stop signals");
    m_fd = ::signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC);
    if (m_fd < 0) {
        const int err = errno;
        pthread_sigmask(SIG_SETMASK, &m_previousMask, nullptr);
        throw std::system_error(err, std::generic_category(), "signalfd");
    }
}

StopSignals::~StopSignals() {
    while (readSignal(m_fd) != 0) {
    }
    ::close(m_fd);
    pthread_sigmask(SIG_SETMASK, &m_previousMask, nullptr);
}

int StopSignals::waitForSignalOr(int readableFd) {
    for (;;) {
        pollfd fds[2] = {{m_fd, POLLIN, 0}, {readableFd, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            throw std::system_error(errno, std::generic_category(), "waiting for the job");
        }
        if (fds[0].revents & POLLIN) {
            if (const int signal = readSignal(m_fd); signal != 0) return signal;
        }
        if (fds[1].revents & (POLLIN | POLLHUP | POLLERR)) return 0;
    }
}

int StopSignals::take() {
    return readSignal(m_fd);
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
