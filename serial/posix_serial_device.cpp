#include "serial/posix_serial_device.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

#include "serial/port_access.h"
#include "serial/port_name.h"
#include "serial/system_serial_device.h"

namespace hlx::serial {
namespace {

using SteadyClock = std::chrono::steady_clock;

speed_t speedFor(int baud) {
    switch (baud) {
        case 9600:
            return B9600;
        case 19200:
            return B19200;
        case 38400:
            return B38400;
        case 57600:
            return B57600;
        case 115200:
            return B115200;
        case 230400:
            return B230400;
        case 460800:
            return B460800;
        case 921600:
            return B921600;
        default:
            return B460800;
    }
}

// Unix98 pseudo-terminal slaves have the majors 136 to 143.
bool isPtySlave(int fd) {
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode)) return false;
    const unsigned maj = major(st.st_rdev);
    return maj >= 136 && maj <= 143;
}

// Equal in every field that configure sets, parity aside.
bool sameLineState(const termios& a, const termios& b, bool ignoreParity) {
    tcflag_t cmask = CSIZE | CSTOPB | CREAD | CLOCAL | HUPCL | CRTSCTS | PARENB | PARODD;
    if (ignoreParity) cmask &= ~(PARENB | PARODD);
    return (a.c_cflag & cmask) == (b.c_cflag & cmask) && cfgetospeed(&a) == cfgetospeed(&b) &&
           (a.c_iflag & (IXON | IXOFF | INPCK | ICRNL | ISTRIP)) ==
               (b.c_iflag & (IXON | IXOFF | INPCK | ICRNL | ISTRIP)) &&
           (a.c_lflag & (ICANON | ECHO | ISIG)) == (b.c_lflag & (ICANON | ECHO | ISIG));
}

}  // namespace

std::unique_ptr<SerialDevice> makeSystemSerialDevice() {
    return std::make_unique<PosixSerialDevice>();
}

std::string comPortDevice(int number) {
    return "/dev/ttyS" + std::to_string(number - 1);
}

std::string_view portTextHelp() {
    return "a number n for COMn (/dev/ttyS(n-1)) or a device path such as /dev/ttyUSB0 or "
           "/dev/serial/by-id/...";
}

PosixSerialDevice::PosixSerialDevice()
    : m_wakeFd(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)), m_wakeError(errno) {}

PosixSerialDevice::~PosixSerialDevice() {
    close();
    if (m_wakeFd >= 0) ::close(m_wakeFd);
}

base::Status PosixSerialDevice::open(const std::string& path) {
    close();
    if (path.empty()) return base::Status::error(base::StatusCode::NotFound, "no serial port named");
    // Without the wake-up descriptor no wait on the port could be ended early: refuse rather than hang.
    if (m_wakeFd < 0) return base::systemError("eventfd for waking a wait", m_wakeError);
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int err = errno;
        // EBUSY: another program holds the port with TIOCEXCL (the flock below catches root as well).
        if (err == EBUSY)
            return base::Status::error(base::StatusCode::Busy, path + ": in use by another program");
        // No right to it: say what is true of this device (owner, group, mode, the user's groups) and
        // what would give access.
        if (err == EACCES || err == EPERM) {
            const base::Status denied = base::systemError(path, err);
            const std::string hint = permissionHint(deviceAccess(path));
            return hint.empty() ? denied
                                : base::Status::error(denied.code(), denied.message() + " (" + hint + ")");
        }
        return base::systemError(path, err);
    }
    if (!::isatty(fd)) {
        ::close(fd);
        return base::Status::error(base::StatusCode::NotSerialPort, path + ": not a serial port");
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int err = errno;
        ::close(fd);
        if (err == EWOULDBLOCK)
            return base::Status::error(base::StatusCode::Busy, path + ": in use by another program");
        return base::systemError(path, err);
    }
    if (::ioctl(fd, TIOCEXCL) != 0 && errno != ENOTTY && errno != EINVAL) {
        const int err = errno;
        ::close(fd);
        return base::systemError(path, err);
    }
    // Line control off: DTR and RTS low. Pseudo-terminals have no modem lines; errors are ignored.
    int lines = TIOCM_DTR | TIOCM_RTS;
    (void)::ioctl(fd, TIOCMBIC, &lines);
    m_fd = fd;
    m_path = path;
    m_isPty = isPtySlave(fd);
    return base::Status::ok();
}

termios PosixSerialDevice::makeTermios(const termios& current, const LineSettings& settings) {
    termios t = current;
    t.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON |
                                        IXOFF | IXANY | INPCK | IUCLC | IMAXBEL);
    t.c_iflag |= IGNPAR;  // received parity is ignored
    t.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    t.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHOE | ECHOK | ECHONL | ICANON | ISIG | IEXTEN);
    t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS | HUPCL);
    t.c_cflag |= CS8 | CREAD | CLOCAL;
    if (settings.parity == Parity::Even) t.c_cflag |= PARENB;
    if (settings.stopBits == 2) t.c_cflag |= CSTOPB;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    t.c_cc[VSTART] = 0x11;
    t.c_cc[VSTOP] = 0x13;
    cfsetispeed(&t, speedFor(settings.baud));
    cfsetospeed(&t, speedFor(settings.baud));
    return t;
}

