#include "tools/simulated_line.h"

#include <fcntl.h>
#include <sys/eventfd.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace hlx::tools {
namespace {

std::runtime_error failure(std::string_view owner, const char* what) {
    return std::runtime_error(std::string(owner) + ": " + what + ": " + std::strerror(errno));
}

}  // namespace

SimulatedLine openSimulatedLine(std::string_view owner) {
    SimulatedLine line;
    line.master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (line.master < 0) throw failure(owner, "posix_openpt");
    char name[128] = {};
    if (::grantpt(line.master) != 0 || ::unlockpt(line.master) != 0 ||
        ::ptsname_r(line.master, name, sizeof name) != 0) {
        const std::runtime_error error = failure(owner, "pseudo-terminal set-up");
        closeSimulatedLine(line);
        throw error;
    }
    line.slavePath = name;
    line.slaveKeep = ::open(name, O_RDWR | O_NOCTTY);
    if (line.slaveKeep < 0) {
        const std::runtime_error error = failure(owner, "open slave");
        closeSimulatedLine(line);
        throw error;
    }
    termios t{};
    ::tcgetattr(line.slaveKeep, &t);
    ::cfmakeraw(&t);
    ::tcsetattr(line.slaveKeep, TCSANOW, &t);
    ::fcntl(line.master, F_SETFL, ::fcntl(line.master, F_GETFL) | O_NONBLOCK);
    line.wakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (line.wakeFd < 0) {
        const std::runtime_error error = failure(owner, "eventfd");
        closeSimulatedLine(line);
        throw error;
    }
    return line;
}

void closeSimulatedLine(SimulatedLine& line) {
    for (int* fd : {&line.wakeFd, &line.slaveKeep, &line.master}) {
        if (*fd >= 0) ::close(*fd);
        *fd = -1;
    }
}

}  // namespace hlx::tools
