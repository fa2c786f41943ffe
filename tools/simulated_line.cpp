#include "tools/simulated_line.h"

#include <fcntl.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace hlx::tools {
namespace {

std::runtime_error failure(std::string_view owner, const std::string& what) {
    return std::runtime_error(std::string(owner) + ": " + what + ": " + std::strerror(errno));
}

int baudOf(speed_t speed) {
    switch (speed) {
        case B1200:
            return 1200;
        case B2400:
            return 2400;
        case B4800:
            return 4800;
        case B9600:
            return 9600;
        case B19200:
            return 19200;
        case B38400:
            return 38400;
        case B57600:
            return 57600;
        case B115200:
            return 115200;
        case B230400:
            return 230400;
        case B460800:
            return 460800;
        case B921600:
            return 921600;
        default:
            return 0;
    }
}

}  // namespace

SimulatedLine openSimulatedLine(std::string_view owner) {
    SimulatedLine line;
    line.wakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (line.wakeFd < 0) throw failure(owner, "eventfd");
    try {
        openPseudoTerminal(line, owner);
    } catch (...) {
        closeSimulatedLine(line);
        throw;
    }
    return line;
}

void closeSimulatedLine(SimulatedLine& line) {
    closePseudoTerminal(line);
    if (line.wakeFd >= 0) ::close(line.wakeFd);
    line.wakeFd = -1;
}

void closePseudoTerminal(SimulatedLine& line) {
    for (int* fd : {&line.slaveKeep, &line.master}) {
        if (*fd >= 0) ::close(*fd);
        *fd = -1;
    }
}

void openPseudoTerminal(SimulatedLine& line, std::string_view owner) {
    line.master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (line.master < 0) throw failure(owner, "posix_openpt");
    char name[128] = {};
    if (::grantpt(line.master) != 0 || ::unlockpt(line.master) != 0 ||
        ::ptsname_r(line.master, name, sizeof name) != 0) {
        const std::runtime_error error = failure(owner, "pseudo-terminal set-up");
        closePseudoTerminal(line);
        throw error;
    }
    line.slavePath = name;
    line.slaveKeep = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (line.slaveKeep < 0) {
        const std::runtime_error error = failure(owner, "open slave");
        closePseudoTerminal(line);
        throw error;
    }
    termios t{};
    ::tcgetattr(line.slaveKeep, &t);
    ::cfmakeraw(&t);
    ::tcsetattr(line.slaveKeep, TCSANOW, &t);
    ::fcntl(line.master, F_SETFL, ::fcntl(line.master, F_GETFL) | O_NONBLOCK);
}

std::size_t unreadByTool(const SimulatedLine& line) {
    int pending = 0;
    if (line.slaveKeep < 0 || ::ioctl(line.slaveKeep, FIONREAD, &pending) != 0 || pending < 0) return 0;
    return static_cast<std::size_t>(pending);
}

LineRate lineRate(const SimulatedLine& line) {
    termios t{};
    if (line.slaveKeep < 0 || ::tcgetattr(line.slaveKeep, &t) != 0) return {};
    const int dataBits = (t.c_cflag & CSIZE) == CS5   ? 5
                         : (t.c_cflag & CSIZE) == CS6 ? 6
                         : (t.c_cflag & CSIZE) == CS7 ? 7
                                                      : 8;
    return {baudOf(::cfgetospeed(&t)),
            1 + dataBits + ((t.c_cflag & PARENB) ? 1 : 0) + ((t.c_cflag & CSTOPB) ? 2 : 1)};
}

void publishLink(const std::string& linkPath, const std::string& target) {
    struct stat existing {};
    if (::lstat(linkPath.c_str(), &existing) == 0 && !S_ISLNK(existing.st_mode)) {
        errno = EEXIST;
        throw failure(linkPath, "in the way, and not a symbolic link");
    }
    const std::string temporary = linkPath + ".new";
    ::unlink(temporary.c_str());
    if (::symlink(target.c_str(), temporary.c_str()) != 0) throw failure(linkPath, "symbolic link");
    if (::rename(temporary.c_str(), linkPath.c_str()) != 0) {
        const std::runtime_error error = failure(linkPath, "symbolic link");
        ::unlink(temporary.c_str());
        throw error;
    }
}

void removeLink(const std::string& linkPath, const std::string& target) {
    char pointsTo[256] = {};
    const ssize_t n = ::readlink(linkPath.c_str(), pointsTo, sizeof pointsTo - 1);
    if (n > 0 && std::string(pointsTo, static_cast<std::size_t>(n)) == target) ::unlink(linkPath.c_str());
}

}  // namespace hlx::tools