base::Status PosixSerialDevice::configure(const LineSettings& settings) {
    if (m_fd < 0) return base::Status::error("the serial port is not open");
    termios current{};
    if (::tcgetattr(m_fd, &current) != 0) return base::systemError(m_path, errno);
    m_lastRequested = makeTermios(current, settings);
    m_baud = settings.baud;
    const bool applied = ::tcsetattr(m_fd, TCSANOW, &m_lastRequested) == 0;
    const int err = errno;
    termios now{};
    if (::tcgetattr(m_fd, &now) != 0) return base::systemError(m_path, errno);
    if (sameLineState(now, m_lastRequested, /*ignoreParity=*/m_isPty)) return base::Status::ok();
    if (!applied) return base::systemError(m_path, err);
    return base::Status::error(m_path + ": the port did not take " + std::to_string(settings.baud) +
                               " baud " + std::to_string(settings.dataBits) +
                               (settings.parity == Parity::Even ? "E" : "N") +
                               std::to_string(settings.stopBits));
}

void PosixSerialDevice::close() {
    if (m_fd < 0) return;
    // What still waits in the output queue is dropped: close would otherwise wait for it to drain, as
    // long as the monitor holds the flow or the line is slow, and a re-open must return at once.
    (void)::tcflush(m_fd, TCOFLUSH);
    (void)::ioctl(m_fd, TIOCNXCL);
    (void)::flock(m_fd, LOCK_UN);
    ::close(m_fd);
    m_fd = -1;
    m_path.clear();
    m_isPty = false;
}

IoResult PosixSerialDevice::read(std::span<std::uint8_t> buffer) {
    if (m_fd < 0) return {0, true};
    for (;;) {
        const ssize_t n = ::read(m_fd, buffer.data(), buffer.size());
        if (n > 0) return {static_cast<std::size_t>(n), false};
        if (n == 0) {
            // A raw tty returns 0 both when nothing has arrived and after a hang-up; poll tells which.
            pollfd p{m_fd, POLLIN, 0};
            if (::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL))) return {0, true};
            return {0, false};
        }
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) return {0, false};
        return {0, true};  // EIO and friends: the device has gone
    }
}

IoResult PosixSerialDevice::write(std::span<const std::uint8_t> bytes, std::chrono::milliseconds limit) {
    if (m_fd < 0) return {0, true};
    const auto deadline = SteadyClock::now() + limit;
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(m_fd, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return {done, true};
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - SteadyClock::now());
        if (left.count() <= 0) break;
        pollfd p{m_fd, POLLOUT, 0};
        const int r = ::poll(&p, 1, static_cast<int>(left.count()));
        if (r < 0 && errno != EINTR) return {done, true};
        if (r > 0 && (p.revents & (POLLERR | POLLNVAL))) return {done, true};
    }
    return {done, false};
}

WaitResult PosixSerialDevice::waitReadable(std::chrono::milliseconds timeout) {
    const auto deadline = SteadyClock::now() + timeout;
    for (;;) {
        pollfd p[2] = {{m_fd, POLLIN, 0}, {m_wakeFd, POLLIN, 0}};
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - SteadyClock::now());
        const int r = ::poll(p, 2, static_cast<int>(std::max<long long>(0, left.count())));
        if (r < 0) {
            if (errno == EINTR) continue;
            return WaitResult::Gone;
        }
        if (p[1].revents & POLLIN) {
            std::uint64_t count;
            (void)!::read(m_wakeFd, &count, sizeof count);
            return WaitResult::Woken;
        }
        if (m_fd < 0) return r == 0 ? WaitResult::TimedOut : WaitResult::Woken;
        // A hang-up comes with POLLIN set as well; what was pending is lost with it anyway.
        if (p[0].revents & (POLLHUP | POLLERR | POLLNVAL)) return WaitResult::Gone;
        if (p[0].revents & POLLIN) return WaitResult::Readable;
        if (r == 0) return WaitResult::TimedOut;
    }
}

WaitResult PosixSerialDevice::waitWritten(std::chrono::milliseconds timeout) {
    const auto deadline = SteadyClock::now() + timeout;
    for (;;) {
        int queued = 0;
        if (m_fd < 0) return WaitResult::Gone;
        if (::ioctl(m_fd, TIOCOUTQ, &queued) != 0 || queued <= 0) return WaitResult::Readable;
        const auto left = deadline - SteadyClock::now();
        if (left <= SteadyClock::duration::zero()) return WaitResult::TimedOut;
        // Sleeps as long as the queued bytes need on the wire, to the microsecond, so the next line follows
        // the last one closely: ten bits a byte (start, eight data, stop; with parity it is eleven, and the
        // loop then sleeps once more for what is left).
        const auto need =
            std::chrono::microseconds(static_cast<long long>(queued) * 10 * 1'000'000 / std::max(m_baud, 1));
        const auto sleep =
            std::chrono::duration_cast<std::chrono::nanoseconds>(std::min<SteadyClock::duration>(
                std::max<SteadyClock::duration>(need, std::chrono::microseconds{50}), left));
        const timespec wait{static_cast<time_t>(sleep.count() / 1'000'000'000),
                            static_cast<long>(sleep.count() % 1'000'000'000)};
        pollfd p{m_wakeFd, POLLIN, 0};
        const int r = ::ppoll(&p, 1, &wait, nullptr);
        if (r > 0) {
            std::uint64_t count;
            (void)!::read(m_wakeFd, &count, sizeof count);
            return WaitResult::Woken;
        }
        if (r < 0 && errno != EINTR) return WaitResult::Gone;
    }
}

void PosixSerialDevice::wake() {
    const std::uint64_t one = 1;
    (void)!::write(m_wakeFd, &one, sizeof one);
}

}  // namespace hlx::serial
